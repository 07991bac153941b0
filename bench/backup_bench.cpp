// Times a gzip-compressed backup (`.vnbak.gz`) of a ledger against the same
// work done with the stock tools, in the same run and on the same store file,
// and prints the ratio (ours / bare; 1.0 is the tools' own speed):
//   - ours: backupDB with gzip: the amount repair (which looks and changes
//     nothing on a consistent ledger), a snapshot with SQLite's online backup
//     into a working file, the parallel gzip of it, a sync and the rename;
//   - bare: `sqlite3 FILE ".backup COPY"` and then `gzip -6` of the copy.
// Both outputs are checked with `gzip -t`, outside the timing.
//
//   backup_bench --ledger FILE [--rounds R] [--dir DIR]
// FILE is a store written by make-ledger; DIR (default: beside FILE) takes
// the backups, and is left empty.
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "backup/backup_util.h"
#include "bench/bench_support.h"
#include "model/ledger.h"

using namespace varnel;
using bench::median;
using bench::timeIt;

namespace {

// Processor time (user and system) of this process's threads, or of its
// waited-for children, in seconds.
double cpuSeconds(int who) {
  struct rusage usage {};
  ::getrusage(who, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

void run(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "failed: %s\n", command.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"backup_bench: a .vnbak.gz backup against sqlite3 .backup and gzip -6 of the same store"};
  std::string file, dirText;
  int rounds = 3;
  app.add_option("--ledger", file, "Store file made by make-ledger")->required()->check(CLI::ExistingFile);
  app.add_option("--rounds", rounds, "Timed runs of each (median)")->check(CLI::Range(1, 100));
  app.add_option("--dir", dirText, "Folder for the backups (default: beside the ledger)");
  CLI11_PARSE(app, argc, argv);

  const std::filesystem::path store = std::filesystem::absolute(file);
  const std::filesystem::path dir = dirText.empty() ? store.parent_path() / "backup-bench" : std::filesystem::path(dirText);
  std::filesystem::create_directories(dir);
  const auto ours = dir / "ours.vnbak.gz";
  const auto bareCopy = dir / "bare.sqlite";
  const auto bareGz = dir / "bare.sqlite.gz";

  EnvironmentOptions options;
  options.home = (dir / "home").string();
  options.tz = "Asia/Seoul";
  options.locale = "ko_KR";
  auto log = std::make_shared<spdlog::logger>("null", std::make_shared<spdlog::sinks::null_sink_mt>());
  auto ledger = Ledger::open(Environment::make(options), log, store);

  std::vector<double> oursTimes, bareTimes, snapshotTimes, gzipTimes, oursCpu, bareCpu;
  int repaired = 0;
  for (int round = 0; round < rounds; ++round) {
    // The order alternates, so that neither side always finds the file in
    // the page cache the other just filled.
    for (int side = 0; side < 2; ++side) {
      if ((side == 0) == (round % 2 == 0)) {
        BackupOptions backupOptions;
        backupOptions.gzip = true;
        const double cpu = cpuSeconds(RUSAGE_SELF);
        oursTimes.push_back(timeIt([&] {
          auto made = backupDB(*ledger, ours, backupOptions);
          if (!made) {
            std::fprintf(stderr, "backup failed: %s\n", made.status().message().c_str());
            std::exit(1);
          }
          if (made->repair) repaired += made->repair->changes();
        }));
        oursCpu.push_back(cpuSeconds(RUSAGE_SELF) - cpu);
      } else {
        std::filesystem::remove(bareCopy);
        double snapshot = 0, gzip = 0;
        const double cpu = cpuSeconds(RUSAGE_CHILDREN);
        bareTimes.push_back(timeIt([&] {
          snapshot = timeIt([&] { run("sqlite3 " + quoted(store) + " \".backup " + bareCopy.string() + "\""); });
          gzip = timeIt([&] { run("gzip -6 -c " + quoted(bareCopy) + " > " + quoted(bareGz)); });
        }));
        bareCpu.push_back(cpuSeconds(RUSAGE_CHILDREN) - cpu);
        snapshotTimes.push_back(snapshot);
        gzipTimes.push_back(gzip);
      }
    }
  }
  run("gzip -t " + quoted(ours));
  run("gzip -t " + quoted(bareGz));

  const double oursMedian = median(oursTimes), bareMedian = median(bareTimes);
  std::printf("store            %.1f MB\n", static_cast<double>(std::filesystem::file_size(store)) / 1e6);
  std::printf("ours .vnbak.gz   %.2f s (median of %d), processor %.2f s  %.1f MB\n", oursMedian, rounds,
              median(oursCpu), static_cast<double>(std::filesystem::file_size(ours)) / 1e6);
  std::printf("bare             %.2f s (median of %d), processor %.2f s  %.1f MB  (.backup %.2f s, gzip -6 %.2f s)\n",
              bareMedian, rounds, median(bareCpu), static_cast<double>(std::filesystem::file_size(bareGz)) / 1e6,
              median(snapshotTimes), median(gzipTimes));
  std::printf("ratio ours/bare  %.2f (processor time %.2f)\n", oursMedian / bareMedian, median(oursCpu) / median(bareCpu));
  if (repaired > 0) std::printf("(the amount repair changed %d records in the first round)\n", repaired);
  ledger.reset();
  std::filesystem::remove_all(dir);
  return 0;
}
