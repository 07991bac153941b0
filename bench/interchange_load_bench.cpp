// Times loading an interchange file of the current format into a new ledger
// against a bare SQLite copy of the same rows in the same direction, in the
// same run, and prints the ratio (ours / bare; goal: at most 2):
//   - ours: loadInterchange, from opening the new store (which creates its
//     tables, indexes and text search index) through the commit of the load;
//   - bare: a new store opened the same way, the interchange file ATTACHed
//     read-only and one INSERT … SELECT per table, column to column with the
//     writer's mapping read backwards and no conversion, in one transaction.
// The interchange file is written first from the ledger by MyDBCopyAndroid
// (not timed). Every file goes beside the ledger and is removed after; the
// first round of each warms the page cache and is not counted.
//
//   interchange_load_bench --ledger FILE [--rounds R] [--tz Z] [--locale L] [--now ISO]
// FILE is a store written by make-ledger (<home>/Documents/varnel.sqlite).
#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <vector>

#include <CLI/CLI.hpp>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "backup/interchange_reader.h"
#include "backup/interchange_writer.h"
#include "bench/bench_support.h"
#include "model/ledger.h"

using namespace varnel;
using bench::median;
using bench::Timing;
using bench::timeWallAndCpu;

namespace {

void removeStore(const std::filesystem::path& file) {
  std::filesystem::remove(file);
  std::filesystem::remove(file.string() + "-journal");
}

// The bare copy: a new store, ATTACH and INSERT … SELECT, nothing else.
void bareLoad(const Environment& env, const std::shared_ptr<spdlog::logger>& log, const std::filesystem::path& file,
              const std::filesystem::path& target) {
  removeStore(target);
  { Ledger::open(env, log, target); }
  SQLite::Database db(target.string(), SQLite::OPEN_READWRITE);
  db.exec("ATTACH DATABASE 'file:" + file.string() + "?mode=ro' AS file");
  db.exec("BEGIN IMMEDIATE");
  static const std::regex kColumn("\\bZ[A-Z0-9_]+\\b");
  for (const auto& copy : interchangeTableCopies()) {
    std::string from, to;
    std::set<std::string> seen;
    for (size_t i = 0; i < copy.columns.size(); ++i) {
      std::smatch m;
      if (!std::regex_search(copy.expressions[i], m, kColumn) || !seen.insert(m.str()).second) continue;
      to += (to.empty() ? "" : ", ") + m.str();
      from += (from.empty() ? "" : ", ") + copy.columns[i];
    }
    db.exec("INSERT INTO main." + copy.storeTable + " (" + to + ") SELECT " + from + " FROM file." +
            std::string(copy.table) + " ORDER BY rowid");
  }
  db.exec("COMMIT");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"interchange_load_bench: loading an interchange file against a bare INSERT … SELECT"};
  std::string file, tz = "Asia/Seoul", locale = "ko_KR", now = "2026-12-10T09:00:00";
  int rounds = 3;
  app.add_option("--ledger", file, "Store file made by make-ledger")->required()->check(CLI::ExistingFile);
  app.add_option("--rounds", rounds, "Timed runs of each (median)")->check(CLI::Range(1, 100));
  app.add_option("--tz", tz);
  app.add_option("--locale", locale);
  app.add_option("--now", now);
  CLI11_PARSE(app, argc, argv);

  const auto documents = std::filesystem::absolute(file).parent_path();
  if (documents.filename() != "Documents" || std::filesystem::path(file).filename() != "varnel.sqlite") {
    std::fprintf(stderr, "interchange_load_bench: --ledger must be <home>/Documents/varnel.sqlite\n");
    return 2;
  }
  EnvironmentOptions o;
  o.home = documents.parent_path().string();
  o.tz = tz;
  o.locale = locale;
  o.now = now;
  const Environment env = Environment::make(o);
  auto log = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
  const auto interchangeFile = documents.parent_path() / "interchange-load-bench.sqlite";
  const auto oursStore = documents / "interchange-load-bench-ours.sqlite";
  const auto bareStore = documents / "interchange-load-bench-bare.sqlite";
  int64_t rows = 0;
  {
    auto ledger = Ledger::open(env, log);
    rows = ledger->store().db().execAndGet("SELECT COUNT(*) FROM ZINOUTCOME").getInt64();
    MyDBCopyAndroid writer(ledger->env(), *log);
    if (!writer.myDBCopyAndroid(ledger->store().path(), interchangeFile).isOk()) {
      std::fprintf(stderr, "interchange_load_bench: the export failed\n");
      return 1;
    }
  }

  std::vector<Timing> ours, bare;
  for (int r = 0; r <= rounds; ++r) {
    auto runOurs = [&] {
      removeStore(oursStore);
      const Timing t = timeWallAndCpu([&] {
        auto target = Ledger::open(env, log, oursStore);
        auto loaded = loadInterchange(*target, interchangeFile, InterchangeLoadMode::kCurrentFormat);
        if (!loaded) throw std::runtime_error("load failed: " + loaded.status().message());
      });
      if (r > 0) ours.push_back(t);
    };
    auto runBare = [&] {
      const Timing t = timeWallAndCpu([&] { bareLoad(env, log, interchangeFile, bareStore); });
      if (r > 0) bare.push_back(t);
    };
    // Alternating which goes first spreads the machine's other load evenly.
    if (r % 2 == 0) {
      runOurs();
      runBare();
    } else {
      runBare();
      runOurs();
    }
  }
  // Both hold the same transactions.
  SQLite::Database check(oursStore.string(), SQLite::OPEN_READONLY);
  check.exec("ATTACH DATABASE '" + bareStore.string() + "' AS bare");
  const int64_t loadedRows = check.execAndGet("SELECT COUNT(*) FROM main.ZINOUTCOME").getInt64();
  const int64_t differing =
      check.execAndGet("SELECT COUNT(*) FROM main.ZINOUTCOME a LEFT JOIN bare.ZINOUTCOME b ON b.ZUID = a.ZUID "
                       "WHERE b.Z_PK IS NULL OR a.ZAMOUNT IS NOT b.ZAMOUNT OR a.ZCONTENT IS NOT b.ZCONTENT")
          .getInt64() +
      std::abs(loadedRows - rows);
  const auto size = std::filesystem::file_size(interchangeFile);
  removeStore(oursStore);
  removeStore(bareStore);
  std::filesystem::remove(interchangeFile);

  std::printf("ledger: %s, %lld transactions, interchange file %.1f MB, rounds: %d (medians)\n", file.c_str(),
              static_cast<long long>(rows), static_cast<double>(size) / (1024.0 * 1024.0), rounds);
  const double oursWall = median(ours, &Timing::wall), bareWall = median(bare, &Timing::wall);
  const double oursCpu = median(ours, &Timing::cpu), bareCpu = median(bare, &Timing::cpu);
  std::printf("load %7.2f s (cpu %6.2f s)   bare INSERT ... SELECT %7.2f s (cpu %6.2f s)\n", oursWall, oursCpu,
              bareWall, bareCpu);
  std::printf("ratio wall %.2f, cpu %.2f (goal <= 2)%s\n", oursWall / bareWall, oursCpu / bareCpu,
              differing == 0 ? "" : "   TRANSACTIONS DIFFER");
  return differing == 0 ? 0 : 1;
}
