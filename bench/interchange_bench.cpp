// Times the interchange export of a whole ledger against a bare SQLite copy
// of the same rows into the same schema, in the same run, and prints the
// ratio (ours / bare; goal: at most 1.5):
//   - ours: MyDBCopyAndroid, from opening the store through the file's flush
//     to disk and its rename into place;
//   - bare: the same empty file (tables and indexes, made the same way and
//     with the same page cache and journal settings), the store ATTACHed
//     read-only and one INSERT … SELECT per table with the writer's own
//     selections, in one transaction, without a flush.
// Both files go beside the ledger and are removed after; the first round of
// each warms the page cache and is not counted.
//
//   interchange_bench --ledger FILE [--rounds R] [--tz Z] [--locale L] [--now ISO]
// FILE is a store written by make-ledger (<home>/Documents/varnel.sqlite).
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <CLI/CLI.hpp>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "backup/interchange_writer.h"
#include "model/ledger.h"

using namespace varnel;

namespace {

double cpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Timing {
  double wall = 0;
  double cpu = 0;
};

// Wall time, and the processor time of this process alone, which other
// programs on a shared machine disturb far less.
template <class F>
Timing timeIt(F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  const double c0 = cpuSeconds();
  f();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), cpuSeconds() - c0};
}

double median(const std::vector<Timing>& timings, double Timing::*which) {
  std::vector<double> v;
  for (const Timing& t : timings) v.push_back(t.*which);
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string joined(const std::vector<std::string>& parts) {
  std::string s;
  for (const auto& p : parts) s += (s.empty() ? "" : ", ") + p;
  return s;
}

// The bare copy: ATTACH and INSERT … SELECT, nothing else.
void bareCopy(const std::filesystem::path& store, const std::filesystem::path& file, spdlog::logger& log) {
  if (!MyDBCopyAndroid::createTable(file, log)) throw std::runtime_error("cannot create " + file.string());
  SQLite::Database db(file.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_URI);
  db.exec("PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF; PRAGMA cache_size = -65536");
  db.exec("ATTACH DATABASE 'file:" + store.string() + "?mode=ro' AS store");
  db.exec("BEGIN");
  for (const auto& copy : interchangeTableCopies()) {
    db.exec("INSERT OR IGNORE INTO main." + std::string(copy.table) + " (" + joined(copy.columns) +
            ", isSynced) SELECT " + joined(copy.expressions) + ", 2 FROM store." + copy.storeTable +
            (copy.where.empty() ? "" : " WHERE " + copy.where) + " ORDER BY Z_PK");
  }
  db.exec("INSERT INTO android_metadata (locale) VALUES ('ko_KR')");
  db.exec("COMMIT");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"interchange_bench: the interchange export against a bare INSERT … SELECT"};
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
    std::fprintf(stderr, "interchange_bench: --ledger must be <home>/Documents/varnel.sqlite\n");
    return 2;
  }
  EnvironmentOptions o;
  o.home = documents.parent_path().string();
  o.tz = tz;
  o.locale = locale;
  o.now = now;
  auto log = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
  auto ledger = Ledger::open(Environment::make(o), log);
  const std::filesystem::path store = ledger->store().path();
  const int64_t rows = ledger->store().db().execAndGet("SELECT COUNT(*) FROM ZINOUTCOME").getInt64();
  const auto oursFile = documents.parent_path() / "interchange-bench-ours.sqlite";
  const auto bareFile = documents.parent_path() / "interchange-bench-bare.sqlite";

  std::vector<Timing> ours, bare;
  MyDBCopyAndroid writer(ledger->env(), *log);
  for (int r = 0; r <= rounds; ++r) {
    // Alternating which goes first spreads the machine's other load evenly.
    auto runOurs = [&] {
      const Timing t = timeIt([&] {
        if (!writer.myDBCopyAndroid(store, oursFile).isOk()) throw std::runtime_error("export failed");
      });
      if (r > 0) ours.push_back(t);
    };
    auto runBare = [&] {
      const Timing t = timeIt([&] { bareCopy(store, bareFile, *log); });
      if (r > 0) bare.push_back(t);
    };
    if (r % 2 == 0) {
      runOurs();
      runBare();
    } else {
      runBare();
      runOurs();
    }
  }
  // Both hold the same transactions.
  SQLite::Database check(oursFile.string(), SQLite::OPEN_READONLY);
  check.exec("ATTACH DATABASE '" + bareFile.string() + "' AS bare");
  const int64_t differing =
      check.execAndGet("SELECT (SELECT COUNT(*) FROM (SELECT * FROM main.INOUTCOME EXCEPT SELECT * FROM bare.INOUTCOME))"
                       " + (SELECT COUNT(*) FROM main.INOUTCOME) - (SELECT COUNT(*) FROM bare.INOUTCOME)")
          .getInt64();
  const auto size = std::filesystem::file_size(oursFile);
  std::filesystem::remove(oursFile);
  std::filesystem::remove(bareFile);

  std::printf("ledger: %s, %lld transactions, file %.1f MB, rounds: %d (medians)\n", file.c_str(),
              static_cast<long long>(rows), static_cast<double>(size) / (1024.0 * 1024.0), rounds);
  const double oursWall = median(ours, &Timing::wall), bareWall = median(bare, &Timing::wall);
  const double oursCpu = median(ours, &Timing::cpu), bareCpu = median(bare, &Timing::cpu);
  std::printf("export %7.2f s (cpu %6.2f s)   bare INSERT ... SELECT %7.2f s (cpu %6.2f s)\n", oursWall, oursCpu,
              bareWall, bareCpu);
  std::printf("ratio wall %.2f, cpu %.2f (goal <= 1.5)%s\n", oursWall / bareWall, oursCpu / bareCpu,
              differing == 0 ? "" : "   TRANSACTIONS DIFFER");
  return differing == 0 ? 0 : 1;
}
