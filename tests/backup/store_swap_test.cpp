#include "backup/store_swap.h"

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include "model/ledger.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::readBytes;
using testing::writeBytes;

// The names of the categories of a store, as one text.
std::string categoryNames(SQLite::Database& db) {
  SQLite::Statement rows(db, "SELECT ZNAME FROM ZCATEGORY ORDER BY Z_PK");
  std::string names;
  while (rows.executeStep()) names += rows.getColumn(0).getString() + ";";
  return names;
}

class StoreSwapTest : public testing::LedgerTest {
 protected:
  std::filesystem::path store() { return ledger_->store().path(); }

  // A ledger store beside the store, holding one category named `name`.
  std::filesystem::path makeCandidate(const std::string& name) {
    const auto path = workFilePath(store(), "candidate");
    {
      auto other = Ledger::open(ledger_->env(), log_, path);
      SQLite::Statement insert(other->store().db(), "INSERT INTO ZCATEGORY (ZUID, ZNAME) VALUES (?, ?)");
      insert.bind(1, "C-" + name);
      insert.bind(2, name);
      insert.exec();
    }
    return path;
  }
};

TEST_F(StoreSwapTest, ReplacesTheOpenLedgerAndKeepsTheOldOneAsASafetyCopy) {
  ledger_->store().db().exec("INSERT INTO ZCATEGORY (ZUID, ZNAME) VALUES ('C-old', 'Old')");
  const std::string oldBytes = readBytes(store());
  const auto candidate = makeCandidate("New");

  auto swapped = replaceLedgerStore(ledger_, candidate);
  ASSERT_TRUE(swapped.isOk()) << swapped.status().message();
  ASSERT_TRUE(ledger_);
  EXPECT_EQ(categoryNames(ledger_->store().db()), "New;");
  EXPECT_FALSE(std::filesystem::exists(candidate));
  ASSERT_TRUE(swapped->safetyCopy);
  EXPECT_EQ(swapped->safetyCopy->filename().string().rfind("beforeRestore_20261210_", 0), 0u);
  SQLite::Database copy(swapped->safetyCopy->string(), SQLite::OPEN_READONLY);
  EXPECT_EQ(categoryNames(copy), "Old;");
  // Nothing is left beside the store: no candidate, no link to the old file.
  for (const auto& entry : std::filesystem::directory_iterator(store().parent_path())) {
    EXPECT_TRUE(entry.path() == store() || entry.is_directory()) << entry.path();
  }
  EXPECT_NE(readBytes(store()), oldBytes);
}

TEST_F(StoreSwapTest, RefusesABadCandidateAndLeavesTheLedgerByteForByte) {
  ledger_->store().db().exec("INSERT INTO ZCATEGORY (ZUID, ZNAME) VALUES ('C-old', 'Old')");
  const struct {
    const char* name;
    std::function<void(const std::filesystem::path&)> spoil;
    const char* reason;
  } cases[] = {
      {"empty file", [](const auto& p) { writeBytes(p, ""); }, "it is empty"},
      {"text", [](const auto& p) { writeBytes(p, "date\tamount\n"); }, "not a database"},
      {"another application's database",
       [](const auto& p) {
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE);
         db.exec("PRAGMA application_id = 0");
       },
       "not a Varnel ledger store"},
      {"a table missing",
       [](const auto& p) {
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE);
         db.exec("DROP TABLE ZBUDGET");
       },
       "no table ZBUDGET"},
      {"a newer schema",
       [](const auto& p) {
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE);
         db.exec("PRAGMA user_version = " + std::to_string(Store::kSchemaVersion + 1));
       },
       "store schema"},
      {"a data version that is no number",
       [](const auto& p) {
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE);
         db.exec("INSERT INTO ZETC (ZUID, ZDATATYPE, ZDATA) VALUES ('V', 273, '21x4')");
       },
       "data version \"21x4\""},
      {"a damaged page",
       [](const auto& p) {
         {
           SQLite::Database db(p.string(), SQLite::OPEN_READWRITE);
           db.exec("CREATE TABLE filler (x)");
           db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
                   "INSERT INTO filler SELECT randomblob(100) FROM n");
         }
         std::string bytes = readBytes(p);
         // Garbage over a page of the filler, the last table written, so that
         // the schema (which grows with the store's tables) stays readable.
         for (size_t i = bytes.size() - 3 * 4096; i < bytes.size() - 2 * 4096; ++i) bytes[i] = '\x5a';
         writeBytes(p, bytes);
       },
       "quick_check"},
  };
  const std::string before = readBytes(store());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto candidate = makeCandidate("New");
    c.spoil(candidate);
    auto swapped = replaceLedgerStore(ledger_, candidate);
    ASSERT_FALSE(swapped.isOk());
    EXPECT_EQ(swapped.status().code(), StatusCode::kInvalidInput);
    EXPECT_NE(swapped.status().message().find(c.reason), std::string::npos) << swapped.status().message();
    ASSERT_TRUE(ledger_);
    EXPECT_EQ(readBytes(store()), before);
    EXPECT_EQ(categoryNames(ledger_->store().db()), "Old;");
    EXPECT_FALSE(std::filesystem::exists(internalDataDir(ledger_->env())));
    std::filesystem::remove(candidate);
  }
}

TEST_F(StoreSwapTest, AWriteOfAnotherConnectionAfterTheSwapFailsInsteadOfLandingInTheOldFile) {
  const auto path = store();
  const Environment env = ledger_->env();
  ledger_.reset();
  SQLite::Database other(path.string(), SQLite::OPEN_READWRITE);
  other.setBusyTimeout(Store::kBusyTimeoutMs);
  EXPECT_EQ(other.execAndGet("SELECT COUNT(*) FROM ZCATEGORY").getInt(), 0);

  const auto candidate = workFilePath(path, "candidate");
  Ledger::open(env, log_, candidate).reset();
  auto swapped = replaceStoreFile(env, *log_, path, candidate);
  ASSERT_TRUE(swapped.isOk()) << swapped.status().message();

  try {
    other.exec("INSERT INTO ZCATEGORY (ZUID, ZNAME) VALUES ('lost', 'Lost')");
    ADD_FAILURE() << "a write into the replaced file succeeded";
  } catch (const SQLite::Exception& e) {
    EXPECT_EQ(e.getExtendedErrorCode(), SQLITE_READONLY_DBMOVED) << e.what();
  }
  SQLite::Database now(path.string(), SQLite::OPEN_READONLY);
  EXPECT_EQ(now.execAndGet("SELECT COUNT(*) FROM ZCATEGORY WHERE ZUID = 'lost'").getInt(), 0);
}

TEST_F(StoreSwapTest, AStoreTooDamagedToReadIsKeptByteForByteAndReplaced) {
  const auto path = store();
  const Environment env = ledger_->env();
  ledger_.reset();
  const std::string garbage = "SQLite format 3" + std::string(4000, '\x7f');
  writeBytes(path, garbage);
  const auto candidate = workFilePath(path, "candidate");
  Ledger::open(env, log_, candidate).reset();

  auto swapped = replaceStoreFile(env, *log_, path, candidate);
  ASSERT_TRUE(swapped.isOk()) << swapped.status().message();
  ASSERT_TRUE(swapped->safetyCopy);
  EXPECT_NE(swapped->safetyCopy->filename().string().find("damaged"), std::string::npos);
  EXPECT_EQ(readBytes(*swapped->safetyCopy), garbage);
  EXPECT_NO_THROW(Ledger::open(env, log_, path));
}

TEST_F(StoreSwapTest, LeftoverWorkFilesOfStoppedProcessesAreRemovedAndThoseOfRunningOnesKept) {
  const pid_t child = ::fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  const auto folder = store().parent_path();
  const std::string name = "." + store().filename().string();
  const auto dead = folder / (name + ".candidate-" + std::to_string(child) + "-00ff");
  const auto deadJournal = folder / (name + ".old-" + std::to_string(child) + "-00ff-journal");
  const auto alive = folder / (name + ".gunzip-" + std::to_string(::getpid()) + "-00ff");
  const auto unrelated = folder / (name + ".new-" + std::to_string(child));
  for (const auto& p : {dead, deadJournal, alive, unrelated}) writeBytes(p, "x");

  EXPECT_EQ(removeLeftoverWorkFiles(store(), *log_), 2);
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_FALSE(std::filesystem::exists(deadJournal));
  EXPECT_TRUE(std::filesystem::exists(alive));
  EXPECT_TRUE(std::filesystem::exists(unrelated));
}

}  // namespace
}  // namespace varnel
