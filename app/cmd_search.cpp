// `varnel search`: transactions found by a text in their content or memo (and
// in the full message text while the ledger shows it), narrowed by period,
// accounts, categories and an amount range; newest first.
#include <optional>
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/transaction_lines.h"
#include "ledger/record_lookup.h"
#include "model/errors.h"
#include "model/record_json.h"
#include "reports/common_filter.h"
#include "reports/search.h"

namespace varnel::cli {

void addSearchCommands(CLI::App& app, Context& ctx) {
  auto* search = app.add_subcommand(
      "search", "Transactions whose content or memo holds a text (case and accents ignored), newest first");
  static std::string text, from, to, min, max;
  static std::vector<std::string> accounts, categories;
  search->add_option("text", text, "Text to find; none lists every transaction the options select");
  search->add_option("--from", from, "First day YYYY-MM-DD");
  search->add_option("--to", to, "Last day YYYY-MM-DD, included");
  search->add_option("--account", accounts,
                     "Rows booked on this account and transfers into it (uid or name); repeatable");
  search->add_option("--category", categories,
                     "Income or expense rows of this category (a main category with its sub-categories; "
                     "-2 uncategorised); repeatable");
  search->add_option("--min", min, "Smallest amount in the main currency");
  search->add_option("--max", max, "Largest amount in the main currency");
  search->callback([&ctx] {
    SearchCriteria criteria;
    if (!min.empty()) criteria.minMoney = parseAmount(min, "--min");
    if (!max.empty()) criteria.maxMoney = parseAmount(max, "--max");
    if (criteria.minMoney && criteria.maxMoney && *criteria.maxMoney < *criteria.minMoney) {
      throw InputError("--max must not be less than --min");
    }
    auto ledger = ctx.openLedger();
    const Environment& env = ledger->env();
    if (!from.empty()) criteria.startDate = env.parseDay(from, "--from");
    if (!to.empty()) criteria.endDate = env.parseDay(to, "--to");
    if (criteria.startDate && criteria.endDate && *criteria.endDate < *criteria.startDate) {
      throw InputError("--to must not be before --from");
    }
    const CommonData& cache = ledger->commonData();
    for (const auto& a : accounts) criteria.accounts.push_back(*resolveAccount(cache, a).uid);
    for (const auto& c : categories) {
      for (auto& uid : categoryFilterUids(cache, c)) criteria.categories.push_back(std::move(uid));
    }

    const std::vector<InOutCome> found = TransactionSearch(*ledger).search(text, criteria);
    if (ctx.json) {
      nlohmann::json out = nlohmann::json::array();
      for (const InOutCome& r : found) out.push_back(recordJson(r, env.dates()));
      printJson(out);
      return;
    }
    TransactionPrinter printer(*ledger);
    for (const InOutCome& r : found) printLine(printer.line(r));
  });
}

}  // namespace varnel::cli
