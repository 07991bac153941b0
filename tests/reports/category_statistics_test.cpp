#include <gtest/gtest.h>

#include <algorithm>

#include "model/base_repository.h"
#include "model/etc_repository.h"
#include "reports/category_statistics.h"
#include "reports/common_filter.h"
#include "reports/period_totals.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

// A bank account, a credit card, a savings account whose deposits count as
// spent (group "9") and a second flagged account in its own group ("8");
// an expense category with a sub-category, an income category, a deleted
// expense category; one March of activity.
class CategoryStatisticsTest : public testing::LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    BaseRepository repo(*ledger_);
    for (auto [uid, status, name] : {std::tuple{"1", 1, "Bank"}, {"2", 2, "Cards"},
                                     {"8", 8, "Pension"}, {"9", 9, "Savings"}}) {
      AssetGroup g = repo.newObjectForEntity<AssetGroup>(uid);
      g.Status = status;
      g.AssetGroupName = name;
      g.isDel = 0;
      g.Order = status;
      ASSERT_TRUE(repo.save(g, "updateAssetGroup"));
    }
    addAccount("BANK", "1");
    addAccount("CARD", "2");
    addAccount("SAVE", "9", 1);
    addAccount("PENSION", "8", 1);
    addCategory("SALARY", "Salary", 0);
    addCategory("FOOD", "Food", 1);
    addCategory("FOOD_SUB", "Groceries", 1, "FOOD");
    addCategory("OLD", "Old", 1, "", 1);
    ledger_->commonData().ReloadTheData();
  }

  void addAccount(const char* uid, const char* group, int flagged = 0) {
    BaseRepository repo(*ledger_);
    Asset a = repo.newObjectForEntity<Asset>(uid);
    a.groupUid = group;
    a.isDel = 0;
    a.transferExpense = flagged;
    ASSERT_TRUE(repo.save(a, "updateAsset"));
  }
  void addCategory(const char* uid, const char* name, int doType, const char* parent = "",
                   int isDel = 0) {
    BaseRepository repo(*ledger_);
    Category c = repo.newObjectForEntity<Category>(uid);
    c.Name = name;
    c.doType = doType;
    c.Status = *parent ? 2 : 0;
    if (*parent) c.pUid = parent;
    c.isDel = isDel;
    c.Order = repo.nextAvailble<Category>("Order");
    ASSERT_TRUE(repo.save(c, "updateCategory"));
  }
  double march(int day, int hour = 12) { return ledger_->env().dates().fromLocal(2026, 3, day, hour); }
  std::string add(const char* kind, const char* account, const char* to, double amount, double date,
                  const char* category = "", int isDel = 0, double amountAccount = -1) {
    BaseRepository repo(*ledger_);
    InOutCome t = repo.newObjectForEntity<InOutCome>();
    t.Do_Type = kind;
    t.assetUid = account;
    if (*to) t.toAssetUid = to;
    t.amount = t.amountSub = amount;
    t.amountAccount = amountAccount < 0 ? amount : amountAccount;
    t.Date = date;
    if (*category) t.categoryUid = category;
    t.isDel = isDel;
    EXPECT_TRUE(repo.save(t, "updateInOutCome"));
    return *t.uid;
  }
  void transfer(const char* from, const char* to, double amount, double date) {
    add("3", from, to, amount, date);
    add("4", to, from, amount, date);
  }
  // The month's standard activity.
  void addMonth() {
    add("0", "BANK", "", 1000, march(2), "SALARY");
    add("1", "BANK", "", 100, march(3), "FOOD");
    add("1", "CARD", "", 50, march(4), "FOOD_SUB");
    add("0", "BANK", "", 30, march(5), "FOOD");       // a refund booked as income
    add("1", "BANK", "", 70, march(6), "GONE");       // category no longer exists
    add("1", "BANK", "", 5, march(6), "-2");          // uncategorised
    add("1", "BANK", "", 20, march(7), "OLD");        // deleted category, live row
    add("7", "BANK", "", 40, march(8), "-4");
    add("8", "BANK", "", 10, march(8), "-4");
    add("1", "BANK", "", 999, march(9), "FOOD", 1);   // deleted row
    transfer("BANK", "SAVE", 500, march(10));
    transfer("BANK", "PENSION", 200, march(11));
    transfer("PENSION", "BANK", 200, march(12));       // moved back out: nets to 0
    transfer("BANK", "CARD", 300, march(25));
  }
  void setCashBook(bool on) {
    EXPECT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(etc_kind::kCardAccountingType, on ? "1" : "0"));
  }

  double start() { return ledger_->env().dates().fromLocal(2026, 3, 1); }
  double end() { return ledger_->env().dates().fromLocal(2026, 3, 31); }

  static std::vector<std::string> ids(const std::vector<BreakdownItem>& items) {
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back(i.ID);
    return out;
  }
};

TEST_F(CategoryStatisticsTest, BreakdownCountsMainCategoriesAndFlaggedGroups) {
  addMonth();
  CategoryCalculator calc(*ledger_);
  const CategoryBreakdown b = calc.categoryCalculator3(calc.statisticsTxList(start(), end()));

  // Income: the salary only; the refund in an expense category is not income.
  ASSERT_EQ(ids(b.dpInArray), std::vector<std::string>{"SALARY"});
  EXPECT_DOUBLE_EQ(b.dpInArray[0].MONEY, 1000);
  EXPECT_EQ(b.dpInArray[0].NAME, "Salary");
  EXPECT_EQ(b.dpInArray[0].TYPE, "cate");
  EXPECT_EQ(b.dpInArray[0].TRANSFER, "0");
  ASSERT_TRUE(b.dpInArray[0].OBJECT.has_value());
  EXPECT_EQ(b.dpInArray[0].OBJECT->uid, "SALARY");
  EXPECT_DOUBLE_EQ(b.cateInNum, 1000);

  // Expense: savings deposit 500, food 100 + groceries 50, the deleted
  // category's live row 20. No item for the sub-category, the missing
  // category, "-2", the pension group (in and back out) or kinds 7/8.
  ASSERT_EQ(ids(b.dpOutArray), (std::vector<std::string>{"9", "FOOD", "OLD"}));
  EXPECT_DOUBLE_EQ(b.dpOutArray[0].MONEY, 500);
  EXPECT_EQ(b.dpOutArray[0].TYPE, "acc");
  EXPECT_EQ(b.dpOutArray[0].TRANSFER, "3");
  EXPECT_EQ(b.dpOutArray[0].NAME, "Savings");
  EXPECT_FALSE(b.dpOutArray[0].OBJECT.has_value());
  EXPECT_DOUBLE_EQ(b.dpOutArray[1].MONEY, 150);
  EXPECT_DOUBLE_EQ(b.dpOutArray[2].MONEY, 20);
  EXPECT_DOUBLE_EQ(b.cateOutNum, 670);
}

TEST_F(CategoryStatisticsTest, MoneyTakenOutOfAFlaggedAccountIsAnIncomeItem) {
  transfer("BANK", "SAVE", 100, march(2));
  transfer("SAVE", "BANK", 250, march(3));
  add("0", "BANK", "", 40, march(4), "SALARY");
  CategoryCalculator calc(*ledger_);
  const CategoryBreakdown b = calc.categoryCalculator3(calc.statisticsTxList(start(), end()));
  // Sorted largest first: the category above the group's negative net.
  ASSERT_EQ(ids(b.dpInArray), (std::vector<std::string>{"SALARY", "9"}));
  EXPECT_DOUBLE_EQ(b.dpInArray[1].MONEY, -150);
  EXPECT_DOUBLE_EQ(b.cateInNum, 190);
  EXPECT_TRUE(b.dpOutArray.empty());
  EXPECT_DOUBLE_EQ(b.cateOutNum, 0);
}

TEST_F(CategoryStatisticsTest, TransferNetIsInTheMainCurrencyAndIgnoresRoundingNoise) {
  // A foreign-currency savings account: its side holds 0.38 in its own
  // currency, 500 in the main currency.
  add("3", "BANK", "SAVE", 500, march(2));
  add("4", "SAVE", "BANK", 500, march(2), "", 0, 0.38);
  // In and back out by amounts whose binary sum is not exactly zero.
  for (double v : {0.1, 0.2}) transfer("BANK", "PENSION", v, march(3));
  transfer("PENSION", "BANK", 0.3, march(4));
  CategoryCalculator calc(*ledger_);
  const CategoryBreakdown b = calc.categoryCalculator3(calc.statisticsTxList(start(), end()));
  ASSERT_EQ(ids(b.dpOutArray), std::vector<std::string>{"9"});
  EXPECT_DOUBLE_EQ(b.dpOutArray[0].MONEY, 500);
  EXPECT_DOUBLE_EQ(b.cateOutNum, 500);
  EXPECT_TRUE(b.dpInArray.empty());
}

TEST_F(CategoryStatisticsTest, HiddenOrDeletedGroupsAndRowsWithoutKindGiveNothing) {
  BaseRepository repo(*ledger_);
  auto g = repo.dataByUid<AssetGroup>("9");
  g->isDel = 4;
  ASSERT_TRUE(repo.save(*g, "updateAssetGroup"));
  ledger_->commonData().ReloadTheData();
  transfer("BANK", "SAVE", 500, march(2));
  InOutCome noKind;
  noKind.uid = "X";
  noKind.categoryUid = "SALARY";
  noKind.amount = 5;
  CategoryCalculator calc(*ledger_);
  auto rows = calc.statisticsTxList(start(), end());
  rows.push_back(noKind);
  const CategoryBreakdown b = calc.categoryCalculator3(rows);
  EXPECT_TRUE(b.dpInArray.empty());
  EXPECT_TRUE(b.dpOutArray.empty());
  EXPECT_DOUBLE_EQ(b.cateInNum + b.cateOutNum, 0);
}

TEST_F(CategoryStatisticsTest, StatisticsListTakesThePeriodAndTheFilterAccountRule) {
  addMonth();
  const std::string lastMinute = add("1", "BANK", "", 1, march(31, 23) + 59 * 60, "FOOD");
  add("1", "BANK", "", 1, ledger_->env().dates().fromLocal(2026, 4, 1), "FOOD");
  add("1", "BANK", "", 1, ledger_->env().dates().fromLocal(2026, 2, 28, 23), "FOOD");
  CategoryCalculator calc(*ledger_);
  const auto all = calc.statisticsTxList(start(), end());
  EXPECT_EQ(all.size(), 16u);  // live rows of kinds 0, 1, 3, 4 from March 1 to 31 inclusive
  EXPECT_EQ(all.back().uid, lastMinute);
  for (const auto& t : all) {
    EXPECT_NE(t.Do_Type, "7");
    EXPECT_NE(t.Do_Type, "8");
    EXPECT_FALSE(t.amountAccount.has_value()) << "only the columns the breakdown reads";
  }

  for (const std::vector<std::string>& accounts :
       {std::vector<std::string>{"SAVE"}, {"CARD"}, {"BANK", "PENSION"}}) {
    CommonFilter filter(*ledger_);
    filter.setFilter({}, {}, accounts, {});
    std::vector<std::string> expected, got;
    for (const auto& t : filter.getArrayInOutFilter(all)) expected.push_back(*t.uid);
    for (const auto& t : calc.statisticsTxList(start(), end(), accounts)) got.push_back(*t.uid);
    EXPECT_EQ(got, expected) << accounts.front();
  }
}

TEST_F(CategoryStatisticsTest, SumTxGroupByCategoryIsOneRowPerCategory) {
  addMonth();
  CategoryCalculator calc(*ledger_);
  struct Case {
    std::vector<std::string> accounts;
    std::vector<TxKind> kinds;
    std::vector<std::tuple<std::string, double, int64_t>> rows;
  } cases[] = {
      {{},
       {TxKind::kExpense},
       {{"-2", 5, 1}, {"FOOD", 100, 1}, {"FOOD_SUB", 50, 1}, {"GONE", 70, 1}, {"OLD", 20, 1}}},
      {{}, {TxKind::kIncome}, {{"FOOD", 30, 1}, {"SALARY", 1000, 1}}},
      {{"CARD"}, {TxKind::kIncome, TxKind::kExpense}, {{"FOOD_SUB", 50, 1}}},
      {{}, {TxKind::kTransferOut}, {{"", 1200, 4}}},
  };
  for (const auto& c : cases) {
    std::vector<std::tuple<std::string, double, int64_t>> got;
    for (const auto& r : calc.sumTxGroupByCategory(c.accounts, c.kinds, start(), end())) {
      got.emplace_back(r.categoryUid, r.sum, r.count);
    }
    EXPECT_EQ(got, c.rows) << kindCode(c.kinds.front());
  }
  EXPECT_TRUE(calc.sumTxGroupByCategory({}, {TxKind::kExpense}, march(20), end()).empty());
}

TEST_F(CategoryStatisticsTest, BudgetSumsAgreeWithThePeriodTotals) {
  addMonth();
  CategoryCalculator calc(*ledger_);
  PeriodTotals totals(*ledger_);
  const auto items = calc.sumCategoryTransferByDoTypeStartEndDate(TxKind::kExpense, start(), end());
  ASSERT_EQ(items.size(), 4u);  // Food, Old, then the groups Pension and Savings
  EXPECT_EQ(items[0].uid, "FOOD");
  EXPECT_EQ(items[0].type, SumCategoryAsset::kCategory);
  EXPECT_DOUBLE_EQ(items[0].money,
                   totals.getAmountSum("amount", {}, {"FOOD", "FOOD_SUB"}, {TxKind::kExpense}, start(), end()));
  EXPECT_DOUBLE_EQ(items[0].money, 150);
  EXPECT_TRUE(std::holds_alternative<Category>(items[0].OBJECT));
  EXPECT_EQ(items[1].uid, "OLD");
  EXPECT_EQ(items[2].uid, "8");
  EXPECT_EQ(items[2].type, SumCategoryAsset::kAccountGroup);
  EXPECT_EQ(items[2].TRANSFER, 3);
  EXPECT_DOUBLE_EQ(items[2].money, 200);
  EXPECT_EQ(items[3].uid, "9");
  EXPECT_DOUBLE_EQ(items[3].money,
                   totals.sumTransAmount("amount", {"SAVE"}, TxKind::kTransferOut, start(), end(), "", 2)->sum);
  EXPECT_TRUE(std::holds_alternative<AssetGroup>(items[3].OBJECT));

  const auto income = calc.sumCategoryTransferByDoTypeStartEndDate(TxKind::kIncome, start(), end());
  ASSERT_EQ(income.size(), 4u);  // Salary, Food (the refund), Pension, Savings
  EXPECT_EQ(income[0].uid, "SALARY");
  EXPECT_EQ(income[1].uid, "FOOD");
  EXPECT_DOUBLE_EQ(income[1].money, 30);
  EXPECT_DOUBLE_EQ(income[2].money, 200);  // taken back out of the pension account
  EXPECT_DOUBLE_EQ(income[3].money, 0);
}

TEST_F(CategoryStatisticsTest, FilteredListTotalMatchesTheStoreTotal) {
  addMonth();
  transfer("SAVE", "BANK", 80, march(13));
  BaseRepository repo(*ledger_);
  const auto period = repo.fetch<InOutCome>(" WHERE ZDATE >= ? AND ZDATE < ?", start(),
                                            ledger_->env().dates().fromLocal(2026, 4, 1));
  const std::vector<std::vector<std::string>> categories = {{}, {"FOOD"}, {"FOOD", "SALARY"}};
  const std::vector<std::vector<std::string>> filters = {
      {}, {"#OUTCOMETRANSSAVE"}, {"#INCOMETRANSSAVE", "#OUTCOMECARDCARD"}, {"#INCOMECARDCARD"}};
  const std::vector<std::vector<std::string>> accounts = {{}, {"BANK"}, {"SAVE"}, {"CARD"}};
  for (bool cashBook : {false, true}) {
    setCashBook(cashBook);
    for (const auto& c : categories) {
      for (const auto& f : filters) {
        for (const auto& a : accounts) {
          CategoryCalculator calc(*ledger_);
          PeriodTotals totals(*ledger_);
          const InOutMoney list = calc.getTotalMoneyByCategoryAsset(period, c, f, a);
          const IncomeExpense store = totals.getInOutSumMoneyByDate(start(), end(), a, c, f);
          EXPECT_DOUBLE_EQ(list.inmoney, store.income)
              << cashBook << " " << c.size() << " " << f.size() << " " << a.size();
          EXPECT_DOUBLE_EQ(list.outmoney, store.expense)
              << cashBook << " " << c.size() << " " << f.size() << " " << a.size();
        }
      }
    }
  }
  // Spot checks that the comparison is not between two empty results.
  setCashBook(false);
  CategoryCalculator calc(*ledger_);
  const InOutMoney food = calc.getTotalMoneyByCategoryAsset(period, {"FOOD"}, {}, {});
  EXPECT_DOUBLE_EQ(food.inmoney, 30);
  EXPECT_DOUBLE_EQ(food.outmoney, 100);
  const InOutMoney save = calc.getTotalMoneyByCategoryAsset(period, {}, {}, {"SAVE"});
  EXPECT_DOUBLE_EQ(save.inmoney, 80);
  EXPECT_DOUBLE_EQ(save.outmoney, 500);
}

}  // namespace
}  // namespace varnel
