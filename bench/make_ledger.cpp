// Writes a generated ledger to a store file:
//   make-ledger --transactions N --years Y --seed S --out FILE [--locale L] [--tz Z] [--now ISO]
// FILE is written whole at the end (an existing file is replaced), so a
// ledger never ends up half-written.
#include <cstdio>
#include <filesystem>
#include <string>

#include <CLI/CLI.hpp>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "bench/ledger_generator.h"
#include "model/errors.h"
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
  CLI11_PARSE(app, argc, argv);

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
      made = bench::generateLedger(*ledger, options);
      store = ledger->env().storePath();
    }
    const std::filesystem::path target = std::filesystem::absolute(out);
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(store, target.string() + ".tmp",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::rename(target.string() + ".tmp", target);
    std::filesystem::remove_all(home);
    std::printf("%s: %lld transactions, %d accounts, %d categories\n", target.c_str(),
                static_cast<long long>(made.rows), made.accounts, made.categories);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make-ledger: %s\n", e.what());
    return 2;
  }
  return 0;
}
