// `varnel balance`, `period`, `totals`, `trend`, `carryover`: the numbers a
// household looks at every day.
#include <limits>

#include <fmt/format.h>

#include "app/cli.h"
#include "model/record_json.h"
#include "app/transaction_lines.h"
#include "ledger/money.h"
#include "model/errors.h"
#include "model/tx_kind.h"
#include "reports/account_overview.h"
#include "reports/common_filter.h"
#include "reports/period_totals.h"
#include "reports/widget.h"

namespace varnel::cli {

namespace {

nlohmann::json dayJson(const Ledger& ledger, std::optional<double> day) {
  if (!day) return nullptr;
  return ledger.env().dates().dayKey(*day);
}

std::string money(Ledger& ledger, double amount, const std::optional<Currency>& currency) {
  const auto& row = currency ? currency : ledger.commonData().mainCurrency();
  if (!row) return fmt::format("{:.2f}", amount);
  return showMoneyByCurrecy(amount, *row, 0, ledger.env().locale());
}

void addBalance(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand("balance", "The account overview: balances and card bills");
  static std::string account;
  cmd->add_option("--account", account, "One account (uid or name)");
  cmd->callback([&ctx] {
    auto ledger = ctx.openLedger();
    std::optional<std::string> only;
    if (!account.empty()) only = *resolveAccount(ledger->commonData(), account).uid;
    const AccountOverview overview = sumAssetAll(*ledger, only);
    // Group by group order, then account order.
    std::vector<const AccountOverviewEntry*> entries;
    for (const auto& [uid, e] : overview) entries.push_back(&e);
    std::sort(entries.begin(), entries.end(), [](auto* a, auto* b) {
      return std::tie(a->groupOrder, a->order, a->Key) < std::tie(b->groupOrder, b->order, b->Key);
    });
    if (ctx.json) {
      nlohmann::json out = nlohmann::json::object();
      for (const auto* e : entries) {
        out[e->Key] = {{"assetName", e->assetName},
                       {"Money", e->Money},
                       {"displayPastPayAmount", e->displayPastPayAmount},
                       {"LastMonthMoney", e->LastMonthMoney},
                       {"ThisMonthMoney", e->ThisMonthMoney},
                       {"datePastEnd", dayJson(*ledger, e->datePastEnd)},
                       {"dateWillEnd", dayJson(*ledger, e->dateWillEnd)},
                       {"Key", e->Key},
                       {"order", e->order},
                       {"groupOrder", e->groupOrder},
                       {"groupUid", e->assetGroup.uid.value_or("")},
                       {"currencyUid", e->currency ? e->currency->uid.value_or("") : ""}};
      }
      printJson(out);
      return;
    }
    const auto& main = ledger->commonData().mainCurrency();
    std::string group;
    double groupTotal = 0;
    auto closeGroup = [&] {
      if (!group.empty()) std::cout << fmt::format("  {:<28} {:>18}\n", "", "= " + money(*ledger, groupTotal, main));
    };
    for (const auto* e : entries) {
      const std::string name = e->assetGroup.AssetGroupName.value_or(e->assetGroup.uid.value_or(""));
      if (name != group) {
        closeGroup();
        group = name;
        groupTotal = 0;
        printLine(name);
      }
      const bool card = e->assetGroup.Status.value_or(0) == 2;
      // Group totals are in the main currency.
      const double rate = e->currency && e->currency->isMainCurrency.value_or(0) != 1
                              ? e->currency->rate.value_or(1)
                              : 1;
      const double shown = card ? e->displayPastPayAmount + e->LastMonthMoney + e->ThisMonthMoney : e->Money;
      groupTotal += shown * rate;
      std::string line = fmt::format("  {:<28} {:>18}", e->assetName, money(*ledger, shown, e->currency));
      if (card) {
        line += fmt::format("  (overdue {}, last bill {} to {}, this period {})",
                            money(*ledger, e->displayPastPayAmount, e->currency),
                            money(*ledger, e->LastMonthMoney, e->currency),
                            e->dateWillEnd ? ledger->env().dates().dayKey(*e->dateWillEnd) : "-",
                            money(*ledger, e->ThisMonthMoney, e->currency));
      }
      printLine(line);
    }
    closeGroup();
  });
}

void addPeriod(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand("period", "The period holding a date");
  static std::string date, typeText, startDayText;
  cmd->add_option("--date", date, "A day YYYY-MM-DD (default today)");
  cmd->add_option("--type", typeText, "4 all time, 6 month from the start day, 8 week, 0 calendar month");
  cmd->add_option("--start-day", startDayText, "First day of the month (default the setting)");
  cmd->callback([&ctx] {
    int type = -1, startDay = 0;
    if (!typeText.empty()) type = parsePeriodTypeText(typeText, "--type");
    if (!startDayText.empty()) startDay = static_cast<int>(parseInteger(startDayText, "--start-day", 1, 31));
    auto ledger = ctx.openLedger();
    const AppValues& app = ledger->commonData().app();
    const double day = date.empty() ? ledger->env().nowStoreSeconds() : ledger->env().parseDay(date, "--date");
    const int kind = type < 0 ? app.appPeriodType : type;
    const int d = startDay == 0 ? app.appStartDay : startDay;
    PeriodTotals totals(*ledger);
    const auto bounds = totals.rules().getStartEndDate(day, kind, d, true);
    if (ctx.json) {
      printJson({{"type", kind},
                 {"startDay", d},
                 {"start", dayJson(*ledger, bounds ? std::optional(bounds->first) : std::nullopt)},
                 {"end", dayJson(*ledger, bounds ? std::optional(bounds->second) : std::nullopt)}});
    } else if (!bounds) {
      std::cout << "all time\n";
    } else {
      std::cout << ledger->env().dates().dayKey(bounds->first) << " ~ "
                << ledger->env().dates().dayKey(bounds->second) << '\n';
    }
  });
}

void addTotals(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand("totals", "Income, expense and their difference over a period");
  static std::string from, to;
  static std::vector<std::string> accounts, categories, filters;
  static bool withTx = false;
  cmd->add_option("--from", from, "First day YYYY-MM-DD")->required();
  cmd->add_option("--to", to, "Last day YYYY-MM-DD (included)")->required();
  cmd->add_option("--account", accounts, "Only these accounts (uid or name)");
  cmd->add_option("--category", categories,
                  "Only these categories (uid, full name or name; a main category with its sub-categories; "
                  "-2 uncategorised)");
  cmd->add_option("--filter", filters,
                  "Transfer marker and account (uid or name): #OUTCOMETRANS<account>, #INCOMETRANS<account>, "
                  "#OUTCOMECARD<account>, #INCOMECARD<account>");
  cmd->add_flag("--with-tx", withTx, "Also list the rows each side counts");
  cmd->callback([&ctx] {
    auto ledger = ctx.openLedger();
    const double start = ledger->env().parseDay(from, "--from");
    const double end = ledger->env().parseDay(to, "--to");
    if (end < start) throw InputError("--to is before --from");
    std::vector<std::string> accountUids, categoryUids;
    for (const auto& a : accounts) accountUids.push_back(*resolveAccount(ledger->commonData(), a).uid);
    for (const auto& c : categories) {
      for (auto& uid : categoryFilterUids(ledger->commonData(), c)) categoryUids.push_back(std::move(uid));
    }
    std::vector<std::string> items;
    for (const auto& f : filters) items.push_back(resolveTransferItem(ledger->commonData(), f));
    PeriodTotals totals(*ledger);
    const auto& main = ledger->commonData().mainCurrency();
    auto printTotals = [&](const IncomeExpense& r) {
      std::cout << fmt::format("Income   {:>20}\nExpense  {:>20}\nBalance  {:>20}\n", money(*ledger, r.income, main),
                               money(*ledger, r.expense, main), money(*ledger, r.balance(), main));
    };
    if (!withTx) {
      const IncomeExpense r = totals.getInOutSumMoneyByDate(start, end, accountUids, categoryUids, items);
      if (ctx.json) {
        printJson(nlohmann::json::array({r.income, r.expense, r.balance()}));
      } else {
        printTotals(r);
      }
      return;
    }
    const InOutWithTx r = totals.inOutSumWithTx(start, end, accountUids, categoryUids, items);
    if (ctx.json) {
      auto rows = [&](const std::vector<InOutCome>& list) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& tx : list) out.push_back(recordJson(tx, ledger->env().dates()));
        return out;
      };
      printJson({{"income", r.totals.income},
                 {"expense", r.totals.expense},
                 {"balance", r.totals.balance()},
                 {"incomeRows", rows(r.incomeRows)},
                 {"expenseRows", rows(r.expenseRows)}});
      return;
    }
    printTotals(r.totals);
    TransactionPrinter printer(*ledger);
    for (const auto& [title, list] : {std::pair{"Income rows", &r.incomeRows}, {"Expense rows", &r.expenseRows}}) {
      std::cout << title << '\n';
      if (list->empty()) std::cout << "  (none)\n";
      for (const auto& tx : *list) printLine("  " + printer.line(tx));
    }
  });
}

void addChart(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand("chart", "One account's balance at the end of each of the last months");
  static std::string account, monthsText;
  cmd->add_option("--account", account, "The account (uid or name)")->required();
  cmd->add_option("--months", monthsText, "How many months, ending with the current one (default 6)");
  cmd->callback([&ctx] {
    const int months =
        monthsText.empty() ? 6 : static_cast<int>(parseInteger(monthsText, "--months", 1, kMaxChartMonths));
    auto ledger = ctx.openLedger();
    const Asset asset = resolveAccount(ledger->commonData(), account);
    const auto chart = PeriodTotals(*ledger).getInOutForChartByAsset(*asset.uid, months);
    auto currency = ledger->commonData().currencyByUid(asset.currencyUid.value_or(""));
    if (!currency) currency = ledger->commonData().mainCurrency();
    if (ctx.json) {
      nlohmann::json out = nlohmann::json::array();
      for (const auto& m : chart) {
        out.push_back({{"start", dayJson(*ledger, m.start)}, {"end", dayJson(*ledger, m.end)}, {"balance", m.balance}});
      }
      printJson(out);
      return;
    }
    for (const auto& m : chart) {
      std::cout << fmt::format("{} ~ {}  {:>20}\n", ledger->env().dates().dayKey(m.start),
                               ledger->env().dates().dayKey(m.end), money(*ledger, m.balance, currency));
    }
  });
}

void addTrend(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand("trend", "The total balance at the end of each of the last periods");
  static int type = 6, periods = 6;
  cmd->add_option("--type", type, "6 month from the start day, 8 week, 0 calendar month")
      ->check(CLI::IsMember({0, 6, 8}));
  cmd->add_option("--periods", periods, "How many periods, ending with the current one")
      ->check(CLI::Range(1, 600));
  cmd->callback([&ctx] {
    auto ledger = ctx.openLedger();
    PeriodTotals totals(*ledger);
    const PeriodRules& rules = totals.rules();
    const int d = ledger->commonData().app().appStartDay;
    // Walk back from the current period, one period at a time.
    std::vector<SumPeriod> list;
    double day = ledger->env().nowStoreSeconds();
    for (int i = 0; i < periods; ++i) {
      const auto b = rules.getStartEndDate(day, type, d, true);
      list.insert(list.begin(), SumPeriod{b->first, b->second});
      day = rules.addDays(b->first, -1);
    }
    const std::vector<SumPeriod> shown = list;
    const std::vector<double> balances = totals.sumTrend(type, list);
    const auto& main = ledger->commonData().mainCurrency();
    nlohmann::json out = nlohmann::json::array();
    for (size_t i = 0; i < shown.size(); ++i) {
      if (ctx.json) {
        out.push_back({{"start", dayJson(*ledger, shown[i].sDate)},
                       {"end", dayJson(*ledger, shown[i].eDate)},
                       {"balance", balances[i]}});
      } else {
        std::cout << fmt::format("{} ~ {}  {:>20}\n", ledger->env().dates().dayKey(*shown[i].sDate),
                                 ledger->env().dates().dayKey(*shown[i].eDate),
                                 money(*ledger, balances[i], main));
      }
    }
    if (ctx.json) printJson(out);
  });
}

void addCarryover(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand("carryover", "The balance brought into the period of a date and its neighbours");
  static std::string date;
  cmd->add_option("--date", date, "A day YYYY-MM-DD (default today)");
  cmd->callback([&ctx] {
    auto ledger = ctx.openLedger();
    const AppValues& app = ledger->commonData().app();
    const double day = date.empty() ? ledger->env().nowStoreSeconds() : ledger->env().parseDay(date, "--date");
    PeriodTotals totals(*ledger);
    const PeriodRules& rules = totals.rules();
    const int kind = app.appPeriodType == 4 ? 6 : app.appPeriodType;
    const auto current = rules.getStartEndDate(day, kind, app.appStartDay, true);
    const auto previous = rules.getStartEndDate(rules.addDays(current->first, -1), kind, app.appStartDay, true);
    const double next = rules.addDays(current->second, 1);
    const ThreeMonthCarryover rows = totals.threeMonthCarryover(previous->first, current->first, next);
    auto rowJson = [&](const std::optional<CarryoverRow>& r) -> nlohmann::json {
      if (!r) return nullptr;
      return {{"uid", r->uid},           {"displayName", r->displayName},
              {"Date", dayJson(*ledger, r->Date)}, {"Do_Type", r->Do_Type},
              {"amountSub", r->amountSub}, {"amount", r->amount}};
    };
    if (ctx.json) {
      printJson({{"carryoverPre", rowJson(rows.carryoverPre)},
                 {"carryoverCurrent", rowJson(rows.carryoverCurrent)},
                 {"carryoverNext", rowJson(rows.carryoverNext)}});
      return;
    }
    if (app.nextMonth != "1") std::cout << "Carry-over is off (settings set -5457 1 turns it on)\n";
    const auto& main = ledger->commonData().mainCurrency();
    auto line = [&](const char* what, const std::optional<CarryoverRow>& r, double start) {
      double amount = 0;
      if (r) amount = (kindOfCode(r->Do_Type) == TxKind::kIncome ? 1 : -1) * std::stod(r->amount);
      std::cout << fmt::format("{:<9} {}  {:>20}\n", what, ledger->env().dates().dayKey(start),
                               money(*ledger, amount, main));
    };
    line("previous", rows.carryoverPre, previous->first);
    line("current", rows.carryoverCurrent, current->first);
    line("next", rows.carryoverNext, next);
  });
}

void addWidget(CLI::App& app, Context& ctx) {
  auto* cmd = app.add_subcommand("widget", "Write the home-screen widget's figures and print them");
  cmd->callback([&ctx] {
    auto ledger = ctx.openLedger();
    const auto figures = calcTodayAndYesterdayForWidget(*ledger);
    if (ctx.json) {
      printJson(figures);
      return;
    }
    for (const auto& [key, value] : figures) printLine(fmt::format("{:<28} {}", key, value));
    std::cout << "Written to " << widgetFile(ledger->env()).string() << '\n';
  });
}

}  // namespace

void addReportCommands(CLI::App& app, Context& ctx) {
  addBalance(app, ctx);
  addPeriod(app, ctx);
  addTotals(app, ctx);
  addChart(app, ctx);
  addTrend(app, ctx);
  addCarryover(app, ctx);
  addWidget(app, ctx);
}

}  // namespace varnel::cli
