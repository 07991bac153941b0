#include <gtest/gtest.h>

#include "ledger/currency_repository.h"
#include "model/base_repository.h"
#include "setup/migration_repairs.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

constexpr int64_t kOldStamp = 1000;

class MigrationRepairTest : public LedgerTest {
 protected:
  // A KRW ledger (no decimals) with USD at 1300.
  void SetUp() override {
    LedgerTest::SetUp();
    CurrencyRepository currencies(*ledger_);
    ASSERT_TRUE(currencies.addMainCurrency("KRW"));
    ASSERT_TRUE(currencies.addCurrencyRate("KRW", "USD", 1300, true));
  }

  std::string account(const std::string& uid, Text currencyUid) {
    BaseRepository base(*ledger_);
    Asset a = base.newObjectForEntity<Asset>(uid);
    a.NicName = uid;
    a.currencyUid = currencyUid;
    a.utime = kOldStamp;
    EXPECT_TRUE(base.save(a, "updateAsset"));
    return uid;
  }

  InOutCome& add(InOutCome t) {
    if (!t.utime) t.utime = kOldStamp;
    if (!t.isSynced) t.isSynced = 2;
    EXPECT_TRUE(BaseRepository(*ledger_).save(t, "updateInOutCome"));
    rows_.push_back(t);
    return rows_.back();
  }

  template <class T>
  T reread(const std::string& uid) {
    return *BaseRepository(*ledger_).dataByUid<T>(uid);
  }

  std::vector<InOutCome> rows_;
};

struct AmountCase {
  const char* name;
  Text currency;         // of the transaction
  Text accountCurrency;  // of its account
  Real amountSub, amount, amountAccount;
  // Expected afterwards.
  const char* currencyAfter;
  Real amountAfter, amountAccountAfter;
  bool stamped;
};

TEST_F(MigrationRepairTest, FixAmountMainCurrencyEqualMakesAmountsOfOneCurrencyAgree) {
  const AmountCase cases[] = {
      {"main, amount drifted", "KRW_KRW", "KRW_KRW", 12, 11.99, 12, "KRW_KRW", 12, 12, true},
      {"main, consistent", "KRW_KRW", "KRW_KRW", 500, 500, 500, "KRW_KRW", 500, 500, false},
      {"foreign, converted", "KRW_USD", "KRW_KRW", 10, 13000, 13000, "KRW_USD", 13000, 13000, false},
      {"foreign account, drifted", "KRW_USD", "KRW_USD", 10, 13000, 9.99, "KRW_USD", 13000, 10, true},
      {"no currency", std::nullopt, "KRW_KRW", 7, 6, 7, "KRW_KRW", 7, 7, true},
      {"empty currency", "", "KRW_USD", 7, 7, 0.01, "KRW_KRW", 7, 0.01, true},
      {"account without currency", "KRW_KRW", std::nullopt, 30, 30, 29, "KRW_KRW", 30, 30, true},
      {"no entered amount", "KRW_KRW", "KRW_KRW", std::nullopt, 40, 40, "KRW_KRW", 40, 40, false},
      {"main amount missing", "KRW_KRW", "KRW_KRW", 50, std::nullopt, 50, "KRW_KRW", 50, 50, true},
  };
  int n = 0;
  for (const auto& c : cases) {
    InOutCome t;
    t.uid = "T" + std::to_string(++n);
    t.assetUid = account("A" + std::to_string(n), c.accountCurrency);
    t.Do_Type = "1";
    t.currencyUid = c.currency;
    t.amountSub = c.amountSub;
    t.amount = c.amount;
    t.amountAccount = c.amountAccount;
    add(t);
  }
  auto report = fixAmountMainCurrencyEqual(*ledger_);
  ASSERT_TRUE(report.isOk()) << report.status().message();
  EXPECT_EQ(report.value().currenciesSet, 2);
  EXPECT_EQ(report.value().amountsSet, 3);
  EXPECT_EQ(report.value().accountCurrenciesSet, 1);
  EXPECT_EQ(report.value().accountAmountsSet, 2);

  n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto t = reread<InOutCome>("T" + std::to_string(++n));
    EXPECT_EQ(t.currencyUid, c.currencyAfter);
    EXPECT_EQ(t.amount, c.amountAfter);
    EXPECT_EQ(t.amountAccount, c.amountAccountAfter);
    EXPECT_EQ(t.utime != kOldStamp, c.stamped);
    EXPECT_EQ(t.isSynced, c.stamped ? 1 : 2);
  }
  const auto repairedAccount = reread<Asset>("A7");
  EXPECT_EQ(repairedAccount.currencyUid, "KRW_KRW");
  EXPECT_EQ(repairedAccount.utime, ledger_->env().nowMs());
  EXPECT_EQ(ledger_->commonData().assetByUid("A7")->currencyUid, "KRW_KRW");  // the cache follows

  const int changes = ledger_->store().db().getTotalChanges();
  auto again = fixAmountMainCurrencyEqual(*ledger_);
  ASSERT_TRUE(again.isOk());
  EXPECT_EQ(again.value().changes(), 0);
  EXPECT_EQ(ledger_->store().db().getTotalChanges(), changes);
}

TEST_F(MigrationRepairTest, FixAmountMainCurrencyEqualRepairsDeletedRecordsAndNeedsAMainCurrency) {
  InOutCome deleted;
  deleted.uid = "GONE";
  deleted.currencyUid = "KRW_KRW";
  deleted.amountSub = 12;
  deleted.amount = 11.99;
  deleted.isDel = 1;
  add(deleted);
  ASSERT_TRUE(fixAmountMainCurrencyEqual(*ledger_).isOk());
  EXPECT_EQ(reread<InOutCome>("GONE").amount, 12);  // a backup and the other devices carry it

  // Without a main currency row there is nothing to repair towards.
  ledger_->store().db().exec("UPDATE ZCURRENCY SET ZISMAINCURRENCY = 0");
  InOutCome bare;
  bare.uid = "BARE";
  bare.amountSub = 3;
  add(bare);
  auto report = fixAmountMainCurrencyEqual(*ledger_);
  ASSERT_TRUE(report.isOk());
  EXPECT_EQ(report.value().changes(), 0);
  EXPECT_FALSE(reread<InOutCome>("BARE").currencyUid);
}

}  // namespace
}  // namespace varnel
