// Shared pieces of the `varnel` program: the global options, opening the
// ledger as the application does at start, and printing.
#pragma once

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "model/environment.h"
#include "model/errors.h"
#include "model/ledger.h"
#include "model/status.h"
#include "ledger/record_lookup.h"
#include "setup/migration.h"

namespace varnel {
struct AutoPaymentRun;
}

namespace varnel::cli {

struct Context {
  EnvironmentOptions options;
  bool json = false;

  // A ledger this run creates is set up in a file beside the store and only
  // takes the store's name once the command has succeeded, so that bad input
  // on a fresh home leaves no ledger behind. What the command prints waits
  // in `output` until then.
  mutable std::optional<std::filesystem::path> staged;
  mutable std::ostringstream output;
  // The preference changes of the staged ledger's set-up, made on the
  // device's preferences only when the ledger is published.
  mutable std::shared_ptr<Preferences::Changes> stagedPreferences;

  Environment environment() const { return Environment::make(options); }
  // Opens the ledger as the application does at start (startLedger): the
  // default ledger when it has no settings yet, the data migrations of a
  // ledger of an older data version (their progress on stderr when it is a
  // terminal), then the category repairs. `wroteDefaults` tells whether the
  // defaults were written, `migration` what the migrations did. Throws
  // StoreError when they or the repairs cannot be written.
  std::unique_ptr<Ledger> openLedger(bool* wroteDefaults = nullptr, MigrationReport* migration = nullptr) const;
};

// The value of a result, or the matching exception (InputError for input
// failures, StoreError for the rest) carrying its reason.
template <class T>
T check(Result<T> result) {
  throwIfFailed(result.status());
  return std::move(result).value();
}
inline void check(const Status& status) { throwIfFailed(status); }

// Prints JSON; text the store holds that is not UTF-8 comes out as U+FFFD
// instead of aborting the listing.
void printJson(const nlohmann::json& value);
// Prints one line of human-readable output with its control characters
// escaped (a stored name holding a line break must not split its record over
// two lines, nor an escape sequence drive the terminal).
void printLine(std::string_view line);

// The index of the first command-line argument (argv[1] on) that is not
// valid UTF-8, or 0 when every one is: such bytes would be stored and then
// break every listing that shows them.
int firstArgumentNotUtf8(int argc, const char* const* argv);

// Parses a whole decimal integer within `min` … `max`; throws InputError
// naming `what` otherwise.
long long parseInteger(const std::string& text, const std::string& what, long long min, long long max);
// Parses a money amount (at most 15 significant digits, less than 1e15 in
// size); throws InputError naming `what` otherwise.
double parseAmount(const std::string& text, const std::string& what);
// Parses a currency rate (positive, at most 15 significant digits, 1e-12 …
// 1e12); throws InputError otherwise.
double parseRate(const std::string& text);

void addInitCommand(CLI::App& app, Context& ctx);
void addSettingsCommands(CLI::App& app, Context& ctx);
void addStoreCommands(CLI::App& app, Context& ctx);     // store …, migrate
void addCategoryCommands(CLI::App& app, Context& ctx);   // category …
void addRecordCommands(CLI::App& app, Context& ctx);     // tag …, memo …, fav …
void addCurrencyCommands(CLI::App& app, Context& ctx);   // currency …
void addAccountCommands(CLI::App& app, Context& ctx);    // account …, group …
void addMacroCommands(CLI::App& app, Context& ctx);      // macro …
void addStatsCommands(CLI::App& app, Context& ctx);      // stats
void addBudgetCommands(CLI::App& app, Context& ctx);     // budget …
void addReportCommands(CLI::App& app, Context& ctx);     // balance, period, totals, chart, trend, carryover, widget
void addCardCommands(CLI::App& app, Context& ctx);       // card …
void addTransactionCommands(CLI::App& app, Context& ctx);  // tx …
void addImportCommands(CLI::App& app, Context& ctx);       // import tsv
void addRepeatCommands(CLI::App& app, Context& ctx);     // repeat …, start

// The automatic card payments of a run (app/cmd_card.cpp): as JSON, or one
// line each, or why there are none.
nlohmann::json autoPaymentJson(const AutoPaymentRun& run);
void printAutoPaymentText(Ledger& ledger, const AutoPaymentRun& run);
void addExportCommands(CLI::App& app, Context& ctx);     // export xlsx
void addSearchCommands(CLI::App& app, Context& ctx);       // search
void addSmsCommands(CLI::App& app, Context& ctx);          // sms parse, sms add
void addServeCommands(CLI::App& app, Context& ctx);        // serve
void addInterchangeCommands(CLI::App& app, Context& ctx);  // interchange export
void addBackupCommands(CLI::App& app, Context& ctx);       // backup, backup auto, backups, restore

}  // namespace varnel::cli
