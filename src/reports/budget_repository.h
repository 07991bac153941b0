// Budgets: the planned income or expense of a period for the whole ledger,
// for one category (a main category with its sub-categories), for an account
// group's transfers into transfer-expense accounts, or for one such account.
// Owns the two records (`Budget`, `BudgetAmount`), their composed
// identifiers, the amount in force for a period, the saving rules and the
// amounts used, which are aggregate queries over the period's rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/base_repository.h"
#include "model/period.h"

namespace varnel {

namespace budget_code {
// `transTypeInt`: what a budget of one target plans.
inline constexpr int kCategory = 0;         // a category (with its sub-categories)
inline constexpr int kTransferAccount = 1;  // money moved into (out of) one transfer-expense account
inline constexpr int kAccountGroup = 3;     // the same over an account group's transfer-expense accounts
// `totalTypeInt`.
inline constexpr int kOneTarget = 0;
inline constexpr int kTotal = 1;
// `periodTypeInt`. Yearly shares its code with "all time" of the period
// kinds, but a budget's year is always the user's year.
inline constexpr int kMonthly = 6;
inline constexpr int kWeekly = 8;
inline constexpr int kYearly = 4;
// `doTypeStr` as a number.
inline constexpr int kIncome = 0;
inline constexpr int kExpense = 1;
// The words older ledgers put in a total budget's identifier in place of
// the empty target.
inline constexpr const char* kTotalExpenseWord = "totalExpense";
inline constexpr const char* kTotalIncomeWord = "totalIncome";
}  // namespace budget_code

// What a budget plans for: `transTypeInt`, target and `totalTypeInt`.
struct BudgetTarget {
  int transTypeInt = budget_code::kCategory;
  std::string targetUid;  // "" for the total budget
  int totalTypeInt = budget_code::kOneTarget;

  static BudgetTarget total() { return {budget_code::kCategory, "", budget_code::kTotal}; }
  static BudgetTarget category(std::string uid) { return {budget_code::kCategory, std::move(uid), 0}; }
  static BudgetTarget accountGroup(std::string uid) { return {budget_code::kAccountGroup, std::move(uid), 0}; }
  static BudgetTarget transferAccount(std::string uid) {
    return {budget_code::kTransferAccount, std::move(uid), 0};
  }
  bool isTotal() const { return totalTypeInt == budget_code::kTotal; }
};

// One period of a budget: its key as the amount records store it (yyyymm
// monthly, yyyy yearly, the week's first day yyyymmdd weekly) and its first
// and last day (local midnights; the last day is included).
struct BudgetPeriod {
  int periodType = budget_code::kMonthly;
  int64_t key = 0;
  double start = 0;
  double end = 0;
  // A yyyymmdd day that names this period in the operations below.
  int64_t day() const;
};

// One line of a budget listing. Money is in the main currency, rounded to
// its decimals.
struct BudgetModel {
  // `status`: how the amount used stands against the amount in force.
  static constexpr int kNoBudget = 0;  // no amount governs the period
  static constexpr int kWithin = 1;    // used ≤ amount in force
  static constexpr int kOver = 2;      // used > amount in force

  std::string name;             // category, group or account name; "" for the total
  std::string key;              // target uid; "" for the total
  std::string budgetUid;        // "" when the target has no budget
  std::string budgetAmountUid;  // the amount record in force; "" when none
  double budgetMoney = 0;       // amount in force (0 when none)
  double cateMoney = 0;         // amount used
  double subCateBudgetMoneyTotal = 0;  // amounts in force of the sub-categories' budgets
  int countSubCate = 0;         // live sub-categories of a main category
  int status = kNoBudget;
  int64_t order = 0;            // the budget's `order`
  bool transfer = false;        // an account-group or transfer-account budget
  std::vector<BudgetModel> subBudgetAmountList;  // a main category's sub-category items
  std::string subCateName;      // a sub-category item's own name (`name` is its parent's)
  int transTypeInt = budget_code::kCategory;
  int totalTypeInt = budget_code::kOneTarget;

  bool hasBudget() const { return !budgetAmountUid.empty(); }
  double remaining() const { return budgetMoney - cateMoney; }
};

class BudgetRepository : public BaseRepository {
 public:
  explicit BudgetRepository(Ledger& ledger);

  // --- Identifiers and periods ---

  // "<target>_<kind>_<totalTypeInt>_<transTypeInt>_<periodTypeInt>".
  static std::string budgetUidFor(const BudgetTarget& target, int kind, int periodType);
  // The same with "totalExpense" / "totalIncome" in place of the empty
  // target, under which older ledgers keep their total budgets.
  static std::string totalBudgetWordUid(int kind, int transTypeInt, int periodType);
  // "<budget uid>_<period key>".
  static std::string budgetAmountUidFor(const std::string& budgetUid, int64_t key);

  // The period of `periodType` that holds `date` (store seconds), cut by the
  // ledger's start day, weekend rule and week start. Throws InputError for a
  // period type other than monthly, weekly or yearly.
  BudgetPeriod budgetPeriodOfDate(double date, int periodType) const;
  // The period a yyyymmdd `day` names: monthly the user's month of its year
  // and month, yearly the user's year of its year, weekly the week holding
  // the day. Throws InputError for a day the calendar lacks, a year outside
  // the ledger's years or an unknown period type.
  BudgetPeriod budgetPeriodOfDay(int64_t day, int periodType) const;
  // The period after `period`.
  BudgetPeriod nextPeriod(const BudgetPeriod& period) const;

  // The amount record in force for the period `key`: the live record with
  // the greatest `budgetPeriod` at or before it (ties: the latest change);
  // none when every record starts later. Every lookup below uses it.
  static std::optional<BudgetAmount> amountInForce(const std::vector<BudgetAmount>& records, int64_t key);

  // --- Reads ---

  // Live budgets of the target, kind and period type (a total budget
  // whatever its target).
  std::vector<Budget> listBudget(const BudgetTarget& target, int kind, int periodType);
  std::optional<Budget> budgetWithData(const BudgetTarget& target, int kind, int periodType);
  // The live amount records of these budgets.
  std::vector<BudgetAmount> listBudgetAmountWithBudgetUids(const std::vector<std::string>& budgetUids);
  // The live amount record in force for the period `day` names, over the
  // target's live budgets.
  std::optional<BudgetAmount> budgetAmountPastLatelyWithData(const BudgetTarget& target, int kind, int64_t day,
                                                             int periodType);
  // The live amount record of exactly that period.
  std::optional<BudgetAmount> budgetAmountWithData(const BudgetTarget& target, int kind, int64_t day,
                                                   int periodType);
  // The live amount record with the latest period.
  std::optional<BudgetAmount> budgetAmountDefault(const BudgetTarget& target, int kind, int periodType);
  // The total budget's amount record in force.
  std::optional<BudgetAmount> budgetAmountTotalWithData(int kind, int64_t day, int periodType);

  // --- Writes: one store transaction each; on failure nothing changed ---

  // Sets `amount` for the period `day` names and every later period up to
  // the next amount record, making (or reviving) the budget. A budget made
  // new takes the amount in every live amount record it already has; a
  // deleted budget that is revived starts again from this amount alone, so
  // amounts set before its deletion never come back. A total budget kept
  // under the "totalExpense"/"totalIncome" identifier is updated, not
  // doubled. Invalid input (unknown or deleted target, a category of the
  // other kind, an account that is not a transfer-expense account, a group
  // without one, an amount that is negative or out of range, an unknown
  // kind or period type) is a kInvalidInput status.
  Status updateBudget(const BudgetTarget& target, int kind, int64_t day, int periodType, double amount);

  // Sets `amount` from the period after today's on: every later live amount
  // record that holds `inForce`'s amount takes the new one (records set to
  // something else keep it), and the period after today's gets a record
  // when it has none. Makes or revives the budget as updateBudget does.
  Status updateBudgetDefault(const BudgetTarget& target, int kind, int periodType, double amount,
                             const std::optional<BudgetAmount>& inForce);

  // Soft-deletes the budget and its amount records.
  Status deleteBudget(Budget& budget);
  // Soft-deletes every budget and amount record.
  Status deleteAll();

  // --- Listings with the amounts used ---

  // The budgets of a kind and period type with their use in the period
  // `day` names, in this order: the total budget; each live main category
  // of the kind (category order) that has a budget in force or a
  // sub-category that has one, with those sub-categories' items; each
  // account group with a budget in force (group order); each transfer
  // account with a budget in force (account order). A bounded number of
  // queries whatever the number of budgets.
  std::vector<BudgetModel> listBudgetWithData(int kind, int64_t day, int periodType);

  // A main category's item followed by one item per live sub-category,
  // budgeted or not, for the period `day` names. Throws InputError when
  // `parentUid` is not a live main category.
  std::vector<BudgetModel> listCategoryBudgetWithData(int64_t day, int periodType, const std::string& parentUid);

 private:
  struct Sums;
  // The live budget of the target to save under, made or revived and
  // stored; `made` tells whether it is new.
  Result<Budget> ensureBudget(const BudgetTarget& target, int kind, int periodType, bool* made);
  // The kInvalidInput reason of a target, kind, period type or amount, or
  // success.
  Status validate(const BudgetTarget& target, int kind, int periodType, std::optional<double> amount) const;
  // The amount as kept: rounded to the main currency's decimals.
  double storedAmount(double amount) const;
  // Amounts used in the period, from one aggregate query per kind of sum.
  Sums sumsOf(int kind, const BudgetPeriod& period);
  struct Index;
  // Every live budget of the kind and period type with its amount records,
  // from two reads.
  Index indexOf(int kind, const BudgetPeriod& period);

  PeriodRules rules_;
};

}  // namespace varnel
