#include <gtest/gtest.h>

#include "model/base_repository.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "model/texts.h"
#include "reports/period_totals.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

// A bank account, a credit card, a debit card drawing on the bank and a
// savings account whose deposits count as spent; one month of activity.
class ClassifiedTotalsTest : public testing::LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    BaseRepository repo(*ledger_);
    for (auto [uid, status] : {std::pair{"1", 1}, {"2", 2}, {"3", 3}, {"9", 9}}) {
      AssetGroup g = repo.newObjectForEntity<AssetGroup>(uid);
      g.Status = status;
      g.isDel = 0;
      ASSERT_TRUE(repo.save(g, "updateAssetGroup"));
    }
    addAccount("BANK", "1");
    addAccount("CARD", "2");
    addAccount("DEBIT", "3", "BANK");
    addAccount("SAVE", "9", "", 1);
    add("0", "BANK", "", 1000, 2, "salary");
    add("1", "BANK", "", 100, 3, "food");
    add("1", "CARD", "", 300, 4, "shopping");
    transfer("BANK", "CARD", 300, 25);
    transfer("BANK", "SAVE", 500, 26);
    transfer("SAVE", "BANK", 200, 27);
    add("7", "BANK", "", 50, 28, "-4");
    add("1", "DEBIT", "", 40, 10, "food");
    ledger_->commonData().ReloadTheData();
  }

  void addAccount(const char* uid, const char* group, const char* paidFrom = "", int flagged = 0) {
    BaseRepository repo(*ledger_);
    Asset a = repo.newObjectForEntity<Asset>(uid);
    a.groupUid = group;
    a.isDel = 0;
    a.transferExpense = flagged;
    a.isReflect = 0;
    if (*paidFrom) a.cardAssetUid = paidFrom;
    ASSERT_TRUE(repo.save(a, "updateAsset"));
  }
  double march(int day) { return ledger_->env().dates().fromLocal(2026, 3, day, 12); }
  void add(const char* kind, const char* account, const char* to, double amount, int day,
           const char* category) {
    BaseRepository repo(*ledger_);
    InOutCome t = repo.newObjectForEntity<InOutCome>();
    t.Do_Type = kind;
    t.assetUid = account;
    if (*to) t.toAssetUid = to;
    t.amount = t.amountSub = t.amountAccount = amount;
    t.Date = march(day);
    t.categoryUid = category;
    t.Content = "x";
    ASSERT_TRUE(repo.save(t, "updateInOutCome"));
  }
  void transfer(const char* from, const char* to, double amount, int day) {
    add("3", from, to, amount, day, "");
    add("4", to, from, amount, day, "");
  }
  void setCashBook(bool on) {
    EXPECT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(etc_kind::kCardAccountingType, on ? "1" : "0"));
  }

  double start() { return ledger_->env().dates().fromLocal(2026, 3, 1); }
  double end() { return ledger_->env().dates().fromLocal(2026, 3, 31); }
};

TEST_F(ClassifiedTotalsTest, IncomeAndExpenseWithFilters) {
  PeriodTotals totals(*ledger_);
  struct Case {
    bool cashBook;
    std::vector<std::string> accounts, categories, filters;
    double income, expense;
    const char* what;
  } cases[] = {
      {false, {}, {}, {}, 1200, 940, "book view: purchase on the card, deposit into savings"},
      {true, {}, {}, {}, 1200, 940, "cash-book: the card payment instead of the purchase"},
      {false, {}, {"food"}, {}, 0, 140, "one category"},
      {false, {}, {}, {"#OUTCOMETRANS" "SAVE"}, 0, 500, "transfers into savings"},
      {false, {}, {}, {"#INCOMETRANS" "SAVE"}, 200, 0, "transfers out of savings"},
      {false, {}, {"food"}, {"#OUTCOMETRANS" "SAVE"}, 0, 640, "a category or a marker"},
      {false, {"BANK"}, {}, {}, 1200, 600, "one account and the transfers touching it"},
      {false, {}, {}, {"#INCOMECARD" "CARD"}, 1200, 940, "a marker that takes no part"},
  };
  for (const auto& c : cases) {
    setCashBook(c.cashBook);
    PeriodTotals t(*ledger_);
    const IncomeExpense r = t.getInOutSumMoneyByDate(start(), end(), c.accounts, c.categories, c.filters);
    EXPECT_DOUBLE_EQ(r.income, c.income) << c.what;
    EXPECT_DOUBLE_EQ(r.expense, c.expense) << c.what;
    EXPECT_DOUBLE_EQ(r.balance(), c.income - c.expense) << c.what;
  }
}

TEST_F(ClassifiedTotalsTest, TransferCardPaymentAndDebitCardSums) {
  PeriodTotals totals(*ledger_);
  auto out = totals.sumTransAmount("amount", {}, TxKind::kTransferOut, start(), end());
  ASSERT_TRUE(out.has_value());
  EXPECT_DOUBLE_EQ(out->sum, 500);
  EXPECT_EQ(out->count, 1);
  auto in = totals.sumTransAmount("amount", {}, TxKind::kTransferIn, start(), end());
  ASSERT_TRUE(in.has_value());
  EXPECT_DOUBLE_EQ(in->sum, 200);
  EXPECT_FALSE(totals.sumTransAmount("amount", {"BANK"}, TxKind::kTransferOut, start(), end()).has_value());

  EXPECT_DOUBLE_EQ(totals.sumAmountMoveOutTransCardAsset("amount", {}, {}, start(), end()), 300);
  EXPECT_DOUBLE_EQ(totals.sumAmountMoveOutTransCardAsset("amount", {}, {"SAVE"}, start(), end()), 0);

  EXPECT_DOUBLE_EQ(totals.sumCheckCardByDate("BANK", std::nullopt, std::nullopt), -40);
  // The range only picks the cards with activity; their net is all-time.
  const double april = ledger_->env().dates().fromLocal(2026, 4, 1);
  EXPECT_DOUBLE_EQ(totals.sumCheckCardByDate("BANK", april, std::nullopt), 0);
  EXPECT_DOUBLE_EQ(totals.sumCheckCardByDate("BANK", start(), march(10)), -40);

  const IncomeExpense usage = totals.getInOutSumMoneyByDateForCategory(start(), end(), {});
  EXPECT_DOUBLE_EQ(usage.income, 1000 + 200);
  EXPECT_DOUBLE_EQ(usage.expense, 100 + 300 + 40 + 500);
}

TEST_F(ClassifiedTotalsTest, CarryOverRowsOnlyWhenOnAndNonZero) {
  PeriodTotals off(*ledger_);
  EXPECT_EQ(off.getAmountCarryover(start(), end()), 0);
  EXPECT_FALSE(off.makeCarryoverDic(end(), 10));

  EXPECT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(etc_kind::kCarryOver, "1"));
  PeriodTotals totals(*ledger_);
  // Up to the 27th: salary 1000, food 100 and 40, card purchase 300, savings in 500 and out 200.
  EXPECT_DOUBLE_EQ(totals.getAmountCarryover(start(), march(28)), 1000 + 200 - (440 + 500));
  auto row = totals.makeCarryoverDic(end(), -12.5);
  ASSERT_TRUE(row);
  EXPECT_EQ(row->uid, "-100");
  EXPECT_EQ(row->Do_Type, "1");
  EXPECT_EQ(row->amount, "12.500000");
  // The row showed its raw message key.
  EXPECT_EQ(row->displayName, "[이월]");
  EXPECT_EQ(Texts("en").text("main_day_list_draw_text"), "Carried over");
  EXPECT_FALSE(totals.makeCarryoverDic(end(), 0));

  const auto three = totals.threeMonthCarryover(start(), march(28), ledger_->env().dates().fromLocal(2026, 4, 1));
  EXPECT_FALSE(three.carryoverPre);  // nothing before March
  ASSERT_TRUE(three.carryoverCurrent && three.carryoverNext);
  EXPECT_EQ(three.carryoverCurrent->amount, "260.000000");
  EXPECT_EQ(three.carryoverNext->amount, "260.000000");  // the rest of March is a card payment and an adjustment
}

TEST_F(ClassifiedTotalsTest, TrendRunsTheTotalBalance) {
  PeriodTotals totals(*ledger_);
  const auto& d = ledger_->env().dates();
  const std::vector<SumPeriod> periods = {{d.fromLocal(2026, 2, 1), d.fromLocal(2026, 2, 28)},
                                          {d.fromLocal(2026, 3, 1), d.fromLocal(2026, 3, 31)},
                                          {d.fromLocal(2026, 4, 1), d.fromLocal(2026, 4, 30)}};
  const auto trend = totals.sumTrend(6, periods);
  ASSERT_EQ(trend.size(), 3u);
  EXPECT_DOUBLE_EQ(trend[0], 0);
  // Bank 350, card 0, savings 300, debit card -40.
  EXPECT_DOUBLE_EQ(trend[1], 610);
  EXPECT_DOUBLE_EQ(trend[2], 610);
}

TEST_F(ClassifiedTotalsTest, TheRowsOfATotalAddUpToIt) {
  struct Case {
    std::vector<std::string> accounts, categories, filters;
  } cases[] = {{}, {{"BANK"}, {}, {}}, {{}, {"food"}, {}}, {{}, {}, {"#OUTCOMETRANSSAVE", "#INCOMETRANSSAVE"}},
               {{"CARD"}, {"shopping"}, {"#OUTCOMECARDCARD"}}};
  for (bool cashBook : {false, true}) {
    setCashBook(cashBook);
    PeriodTotals totals(*ledger_);
    for (const Case& c : cases) {
      const IncomeExpense sum = totals.getInOutSumMoneyByDate(start(), end(), c.accounts, c.categories, c.filters);
      const InOutWithTx with = totals.inOutSumWithTx(start(), end(), c.accounts, c.categories, c.filters);
      EXPECT_DOUBLE_EQ(with.totals.income, sum.income) << cashBook << c.accounts.size() << c.filters.size();
      EXPECT_DOUBLE_EQ(with.totals.expense, sum.expense) << cashBook << c.accounts.size() << c.filters.size();
      double income = 0, expense = 0;
      for (const auto& r : with.incomeRows) income += *r.amount;
      for (const auto& r : with.expenseRows) expense += *r.amount;
      EXPECT_DOUBLE_EQ(income, sum.income);
      EXPECT_DOUBLE_EQ(expense, sum.expense);
    }
  }
  // The card payment moves money between the household's own accounts: it is
  // on neither side, so it is not listed.
  setCashBook(false);
  const InOutWithTx all = PeriodTotals(*ledger_).inOutSumWithTx(start(), end());
  for (const auto& list : {all.incomeRows, all.expenseRows}) {
    for (const auto& r : list) EXPECT_FALSE(r.Do_Type == "3" && r.toAssetUid == "CARD");
  }
  EXPECT_EQ(all.expenseRows.front().Content, "x");  // whole records
}

TEST_F(ClassifiedTotalsTest, AnAccountChartRunsItsBalanceFromItsFirstRow) {
  // An older row before the chart's months counts into the first month.
  add("0", "BANK", "", 70, 1, "salary");
  BaseRepository repo(*ledger_);
  InOutCome old = *repo.fetch<InOutCome>(" WHERE ZAMOUNT = 70").begin();
  old.Date = ledger_->env().dates().fromLocal(2025, 1, 15, 12);
  ASSERT_TRUE(repo.save(old, "updateInOutCome"));
  ledger_->env().setNow(storeSecondsToMs(ledger_->env().dates().fromLocal(2026, 4, 10, 9)));

  PeriodTotals totals(*ledger_);
  const auto chart = totals.getInOutForChartByAsset("BANK", 3);
  ASSERT_EQ(chart.size(), 3u);
  EXPECT_EQ(ledger_->env().dates().dayKey(chart[0].start), "2026-02-01");
  EXPECT_EQ(ledger_->env().dates().dayKey(chart[2].end), "2026-04-30");
  EXPECT_DOUBLE_EQ(chart[0].balance, 70);
  // March: salary 1000, food 100, card payment 300, savings 500 out and 200
  // back, an upward correction of 50.
  EXPECT_DOUBLE_EQ(chart[1].balance, 70 + 1000 - 100 - 300 - 500 + 200 + 50);
  EXPECT_DOUBLE_EQ(chart[2].balance, chart[1].balance);
  EXPECT_THROW((void)totals.getInOutForChartByAsset("NOBODY", 3), InputError);
  EXPECT_THROW((void)totals.getInOutForChartByAsset("BANK", 0), InputError);
}

}  // namespace
}  // namespace varnel
