// A restore killed at any moment must leave the ledger whole: the store is
// the old ledger or the restored one, never a mix, never missing, and passes
// integrity_check. A child process restores a backup over a generated
// ledger and is killed with SIGKILL at points chosen from a fixed seed:
// after a number of SQLite VM steps on any of its connections (from inside,
// so the point is exact), or after a delay (from outside, which also lands
// in the decompression, the syncs and the rename). The files live in memory
// where the system allows, so a killed process loses nothing it wrote,
// synced or not, and the rounds stay fast.
#include <signal.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "backup/backup_util.h"
#include "backup/restore.h"
#include "bench/ledger_generator.h"
#include "model/entities.h"
#include "setup/initial_data.h"
#include "support/child_process.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

constexpr int kRounds = 24;
constexpr int kProgressPeriod = 100;
constexpr uint32_t kSeed = 20261211;

std::shared_ptr<spdlog::logger> nullLog() {
  return std::make_shared<spdlog::logger>("null", std::make_shared<spdlog::sinks::null_sink_mt>());
}

Environment environmentOf(const std::filesystem::path& home) { return testing::testEnvironment(home); }

// A hash of every row of every ledger table, with the type of each value.
uint64_t fingerprintOfFile(const std::filesystem::path& store) {
  SQLite::Database db(store.string(), SQLite::OPEN_READONLY);
  uint64_t hash = 1469598103934665603ull;
  auto mix = [&hash](const void* data, size_t size) {
    for (size_t i = 0; i < size; ++i) hash = (hash ^ static_cast<const unsigned char*>(data)[i]) * 1099511628211ull;
  };
  for (const auto& schema : allTableSchemas()) {
    SQLite::Statement rows(db, "SELECT * FROM " + schema.table + " ORDER BY Z_PK");
    while (rows.executeStep()) {
      for (int i = 0; i < rows.getColumnCount(); ++i) {
        const SQLite::Column value = rows.getColumn(i);
        const int type = value.getType();
        mix(&type, sizeof type);
        mix(value.getBlob(), static_cast<size_t>(value.getBytes()));
      }
    }
  }
  return hash;
}

// Shared with the parent through an anonymous shared mapping.
struct ChildTicks {
  std::atomic<int64_t> ticks{0};
  std::atomic<int64_t> stages{0};  // calls of the restore's progress callback
};

ChildTicks* gTicks = nullptr;
int64_t gKillAt = 0;
int64_t gKillAtStage = 0;

int onProgress(void*) {
  const int64_t ticks = gTicks->ticks.fetch_add(1, std::memory_order_relaxed) + 1;
  if (gKillAt > 0 && ticks >= gKillAt) ::raise(SIGKILL);
  return 0;
}

// Every connection the child opens, whoever opens it, reports its VM steps.
int armConnection(sqlite3* db, const char**, const sqlite3_api_routines*) {
  sqlite3_progress_handler(db, kProgressPeriod, onProgress, nullptr);
  return SQLITE_OK;
}

// Restores `backup` over the home's store and leaves through _exit: 0 on
// success, 3 when the restore failed, 4 when it threw.
[[noreturn]] void runChild(const std::filesystem::path& home, const std::filesystem::path& backup, int64_t killAt,
                           int64_t killAtStage, int readyFd) {
  int code = 0;
  try {
    gKillAt = killAt;
    gKillAtStage = killAtStage;
    sqlite3_auto_extension(reinterpret_cast<void (*)(void)>(armConnection));
    const Environment env = environmentOf(home);
    const char ready = 'r';
    if (::write(readyFd, &ready, 1) != 1) _exit(5);
    RestoreOptions options;
    options.progress = [](std::string_view, uint64_t, uint64_t) {
      const int64_t stages = gTicks->stages.fetch_add(1, std::memory_order_relaxed) + 1;
      if (gKillAtStage > 0 && stages >= gKillAtStage) ::raise(SIGKILL);
    };
    auto restored = restoreDB(env, *nullLog(), env.storePath(), backup, options);
    if (!restored) {
      std::fprintf(stderr, "the restore failed: %s\n", restored.status().message().c_str());
      code = 3;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "the restore threw: %s\n", e.what());
    code = 4;
  }
  _exit(code);
}

testing::ChildOutcome restoreInChild(const std::filesystem::path& home, const std::filesystem::path& backup,
                                     int64_t killAt, std::optional<std::chrono::microseconds> killAfter,
                                     int64_t killAtStage = 0) {
  gTicks->ticks = 0;
  gTicks->stages = 0;
  return testing::runInChild([&](int ready) { runChild(home, backup, killAt, killAtStage, ready); }, killAfter,
                             "the restore");
}

TEST(RestoreCrash, AKilledRestoreLeavesTheOldLedgerOrTheNewOneWhole) {
  testing::TempDir files(testing::memoryBackedFolder());
  void* mapping = ::mmap(nullptr, sizeof(ChildTicks), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  const std::unique_ptr<void, void (*)(void*)> unmap(mapping, [](void* p) { ::munmap(p, sizeof(ChildTicks)); });
  gTicks = new (mapping) ChildTicks;

  // The old ledger, and a backup of another one: both generated.
  const auto oldStore = files.path() / "old.sqlite";
  const auto backup = files.path() / "other.vnbak.gz";
  for (const bool isOld : {true, false}) {
    const auto home = files.path() / (isOld ? "old-home" : "other-home");
    auto ledger = Ledger::open(environmentOf(home), nullLog());
    ASSERT_TRUE(settingDefaultData(*ledger, 0));
    bench::generateLedger(*ledger, {.transactions = isOld ? 4000 : 6000, .years = 2, .seed = isOld ? 5u : 9u});
    if (isOld) {
      std::filesystem::copy_file(ledger->store().path(), oldStore);
    } else {
      BackupOptions options;
      options.gzip = true;
      ASSERT_TRUE(backupDB(*ledger, backup, options).isOk());
    }
  }
  auto lay = [&](const std::filesystem::path& home) {
    const Environment env = environmentOf(home);
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(env.documentsDir());
    std::filesystem::copy_file(oldStore, env.storePath());
  };

  // The two states a kill may leave, from one whole restore.
  const auto wholeHome = files.path() / "whole";
  lay(wholeHome);
  const testing::ChildOutcome whole = restoreInChild(wholeHome, backup, 0, std::nullopt);
  ASSERT_FALSE(whole.killed);
  const int64_t totalTicks = gTicks->ticks.load();
  const int64_t totalStages = gTicks->stages.load();
  ASSERT_GT(totalTicks, 100);
  ASSERT_GT(totalStages, 4);
  const uint64_t before = fingerprintOfFile(oldStore);
  const uint64_t after = fingerprintOfFile(environmentOf(wholeHome).storePath());
  ASSERT_NE(before, after);

  std::mt19937 random(kSeed);
  int sawBefore = 0, sawAfter = 0;
  const auto home = files.path() / "home";
  const Environment env = environmentOf(home);
  for (int round = 0; round < kRounds && !::testing::Test::HasFailure(); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    lay(home);
    // Even rounds stop at an exact VM step: anywhere, or, every other time,
    // in the last tenth, where the new ledger is checked and swapped in. Odd
    // ones stop after a delay: anywhere up to a quarter past the time the
    // whole restore took, or, every other time, around its end, where the
    // syncs and the rename are.
    // Every sixth round stops at one of the last two reports of progress,
    // around the moment the new ledger has taken the store's place.
    const bool fromInside = round % 2 == 0;
    int64_t killAt = 0;
    int64_t killAtStage = 0;
    std::optional<std::chrono::microseconds> killAfter;
    if (round % 6 == 5) {
      killAtStage = totalStages - static_cast<int64_t>(random() % 2);
    } else if (fromInside) {
      killAt = round % 4 == 0 ? 1 + static_cast<int64_t>(random() % totalTicks)
                              : totalTicks - static_cast<int64_t>(random() % (totalTicks / 10 + 1));
    } else {
      const int64_t wholeUs = whole.runTime.count();
      killAfter = std::chrono::microseconds(round % 4 == 1 ? random() % (wholeUs * 5 / 4 + 1)
                                                           : wholeUs * 4 / 5 + random() % (wholeUs * 3 / 5 + 1));
    }
    restoreInChild(home, backup, killAt, killAfter, killAtStage);

    uint64_t now = 0;
    {
      auto ledger = Ledger::open(env, nullLog());
      EXPECT_EQ(ledger->store().db().execAndGet("PRAGMA integrity_check").getString(), "ok");
    }
    now = fingerprintOfFile(env.storePath());
    ASSERT_TRUE(now == before || now == after) << "a state that is neither the old ledger nor the new one";
    (now == before ? sawBefore : sawAfter) += 1;
    // A safety copy that was published is the old ledger, whole.
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(env.documentsDir() / "InternalData", ec)) {
      if (e.path().extension() != ".vnbak") continue;
      EXPECT_EQ(fingerprintOfFile(e.path()), before) << e.path();
    }
    // What the killed restore left beside the store goes with the next one.
    removeLeftoverWorkFiles(env.storePath(), *nullLog());
    for (const auto& e : std::filesystem::directory_iterator(env.documentsDir())) {
      const std::string name = e.path().filename().string();
      EXPECT_TRUE(name == "varnel.sqlite" || name == "InternalData" || name == "temp") << name;
    }
  }
  std::cout << "[          ] " << kRounds << " kills: " << sawBefore << " before, " << sawAfter << " after\n";
  // Kills landed on both sides of the swap.
  EXPECT_GT(sawBefore, 0);
  EXPECT_GT(sawAfter, 0);

  // A restore after all that runs to its end.
  lay(home);
  ASSERT_FALSE(restoreInChild(home, backup, 0, std::nullopt).killed);
  EXPECT_EQ(fingerprintOfFile(env.storePath()), after);
}

}  // namespace
}  // namespace varnel
