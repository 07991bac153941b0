#include "reports/budget_repository.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <unordered_map>

#include <fmt/format.h>

#include "ledger/category_repository.h"
#include "ledger/currency_conversion.h"
#include "model/environment.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "model/number_input.h"
#include "model/sql_filter.h"
#include "model/tx_kind.h"
#include "reports/period_totals.h"

namespace varnel {

using namespace budget_code;

namespace {

int64_t dayNumber(const LocalDateTime& t) { return int64_t{t.year} * 10000 + t.month * 100 + t.day; }

bool isPeriodType(int periodType) {
  return periodType == kMonthly || periodType == kWeekly || periodType == kYearly;
}

void requirePeriodType(int periodType) {
  if (!isPeriodType(periodType)) {
    throw InputError(fmt::format("a budget's period type must be 6 (month), 8 (week) or 4 (year): {}", periodType));
  }
}

// Year and month `offset` months after (year, month).
std::pair<int, int> addMonths(int year, int month, int offset) {
  const int index = year * 12 + (month - 1) + offset;
  return {index / 12, index % 12 + 1};
}

std::string kindText(int kind) { return std::to_string(kind); }

// The target a stored budget plans for; a total budget whatever its target.
std::string targetKey(int transTypeInt, int totalTypeInt, const std::string& targetUid) {
  if (totalTypeInt == kTotal) return "total";
  return fmt::format("{}:{}", transTypeInt, targetUid);
}
std::string targetKey(const BudgetTarget& t) { return targetKey(t.transTypeInt, t.totalTypeInt, t.targetUid); }
std::string targetKey(const Budget& b) {
  return targetKey(static_cast<int>(numberOf(b.transTypeInt)), static_cast<int>(numberOf(b.totalTypeInt)),
                   b.targetUid.value_or(""));
}

}  // namespace

// Amounts used in one period, from one aggregate query over its rows.
struct BudgetRepository::Sums {
  std::unordered_map<std::string, double> byCategory;  // rows of the kind by their own category
  std::unordered_map<std::string, double> byMain;      // the same counted toward main categories
  double kindTotal = 0;                                // every row of the kind
  std::vector<TransferPairSum> transfers;              // pairs of the kind's class
  double transferTotal = 0;

  double category(const std::string& uid) const {
    auto it = byCategory.find(uid);
    return it == byCategory.end() ? 0 : it->second;
  }
  double mainCategory(const std::string& uid) const {
    auto it = byMain.find(uid);
    return it == byMain.end() ? 0 : it->second;
  }
  // Transfers that touch one of `accounts`, each row once.
  double transfersTouching(const std::set<std::string>& accounts) const {
    double sum = 0;
    for (const TransferPairSum& p : transfers) {
      if (accounts.count(p.assetUid) || accounts.count(p.toAssetUid)) sum += p.sum;
    }
    return sum;
  }
};

int64_t BudgetPeriod::day() const {
  if (periodType == kMonthly) return key * 100 + 1;
  if (periodType == kYearly) return key * 10000 + 101;
  return key;
}

BudgetRepository::BudgetRepository(Ledger& ledger)
    : BaseRepository(ledger), rules_(ledger.env().dates(), ledger.commonData().app()) {}

std::string BudgetRepository::budgetUidFor(const BudgetTarget& target, int kind, int periodType) {
  return fmt::format("{}_{}_{}_{}_{}", target.targetUid, kind, target.totalTypeInt, target.transTypeInt,
                     periodType);
}

std::string BudgetRepository::totalBudgetWordUid(int kind, int transTypeInt, int periodType) {
  return fmt::format("{}_{}_{}_{}_{}", kind == kIncome ? kTotalIncomeWord : kTotalExpenseWord, kind, kTotal,
                     transTypeInt, periodType);
}

std::string BudgetRepository::budgetAmountUidFor(const std::string& budgetUid, int64_t key) {
  return fmt::format("{}_{}", budgetUid, key);
}

// --- Periods ---

BudgetPeriod BudgetRepository::budgetPeriodOfDay(int64_t day, int periodType) const {
  requirePeriodType(periodType);
  const int year = static_cast<int>(day / 10000), month = static_cast<int>(day / 100 % 100),
            dayOfMonth = static_cast<int>(day % 100);
  const DateUtil& dates = ledger_.env().dates();
  if (day < 0 || year < kFirstYear || year > kLastYear || month < 1 || month > 12 || dayOfMonth < 1 ||
      dayNumber(dates.toLocal(dates.fromLocal(year, month, dayOfMonth, 12))) != day) {
    throw InputError(fmt::format("not a day from {}0101 to {}1231: {}", kFirstYear, kLastYear, day));
  }
  const int startDay = ledger_.commonData().app().appStartDay;
  BudgetPeriod period;
  period.periodType = periodType;
  if (periodType == kWeekly) {
    period.start = rules_.weekStart(dates.fromLocal(year, month, dayOfMonth, 12));
    period.end = rules_.addDays(period.start, 6);
    period.key = dayNumber(dates.toLocal(period.start));
  } else if (periodType == kMonthly) {
    const auto [nextYear, nextMonth] = addMonths(year, month, 1);
    period.key = int64_t{year} * 100 + month;
    period.start = rules_.monthStart(year, month, startDay, true);
    period.end = rules_.addDays(rules_.monthStart(nextYear, nextMonth, startDay, true), -1);
  } else {
    period.key = year;
    period.start = rules_.monthStart(year, 1, startDay, true);
    period.end = rules_.addDays(rules_.monthStart(year + 1, 1, startDay, true), -1);
  }
  return period;
}

BudgetPeriod BudgetRepository::budgetPeriodOfDate(double date, int periodType) const {
  requirePeriodType(periodType);
  const DateUtil& dates = ledger_.env().dates();
  const LocalDateTime t = dates.toLocal(date);
  const double midnight = rules_.startOfDay(date);
  if (periodType == kWeekly) return budgetPeriodOfDay(dayNumber(t), periodType);
  // A month's period starts within two days of its start day (the weekend
  // rule), so the period holding a date is that of its month or of one of
  // the months beside it.
  for (int offset : {0, -1, 1}) {
    const auto [year, month] = periodType == kMonthly ? addMonths(t.year, t.month, offset)
                                                      : std::pair{t.year + offset, 1};
    if (year < kFirstYear || year > kLastYear) continue;
    BudgetPeriod period = budgetPeriodOfDay(int64_t{year} * 10000 + month * 100 + 1, periodType);
    if (period.start <= midnight && midnight <= period.end) return period;
  }
  throw InputError("no budget period holds the date " + dates.dayKey(date));
}

BudgetPeriod BudgetRepository::nextPeriod(const BudgetPeriod& period) const {
  if (period.periodType == kWeekly) {
    return budgetPeriodOfDay(dayNumber(ledger_.env().dates().toLocal(rules_.addDays(period.start, 7))),
                             kWeekly);
  }
  if (period.periodType == kMonthly) {
    const auto [year, month] = addMonths(static_cast<int>(period.key / 100), static_cast<int>(period.key % 100), 1);
    return budgetPeriodOfDay(int64_t{year} * 10000 + month * 100 + 1, kMonthly);
  }
  return budgetPeriodOfDay((period.key + 1) * 10000 + 101, kYearly);
}

std::optional<BudgetAmount> BudgetRepository::amountInForce(const std::vector<BudgetAmount>& records,
                                                           int64_t key) {
  const BudgetAmount* best = nullptr;
  for (const BudgetAmount& r : records) {
    if (!isLive(r)) continue;
    const int64_t period = numberOf(r.budgetPeriod);
    if (period > key) continue;
    if (!best || period > numberOf(best->budgetPeriod) ||
        (period == numberOf(best->budgetPeriod) && numberOf(r.utime) > numberOf(best->utime))) {
      best = &r;
    }
  }
  if (!best) return std::nullopt;
  return *best;
}

// --- Reads ---

std::vector<Budget> BudgetRepository::listBudget(const BudgetTarget& target, int kind, int periodType) {
  std::string clause = " WHERE " + live::recordSql() +
                       " AND ZDOTYPESTR = ? AND ZPERIODTYPEINT = ? AND ZTOTALTYPEINT = ?";
  if (target.isTotal()) return fetch<Budget>(clause + " ORDER BY Z_PK", kindText(kind), periodType, kTotal);
  return fetch<Budget>(clause + " AND ZTRANSTYPEINT = ? AND ZTARGETUID = ? ORDER BY Z_PK", kindText(kind),
                       periodType, target.totalTypeInt, target.transTypeInt, target.targetUid);
}

std::optional<Budget> BudgetRepository::budgetWithData(const BudgetTarget& target, int kind, int periodType) {
  return getFirst(listBudget(target, kind, periodType));
}

std::vector<BudgetAmount> BudgetRepository::listBudgetAmountWithBudgetUids(
    const std::vector<std::string>& budgetUids) {
  std::vector<BudgetAmount> out;
  // Bound variables are limited per statement; budgets are few, but a
  // listing must never fail for having many.
  constexpr size_t kChunk = 500;
  for (size_t at = 0; at < budgetUids.size(); at += kChunk) {
    const std::vector<std::string> chunk(budgetUids.begin() + static_cast<std::ptrdiff_t>(at),
                                         budgetUids.begin() + static_cast<std::ptrdiff_t>(std::min(at + kChunk, budgetUids.size())));
    SqlFilter filter;
    filter.where(live::recordSql()).whereIn("ZBUDGETUID", chunk);
    const std::string sql = record_io::selectSql<BudgetAmount>() + filter.clause() + " ORDER BY Z_PK";
    try {
      auto st = getContext().prepare(sql);
      filter.bind(st);
      while (st.executeStep()) out.push_back(record_io::readRecord<BudgetAmount>(st));
    } catch (const SQLite::Exception& e) {
      getContext().readFailed(sql, e);
    }
  }
  return out;
}

namespace {
std::vector<std::string> uidsOf(const std::vector<Budget>& budgets) {
  std::vector<std::string> out;
  for (const Budget& b : budgets) out.push_back(b.uid.value_or(""));
  return out;
}
}  // namespace

std::optional<BudgetAmount> BudgetRepository::budgetAmountPastLatelyWithData(const BudgetTarget& target, int kind,
                                                                            int64_t day, int periodType) {
  const BudgetPeriod period = budgetPeriodOfDay(day, periodType);
  StoreSnapshot snapshot(getContext());
  return amountInForce(listBudgetAmountWithBudgetUids(uidsOf(listBudget(target, kind, periodType))), period.key);
}

std::optional<BudgetAmount> BudgetRepository::budgetAmountWithData(const BudgetTarget& target, int kind,
                                                                  int64_t day, int periodType) {
  const BudgetPeriod period = budgetPeriodOfDay(day, periodType);
  StoreSnapshot snapshot(getContext());
  for (BudgetAmount& r : listBudgetAmountWithBudgetUids(uidsOf(listBudget(target, kind, periodType)))) {
    if (numberOf(r.budgetPeriod) == period.key) return std::move(r);
  }
  return std::nullopt;
}

std::optional<BudgetAmount> BudgetRepository::budgetAmountDefault(const BudgetTarget& target, int kind,
                                                                 int periodType) {
  requirePeriodType(periodType);
  StoreSnapshot snapshot(getContext());
  return amountInForce(listBudgetAmountWithBudgetUids(uidsOf(listBudget(target, kind, periodType))),
                       std::numeric_limits<int64_t>::max());
}

std::optional<BudgetAmount> BudgetRepository::budgetAmountTotalWithData(int kind, int64_t day, int periodType) {
  return budgetAmountPastLatelyWithData(BudgetTarget::total(), kind, day, periodType);
}

// --- Writes ---

double BudgetRepository::storedAmount(double amount) const {
  const auto& main = ledger_.commonData().mainCurrency();
  return roundMoney(amount, main ? static_cast<int>(main->point.value_or(2)) : 2);
}

Status BudgetRepository::validate(const BudgetTarget& target, int kind, int periodType,
                                  std::optional<double> amount) const {
  const CommonData& cache = ledger_.commonData();
  if (kind != kIncome && kind != kExpense) {
    return Status::invalidInput(fmt::format("a budget is of income (0) or expense (1): {}", kind));
  }
  if (!isPeriodType(periodType)) {
    return Status::invalidInput(
        fmt::format("a budget's period type must be 6 (month), 8 (week) or 4 (year): {}", periodType));
  }
  if (amount && (!isMoneyInRange(*amount) || !isMoneyInRange(storedAmount(*amount)))) {
    return Status::invalidInput(fmt::format("a budget amount must be below {:.0e} in size", kMoneyLimit));
  }
  if (amount && *amount < 0) return Status::invalidInput(fmt::format("a budget amount must not be negative: {}", *amount));
  if (target.isTotal()) {
    if (!target.targetUid.empty() || target.transTypeInt != kCategory) {
      return Status::invalidInput("the total budget has no target");
    }
    return Status::ok();
  }
  if (target.totalTypeInt != kOneTarget) {
    return Status::invalidInput(fmt::format("unknown budget total type: {}", target.totalTypeInt));
  }
  const std::string& uid = target.targetUid;
  switch (target.transTypeInt) {
    case kCategory: {
      const auto category = cache.categoryByUid(uid);
      if (!category || !isLive(*category)) return Status::invalidInput("no category '" + uid + "'");
      if (numberOf(category->doType) != kind) {
        return Status::invalidInput(fmt::format("'{}' is an {} category; the budget is of {}",
                                                cache.getCategoryFullNameByCategoryId(uid),
                                                kind == kIncome ? "expense" : "income",
                                                kind == kIncome ? "income" : "expense"));
      }
      return Status::ok();
    }
    case kAccountGroup: {
      const auto group = cache.assetGroupByUid(uid);
      if (!group || !live::isListedGroup(*group)) return Status::invalidInput("no account group '" + uid + "'");
      for (const Asset& a : cache.getAssetListByGroupId(uid, false)) {
        if (numberOf(a.transferExpense) != 0) return Status::ok();
      }
      return Status::invalidInput("account group '" + group->AssetGroupName.value_or(uid) +
                                  "' has no transfer-expense account to budget");
    }
    case kTransferAccount: {
      const auto account = cache.assetByUid(uid);
      if (!account || !live::isLiveAccount(*account)) return Status::invalidInput("no account '" + uid + "'");
      if (numberOf(account->transferExpense) == 0) {
        return Status::invalidInput("account '" + account->NicName.value_or(uid) +
                                    "' is not a transfer-expense account; only those have budgets");
      }
      return Status::ok();
    }
    default:
      return Status::invalidInput(fmt::format("unknown budget target type: {}", target.transTypeInt));
  }
}

Result<Budget> BudgetRepository::ensureBudget(const BudgetTarget& target, int kind, int periodType, bool* made) {
  const std::string uid = budgetUidFor(target, kind, periodType);
  std::optional<Budget> found = dataByUid<Budget>(uid);
  if ((!found || !isLive(*found)) && target.isTotal()) {
    // A live total budget under the older identifier is this budget; one
    // under the composed identifier that was deleted is not worth reviving
    // beside it.
    auto word = dataByUid<Budget>(totalBudgetWordUid(kind, target.transTypeInt, periodType));
    if (word && isLive(*word)) found = word;
  }
  *made = !found;
  const bool revived = found && !isLive(*found);
  Budget budget = found ? *found : newObjectForEntity<Budget>(uid);
  if (*made) budget.order = nextAvailble<Budget>("order");
  budget.targetUid = target.targetUid;
  budget.doTypeStr = kindText(kind);
  budget.periodTypeInt = periodType;
  budget.transTypeInt = target.transTypeInt;
  budget.totalTypeInt = target.totalTypeInt;
  budget.isDel = 0;
  VARNEL_RETURN_IF_ERROR(saveStamped(budget, "updateBudget"));
  if (revived) {
    // Amounts set before the budget was deleted would otherwise come back
    // and overrule the new amount in the periods they were set for.
    for (BudgetAmount& old : listBudgetAmountWithBudgetUids({*budget.uid})) {
      VARNEL_RETURN_IF_ERROR(deleteRecord(old, "updateBudgetAmount"));
    }
  }
  return budget;
}

Status BudgetRepository::updateBudget(const BudgetTarget& target, int kind, int64_t day, int periodType,
                                      double amount) {
  VARNEL_RETURN_IF_ERROR(validate(target, kind, periodType, amount));
  BudgetPeriod period;
  try {
    period = budgetPeriodOfDay(day, periodType);
  } catch (const InputError& e) {
    return Status::invalidInput(e.what());
  }
  const double value = storedAmount(amount);
  return inTransaction(
      [&]() -> Status {
        bool made = false;
        Result<Budget> budget = ensureBudget(target, kind, periodType, &made);
        VARNEL_RETURN_IF_ERROR(budget.status());
        const std::string& budgetUid = *budget->uid;

        std::optional<BudgetAmount> record;
        for (BudgetAmount& r : listBudgetAmountWithBudgetUids(uidsOf(listBudget(target, kind, periodType)))) {
          if (numberOf(r.budgetPeriod) == period.key) {
            record = std::move(r);
            break;
          }
        }
        const std::string amountUid = budgetAmountUidFor(budgetUid, period.key);
        if (!record) record = dataByUid<BudgetAmount>(amountUid);
        if (!record) record = newObjectForEntity<BudgetAmount>(amountUid);
        record->amount = value;
        record->budgetPeriod = period.key;
        record->budgetUid = budgetUid;
        record->isDel = 0;
        VARNEL_RETURN_IF_ERROR(saveStamped(*record, "updateBudgetAmount"));

        if (made) {
          for (BudgetAmount& other : listBudgetAmountWithBudgetUids({budgetUid})) {
            if (other.pk == record->pk || other.amount == value) continue;
            other.amount = value;
            VARNEL_RETURN_IF_ERROR(saveStamped(other, "updateBudgetAmount"));
          }
        }
        return Status::ok();
      },
      "updateBudget");
}

Status BudgetRepository::updateBudgetDefault(const BudgetTarget& target, int kind, int periodType, double amount,
                                             const std::optional<BudgetAmount>& inForce) {
  VARNEL_RETURN_IF_ERROR(validate(target, kind, periodType, amount));
  // From the period after the one holding today, cut by the same rules as
  // every listing (a month that starts on the 25th has its next period
  // start on the 25th, not on the 1st).
  const BudgetPeriod next = nextPeriod(budgetPeriodOfDate(ledger_.env().nowStoreSeconds(), periodType));
  const double value = storedAmount(amount);
  return inTransaction(
      [&]() -> Status {
        bool made = false;
        Result<Budget> budget = ensureBudget(target, kind, periodType, &made);
        VARNEL_RETURN_IF_ERROR(budget.status());
        bool nextHasRecord = false;
        for (BudgetAmount& r : listBudgetAmountWithBudgetUids(uidsOf(listBudget(target, kind, periodType)))) {
          const int64_t key = numberOf(r.budgetPeriod);
          if (key < next.key) continue;
          if (key == next.key) nextHasRecord = true;
          if (inForce && r.amount == inForce->amount && r.amount != value) {
            r.amount = value;
            VARNEL_RETURN_IF_ERROR(saveStamped(r, "updateBudgetAmount"));
          }
        }
        if (nextHasRecord) return Status::ok();
        const std::string amountUid = budgetAmountUidFor(*budget->uid, next.key);
        std::optional<BudgetAmount> record = dataByUid<BudgetAmount>(amountUid);
        if (!record) record = newObjectForEntity<BudgetAmount>(amountUid);
        record->amount = value;
        record->budgetPeriod = next.key;
        record->budgetUid = *budget->uid;
        record->isDel = 0;
        return saveStamped(*record, "updateBudgetAmount");
      },
      "updateBudgetDefault");
}

Status BudgetRepository::deleteBudget(Budget& budget) {
  Budget before = budget;
  Status done = inTransaction(
      [&]() -> Status {
        VARNEL_RETURN_IF_ERROR(deleteRecord(budget, "updateBudget"));
        for (BudgetAmount& r : listBudgetAmountWithBudgetUids({budget.uid.value_or("")})) {
          VARNEL_RETURN_IF_ERROR(deleteRecord(r, "updateBudgetAmount"));
        }
        return Status::ok();
      },
      "deleteBudget");
  if (!done) budget = before;
  return done;
}

Status BudgetRepository::deleteAll() {
  return inTransaction(
      [&]() -> Status {
        for (Budget& b : fetch<Budget>(" WHERE " + live::recordSql())) {
          VARNEL_RETURN_IF_ERROR(deleteRecord(b, "updateBudget"));
        }
        for (BudgetAmount& r : fetch<BudgetAmount>(" WHERE " + live::recordSql())) {
          VARNEL_RETURN_IF_ERROR(deleteRecord(r, "updateBudgetAmount"));
        }
        return Status::ok();
      },
      "deleteAll");
}

// --- Listings ---

BudgetRepository::Sums BudgetRepository::sumsOf(int kind, const BudgetPeriod& period) {
  const CommonData& cache = ledger_.commonData();
  // Transfers count as the usage view counts them: money moved into
  // transfer-expense accounts for an expense budget, out of them for an
  // income one.
  PeriodUse use = PeriodTotals(ledger_).sumUseByCategoryAndTransfer(kind, period.start, period.end, 2);
  Sums sums;
  // Sub-categories are folded into their parents per category, not per row.
  for (const auto& [uid, sum] : use.byCategory) {
    sums.kindTotal += sum;
    sums.byCategory[uid] += sum;
    auto category = cache.categoryByUid(uid);
    if (!category) continue;
    if (numberOf(category->Status) == category_code::kSubStatus) {
      category = cache.categoryByUid(category->pUid.value_or(""));
      if (!category || numberOf(category->Status) == category_code::kSubStatus) continue;
    }
    sums.byMain[*category->uid] += sum;
  }
  const int wanted = kind == kExpense ? tx_class::kExpense : tx_class::kIncome;
  for (TransferPairSum& p : use.transfers) {
    if (p.txClass != wanted) continue;
    sums.transferTotal += p.sum;
    sums.transfers.push_back(std::move(p));
  }
  return sums;
}

// The live budgets of one kind and period type with their live amount
// records, read once and looked up by target.
struct BudgetRepository::Index {
  std::map<std::string, std::vector<Budget>> budgets;                     // by target
  std::unordered_map<std::string, std::vector<BudgetAmount>> amounts;     // by target
  int64_t key = 0;  // the period listed
  int point = 2;    // the main currency's decimals

  bool has(const BudgetTarget& target) const { return budgets.count(targetKey(target)) > 0; }

  // The item of one target with its amount in force and `used`.
  BudgetModel item(const BudgetTarget& target, std::string name, double used) const {
    BudgetModel item;
    item.name = std::move(name);
    item.key = target.targetUid;
    item.transTypeInt = target.transTypeInt;
    item.totalTypeInt = target.totalTypeInt;
    item.transfer = target.transTypeInt != kCategory;
    item.cateMoney = roundMoney(used, point);
    const std::string k = targetKey(target);
    auto found = budgets.find(k);
    if (found == budgets.end()) return item;
    item.budgetUid = found->second.front().uid.value_or("");
    item.order = numberOf(found->second.front().order);
    auto records = amounts.find(k);
    if (records == amounts.end()) return item;
    if (auto inForce = amountInForce(records->second, key)) {
      item.budgetAmountUid = inForce->uid.value_or("");
      item.budgetMoney = inForce->amount.value_or(0);
      // The record's own budget, should the target have duplicates.
      item.budgetUid = inForce->budgetUid.value_or(item.budgetUid);
      item.status = item.cateMoney > item.budgetMoney ? BudgetModel::kOver : BudgetModel::kWithin;
    }
    return item;
  }
};

BudgetRepository::Index BudgetRepository::indexOf(int kind, const BudgetPeriod& period) {
  Index index;
  index.key = period.key;
  const auto& main = ledger_.commonData().mainCurrency();
  index.point = main ? static_cast<int>(main->point.value_or(2)) : 2;
  std::vector<Budget> budgets =
      fetch<Budget>(" WHERE " + live::recordSql() + " AND ZDOTYPESTR = ? AND ZPERIODTYPEINT = ? ORDER BY Z_PK",
                    kindText(kind), period.periodType);
  std::unordered_map<std::string, std::string> targetOfBudget;
  for (const Budget& b : budgets) targetOfBudget[b.uid.value_or("")] = targetKey(b);
  for (BudgetAmount& r : listBudgetAmountWithBudgetUids(uidsOf(budgets))) {
    index.amounts[targetOfBudget[r.budgetUid.value_or("")]].push_back(std::move(r));
  }
  for (Budget& b : budgets) index.budgets[targetKey(b)].push_back(std::move(b));
  return index;
}

std::vector<BudgetModel> BudgetRepository::listBudgetWithData(int kind, int64_t day, int periodType) {
  const BudgetPeriod period = budgetPeriodOfDay(day, periodType);
  const CommonData& cache = ledger_.commonData();
  StoreSnapshot snapshot(getContext());
  const Index index = indexOf(kind, period);
  const Sums sums = sumsOf(kind, period);

  std::vector<BudgetModel> out;
  if (BudgetModel total = index.item(BudgetTarget::total(), "", sums.kindTotal + sums.transferTotal);
      total.hasBudget()) {
    out.push_back(std::move(total));
  }

  for (const Category& c : cache.categoryList()) {
    if (!c.uid || !isLive(c) || numberOf(c.Status) == category_code::kSubStatus || numberOf(c.doType) != kind) {
      continue;
    }
    BudgetModel item = index.item(BudgetTarget::category(*c.uid), c.Name.value_or(""), sums.mainCategory(*c.uid));
    for (const Category& sub : cache.getSubCategoryByParentId(*c.uid, false)) {
      ++item.countSubCate;
      BudgetModel subItem = index.item(BudgetTarget::category(sub.uid.value_or("")), c.Name.value_or(""),
                                       sums.category(sub.uid.value_or("")));
      if (!subItem.hasBudget()) continue;
      subItem.subCateName = sub.Name.value_or("");
      item.subCateBudgetMoneyTotal += subItem.budgetMoney;
      item.subBudgetAmountList.push_back(std::move(subItem));
    }
    item.subCateBudgetMoneyTotal = roundMoney(item.subCateBudgetMoneyTotal, index.point);
    if (item.hasBudget() || !item.subBudgetAmountList.empty()) out.push_back(std::move(item));
  }

  for (const AssetGroup& g : cache.assetGroupList()) {
    if (!g.uid || g.uid->empty() || !live::isListedGroup(g)) continue;
    if (!index.has(BudgetTarget::accountGroup(*g.uid))) continue;
    std::set<std::string> flagged;
    for (const Asset& a : cache.getAssetListByGroupId(*g.uid, true)) {
      if (a.uid && numberOf(a.transferExpense) != 0) flagged.insert(*a.uid);
    }
    BudgetModel item = index.item(BudgetTarget::accountGroup(*g.uid), g.AssetGroupName.value_or(""),
                                  sums.transfersTouching(flagged));
    if (item.hasBudget()) out.push_back(std::move(item));
  }

  for (const Asset& a : cache.assetList()) {
    if (!a.uid || !live::isLiveAccount(a)) continue;
    if (!index.has(BudgetTarget::transferAccount(*a.uid))) continue;
    const double used = numberOf(a.transferExpense) != 0 ? sums.transfersTouching({*a.uid}) : 0;
    BudgetModel item = index.item(BudgetTarget::transferAccount(*a.uid), a.NicName.value_or(""), used);
    if (item.hasBudget()) out.push_back(std::move(item));
  }
  return out;
}

std::vector<BudgetModel> BudgetRepository::listCategoryBudgetWithData(int64_t day, int periodType,
                                                                      const std::string& parentUid) {
  const CommonData& cache = ledger_.commonData();
  const auto parent = cache.categoryByUid(parentUid);
  if (!parent || !isLive(*parent) || numberOf(parent->Status) == category_code::kSubStatus) {
    throw InputError("no main category '" + parentUid + "'");
  }
  const int kind = static_cast<int>(numberOf(parent->doType));
  const BudgetPeriod period = budgetPeriodOfDay(day, periodType);
  StoreSnapshot snapshot(getContext());
  const Index index = indexOf(kind, period);
  const Sums sums = sumsOf(kind, period);

  const std::string name = parent->Name.value_or("");
  std::vector<BudgetModel> out{index.item(BudgetTarget::category(parentUid), name, sums.mainCategory(parentUid))};
  for (const Category& sub : cache.getSubCategoryByParentId(parentUid, false)) {
    BudgetModel item = index.item(BudgetTarget::category(sub.uid.value_or("")), name,
                                  sums.category(sub.uid.value_or("")));
    item.subCateName = sub.Name.value_or("");
    ++out.front().countSubCate;
    if (item.hasBudget()) out.front().subCateBudgetMoneyTotal += item.budgetMoney;
    out.push_back(std::move(item));
  }
  out.front().subCateBudgetMoneyTotal = roundMoney(out.front().subCateBudgetMoneyTotal, index.point);
  return out;
}

}  // namespace varnel
