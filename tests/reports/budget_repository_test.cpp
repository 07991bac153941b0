#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cmath>
#include <optional>

#include "model/base_repository.h"
#include "model/etc_repository.h"
#include "reports/budget_repository.h"
#include "reports/period_totals.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using namespace budget_code;

// A bank account, a credit card, a savings account whose deposits count as
// spent (group "9") and a pension account flagged the same way (group "8"),
// a group "7" with an unflagged account only; an expense category with a
// sub-category and an income category. Today is 2026-03-10, a Tuesday.
class BudgetRepositoryTest : public testing::LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    testing::TestLedgerOptions options;
    options.now = "2026-03-10T09:00:00";
    reopen(options);
    BaseRepository repo(*ledger_);
    for (auto [uid, status, name] : {std::tuple{"1", 1, "Bank"}, {"2", 2, "Cards"}, {"7", 7, "Other"},
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
    addAccount("PLAIN", "7");
    addAccount("PENSION", "8", 1);
    addAccount("SAVE", "9", 1);
    addCategory("SALARY", "Salary", 0);
    addCategory("FOOD", "Food", 1);
    addCategory("FOOD_SUB", "Groceries", 1, "FOOD");
    addCategory("RENT", "Rent", 1);
    ledger_->commonData().ReloadTheData();
  }

  void addAccount(const char* uid, const char* group, int flagged = 0) {
    BaseRepository repo(*ledger_);
    Asset a = repo.newObjectForEntity<Asset>(uid);
    a.NicName = uid;
    a.groupUid = group;
    a.isDel = 0;
    a.transferExpense = flagged;
    ASSERT_TRUE(repo.save(a, "updateAsset"));
  }
  void addCategory(const char* uid, const char* name, int doType, const char* parent = "") {
    BaseRepository repo(*ledger_);
    Category c = repo.newObjectForEntity<Category>(uid);
    c.Name = name;
    c.doType = doType;
    c.Status = *parent ? 2 : 0;
    if (*parent) c.pUid = parent;
    c.isDel = 0;
    c.Order = repo.nextAvailble<Category>("Order");
    ASSERT_TRUE(repo.save(c, "updateCategory"));
  }
  double at(int year, int month, int day, int hour = 12, int minute = 0) {
    return ledger_->env().dates().fromLocal(year, month, day, hour, minute);
  }
  // A row as the transaction save stores it: `amount` in the main currency,
  // `amountSub` as entered.
  void add(const char* kind, const char* account, const char* to, double amount, double date,
           const char* category = "", int isDel = 0, double entered = -1) {
    BaseRepository repo(*ledger_);
    InOutCome t = repo.newObjectForEntity<InOutCome>();
    t.Do_Type = kind;
    t.assetUid = account;
    if (*to) t.toAssetUid = to;
    t.amount = t.amountAccount = amount;
    t.amountSub = entered < 0 ? amount : entered;
    t.Date = date;
    if (*category) t.categoryUid = category;
    t.isDel = isDel;
    ASSERT_TRUE(repo.save(t, "updateInOutCome"));
  }
  void transfer(const char* from, const char* to, double amount, double date) {
    add("3", from, to, amount, date);
    add("4", to, from, amount, date);
  }
  void setting(int kind, const std::string& value) {
    ASSERT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(kind, value));
    ledger_->commonData().ReloadAppDataEtc();
  }
  int64_t count(const std::string& table, const std::string& where = "1") {
    return ledger_->store().db().execAndGet("SELECT COUNT(*) FROM " + table + " WHERE " + where).getInt64();
  }
  std::optional<double> inForce(const BudgetTarget& target, int kind, int64_t day, int periodType = kMonthly) {
    auto r = BudgetRepository(*ledger_).budgetAmountPastLatelyWithData(target, kind, day, periodType);
    if (!r) return std::nullopt;
    return r->amount;
  }
};

TEST_F(BudgetRepositoryTest, AmountInForceRunsUntilTheNextAmountAndNeverBeforeTheFirst) {
  BudgetRepository budgets(*ledger_);
  ASSERT_TRUE(budgets.updateBudget(BudgetTarget::category("FOOD"), kExpense, 20260115, kMonthly, 100));
  ASSERT_TRUE(budgets.updateBudget(BudgetTarget::category("FOOD"), kExpense, 20260501, kMonthly, 150));
  ASSERT_TRUE(budgets.updateBudget(BudgetTarget::total(), kExpense, 20260320, kMonthly, 80));
  ASSERT_TRUE(budgets.updateBudget(BudgetTarget::category("SALARY"), kIncome, 20260304, kWeekly, 70));

  struct Case {
    BudgetTarget target;
    int kind;
    int64_t day;
    int periodType;
    std::optional<double> expected;
  };
  const Case cases[] = {
      {BudgetTarget::category("FOOD"), kExpense, 20251201, kMonthly, std::nullopt},
      {BudgetTarget::category("FOOD"), kExpense, 20260101, kMonthly, 100},
      {BudgetTarget::category("FOOD"), kExpense, 20260430, kMonthly, 100},
      {BudgetTarget::category("FOOD"), kExpense, 20260501, kMonthly, 150},
      {BudgetTarget::category("FOOD"), kExpense, 20271101, kMonthly, 150},
      // Another kind or period type is another budget.
      {BudgetTarget::category("FOOD"), kIncome, 20260501, kMonthly, std::nullopt},
      {BudgetTarget::category("FOOD"), kExpense, 20260501, kWeekly, std::nullopt},
      {BudgetTarget::total(), kExpense, 20260201, kMonthly, std::nullopt},
      {BudgetTarget::total(), kExpense, 20260301, kMonthly, 80},
      {BudgetTarget::total(), kExpense, 20260701, kMonthly, 80},
      // Weekly keys are the week's first day (Sunday 2026-03-01): the day
      // before belongs to the week before it.
      {BudgetTarget::category("SALARY"), kIncome, 20260228, kWeekly, std::nullopt},
      {BudgetTarget::category("SALARY"), kIncome, 20260307, kWeekly, 70},
      {BudgetTarget::category("SALARY"), kIncome, 20261231, kWeekly, 70},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(inForce(c.target, c.kind, c.day, c.periodType), c.expected) << c.target.targetUid << " " << c.day;
  }
  // A weekly amount set from mid-week is keyed by the week's first day.
  EXPECT_EQ(count("ZBUDGETAMOUNT", "ZBUDGETPERIOD = 20260301"), 1);
  EXPECT_EQ(count("ZBUDGET"), 3);
  EXPECT_EQ(count("ZBUDGETAMOUNT"), 4);
}

TEST_F(BudgetRepositoryTest, PeriodsFollowTheStartDayWeekendRuleAndWeekStart) {
  struct Case {
    int periodType;
    std::string startDay, weekendRule, weekStart;
    int month, day;  // a date in 2026
    int64_t key;
    int startYear, startMonth, startDayOfMonth, endYear, endMonth, endDay;
  };
  const Case cases[] = {
      {kMonthly, "1", "0", "0", 3, 10, 202603, 2026, 3, 1, 2026, 3, 31},
      {kMonthly, "25", "0", "0", 3, 10, 202602, 2026, 2, 25, 2026, 3, 24},
      {kMonthly, "25", "0", "0", 3, 25, 202603, 2026, 3, 25, 2026, 4, 24},
      // Start day 31 is the 28th in February and the 31st in March.
      {kMonthly, "31", "0", "0", 3, 10, 202602, 2026, 2, 28, 2026, 3, 30},
      // March 1st is a Sunday: moved back to Friday, the month holds Feb 27.
      {kMonthly, "1", "1", "0", 2, 27, 202603, 2026, 2, 27, 2026, 3, 31},
      {kMonthly, "1", "2", "0", 3, 1, 202602, 2026, 2, 2, 2026, 3, 1},
      {kWeekly, "1", "0", "0", 3, 10, 20260308, 2026, 3, 8, 2026, 3, 14},
      {kWeekly, "1", "0", "1", 3, 10, 20260309, 2026, 3, 9, 2026, 3, 15},
      {kYearly, "1", "0", "0", 3, 10, 2026, 2026, 1, 1, 2026, 12, 31},
      {kYearly, "25", "0", "0", 1, 10, 2025, 2025, 1, 25, 2026, 1, 24},
  };
  for (const Case& c : cases) {
    setting(etc_kind::kStartDay, c.startDay);
    setting(etc_kind::kMonthStartWeekendType, c.weekendRule);
    setting(etc_kind::kWeekStartDay, c.weekStart);
    BudgetRepository budgets(*ledger_);
    const double date = at(2026, c.month, c.day);
    const BudgetPeriod p = budgets.budgetPeriodOfDate(date, c.periodType);
    const std::string what = std::to_string(c.periodType) + " " + c.startDay + "/" + c.weekendRule + "/" +
                             c.weekStart + " " + ledger_->env().dates().dayKey(date);
    EXPECT_EQ(p.key, c.key) << what;
    EXPECT_EQ(p.start, at(c.startYear, c.startMonth, c.startDayOfMonth, 0)) << what;
    EXPECT_EQ(p.end, at(c.endYear, c.endMonth, c.endDay, 0)) << what;
    // The key names the same period again, and a month or week is the one
    // the main screen shows for the date.
    const BudgetPeriod again = budgets.budgetPeriodOfDay(p.day(), c.periodType);
    EXPECT_EQ(std::tie(again.key, again.start, again.end), std::tie(p.key, p.start, p.end)) << what;
    if (c.periodType != kYearly) {
      PeriodRules rules(ledger_->env().dates(), ledger_->commonData().app());
      const auto screen = rules.getStartEndDate(date, c.periodType, std::stoi(c.startDay), true);
      EXPECT_EQ(*screen, std::make_pair(p.start, p.end)) << what;
    }
  }
}

TEST_F(BudgetRepositoryTest, DefaultChangesLaterEqualAmountsFromTheNextPeriod) {
  BudgetRepository budgets(*ledger_);
  const BudgetTarget food = BudgetTarget::category("FOOD");
  ASSERT_TRUE(budgets.updateBudget(food, kExpense, 20260101, kMonthly, 100));
  ASSERT_TRUE(budgets.updateBudget(food, kExpense, 20260601, kMonthly, 150));
  ASSERT_TRUE(budgets.updateBudget(food, kExpense, 20260801, kMonthly, 100));
  const auto current = budgets.budgetAmountPastLatelyWithData(food, kExpense, 20260301, kMonthly);
  ASSERT_TRUE(budgets.updateBudgetDefault(food, kExpense, kMonthly, 120, current));

  const std::pair<int64_t, std::optional<double>> expected[] = {
      {20260101, 100}, {20260301, 100}, {20260401, 120}, {20260501, 120},
      {20260601, 150}, {20260701, 150}, {20260801, 120}, {20261201, 120}};
  for (const auto& [day, amount] : expected) EXPECT_EQ(inForce(food, kExpense, day), amount) << day;
  EXPECT_EQ(count("ZBUDGETAMOUNT"), 4);  // April's record was made
  EXPECT_EQ(count("ZBUDGETAMOUNT", "ZUID = 'FOOD_1_0_0_6_202604'"), 1);
}

TEST_F(BudgetRepositoryTest, DefaultStartsWithThePeriodAfterTodays) {
  // Today is Tuesday 2026-03-10.
  struct Case {
    int periodType;
    std::string startDay, weekStart;
    int64_t nextKey;
  };
  const Case cases[] = {
      {kMonthly, "1", "0", 202604},
      // The month holding today began on Feb 25; the next one on Mar 25.
      {kMonthly, "25", "0", 202603},
      {kWeekly, "1", "0", 20260315},
      {kWeekly, "1", "1", 20260316},
      {kYearly, "1", "0", 2027},
  };
  for (const Case& c : cases) {
    setting(etc_kind::kStartDay, c.startDay);
    setting(etc_kind::kWeekStartDay, c.weekStart);
    BudgetRepository budgets(*ledger_);
    ASSERT_TRUE(budgets.deleteAll());
    ASSERT_TRUE(budgets.updateBudgetDefault(BudgetTarget::category("RENT"), kExpense, c.periodType, 900, std::nullopt));
    const auto latest = budgets.budgetAmountDefault(BudgetTarget::category("RENT"), kExpense, c.periodType);
    ASSERT_TRUE(latest.has_value());
    EXPECT_EQ(latest->budgetPeriod, c.nextKey) << c.periodType << " " << c.startDay << "/" << c.weekStart;
    // Today's period has no budget yet.
    const BudgetPeriod today = budgets.budgetPeriodOfDate(ledger_->env().nowStoreSeconds(), c.periodType);
    EXPECT_EQ(inForce(BudgetTarget::category("RENT"), kExpense, today.day(), c.periodType), std::nullopt);
  }
}

TEST_F(BudgetRepositoryTest, TotalBudgetUnderTheOlderIdentifierIsUpdatedNotDoubled) {
  BaseRepository repo(*ledger_);
  Budget old = repo.newObjectForEntity<Budget>("totalExpense_1_1_0_6");
  old.targetUid = "totalExpense";
  old.doTypeStr = "1";
  old.periodTypeInt = 6;
  old.totalTypeInt = 1;
  old.transTypeInt = 0;
  old.isDel = 0;
  ASSERT_TRUE(repo.save(old, "updateBudget"));
  BudgetAmount amount = repo.newObjectForEntity<BudgetAmount>("totalExpense_1_1_0_6_202601");
  amount.budgetUid = old.uid;
  amount.budgetPeriod = 202601;
  amount.amount = 1000;
  ASSERT_TRUE(repo.save(amount, "updateBudgetAmount"));

  BudgetRepository budgets(*ledger_);
  EXPECT_EQ(inForce(BudgetTarget::total(), kExpense, 20260301), 1000);
  ASSERT_TRUE(budgets.updateBudget(BudgetTarget::total(), kExpense, 20260101, kMonthly, 1200));
  ASSERT_TRUE(budgets.updateBudget(BudgetTarget::total(), kExpense, 20260501, kMonthly, 1500));
  EXPECT_EQ(count("ZBUDGET"), 1);
  EXPECT_EQ(count("ZBUDGETAMOUNT"), 2);
  EXPECT_EQ(inForce(BudgetTarget::total(), kExpense, 20260301), 1200);
  EXPECT_EQ(inForce(BudgetTarget::total(), kExpense, 20260601), 1500);
  const auto items = budgets.listBudgetWithData(kExpense, 20260601, kMonthly);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].budgetUid, "totalExpense_1_1_0_6");
  EXPECT_EQ(items[0].budgetMoney, 1500);
}

TEST_F(BudgetRepositoryTest, RevivedBudgetDoesNotBringBackAmountsSetBeforeItsDeletion) {
  BudgetRepository budgets(*ledger_);
  const BudgetTarget food = BudgetTarget::category("FOOD");
  ASSERT_TRUE(budgets.updateBudget(food, kExpense, 20260101, kMonthly, 100));
  ASSERT_TRUE(budgets.updateBudget(food, kExpense, 20260801, kMonthly, 200));
  auto budget = budgets.budgetWithData(food, kExpense, kMonthly);
  ASSERT_TRUE(budget.has_value());
  ASSERT_TRUE(budgets.deleteBudget(*budget));
  EXPECT_EQ(inForce(food, kExpense, 20260301), std::nullopt);

  ASSERT_TRUE(budgets.updateBudget(food, kExpense, 20260501, kMonthly, 150));
  EXPECT_EQ(inForce(food, kExpense, 20260301), std::nullopt);
  EXPECT_EQ(inForce(food, kExpense, 20260501), 150);
  EXPECT_EQ(inForce(food, kExpense, 20260901), 150);
  EXPECT_EQ(count("ZBUDGET"), 1);
}

TEST_F(BudgetRepositoryTest, AmountUsedCountsWhatEachBudgetCovers) {
  add("1", "BANK", "", 100, at(2026, 3, 3), "FOOD");
  add("1", "CARD", "", 50, at(2026, 3, 4), "FOOD_SUB");           // a sub-category counts toward Food
  add("1", "BANK", "", 13.5, at(2026, 3, 5), "FOOD", 0, 10);      // entered as 10 in another currency
  add("1", "BANK", "", 999, at(2026, 3, 6), "FOOD", 1);           // deleted
  add("1", "BANK", "", 7, at(2026, 3, 31, 23, 30), "RENT");       // the last evening counts
  add("1", "BANK", "", 8, at(2026, 4, 1, 0, 0), "RENT");          // the next month does not
  add("1", "BANK", "", 5, at(2026, 3, 7), "-2");                  // uncategorised: the total only
  add("0", "BANK", "", 1000, at(2026, 3, 2), "SALARY");
  add("7", "BANK", "", 40, at(2026, 3, 8), "-4");                 // a balance correction is no use
  transfer("BANK", "SAVE", 500, at(2026, 3, 10));
  transfer("BANK", "PENSION", 200, at(2026, 3, 11));
  transfer("PENSION", "BANK", 60, at(2026, 3, 12));
  transfer("BANK", "PLAIN", 300, at(2026, 3, 13));                // neither side flagged

  BudgetRepository budgets(*ledger_);
  for (auto [target, amount] : {std::pair{BudgetTarget::total(), 2000.0},
                                {BudgetTarget::category("FOOD"), 300.0},
                                {BudgetTarget::category("FOOD_SUB"), 40.0},
                                {BudgetTarget::accountGroup("9"), 400.0},
                                {BudgetTarget::transferAccount("PENSION"), 500.0}}) {
    ASSERT_TRUE(budgets.updateBudget(target, kExpense, 20260301, kMonthly, amount));
  }
  ASSERT_TRUE(budgets.updateBudget(BudgetTarget::transferAccount("PENSION"), kIncome, 20260301, kMonthly, 50));

  struct Row {
    std::string key;
    int transTypeInt;
    double budgetMoney, cateMoney;
    int status;
  };
  auto rows = [](const std::vector<BudgetModel>& items) {
    std::vector<std::tuple<std::string, int, double, double, int>> out;
    for (const auto& i : items) {
      out.emplace_back(i.key, i.transTypeInt, i.budgetMoney, i.cateMoney, i.status);
      for (const auto& s : i.subBudgetAmountList) {
        out.emplace_back(s.key, s.transTypeInt, s.budgetMoney, s.cateMoney, s.status);
      }
    }
    return out;
  };
  using R = std::tuple<std::string, int, double, double, int>;
  const std::vector<R> expense = {
      // Every expense row of the month and the transfers into flagged accounts.
      {"", kCategory, 2000, 100 + 50 + 13.5 + 7 + 5 + 500 + 200, BudgetModel::kWithin},
      {"FOOD", kCategory, 300, 163.5, BudgetModel::kWithin},
      {"FOOD_SUB", kCategory, 40, 50, BudgetModel::kOver},
      {"9", kAccountGroup, 400, 500, BudgetModel::kOver},
      {"PENSION", kTransferAccount, 500, 200, BudgetModel::kWithin},
  };
  const auto items = budgets.listBudgetWithData(kExpense, 20260301, kMonthly);
  EXPECT_EQ(rows(items), expense);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[1].countSubCate, 1);
  EXPECT_EQ(items[1].subCateBudgetMoneyTotal, 40);
  EXPECT_EQ(items[1].subBudgetAmountList[0].subCateName, "Groceries");
  EXPECT_TRUE(items[3].transfer);

  // The total is the period's usage-basis expense, however it is reached.
  PeriodTotals totals(*ledger_);
  EXPECT_DOUBLE_EQ(items[0].cateMoney,
                   totals.getInOutSumMoneyByDateForCategory(at(2026, 3, 1, 0), at(2026, 3, 31, 0), {}).expense);

  const std::vector<R> income = {{"PENSION", kTransferAccount, 50, 60, BudgetModel::kOver}};
  EXPECT_EQ(rows(budgets.listBudgetWithData(kIncome, 20260301, kMonthly)), income);

  // The category listing shows every sub-category, budgeted or not.
  const auto food = budgets.listCategoryBudgetWithData(20260301, kMonthly, "FOOD");
  EXPECT_EQ(rows(food), (std::vector<R>{{"FOOD", kCategory, 300, 163.5, BudgetModel::kWithin},
                                        {"FOOD_SUB", kCategory, 40, 50, BudgetModel::kOver}}));
}

// Counts the statements a connection runs.
int countStatements(unsigned, void* counter, void*, void*) {
  ++*static_cast<int*>(counter);
  return 0;
}

TEST_F(BudgetRepositoryTest, ListingReadsTheStoreAFixedNumberOfTimesWhateverTheBudgets) {
  add("1", "BANK", "", 100, at(2026, 3, 3), "FOOD");
  transfer("BANK", "SAVE", 500, at(2026, 3, 10));
  auto statementsOfListing = [&] {
    int statements = 0;
    sqlite3* db = ledger_->store().db().getHandle();
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, countStatements, &statements);
    const auto items = BudgetRepository(*ledger_).listBudgetWithData(kExpense, 20260301, kMonthly);
    sqlite3_trace_v2(db, 0, nullptr, nullptr);
    return std::pair{statements, items.size()};
  };
  BudgetRepository budgets(*ledger_);
  ASSERT_TRUE(budgets.updateBudget(BudgetTarget::category("FOOD"), kExpense, 20260301, kMonthly, 10));
  const auto [few, fewItems] = statementsOfListing();
  for (int i = 0; i < 20; ++i) {
    const std::string uid = "C" + std::to_string(i);
    addCategory(uid.c_str(), uid.c_str(), 1);
    addCategory((uid + "S").c_str(), (uid + "S").c_str(), 1, uid.c_str());
  }
  ledger_->commonData().ReloadTheData();
  for (int i = 0; i < 20; ++i) {
    const std::string uid = "C" + std::to_string(i);
    ASSERT_TRUE(budgets.updateBudget(BudgetTarget::category(uid), kExpense, 20260301, kMonthly, 10));
    ASSERT_TRUE(budgets.updateBudget(BudgetTarget::category(uid + "S"), kExpense, 20260101, kMonthly, 5));
  }
  ASSERT_TRUE(budgets.updateBudget(BudgetTarget::accountGroup("9"), kExpense, 20260301, kMonthly, 10));
  ASSERT_TRUE(budgets.updateBudget(BudgetTarget::total(), kExpense, 20260301, kMonthly, 10));
  const auto [many, manyItems] = statementsOfListing();
  EXPECT_EQ(fewItems, 1u);
  EXPECT_EQ(manyItems, 23u);
  EXPECT_EQ(many, few);
}

TEST_F(BudgetRepositoryTest, BadInputIsRefusedAndChangesNothing) {
  struct Case {
    const char* what;
    BudgetTarget target;
    int kind;
    int64_t day;
    int periodType;
    double amount;
  };
  const Case cases[] = {
      {"negative amount", BudgetTarget::category("FOOD"), kExpense, 20260301, kMonthly, -1},
      {"amount out of range", BudgetTarget::category("FOOD"), kExpense, 20260301, kMonthly, 1e15},
      {"not a number", BudgetTarget::category("FOOD"), kExpense, 20260301, kMonthly, std::nan("")},
      {"category of the other kind", BudgetTarget::category("SALARY"), kExpense, 20260301, kMonthly, 1},
      {"unknown category", BudgetTarget::category("NOPE"), kExpense, 20260301, kMonthly, 1},
      {"pseudo-category", BudgetTarget::category("-2"), kExpense, 20260301, kMonthly, 1},
      {"account not flagged", BudgetTarget::transferAccount("BANK"), kExpense, 20260301, kMonthly, 1},
      {"group without a flagged account", BudgetTarget::accountGroup("7"), kExpense, 20260301, kMonthly, 1},
      {"unknown group", BudgetTarget::accountGroup("X"), kExpense, 20260301, kMonthly, 1},
      {"total with a target", {kCategory, "FOOD", kTotal}, kExpense, 20260301, kMonthly, 1},
      {"unknown kind", BudgetTarget::total(), 3, 20260301, kMonthly, 1},
      {"calendar month", BudgetTarget::total(), kExpense, 20260301, 0, 1},
      {"day the calendar lacks", BudgetTarget::total(), kExpense, 20260230, kMonthly, 1},
      {"year out of range", BudgetTarget::total(), kExpense, 30000101, kYearly, 1},
  };
  BudgetRepository budgets(*ledger_);
  for (const Case& c : cases) {
    const Status s = budgets.updateBudget(c.target, c.kind, c.day, c.periodType, c.amount);
    EXPECT_EQ(s.code(), StatusCode::kInvalidInput) << c.what;
    if (c.day != 20260230 && c.day != 30000101) {
      EXPECT_EQ(budgets.updateBudgetDefault(c.target, c.kind, c.periodType, c.amount, std::nullopt).code(),
                StatusCode::kInvalidInput)
          << c.what;
    }
  }
  EXPECT_EQ(count("ZBUDGET"), 0);
  EXPECT_EQ(count("ZBUDGETAMOUNT"), 0);
}

}  // namespace
}  // namespace varnel
