#include <cmath>
#include <gtest/gtest.h>

#include "ledger/asset_repository.h"
#include "ledger/card.h"
#include "ledger/currency_repository.h"
#include "ledger/in_out_come_repository.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

// A KRW ledger (USD at 1300.55) with a bank, a credit-card and a debit-card group.
class AssetRepositoryTest : public LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    setUpLedger();
  }

  void setUpLedger() {
    CurrencyRepository currencies(*ledger_);
    ASSERT_TRUE(currencies.addMainCurrency("KRW"));
    ASSERT_TRUE(currencies.addCurrencyRate("KRW", "USD", 1300.55, true));
    ASSERT_TRUE(currencies.addCurrencyRate("KRW", "EUR", 1450, true));
    bank_ = *repo().addAssetGroup("Bank", 1);
    cards_ = *repo().addAssetGroup("Cards", kCreditCardGroupType);
    debit_ = *repo().addAssetGroup("Debit", kDebitCardGroupType);
  }

  AssetRepository repo() { return AssetRepository(*ledger_); }
  int64_t count(const std::string& sql) { return ledger_->store().db().execAndGet(sql).getInt64(); }

  AssetForm form(const std::string& name, const AssetGroup& group) {
    AssetForm f;
    f.name = name;
    f.groupUid = *group.uid;
    return f;
  }

  Asset add(AssetForm f) {
    const AssetSaveResult r = repo().saveAsset(f);
    EXPECT_TRUE(r.ok()) << r.refusal.value_or("store failure");
    return r.asset.value_or(Asset{});
  }

  Category category(const std::string& name, int doType, int64_t order, int64_t isDel = 0) {
    BaseRepository base(*ledger_);
    Category c = base.newObjectForEntity<Category>();
    c.Name = name;
    c.doType = doType;
    c.Order = order;
    c.isDel = isDel;
    EXPECT_TRUE(base.save(c, "updateCategory"));
    return c;
  }

  std::vector<InOutCome> records() {
    BaseRepository base(*ledger_);
    return base.fetch<InOutCome>(" ORDER BY Z_PK");
  }

  AssetGroup bank_, cards_, debit_;
};

TEST_F(AssetRepositoryTest, NewAccountWithoutBalanceRecordsNothing) {
  const Asset wallet = add(form("  Wallet ", bank_));
  EXPECT_EQ(wallet.NicName, "Wallet");
  EXPECT_EQ(wallet.Order, 1);
  EXPECT_EQ(wallet.isReflect, 0);
  EXPECT_EQ(wallet.isDel, 0);
  EXPECT_EQ(wallet.currencyUid, "KRW_KRW");
  EXPECT_EQ(wallet.Card_DayFin, "1");
  EXPECT_EQ(wallet.isSynced, 1);
  EXPECT_EQ(add(form("Second", bank_)).Order, 2);
  EXPECT_TRUE(records().empty());
  EXPECT_TRUE(ledger_->commonData().assetByUid(*wallet.uid));
}

TEST_F(AssetRepositoryTest, EmptyNameIsRefusedAndNothingIsWritten) {
  AssetForm f = form(" \t", bank_);
  f.balance = 10;
  const AssetSaveResult r = repo().saveAsset(f);
  EXPECT_EQ(r.refusal, "popup_message7");
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZASSET"), 0);
  EXPECT_TRUE(records().empty());
}

TEST_F(AssetRepositoryTest, ForeignAccountOpeningBalanceBecomesOneCorrection) {
  AssetForm f = form("Dollars", bank_);
  f.currency = "USD";
  f.balance = 50;
  const AssetSaveResult r = repo().saveAsset(f);
  ASSERT_TRUE(r.ok());
  ASSERT_TRUE(r.correction);
  const auto all = records();
  ASSERT_EQ(all.size(), 1u);
  const InOutCome& c = all[0];
  EXPECT_EQ(c.uid, r.correction->uid);
  EXPECT_EQ(c.Do_Type, "7");
  EXPECT_EQ(c.categoryUid, "-4");
  EXPECT_EQ(c.assetUid, r.asset->uid);
  EXPECT_EQ(c.currencyUid, "KRW_USD");
  EXPECT_EQ(c.amountSub, 50);
  EXPECT_EQ(c.amountAccount, 50);
  EXPECT_EQ(c.amount, 65028);  // 65027.5 rounded to the won
  EXPECT_EQ(c.Content, ledger_->texts().text("config_assets_category_name3"));
  EXPECT_EQ(c.txDateStr, "2026-12-10");
  EXPECT_EQ(c.Date, ledger_->env().nowStoreSeconds());
  EXPECT_EQ(c.isDel, 0);
  EXPECT_EQ(c.isSynced, 1);
  EXPECT_EQ(r.asset->currencyUid, "KRW_USD");
}

TEST_F(AssetRepositoryTest, CorrectionKindFollowsTheAnswerAndTheDirection) {
  const std::string word = ledger_->texts().text("config_assets_category_name1");
  category("Salary " + word, 0, 1);
  category(word + " old", 1, 1, 1);  // deleted
  const Category later = category("Bank " + word, 1, 5);
  const Category first = category(word + " etc", 1, 3);

  struct Case {
    double before, after;
    BalanceRecording as;
    const char* kind;
    std::string category;
    double amount;
  };
  const Case cases[] = {
      {100, 40, BalanceRecording::kIncomeExpense, "1", *first.uid, 60},
      {40, 100, BalanceRecording::kIncomeExpense, "0", "", 60},  // the income category below
      {100, 40, BalanceRecording::kCorrection, "8", "-4", 60},
      {40, 100.5, BalanceRecording::kCorrection, "7", "-4", 61},  // rounded to the won first
  };
  (void)later;
  const Asset account = add(form("Wallet", bank_));
  for (const auto& c : cases) {
    AssetForm f = form("Wallet", bank_);
    f.uid = *account.uid;
    f.balanceBeforeEdit = c.before;
    f.balance = c.after;
    f.recordCorrectionAs = c.as;
    const AssetSaveResult r = repo().saveAsset(f);
    ASSERT_TRUE(r.correction) << c.kind;
    EXPECT_EQ(r.correction->Do_Type, c.kind);
    if (!c.category.empty()) {
      EXPECT_EQ(r.correction->categoryUid, c.category) << c.kind;
    }
    EXPECT_EQ(r.correction->amountSub, c.amount) << c.kind;
    EXPECT_EQ(r.correction->amount, c.amount) << c.kind;
  }
  EXPECT_EQ(records()[1].categoryUid,
            BaseRepository(*ledger_).fetch<Category>(" WHERE ZDOTYPE = 0")[0].uid);
}

TEST_F(AssetRepositoryTest, WithoutACorrectionCategoryTheRecordUsesTheAdjustmentOne) {
  const Asset account = add(form("Wallet", bank_));
  AssetForm f = form("Wallet", bank_);
  f.uid = *account.uid;
  f.balanceBeforeEdit = 100;
  f.balance = 40;
  f.recordCorrectionAs = BalanceRecording::kIncomeExpense;
  const AssetSaveResult r = repo().saveAsset(f);
  ASSERT_TRUE(r.correction);
  EXPECT_EQ(r.correction->Do_Type, "1");
  EXPECT_EQ(r.correction->categoryUid, "-4");

  // An unchanged balance records nothing.
  f.balanceBeforeEdit = 40;
  EXPECT_FALSE(repo().saveAsset(f).correction);
  EXPECT_EQ(records().size(), 1u);
}

TEST_F(AssetRepositoryTest, DebitCardsNeverRecordACorrectionAndFollowTheirPayer) {
  AssetForm dollarBank = form("Dollar bank", bank_);
  dollarBank.currency = "USD";
  const Asset payer = add(dollarBank);
  const Asset wonBank = add(form("Won bank", bank_));

  AssetForm debit = form("Debit", debit_);
  debit.cardAssetUid = *payer.uid;
  debit.balance = 500;
  const AssetSaveResult refused = repo().saveAsset(debit);
  EXPECT_EQ(refused.refusal, "config_debit_card_currency_change");
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZASSET"), 2);

  debit.currency = "USD";
  const AssetSaveResult saved = repo().saveAsset(debit);
  ASSERT_TRUE(saved.ok());
  EXPECT_FALSE(saved.correction);
  EXPECT_TRUE(records().empty());
  EXPECT_EQ(saved.asset->card_usage_hurdle_amount, 300000);  // Korean card

  // A payer in the main currency lets the card use any currency.
  debit.currency = "EUR";
  debit.cardAssetUid = *wonBank.uid;
  EXPECT_TRUE(repo().saveAsset(debit).ok());
}

TEST_F(AssetRepositoryTest, CurrencyChangeNeedsConsentThenConvertsTheAccountAndItsCards) {
  const Asset bankAccount = add(form("Bank", bank_));
  AssetForm cardForm = form("Card", cards_);
  cardForm.cardAssetUid = *bankAccount.uid;
  cardForm.autoPay = true;
  const Asset card = add(cardForm);
  EXPECT_EQ(card.isCardAutoPay, 1);
  BaseRepository base(*ledger_);
  InOutCome onBank = base.newObjectForEntity<InOutCome>();
  onBank.assetUid = bankAccount.uid;
  onBank.Do_Type = "0";
  onBank.currencyUid = "KRW_KRW";
  onBank.amountSub = onBank.amount = onBank.amountAccount = 145000;
  InOutCome onCard = onBank;
  onCard.uid = BaseRepository::newUid();
  onCard.assetUid = card.uid;
  onCard.currencyUid = "KRW_EUR";
  onCard.amountSub = 3;
  onCard.amount = onCard.amountAccount = 4350;
  ASSERT_TRUE(base.save(onBank, "updateInOutCome"));
  ASSERT_TRUE(base.save(onCard, "updateInOutCome"));

  AssetForm f = form("Bank", bank_);
  f.uid = *bankAccount.uid;
  f.currency = "EUR";
  f.balance = f.balanceBeforeEdit = 100;
  EXPECT_EQ(repo().saveAsset(f).refusal, "config_asset_currency_change");
  EXPECT_EQ(base.dataByUid<Asset>(*bankAccount.uid)->currencyUid, "KRW_KRW");
  EXPECT_EQ(base.dataByUid<InOutCome>(*onBank.uid)->amountAccount, 145000);

  f.confirmCurrencyChange = true;
  const AssetSaveResult r = repo().saveAsset(f);
  ASSERT_TRUE(r.ok());
  EXPECT_FALSE(r.correction);
  EXPECT_EQ(r.asset->currencyUid, "KRW_EUR");
  EXPECT_EQ(base.dataByUid<InOutCome>(*onBank.uid)->amountAccount, 100);  // 145000 ÷ 1450
  EXPECT_EQ(base.dataByUid<Asset>(*card.uid)->currencyUid, "KRW_EUR");
  EXPECT_EQ(base.dataByUid<InOutCome>(*onCard.uid)->amountAccount, 3);    // entered in EUR
  EXPECT_EQ(ledger_->commonData().assetByUid(*card.uid)->currencyUid, "KRW_EUR");
}

TEST_F(AssetRepositoryTest, ValuesTheScreenWouldNotOfferAreInputErrors) {
  const Asset wallet = add(form("Wallet", bank_));
  struct Case {
    const char* what;
    void (*change)(AssetForm&);
  };
  const Case cases[] = {
      {"unknown group", [](AssetForm& f) { f.groupUid = "nope"; }},
      {"unknown currency", [](AssetForm& f) { f.currency = "GBP"; }},
      {"unknown payer", [](AssetForm& f) { f.cardAssetUid = "nope"; }},
      {"day 32", [](AssetForm& f) { f.settlementDay = "32"; }},
      {"day text", [](AssetForm& f) { f.paymentDay = "first"; }},
      {"balance", [](AssetForm& f) { f.balance = std::nan(""); }},
      {"unknown account", [](AssetForm& f) { f.uid = "nope"; }},
  };
  for (const auto& c : cases) {
    AssetForm f = form("New", cards_);
    f.balance = 10;
    c.change(f);
    EXPECT_THROW(repo().saveAsset(f), InputError) << c.what;
  }
  AssetForm self = form("Wallet", bank_);
  self.uid = *wallet.uid;
  self.cardAssetUid = *wallet.uid;
  EXPECT_THROW(repo().saveAsset(self), InputError);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZASSET"), 1);
  EXPECT_TRUE(records().empty());
}

TEST_F(AssetRepositoryTest, AFailedSaveLeavesNoCorrectionBehind) {
  ledger_->store().db().exec(
      "CREATE TEMP TRIGGER refuse BEFORE INSERT ON ZASSET BEGIN SELECT RAISE(ABORT, 'disk full'); END");
  AssetForm f = form("Wallet", bank_);
  f.balance = 50;
  const AssetSaveResult r = repo().saveAsset(f);
  EXPECT_FALSE(r.ok());
  EXPECT_FALSE(r.refusal);
  EXPECT_FALSE(r.correction);
  EXPECT_TRUE(records().empty());
  EXPECT_NE(logText().find("updateAsset fail"), std::string::npos);
}

TEST_F(AssetRepositoryTest, HiddenAccountsStayInTotalsButLeaveUseLists) {
  const Asset wallet = add(form("Wallet", bank_));
  const Asset other = add(form("Other", bank_));
  auto hidden = repo().setAssetHidden(*wallet.uid, true);
  ASSERT_TRUE(hidden);
  EXPECT_EQ(hidden->isDel, kAssetHidden);
  EXPECT_EQ(repo().getAssetList(false).size(), 2u);
  EXPECT_EQ(repo().assetListNotDelete().size(), 2u);
  const auto usable = ledger_->commonData().getUseAssetList();
  ASSERT_EQ(usable.size(), 1u);
  EXPECT_EQ(usable[0].uid, other.uid);
  ASSERT_TRUE(repo().setAssetHidden(*wallet.uid, false));
  EXPECT_EQ(ledger_->commonData().getUseAssetList().size(), 2u);

  // Saving from the screen keeps the hidden switch.
  AssetForm f = form("Wallet", bank_);
  f.uid = *wallet.uid;
  f.hidden = true;
  EXPECT_EQ(repo().saveAsset(f).asset->isDel, kAssetHidden);
}

TEST_F(AssetRepositoryTest, DeletingAsksFirstAndKeepsTheTransactions) {
  AssetForm f = form("Wallet", bank_);
  f.balance = 5;
  const AssetSaveResult saved = repo().saveAsset(f);
  const std::string uid = *saved.asset->uid;
  EXPECT_EQ(repo().deleteAsset(uid, false).value(), "popup_message8");
  EXPECT_EQ(repo().assetByUid(uid)->isDel, 0);
  EXPECT_FALSE(repo().deleteAsset(uid, true).value());
  EXPECT_EQ(repo().assetByUid(uid)->isDel, kAssetDeleted);
  EXPECT_FALSE(repo().assetByUidNotDelete(uid));
  EXPECT_TRUE(repo().getAssetList(false).empty());
  EXPECT_EQ(repo().getAssetList(true).size(), 1u);
  EXPECT_EQ(records()[0].assetUid, uid);
  EXPECT_EQ(records()[0].isDel, 0);
  EXPECT_THROW(repo().deleteAsset(uid, true), InputError);
  EXPECT_THROW(repo().setAssetHidden(uid, true), InputError);
}

TEST_F(AssetRepositoryTest, StartDayOfACardIsItsSettlementDay) {
  ASSERT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(etc_kind::kStartDay, "25"));
  const std::pair<const char*, int> cases[] = {{"0", 1}, {"", 1}, {"15", 15}, {"31", 31}, {"x", 1}};
  for (const auto& [day, expected] : cases) {
    Asset card;
    card.groupUid = cards_.uid;
    card.Card_DayFin = day;
    EXPECT_EQ(AssetRepository::getStartDayByAsset(*ledger_, card), expected) << day;
  }
  Asset cash;
  cash.groupUid = bank_.uid;
  cash.Card_DayFin = "15";
  EXPECT_EQ(AssetRepository::getStartDayByAsset(*ledger_, cash), 25);
}

TEST_F(AssetRepositoryTest, GroupsInsertAtAPositionAndListInOrder) {
  ASSERT_TRUE(repo().addAssetGroup("Savings", 5, 2));
  const auto groups = repo().assetGroupList(false);
  ASSERT_EQ(groups.size(), 4u);
  EXPECT_EQ(groups[0].AssetGroupName, "Bank");
  EXPECT_EQ(groups[1].AssetGroupName, "Savings");
  EXPECT_EQ(groups[1].Order, 2);
  EXPECT_EQ(groups[2].AssetGroupName, "Cards");
  EXPECT_EQ(groups[2].Order, 3);
  EXPECT_EQ(groups[3].Order, 4);

  for (int64_t code : {1, 2, 4}) {
    AssetGroup g = *repo().assetGroupByUid(*debit_.uid);
    g.isDel = code;
    ASSERT_TRUE(repo().updateAssetGroup(g, false));
    EXPECT_EQ(repo().assetGroupList(false).size(), 3u) << code;
    EXPECT_EQ(repo().assetGroupList(true).size(), 4u) << code;
  }
  EXPECT_THROW(repo().addAssetGroup(" ", 1), InputError);
  EXPECT_FALSE(repo().assetGroupByUid("0"));
}

TEST_F(AssetRepositoryTest, CacheListsSortAccountsByKind) {
  const Asset bankAccount = add(form("  Bank  ", bank_));
  AssetForm cardForm = form("Card", cards_);
  cardForm.cardAssetUid = *bankAccount.uid;
  const Asset card = add(cardForm);
  AssetForm moveForm = form("Card 2", cards_);
  moveForm.transferExpense = true;
  const Asset card2 = add(moveForm);
  AssetForm debitForm = form("Debit", debit_);
  debitForm.cardAssetUid = *bankAccount.uid;
  const Asset debit = add(debitForm);
  ASSERT_FALSE(repo().deleteAsset(*card2.uid, true).value());

  const CommonData& cache = ledger_->commonData();
  auto uids = [](const std::vector<Asset>& list) {
    std::vector<std::string> out;
    for (const auto& a : list) out.push_back(*a.uid);
    return out;
  };
  EXPECT_EQ(uids(cache.getArrayCardAsset(false)), (std::vector<std::string>{*card.uid}));
  EXPECT_EQ(uids(cache.getArrayCardAsset(true)), (std::vector<std::string>{*card.uid, *card2.uid}));
  EXPECT_EQ(uids(cache.normalAssetList(false)), (std::vector<std::string>{*bankAccount.uid}));
  EXPECT_EQ(uids(cache.getNotCardAssetList(false)), (std::vector<std::string>{*bankAccount.uid, *debit.uid}));
  EXPECT_EQ(uids(cache.checkCardListByAsset(*bankAccount.uid, false)),
            (std::vector<std::string>{*card.uid, *debit.uid}));
  EXPECT_EQ(uids(cache.getCardAssetNotInTransferList()), (std::vector<std::string>{*card.uid}));
  EXPECT_TRUE(cache.getAssetTransferList().empty());  // the only one is deleted
  EXPECT_EQ(cache.getAssetGroupTypeAsset(debit), kDebitCardGroupType);
  EXPECT_EQ(cache.getAssetByName(" Bank ")->uid, bankAccount.uid);
  EXPECT_FALSE(cache.getAssetByName("Card 2"));
  EXPECT_EQ(uids(repo().cardAssetList()), (std::vector<std::string>{*card.uid}));
  EXPECT_EQ(cache.getAssetListByGroupId(*cards_.uid, true).size(), 2u);
  EXPECT_FALSE(cache.assetByUid(""));
}

TEST_F(AssetRepositoryTest, LiveAccountsComeGroupByGroupInGroupOrder) {
  const Asset card = add(form("Card", cards_));
  const Asset first = add(form("First", bank_));
  const Asset debit = add(form("Debit", debit_));
  const Asset second = add(form("Second", bank_));
  AssetGroup gone = *repo().assetGroupByUid(*debit_.uid);
  gone.isDel = 4;
  ASSERT_TRUE(repo().updateAssetGroup(gone, false));
  std::vector<std::string> names;
  for (const auto& a : repo().assetListNotDelete()) names.push_back(*a.NicName);
  EXPECT_EQ(names, (std::vector<std::string>{"First", "Second", "Card"}));
  (void)card, (void)first, (void)debit, (void)second;
  EXPECT_EQ(repo().assetListWithAssetGroupType({kCreditCardGroupType, kDebitCardGroupType}).size(), 1u);
  EXPECT_TRUE(repo().assetListByGroupUid("0", true).empty());
  EXPECT_EQ(repo().assetListByGroupUid(*bank_.uid, false).size(), 2u);
}

TEST_F(AssetRepositoryTest, OnlyKoreanCardsGetAUsageTarget) {
  reopen({.lang = "en"});
  const Asset card = add(form("Card", cards_));
  EXPECT_FALSE(card.card_usage_hurdle_amount);
  EXPECT_EQ(add(form("Won", bank_)).card_usage_hurdle_amount, std::nullopt);
}

TEST_F(AssetRepositoryTest, ACardUsageTargetIsWhatTheUsageViewReads) {
  AssetForm f = form("Card", cards_);
  f.usageTargetType = kCardUsageThreeMonths;
  f.usageTargetAmount = 150000;
  const Asset card = add(f);
  EXPECT_EQ(card.card_usage_hurdle_start_date, ledger_->env().nowMs());
  const CardUsageView view = CardRepository(*ledger_).cardUsageView(card);
  EXPECT_TRUE(view.threeMonths);
  EXPECT_DOUBLE_EQ(view.target, 150000);
  EXPECT_DOUBLE_EQ(view.remaining, 3 * 150000);

  // Saving the same target again does not restart it; no target is 0.
  ledger_->env().setNow(ledger_->env().nowMs() + 60'000);
  AssetForm edit = f;
  edit.uid = *card.uid;
  EXPECT_EQ(add(edit).card_usage_hurdle_start_date, card.card_usage_hurdle_start_date);
  edit.usageTargetAmount = 0;
  edit.usageTargetType.reset();
  const Asset none = add(edit);
  EXPECT_EQ(none.card_usage_hurdle_type, kCardUsageThreeMonths);
  EXPECT_EQ(none.card_usage_hurdle_start_date, ledger_->env().nowMs());
  EXPECT_FALSE(CardRepository(*ledger_).cardUsageView(none).hasTarget);
  // A debit card has one too; a Korean card given a target keeps that one.
  AssetForm debit = form("Debit", debit_);
  debit.usageTargetAmount = 5;
  EXPECT_EQ(add(debit).card_usage_hurdle_amount, 5);
}

TEST_F(AssetRepositoryTest, UsageTargetsTheCardCodeCannotReadAreRefused) {
  struct Case {
    const char* what;
    bool onBank;
    std::optional<int64_t> type, amount;
  } cases[] = {
      {"a bank account", true, std::nullopt, 1000},
      {"1, which is monthly written another way", false, 1, std::nullopt},
      {"an unknown type", false, 7, std::nullopt},
      {"a negative target", false, std::nullopt, -1},
      {"a target beyond the money limit", false, std::nullopt, 1'000'000'000'000'000},
  };
  for (const Case& c : cases) {
    AssetForm f = form(c.what, c.onBank ? bank_ : cards_);
    f.usageTargetType = c.type;
    f.usageTargetAmount = c.amount;
    EXPECT_THROW((void)repo().saveAsset(f), InputError) << c.what;
  }
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZASSET"), 0);
}

TEST_F(AssetRepositoryTest, AGroupIsDeletedOnlyOnceNoAccountIsLeftInIt) {
  const AssetGroup savings = *repo().addAssetGroup("Savings", 4);
  AssetForm jar = form("Jar", savings);
  jar.hidden = true;  // hidden accounts still count in totals
  const Asset hidden = add(jar);
  const Asset closed = add(form("Closed", savings));
  ASSERT_TRUE(repo().deleteAsset(*closed.uid, true));

  try {
    (void)repo().deleteAssetGroup(*savings.uid);
    ADD_FAILURE() << "a group holding an account was deleted";
  } catch (const InputError& e) {
    EXPECT_STREQ(e.what(), "the group 'Savings' still holds 1 account ('Jar'); move or delete it first");
  }
  EXPECT_TRUE(live::isListedGroup(*repo().assetGroupByUid(*savings.uid)));

  AssetForm move = form("Jar", bank_);
  move.uid = *hidden.uid;
  move.hidden = true;
  add(move);
  const AssetGroup gone = repo().deleteAssetGroup(*savings.uid).value();
  EXPECT_EQ(gone.isDel, 1);
  EXPECT_EQ(gone.utime, ledger_->env().nowMs());
  EXPECT_FALSE(live::isListedGroup(*ledger_->commonData().assetGroupByUid(*savings.uid)));
  EXPECT_THROW((void)repo().deleteAssetGroup(*savings.uid), InputError);
  EXPECT_THROW((void)repo().renameAssetGroup(*savings.uid, "Back"), InputError);
}

TEST_F(AssetRepositoryTest, RenamingAGroupKeepsEverythingElse) {
  const AssetGroup renamed = repo().renameAssetGroup(*bank_.uid, "  Banks ").value();
  EXPECT_EQ(renamed.AssetGroupName, "Banks");
  EXPECT_EQ(renamed.Order, bank_.Order);
  EXPECT_EQ(renamed.Status, bank_.Status);
  EXPECT_EQ(ledger_->commonData().assetGroupByUid(*bank_.uid)->AssetGroupName, "Banks");
  EXPECT_THROW((void)repo().renameAssetGroup(*bank_.uid, " "), InputError);
  EXPECT_THROW((void)repo().renameAssetGroup("NO-SUCH-GROUP", "X"), InputError);
}

}  // namespace
}  // namespace varnel
