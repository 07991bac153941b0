#include "bench/bench_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

namespace varnel::bench {

void addLedgerOptions(CLI::App& app, LedgerOptions& options) {
  app.add_option("--ledger", options.file, "Store file made by make-ledger")->required()->check(CLI::ExistingFile);
  app.add_option("--rounds", options.rounds, "Timed runs of each (median)")->check(CLI::Range(1, 100));
  app.add_option("--tz", options.tz);
  app.add_option("--locale", options.locale);
  app.add_option("--now", options.now);
}

std::unique_ptr<Ledger> openLedger(const LedgerOptions& options, const char* program) {
  // The ledger opens from a data folder; point one at the file's folder.
  const auto documents = std::filesystem::absolute(options.file).parent_path();
  if (documents.filename() != "Documents" || std::filesystem::path(options.file).filename() != "varnel.sqlite") {
    std::fprintf(stderr, "%s: --ledger must be <home>/Documents/varnel.sqlite\n", program);
    std::exit(2);
  }
  EnvironmentOptions o;
  o.home = documents.parent_path().string();
  o.tz = options.tz;
  o.locale = options.locale;
  o.now = options.now;
  auto log = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
  return Ledger::open(Environment::make(o), log);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace varnel::bench
