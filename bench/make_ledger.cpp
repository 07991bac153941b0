// Writes a generated ledger to a store file:
//   make-ledger --transactions N --years Y --seed S --out FILE [--locale L] [--tz Z] [--now ISO]
//               [--index-after]
// FILE is written whole at the end (an existing file is replaced), so a
// ledger never ends up half-written. Prints the time the rows took and the
// file's size. With --index-after the text search index is left out while
// the rows are written and built once at the end, timed on its own, with the
// size before and after: what the index costs in writing time and space.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <CLI/CLI.hpp>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "bench/ledger_generator.h"
#include "model/errors.h"
#include "model/search_index.h"
#include "setup/initial_data.h"

int main(int argc, char** argv) {
  using namespace varnel;
  CLI::App app{"make-ledger: writes a generated ledger for benchmarks"};
  bench::GeneratorOptions options;
  std::string out, locale = "ko_KR", tz = "Asia/Seoul", now = "2026-12-10T09:00:00";
  app.add_option("--transactions", options.transactions, "Rows to write")->check(CLI::PositiveNumber);
  app.add_option("--years", options.years, "Years of dates, ending now")->check(CLI::Range(1, 100));
  app.add_option("--seed", options.seed, "Random seed");
  app.add_option("--out", out, "Store file to write")->required();
  app.add_option("--locale", locale, "Locale of the ledger (main currency, names)");
  app.add_option("--tz", tz, "Time zone");
  app.add_option("--now", now, "The generated span ends here");
  bool indexAfter = false;
  app.add_flag("--index-after", indexAfter,
               "Write the rows without the text search index, then build it (to measure its cost)");
  CLI11_PARSE(app, argc, argv);
  using Clock = std::chrono::steady_clock;
  auto seconds = [](Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
  };
  auto megabytes = [](const std::filesystem::path& file) {
    return static_cast<double>(std::filesystem::file_size(file)) / (1024.0 * 1024.0);
  };

  try {
    const auto home = std::filesystem::temp_directory_path() /
                      ("varnel-make-ledger-" + std::to_string(options.seed) + "-" +
                       std::to_string(::getpid()));
    std::filesystem::remove_all(home);
    EnvironmentOptions env;
    env.home = home.string();
    env.locale = locale;
    env.tz = tz;
    env.now = now;
    auto log = std::make_shared<spdlog::logger>("make-ledger",
                                                std::make_shared<spdlog::sinks::null_sink_mt>());
    bench::GeneratedLedger made;
    std::filesystem::path store;
    {
      auto ledger = Ledger::open(Environment::make(env), log);
      if (!settingDefaultData(*ledger, 0)) throw std::runtime_error("the default ledger could not be written");
      store = ledger->env().storePath();
      auto& db = ledger->store().db();
      if (indexAfter) search_index::dropSearchIndex(db);
      const auto writing = Clock::now();
      made = bench::generateLedger(*ledger, options);
      std::printf("rows written in %.1f s (%s)\n", seconds(writing),
                  indexAfter ? "without the search index" : "with the search index");
      if (indexAfter) {
        const double before = megabytes(store);
        const auto building = Clock::now();
        {
          StoreTransaction transaction(ledger->store());
          search_index::createSearchIndex(db);
          transaction.commit();
        }
        std::printf("search index built in %.1f s; store %.1f MB without it, %.1f MB with it\n",
                    seconds(building), before, megabytes(store));
      }
    }
    const std::filesystem::path target = std::filesystem::absolute(out);
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(store, target.string() + ".tmp",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::rename(target.string() + ".tmp", target);
    std::filesystem::remove_all(home);
    std::printf("%s: %lld transactions, %d accounts, %d categories, %.1f MB\n", target.c_str(),
                static_cast<long long>(made.rows), made.accounts, made.categories, megabytes(target));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make-ledger: %s\n", e.what());
    return 2;
  }
  return 0;
}
