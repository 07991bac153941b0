// `varnel budget …`: budgets of a month, week or year for the whole ledger,
// a category, an account group's transfer-expense accounts or one such
// account: setting the amount of a period, changing it from the next period
// on, and listing each budget's amount in force, use and remainder.
#include <cmath>

#include <fmt/format.h>

#include "app/cli.h"
#include "ledger/money.h"
#include "model/errors.h"
#include "model/record_json.h"
#include "reports/budget_repository.h"

namespace varnel::cli {

namespace {

int parseBudgetKind(const std::string& text) {
  if (text == "income") return budget_code::kIncome;
  if (text == "expense") return budget_code::kExpense;
  throw InputError("--kind must be income or expense: '" + text + "'");
}

int parseBudgetPeriod(const std::string& text) {
  if (text == "month") return budget_code::kMonthly;
  if (text == "week") return budget_code::kWeekly;
  if (text == "year") return budget_code::kYearly;
  throw InputError("--period must be month, week or year: '" + text + "'");
}

const char* periodWord(int periodType) {
  if (periodType == budget_code::kWeekly) return "week";
  if (periodType == budget_code::kYearly) return "year";
  return "month";
}

// The options `budget set` and `budget default` share.
struct BudgetOptions {
  std::string kind, period, category, group, account, amount, date;
  bool total = false;
  CLI::Option* categoryOpt = nullptr;
  CLI::Option* groupOpt = nullptr;
  CLI::Option* accountOpt = nullptr;
  CLI::Option* totalOpt = nullptr;
  CLI::Option* dateOpt = nullptr;

  void addTo(CLI::App* cmd, bool withDate) {
    cmd->add_option("--kind", kind, "income or expense")->required();
    cmd->add_option("--period", period, "month, week or year")->required();
    categoryOpt = cmd->add_option("--category", category, "A category (a main category counts its sub-categories)");
    groupOpt = cmd->add_option("--group", group, "An account group: transfers into its transfer-expense accounts");
    accountOpt = cmd->add_option("--account", account, "One transfer-expense account");
    totalOpt = cmd->add_flag("--total", total, "The whole ledger's income or expense");
    cmd->add_option("--amount", amount, "Amount in the main currency")->required();
    if (withDate) dateOpt = cmd->add_option("--date", date, "A day of the period, YYYY-MM-DD (default today)");
  }

  // The target named by exactly one of the target options.
  BudgetTarget target(const CommonData& cache) const {
    const int given = static_cast<int>(categoryOpt->count() > 0) + static_cast<int>(groupOpt->count() > 0) +
                      static_cast<int>(accountOpt->count() > 0) + static_cast<int>(totalOpt->count() > 0);
    if (given != 1) throw InputError("give exactly one of --category, --group, --account, --total");
    if (total) return BudgetTarget::total();
    if (categoryOpt->count() > 0) return BudgetTarget::category(*resolveCategory(cache, category).uid);
    if (groupOpt->count() > 0) return BudgetTarget::accountGroup(*resolveAssetGroup(cache, group).uid);
    return BudgetTarget::transferAccount(*resolveAccount(cache, account).uid);
  }
};

// How a person names the target of a budget.
std::string targetName(const CommonData& cache, const BudgetTarget& target) {
  if (target.isTotal()) return "Total";
  if (target.transTypeInt == budget_code::kAccountGroup) {
    auto g = cache.assetGroupByUid(target.targetUid);
    return (g ? g->AssetGroupName.value_or("") : target.targetUid) + " [transfers]";
  }
  if (target.transTypeInt == budget_code::kTransferAccount) {
    auto a = cache.assetByUid(target.targetUid);
    return (a ? a->NicName.value_or("") : target.targetUid) + " [transfer account]";
  }
  return cache.getCategoryFullNameByCategoryId(target.targetUid);
}

nlohmann::json modelJson(const BudgetModel& m) {
  nlohmann::json subs = nlohmann::json::array();
  for (const auto& s : m.subBudgetAmountList) subs.push_back(modelJson(s));
  return {{"name", m.name},
          {"key", m.key},
          {"budgetUid", m.budgetUid},
          {"budgetAmountUid", m.budgetAmountUid},
          {"budgetMoney", m.budgetMoney},
          {"cateMoney", m.cateMoney},
          {"subCateBudgetMoneyTotal", m.subCateBudgetMoneyTotal},
          {"countSubCate", m.countSubCate},
          {"status", m.status},
          {"order", m.order},
          {"transfer", m.transfer},
          {"subBudgetAmountList", subs},
          {"subCateName", m.subCateName},
          {"transTypeInt", m.transTypeInt},
          {"totalTypeInt", m.totalTypeInt}};
}

// Sets an amount and prints the record saved for `period`.
void finishSet(Ledger& ledger, bool json, const BudgetTarget& target, int kind, const BudgetPeriod& period,
               bool onward) {
  BudgetRepository budgets(ledger);
  const auto saved = budgets.budgetAmountWithData(target, kind, period.day(), period.periodType);
  if (!saved) throw StoreError("the budget amount was saved but cannot be read back");
  if (json) {
    printJson(recordJson(*saved, ledger.env().dates()));
    return;
  }
  const double amount = saved->amount.value_or(0);
  const auto& main = ledger.commonData().mainCurrency();
  const std::string money = main ? showMoneyByCurrecy(amount, *main, kMoneyNormal, ledger.env().locale())
                                 : fmt::format("{:.2f}", amount);
  printLine(fmt::format("{} {}: {} a {} from {} ({}){}", targetName(ledger.commonData(), target),
                        kind == budget_code::kIncome ? "income" : "expense", money, periodWord(period.periodType),
                        period.key, ledger.env().dates().dayKey(period.start), onward ? " on" : ""));
}

}  // namespace

void addBudgetCommands(CLI::App& app, Context& ctx) {
  auto* budget = app.add_subcommand("budget", "Budgets of a month, week or year and their use");
  budget->require_subcommand(1);

  // --- set ---
  auto* set = budget->add_subcommand(
      "set", "Set a budget's amount for the period holding --date and the later periods up to the next amount set");
  static BudgetOptions setOptions;
  setOptions.addTo(set, true);
  set->callback([&ctx] {
    const BudgetOptions& o = setOptions;
    const int kind = parseBudgetKind(o.kind);
    const int periodType = parseBudgetPeriod(o.period);
    const double amount = parseAmount(o.amount, "--amount");
    auto ledger = ctx.openLedger();
    const BudgetTarget target = o.target(ledger->commonData());
    const double date = o.dateOpt->count() > 0 ? ledger->env().parseDay(o.date, "--date")
                                               : ledger->env().nowStoreSeconds();
    BudgetRepository budgets(*ledger);
    const BudgetPeriod period = budgets.budgetPeriodOfDate(date, periodType);
    check(budgets.updateBudget(target, kind, period.day(), periodType, amount));
    finishSet(*ledger, ctx.json, target, kind, period, false);
  });

  // --- default ---
  auto* def = budget->add_subcommand(
      "default", "Change a budget's amount from the next period on (later amounts equal to today's change too)");
  static BudgetOptions defaultOptions;
  defaultOptions.addTo(def, false);
  def->callback([&ctx] {
    const BudgetOptions& o = defaultOptions;
    const int kind = parseBudgetKind(o.kind);
    const int periodType = parseBudgetPeriod(o.period);
    const double amount = parseAmount(o.amount, "--amount");
    auto ledger = ctx.openLedger();
    const BudgetTarget target = o.target(ledger->commonData());
    BudgetRepository budgets(*ledger);
    const BudgetPeriod today = budgets.budgetPeriodOfDate(ledger->env().nowStoreSeconds(), periodType);
    const auto inForce = budgets.budgetAmountPastLatelyWithData(target, kind, today.day(), periodType);
    check(budgets.updateBudgetDefault(target, kind, periodType, amount, inForce));
    const BudgetPeriod next = budgets.nextPeriod(today);
    finishSet(*ledger, ctx.json, target, kind, next, true);
  });

  // --- list ---
  auto* list = budget->add_subcommand("list", "Each budget of a period with its amount in force, used and remaining");
  static std::string listKind, listPeriod, listDate;
  list->add_option("--kind", listKind, "income or expense")->required();
  list->add_option("--period", listPeriod, "month, week or year")->required();
  auto* listDateOpt = list->add_option("--date", listDate, "A day of the period, YYYY-MM-DD (default today)");
  list->callback([&ctx, listDateOpt] {
    const int kind = parseBudgetKind(listKind);
    const int periodType = parseBudgetPeriod(listPeriod);
    auto ledger = ctx.openLedger();
    const double date = listDateOpt->count() > 0 ? ledger->env().parseDay(listDate, "--date")
                                                 : ledger->env().nowStoreSeconds();
    BudgetRepository budgets(*ledger);
    const BudgetPeriod period = budgets.budgetPeriodOfDate(date, periodType);
    const std::vector<BudgetModel> items = budgets.listBudgetWithData(kind, period.day(), periodType);
    if (ctx.json) {
      nlohmann::json out = nlohmann::json::array();
      for (const auto& m : items) out.push_back(modelJson(m));
      printJson(out);
      return;
    }
    const auto& main = ledger->commonData().mainCurrency();
    auto money = [&](double v) {
      return main ? showMoneyByCurrecy(v, *main, kMoneyNormal, ledger->env().locale()) : fmt::format("{:.2f}", v);
    };
    const DateUtil& dates = ledger->env().dates();
    printLine(fmt::format("{} budgets, {} {} to {}", kind == budget_code::kIncome ? "Income" : "Expense",
                          periodWord(periodType), dates.dayKey(period.start), dates.dayKey(period.end)));
    if (items.empty()) {
      printLine("  (none)");
      return;
    }
    printLine(fmt::format("  {:<30} {:>16} {:>16} {:>16} {:>5}", "", "budget", "used", "remaining", "used"));
    auto line = [&](const BudgetModel& m, const std::string& name) {
      const std::string shown = name.empty() ? "(no name)" : name;
      if (!m.hasBudget()) {
        printLine(fmt::format("  {:<30} {:>16} {:>16} {:>16} {:>5}", shown, "-", money(m.cateMoney), "-", "-"));
        return;
      }
      const std::string share =
          m.budgetMoney > 0 ? fmt::format("{}%", std::llround(m.cateMoney / m.budgetMoney * 100)) : "-";
      printLine(fmt::format("  {:<30} {:>16} {:>16} {:>16} {:>5}", shown, money(m.budgetMoney), money(m.cateMoney),
                            money(m.remaining()), share));
    };
    for (const BudgetModel& m : items) {
      if (m.totalTypeInt == budget_code::kTotal) {
        line(m, "Total");
      } else if (m.transTypeInt == budget_code::kAccountGroup) {
        line(m, m.name + " [transfers]");
      } else if (m.transTypeInt == budget_code::kTransferAccount) {
        line(m, m.name + " [transfer account]");
      } else {
        line(m, m.name);
      }
      for (const BudgetModel& s : m.subBudgetAmountList) line(s, "  " + s.subCateName);
    }
  });
}

}  // namespace varnel::cli
