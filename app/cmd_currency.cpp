// `varnel currency …`: the currency rows, the main currency and rate updates.
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

#include <fmt/format.h>

#include "app/cli.h"
#include "setup/app_start.h"
#include "model/record_json.h"
#include "ledger/currency_repository.h"
#include "model/errors.h"
#include "model/text.h"

namespace varnel::cli {

namespace {

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string currencyLine(const Currency& c) {
  return fmt::format("{:<12} {:<4} {:>14}  {} {} {}  {}{}{}", c.uid.value_or(""), c.iso.value_or(""),
                     fmt::format("{}", c.rate.value_or(0)), c.symbol.value_or(""),
                     c.symbolPosition.value_or(""), c.point.value_or(0), c.memo.value_or(""),
                     c.isMainCurrency.value_or(0) == 1 ? "  (main)" : "",
                     c.isShow.value_or(0) == 1 || c.isMainCurrency.value_or(0) == 1 ? "" : "  (hidden)");
}

void printCurrency(const Currency& row, const Ledger& ledger, bool json) {
  if (json) {
    printJson(recordJson(row, ledger.env().dates()));
  } else {
    printLine(currencyLine(row));
  }
}

void printCurrencies(const std::vector<Currency>& rows, const Ledger& ledger, bool json) {
  if (json) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& r : rows) out.push_back(recordJson(r, ledger.env().dates()));
    printJson(out);
    return;
  }
  for (const auto& r : rows) printLine(currencyLine(r));
}

std::string requireMainIso(CurrencyRepository& repo) {
  const std::string main = repo.mainIso();
  if (main.empty()) throw InputError("the ledger has no main currency; set one with 'currency main ISO'");
  return main;
}

nlohmann::json changeJson(const MainCurrencyChange& change, const Ledger& ledger) {
  nlohmann::json renamed = nlohmann::json::array();
  for (const auto& [from, to] : change.renamedRows) renamed.push_back({{"from", from}, {"to", to}});
  return {{"oldIso", change.oldIso.empty() ? nlohmann::json(nullptr) : nlohmann::json(change.oldIso)},
          {"newIso", change.newIso},
          {"safetyCopy", change.safetyCopy ? nlohmann::json(change.safetyCopy->string()) : nlohmann::json(nullptr)},
          {"renamed", renamed},
          {"removed", change.removedRows},
          {"accounts", change.accounts},
          {"favourites", change.favourites},
          {"recurring", change.recurring},
          {"transactions", change.transactions},
          {"restatedTransactions", change.restatedTransactions},
          {"restatedAccountAmounts", change.restatedAccountAmounts},
          {"restatedBudgetAmounts", change.restatedBudgetAmounts},
          {"message", change.messageKey ? nlohmann::json(ledger.texts().text(*change.messageKey))
                                        : nlohmann::json(nullptr)}};
}

// Rates from a JSON object of ISO code → rate text (numbers are accepted too).
std::map<std::string, std::string> readRateFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("cannot read " + path);
  std::stringstream text;
  text << in.rdbuf();
  if (!isValidUtf8(text.str())) throw InputError(path + " is not valid UTF-8");
  auto parsed = nlohmann::json::parse(text.str(), nullptr, false);
  if (!parsed.is_object()) throw InputError(path + " is not a JSON object of currency codes and rates");
  std::map<std::string, std::string> rates;
  for (const auto& [iso, value] : parsed.items()) {
    if (value.is_string()) {
      rates[iso] = value.get<std::string>();
    } else if (value.is_number()) {
      rates[iso] = value.dump();
    } else if (!value.is_null()) {
      throw InputError(path + ": the rate of " + iso + " is neither a text nor a number");
    }
  }
  return rates;
}

}  // namespace

void addCurrencyCommands(CLI::App& app, Context& ctx) {
  auto* currency = app.add_subcommand("currency", "Currencies, the main currency and rates");
  currency->require_subcommand(1);

  auto* list = currency->add_subcommand("list", "The main currency and the currencies offered with it");
  static bool listAll = false;
  list->add_flag("--all", listAll, "Every row, of any main currency and hidden ones too");
  list->callback([&ctx] {
    auto ledger = ctx.openLedger();
    CurrencyRepository repo(*ledger);
    std::vector<Currency> rows;
    if (listAll) {
      rows = repo.getListCurrencyAll();
    } else {
      if (auto main = repo.getMainCurrency()) rows.push_back(*main);
      for (auto& r : repo.getListCurrencyByMainIso()) rows.push_back(std::move(r));
    }
    printCurrencies(rows, *ledger, ctx.json);
  });

  auto* add = currency->add_subcommand("add", "Add or update a built-in currency with its rate");
  static std::string addIso, addRate;
  add->add_option("ISO", addIso, "ISO code, such as USD")->required();
  add->add_option("--rate", addRate, "Main-currency units per one unit of this currency")->required();
  add->callback([&ctx] {
    const std::string iso = upper(addIso);
    const double rate = parseRate(addRate);
    if (!CalcCurrency::currencyByIso(iso)) throw InputError("unknown currency code: " + addIso);
    auto ledger = ctx.openLedger();
    CurrencyRepository repo(*ledger);
    const std::string main = requireMainIso(repo);
    if (iso == main) throw InputError(iso + " is the main currency; its rate is always 1");
    auto row = repo.addCurrencyRate(main, iso, rate, true);
    check(row.status());
    printCurrency(*row, *ledger, ctx.json);
  });

  auto* custom = currency->add_subcommand("custom", "Add or update a currency of your own");
  static std::string customIso, customSymbol, customRate, customMemo, customDecimals;
  static bool customSymbolAfter = false;
  custom->add_option("--iso", customIso, "Code of the currency")->required();
  custom->add_option("--symbol", customSymbol, "Symbol shown with amounts")->required();
  custom->add_option("--rate", customRate, "Main-currency units per one unit")->required();
  custom->add_option("--memo", customMemo, "Name shown with the code");
  custom->add_option("--decimals", customDecimals, "Number of decimals (default 2)");
  custom->add_flag("--symbol-after", customSymbolAfter, "Show the symbol after the amount");
  custom->callback([&ctx] {
    const std::string iso = upper(customIso);
    const double rate = parseRate(customRate);
    long long decimals = 2;
    if (!customDecimals.empty()) decimals = parseInteger(customDecimals, "the number of decimals", 0, 10);
    if (iso.empty() || iso.find_first_of(" \t;") != std::string::npos) {
      throw InputError("the currency code must be one word: '" + customIso + "'");
    }
    auto ledger = ctx.openLedger();
    CurrencyRepository repo(*ledger);
    const std::string main = requireMainIso(repo);
    if (iso == main) throw InputError(iso + " is the main currency");
    std::optional<Currency> existing;
    if (auto row = repo.getCurrencyByMainIsoAndIso(main, iso)) {
      if (row->insertType.value_or("") != "C") {
        throw InputError(iso + " is a built-in currency of this ledger; change its rate with 'currency add'");
      }
      existing = row;
    }
    auto row = repo.addCurrencyCustom(existing, main, iso, customSymbol, rate, customMemo, !customSymbolAfter,
                                      static_cast<int>(decimals));
    check(row.status());
    printCurrency(*row, *ledger, ctx.json);
  });

  auto* mainCmd = currency->add_subcommand("main", "Make a currency the main currency");
  static std::string mainIsoArg;
  static bool startOver = false;
  mainCmd->add_option("ISO", mainIsoArg, "ISO code of the new main currency")->required();
  mainCmd->add_flag("--start-over", startOver, "Remove all data except categories and start over in it");
  mainCmd->callback([&ctx] {
    const std::string iso = upper(mainIsoArg);
    auto ledger = ctx.openLedger();
    CurrencyRepository repo(*ledger);
    MainCurrencyChange change;
    if (startOver) {
      change = startOverWithMainCurrency(*ledger, iso);
    } else {
      change = repo.changeMainCurrency(iso);
    }
    check(change.status);
    if (ctx.json) {
      printJson(changeJson(change, *ledger));
      return;
    }
    if (!change.oldIso.empty() && change.oldIso == change.newIso && !startOver) {
      std::cout << iso << " is already the main currency; nothing changed\n";
      return;
    }
    if (change.safetyCopy) std::cout << "Safety copy: " << change.safetyCopy->string() << '\n';
    for (const auto& uid : change.removedRows) std::cout << "Removed " << uid << '\n';
    for (const auto& [from, to] : change.renamedRows) std::cout << "Renamed " << from << " -> " << to << '\n';
    if (!change.renamedRows.empty()) {
      std::cout << fmt::format("Moved to the new rows: {} account(s), {} favourite(s), {} recurring entr{}, {} transaction(s)\n",
                               change.accounts, change.favourites, change.recurring,
                               change.recurring == 1 ? "y" : "ies", change.transactions);
    }
    if (change.restatedTransactions > 0 || change.restatedBudgetAmounts > 0) {
      std::string accounts;
      if (change.restatedAccountAmounts > 0) {
        accounts = fmt::format(" ({} also in accounts without a currency row)", change.restatedAccountAmounts);
      }
      std::cout << fmt::format("Restated in {}: {} transaction amount(s){}, {} budget amount(s)\n", change.newIso,
                               change.restatedTransactions, accounts, change.restatedBudgetAmounts);
    }
    if (change.messageKey) std::cout << ledger->texts().text(*change.messageKey) << '\n';
    if (auto main = repo.getMainCurrency()) printLine(currencyLine(*main));
  });

  for (const bool shown : {false, true}) {
    auto* cmd = currency->add_subcommand(shown ? "show" : "hide",
                                         shown ? "Offer a hidden currency for entry again"
                                               : "Stop offering a currency for entry (its accounts keep it)");
    static std::string hideIso, showIso;
    std::string& iso = shown ? showIso : hideIso;
    cmd->add_option("ISO", iso, "ISO code")->required();
    cmd->callback([&ctx, &iso, shown] {
      auto ledger = ctx.openLedger();
      CurrencyRepository repo(*ledger);
      printCurrency(check(repo.setCurrencyShown(upper(iso), shown)), *ledger, ctx.json);
    });
  }

  auto* rates = currency->add_subcommand("rates", "Apply downloaded rates (a manual update)");
  static std::string ratesFile;
  rates->add_option("--file", ratesFile, "JSON object of ISO code to rate text")->required();
  rates->callback([&ctx] {
    const auto dic = readRateFile(ratesFile);
    auto ledger = ctx.openLedger();
    CurrencyRepository repo(*ledger);
    requireMainIso(repo);
    const CurrencyRateUpdate update = repo.updateCurrencyRateMySubCurrency(dic, true);
    check(update.status);
    if (!update.applied) throw StoreError("the rates were not applied");
    if (ctx.json) {
      nlohmann::json updated = nlohmann::json::array();
      for (const auto& r : update.updated) updated.push_back(recordJson(r, ledger->env().dates()));
      printJson({{"updated", updated},
                 {"missing", update.missing},
                 {"message", ledger->texts().text(update.messageKey.value_or(""))}});
      return;
    }
    for (const auto& r : update.updated) printLine(currencyLine(r));
    for (const auto& iso : update.missing) printLine("No rate for " + iso + " in the file");
    if (update.messageKey) std::cout << ledger->texts().text(*update.messageKey) << '\n';
  });
}

}  // namespace varnel::cli
