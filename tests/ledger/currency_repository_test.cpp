#include <cmath>
#include <filesystem>

#include <gtest/gtest.h>

#include "ledger/asset_repository.h"
#include "ledger/currency_repository.h"
#include "ledger/in_out_come_repository.h"
#include "ledger/money.h"
#include "model/errors.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

constexpr int64_t kMinute = 60 * 1000;

class CurrencyRepositoryTest : public LedgerTest {
 protected:
  CurrencyRepository repo() { return CurrencyRepository(*ledger_); }

  int64_t count(const std::string& sql) { return ledger_->store().db().execAndGet(sql).getInt64(); }

  Currency row(const std::string& uid) {
    auto r = repo().getCurrencyByUid(uid);
    EXPECT_TRUE(r) << uid;
    return r ? *r : Currency{};
  }

  // A KRW ledger with USD at 1300 and EUR at 1450.
  void krwLedger() {
    auto r = repo();
    ASSERT_TRUE(r.addMainCurrency("KRW"));
    ASSERT_TRUE(r.addCurrencyRate("KRW", "USD", 1300, true));
    ASSERT_TRUE(r.addCurrencyRate("KRW", "EUR", 1450, true));
  }

  Asset account(const std::string& currencyUid) {
    BaseRepository base(*ledger_);
    Asset a = base.newObjectForEntity<Asset>();
    a.NicName = "Account";
    a.currencyUid = currencyUid;
    a.isDel = 0;
    EXPECT_TRUE(base.save(a, "updateAsset"));
    ledger_->commonData().ReloadAppDataAsset();
    return a;
  }

  InOutCome tx(const std::string& assetUid, const std::string& kind, const std::string& currencyUid,
               double amountSub, double amount, double amountAccount, int64_t isDel = 0) {
    BaseRepository base(*ledger_);
    InOutCome t = base.newObjectForEntity<InOutCome>();
    t.assetUid = assetUid;
    t.Do_Type = kind;
    t.currencyUid = currencyUid;
    t.amountSub = amountSub;
    t.amount = amount;
    t.amountAccount = amountAccount;
    t.isDel = isDel;
    EXPECT_TRUE(base.save(t, "updateInOutCome"));
    return t;
  }
};

TEST_F(CurrencyRepositoryTest, MainCurrencyTakesTheCatalogueValuesAndStaysSingle) {
  auto main = repo().addMainCurrency("KRW");
  ASSERT_TRUE(main);
  EXPECT_EQ(main->uid, "KRW_KRW");
  EXPECT_EQ(main->mainIso, "KRW");
  EXPECT_EQ(main->rate, 1.0);
  EXPECT_EQ(main->symbol, "₩");
  EXPECT_EQ(main->symbolPosition, "P");
  EXPECT_EQ(main->point, 0);
  EXPECT_EQ(main->memo, "KRW - South Korean Won");
  EXPECT_EQ(main->insertType, "I");
  EXPECT_EQ(main->isShow, 1);
  EXPECT_EQ(main->orderSeq, 1);
  EXPECT_EQ(main->utime, ledger_->env().nowMs());
  EXPECT_EQ(ledger_->commonData().mainCurrency()->uid, "KRW_KRW");

  // JPY's main row shows the short symbol.
  auto jpy = repo().addMainCurrency("JPY");
  ASSERT_TRUE(jpy);
  EXPECT_EQ(jpy->symbol, "￥");
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZCURRENCY WHERE ZISMAINCURRENCY = 1"), 1);
  EXPECT_EQ(repo().mainIso(), "JPY");
  EXPECT_EQ(row("KRW_KRW").isMainCurrency, 0);

  EXPECT_THROW(repo().addMainCurrency("XYZ"), InputError);
  EXPECT_EQ(repo().mainIso(), "JPY");
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZCURRENCY"), 2);
}

TEST_F(CurrencyRepositoryTest, BuiltInRowIsCreatedOnceAndUpdatedAfterwards) {
  krwLedger();
  Currency usd = row("KRW_USD");
  EXPECT_EQ(usd.iso, "USD");
  EXPECT_EQ(usd.symbol, "$");  // not the short symbol: USD is not the main currency
  EXPECT_EQ(usd.memo, "USD - US Dollar");
  EXPECT_EQ(usd.point, 2);
  EXPECT_EQ(usd.insertType, "I");
  EXPECT_EQ(usd.isDel, 0);
  EXPECT_EQ(usd.isSynced, 1);
  EXPECT_EQ(usd.orderSeq, 2);

  ASSERT_TRUE(repo().addCurrencyRate("KRW", "USD", 1310.25, false));
  Currency again = row("KRW_USD");
  EXPECT_EQ(again.pk, usd.pk);
  EXPECT_EQ(again.rate, 1310.25);
  EXPECT_EQ(again.isShow, 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZCURRENCY WHERE ZISO = 'USD'"), 1);

  for (double bad : {0.0, -3.0, std::nan("")}) {
    EXPECT_THROW(repo().addCurrencyRate("KRW", "GBP", bad, true), InputError) << bad;
  }
  EXPECT_THROW(repo().addCurrencyRate("KRW", "XYZ", 2, true), InputError);
  EXPECT_FALSE(repo().getCurrencyByUid("KRW_GBP"));
}

TEST_F(CurrencyRepositoryTest, UserDefinedRowsGetTheirOwnIdentifier) {
  krwLedger();
  auto coin = repo().addCurrencyCustom(std::nullopt, "KRW", "BTC", "₿", 90000000, "Bitcoin", false, 8);
  ASSERT_TRUE(coin);
  EXPECT_EQ(coin->uid->size(), 36u);
  EXPECT_EQ(coin->insertType, "C");
  EXPECT_EQ(coin->symbolPosition, "S");
  EXPECT_EQ(coin->point, 8);
  EXPECT_EQ(coin->isShow, 1);
  EXPECT_EQ(coin->orderSeq, 4);

  auto changed = repo().addCurrencyCustom(*coin, "KRW", "BTC", "BTC", 95000000, "Bitcoin", true, 6);
  ASSERT_TRUE(changed);
  EXPECT_EQ(changed->uid, coin->uid);
  EXPECT_EQ(changed->symbolPosition, "P");
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZCURRENCY WHERE ZISO = 'BTC'"), 1);

  EXPECT_THROW(repo().addCurrencyCustom(std::nullopt, "KRW", "X", "x", 1, "", true, -1), InputError);
  EXPECT_THROW(repo().addCurrencyCustom(std::nullopt, "KRW", "X", "x", 0, "", true, 2), InputError);
  EXPECT_THROW(repo().addCurrencyCustom(std::nullopt, "KRW", "", "x", 1, "", true, 2), InputError);
}

TEST_F(CurrencyRepositoryTest, ListsKeepToTheMainCurrency) {
  krwLedger();
  ASSERT_TRUE(repo().addCurrencyRate("KRW", "JPY", 9.1, false));  // not offered
  ASSERT_TRUE(repo().addCurrencyRate("USD", "GBP", 1.3, true));   // another main currency
  auto shown = repo().getListCurrencyByMainIso();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].uid, "KRW_USD");
  EXPECT_EQ(shown[1].uid, "KRW_EUR");
  EXPECT_EQ(repo().getListCurrencyByMainIso("USD").size(), 1u);
  EXPECT_EQ(repo().getListCurrency().size(), 4u);
  EXPECT_EQ(repo().getListCurrencyAll().size(), 5u);
  EXPECT_TRUE(repo().getCurrencyBySubIso("USD"));
  EXPECT_FALSE(repo().getCurrencyBySubIso("JPY"));
  EXPECT_FALSE(repo().getCurrencyBySubIso("GBP"));
  EXPECT_TRUE(repo().getCurrencyByPkShow("KRW_USD"));
  EXPECT_FALSE(repo().getCurrencyByPkShow("KRW_JPY"));
  EXPECT_FALSE(repo().getCurrencyByUid(""));

  Currency eur = row("KRW_EUR");
  eur.isDel = 1;
  ASSERT_TRUE(repo().updateCurrency(eur, false));
  EXPECT_FALSE(repo().getCurrencyBySubIso("EUR"));
}

TEST_F(CurrencyRepositoryTest, AHiddenCurrencyIsNotOfferedButStaysWithItsAccounts) {
  krwLedger();
  const Asset dollars = account("KRW_USD");
  ledger_->env().setNow(ledger_->env().nowMs() + kMinute);
  const Currency hidden = repo().setCurrencyShown("USD", false).value();
  EXPECT_EQ(hidden.isShow, 0);
  EXPECT_EQ(row("KRW_USD").utime, ledger_->env().nowMs());
  EXPECT_FALSE(repo().getCurrencyBySubIso("USD"));
  EXPECT_EQ(repo().getListCurrencyByMainIso().size(), 1u);
  EXPECT_EQ(repo().getCurrencyByAsset(dollars)->uid, "KRW_USD");
  EXPECT_DOUBLE_EQ(*row("KRW_USD").rate, 1300);

  EXPECT_EQ(repo().setCurrencyShown("USD", true)->isShow, 1);
  EXPECT_TRUE(repo().getCurrencyBySubIso("USD"));
  EXPECT_THROW((void)repo().setCurrencyShown("KRW", false), InputError);
  EXPECT_EQ(repo().setCurrencyShown("KRW", true)->uid, "KRW_KRW");
  EXPECT_THROW((void)repo().setCurrencyShown("GBP", false), InputError);  // no row of it
  EXPECT_EQ(row("KRW_KRW").isShow, 1);
}

TEST_F(CurrencyRepositoryTest, DeletingRemovesTheRowButNeverTheMainOne) {
  krwLedger();
  ASSERT_TRUE(repo().deleteCurrency(row("KRW_EUR")));
  EXPECT_FALSE(repo().getCurrencyByUid("KRW_EUR"));
  EXPECT_NE(logText().find("deleteCurrency success"), std::string::npos);
  EXPECT_THROW(repo().deleteCurrency(row("KRW_KRW")), InputError);
  EXPECT_TRUE(repo().getMainCurrency());
}

TEST_F(CurrencyRepositoryTest, RateUpdateAppliesDownloadedRatesToBuiltInRows) {
  krwLedger();
  ASSERT_TRUE(repo().addCurrencyRate("KRW", "JPY", 9.1, true));
  // An older row under the retired Taiwan code.
  {
    BaseRepository base(*ledger_);
    Currency ntd = base.newObjectForEntity<Currency>("KRW_NTD");
    ntd.iso = "NTD";
    ntd.mainIso = "KRW";
    ntd.rate = 40;
    ntd.isShow = 1;
    ntd.insertType = "I";
    ntd.orderSeq = 10;
    ASSERT_TRUE(base.save(ntd, "updateCurrency"));
  }
  auto coin = repo().addCurrencyCustom(std::nullopt, "KRW", "BTC", "₿", 90000000, "", true, 8);
  const std::map<std::string, std::string> answer = {
      {"USD", "1401.5"}, {"EUR", "NaN"}, {"TWD", "43.2"}, {"BTC", "1"}, {"KRW", "1"}};

  const CurrencyRateUpdate update = repo().updateCurrencyRateMySubCurrency(answer, true);
  ASSERT_TRUE(update.applied);
  EXPECT_EQ(update.messageKey, "update success!");
  EXPECT_EQ(row("KRW_USD").rate, 1401.5);
  EXPECT_EQ(row("KRW_NTD").rate, 43.2);
  // No usable rate: logged, and the good rate stays.
  EXPECT_EQ(row("KRW_EUR").rate, 1450);
  EXPECT_EQ(row("KRW_JPY").rate, 9.1);
  EXPECT_NE(logText().find("nocurrency EUR"), std::string::npos);
  EXPECT_NE(logText().find("nocurrency JPY"), std::string::npos);
  EXPECT_EQ(update.missing, (std::vector<std::string>{"EUR", "JPY"}));
  // User-defined and main rows are not touched.
  EXPECT_EQ(row(*coin->uid).rate, 90000000);
  EXPECT_EQ(row("KRW_KRW").rate, 1);
  EXPECT_EQ(ledger_->preferences().getString(kLastCurrencyRateUpdateTimeKey),
            std::to_string(ledger_->env().nowMs()));
}

TEST_F(CurrencyRepositoryTest, AutomaticRateUpdateWaits361Minutes) {
  krwLedger();
  const int64_t start = ledger_->env().nowMs();
  const std::map<std::string, std::string> answer = {{"USD", "1400"}};
  ASSERT_TRUE(repo().updateCurrencyRateMySubCurrency(answer, false).applied);  // first ever
  EXPECT_EQ(row("KRW_USD").rate, 1400);

  struct Step {
    int64_t minutes;
    const char* rate;
    bool manual;
    bool applied;
  };
  const Step steps[] = {
      {300, "1500", false, false},  // too soon
      {300, "1500", true, true},    // a manual update is not limited
      {300 + 360, "1600", false, false},
      {300 + 361, "1600", false, true},
  };
  for (const auto& s : steps) {
    ledger_->env().setNow(start + s.minutes * kMinute);
    const auto update = repo().updateCurrencyRateMySubCurrency({{"USD", s.rate}}, s.manual);
    EXPECT_EQ(update.applied, s.applied) << s.minutes << " minutes";
    EXPECT_EQ(update.messageKey.has_value(), s.manual && s.applied);
  }
  EXPECT_EQ(row("KRW_USD").rate, 1600);

  // A clock set back does not stop updates.
  ledger_->env().setNow(start - 10 * kMinute);
  EXPECT_TRUE(repo().isCurrencyRateUpdateDue());
}

TEST_F(CurrencyRepositoryTest, AmountInTheAccountCurrencyFollowsThreeRules) {
  krwLedger();
  ASSERT_TRUE(repo().addCurrencyRate("KRW", "USD", 1400, true));
  InOutComeRepository txs(*ledger_);
  const Asset usdAccount = account("KRW_USD");
  const Asset krwAccount = account("KRW_KRW");
  const Asset lostCurrency = account("KRW_GONE");
  const InOutCome eur = tx("x", "1", "KRW_EUR", 9.66, 14000, 0);
  const InOutCome usd = tx("x", "1", "KRW_USD", 12.345, 17283, 0);
  const InOutCome odd = tx("x", "1", "KRW_EUR", 1, 1000, 0);

  EXPECT_EQ(txs.getAmountAccount(eur, usdAccount), 10);         // 14000 ÷ 1400
  EXPECT_EQ(txs.getAmountAccount(usd, usdAccount), 12.35);      // as entered, rounded to 2
  EXPECT_EQ(txs.getAmountAccount(eur, krwAccount), 14000);      // the main amount
  EXPECT_EQ(txs.getAmountAccount(eur, lostCurrency), 14000);    // counts as main currency
  EXPECT_EQ(txs.getAmountAccount(odd, usdAccount), 0.71);       // 0.714… rounded
}

TEST_F(CurrencyRepositoryTest, ChangingAnAccountCurrencyRecomputesItsLiveRecordsInOneGo) {
  krwLedger();
  InOutComeRepository txs(*ledger_);
  const Asset a = account("KRW_KRW");
  const InOutCome inUsd = tx(*a.uid, "0", "KRW_USD", 2.5, 3250, 3250);
  const InOutCome inKrw = tx(*a.uid, "1", "KRW_KRW", 1000, 1000, 1000);
  const InOutCome gone = tx(*a.uid, "1", "KRW_KRW", 5000, 5000, 5000, 1);
  const InOutCome other = tx("elsewhere", "1", "KRW_KRW", 7, 7, 7);

  ASSERT_TRUE(txs.updateInOutComeAmountAccountByCurrnecy(a, row("KRW_USD")));
  BaseRepository base(*ledger_);
  EXPECT_EQ(base.dataByUid<InOutCome>(*inUsd.uid)->amountAccount, 2.5);   // its own currency
  EXPECT_EQ(base.dataByUid<InOutCome>(*inKrw.uid)->amountAccount, 0.77);  // 1000 ÷ 1300, rounded
  EXPECT_EQ(base.dataByUid<InOutCome>(*inKrw.uid)->isSynced, 1);
  EXPECT_EQ(base.dataByUid<InOutCome>(*gone.uid)->amountAccount, 5000);   // deleted: untouched
  EXPECT_EQ(base.dataByUid<InOutCome>(*other.uid)->amountAccount, 7);

  ASSERT_TRUE(txs.updateInOutComeAmountAccountByCurrnecy(a, row("KRW_KRW")));
  EXPECT_EQ(base.dataByUid<InOutCome>(*inUsd.uid)->amountAccount, 3250);  // back to the main amount

  // A currency without a usable rate is refused and changes nothing.
  Currency broken = row("KRW_EUR");
  broken.rate = 0;
  EXPECT_FALSE(txs.updateInOutComeAmountAccountByCurrnecy(a, broken));
  EXPECT_EQ(base.dataByUid<InOutCome>(*inKrw.uid)->amountAccount, 1000);
}

TEST_F(CurrencyRepositoryTest, BalanceInAnotherCurrencyCountsThePaidCardsAndTheKinds) {
  krwLedger();
  InOutComeRepository txs(*ledger_);
  const Asset bank = account("KRW_KRW");
  AssetRepository assets(*ledger_);
  Asset card = account("KRW_KRW");
  card.cardAssetUid = bank.uid;
  ASSERT_TRUE(assets.updateAsset(card));
  tx(*bank.uid, "0", "KRW_KRW", 13000, 13000, 13000);
  tx(*bank.uid, "7", "KRW_USD", 1, 1300, 1300);
  tx(*bank.uid, "3", "KRW_KRW", 2600, 2600, 2600);
  tx(*card.uid, "1", "KRW_KRW", 1300, 1300, 1300);
  tx(*bank.uid, "0", "KRW_KRW", 99999, 99999, 99999, 1);  // deleted

  const Currency krw = row("KRW_KRW"), usd = row("KRW_USD");
  EXPECT_EQ(txs.getInOutComeAmountAccountByCurrnecy(bank, krw, krw), 13000 + 1300 - 2600 - 1300);
  // 10 + 1 (the USD record as entered) − 2 − 1
  EXPECT_EQ(txs.getInOutComeAmountAccountByCurrnecy(bank, krw, usd), 8);
  EXPECT_EQ(txs.getAmountAccountBalance(*bank.uid), 13000 + 1300 - 2600);
  EXPECT_EQ(txs.getAmountAccountBalance(*bank.uid, usd), 9);
}

// Main KRW with USD, EUR and a coin of the user's; EUR becomes main.
class MainCurrencyChangeTest : public CurrencyRepositoryTest {
 protected:
  void SetUp() override {
    CurrencyRepositoryTest::SetUp();
    krwLedger();
    coin_ = *repo().addCurrencyCustom(std::nullopt, "KRW", "BTC", "₿", 145000000, "Coin", true, 8);
    BaseRepository base(*ledger_);
    // Left from a time when EUR was the main currency: stands on a new identifier.
    Currency stale = base.newObjectForEntity<Currency>("EUR_USD");
    stale.iso = "USD";
    stale.mainIso = "EUR";
    stale.rate = 0.5;
    ASSERT_TRUE(base.save(stale, "updateCurrency"));

    usdAccount_ = account("KRW_USD");
    krwAccount_ = account("KRW_KRW");
    coinAccount_ = account(*coin_.uid);
    FavTransaction fav = base.newObjectForEntity<FavTransaction>();
    fav.currencyUid = "KRW_EUR";
    ASSERT_TRUE(base.save(fav, "updateFav"));
    fav_ = fav;
    RepeatTransaction repeat = base.newObjectForEntity<RepeatTransaction>();
    repeat.currencyUid = "KRW_KRW";
    ASSERT_TRUE(base.save(repeat, "updateRepeat"));
    repeat_ = repeat;
    tx_ = tx(*usdAccount_.uid, "1", "KRW_USD", 10, 13000, 10);
    deletedTx_ = tx(*usdAccount_.uid, "1", "KRW_USD", 1, 1300, 1, 1);
  }

  Currency coin_;
  Asset usdAccount_, krwAccount_, coinAccount_;
  FavTransaction fav_;
  RepeatTransaction repeat_;
  InOutCome tx_, deletedTx_;
};

TEST_F(MainCurrencyChangeTest, RowsAndEveryReferenceMoveToTheNewMainCurrency) {
  const MainCurrencyChange change = repo().changeMainCurrency("EUR");
  ASSERT_TRUE(change.ok());
  EXPECT_EQ(change.oldIso, "KRW");

  // The safety copy holds the ledger as it was.
  ASSERT_TRUE(change.safetyCopy);
  EXPECT_EQ(change.safetyCopy->filename().string().rfind("KRW_beforeChangCurrency_", 0), 0u);
  EXPECT_TRUE(std::filesystem::exists(*change.safetyCopy));
  {
    SQLite::Database copy(change.safetyCopy->string());
    EXPECT_EQ(copy.execAndGet("SELECT COUNT(*) FROM ZCURRENCY WHERE ZMAINISO = 'KRW'").getInt(), 4);
  }

  Currency eur = row("EUR_EUR");
  EXPECT_EQ(eur.isMainCurrency, 1);
  EXPECT_EQ(eur.rate, 1);
  EXPECT_EQ(eur.symbol, "€");
  EXPECT_EQ(eur.mainIso, "EUR");
  Currency usd = row("EUR_USD");
  EXPECT_NE(usd.rate, 0.5);                // the stale row was replaced
  EXPECT_DOUBLE_EQ(*usd.rate, 1300.0 / 1450);  // restated against EUR
  EXPECT_EQ(usd.isMainCurrency, 0);
  Currency krw = row("EUR_KRW");
  EXPECT_DOUBLE_EQ(*krw.rate, 1.0 / 1450);
  EXPECT_EQ(krw.isMainCurrency, 0);
  EXPECT_EQ(row("EUR_BTC").insertType, "C");
  EXPECT_EQ(change.removedRows, (std::vector<std::string>{"EUR_USD"}));
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZCURRENCY WHERE ZMAINISO = 'KRW'"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZCURRENCY WHERE ZISMAINCURRENCY = 1"), 1);
  EXPECT_EQ(repo().mainIso(), "EUR");

  BaseRepository base(*ledger_);
  EXPECT_EQ(base.dataByUid<Asset>(*usdAccount_.uid)->currencyUid, "EUR_USD");
  EXPECT_EQ(base.dataByUid<Asset>(*krwAccount_.uid)->currencyUid, "EUR_KRW");
  EXPECT_EQ(base.dataByUid<Asset>(*coinAccount_.uid)->currencyUid, "EUR_BTC");
  EXPECT_EQ(base.dataByUid<FavTransaction>(*fav_.uid)->currencyUid, "EUR_EUR");
  EXPECT_EQ(base.dataByUid<RepeatTransaction>(*repeat_.uid)->currencyUid, "EUR_KRW");
  auto moved = base.dataByUid<InOutCome>(*tx_.uid);
  EXPECT_EQ(moved->currencyUid, "EUR_USD");
  EXPECT_EQ(moved->amount, 8.97);  // 13000 KRW ÷ 1450, in euros
  EXPECT_EQ(moved->isSynced, 1);
  EXPECT_EQ(base.dataByUid<InOutCome>(*deletedTx_.uid)->currencyUid, "EUR_USD");
  EXPECT_EQ(change.accounts, 3);
  EXPECT_EQ(change.favourites, 1);
  EXPECT_EQ(change.recurring, 1);
  EXPECT_EQ(change.transactions, 2);
  EXPECT_EQ(ledger_->commonData().assetByUid(*usdAccount_.uid)->currencyUid, "EUR_USD");
  EXPECT_EQ(ledger_->commonData().mainCurrency()->uid, "EUR_EUR");
}

TEST_F(MainCurrencyChangeTest, ACurrencyWithoutARowBecomesMainWithCatalogueValues) {
  // Without a GBP rate the stored won amounts could not be restated.
  EXPECT_THROW(repo().changeMainCurrency("GBP"), InputError);
  EXPECT_EQ(repo().mainIso(), "KRW");
  EXPECT_FALSE(std::filesystem::exists(ledger_->env().documentsDir() / "InternalData"));
  // A ledger without main-currency amounts has nothing to restate.
  ledger_->store().db().exec("UPDATE ZINOUTCOME SET ZAMOUNT = 0");
  const MainCurrencyChange change = repo().changeMainCurrency("GBP");
  ASSERT_TRUE(change.ok());
  Currency gbp = row("GBP_GBP");
  EXPECT_EQ(gbp.isMainCurrency, 1);
  EXPECT_EQ(gbp.point, 2);
  // No GBP rate was known: the other rates cannot be restated.
  EXPECT_EQ(row("GBP_USD").rate, 1300);
  EXPECT_EQ(row("GBP_KRW").isMainCurrency, 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZCURRENCY WHERE ZISMAINCURRENCY = 1"), 1);
  EXPECT_THROW(repo().changeMainCurrency("XYZ"), InputError);
  EXPECT_EQ(repo().mainIso(), "GBP");
}

TEST_F(MainCurrencyChangeTest, TwoRowsOfOneCodeKeepTheirOwnRecords) {
  auto twin = repo().addCurrencyCustom(std::nullopt, "KRW", "USD", "US$", 1280, "", true, 2);
  const Asset twinAccount = account(*twin->uid);
  ASSERT_TRUE(repo().changeMainCurrency("EUR").ok());
  BaseRepository base(*ledger_);
  EXPECT_EQ(base.dataByUid<Asset>(*usdAccount_.uid)->currencyUid, "EUR_USD");
  const std::string twinUid = *base.dataByUid<Asset>(*twinAccount.uid)->currencyUid;
  EXPECT_NE(twinUid, "EUR_USD");
  EXPECT_EQ(row(twinUid).symbol, "US$");
}

TEST_F(MainCurrencyChangeTest, RowsNotOfferedForEntryMoveToo) {
  ASSERT_TRUE(repo().addCurrencyRate("KRW", "JPY", 9.0, false));
  const Asset yen = account("KRW_JPY");
  ASSERT_TRUE(repo().changeMainCurrency("EUR").ok());
  Currency jpy = row("EUR_JPY");
  EXPECT_EQ(jpy.isShow, 0);
  EXPECT_DOUBLE_EQ(*jpy.rate, 9.0 / 1450);
  EXPECT_EQ(BaseRepository(*ledger_).dataByUid<Asset>(*yen.uid)->currencyUid, "EUR_JPY");
}

TEST_F(MainCurrencyChangeTest, AFailureChangesNothing) {
  ledger_->store().db().exec(
      "CREATE TEMP TRIGGER refuse BEFORE UPDATE ON ZINOUTCOME BEGIN SELECT RAISE(ABORT, 'disk full'); END");
  const MainCurrencyChange change = repo().changeMainCurrency("EUR");
  EXPECT_FALSE(change.ok());
  EXPECT_TRUE(change.renamedRows.empty());
  EXPECT_EQ(repo().mainIso(), "KRW");
  EXPECT_EQ(row("KRW_USD").rate, 1300);
  EXPECT_EQ(row("EUR_USD").rate, 0.5);
  BaseRepository base(*ledger_);
  EXPECT_EQ(base.dataByUid<Asset>(*usdAccount_.uid)->currencyUid, "KRW_USD");
  EXPECT_EQ(base.dataByUid<InOutCome>(*tx_.uid)->amount, 13000);
  EXPECT_EQ(change.restatedTransactions, 0);
}

// The rates moved to the new main currency while every stored main-currency
// amount stayed in the old one's units: 50,000 won showed as $50,000.00 in
// the totals next to a balance of $38.46.
TEST_F(MainCurrencyChangeTest, StoredMainCurrencyAmountsAreRestatedInTheNewMainCurrency) {
  BaseRepository base(*ledger_);
  const InOutCome inWon = tx(*krwAccount_.uid, "0", "KRW_KRW", 50000, 50000, 50000);
  const InOutCome inEuro = tx(*krwAccount_.uid, "1", "KRW_EUR", 9.99, 14486, 14486);
  const InOutCome gone = tx(*krwAccount_.uid, "1", "KRW_KRW", 1450, 1450, 1450, 1);
  InOutCome fee = tx(*krwAccount_.uid, "1", "KRW_KRW", 725, 725, 725);
  fee.txUidFee = "FEE-LINK";
  ASSERT_TRUE(base.save(fee, "updateInOutCome"));
  // An account whose currency row is gone counts as being in the main currency.
  const Asset lost = account("KRW_GONE");
  const InOutCome onLost = tx(*lost.uid, "1", "KRW_KRW", 2900, 2900, 2900);
  BudgetAmount budget = base.newObjectForEntity<BudgetAmount>();
  budget.amount = 300000;
  ASSERT_TRUE(base.save(budget, "updateBudgetAmount"));
  ledger_->env().setNow(ledger_->env().nowMs() + kMinute);

  const MainCurrencyChange change = repo().changeMainCurrency("EUR");
  ASSERT_TRUE(change.ok());
  struct Expected {
    const InOutCome& record;
    double amount, amountSub, amountAccount;
  } expected[] = {
      {inWon, 34.48, 50000, 50000},  // 50000 ÷ 1450; the won account keeps its won
      {inEuro, 9.99, 9.99, 14486},   // entered in euros: its entered amount
      {gone, 1, 1450, 1450},         // deleted records too, should they come back
      {fee, 0.5, 725, 725},
      {tx_, 8.97, 10, 10},
      {onLost, 2, 2900, 2},
  };
  for (const auto& e : expected) {
    const auto r = base.dataByUid<InOutCome>(*e.record.uid);
    EXPECT_EQ(r->amount, e.amount) << *r->uid;
    EXPECT_EQ(r->amountSub, e.amountSub) << *r->uid;
    EXPECT_EQ(r->amountAccount, e.amountAccount) << *r->uid;
    EXPECT_EQ(r->utime, ledger_->env().nowMs()) << *r->uid;
    EXPECT_EQ(r->isSynced, 1) << *r->uid;
  }
  EXPECT_EQ(base.dataByUid<BudgetAmount>(*budget.uid)->amount, 206.9);
  EXPECT_EQ(base.dataByUid<BudgetAmount>(*budget.uid)->utime, ledger_->env().nowMs());
  EXPECT_EQ(change.restatedTransactions, 7);
  EXPECT_EQ(change.restatedAccountAmounts, 1);
  EXPECT_EQ(change.restatedBudgetAmounts, 1);
  // The safety copy holds the amounts as they were.
  SQLite::Database copy(change.safetyCopy->string());
  EXPECT_EQ(copy.execAndGet("SELECT ZAMOUNT FROM ZINOUTCOME WHERE ZUID = '" + *inWon.uid + "'").getDouble(), 50000);

  // What the person sees: the won balance in euros and the period's income agree.
  EXPECT_EQ(InOutComeRepository(*ledger_).getAmountAccountBalance(*krwAccount_.uid, row("EUR_EUR")),
            23.99);  // 34.48 − 9.99 − 0.5
}

TEST_F(MainCurrencyChangeTest, StartingOverKeepsCategoriesAndSettingsOnly) {
  BaseRepository base(*ledger_);
  Category food = base.newObjectForEntity<Category>();
  food.Name = "Food";
  ASSERT_TRUE(base.save(food, "updateCategory"));
  Tag system = base.newObjectForEntity<Tag>("system_prepayment");
  Tag mine = base.newObjectForEntity<Tag>();
  ASSERT_TRUE(base.save(system, "updateTag"));
  ASSERT_TRUE(base.save(mine, "updateTag"));
  const int64_t settings = count("SELECT COUNT(*) FROM ZETC");

  bool called = false;
  const MainCurrencyChange change = repo().startOverWithMainCurrency("USD", [&] {
    called = true;
    EXPECT_TRUE(ledger_->store().inTransaction());
    EXPECT_EQ(repo().mainIso(), "USD");
    return Status::ok();
  });
  ASSERT_TRUE(change.ok());
  EXPECT_TRUE(called);
  EXPECT_EQ(change.messageKey, "popup_message9_2");
  EXPECT_TRUE(change.safetyCopy);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZASSET"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZFAVTRANSACTION"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZREPEATTRANSACTION"), 0);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZCURRENCY"), 1);
  EXPECT_EQ(row("USD_USD").isMainCurrency, 1);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZCATEGORY"), 1);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZETC"), settings);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZTAG"), 1);
  EXPECT_TRUE(ledger_->commonData().assetList().empty());
}

TEST_F(MainCurrencyChangeTest, AStartOverThatFailsHalfWayLeavesTheLedgerAsItWas) {
  EXPECT_THROW(repo().startOverWithMainCurrency("USD", []() -> Status { throw InputError("no initial data"); }),
               InputError);
  EXPECT_EQ(repo().mainIso(), "KRW");
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), 2);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZASSET"), 3);
  EXPECT_EQ(ledger_->commonData().assetList().size(), 3u);
}

TEST_F(CurrencyRepositoryTest, DisplayUsesTheMainCurrencyWhenNoneIsGiven) {
  krwLedger();
  EXPECT_EQ(repo().showMoneyByCurrecy(1234567.5, std::nullopt, kMoneyNormal), "₩ 1,234,568");
  EXPECT_EQ(repo().showMoneyByCurrecy(-1.5, row("KRW_EUR"), kMoneyNormal), "-1.50€");
}

}  // namespace
}  // namespace varnel
