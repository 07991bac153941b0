// Times the duplicate-identifier repair on a damaged store it writes first:
// a transaction table of N rows in which D identifiers stand on two rows, and
// a category table of N/10 rows in which a tenth of the identifiers stand on
// three rows.
//
//   uid_repair_bench [--rows N] [--duplicated D] [--file PATH]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include <CLI/CLI.hpp>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "bench/duplicate_uid_store.h"
#include "model/uid_repair.h"

using namespace varnel;

int main(int argc, char** argv) {
  CLI::App app{"uid_repair_bench: the duplicate-identifier repair on a large damaged store"};
  int rows = 400000;
  int duplicated = 100000;
  std::string file =
      (std::filesystem::temp_directory_path() / "varnel_uid_repair_bench.sqlite").string();
  app.add_option("--rows", rows, "Transaction rows")->check(CLI::Range(1, 50000000));
  app.add_option("--duplicated", duplicated, "Identifiers that stand on two transaction rows")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--file", file, "Store file to write (replaced)");
  CLI11_PARSE(app, argc, argv);
  if (duplicated > rows / 2) {
    std::fprintf(stderr, "uid_repair_bench: --duplicated must be at most half of --rows\n");
    return 2;
  }

  std::filesystem::remove(file);
  {
    SQLite::Database db(file, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    bench::writeUidTable(db, "ZINOUTCOME",
                         bench::duplicatedUids("T", rows - duplicated, duplicated, 2, 1));
    const int categories = std::max(rows / 10, 3);
    bench::writeUidTable(db, "ZCATEGORY", bench::duplicatedUids("C", categories - categories / 15,
                                                                categories / 30, 3, 2));
  }

  auto log =
      std::make_shared<spdlog::logger>("null", std::make_shared<spdlog::sinks::null_sink_mt>());
  SQLite::Database db(file, SQLite::OPEN_READWRITE);
  const auto t0 = std::chrono::steady_clock::now();
  const RepairReport report = fixNotUniqueUid(db, *log);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  for (const TableRepair& t : report.tables) {
    std::printf("%-12s %d duplicated uid(s), %d row(s) renamed\n", t.table.c_str(), t.duplicateUids,
                t.rowsRenamed);
  }
  std::printf("repair: %.3f s\n", seconds);
  std::filesystem::remove(file);
  return 0;
}
