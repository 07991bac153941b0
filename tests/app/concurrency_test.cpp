// Several `varnel` processes on one home at the same time, as when a script
// adds transactions while a person looks at the balances: every add is
// stored exactly once, every read sees the ledger as one whole commit left it
// (never a partial sum, never zero while rows exist), and processes that set
// up a fresh home at the same moment make exactly one ledger.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <iterator>
#include <latch>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <SQLiteCpp/SQLiteCpp.h>

#include "support/program_run.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::ProgramRun;
using testing::runVarnel;
using testing::TempDir;
using testing::varnelOptions;

constexpr int kWriters = 4;
constexpr int kAddsPerWriter = 200;
constexpr int kReaders = 4;

// Writers 0 and 1 add expenses of kExpense; writers 2 and 3 pay kTransfer
// from Cash to the credit card Card with a fee of kFee (three rows in one
// commit). The amounts are chosen so that every total tells both counts
// apart: expense total = kExpense·e + kFee·f, Cash = −(kExpense·e +
// (kTransfer + kFee)·f), Card's bills = kTransfer·f, with (kTransfer +
// kFee)·f below kExpense. The balance reads Cash and the card's bills with
// separate queries, so a read that is not one snapshot shows.
constexpr double kExpense = 10000;
constexpr double kTransfer = 3;
constexpr double kFee = 1;

const std::vector<std::string> kAddExpense = {"tx", "add", "expense", "--account", "Cash",
                                              "--category", "Food", "--amount", "10000",
                                              "--date", "2026-12-01T12:00"};
const std::vector<std::string> kAddTransfer = {"tx", "add", "transfer", "--account", "Cash",
                                               "--to", "Card", "--amount", "3", "--fee", "1",
                                               "--date", "2026-12-01T12:00"};

std::vector<std::string> command(const std::filesystem::path& home, const std::vector<std::string>& words,
                                 const std::string& now = "2026-12-10T09:00:00") {
  auto arguments = varnelOptions(home, now);
  arguments.insert(arguments.end(), words.begin(), words.end());
  return arguments;
}

// Counts of adds, by kind (0 expenses, 1 transfers): `started` goes up before
// the process is spawned, `done` after it exited 0. A read sees at least the
// adds done before it started and at most the adds started before it ended.
struct AddCounts {
  std::atomic<int> started[2] = {0, 0};
  std::atomic<int> done[2] = {0, 0};
};

// Splits a total of kExpense·e + part·f into (e, f); nullopt when it is no
// such sum.
std::optional<std::pair<int, int>> decompose(double total, double part) {
  if (total < 0 || total != std::floor(total)) return std::nullopt;
  const auto units = static_cast<int64_t>(total);
  const auto e = units / static_cast<int64_t>(kExpense);
  const auto rest = units % static_cast<int64_t>(kExpense);
  if (rest % static_cast<int64_t>(part) != 0) return std::nullopt;
  return std::pair<int, int>(static_cast<int>(e), static_cast<int>(rest / static_cast<int64_t>(part)));
}

class Problems {
 public:
  void add(std::string problem) {
    std::lock_guard lock(mutex_);
    if (list_.size() < 20) list_.push_back(std::move(problem));
    ++count_;
  }
  void report() const {
    for (const auto& p : list_) ADD_FAILURE() << p;
    EXPECT_EQ(count_, 0u) << "problems in all";
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> list_;
  size_t count_ = 0;
};

// Checks one read against the counts it may see; returns a problem or "".
std::string checkRead(bool totals, const ProgramRun& run, const int lo[2], const int hi[2]) {
  if (run.exitCode != 0 || !run.err.empty()) {
    return "exit " + std::to_string(run.exitCode) + ": " + run.err;
  }
  const auto json = nlohmann::json::parse(run.out, nullptr, false);
  std::optional<std::pair<int, int>> seen;
  if (totals) {
    if (!json.is_array() || json.size() != 3) return "not a totals array: " + run.out;
    const double income = json[0], expense = json[1], balance = json[2];
    if (income != 0 || balance != -expense) return "totals do not add up: " + run.out;
    seen = decompose(expense, kFee);
  } else {
    double cash = NAN, card = NAN;
    for (const auto& [key, entry] : json.items()) {
      if (entry.value("assetName", "") == "Cash") cash = entry.value("Money", NAN);
      if (entry.value("assetName", "") == "Card") {
        card = entry.value("displayPastPayAmount", NAN) + entry.value("LastMonthMoney", NAN) +
               entry.value("ThisMonthMoney", NAN);
      }
    }
    const auto fromCash = decompose(-cash, kTransfer + kFee);
    if (!fromCash || card != kTransfer * fromCash->second) {
      return "Cash and Card come from different commits: " + run.out;
    }
    seen = fromCash;
  }
  if (!seen) return "a sum that no whole set of adds makes: " + run.out;
  const int counts[2] = {seen->first, seen->second};
  for (int kind = 0; kind < 2; ++kind) {
    if (counts[kind] < lo[kind] || counts[kind] > hi[kind]) {
      return (kind ? "transfers " : "expenses ") + std::to_string(counts[kind]) + " outside " +
             std::to_string(lo[kind]) + ".." + std::to_string(hi[kind]) + ": " + run.out;
    }
  }
  return "";
}

TEST(Concurrency, ParallelAddsAreAllStoredAndParallelReadsSeeWholeCommits) {
  TempDir dir;
  const auto home = dir.path() / "home";
  ASSERT_EQ(runVarnel(command(home, {"init"})).exitCode, 0);

  AddCounts counts;
  Problems problems;
  std::atomic<int> writersLeft{kWriters};
  std::atomic<int> reads{0};
  std::latch start(kWriters + kReaders);
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      const int kind = w < kWriters / 2 ? 0 : 1;
      const auto arguments = command(home, kind == 1 ? kAddTransfer : kAddExpense);
      start.arrive_and_wait();
      for (int i = 0; i < kAddsPerWriter; ++i) {
        ++counts.started[kind];
        const ProgramRun run = runVarnel(arguments);
        // With a busy timeout of seconds, waiting for the other writers is
        // never a reason to fail.
        if (run.exitCode == 0) {
          ++counts.done[kind];
        } else {
          problems.add("writer " + std::to_string(w) + " add " + std::to_string(i) + ": exit " +
                       std::to_string(run.exitCode) + ": " + run.err);
        }
      }
      --writersLeft;
    });
  }
  for (int r = 0; r < kReaders; ++r) {
    threads.emplace_back([&, r] {
      const bool totals = r % 2 == 0;
      const auto arguments =
          totals ? command(home, {"--json", "totals", "--from", "2026-12-01", "--to", "2026-12-31"})
                 : command(home, {"--json", "balance"});
      start.arrive_and_wait();
      // One last read after the writers finished sees every add.
      for (bool last = false; !last;) {
        last = writersLeft == 0;
        const int lo[2] = {counts.done[0], counts.done[1]};
        const ProgramRun run = runVarnel(arguments);
        const int hi[2] = {counts.started[0], counts.started[1]};
        ++reads;
        if (auto problem = checkRead(totals, run, lo, hi); !problem.empty()) {
          problems.add("reader " + std::to_string(r) + ": " + problem);
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  problems.report();
  std::cout << "[          ] " << kWriters * kAddsPerWriter << " adds, " << reads << " reads\n";

  // Exactly the adds that succeeded are stored, each once.
  SQLite::Database db(testing::testEnvironment(home).storePath().string(), SQLite::OPEN_READONLY);
  auto count = [&](const std::string& where) {
    return db.execAndGet("SELECT COUNT(*) FROM ZINOUTCOME WHERE " + where).getInt();
  };
  EXPECT_EQ(count("ZDO_TYPE = '1' AND ZAMOUNT = 10000"), counts.done[0]);
  EXPECT_EQ(count("ZDO_TYPE = '3'"), counts.done[1]);
  EXPECT_EQ(count("ZDO_TYPE = '4'"), counts.done[1]);
  EXPECT_EQ(count("ZDO_TYPE = '1' AND ZAMOUNT = 1"), counts.done[1]);
  EXPECT_EQ(count("1"), counts.done[0] + 3 * counts.done[1]);
  EXPECT_EQ(db.execAndGet("SELECT COUNT(*) - COUNT(DISTINCT ZUID) FROM ZINOUTCOME").getInt(), 0);
  EXPECT_EQ(db.execAndGet("PRAGMA integrity_check").getString(), "ok");
}

// What a home holds, told without identifiers or file paths: the rows per
// table and the settings by kind and value.
std::string ledgerShape(const std::filesystem::path& store) {
  SQLite::Database db(store.string(), SQLite::OPEN_READONLY);
  std::string shape;
  SQLite::Statement tables(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
  while (tables.executeStep()) {
    const std::string table = tables.getColumn(0).getString();
    shape += table + " " + db.execAndGet("SELECT COUNT(*) FROM " + table).getString() + "\n";
  }
  SQLite::Statement settings(
      db, "SELECT ZDATATYPE, COUNT(*), GROUP_CONCAT(ZDATA, '|') FROM "
          "(SELECT ZDATATYPE, ZDATA FROM ZETC ORDER BY ZDATATYPE, ZDATA) GROUP BY ZDATATYPE");
  while (settings.executeStep()) {
    shape += "setting " + settings.getColumn(0).getString() + " x" + settings.getColumn(1).getString() +
             " " + settings.getColumn(2).getString() + "\n";
  }
  return shape;
}

std::string readText(const std::filesystem::path& file) {
  std::ifstream in(file);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Processes that find no ledger each set one up in a file of their own and
// publish it only when done; the ones that lose the race run again on the
// published one. One ledger comes out, with every add in it, and the device
// preferences are those its set-up wrote: a losing set-up must leave no
// trace. The set-up variant is drawn from the clock, so each process gets a
// different time and the variants differ in their preferences.
TEST(Concurrency, ProcessesStartingOnAFreshHomeAtOnceMakeOneLedger) {
  constexpr int kRounds = 6;
  const std::string nows[] = {"2026-12-10T09:00:00", "2026-12-10T09:00:01", "2026-12-10T09:00:07"};
  TempDir dir;
  // What each of the three set-ups makes, alone, with two expenses added.
  struct Reference {
    std::string shape;
    std::string preferences;
  };
  std::vector<Reference> references;
  for (const auto& now : nows) {
    const auto home = dir.path() / ("reference" + std::to_string(references.size()));
    ASSERT_EQ(runVarnel(command(home, {"init"}, now)).exitCode, 0);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(runVarnel(command(home, kAddExpense, now)).exitCode, 0);
    const Environment env = testing::testEnvironment(home);
    references.push_back(
        {ledgerShape(env.storePath()), readText(env.appSupportDir() / "preferences.json")});
  }
  // Told apart by their ledgers, and each with preferences of its own.
  for (size_t a = 0; a < references.size(); ++a) {
    for (size_t b = a + 1; b < references.size(); ++b) {
      ASSERT_NE(references[a].shape, references[b].shape) << nows[a] << " " << nows[b];
      ASSERT_NE(references[a].preferences, references[b].preferences) << nows[a] << " " << nows[b];
    }
  }

  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const auto home = dir.path() / ("home" + std::to_string(round));
    // Two set the ledger up, two add an expense to it.
    const std::vector<std::string> processes[] = {
        command(home, {"init"}, nows[0]), command(home, kAddExpense, nows[1]),
        command(home, {"init"}, nows[2]), command(home, kAddExpense, nows[0])};
    std::vector<ProgramRun> runs(std::size(processes));
    std::latch start(static_cast<std::ptrdiff_t>(std::size(processes)));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < std::size(processes); ++i) {
      threads.emplace_back([&, i] {
        start.arrive_and_wait();
        runs[i] = runVarnel(processes[i]);
      });
    }
    for (auto& t : threads) t.join();

    int setUp = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(runs[i].exitCode, 0) << i << ": " << runs[i].err;
      EXPECT_EQ(runs[i].err, "") << i;
      if (runs[i].out.rfind("Set up a new ledger", 0) == 0) ++setUp;
    }
    EXPECT_LE(setUp, 1);
    const Environment env = testing::testEnvironment(home);
    const std::string shape = ledgerShape(env.storePath());
    const auto winner = std::find_if(references.begin(), references.end(),
                                     [&](const Reference& r) { return r.shape == shape; });
    ASSERT_NE(winner, references.end()) << "a ledger none of the set-ups makes alone:\n" << shape;
    EXPECT_EQ(readText(env.appSupportDir() / "preferences.json"), winner->preferences);
    // Nothing was repaired, and no set-up file was left behind.
    EXPECT_FALSE(std::filesystem::exists(env.documentsDir() / "InternalData"));
    for (const auto& entry : std::filesystem::directory_iterator(env.documentsDir())) {
      EXPECT_EQ(entry.path().filename(), "varnel.sqlite");
    }
    if (HasFailure()) break;
  }
}

}  // namespace
}  // namespace varnel
