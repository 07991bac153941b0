#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <unordered_set>
#include <vector>

#include <gtest/gtest.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include "bench/duplicate_uid_store.h"
#include "bench/ledger_generator.h"
#include "model/base_repository.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "model/search_index.h"
#include "setup/initial_data.h"
#include "support/program_run.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::readBytes;
using testing::writeBytes;

using testing::LedgerTest;
using testing::TempDir;
using testing::testEnvironment;

// Every row of every table of an SQLite file, as text: what a copy must hold.
// Without `withSearchIndex`, the tables of the text search index (an index,
// whose pages an upgrade adds) are left out.
std::string contentOf(const std::filesystem::path& p, bool withSearchIndex = true) {
  SQLite::Database db(p.string(), SQLite::OPEN_READONLY);
  std::string out;
  SQLite::Statement tables(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
  while (tables.executeStep()) {
    const std::string table = tables.getColumn(0).getString();
    if (!withSearchIndex && table.starts_with(search_index::kTable)) continue;
    out += "[" + table + "]";
    // Sorted here: the text index keeps tables without row ids.
    std::vector<std::string> lines;
    SQLite::Statement rows(db, "SELECT * FROM " + table);
    while (rows.executeStep()) {
      std::string line;
      for (int i = 0; i < rows.getColumnCount(); ++i) line += rows.getColumn(i).getString() + "|";
      lines.push_back(line + "\n");
    }
    std::sort(lines.begin(), lines.end());
    for (const auto& line : lines) out += line;
  }
  return out;
}

std::shared_ptr<spdlog::logger> nullLog() {
  return std::make_shared<spdlog::logger>("null", std::make_shared<spdlog::sinks::null_sink_mt>());
}

TEST_F(LedgerTest, NewStoreHasEveryTableAndColumnAndDeleteJournal) {
  auto& db = ledger_->store().db();
  EXPECT_EQ(db.execAndGet("PRAGMA journal_mode").getString(), "delete");
  EXPECT_EQ(db.execAndGet("PRAGMA user_version").getInt(), Store::kSchemaVersion);
  for (const auto& schema : allTableSchemas()) {
    EXPECT_TRUE(ledger_->store().columnExists(schema.table, "Z_PK")) << schema.table;
    for (const auto& [column, type] : schema.columns) {
      EXPECT_TRUE(ledger_->store().columnExists(schema.table, column)) << schema.table << "." << column;
    }
  }
  EXPECT_EQ(allTableSchemas().size(), 19u);
  EXPECT_TRUE(ledger_->store().columnExists("ZINOUTCOME", "ZDO_TYPE"));
  EXPECT_TRUE(ledger_->store().columnExists("ZASSET", "ZCARD_DAYFIN"));
  EXPECT_TRUE(ledger_->store().columnExists("ZINOUTCOME", "ZTXUIDTRANS"));
  EXPECT_TRUE(ledger_->store().columnExists("ZMESSAGEMACRO2", "ZUSEYN"));
  EXPECT_TRUE(ledger_->openReport().created);
}

// Files the store must refuse, each left byte-for-byte as it was.
TEST(StoreRefusal, ForeignFilesAreRefusedAndLeftUnchanged) {
  struct Case {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
    const char* reason;
  };
  const Case cases[] = {
      {"text file",
       [](const auto& p) { std::ofstream(p) << "Date,Amount\n2026-01-01,5\n"; },
       "not a ledger store"},
      {"other database",
       [](const auto& p) {
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
         db.exec("CREATE TABLE photos (id INTEGER PRIMARY KEY, name TEXT)");
         db.exec("INSERT INTO photos (name) VALUES ('cat.jpg')");
       },
       "without ledger tables"},
      {"newer schema",
       [](const auto& p) {
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
         db.exec("CREATE TABLE ZETC (Z_PK INTEGER PRIMARY KEY, ZUID VARCHAR)");
         db.exec("PRAGMA user_version = 99");
       },
       "newer version"},
      {"other application",
       [](const auto& p) {
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
         db.exec("CREATE TABLE ZETC (Z_PK INTEGER PRIMARY KEY, ZUID VARCHAR)");
         db.exec("PRAGMA application_id = 42");
       },
       "another application"},
      // Any open that may write would create -wal and -shm files beside it.
      {"other database in WAL mode",
       [](const auto& p) {
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
         EXPECT_EQ(db.execAndGet("PRAGMA journal_mode = WAL").getString(), "wal");
         db.exec("CREATE TABLE photos (id INTEGER PRIMARY KEY, name TEXT)");
         db.exec("INSERT INTO photos (name) VALUES ('cat.jpg')");
       },
       "without ledger tables"},
      {"negative schema version",
       [](const auto& p) {
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
         db.exec("CREATE TABLE ZETC (Z_PK INTEGER PRIMARY KEY, ZUID VARCHAR)");
         db.exec("PRAGMA user_version = -1");
       },
       "invalid store schema -1"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const Environment env = testEnvironment(dir.path());
    std::filesystem::create_directories(env.documentsDir());
    c.make(env.storePath());
    const std::string before = readBytes(env.storePath());
    try {
      Ledger::open(env, nullLog());
      ADD_FAILURE() << c.name << " was opened";
    } catch (const UnusableStoreError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << c.name << ": " << e.what();
    }
    // The program refuses it as bad input, with the same reason.
    auto arguments = testing::varnelOptions(dir.path());
    arguments.push_back("balance");
    const auto run = testing::runVarnel(arguments);
    EXPECT_EQ(run.exitCode, 2) << c.name << ": " << run.err;
    EXPECT_NE(run.err.find(c.reason), std::string::npos) << c.name << ": " << run.err;
    EXPECT_EQ(run.out, "") << c.name;

    EXPECT_EQ(readBytes(env.storePath()), before) << c.name;
    for (const char* beside : {"-journal", "-wal", "-shm"}) {
      EXPECT_FALSE(std::filesystem::exists(env.storePath().string() + beside)) << c.name << beside;
    }
  }
}

// A write killed before its journal was first synced leaves a journal with
// a header of zeros, which SQLite ignores but never removed: it stayed
// beside the store after every later open. A journal that a writer in
// another process is using must stay, and opening must not wait for it.
TEST(StoreOpen, AStaleJournalIsRemovedAndAWritersJournalIsLeftAlone) {
  TempDir dir;
  const Environment env = testEnvironment(dir.path());
  { Ledger::open(env, nullLog()); }
  const std::string journal = env.storePath().string() + "-journal";
  const std::string before = contentOf(env.storePath());
  std::ofstream(journal, std::ios::binary) << std::string(512, '\0') << "records that never counted";
  { Ledger::open(env, nullLog()); }
  EXPECT_FALSE(std::filesystem::exists(journal));
  EXPECT_EQ(contentOf(env.storePath()), before);

  SQLite::Database writer(env.storePath().string(), SQLite::OPEN_READWRITE);
  writer.exec("BEGIN IMMEDIATE TRANSACTION");
  writer.exec("INSERT INTO ZMEMO (ZUID) VALUES ('written meanwhile')");
  ASSERT_TRUE(std::filesystem::exists(journal));
  { Ledger::open(env, nullLog()); }
  EXPECT_TRUE(std::filesystem::exists(journal));
  writer.exec("COMMIT TRANSACTION");
  EXPECT_EQ(writer.execAndGet("SELECT COUNT(*) FROM ZMEMO WHERE ZUID = 'written meanwhile'").getInt(), 1);
  EXPECT_FALSE(std::filesystem::exists(journal));
}

TEST(StoreOpen, UnwritableFolderIsAClearError) {
  TempDir dir;
  std::ofstream(dir.path() / "file") << "x";
  // The home is below a plain file, so no folder can be made there.
  const Environment env = testEnvironment(dir.path() / "file" / "home");
  EXPECT_THROW(Ledger::open(env, nullLog()), StoreError);
}

TEST(StoreOpen, OlderStoreGetsMissingTablesAndColumnsAndKeepsItsRows) {
  TempDir dir;
  const Environment env = testEnvironment(dir.path());
  std::filesystem::create_directories(env.documentsDir());
  {
    SQLite::Database db(env.storePath().string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec("CREATE TABLE ZINOUTCOME (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, ZUID VARCHAR, "
            "ZDO_TYPE VARCHAR, ZAMOUNT FLOAT)");
    db.exec("INSERT INTO ZINOUTCOME (Z_ENT, ZUID, ZDO_TYPE, ZAMOUNT) VALUES (3, 'A', '1', 9.5)");
  }
  auto ledger = Ledger::open(env, nullLog());
  BaseRepository repo(*ledger);
  auto tx = repo.dataByUid<InOutCome>("A");
  ASSERT_TRUE(tx);
  EXPECT_EQ(tx->amount, 9.5);
  EXPECT_FALSE(tx->amountAccount.has_value());
  EXPECT_TRUE(ledger->store().columnExists("ZINOUTCOME", "Z_ENT"));  // foreign columns are kept
  EXPECT_TRUE(ledger->store().tableExists("ZMEMO"));
}

// A foreign-made store with every kind of duplicate the repair handles.
void writeDuplicatedStore(const std::filesystem::path& path, int copies) {
  SQLite::Database db(path.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  for (const auto& schema : allTableSchemas()) {
    std::string sql = "CREATE TABLE " + schema.table + " (Z_PK INTEGER PRIMARY KEY";
    for (const auto& [column, type] : schema.columns) {
      // An older layout: settings and accounts without a deletion column.
      if ((schema.table == "ZETC" || schema.table == "ZASSET") && column == "ZISDEL") continue;
      sql += ", " + column + " " + type;
    }
    db.exec(sql + ")");
    for (int uid = 0; uid < 3; ++uid) {
      for (int c = 0; c < copies; ++c) {
        db.exec("INSERT INTO " + schema.table + " (ZUID) VALUES ('" + std::to_string(uid) + "')");
      }
    }
  }
}

TEST(UidRepair, OpeningAStoreWithDuplicatesCopiesRepairsAndOpens) {
  TempDir dir;
  const Environment env = testEnvironment(dir.path());
  std::filesystem::create_directories(env.documentsDir());
  writeDuplicatedStore(env.storePath(), 3);
  const std::string original = contentOf(env.storePath());

  auto ledger = Ledger::open(env, nullLog());
  ASSERT_TRUE(ledger->openReport().repair);
  ASSERT_TRUE(ledger->openReport().safetyCopy);
  EXPECT_EQ(ledger->openReport().safetyCopy->filename(), "beforeUidFix_20261210_09001000.vnbak");
  EXPECT_EQ(contentOf(*ledger->openReport().safetyCopy), original);

  auto& db = ledger->store().db();
  for (const auto& schema : allTableSchemas()) {
    EXPECT_EQ(db.execAndGet("SELECT COUNT(*) FROM " + schema.table).getInt(), 9) << schema.table;
    if (schema.table == "ZCODEDATA" || schema.table == "ZCODELINK" || schema.table == "ZPROPERTY") {
      continue;
    }
    EXPECT_EQ(db.execAndGet("SELECT COUNT(*) - COUNT(DISTINCT ZUID) FROM " + schema.table +
                            " WHERE ZUID IS NOT NULL").getInt(),
              0)
        << schema.table;
  }
  EXPECT_TRUE(ledger->store().columnExists("ZETC", "ZISDEL"));
}

TEST(UidRepair, KeepsOneRowAndRenamesTheOthersByTable) {
  TempDir dir;
  const Environment env = testEnvironment(dir.path());
  std::filesystem::create_directories(env.documentsDir());
  writeDuplicatedStore(env.storePath(), 3);
  auto log = nullLog();
  SQLite::Database db(env.storePath().string(), SQLite::OPEN_READWRITE);
  const RepairReport report = fixNotUniqueUid(db, *log);
  EXPECT_EQ(report.columnsAdded, (std::vector<std::string>{"ZETC.ZISDEL", "ZASSET.ZISDEL"}));
  ASSERT_EQ(report.tables.size(), 16u);
  EXPECT_EQ(report.tables.front().table, "ZINOUTCOME");
  EXPECT_EQ(report.tables.back().table, "ZSMSRAWREAD");
  for (const auto& t : report.tables) {
    EXPECT_EQ(t.zeroUidsCleared, 3) << t.table;
    EXPECT_EQ(t.duplicateUids, 2) << t.table;  // "1" and "2"; "0" became null first
    EXPECT_EQ(t.rowsRenamed, 4) << t.table;
  }

  auto rows = [&](const std::string& sql) {
    std::vector<std::string> out;
    SQLite::Statement st(db, sql);
    while (st.executeStep()) out.push_back(st.getColumn(0).getString());
    return out;
  };
  // Categories: one row keeps "1"; the others become "1_<pk>" and are deleted.
  auto categories = rows("SELECT ZUID || ':' || Z_PK || ':' || IFNULL(ZISDEL, 'null') FROM ZCATEGORY "
                         "WHERE ZUID LIKE '1%' ORDER BY Z_PK");
  ASSERT_EQ(categories.size(), 3u);
  int kept = 0;
  for (const auto& row : categories) {
    if (row.rfind("1:", 0) == 0) {
      ++kept;
      EXPECT_NE(row.find(":null"), std::string::npos) << row;
    } else {
      const std::string pk = row.substr(row.find(':') + 1, row.rfind(':') - row.find(':') - 1);
      EXPECT_EQ(row, "1_" + pk + ":" + pk + ":1");
    }
  }
  EXPECT_EQ(kept, 1);
  // Transactions stay live with their new identifiers.
  EXPECT_EQ(rows("SELECT COUNT(*) FROM ZINOUTCOME WHERE ZUID LIKE '1_%' AND ZISDEL IS NULL")[0], "2");
  // Message rules are switched off rather than deleted.
  EXPECT_EQ(rows("SELECT COUNT(*) FROM ZMESSAGEMACRO2 WHERE ZUID LIKE '2_%' AND ZUSEYN = 'N'")[0], "2");
  // Rows that had uid "0" keep a null identifier.
  EXPECT_EQ(rows("SELECT COUNT(*) FROM ZTAG WHERE ZUID IS NULL")[0], "3");
  // Tables outside the sixteen are not touched.
  EXPECT_EQ(rows("SELECT COUNT(*) FROM ZCODEDATA WHERE ZUID = '1'")[0], "3");
}

// The repair used to run one full-table UPDATE per duplicated identifier,
// which on stores this size held the lock for many minutes. Whatever the
// speed, every identifier must end up unique with the lowest row key keeping
// it, and the other copies renamed row for row.
TEST(UidRepair, TensOfThousandsOfDuplicatesAreRepairedRowForRow) {
  TempDir dir;
  const auto path = dir.path() / "damaged.sqlite";
  // 200,000 transactions carrying 150,000 identifiers, 50,000 of them twice;
  // 30,000 categories carrying 12,000, 9,000 of them three times; each
  // shuffled over the row keys so that copies sit far apart.
  const auto transactions = bench::duplicatedUids("T", 150000, 50000, 2, 7);
  const auto categories = bench::duplicatedUids("C", 12000, 9000, 3, 11);
  {
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    bench::writeUidTable(db, "ZINOUTCOME", transactions);
    bench::writeUidTable(db, "ZCATEGORY", categories);
    db.exec("INSERT INTO ZCATEGORY (ZUID, ZISDEL) VALUES ('0', 0), ('0', 0), (NULL, 0), (NULL, 0)");
  }

  std::ostringstream logText;
  auto log = std::make_shared<spdlog::logger>(
      "repair", std::make_shared<spdlog::sinks::ostream_sink_st>(logText));
  log->set_pattern("%v");
  SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
  const RepairReport report = fixNotUniqueUid(db, *log);

  EXPECT_TRUE(report.columnsAdded.empty());
  ASSERT_EQ(report.tables.size(), 2u);
  EXPECT_EQ(report.tables[0].table, "ZINOUTCOME");
  EXPECT_EQ(report.tables[0].zeroUidsCleared, 0);
  EXPECT_EQ(report.tables[0].duplicateUids, 50000);
  EXPECT_EQ(report.tables[0].rowsRenamed, 50000);
  EXPECT_EQ(report.tables[1].table, "ZCATEGORY");
  EXPECT_EQ(report.tables[1].zeroUidsCleared, 2);
  EXPECT_EQ(report.tables[1].duplicateUids, 9000);
  EXPECT_EQ(report.tables[1].rowsRenamed, 18000);
  EXPECT_NE(logText.str().find("tableName ZINOUTCOME arraypk 50000\n"), std::string::npos);
  EXPECT_NE(logText.str().find("tableName ZCATEGORY arraypk 9000\n"), std::string::npos);
  EXPECT_EQ(logText.str().find("NOT"), std::string::npos) << logText.str();
  // The working table lives on the connection, which the ledger may go on using.
  EXPECT_EQ(db.execAndGet("SELECT COUNT(*) FROM sqlite_temp_master").getInt(), 0);

  // Walks the rows in key order: the first row of an identifier keeps it and
  // stays live; a later one carries "<uid>_<Z_PK>" and, where copies are
  // deleted, is marked so.
  auto expectRepaired = [&](const std::string& table, const std::vector<std::string>& uids,
                            bool copiesDeleted) {
    SQLite::Statement st(db, "SELECT Z_PK, ZUID, ZISDEL FROM " + table +
                                 " WHERE Z_PK <= ? ORDER BY Z_PK");
    st.bind(1, static_cast<int64_t>(uids.size()));
    std::unordered_set<std::string> seen;
    size_t row = 0;
    int wrong = 0;
    while (st.executeStep()) {
      const std::string pk = std::to_string(row + 1);
      const bool first = seen.insert(uids[row]).second;
      const std::string uid = first ? uids[row] : uids[row] + "_" + pk;
      const int isDel = !first && copiesDeleted ? 1 : 0;
      if (st.getColumn(0).getString() != pk || st.getColumn(1).getString() != uid ||
          st.getColumn(2).getInt() != isDel) {
        // A handful of examples says enough; thousands would bury them.
        if (++wrong <= 5) {
          ADD_FAILURE() << table << " row " << st.getColumn(0).getString() << ": "
                        << st.getColumn(1).getString() << " deleted " << st.getColumn(2).getInt()
                        << ", expected " << uid << " deleted " << isDel;
        }
      }
      ++row;
    }
    EXPECT_EQ(row, uids.size()) << table;
    EXPECT_EQ(wrong, 0) << table;
    EXPECT_EQ(db.execAndGet("SELECT COUNT(*) - COUNT(DISTINCT ZUID) FROM " + table +
                            " WHERE ZUID IS NOT NULL")
                  .getInt(),
              0)
        << table;
  };
  expectRepaired("ZINOUTCOME", transactions, false);
  expectRepaired("ZCATEGORY", categories, true);
  EXPECT_EQ(
      db.execAndGet("SELECT COUNT(*) FROM ZCATEGORY WHERE ZUID IS NULL AND ZISDEL = 0").getInt(), 4);
}

TEST(SafetyCopy, NamesTellTheReasonAndTheLocalTimeAndNeverReplaceACopy) {
  TempDir dir;
  const Environment env = testEnvironment(dir.path(), {.now = "2026-03-07T21:45:09"});
  std::filesystem::create_directories(env.documentsDir());
  auto write = [&](const std::string& value) {
    SQLite::Database db(env.storePath().string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    db.exec("CREATE TABLE IF NOT EXISTS ZETC (Z_PK INTEGER PRIMARY KEY, ZDATA VARCHAR)");
    db.exec("DELETE FROM ZETC");
    SQLite::Statement insert(db, "INSERT INTO ZETC (ZDATA) VALUES (?)");
    insert.bind(1, value);
    insert.exec();
  };
  write("ledger");
  auto log = nullLog();
  struct Case {
    SafetyCopyReason reason;
    std::string argument;
    std::string name;
  } cases[] = {
      {SafetyCopyReason::kBeforeMigration, "2190", "2194_2190_20260307_21450709.vnbak"},
      {SafetyCopyReason::kBeforeCurrencyChange, "KRW", "KRW_beforeChangCurrency_20260307_21450709.vnbak"},
      {SafetyCopyReason::kBeforeUidFix, "", "beforeUidFix_20260307_21450709.vnbak"},
  };
  for (const auto& c : cases) {
    auto copy = backupDataBeforeMigration(env, *log, env.storePath(), c.reason, c.argument);
    ASSERT_TRUE(copy) << copy.status().message();
    EXPECT_EQ(*copy, env.documentsDir() / "InternalData" / c.name);
    EXPECT_EQ(contentOf(*copy), contentOf(env.storePath()));
  }
  // A second and a third copy in the same second get a counter; the first
  // keeps what it held.
  const std::string first = contentOf(env.storePath());
  write("changed");
  auto second = backupDataBeforeMigration(env, *log, env.storePath(), SafetyCopyReason::kBeforeUidFix);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->filename(), "beforeUidFix_20260307_21450709-2.vnbak");
  EXPECT_EQ(contentOf(*second), contentOf(env.storePath()));
  auto third = backupDataBeforeMigration(env, *log, env.storePath(), SafetyCopyReason::kBeforeUidFix);
  ASSERT_TRUE(third);
  EXPECT_EQ(third->filename(), "beforeUidFix_20260307_21450709-3.vnbak");
  EXPECT_EQ(contentOf(env.documentsDir() / "InternalData" / "beforeUidFix_20260307_21450709.vnbak"), first);
  // Nothing half-written is left behind.
  for (const auto& entry : std::filesystem::directory_iterator(env.documentsDir() / "InternalData")) {
    EXPECT_EQ(entry.path().extension(), ".vnbak") << entry.path();
  }
}

TEST(SafetyCopy, AFolderThatCannotBeWrittenIsAFailureWithItsReason) {
  TempDir dir;
  const Environment env = testEnvironment(dir.path());
  std::filesystem::create_directories(env.documentsDir());
  { SQLite::Database db(env.storePath().string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE); }
  std::ofstream(env.documentsDir() / "InternalData") << "a file where the folder belongs";
  auto copy = backupDataBeforeMigration(env, *nullLog(), env.storePath(), SafetyCopyReason::kBeforeUidFix);
  ASSERT_FALSE(copy);
  EXPECT_EQ(copy.status().code(), StatusCode::kSystemFailure);
  EXPECT_NE(copy.status().message().find("InternalData"), std::string::npos) << copy.status().message();
}

// The copy step used to ignore a store that stayed locked past the busy
// timeout and published the empty copy it had begun as the safety copy, so
// the step it guards went ahead without one. Waits out the whole timeout.
TEST(SafetyCopy, AStoreLockedBeyondTheBusyTimeoutGivesAFailureAndNoCopy) {
  TempDir dir;
  const Environment env = testEnvironment(dir.path());
  { Ledger::open(env, nullLog()); }
  SQLite::Database other(env.storePath().string(), SQLite::OPEN_READWRITE);
  other.exec("BEGIN EXCLUSIVE TRANSACTION");
  auto copy = backupDataBeforeMigration(env, *nullLog(), env.storePath(), SafetyCopyReason::kBeforeUidFix);
  ASSERT_FALSE(copy) << copy.value();
  EXPECT_NE(copy.status().message().find("locked"), std::string::npos) << copy.status().message();
  for (const auto& entry : std::filesystem::directory_iterator(env.documentsDir() / "InternalData")) {
    ADD_FAILURE() << "left behind: " << entry.path();
  }
}

TEST(Dates, StoreSecondsAndMillisecondsConvert) {
  EXPECT_EQ(storeSecondsToMs(0), 978307200000);
  EXPECT_EQ(storeSecondsToMs(1.5), 978307201500);
  EXPECT_DOUBLE_EQ(msToStoreSeconds(978307201500), 1.5);
}

}  // namespace
}  // namespace varnel

namespace varnel {
namespace {

// Every index of a store with its definition, one per line.
std::string indexesOf(const std::filesystem::path& p) {
  SQLite::Database db(p.string(), SQLite::OPEN_READONLY);
  SQLite::Statement st(db, "SELECT name, COALESCE(sql, '') FROM sqlite_master WHERE type = 'index' ORDER BY name");
  std::string out;
  while (st.executeStep()) out += st.getColumn(0).getString() + ": " + st.getColumn(1).getString() + "\n";
  return out;
}

// Turns a store written by this version back into one written by schema
// `version` (1, 2 or 4): the transaction indexes it had then, no message
// lookup indexes, no text search index before 4, and its version number.
void rewindSchema(const std::filesystem::path& p, int version) {
  SQLite::Database db(p.string(), SQLite::OPEN_READWRITE);
  for (const char* index : {"ZINOUTCOME_MESSAGE", "ZINOUTCOME_PARSED_CONTENT", "ZINOUTCOME_CONTENT"}) {
    db.exec(std::string("DROP INDEX ") + index);
  }
  if (version >= 4) {
    db.exec("PRAGMA user_version = " + std::to_string(version));
    return;
  }
  search_index::dropSearchIndex(db);
  db.exec("DROP INDEX ZINOUTCOME_ACCOUNT_SUMS");
  db.exec("DROP INDEX ZINOUTCOME_DATE_SUMS");
  if (version >= 2) {
    db.exec("CREATE INDEX ZINOUTCOME_ZDATE ON ZINOUTCOME (ZDATE)");
    db.exec("CREATE INDEX ZINOUTCOME_ZASSETUID_ZDATE ON ZINOUTCOME (ZASSETUID, ZDATE)");
  } else {
    db.exec("DROP INDEX ZINOUTCOME_ZTOASSETUID");
  }
  db.exec("PRAGMA user_version = " + std::to_string(version));
}

// A store of an earlier schema ends up with exactly the indexes of a new
// store: the covering ones added, the ones they replace dropped, every row
// as it was.
TEST(StoreOpen, StoreOfAnEarlierSchemaGetsTheLaterIndexes) {
  TempDir fresh;
  { Ledger::open(testEnvironment(fresh.path()), nullLog()); }
  const std::string newStoreIndexes = indexesOf(testEnvironment(fresh.path()).storePath());

  for (const int version : {1, 2, 4}) {
    TempDir dir;
    const Environment env = testEnvironment(dir.path());
    auto log = nullLog();
    {
      auto ledger = Ledger::open(env, log);
      ASSERT_TRUE(settingDefaultData(*ledger, 0));
      bench::generateLedger(*ledger, {.transactions = 300, .years = 2, .seed = 3});
    }
    rewindSchema(env.storePath(), version);
    const std::string rows = contentOf(env.storePath(), false);
    const std::string earlierIndexes = indexesOf(env.storePath());
    EXPECT_EQ(earlierIndexes.find(version < 3 ? "ZINOUTCOME_ACCOUNT_SUMS" : "ZINOUTCOME_MESSAGE"),
              std::string::npos);

    auto ledger = Ledger::open(env, log);
    EXPECT_EQ(ledger->store().db().execAndGet("PRAGMA user_version").getInt(), Store::kSchemaVersion)
        << "from " << version;
    ledger.reset();
    EXPECT_EQ(indexesOf(env.storePath()), newStoreIndexes) << "from " << version;
    EXPECT_EQ(contentOf(env.storePath(), false), rows) << "from " << version;
  }
}

// The indexes change in the transaction of the rest of the upgrade: when a
// later step fails, the store keeps the indexes and the version it had.
TEST(StoreOpen, AFailedUpgradeKeepsTheEarlierIndexes) {
  TempDir dir;
  const Environment env = testEnvironment(dir.path());
  { Ledger::open(env, nullLog()); }
  rewindSchema(env.storePath(), 2);
  {
    SQLite::Database db(env.storePath().string(), SQLite::OPEN_READWRITE);
    // Duplicate identifiers stop the upgrade at the unique indexes, after
    // the covering indexes were made.
    db.exec("DROP INDEX ZINOUTCOME_ZUID_UNIQUE");
    db.exec("INSERT INTO ZINOUTCOME (ZUID, ZDATE) VALUES ('twice', 1), ('twice', 2)");
  }
  const std::string before = readBytes(env.storePath());
  EXPECT_THROW(Store(env.storePath(), *nullLog()), MigrationError);
  EXPECT_EQ(readBytes(env.storePath()), before);
  EXPECT_NE(indexesOf(env.storePath()).find("ZINOUTCOME_ZASSETUID_ZDATE"), std::string::npos);
}

}  // namespace
}  // namespace varnel
