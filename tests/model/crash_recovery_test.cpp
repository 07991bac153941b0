// A process killed in the middle of a write must never cost the ledger: the
// next open rolls the cut-short write back, and every read, through the
// library or the program, sees the whole state before the write or the whole
// state after it. A child process runs a large write on a generated ledger
// and is killed with SIGKILL at many points chosen from a fixed seed: after a
// number of SQLite VM steps (from inside, so the point is exact) or after a
// delay (from outside, which also reaches the commit's own file work). The
// child's page cache is kept tiny so that pages spill into the store file
// before the commit and a kill leaves a truly hot journal. The files live in
// memory where the system allows: a killed process loses nothing it wrote,
// synced or not, and the thousands of syncs of the spills would otherwise
// take minutes.
#include <signal.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include <gtest/gtest.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "bench/ledger_generator.h"
#include "ledger/currency_repository.h"
#include "ledger/in_out_come_repository.h"
#include "model/uid_repair.h"
#include "setup/initial_data.h"
#include "support/program_run.h"
#include "support/child_process.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::readBytes;
using testing::writeBytes;

using testing::runVarnel;
using testing::TempDir;
using testing::varnelOptions;

// Big enough that each write touches far more pages than the child's cache
// holds.
constexpr int64_t kTransactions = 20000;
constexpr int kRoundsPerWrite = 20;
// VM instructions between two looks at the kill switch: small enough that a
// kill can land inside any statement.
constexpr int kProgressPeriod = 50;
constexpr int kChildCachePages = 16;
constexpr uint32_t kSeed = 20261210;

enum class Write { kMainCurrencyChange, kBulkContentEdit, kDuplicateUidRepair };

std::shared_ptr<spdlog::logger> nullLog() {
  return std::make_shared<spdlog::logger>("null", std::make_shared<spdlog::sinks::null_sink_mt>());
}

Environment environmentOf(const std::filesystem::path& home) {
  // The same clock, zone and locale as the program runs get.
  return testing::testEnvironment(home, {.locale = "en_US", .lang = "en", .region = "US"});
}

// A hash of every row of the tables the writes change, with the type of each
// value, so that a row half-changed or a NULL become '' shows.
uint64_t fingerprint(SQLite::Database& db) {
  uint64_t hash = 1469598103934665603ull;
  auto mix = [&hash](const void* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      hash = (hash ^ static_cast<const unsigned char*>(data)[i]) * 1099511628211ull;
    }
  };
  for (const char* table : {"ZINOUTCOME", "ZCURRENCY", "ZASSET"}) {
    SQLite::Statement rows(db, std::string("SELECT * FROM ") + table + " ORDER BY Z_PK");
    while (rows.executeStep()) {
      for (int i = 0; i < rows.getColumnCount(); ++i) {
        const SQLite::Column value = rows.getColumn(i);
        const int type = value.getType();
        mix(&type, sizeof type);
        mix(value.getBlob(), static_cast<size_t>(value.getBytes()));
      }
      mix("\n", 1);
    }
  }
  return hash;
}

uint64_t fingerprintOfFile(const std::filesystem::path& store) {
  SQLite::Database db(store.string(), SQLite::OPEN_READONLY);
  return fingerprint(db);
}

// --- The child ---------------------------------------------------------------

// Shared with the parent through an anonymous shared mapping.
struct ChildTicks {
  std::atomic<int64_t> ticks{0};
};

struct KillSwitch {
  ChildTicks* shared;
  int64_t killAt;  // 0: never
};

int onProgress(void* argument) {
  auto* kill = static_cast<KillSwitch*>(argument);
  const int64_t ticks = kill->shared->ticks.fetch_add(1, std::memory_order_relaxed) + 1;
  if (kill->killAt > 0 && ticks >= kill->killAt) ::raise(SIGKILL);
  return 0;
}

// Runs one write on the home's store and leaves through _exit: 0 when the
// write succeeded, 3 when it reported a failure, 4 when it threw. Tells the
// parent through `readyFd` the moment the write begins.
[[noreturn]] void runChild(const std::filesystem::path& home, Write write, int64_t killAt,
                           int readyFd, ChildTicks* shared) {
  int code = 0;
  try {
    const Environment env = environmentOf(home);
    KillSwitch kill{shared, killAt};
    auto arm = [&](sqlite3* handle) {
      // A tiny page cache spills changed pages into the store file long
      // before the commit.
      sqlite3_exec(handle, ("PRAGMA cache_size = " + std::to_string(kChildCachePages)).c_str(),
                   nullptr, nullptr, nullptr);
      sqlite3_progress_handler(handle, kProgressPeriod, onProgress, &kill);
      const char ready = 'r';
      if (::write(readyFd, &ready, 1) != 1) _exit(5);
    };
    if (write == Write::kDuplicateUidRepair) {
      // As the repair runs: on a connection of its own to the store file.
      SQLite::Database db(env.storePath().string(), SQLite::OPEN_READWRITE);
      db.setBusyTimeout(Store::kBusyTimeoutMs);
      arm(db.getHandle());
      fixNotUniqueUid(db, *nullLog());
    } else {
      auto ledger = Ledger::open(env, nullLog());
      if (write == Write::kMainCurrencyChange) {
        arm(ledger->store().db().getHandle());
        code = CurrencyRepository(*ledger).changeMainCurrency("EUR").ok() ? 0 : 3;
      } else {
        InOutComeRepository repo(*ledger);
        const auto records =
            repo.fetch<InOutCome>(" WHERE (ZISDEL IS NULL OR ZISDEL != 1) AND Z_PK % 3 = 0");
        arm(ledger->store().db().getHandle());
        code = repo.updateContentInOutComeArray(records, "Checked after the crash").ok() ? 0 : 3;
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "the write threw: %s\n", e.what());
    code = 4;
  } catch (...) {
    code = 4;
  }
  _exit(code);
}

// Forks a child for the write. It kills itself after `killAt` progress
// ticks, or the parent kills it `killAfter` after the write began.
testing::ChildOutcome runWriteInChild(const std::filesystem::path& home, Write write, int64_t killAt,
                                      std::optional<std::chrono::microseconds> killAfter, ChildTicks* shared) {
  shared->ticks = 0;
  return testing::runInChild([&](int ready) { runChild(home, write, killAt, ready, shared); }, killAfter,
                             "the write");
}

// --- The parent ----------------------------------------------------------------

// The read commands checked after every kill. Their output must be the
// output of the state the store is found in.
const std::vector<std::vector<std::string>>& readCommands() {
  static const std::vector<std::vector<std::string>> kCommands = {
      {"--json", "balance"},
      {"--json", "totals", "--from", "2024-01-01", "--to", "2026-12-31"},
      {"tx", "list", "--from", "2026-10-01", "--to", "2026-12-10"},
  };
  return kCommands;
}

std::vector<std::string> withOptions(const std::filesystem::path& home,
                                     const std::vector<std::string>& command) {
  auto arguments = varnelOptions(home);
  arguments.insert(arguments.end(), command.begin(), command.end());
  return arguments;
}

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& w : words) text += (text.empty() ? "" : " ") + w;
  return text;
}

// Written once: a default ledger with a generated history, and the same with
// every third transaction carrying the identifier of the one before it (as
// older releases left them; the unique index is dropped so it still opens).
class CrashRecovery : public ::testing::TestWithParam<Write> {
 protected:
  static void SetUpTestSuite() {
    files_ = new TempDir(testing::memoryBackedFolder());
    const auto home = files_->path() / "generated";
    {
      auto ledger = Ledger::open(environmentOf(home), nullLog());
      ASSERT_TRUE(settingDefaultData(*ledger, 0));
      bench::generateLedger(*ledger, {.transactions = kTransactions, .years = 3, .seed = 5});
      // The currency the main-currency change moves to, with the rate that
      // restates the stored amounts.
      ASSERT_TRUE(CurrencyRepository(*ledger).addCurrencyRate("USD", "EUR", 1.08, true));
    }
    std::filesystem::copy_file(environmentOf(home).storePath(), files_->path() / "ledger.sqlite");
    std::filesystem::copy_file(environmentOf(home).storePath(), files_->path() / "duplicates.sqlite");
    SQLite::Database db((files_->path() / "duplicates.sqlite").string(), SQLite::OPEN_READWRITE);
    db.exec("DROP INDEX ZINOUTCOME_ZUID_UNIQUE");
    db.exec("UPDATE ZINOUTCOME SET ZUID = (SELECT p.ZUID FROM ZINOUTCOME p "
            "WHERE p.Z_PK = ZINOUTCOME.Z_PK - 1) WHERE Z_PK % 3 = 0");
  }
  static void TearDownTestSuite() {
    delete files_;
    files_ = nullptr;
  }

  static std::filesystem::path pristine(Write write) {
    return files_->path() / (write == Write::kDuplicateUidRepair ? "duplicates.sqlite" : "ledger.sqlite");
  }

  // Puts the write's starting store into `home`, with nothing beside it.
  static void lay(const std::filesystem::path& home, Write write) {
    const Environment env = environmentOf(home);
    std::filesystem::create_directories(env.documentsDir());
    std::filesystem::copy_file(pristine(write), env.storePath(),
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::remove(env.storePath().string() + "-journal");
    std::filesystem::remove_all(env.documentsDir() / "InternalData");
  }

  static TempDir* files_;
};

TempDir* CrashRecovery::files_ = nullptr;

TEST_P(CrashRecovery, EveryReadAfterAKillSeesTheWholeStateBeforeOrAfterTheWrite) {
  const Write write = GetParam();
  TempDir dir(testing::memoryBackedFolder());
  void* mapping =
      ::mmap(nullptr, sizeof(ChildTicks), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  const std::unique_ptr<void, void (*)(void*)> unmap(mapping, [](void* p) { ::munmap(p, sizeof(ChildTicks)); });
  auto* shared = new (mapping) ChildTicks;

  // The two states a reader may see, from running the write once, whole.
  const auto afterHome = dir.path() / "after";
  lay(afterHome, write);
  const testing::ChildOutcome whole = runWriteInChild(afterHome, write, 0, std::nullopt, shared);
  ASSERT_FALSE(whole.killed);
  const int64_t totalTicks = shared->ticks.load();
  ASSERT_GT(totalTicks, 100);
  const uint64_t before = fingerprintOfFile(pristine(write));
  const uint64_t after = fingerprintOfFile(environmentOf(afterHome).storePath());
  ASSERT_NE(before, after);

  const auto home = dir.path() / "home";
  const Environment env = environmentOf(home);
  const auto store = env.storePath();
  const auto journal = store.string() + "-journal";
  lay(home, write);
  // What each read command prints in either state.
  std::vector<std::string> expected[2];
  for (const auto& command : readCommands()) {
    for (int state = 0; state < 2; ++state) {
      const auto run = runVarnel(withOptions(state == 0 ? home : afterHome, command));
      ASSERT_EQ(run.exitCode, 0) << joined(command) << ": " << run.err;
      expected[state].push_back(run.out);
    }
  }
  const std::string pristineBytes = readBytes(pristine(write));

  std::mt19937 random(kSeed + static_cast<uint32_t>(write));
  int sawBefore = 0, sawAfter = 0, hotJournalsRolledBack = 0;
  for (int round = 0; round < kRoundsPerWrite && !HasFailure(); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    lay(home, write);
    // Even rounds stop at an exact VM step. Odd ones stop after a delay:
    // anywhere up to a quarter past the time the whole write took, or, every
    // other time, around its end, where the commit writes the store and
    // deletes the journal.
    const bool fromInside = round % 2 == 0;
    const int64_t killAt = fromInside ? 1 + static_cast<int64_t>(random() % totalTicks) : 0;
    std::optional<std::chrono::microseconds> killAfter;
    if (!fromInside) {
      const int64_t wholeUs = whole.runTime.count();
      killAfter = std::chrono::microseconds(
          round % 4 == 1 ? random() % (wholeUs * 5 / 4 + 1)
                         : wholeUs * 4 / 5 + random() % (wholeUs * 3 / 5 + 1));
    }
    runWriteInChild(home, write, killAt, killAfter, shared);

    const bool journalLeft = std::filesystem::exists(journal);
    if (journalLeft && readBytes(store) != pristineBytes) ++hotJournalsRolledBack;

    // Half the rounds are first opened by the program, half by the library:
    // either must roll the interrupted write back.
    const bool programFirst = (round / 2) % 2 == 1;
    auto runReads = [&] {
      std::vector<testing::ProgramRun> runs;
      for (const auto& command : readCommands()) runs.push_back(runVarnel(withOptions(home, command)));
      const auto info = runVarnel(withOptions(home, {"store", "info"}));
      EXPECT_EQ(info.exitCode, 0) << info.err;
      return runs;
    };
    std::vector<testing::ProgramRun> reads;
    if (programFirst) reads = runReads();

    int state = -1;
    {
      auto ledger = Ledger::open(env, nullLog());
      EXPECT_FALSE(std::filesystem::exists(journal));
      const uint64_t now = fingerprint(ledger->store().db());
      EXPECT_TRUE(now == before || now == after) << "a state that is neither before nor after";
      state = now == before ? 0 : now == after ? 1 : -1;
      EXPECT_EQ(ledger->store().db().execAndGet("PRAGMA integrity_check").getString(), "ok");
    }
    if (state < 0) break;
    (state == 0 ? sawBefore : sawAfter) += 1;
    if (!programFirst) reads = runReads();
    for (size_t i = 0; i < reads.size(); ++i) {
      const std::string command = joined(readCommands()[i]);
      EXPECT_EQ(reads[i].exitCode, 0) << command << ": " << reads[i].err;
      EXPECT_EQ(reads[i].err, "") << command;
      EXPECT_EQ(reads[i].out, expected[state][i]) << command;
    }
    EXPECT_FALSE(std::filesystem::exists(journal));
    EXPECT_FALSE(std::filesystem::exists(store.string() + "-wal"));
  }
  std::cout << "[          ] " << kRoundsPerWrite << " kills: " << sawBefore << " before, "
            << sawAfter << " after, " << hotJournalsRolledBack
            << " hot journals over a changed store rolled back\n";
  // The test is only worth its time when kills left changed pages in the
  // store file for the open to undo.
  EXPECT_GT(hotJournalsRolledBack, 0);
}

INSTANTIATE_TEST_SUITE_P(Writes, CrashRecovery,
                         ::testing::Values(Write::kMainCurrencyChange, Write::kBulkContentEdit,
                                           Write::kDuplicateUidRepair),
                         [](const auto& info) {
                           switch (info.param) {
                             case Write::kMainCurrencyChange: return std::string("MainCurrencyChange");
                             case Write::kBulkContentEdit: return std::string("BulkContentEdit");
                             case Write::kDuplicateUidRepair: return std::string("DuplicateUidRepair");
                           }
                           return std::string();
                         });

}  // namespace
}  // namespace varnel
