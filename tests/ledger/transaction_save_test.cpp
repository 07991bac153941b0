#include <fstream>
#include <functional>

#include <fmt/format.h>

#include "ledger/category_repository.h"
#include "ledger/photo_store.h"
#include "ledger/repeat.h"
#include "ledger/repeat_transaction_repository.h"
#include "ledger/tag_repository.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "support/test_jpeg.h"
#include "tests/ledger/transaction_test_fixture.h"

namespace varnel::testing {
namespace {

using Save = TransactionTest;

// --- The three amounts ---------------------------------------------------------

struct AmountCase {
  const char* name;
  std::string account;
  std::string currency;
  double entered;
  std::optional<double> mainOverride;
  double amountSub, amount, amountAccount;
};

TEST_F(Save, StoresTheThreeAmountsRoundedToTheirCurrencies) {
  const std::vector<AmountCase> cases = {
      {"entered in the account's currency", "ZZZ", "KRW_ZZZ", 10, {}, 10, 13000, 10},
      {"foreign amount on a main-currency account", "WON", "KRW_USD", 2.5, {}, 2.5, 3250, 3250},
      {"foreign amount on an account in a third currency", "YEN", "KRW_USD", 10, {}, 10, 13000, 1444},
      {"main amount on a foreign account", "DOLLAR", "", 1000, {}, 1000, 1000, 0.77},
      {"typed main amount wins", "WON", "KRW_USD", 10, 12000, 10, 12000, 12000},
      {"typed main amount converts to a third currency", "YEN", "KRW_USD", 10, 12000, 10, 12000, 1333},
      {"half-way goes away from zero", "DOLLAR", "KRW_USD", 0.125, {}, 0.13, 163, 0.13},
      {"negative half-way goes away from zero", "DOLLAR", "KRW_USD", -2.675, {}, -2.68, -3478, -2.68},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TransactionForm f = form(kModeExpense, c.account, c.entered);
    f.currency = c.currency;
    f.mainAmount = c.mainOverride;
    const auto r = saved(f);
    ASSERT_TRUE(r.record);
    const InOutCome stored = load(r.record->uid);
    EXPECT_DOUBLE_EQ(*stored.amountSub, c.amountSub);
    EXPECT_DOUBLE_EQ(*stored.amount, c.amount);
    EXPECT_DOUBLE_EQ(*stored.amountAccount, c.amountAccount);
    EXPECT_EQ(stored.currencyUid, c.currency.empty() ? "KRW_KRW" : c.currency);
  }
}

TEST_F(Save, AnEditWithUnchangedCurrencyAndAccountKeepsTheHistoricalRatio) {
  TransactionForm f = form(kModeExpense, "YEN", 10);
  f.currency = "KRW_USD";
  const auto first = saved(f);
  ASSERT_DOUBLE_EQ(*first.record->amountAccount, 1444);  // 13000 / 9
  setRate("KRW_USD", 1400);
  setRate("KRW_JPY", 10);

  // Twice the amount at the rates of the day it was made: 1300 × 20 ÷ (13000 / 1444).
  TransactionForm edit = TransactionSave(*ledger_).formForRecord(*first.record->uid);
  edit.amount = 20;
  edit.mainAmount = 26000;
  const auto again = saved(edit);
  EXPECT_EQ(again.record->uid, first.record->uid);
  EXPECT_DOUBLE_EQ(*load(again.record->uid).amountAccount, 2888);

  // Another account: today's rate of its currency.
  edit = TransactionSave(*ledger_).formForRecord(*first.record->uid);
  edit.account = "YEN2";
  const auto moved = saved(edit);
  EXPECT_DOUBLE_EQ(*load(moved.record->uid).amountAccount, 2600);  // 26000 / 10
}

TEST_F(Save, RefusesMissingAccountOrCategoryWithoutWriting) {
  TransactionForm noAccount = form(kModeExpense, "", 5);
  EXPECT_EQ(save(noAccount).refusal, "inout_edit_message2");
  TransactionForm unknownAccount = form(kModeExpense, "NOPE", 5);
  EXPECT_EQ(save(unknownAccount).refusal, "inout_edit_message2");
  TransactionForm noTarget = form(kModeTransfer, "WON", 5, "");
  EXPECT_EQ(save(noTarget).refusal, "inout_edit_message2");
  TransactionForm noCategory = form(kModeIncome, "WON", 5);
  noCategory.category.clear();
  EXPECT_EQ(save(noCategory).refusal, "inout_edit_message1");
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), 0);

  TransactionForm wrongKind = form(kModeIncome, "WON", 5, "FOOD");
  EXPECT_THROW(save(wrongKind), InputError);
  TransactionForm selfTransfer = form(kModeTransfer, "WON", 5, "WON");
  EXPECT_THROW(save(selfTransfer), InputError);
  TransactionForm feeOnExpense = form(kModeExpense, "WON", 5);
  feeOnExpense.fee = TransactionFee{1, ""};
  EXPECT_THROW(save(feeOnExpense), InputError);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), 0);
}

TEST_F(Save, RefusesAmountsAConversionCarriesToTheMoneyLimitWithoutWriting) {
  // Beyond 1e15 a double loses the cents and sums of such rows overflow; a
  // rate can carry an amount typed within the limit past it. A thousandth of
  // a won per unit makes account amounts larger than main ones.
  addCurrency("KRW_MIL", "MIL", 0.001, 2, false);
  addAccount("MILLI", "Milli", "KRW_MIL");
  ledger_->commonData().ReloadTheData();
  struct Case {
    const char* name;
    TransactionForm form;
  };
  auto inUsd = [&](TransactionForm f) {
    f.currency = "KRW_USD";
    return f;
  };
  auto withFee = [&](TransactionForm f, double fee, const std::string& currency) {
    f.fee = TransactionFee{fee, currency};
    return f;
  };
  auto withMain = [&](TransactionForm f, double main) {
    f.mainAmount = main;
    return f;
  };
  const std::vector<Case> cases = {
      {"the amount itself", form(kModeExpense, "WON", 1e15)},
      {"dollars converted to won", inUsd(form(kModeExpense, "WON", 8e11))},
      {"a typed main amount", withMain(inUsd(form(kModeExpense, "DOLLAR", 10)), -2e15)},
      {"an instalment purchase", [&] {
         TransactionForm f = inUsd(form(kModeExpense, "WON", 8e11));
         f.installments = 3;
         return f;
       }()},
      {"won converted for the account", form(kModeExpense, "MILLI", 2e12)},
      {"the receiving side of a transfer", form(kModeTransfer, "WON", 2e12, "MILLI")},
      {"a fee in dollars", withFee(form(kModeTransfer, "WON", 5, "WON2"), 8e11, "KRW_USD")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(save(c.form), InputError);
  }
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), 0);

  // An edit that would cross the limit leaves the record as it was.
  const auto first = saved(inUsd(form(kModeExpense, "WON", 10)));
  TransactionForm edit = TransactionSave(*ledger_).formForRecord(*first.record->uid);
  edit.amount = 8e11;
  edit.mainAmount.reset();
  EXPECT_THROW(save(edit), InputError);
  EXPECT_DOUBLE_EQ(*load(first.record->uid).amount, 13000);
  // Just within the limit is kept to the cent.
  const auto large = saved(form(kModeExpense, "WON", 999999999999999));
  EXPECT_DOUBLE_EQ(*load(large.record->uid).amount, 999999999999999);
}

TEST_F(Save, InstalmentPurchaseIsSplitIntoMonthlyRows) {
  TransactionForm installment = form(kModeExpense, "WON", 1000);
  installment.installments = 3;
  installment.date = at(2026, 1, 31, 10);
  const TransactionSaveResult result = save(installment);
  ASSERT_TRUE(result.ok());
  ASSERT_EQ(result.series.size(), 3u);
  const double expected[] = {334, 333, 333};
  const char* days[] = {"2026-01-31", "2026-02-28", "2026-03-31"};
  for (int i = 0; i < 3; ++i) {
    const InOutCome& row = result.series[i];
    EXPECT_EQ(row.amountSub, expected[i]);
    EXPECT_EQ(row.amount, expected[i]);
    EXPECT_EQ(row.txDateStr, days[i]);
    EXPECT_EQ(row.cardDivideMonth, "10001");
    EXPECT_EQ(row.cardDivideMonthStr, "(" + std::to_string(i + 1) + "/3)");
    EXPECT_EQ(row.cardDivideUid, result.series[0].uid);
  }
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), 3);
}

// Ordinary entries stored no instalment position at all (NULL) instead of
// an empty one.
TEST_F(Save, OrdinaryEntriesStoreAnEmptyInstalmentPosition) {
  const auto expense = saved(form(kModeExpense, "WON", 1000));
  EXPECT_EQ(load(expense.record->uid).cardDivideMonthStr, "");
  const auto transfer = saved(form(kModeTransfer, "WON", 1000, "DOLLAR"));
  EXPECT_EQ(load(transfer.record->uid).cardDivideMonthStr, "");
  EXPECT_EQ(load(transfer.opposite->uid).cardDivideMonthStr, "");
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME WHERE ZCARDDIVIDEMONTHSTR IS NULL"), 0);
}

// --- Repeats ---------------------------------------------------------------------

TEST_F(Save, ARepeatSavesTheEntryAsItsFirstOccurrenceWithItsTemplate) {
  // "Now" is 10 December 2026; the entry is dated 1 December, 12:00.
  TransactionForm f = form(kModeExpense, "DOLLAR", 2.5, "FOOD");
  f.currency = "KRW_USD";
  f.content = "  Rent ";
  f.memo = " flat ";
  f.mark = 2;
  f.repeatType = repeat_type::kMonthly;
  const auto r = saved(f);
  ASSERT_TRUE(r.record && r.repeat);
  const InOutCome entry = load(r.record->uid);
  EXPECT_EQ(entry.cardDivideMonth, "1");
  EXPECT_EQ(entry.cardDivideMonthStr, "");
  EXPECT_EQ(entry.amountAccount, 2.5);

  const RepeatTransaction t = *RepeatTransactionRepository(*ledger_).getRepeatByUId(r.repeat->uid.value_or(""));
  EXPECT_EQ(t.uid->size(), 36u);
  EXPECT_EQ(t.repeatType, 1);
  EXPECT_EQ(t.nextDate, storeSecondsToMs(at(2027, 1, 1)));  // the occurrence after the entry
  EXPECT_EQ(t.doType, 1);
  EXPECT_EQ(t.assetUid, "DOLLAR");
  EXPECT_EQ(t.categoryUid, "FOOD");
  EXPECT_FALSE(t.toAssetUid);
  EXPECT_EQ(t.amountSub, 2.5);
  EXPECT_EQ(t.currencyUid, "KRW_USD");
  EXPECT_EQ(t.payee, "Rent");
  EXPECT_EQ(t.memo, "flat");
  EXPECT_EQ(t.mark, 2);
  EXPECT_EQ(t.isDel, 0);
  EXPECT_EQ(t.isSynced, 1);
  EXPECT_EQ(t.utime, ledger_->env().nowMs());

  // The run never books the entry's own occurrence a second time.
  RepeatTransactionRepository repeats(*ledger_);
  ASSERT_TRUE(repeats.repeatDataInputAll().isOk());
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), 1);
  ledger_->env().setNow(storeSecondsToMs(at(2027, 1, 2)));
  ASSERT_TRUE(repeats.repeatDataInputAll().isOk());
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), 2);
  EXPECT_EQ(load(*t.uid + "_2027-01-01_1").amountAccount, 2.5);
}

TEST_F(Save, ARepeatingTransferKeepsItsReceivingAccountAndAnEndDate) {
  TransactionForm f = form(kModeTransfer, "WON", 1000, "WON2");
  f.repeatType = repeat_type::kWeekly;
  f.repeatEndDate = at(2026, 12, 29, 0);
  const auto r = saved(f);
  ASSERT_TRUE(r.opposite && r.repeat);
  EXPECT_EQ(load(r.opposite->uid).cardDivideMonth, "6");
  EXPECT_EQ(r.repeat->doType, 3);
  EXPECT_EQ(r.repeat->toAssetUid, "WON2");
  EXPECT_FALSE(r.repeat->categoryUid);
  EXPECT_EQ(r.repeat->endDate, storeSecondsToMs(at(2026, 12, 29, 0)));
  EXPECT_EQ(r.repeat->nextDate, storeSecondsToMs(at(2026, 12, 8)));
}

TEST_F(Save, ARepeatCanReplaceTheTemplateItWasOpenedFrom) {
  TransactionForm f = form(kModeExpense, "WON", 1000);
  f.repeatType = repeat_type::kDaily;
  const auto first = saved(f);
  f.repeatType = repeat_type::kWeekly;
  f.repeatTemplate = first.repeat->uid.value_or("");
  f.amount = 2000;
  const auto second = saved(f);
  EXPECT_EQ(second.repeat->uid, first.repeat->uid);
  EXPECT_EQ(second.repeat->repeatType, repeat_type::kWeekly);
  EXPECT_EQ(second.repeat->amountSub, 2000);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZREPEATTRANSACTION"), 1);
}

TEST_F(Save, RepeatsThatCannotBeSavedLeaveNothingWritten) {
  TransactionForm early = form(kModeExpense, "WON", 30000);
  early.repeatType = repeat_type::kMonthly;
  early.date = at(2026, 11, 1, 0);  // the first day of the previous month
  EXPECT_EQ(save(early).refusal, "inout_edit_message6");

  struct Case {
    const char* name;
    std::function<void(TransactionForm&)> change;
  };
  const std::vector<Case> cases = {
      {"an unknown repeat type", [](TransactionForm& f) { f.repeatType = 11; }},
      {"a repeat split into instalments", [](TransactionForm& f) { f.installments = 3; }},
      {"an end before the entry", [this](TransactionForm& f) { f.repeatEndDate = at(2026, 11, 30); }},
      {"an unknown template", [](TransactionForm& f) { f.repeatTemplate = "NOSUCH"; }},
      {"an end date without a repeat", [this](TransactionForm& f) {
         f.repeatType = 0;
         f.repeatEndDate = at(2026, 12, 30);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TransactionForm f = form(kModeExpense, "WON", 30000);
    f.repeatType = repeat_type::kMonthly;
    c.change(f);
    EXPECT_THROW(save(f), InputError);
  }
  // Nor may a row of an instalment series become one.
  TransactionForm purchase = form(kModeExpense, "WON", 30000);
  purchase.installments = 3;
  const auto series = saved(purchase);
  TransactionForm row = TransactionSave(*ledger_).formForRecord(series.series.at(1).uid.value_or(""));
  row.repeatType = repeat_type::kMonthly;
  EXPECT_THROW(save(row), InputError);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZREPEATTRANSACTION"), 0);
  const int64_t rows = count("SELECT COUNT(*) FROM ZINOUTCOME");

  // The template is written with the entry: a refused template write takes the entry with it.
  ledger_->store().db().exec(
      "CREATE TEMP TRIGGER refuse BEFORE INSERT ON ZREPEATTRANSACTION BEGIN SELECT RAISE(ABORT, 'disk full'); END");
  TransactionForm f = form(kModeExpense, "WON", 30000);
  f.repeatType = repeat_type::kMonthly;
  const auto failed = save(f);
  EXPECT_FALSE(failed.ok());
  EXPECT_FALSE(failed.refusal);
  EXPECT_NE(logText().find("updateRepeat fail"), std::string::npos);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), rows);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZREPEATTRANSACTION"), 0);
}

// --- Content -------------------------------------------------------------------

TEST_F(Save, AutoSaveTxContentFollowsTheFirstInstalledVersionThenThePreference) {
  struct Case {
    std::string version;
    std::optional<std::string> preference;
    int expected;
  };
  const std::vector<Case> cases = {
      {"", std::nullopt, 0},  {"2.4.9", std::nullopt, 0}, {"2.4.9", "1", 1}, {"2.5.0", "0", 1},
      {"2.10.0", "0", 1},     {"10.0", "0", 1},           {"2.5", "0", 1},   {"1.99.99", "x", 0},
  };
  EtcRepository etc(*ledger_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    ASSERT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kInitDbVersion, c.version));
    if (c.preference) {
      ledger_->preferences().setString(kTxAddCategoryToEmptyContentKey, *c.preference);
    } else {
      ledger_->preferences().remove(kTxAddCategoryToEmptyContentKey);
    }
    EXPECT_EQ(TransactionSave(*ledger_).autoSaveTxContent(), c.expected);
  }
}

TEST_F(Save, TheEmptyContentPreferenceIsSetOnlyWhereItDecides) {
  TransactionSave saver(*ledger_);
  EtcRepository etc(*ledger_);
  ASSERT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kInitDbVersion, "2.4.9"));
  ASSERT_TRUE(saver.setAutoSaveTxContent(true));
  EXPECT_EQ(saver.autoSaveTxContent(), 1);
  ASSERT_TRUE(saver.setAutoSaveTxContent(false));
  EXPECT_EQ(saver.autoSaveTxContent(), 0);
  EXPECT_EQ(ledger_->preferences().getString(kTxAddCategoryToEmptyContentKey), "0");
  ASSERT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kInitDbVersion, "2.5.0"));
  EXPECT_THROW((void)saver.setAutoSaveTxContent(false), InputError);
  EXPECT_EQ(ledger_->preferences().getString(kTxAddCategoryToEmptyContentKey), "0");
}

TEST_F(Save, AnEmptyContentIsFilledFromTheCategoryOrTheAccountsWhenTheFlagIsOff) {
  ASSERT_EQ(TransactionSave(*ledger_).autoSaveTxContent(), 0);
  TransactionForm income = form(kModeIncome, "WON", 100);
  income.content = " \n ";
  EXPECT_EQ(saved(income).record->Content, "Salary");
  TransactionForm sub = form(kModeExpense, "WON", 100, "LUNCH");
  EXPECT_EQ(saved(sub).record->Content, "Lunch");
  const auto transfer = saved(form(kModeTransfer, "WON", 100, "YEN"));
  EXPECT_EQ(transfer.record->Content, "Won → Yen");
  EXPECT_EQ(transfer.opposite->Content, "Won → Yen");

  TransactionForm typed = form(kModeIncome, "WON", 100);
  typed.content = "  Bonus\n";
  typed.memo = "  note\n";
  const auto r = saved(typed);
  EXPECT_EQ(r.record->Content, "Bonus");
  EXPECT_EQ(r.record->memo, "note\n");  // the memo keeps its line breaks

  ASSERT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(etc_kind::kInitDbVersion, "2.5.0"));
  EXPECT_EQ(saved(form(kModeIncome, "WON", 100)).record->Content, "");
}

// --- Transfers -----------------------------------------------------------------

TEST_F(Save, ATransferIsTwoMirroredSidesEachInItsOwnCurrency) {
  TransactionForm f = form(kModeTransfer, "DOLLAR", 10, "YEN");
  f.currency = "KRW_USD";
  f.mark = 3;
  const auto r = saved(f);
  ASSERT_TRUE(r.record && r.opposite);
  const InOutCome out = load(r.record->uid);
  const InOutCome in = load(r.opposite->uid);
  EXPECT_EQ(out.Do_Type, "3");
  EXPECT_EQ(in.Do_Type, "4");
  EXPECT_EQ(out.txUidTrans, in.txUidTrans);
  EXPECT_EQ(out.assetUid, in.toAssetUid);
  EXPECT_EQ(in.assetUid, out.toAssetUid);
  EXPECT_EQ(in.mark, 3);
  EXPECT_DOUBLE_EQ(*out.amountAccount, 10);
  EXPECT_DOUBLE_EQ(*in.amountAccount, 1444);
  EXPECT_DOUBLE_EQ(*in.amount, 13000);
}

TEST_F(Save, EditingTheReceivingSideEditsTheTransfer) {
  const auto r = saved(form(kModeTransfer, "WON", 500, "WON2"));
  TransactionSave saver(*ledger_);
  TransactionForm edit = saver.formForRecord(*r.opposite->uid);
  EXPECT_EQ(edit.mode, kModeTransfer);
  EXPECT_EQ(edit.account, "WON");
  EXPECT_EQ(edit.targetAccount, "WON2");
  edit.amount = 700;
  edit.targetAccount = "YEN";
  const auto again = saved(edit);
  EXPECT_EQ(again.record->uid, r.record->uid);    // the sending side was changed
  EXPECT_EQ(again.opposite->uid, r.opposite->uid);  // and its receiving side rewritten
  const InOutCome in = load(r.opposite->uid);
  EXPECT_EQ(in.assetUid, "YEN");
  EXPECT_DOUBLE_EQ(*in.amountSub, 700);
  EXPECT_DOUBLE_EQ(*in.amountAccount, 78);  // 700 / 9
  EXPECT_EQ(liveCount(), 2);
}

TEST_F(Save, AMissingOtherSideIsLoggedAndRecreated) {
  const auto r = saved(form(kModeTransfer, "WON", 500, "WON2"));
  InOutCome in = load(r.opposite->uid);
  in.isDel = 1;
  ASSERT_TRUE(InOutComeRepository(*ledger_).updateInOutCome(in));

  const auto again = saved(TransactionSave(*ledger_).formForRecord(*r.record->uid));
  EXPECT_NE(logText().find("이체 데이터 오류 이체 데이터 오류 이체 데이터 오류 이체 데이터 오류 " + *r.record->uid),
            std::string::npos);
  ASSERT_TRUE(again.opposite);
  EXPECT_NE(again.opposite->uid, r.opposite->uid);
  EXPECT_EQ(again.opposite->txUidTrans, r.record->txUidTrans);
  EXPECT_EQ(liveCount(), 2);

  // Only the receiving side left: editing it makes a new sending side.
  InOutCome out = load(r.record->uid);
  out.isDel = 1;
  ASSERT_TRUE(InOutComeRepository(*ledger_).updateInOutCome(out));
  const auto fromIn = saved(TransactionSave(*ledger_).formForRecord(*again.opposite->uid));
  EXPECT_NE(logText().find("이체 데이터 오류 " + *again.opposite->uid), std::string::npos);
  EXPECT_EQ(fromIn.record->assetUid, "WON");
  EXPECT_EQ(fromIn.opposite->uid, again.opposite->uid);
  EXPECT_EQ(fromIn.record->txUidTrans, again.opposite->txUidTrans);
  EXPECT_EQ(liveCount(), 2);
}

TEST_F(Save, ATransferTurnedIntoAnExpenseDeletesItsReceivingSide) {
  const auto r = saved(form(kModeTransfer, "WON", 500, "WON2"));
  TransactionForm edit = TransactionSave(*ledger_).formForRecord(*r.opposite->uid);
  edit.mode = kModeExpense;
  edit.category = "FOOD";
  const auto again = saved(edit);
  const InOutCome record = load(r.record->uid);
  EXPECT_EQ(record.Do_Type, "1");
  EXPECT_FALSE(record.toAssetUid);
  EXPECT_EQ(record.categoryUid, "FOOD");
  EXPECT_EQ(load(r.opposite->uid).isDel, 1);
  EXPECT_FALSE(again.opposite);
  EXPECT_EQ(liveCount(), 1);
}

TEST_F(Save, AnExpenseTurnedIntoATransferGetsALinkOfItsOwn) {
  const auto r = saved(form(kModeExpense, "WON", 500));
  TransactionForm edit = TransactionSave(*ledger_).formForRecord(*r.record->uid);
  edit.mode = kModeTransfer;
  edit.category.clear();
  edit.targetAccount = "DOLLAR";
  const auto again = saved(edit);
  ASSERT_TRUE(again.opposite);
  EXPECT_TRUE(again.record->txUidTrans && !again.record->txUidTrans->empty());
  EXPECT_EQ(again.opposite->txUidTrans, again.record->txUidTrans);
  EXPECT_DOUBLE_EQ(*again.opposite->amountAccount, 0.38);  // 500 / 1300
}

// --- Fees ------------------------------------------------------------------------

TEST_F(Save, AFeeIsAnExpenseOnTheSendingAccountAndGoesWhenSwitchedOff) {
  TransactionForm f = form(kModeTransfer, "WON", 100000, "DOLLAR");
  f.fee = TransactionFee{2, "KRW_USD"};
  const auto r = saved(f);
  ASSERT_TRUE(r.fee);
  const InOutCome fee = load(r.fee->uid);
  EXPECT_EQ(fee.Do_Type, "1");
  EXPECT_EQ(fee.assetUid, "WON");
  EXPECT_EQ(fee.txUidFee, r.record->txUidFee);
  EXPECT_EQ(fee.categoryUid, "-2");  // no fee category in this ledger
  EXPECT_EQ(fee.Content, ledger_->texts().text("input_transfer_fee"));
  EXPECT_EQ(fee.memo, "Won → Dollar");
  EXPECT_DOUBLE_EQ(*fee.amountSub, 2);
  EXPECT_DOUBLE_EQ(*fee.amount, 2600);
  EXPECT_DOUBLE_EQ(*fee.amountAccount, 2600);
  EXPECT_FALSE(load(r.opposite->uid).txUidFee);  // the receiving side carries no fee link

  // Moving the transfer moves the fee and renames its memo.
  TransactionForm edit = TransactionSave(*ledger_).formForRecord(*r.record->uid);
  EXPECT_TRUE(edit.fee);
  edit.account = "WON2";
  edit.date = at(2026, 12, 5);
  const auto moved = saved(edit);
  EXPECT_EQ(moved.fee->uid, r.fee->uid);
  EXPECT_EQ(load(r.fee->uid).assetUid, "WON2");
  EXPECT_EQ(load(r.fee->uid).memo, "Won two → Dollar");
  EXPECT_EQ(load(r.fee->uid).txDateStr, "2026-12-05");

  edit = TransactionSave(*ledger_).formForRecord(*r.record->uid);
  edit.fee.reset();
  const auto off = saved(edit);
  EXPECT_FALSE(off.fee);
  EXPECT_EQ(load(r.fee->uid).isDel, 1);
  EXPECT_FALSE(load(r.record->uid).txUidFee);
}

TEST_F(Save, DeletingATransferLeavesItsFee) {
  TransactionForm f = form(kModeTransfer, "WON", 1000, "WON2");
  f.fee = TransactionFee{100, ""};
  const auto r = saved(f);
  const auto deleted = TransactionSave(*ledger_).deleteTransaction(*r.opposite->uid, DeleteAnswer::kThisOnly);
  ASSERT_TRUE(deleted);
  EXPECT_EQ(deleted->size(), 2u);
  EXPECT_EQ(load(r.record->uid).isDel, 1);
  EXPECT_EQ(load(r.opposite->uid).isDel, 1);
  EXPECT_EQ(load(r.fee->uid).isDel, 0);
}

TEST_F(Save, ANewFeeTakesTheCategoryOfTheNewestEarlierFeeBetweenTheSameAccounts) {
  addCategory("FEES", ledger_->texts().text("config_assets_category_name1"), 1);
  addCategory("BANKCOST", "Bank cost", 1);
  ledger_->commonData().ReloadTheData();
  TransactionForm f = form(kModeTransfer, "WON", 1000, "WON2");
  f.fee = TransactionFee{100, ""};
  const auto first = saved(f);
  EXPECT_EQ(first.fee->categoryUid, "FEES");  // the fee category by its name

  InOutCome fee = load(first.fee->uid);
  fee.categoryUid = "BANKCOST";
  ASSERT_TRUE(InOutComeRepository(*ledger_).updateInOutCome(fee));
  EXPECT_EQ(saved(f).fee->categoryUid, "BANKCOST");

  // Other accounts do not count; a remembered category that was deleted does not either.
  TransactionForm other = form(kModeTransfer, "WON2", 1000, "WON");
  other.fee = TransactionFee{100, ""};
  EXPECT_EQ(saved(other).fee->categoryUid, "FEES");
  ASSERT_FALSE(CategoryRepository(*ledger_).deleteCategory("BANKCOST")->empty());
  EXPECT_EQ(saved(f).fee->categoryUid, "FEES");
}

// --- Atomicity -------------------------------------------------------------------

TEST_F(Save, AStoreFailureHalfWayLeavesNothingWritten) {
  ledger_->store().db().exec(
      "CREATE TRIGGER refuse_in BEFORE INSERT ON ZINOUTCOME WHEN NEW.ZDO_TYPE = '4' "
      "BEGIN SELECT RAISE(ABORT, 'disk says no'); END");
  TransactionForm f = form(kModeTransfer, "WON", 1000, "WON2");
  f.fee = TransactionFee{100, ""};
  f.tags = {"system_prepayment"};
  const auto r = save(f);
  EXPECT_FALSE(r.ok());
  EXPECT_FALSE(r.refusal);
  EXPECT_NE(logText().find("updateInOutCome fail"), std::string::npos);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZTXTAG"), 0);
}

// --- Tags and photos -------------------------------------------------------------

TEST_F(Save, TagsAndPhotosFollowTheRecordAndItsOtherSide) {
  const auto jpeg = dir_.path() / "receipt.jpg";
  std::ofstream(jpeg, std::ios::binary) << makeJpeg(8, 8);
  TransactionForm f = form(kModeTransfer, "WON", 1000, "WON2");
  f.tags = {"system_prepayment"};
  f.photos = {jpeg};
  const auto r = saved(f);
  PhotoStore photos(*ledger_);
  EXPECT_EQ(photos.countPhoto(*r.record->uid), 1);
  EXPECT_EQ(photos.countPhoto(*r.opposite->uid), 1);
  EXPECT_TRUE(TagRepository(*ledger_).isPrepayment(*r.record->uid));

  TransactionForm edit = TransactionSave(*ledger_).formForRecord(*r.record->uid);
  EXPECT_EQ(edit.tags, std::vector<std::string>{"system_prepayment"});
  edit.tags = {"system_card_usage_exception"};
  saved(edit);
  EXPECT_FALSE(TagRepository(*ledger_).isPrepayment(*r.record->uid));
  EXPECT_TRUE(TagRepository(*ledger_).isCardUsageException(*r.record->uid));

  ASSERT_TRUE(TransactionSave(*ledger_).deleteTransaction(*r.record->uid, DeleteAnswer::kThisOnly));
  EXPECT_EQ(photos.countPhoto(*r.record->uid), 0);
  EXPECT_EQ(photos.countPhoto(*r.opposite->uid), 0);

  const auto notJpeg = dir_.path() / "note.jpg";
  std::ofstream(notJpeg) << "not an image";
  TransactionForm bad = form(kModeExpense, "WON", 1);
  bad.photos = {notJpeg};
  const int64_t before = count("SELECT COUNT(*) FROM ZINOUTCOME");
  EXPECT_THROW(save(bad), InputError);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), before);
}

// --- Copying and deleting ---------------------------------------------------------

TEST_F(Save, ACopyIsANewEntryWithItsOwnLinksAndRemembersTheChoice) {
  TransactionForm f = form(kModeTransfer, "WON", 1000, "WON2");
  f.fee = TransactionFee{100, ""};
  f.message.smsOrigine = "[Web] 1,000 won";
  const auto r = saved(f);
  TransactionSave saver(*ledger_);
  const auto copy = saver.copyTransaction(*r.opposite->uid, CopyDate::kToday);
  ASSERT_TRUE(copy.ok() && copy.record && copy.opposite && copy.fee);
  EXPECT_NE(copy.record->uid, r.record->uid);
  EXPECT_NE(copy.record->txUidTrans, r.record->txUidTrans);
  EXPECT_NE(copy.record->txUidFee, r.record->txUidFee);
  EXPECT_NE(copy.fee->uid, r.fee->uid);
  EXPECT_EQ(copy.record->assetUid, "WON");
  EXPECT_FALSE(copy.record->smsOrigine);
  EXPECT_EQ(copy.record->txDateStr, "2026-12-10");
  EXPECT_EQ(ledger_->preferences().getString("LastTxCopyType"), "0");
  EXPECT_EQ(ledger_->preferences().getString("isToDayTxCopyDate"), "1");
  EXPECT_EQ(saver.lastCopyChoice(), CopyDate::kToday);

  const auto dated = saver.copyTransaction(*r.record->uid, CopyDate::kDateAt, at(2026, 3, 4));
  EXPECT_EQ(dated.record->txDateStr, "2026-03-04");
  EXPECT_EQ(saver.lastCopyChoice(), CopyDate::kDateAt);
  EXPECT_EQ(ledger_->preferences().getString("isToDayTxCopyDate"), "0");
  EXPECT_EQ(load(r.record->uid).txDateStr, "2026-12-01");  // the source is untouched
  EXPECT_THROW(saver.copyTransaction(*r.record->uid, CopyDate::kDateAt), InputError);
}

TEST_F(Save, DeletingAnInstalmentRowOffersTheWholeSeries) {
  InOutComeRepository repo(*ledger_);
  std::vector<std::string> uids;
  for (int i = 1; i <= 3; ++i) {
    TransactionForm f = form(kModeExpense, "WON", 10000);
    f.installment = InstallmentFields{"SERIES", "(" + std::to_string(i) + "/3)"};
    f.newUid = i == 1 ? "SERIES" : "";
    uids.push_back(*saved(f).record->uid);
  }
  EXPECT_EQ(uids.front(), "SERIES");
  TransactionSave saver(*ledger_);
  const auto question = saver.deleteQuestion(load(uids[1]));
  EXPECT_TRUE(question.isSeries);
  EXPECT_EQ(question.title, "inout_edit_lable8");
  EXPECT_EQ(question.choices, (std::vector<std::string>{"delete_all_text", "delete_text", "cancel_text"}));
  EXPECT_EQ(saver.deleteQuestion(*saved(form(kModeExpense, "WON", 1)).record).message, "popup_message8");

  EXPECT_TRUE(saver.deleteTransaction(uids[1], DeleteAnswer::kCancel)->empty());
  EXPECT_EQ(saver.deleteTransaction(uids[1], DeleteAnswer::kThisOnly)->size(), 1u);
  EXPECT_EQ(repo.getInOutComeByCardDivideUid("SERIES").size(), 2u);
  EXPECT_EQ(saver.deleteTransaction(uids[0], DeleteAnswer::kAll)->size(), 2u);
  EXPECT_TRUE(repo.getInOutComeByCardDivideUid("SERIES").empty());
  EXPECT_THROW(saver.deleteTransaction(uids[0], DeleteAnswer::kThisOnly), InputError);  // already deleted
}

TEST_F(Save, TheSaveServesTheCardInstalmentSaveRowByRow) {
  TransactionForm f = form(kModeExpense, "DOLLAR", 100);
  f.currency = "KRW_USD";
  f.content = "Laptop";
  f.installments = 3;
  TransactionSave saver(*ledger_);
  const auto result = saver.saveTransaction(f);
  ASSERT_TRUE(result.ok());
  ASSERT_EQ(result.series.size(), 3u);
  double total = 0;
  for (size_t i = 0; i < 3; ++i) {
    const InOutCome row = load(result.series[i].uid);
    EXPECT_EQ(row.cardDivideMonth, "10001");
    EXPECT_EQ(row.cardDivideUid, result.series[0].uid);
    EXPECT_EQ(row.cardDivideMonthStr, fmt::format("({}/3)", i + 1));
    EXPECT_EQ(row.Content, "Laptop");
    EXPECT_DOUBLE_EQ(*row.amountAccount, *row.amountSub);
    total += *row.amountSub;
  }
  EXPECT_DOUBLE_EQ(total, 100);
  EXPECT_EQ(load(result.series[2].uid).txDateStr, "2027-02-01");
  EXPECT_TRUE(saver.deleteQuestion(result.series[1]).isSeries);
}

TEST_F(Save, TheReadsLeaveOutDeletedRecordsAndEmptyLinks) {
  TransactionForm parsed = form(kModeExpense, "WON", 100);
  parsed.message.smsOrigine = "[Web] 100 won";
  const auto kept = saved(parsed);
  const auto gone = saved(parsed);
  const auto transfer = saved(form(kModeTransfer, "WON", 100, "WON2"));
  ASSERT_TRUE(TransactionSave(*ledger_).deleteTransaction(*gone.record->uid, DeleteAnswer::kThisOnly));
  InOutComeRepository repo(*ledger_);
  EXPECT_FALSE(repo.inOutComeByUid("0"));
  EXPECT_FALSE(repo.inOutComeByUid(""));
  EXPECT_EQ(repo.inOutComeByUid(*gone.record->uid)->isDel, 1);  // by identifier, deleted ones too
  EXPECT_FALSE(repo.inOutComeWithTxUidTransDoType("0", TxKind::kTransferOut));
  EXPECT_EQ(repo.inOutComeWithTxUidTransDoType(*transfer.record->txUidTrans, TxKind::kTransferIn)->uid,
            transfer.opposite->uid);
  EXPECT_FALSE(repo.feeWithInOutCome(*transfer.record));
  const auto bySms = repo.getInOutComeBySmsOringine("[Web] 100 won");
  ASSERT_EQ(bySms.size(), 1u);
  EXPECT_EQ(bySms[0].uid, kept.record->uid);
  EXPECT_EQ(repo.inOutComeByAssetUid("WON").size(), 2u);
  EXPECT_EQ(repo.inOutComeWithCategoryUid("FOOD").size(), 1u);
  EXPECT_EQ(repo.listInOutComeByAssetDate("WON", at(2026, 12, 1, 0), at(2026, 12, 2, 0)).size(), 2u);
  EXPECT_TRUE(repo.listInOutComeByAssetDate("WON", at(2026, 12, 1, 0), at(2026, 12, 1, 12)).empty());  // end excluded
  EXPECT_TRUE(repo.getInOutComeByCardDivideUid("0").empty());
}

// --- Batch stamps and bulk edits ----------------------------------------------------

TEST_F(Save, ABatchGetsDistinctIncreasingStampsInListOrderWithAFixedClock) {
  std::vector<InOutCome> records;
  for (int i = 0; i < 50; ++i) records.push_back(*saved(form(kModeExpense, "WON", i + 1)).record);
  std::reverse(records.begin(), records.end());
  ASSERT_TRUE(InOutComeRepository(*ledger_).updateInOutComeList(records));
  const int64_t now = ledger_->env().nowMs();
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].utime, now + static_cast<int64_t>(i));
    EXPECT_EQ(load(records[i].uid).utime, now + static_cast<int64_t>(i));
    EXPECT_EQ(load(records[i].uid).isSynced, 1);
  }
}

TEST_F(Save, BulkCategoryOnAReceivingSideKeepsTheTransferAsItsSendingSide) {
  const auto transfer = saved(form(kModeTransfer, "WON", 1000, "WON2"));
  const auto result = InOutComeRepository(*ledger_).updateCategoryArrayData(
      {*transfer.opposite}, *ledger_->commonData().categoryByUid("FOOD"));
  ASSERT_TRUE(result.ok());
  const InOutCome out = load(transfer.record->uid);
  EXPECT_EQ(out.Do_Type, "1");
  EXPECT_EQ(out.categoryUid, "FOOD");
  EXPECT_FALSE(out.toAssetUid);
  EXPECT_EQ(load(transfer.opposite->uid).isDel, 1);
  EXPECT_EQ(liveCount(), 1);
}

TEST_F(Save, BulkAccountMovesATransfersFeeAndBulkTransferMakesBothSides) {
  TransactionForm f = form(kModeTransfer, "WON", 13000, "DOLLAR");
  f.fee = TransactionFee{500, ""};
  const auto transfer = saved(f);
  const auto expense = saved(form(kModeExpense, "WON", 2600));
  InOutComeRepository repo(*ledger_);
  auto moved = repo.updateAssetArrayData({*transfer.record}, *ledger_->commonData().assetByUid("YEN"));
  ASSERT_TRUE(moved.ok());
  EXPECT_EQ(load(transfer.fee->uid).assetUid, "YEN");
  EXPECT_DOUBLE_EQ(*load(transfer.fee->uid).amountAccount, 56);  // 500 / 9
  EXPECT_EQ(load(transfer.fee->uid).memo, "Yen → Dollar");
  EXPECT_EQ(load(transfer.opposite->uid).toAssetUid, "YEN");
  EXPECT_THROW(repo.updateAssetArrayData({*transfer.record}, *ledger_->commonData().assetByUid("DOLLAR")),
               InputError);

  auto made = repo.updateTransferInOutComeArray({*expense.record}, *ledger_->commonData().assetByUid("WON"),
                                                *ledger_->commonData().assetByUid("DOLLAR"));
  ASSERT_TRUE(made.ok());
  ASSERT_EQ(made.changed.size(), 2u);
  const InOutCome in = load(made.changed[1].uid);
  EXPECT_EQ(in.Do_Type, "4");
  EXPECT_EQ(in.txUidTrans, load(expense.record->uid).txUidTrans);
  EXPECT_DOUBLE_EQ(*in.amountSub, 2600);
  EXPECT_DOUBLE_EQ(*in.amount, 2600);
  EXPECT_DOUBLE_EQ(*in.amountAccount, 2);
  EXPECT_LT(*made.changed[0].utime, *made.changed[1].utime);
}

}  // namespace
}  // namespace varnel::testing
