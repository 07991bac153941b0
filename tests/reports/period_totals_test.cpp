#include <functional>

#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include "model/base_repository.h"
#include "model/errors.h"
#include "reports/account_overview.h"
#include "reports/period_totals.h"
#include "setup/initial_data.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

class PeriodTotalsTest : public testing::LedgerTest {
 protected:
  double at(int y, int m, int d, int h = 12, int mi = 0, int s = 0) {
    return ledger_->env().dates().fromLocal(y, m, d, h, mi, s);
  }
  std::string add(const char* kind, const char* account, double amount, double date,
                  std::optional<int> isDel = std::nullopt, double accountAmount = -1) {
    BaseRepository repo(*ledger_);
    InOutCome t = repo.newObjectForEntity<InOutCome>();
    t.Do_Type = kind;
    t.assetUid = account;
    t.amount = t.amountSub = amount;
    t.amountAccount = accountAmount < 0 ? amount : accountAmount;
    t.Date = date;
    if (isDel) t.isDel = *isDel;
    EXPECT_TRUE(repo.save(t, "updateInOutCome"));
    return *t.uid;
  }
};

TEST_F(PeriodTotalsTest, BalanceSumsByKindDateAndAccount) {
  add("0", "A", 100, at(2026, 3, 1, 0));             // first instant of the period
  add("1", "A", 30, at(2026, 3, 31, 23, 59, 59));    // last second of the end day
  add("4", "A", 50, at(2026, 3, 15));
  add("3", "A", 20, at(2026, 3, 15));
  add("7", "A", 5, at(2026, 3, 15));
  add("8", "A", 7, at(2026, 3, 15));
  add("1", "A", 1000, at(2026, 3, 15), 1);           // deleted
  add("1", "A", 2000, at(2026, 4, 1, 0));            // the day after the end
  add("0", "B", 400, at(2026, 3, 10));
  add("1", "B", 1, at(2026, 3, 10), 0);              // isDel 0 is live

  PeriodTotals totals(*ledger_);
  const double start = at(2026, 3, 1, 0), end = at(2026, 3, 31, 0);
  InOutSum multi = totals.sumInOutAmount("amount", true, {"A"}, start, end);
  EXPECT_DOUBLE_EQ(multi.inAmount, 155);
  EXPECT_DOUBLE_EQ(multi.outAmount, 57);
  InOutSum single = totals.sumInOutAmount("amount", false, {"A"}, start, end);
  EXPECT_DOUBLE_EQ(single.inAmount, 100);
  EXPECT_DOUBLE_EQ(single.outAmount, 30);
  InOutSum all = totals.sumInOutAmount("amountAccount", true, {}, std::nullopt, std::nullopt);
  EXPECT_DOUBLE_EQ(all.inAmount, 555);
  EXPECT_DOUBLE_EQ(all.outAmount, 2058);
  InOutSum none = totals.sumInOutAmount("amount", true, {"nobody"}, start, end);
  EXPECT_EQ(none.inAmount, 0);

  auto perAccount = totals.normalAssetSumAmount({}, start, end);
  ASSERT_EQ(perAccount.size(), 2u);
  EXPECT_EQ(perAccount[0].assetUid, "A");
  EXPECT_DOUBLE_EQ(perAccount[0].inAmount - perAccount[0].outAmount, 98);
  EXPECT_DOUBLE_EQ(perAccount[1].inAmount - perAccount[1].outAmount, 399);
}

TEST_F(PeriodTotalsTest, MultiPeriodSumsInMainCurrency) {
  BaseRepository repo(*ledger_);
  Currency usd = repo.newObjectForEntity<Currency>("KRW_USD");
  usd.iso = "USD";
  usd.rate = 1300;
  usd.isMainCurrency = 0;
  Currency krw = repo.newObjectForEntity<Currency>("KRW_KRW");
  krw.iso = "KRW";
  krw.rate = 1;
  krw.isMainCurrency = 1;
  ASSERT_TRUE(repo.save(usd, "updateCurrency") && repo.save(krw, "updateCurrency"));
  Asset dollars = repo.newObjectForEntity<Asset>("USDACC");
  dollars.currencyUid = "KRW_USD";
  Asset won = repo.newObjectForEntity<Asset>("KRWACC");
  won.currencyUid = "KRW_KRW";
  ASSERT_TRUE(repo.save(dollars, "updateAsset") && repo.save(won, "updateAsset"));

  add("0", "USDACC", 13000, at(2026, 1, 10), std::nullopt, 10);  // 10 dollars
  add("0", "KRWACC", 5000, at(2026, 2, 10));
  add("1", "NOCURRENCY", 100, at(2026, 2, 11));

  PeriodTotals totals(*ledger_);
  const std::vector<SumPeriod> periods = {{at(2026, 1, 1, 0), at(2026, 1, 31, 0)},
                                          {at(2026, 2, 1, 0), at(2026, 2, 28, 0)}};
  auto main = totals.normalTotalAssetSumAmount({}, periods, "");
  ASSERT_EQ(main.size(), 2u);
  EXPECT_DOUBLE_EQ(main[0].inAmount, 13000);
  EXPECT_DOUBLE_EQ(main[1].inAmount, 5000);
  EXPECT_DOUBLE_EQ(main[1].outAmount, 100);
  auto raw = totals.normalTotalAssetSumAmount({"USDACC"}, periods, "amountAccount");
  EXPECT_DOUBLE_EQ(raw[0].inAmount, 10);
  EXPECT_DOUBLE_EQ(raw[1].inAmount, 0);
}

TEST_F(PeriodTotalsTest, AmountSumWithPrepaymentTagsAndSigns) {
  const std::string tagged = add("1", "CARD", 40, at(2026, 5, 2));
  add("1", "CARD", 60, at(2026, 5, 3));
  add("1", "CARD", -15, at(2026, 5, 4));
  const std::string untaggedLater = add("1", "CARD", 5, at(2026, 5, 5));
  BaseRepository repo(*ledger_);
  TxTag link = repo.newObjectForEntity<TxTag>();
  link.txUid = tagged;
  link.tagUid = "system_prepayment";
  TxTag removed = repo.newObjectForEntity<TxTag>();
  removed.txUid = untaggedLater;
  removed.tagUid = "system_prepayment";
  removed.isDel = 1;  // a deleted link does not count
  ASSERT_TRUE(repo.save(link, "updateTxTag") && repo.save(removed, "updateTxTag"));

  PeriodTotals totals(*ledger_);
  auto sum = [&](int prepayment, int sign) {
    return totals.getAmountSum("amount", {"CARD"}, {}, {TxKind::kExpense}, std::nullopt, std::nullopt, prepayment,
                               sign);
  };
  EXPECT_DOUBLE_EQ(sum(0, 0), 90);
  EXPECT_DOUBLE_EQ(sum(1, 0), 40);
  EXPECT_DOUBLE_EQ(sum(2, 0), 50);
  EXPECT_DOUBLE_EQ(sum(0, 1), 105);
  EXPECT_DOUBLE_EQ(sum(0, 2), -15);
  EXPECT_DOUBLE_EQ(totals.getAmountSum("amount", {}, {}, {TxKind::kIncome}, std::nullopt, std::nullopt), 0);
}

}  // namespace
}  // namespace varnel

namespace varnel {
namespace {

// Reports used to log a failed query and answer 0, which a person could not
// tell from a real total.
TEST(ReportReads, AStoreThatCannotBeReadIsAnErrorNotAZero) {
  testing::TempDir dir;
  auto ledger = Ledger::open(testing::testEnvironment(dir.path()),
                             std::make_shared<spdlog::logger>("null"));
  ASSERT_TRUE(settingDefaultData(*ledger, 0));
  ledger->store().db().exec("DROP TABLE ZINOUTCOME");
  PeriodTotals totals(*ledger);
  const std::vector<std::function<void()>> reads = {
      [&] { (void)totals.sumInOutAmount("amount", true, {}, std::nullopt, std::nullopt); },
      [&] { (void)totals.getInOutSumMoneyByDate(std::nullopt, std::nullopt); },
      [&] { (void)totals.getAmountSum("amount", {}, {}, {}, std::nullopt, std::nullopt); },
      [&] { (void)sumAssetAll(*ledger); },
  };
  for (size_t i = 0; i < reads.size(); ++i) EXPECT_THROW(reads[i](), StoreError) << "read " << i;
}

}  // namespace
}  // namespace varnel
