// `varnel stats`: how a period's income and expense divide over main
// categories and over the groups of transfer-expense accounts.
#include <fmt/format.h>

#include "app/cli.h"
#include "ledger/money.h"
#include "model/errors.h"
#include "reports/category_statistics.h"

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

}  // namespace

void addStatsCommands(CLI::App& app, Context& ctx) {
  auto* stats = app.add_subcommand(
      "stats", "Income and expense of a period by main category and transfer-expense account group");
  static std::string from, to;
  static std::vector<std::string> accounts;
  stats->add_option("--from", from, "First day YYYY-MM-DD")->required();
  stats->add_option("--to", to, "Last day YYYY-MM-DD, included")->required();
  stats->add_option("--account", accounts,
                    "Only rows of this account or moving money into it (uid or name; repeatable)")
      ->allow_extra_args(false);
  stats->callback([&ctx] {
    const Environment env = ctx.environment();
    const double start = env.parseDay(from, "--from");
    const double end = env.parseDay(to, "--to");
    if (end < start) throw InputError("--to must not be before --from");
    auto ledger = ctx.openLedger();
    std::vector<std::string> uids;
    for (const auto& a : accounts) uids.push_back(*resolveAccount(ledger->commonData(), a).uid);

    CategoryCalculator calculator(*ledger);
    const CategoryBreakdown b = calculator.categoryCalculator3(calculator.statisticsTxList(start, end, uids));
    if (ctx.json) {
      printJson({{"cateInNum", b.cateInNum},
                 {"cateOutNum", b.cateOutNum},
                 {"dpInArray", itemsJson(b.dpInArray)},
                 {"dpOutArray", itemsJson(b.dpOutArray)}});
      return;
    }
    const auto& main = ledger->commonData().mainCurrency();
    auto money = [&](double v) {
      return main ? showMoneyByCurrecy(v, *main, kMoneyNormal, ledger->env().locale())
                  : fmt::format("{:.2f}", v);
    };
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
