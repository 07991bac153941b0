// `varnel stats`: how a period's income and expense divide over main
// categories and over the groups of transfer-expense accounts.
#include <fmt/format.h>

#include "app/cli.h"
#include "ledger/money.h"
#include "model/errors.h"
#include "model/tx_kind.h"
#include "ledger/category_repository.h"
#include "reports/category_statistics.h"
#include "reports/common_filter.h"

namespace varnel::cli {

namespace {

nlohmann::json itemsJson(const std::vector<BreakdownItem>& items) {
  nlohmann::json out = nlohmann::json::array();
  for (const auto& i : items) {
    out.push_back({{"ID", i.ID}, {"MONEY", i.MONEY}, {"TYPE", i.TYPE}, {"TRANSFER", i.TRANSFER},
                   {"NAME", i.NAME}});
  }
  return out;
}

// The name a category row of the ledger shows: the full name of a category
// record or pseudo-category, else the stored identifier as it is.
std::string categoryRowName(const CommonData& cache, const std::string& uid) {
  if (uid.empty()) return "(no category)";
  if (cache.categoryByUid(uid) || uid == category_code::kUncategorised || uid == category_code::kBalanceAdjustment) {
    return cache.getCategoryFullNameByCategoryId(uid);
  }
  return uid + " (no such category)";
}

TxKind parseSide(const std::string& text, const std::string& what) {
  if (text == "income") return TxKind::kIncome;
  if (text == "expense") return TxKind::kExpense;
  throw InputError(what + " must be income or expense: '" + text + "'");
}

}  // namespace

void addStatsCommands(CLI::App& app, Context& ctx) {
  auto* stats = app.add_subcommand(
      "stats", "Income and expense of a period by main category and transfer-expense account group");
  static std::string from, to, budget;
  static std::vector<std::string> accounts, kinds, categories, filters;
  static bool byCategory = false;
  stats->add_option("--from", from, "First day YYYY-MM-DD")->required();
  stats->add_option("--to", to, "Last day YYYY-MM-DD, included")->required();
  stats->add_option("--account", accounts,
                    "Only rows of this account or moving money into it (uid or name; repeatable)")
      ->allow_extra_args(false);
  auto* byCategoryFlag =
      stats->add_flag("--by-category", byCategory, "Count and total of the rows of each category as stored");
  stats->add_option("--kind", kinds, "With --by-category: income or expense (default both; repeatable)")
      ->allow_extra_args(false);
  auto* budgetOpt = stats->add_option(
      "--budget", budget, "income or expense: each main category with its sub-categories, then each account group "
                          "of transfer-expense accounts, as the budgets count them");
  auto* categoryOpt = stats->add_option("--category", categories,
                                        "Income and expense of these categories (a main category with its "
                                        "sub-categories; -2 uncategorised; repeatable)")
                          ->allow_extra_args(false);
  auto* filterOpt = stats->add_option("--filter", filters,
                                      "… and of these transfer items: #OUTCOMETRANS<account>, #INCOMETRANS<account>, "
                                      "#OUTCOMECARD<card> (repeatable)")
                        ->allow_extra_args(false);
  stats->callback([&ctx, byCategoryFlag, budgetOpt, categoryOpt, filterOpt] {
    const Environment env = ctx.environment();
    const double start = env.parseDay(from, "--from");
    const double end = env.parseDay(to, "--to");
    if (end < start) throw InputError("--to must not be before --from");
    const bool selection = categoryOpt->count() > 0 || filterOpt->count() > 0;
    if ((byCategoryFlag->count() > 0) + (budgetOpt->count() > 0) + selection > 1) {
      throw InputError("give at most one of --by-category, --budget, --category/--filter");
    }
    if (!kinds.empty() && byCategoryFlag->count() == 0) throw InputError("--kind goes with --by-category");
    if (budgetOpt->count() > 0 && !accounts.empty()) {
      throw InputError("--budget counts every account; it takes no --account");
    }
    std::vector<TxKind> sides;
    for (const auto& k : kinds) sides.push_back(parseSide(k, "--kind"));
    if (sides.empty()) sides = {TxKind::kIncome, TxKind::kExpense};
    const TxKind budgetKind = budgetOpt->count() > 0 ? parseSide(budget, "--budget") : TxKind::kIncome;

    auto ledger = ctx.openLedger();
    const CommonData& cache = ledger->commonData();
    std::vector<std::string> uids;
    for (const auto& a : accounts) uids.push_back(*resolveAccount(cache, a).uid);
    const auto& main = cache.mainCurrency();
    auto money = [&](double v) {
      return main ? showMoneyByCurrecy(v, *main, kMoneyNormal, ledger->env().locale())
                  : fmt::format("{:.2f}", v);
    };
    CategoryCalculator calculator(*ledger);

    if (byCategoryFlag->count() > 0) {
      const auto rows = calculator.sumTxGroupByCategory(uids, sides, start, end);
      if (ctx.json) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& r : rows) out.push_back({{"categoryUid", r.categoryUid}, {"sum", r.sum}, {"count", r.count}});
        printJson(out);
        return;
      }
      for (const auto& r : rows) {
        printLine(fmt::format("{:<32} {:>5}  {:>18}", categoryRowName(cache, r.categoryUid), r.count, money(r.sum)));
      }
      return;
    }

    if (budgetOpt->count() > 0) {
      const auto items = calculator.sumCategoryTransferByDoTypeStartEndDate(budgetKind, start, end);
      if (ctx.json) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& i : items) {
          out.push_back({{"type", i.type}, {"uid", i.uid}, {"name", i.name}, {"money", i.money},
                         {"moneyStr", i.moneyStr}, {"TRANSFER", i.TRANSFER}});
        }
        printJson(out);
        return;
      }
      for (const auto& i : items) {
        const bool group = i.type == SumCategoryAsset::kAccountGroup;
        printLine(fmt::format("  {:<30} {:>18}", (i.name.empty() ? "(no name)" : i.name) + (group ? " [transfers]" : ""),
                              i.moneyStr));
      }
      return;
    }

    if (selection) {
      std::vector<std::string> categoryUids, items;
      for (const auto& c : categories) {
        for (auto& uid : categoryFilterUids(cache, c)) categoryUids.push_back(std::move(uid));
      }
      for (const auto& f : filters) items.push_back(resolveTransferItem(cache, f));
      const InOutMoney m =
          calculator.getTotalMoneyByCategoryAsset(calculator.statisticsTxList(start, end), categoryUids, items, uids);
      if (ctx.json) {
        printJson({{"inmoney", m.inmoney}, {"outmoney", m.outmoney}});
        return;
      }
      std::cout << fmt::format("Income   {:>20}\nExpense  {:>20}\n", money(m.inmoney), money(m.outmoney));
      return;
    }

    const CategoryBreakdown b = calculator.categoryCalculator3(calculator.statisticsTxList(start, end, uids));
    if (ctx.json) {
      printJson({{"cateInNum", b.cateInNum},
                 {"cateOutNum", b.cateOutNum},
                 {"dpInArray", itemsJson(b.dpInArray)},
                 {"dpOutArray", itemsJson(b.dpOutArray)}});
      return;
    }
    auto side = [&](const char* title, double total, const std::vector<BreakdownItem>& items,
                    bool income) {
      std::cout << fmt::format("{:<32} {:>18}\n", title, money(total));
      if (items.empty()) std::cout << "  (none)\n";
      for (const auto& i : items) {
        // A group that gave money back shows what it adds to the income total.
        const bool group = i.TYPE == "acc";
        const double shown = group && income ? -i.MONEY : i.MONEY;
        const std::string name = (i.NAME.empty() ? "(no name)" : i.NAME) + (group ? " [transfers]" : "");
        printLine(fmt::format("  {:<30} {:>18}", name, money(shown)));
      }
    };
    side("Income", b.cateInNum, b.dpInArray, true);
    side("Expense", b.cateOutNum, b.dpOutArray, false);
  });
}

}  // namespace varnel::cli
