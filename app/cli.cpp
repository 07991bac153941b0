#include "app/cli.h"

#include <unistd.h>

#include <cstdio>

#include <fmt/format.h>

#include "model/errors.h"
#include "model/number_input.h"
#include "model/text.h"
#include "setup/app_start.h"

namespace varnel::cli {

std::unique_ptr<Ledger> Context::openLedger(bool* wroteDefaults, MigrationReport* migration) const {
  const Environment env = environment();
  std::optional<std::filesystem::path> at;
  std::error_code ec;
  if (staged || !std::filesystem::exists(env.storePath(), ec)) {
    if (!staged) {
      staged = env.storePath().parent_path() /
               fmt::format(".{}.new-{}", env.storePath().filename().string(), ::getpid());
      // A process killed while setting up may have left a file under this
      // name (process ids come round again): it must never be published.
      std::filesystem::remove(*staged, ec);
      std::filesystem::remove(staged->string() + "-journal", ec);
      std::cout.rdbuf(output.rdbuf());
    }
    at = staged;
  }
  auto ledger = Ledger::open(env, nullptr, at);
  if (at) {
    if (!stagedPreferences) stagedPreferences = std::make_shared<Preferences::Changes>();
    ledger->preferences().hold(stagedPreferences);
  }
  MigrationOptions options;
  // Migrating a large ledger takes a while: say so on a terminal, never in
  // the output a script reads.
  if (::isatty(STDERR_FILENO)) {
    options.progress = [](int step, const std::string& name) {
      std::fprintf(stderr, "varnel: migrating the ledger, step %d of 8: %s\n", step, name.c_str());
    };
  }
  LedgerStartReport started = check(startLedger(*ledger, options));
  if (wroteDefaults) *wroteDefaults = started.wroteDefaults;
  if (migration) *migration = std::move(started.migration);
  return ledger;
}

void printJson(const nlohmann::json& value) {
  std::cout << value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

void printLine(std::string_view line) { std::cout << escapedForLine(line) << '\n'; }

int firstArgumentNotUtf8(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (!isValidUtf8(argv[i])) return i;
  }
  return 0;
}

long long parseInteger(const std::string& text, const std::string& what, long long min, long long max) {
  return parseIntegerText(text, what, min, max);
}

double parseRate(const std::string& text) { return parseRateText(text, "the rate"); }

double parseAmount(const std::string& text, const std::string& what) { return parseMoneyText(text, what); }

}  // namespace varnel::cli
