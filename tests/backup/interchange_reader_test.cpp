#include "backup/interchange_reader.h"

#include <fstream>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include "backup/interchange_schema.h"
#include "backup/interchange_writer.h"
#include "bench/ledger_generator.h"
#include "model/base_repository.h"
#include "model/etc_repository.h"
#include "reports/search.h"
#include "setup/initial_data.h"
#include "support/interchange_fixture.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::insertRow;
using testing::Row;
using testing::writeInterchangeFile;

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::set<std::string> filesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) names.insert(entry.path().filename());
  return names;
}

// The milliseconds since 1970 of an instant, as the text of a real, the way
// interchange files write ZDATE.
std::string zdate(const Environment& env, const std::string& iso) {
  return "'" + std::to_string(storeSecondsToMs(env.parseIso(iso))) + ".0'";
}

class InterchangeReaderTest : public testing::LedgerTest {
 protected:
  std::filesystem::path file(const std::string& name) const { return dir_.path() / name; }

  // An empty ledger on a store file of its own, as a caller of the loader
  // opens one beside the user's store.
  Ledger& newTarget(const testing::TestLedgerOptions& options = {}) {
    target_.reset();
    const auto env = testing::testEnvironment(dir_.path() / "home", options);
    target_ = Ledger::open(env, log_, env.documentsDir() / ("candidate-" + std::to_string(++targets_) + ".sqlite"));
    return *target_;
  }

  Result<InterchangeLoadReport> load(const std::filesystem::path& path, InterchangeLoadMode mode,
                                     const testing::TestLedgerOptions& options = {}) {
    return loadInterchange(newTarget(options), path, mode);
  }

  template <class T>
  std::vector<T> records(const std::string& clause = " ORDER BY Z_PK") {
    return BaseRepository(*target_).fetch<T>(clause);
  }

  template <class T>
  T only() {
    auto all = records<T>();
    EXPECT_EQ(all.size(), 1u) << Entity<T>::table();
    return all.empty() ? T{} : all.front();
  }

  int64_t rowsIn(const std::string& storeTable) {
    return target_->store().db().execAndGet("SELECT count(*) FROM " + storeTable).getInt64();
  }

  int64_t rowsInTarget() {
    int64_t n = 0;
    for (const auto& schema : allTableSchemas()) n += rowsIn(schema.table);
    return n;
  }

  std::unique_ptr<Ledger> target_;
  int targets_ = 0;
};

TEST_F(InterchangeReaderTest, TellsInterchangeFilesFromOtherFiles) {
  writeInterchangeFile(file("v12.db"), 12);
  writeInterchangeFile(file("v19.db"), 19);
  {
    // An SQLite file with an AUTOINCREMENT table of its own.
    SQLite::Database other(file("other.db").string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    other.exec("CREATE TABLE people (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT)");
  }
  std::ofstream(file("empty.db"));
  std::ofstream(file("noise.db"), std::ios::binary) << std::string(5000, '\x5a');
  const struct {
    const char* name;
    std::filesystem::path path;
    bool interchange;
    int version;
  } cases[] = {
      {"version 12", file("v12.db"), true, 12},
      {"current layout", file("v19.db"), true, 19},
      {"our ledger store", ledger_->store().path(), false, Store::kSchemaVersion},
      {"another database", file("other.db"), false, 0},
      {"empty file", file("empty.db"), false, -1},
      {"random bytes", file("noise.db"), false, -1},
      {"missing file", file("missing.db"), false, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(isAndroiFile(c.path, log_.get()), c.interchange);
    EXPECT_EQ(queryUserVersion(c.path), c.version);
  }
  EXPECT_NE(logText().find("android db error"), std::string::npos);
}

// A file of the given version with a few rows in each table it has, enough
// pages that cutting it short loses rows.
void writeFilledFile(const std::filesystem::path& path, int version) {
  writeInterchangeFile(path, version);
  SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
  SQLite::Transaction transaction(db);
  for (int i = 1; i <= 300; ++i) {
    insertRow(db, "INOUTCOME",
              {{"AID", std::to_string(i)}, {"uid", "'TX-" + std::to_string(i) + "'"}, {"DO_TYPE", "'1'"},
               {"WDATE", "'2024-01-05'"}, {"ZDATE", "'1704412800000.0'"}, {"ZMONEY", "'1500.0'"},
               {"IN_ZMONEY", "'1500.0'"}, {"ZCONTENT", "'" + std::string(200, 'x') + "'"}});
  }
  insertRow(db, "ASSETS", {{"ID", "1"}, {"uid", "'A-1'"}, {"NIC_NAME", "'Cash'"}, {"ZDATA", "0"}});
  insertRow(db, "ZCATEGORY", {{"ID", "1"}, {"uid", "'C-1'"}, {"NAME", "'Food'"}});
  transaction.commit();
}

TEST_F(InterchangeReaderTest, RefusesWhatIsNotAUsableInterchangeFileAndChangesNothing) {
  using Mode = InterchangeLoadMode;
  const struct {
    const char* name;
    std::function<void(const std::filesystem::path&)> make;
    Mode mode;
    const char* reason;
  } cases[] = {
      {"empty", [](const auto& p) { std::ofstream out(p); }, Mode::kAnyVersion, "it is empty"},
      {"random bytes", [](const auto& p) { std::ofstream(p, std::ios::binary) << std::string(9000, '\x07'); },
       Mode::kAnyVersion, "not an SQLite database"},
      {"gzip", [](const auto& p) { std::ofstream(p, std::ios::binary) << std::string("\x1f\x8b\x08\x00rest", 8); },
       Mode::kAnyVersion, "gzip"},
      {"truncated, any version",
       [](const auto& p) {
         writeFilledFile(p, 19);
         std::filesystem::resize_file(p, std::filesystem::file_size(p) / 2);
       },
       Mode::kAnyVersion, ""},
      {"truncated, current format",
       [](const auto& p) {
         writeFilledFile(p, 19);
         std::filesystem::resize_file(p, std::filesystem::file_size(p) / 2);
       },
       Mode::kCurrentFormat, ""},
      {"another database",
       [](const auto& p) {
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
         db.exec("CREATE TABLE people (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT)");
       },
       Mode::kAnyVersion, "no table INOUTCOME"},
      {"our own store",
       [this](const auto& p) { std::filesystem::copy_file(ledger_->store().path(), p); },
       Mode::kAnyVersion, "Varnel ledger store"},
      {"transactions as a view",
       [](const auto& p) {
         writeInterchangeFile(p, 19);
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE);
         db.exec("ALTER TABLE INOUTCOME RENAME TO REAL_INOUTCOME");
         db.exec("CREATE VIEW INOUTCOME AS SELECT * FROM REAL_INOUTCOME");
       },
       Mode::kCurrentFormat, "INOUTCOME is a view"},
      {"a column of its version missing",
       [](const auto& p) {
         writeInterchangeFile(p, 12);
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE);
         db.exec("ALTER TABLE INOUTCOME DROP COLUMN FEE_ID");
       },
       Mode::kAnyVersion, "no such column: FEE_ID"},
      {"an older file as the current format", [](const auto& p) { writeFilledFile(p, 16); }, Mode::kCurrentFormat,
       "schema version is 16"},
      {"a uid twice in the current format",
       [](const auto& p) {
         writeInterchangeFile(p, 19);
         SQLite::Database db(p.string(), SQLite::OPEN_READWRITE);
         db.exec("DROP INDEX UNIQUE_IDX_CATEGORY_UID");
         db.exec("INSERT INTO ASSETS (uid, NIC_NAME) VALUES ('A-1', 'Cash')");
         db.exec("INSERT INTO ZCATEGORY (uid, NAME) VALUES ('C-1', 'Food'), ('C-1', 'Rent')");
       },
       Mode::kCurrentFormat, "the uid 'C-1' stands on more than one row"},
  };
  const auto temp = ledger_->env().documentsDir() / "temp";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto folder = dir_.path() / ("case-" + std::to_string(&c - cases));
    std::filesystem::create_directories(folder);
    const auto path = folder / "received.db";
    c.make(path);
    const std::string before = slurp(path);
    const auto filesBefore = filesIn(folder);

    const auto loaded = load(path, c.mode);
    ASSERT_FALSE(loaded.isOk());
    EXPECT_TRUE(loaded.status().isInputFailure()) << loaded.status().message();
    EXPECT_NE(loaded.status().message().find(c.reason), std::string::npos) << loaded.status().message();
    EXPECT_EQ(rowsInTarget(), 0);
    EXPECT_EQ(slurp(path), before);
    EXPECT_EQ(filesIn(folder), filesBefore);
    EXPECT_TRUE(filesIn(temp).empty());
  }
}

TEST_F(InterchangeReaderTest, LoadsOnlyIntoAnEmptyLedger) {
  writeFilledFile(file("v19.db"), 19);
  ASSERT_TRUE(settingDefaultData(*ledger_, 0));
  const auto loaded = loadInterchange(*ledger_, file("v19.db"), InterchangeLoadMode::kCurrentFormat);
  ASSERT_FALSE(loaded.isOk());
  EXPECT_NE(loaded.status().message().find("not empty"), std::string::npos);
}

// One transaction row with a value in every column any version had; each
// version's file keeps the columns it has.
Row everyTransactionColumn(const Environment& env) {
  return {
      {"AID", "7"}, {"ASSET_GROUP", "2"}, {"ASSET_ID", "3"}, {"ASSET_NIC", "'Wallet'"}, {"ASSET_NAME", "'Cash'"},
      {"CARDDIVIDID", "5"}, {"CARDDIVIDMONTH", "9"}, {"CATEGORY_ID", "11"}, {"CATEGORY_NAME", "'Food'"},
      {"ZCONTENT", "'  Lunch \n'"}, {"WDATE", "'2021-03-04'"}, {"DO_TYPE", "'1'"}, {"OPPOSITEAID", "12"},
      {"ZDATA", "'with team'"}, {"ZDATA1", "'z1'"}, {"ZDATA2", "'CAT-Z2'"}, {"IN_ZMONEY", "'12.5'"},
      {"ZMONEY", "'Infinity'"}, {"ZDATE", zdate(env, "2021-03-04T10:20:30")}, {"FEE_ID", "4"},
      {"SMS_ORIGIN", "'[Card] 12.5'"}, {"SMS_PARSE_CONTENT", "'Lunch'"}, {"CURRENCY_ID", "2"},
      {"AMOUNT_ACCOUNT", "NULL"}, {"TX_UID", "'T-OLD'"}, {"CARD_DIVIDE_MONTH_STR", "'(1/3)'"}, {"uid", "'TX-1'"},
      {"assetUid", "'A-1'"}, {"categoryUid", "'CAT-COLUMN'"}, {"txUidTrans", "'TR-1'"}, {"cardDivideUid", "'CD-1'"},
      {"txUidFee", "'FEE-1'"}, {"currencyUid", "'KRW'"}, {"syncTime", "0"}, {"syncVersion", "3"},
      {"ctgUid", "'CAT-18'"}, {"toAssetUid", "'A-2'"}, {"UTIME", "1700000000000"}, {"MARK", "2"},
      {"lat", "'37.5'"}, {"lng", "'127.0'"}, {"gstd", "'G'"}, {"wtime", "'10:20'"}, {"paid", "'P'"},
      {"SMS_RDATE", "'2021-03-04 10:20'"}, {"IS_DEL", "1"}};
}

TEST_F(InterchangeReaderTest, ReadsTheTransactionsOfEveryVersionWithThatVersionsColumns) {
  using S = std::optional<std::string>;
  using I = std::optional<int64_t>;
  using D = std::optional<double>;
  const struct {
    int version;
    const char* dataVersion;
    S uid;
    I assetId;       // the older model's account id
    I feeId;
    S smsOrigine;
    D amount;        // the three amounts agree here
    S money;         // the older model's amount text
    I currencyId;
    S categoryUid;
    S zData2;
    S toAssetUid;
    I utime;
    I mark;
    S lat;
    I isDel;
  } cases[] = {
      {11, "1280", "7", 3, {}, {}, {}, "12.5", {}, {}, "CAT-Z2", {}, {}, {}, {}, {}},
      {12, "1280", "7", 3, 4, "[Card] 12.5", {}, "12.5", {}, {}, "CAT-Z2", {}, {}, {}, {}, {}},
      {13, "2190", "7", 3, 4, "[Card] 12.5", 12.5, {}, 2, {}, "CAT-Z2", {}, {}, {}, {}, {}},
      {14, "2190", "7", 3, 4, "[Card] 12.5", 12.5, {}, 2, {}, "CAT-Z2", {}, {}, {}, {}, {}},
      {15, "2191", "7", 3, 4, "[Card] 12.5", 12.5, {}, 2, {}, "CAT-Z2", {}, {}, {}, {}, {}},
      // ZDATA2, when set, names the category in place of categoryUid.
      {16, "2192", "TX-1", {}, {}, "[Card] 12.5", 12.5, {}, {}, "CAT-Z2", "CAT-Z2", {}, {}, {}, {}, {}},
      {17, "2192", "TX-1", {}, {}, "[Card] 12.5", 12.5, {}, {}, "CAT-Z2", "CAT-Z2", {}, {}, {}, {}, {}},
      {18, "2192", "TX-1", {}, {}, "[Card] 12.5", 12.5, {}, {}, "CAT-18", {}, "A-2", 1700000000000, {}, {}, {}},
      {19, "2192", "TX-1", {}, {}, "[Card] 12.5", 12.5, {}, {}, "CAT-18", {}, "A-2", 1700000000000, 2, "37.5", 1},
      {20, "2192", "TX-1", {}, {}, "[Card] 12.5", 12.5, {}, {}, "CAT-18", {}, "A-2", 1700000000000, 2, "37.5", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("version " + std::to_string(c.version));
    const auto path = file("v" + std::to_string(c.version) + ".db");
    writeInterchangeFile(path, c.version);
    {
      SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
      insertRow(db, "INOUTCOME", everyTransactionColumn(ledger_->env()));
    }
    const auto loaded = load(path, InterchangeLoadMode::kAnyVersion);
    ASSERT_TRUE(loaded.isOk()) << loaded.status().message();
    EXPECT_EQ(loaded->schemaVersion, c.version);
    EXPECT_EQ(loaded->dataVersion, c.dataVersion);
    EXPECT_EQ(EtcRepository(*target_).getDBVersion(), std::stoi(c.dataVersion));

    const InOutCome tx = only<InOutCome>();
    EXPECT_EQ(tx.aId, 7);
    EXPECT_EQ(tx.uid, c.uid);
    EXPECT_EQ(tx.Asset_ID, c.assetId);
    EXPECT_EQ(tx.fee_ID, c.feeId);
    EXPECT_EQ(tx.smsOrigine, c.smsOrigine);
    EXPECT_EQ(tx.amountSub, c.amount);
    EXPECT_EQ(tx.amount, c.amount);
    EXPECT_EQ(tx.amountAccount, c.amount);
    EXPECT_EQ(tx.Money, c.money);
    EXPECT_EQ(tx.currencyId, c.currencyId);
    EXPECT_EQ(tx.categoryUid.value_or(""), c.categoryUid.value_or(""));
    EXPECT_EQ(tx.zData2, c.zData2);
    EXPECT_EQ(tx.toAssetUid, c.toAssetUid);
    EXPECT_EQ(tx.utime, c.utime);
    EXPECT_EQ(tx.mark, c.mark);
    EXPECT_EQ(tx.lat, c.lat);
    EXPECT_EQ(tx.isDel, c.isDel);
    // The same in every version.
    EXPECT_EQ(tx.Asset_Nic, "Wallet");
    EXPECT_EQ(tx.Content, "Lunch");
    EXPECT_EQ(tx.memo, "with team");
    EXPECT_EQ(tx.cardDivideMonth, "10009");
    EXPECT_EQ(tx.Do_Type, "1");
    ASSERT_TRUE(tx.Date.has_value());
    EXPECT_EQ(target_->env().dates().isoLocal(*tx.Date), "2021-03-04T10:20:30+09:00");
    EXPECT_EQ(tx.txDateStr, "2021-03-04");
  }
}

TEST_F(InterchangeReaderTest, TransferSidesOfVersions16And17TakeTheOtherAccountFromTheCategoryColumn) {
  for (const int version : {16, 17}) {
    SCOPED_TRACE(version);
    const auto path = file("transfer" + std::to_string(version) + ".db");
    writeInterchangeFile(path, version);
    {
      SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
      insertRow(db, "INOUTCOME", {{"AID", "1"}, {"uid", "'OUT'"}, {"DO_TYPE", "'3'"}, {"assetUid", "'A-1'"},
                                  {"categoryUid", "'A-2'"}, {"WDATE", "'2021-03-04'"}});
      insertRow(db, "INOUTCOME", {{"AID", "2"}, {"uid", "'IN'"}, {"DO_TYPE", "'4'"}, {"assetUid", "'A-2'"},
                                  {"categoryUid", "'A-1'"}, {"WDATE", "'2021-03-04'"}});
      insertRow(db, "INOUTCOME", {{"AID", "3"}, {"uid", "'EXPENSE'"}, {"DO_TYPE", "'1'"}, {"assetUid", "'A-1'"},
                                  {"categoryUid", "'C-1'"}, {"WDATE", "'2021-03-04'"}});
    }
    ASSERT_TRUE(load(path, InterchangeLoadMode::kAnyVersion).isOk());
    const auto txs = records<InOutCome>();
    ASSERT_EQ(txs.size(), 3u);
    EXPECT_EQ(txs[0].toAssetUid, "A-2");
    EXPECT_EQ(txs[1].toAssetUid, "A-1");
    EXPECT_EQ(txs[2].toAssetUid, std::nullopt);
    EXPECT_EQ(txs[2].categoryUid, "C-1");
  }
}

TEST_F(InterchangeReaderTest, RepairsRepeatedUidsOnAWorkingCopyAndNeverOnTheFile) {
  const auto path = file("duplicates.db");
  writeInterchangeFile(path, 16);
  {
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
    for (int aid = 1; aid <= 3; ++aid) {
      insertRow(db, "INOUTCOME", {{"AID", std::to_string(aid)}, {"uid", "'X'"}, {"DO_TYPE", "'1'"}});
    }
    insertRow(db, "INOUTCOME", {{"AID", "4"}, {"uid", "'0'"}, {"DO_TYPE", "'1'"}});
    insertRow(db, "INOUTCOME", {{"AID", "5"}, {"uid", "'0'"}, {"DO_TYPE", "'1'"}});
    for (int id = 1; id <= 3; ++id) {
      insertRow(db, "ASSETS", {{"ID", std::to_string(id)}, {"uid", "'A'"}, {"ZDATA", "0"},
                               {"NIC_NAME", "'Account " + std::to_string(id) + "'"}});
    }
    // Settings of versions 16 to 18 have no deletion column: their copies
    // get identifiers of their own and stay.
    insertRow(db, "ZETC", {{"Z_PK", "1"}, {"uid", "'E'"}, {"ZDATATYPE", "10002"}, {"ZDATA", "'1'"}});
    insertRow(db, "ZETC", {{"Z_PK", "2"}, {"uid", "'E'"}, {"ZDATATYPE", "-6179"}, {"ZDATA", "'0'"}});
  }
  const std::string before = slurp(path);

  const auto loaded = load(path, InterchangeLoadMode::kAnyVersion);
  ASSERT_TRUE(loaded.isOk()) << loaded.status().message();
  EXPECT_EQ(slurp(path), before);

  const auto txs = records<InOutCome>();
  ASSERT_EQ(txs.size(), 5u);
  EXPECT_EQ(txs[0].uid, "X");
  EXPECT_EQ(txs[1].uid, "X_2");
  EXPECT_EQ(txs[2].uid, "X_3");
  for (const auto& tx : txs) EXPECT_TRUE(isLive(tx)) << tx.uid.value_or("null");
  EXPECT_EQ(txs[3].uid, std::nullopt);
  EXPECT_EQ(txs[4].uid, std::nullopt);

  const auto accounts = records<Asset>();
  ASSERT_EQ(accounts.size(), 3u);
  EXPECT_EQ(accounts[0].uid, "A");
  EXPECT_EQ(accounts[0].isDel, 0);
  EXPECT_EQ(accounts[1].uid, "A_2");
  EXPECT_EQ(accounts[1].isDel, 1);
  EXPECT_EQ(accounts[2].uid, "A_3");
  EXPECT_EQ(accounts[2].isDel, 1);

  std::set<std::string> settingsUids;
  for (const auto& e : records<Etc>(" WHERE ZDATATYPE IN (10002, -6179)")) settingsUids.insert(e.uid.value_or(""));
  EXPECT_EQ(settingsUids, (std::set<std::string>{"E", "E_2"}));

  bool sawTransactions = false;
  for (const auto& repair : loaded->uidRepairs) {
    if (repair.table != "INOUTCOME") continue;
    sawTransactions = true;
    EXPECT_EQ(repair.zeroUidsCleared, 2);
    EXPECT_EQ(repair.duplicateUids, 1);
    EXPECT_EQ(repair.rowsRenamed, 2);
  }
  EXPECT_TRUE(sawTransactions);
  EXPECT_TRUE(filesIn(ledger_->env().documentsDir() / "temp").empty());
}

TEST_F(InterchangeReaderTest, TheFilesTriggersNeverRun) {
  const auto path = file("triggers.db");
  writeInterchangeFile(path, 16);
  {
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
    insertRow(db, "INOUTCOME", {{"AID", "1"}, {"uid", "'X'"}, {"DO_TYPE", "'1'"}, {"ZMONEY", "'100'"},
                                {"IN_ZMONEY", "'100'"}});
    insertRow(db, "INOUTCOME", {{"AID", "2"}, {"uid", "'X'"}, {"DO_TYPE", "'1'"}, {"ZMONEY", "'200'"},
                                {"IN_ZMONEY", "'200'"}});
    insertRow(db, "ZCATEGORY", {{"ID", "1"}, {"uid", "'C'"}, {"NAME", "'Food'"}});
    // The repair's update of the working copy would fire these.
    db.exec("CREATE TRIGGER zero AFTER UPDATE ON INOUTCOME BEGIN UPDATE INOUTCOME SET ZMONEY = '0', "
            "IN_ZMONEY = '0'; DELETE FROM ZCATEGORY; END");
  }
  const std::string before = slurp(path);
  ASSERT_TRUE(load(path, InterchangeLoadMode::kAnyVersion).isOk());
  const auto txs = records<InOutCome>();
  ASSERT_EQ(txs.size(), 2u);
  EXPECT_EQ(txs[0].amount, 100);
  EXPECT_EQ(txs[1].amount, 200);
  EXPECT_EQ(txs[1].uid, "X_2");
  EXPECT_EQ(rowsIn("ZCATEGORY"), 1);
  EXPECT_EQ(slurp(path), before);
}

TEST_F(InterchangeReaderTest, DatesOfOlderFilesAreTheDayOfWDateAtTheLocalTimeOfZDate) {
  const struct {
    const char* tz;
    const char* wdate;
    const char* instant;  // ZDATE
    const char* expected;
  } cases[] = {
      {"Asia/Seoul", "2021-03-04", "2021-03-04T01:20:30Z", "2021-03-04T10:20:30+09:00"},
      // The other phone kept another day for that instant: the day chosen stands.
      {"Asia/Seoul", "2021-03-04", "2021-03-05T01:20:30Z", "2021-03-04T10:20:30+09:00"},
      {"America/New_York", "2021-03-04", "2021-03-04T15:20:30Z", "2021-03-04T10:20:30-05:00"},
      {"Asia/Seoul", "20210304", "2021-03-04T01:20:30Z", "2021-03-04T10:20:30+09:00"},
      // No day, or none the calendar has: ZDATE's own instant.
      {"Asia/Seoul", "", "2021-03-04T01:20:30Z", "2021-03-04T10:20:30+09:00"},
      {"Asia/Seoul", "2021-02-30", "2021-03-04T01:20:30Z", "2021-03-04T10:20:30+09:00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.tz) + " " + c.wdate + " " + c.instant);
    const auto path = file("dates.db");
    writeInterchangeFile(path, 12);
    {
      SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
      insertRow(db, "INOUTCOME", {{"AID", "1"}, {"DO_TYPE", "'1'"}, {"WDATE", std::string("'") + c.wdate + "'"},
                                  {"ZDATE", zdate(ledger_->env(), c.instant)}});
    }
    testing::TestLedgerOptions options;
    options.tz = c.tz;
    ASSERT_TRUE(load(path, InterchangeLoadMode::kAnyVersion, options).isOk());
    const InOutCome tx = only<InOutCome>();
    ASSERT_TRUE(tx.Date.has_value());
    EXPECT_EQ(target_->env().dates().isoLocal(*tx.Date), c.expected);
  }
}

TEST_F(InterchangeReaderTest, AmountsOfOlderFilesSurviveInfinityAndLineBreaks) {
  using D = std::optional<double>;
  const struct {
    const char* inZMoney;
    const char* zMoney;
    const char* amountAccount;
    D amountSub, amount, accountAmount;
  } cases[] = {
      {"'12.5'", "'Infinity'", "NULL", 12.5, 12.5, 12.5},
      {"'Infinity'", "'3000'", "'2.5'", 0.0, 3000.0, 2.5},
      {"'15\n00'", "'1500\r\n'", "0", 1500.0, 1500.0, 1500.0},
      {"'7'", "'9100'", "'Infinity'", 7.0, 9100.0, 7.0},
      {"NULL", "'Infinity'", "NULL", 0.0, 0.0, 0.0},
      {"'0'", "'0'", "'0'", 0.0, 0.0, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.inZMoney) + " " + c.zMoney + " " + c.amountAccount);
    const auto path = file("amounts.db");
    writeInterchangeFile(path, 13);
    {
      SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
      insertRow(db, "INOUTCOME", {{"AID", "1"}, {"DO_TYPE", "'1'"}, {"IN_ZMONEY", c.inZMoney},
                                  {"ZMONEY", c.zMoney}, {"AMOUNT_ACCOUNT", c.amountAccount}});
    }
    ASSERT_TRUE(load(path, InterchangeLoadMode::kAnyVersion).isOk());
    const InOutCome tx = only<InOutCome>();
    EXPECT_EQ(tx.amountSub, c.amountSub);
    EXPECT_EQ(tx.amount, c.amount);
    EXPECT_EQ(tx.amountAccount, c.accountAmount);
  }
}

TEST_F(InterchangeReaderTest, SettingsOfOlderFilesGetCurrentSymbolsNewUidsAndOneDataVersion) {
  const auto path = file("settings.db");
  writeInterchangeFile(path, 15);
  const std::pair<const char*, const char*> symbols[] = {
      {"￥", "JP￥"}, {"$", "US$"}, {"R", "руб"}, {"Kč ", "Kč"}, {"MXN", "Mex$"}, {"€", "€"}};
  {
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
    int kind = 30000;
    for (const auto& [old, current] : symbols) {
      insertRow(db, "ZETC", {{"ZDATATYPE", std::to_string(++kind)}, {"ZDATA", std::string("'") + old + "'"}});
    }
    // The other phone's own data version must not outlive the load.
    insertRow(db, "ZETC", {{"ZDATATYPE", "273"}, {"ZDATA", "'2194'"}});
    insertRow(db, "ZETC", {{"ZDATATYPE", "273"}, {"ZDATA", "'2300'"}});
    // The older transfer-total option, on: it arrives off.
    insertRow(db, "ZETC", {{"ZDATATYPE", "10012"}, {"ZDATA", "'1'"}});
  }
  ASSERT_TRUE(load(path, InterchangeLoadMode::kAnyVersion).isOk());
  EXPECT_EQ(EtcRepository(*target_).getEtcUserSettingByType(10012)->Data, "0");
  int kind = 30000;
  for (const auto& [old, current] : symbols) {
    const auto record = EtcRepository(*target_).getEtcUserSettingByType(++kind);
    ASSERT_TRUE(record.has_value()) << old;
    EXPECT_EQ(record->Data, current);
  }
  const auto versions = records<Etc>(" WHERE ZDATATYPE = 273 AND (ZISDEL IS NULL OR ZISDEL != 1)");
  ASSERT_EQ(versions.size(), 1u);
  EXPECT_EQ(versions[0].Data, "2191");
  EXPECT_EQ(EtcRepository(*target_).getDBVersion(), 2191);
  std::set<std::string> uids;
  for (const auto& e : records<Etc>()) {
    ASSERT_TRUE(e.uid.has_value());
    EXPECT_EQ(e.uid->size(), 36u);
    uids.insert(*e.uid);
  }
  EXPECT_EQ(uids.size(), records<Etc>().size());
}

TEST_F(InterchangeReaderTest, BudgetsOfOlderFilesTargetTheirCategoryOrAccount) {
  const auto path = file("budgets.db");
  writeInterchangeFile(path, 14);
  {
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
    const char* columns[] = {"ID", "CATEGORY_ID", "TO_ACCOUNT_ID", "IS_TOTAL", "IS_DEL"};
    const char* rows[][5] = {{"1", "5", "0", "0", "0"},
                             {"2", "0", "0", "1", "0"},
                             {"3", "NULL", "9", "0", "0"},
                             {"4", "6", "0", "0", "1"}};
    for (const auto& values : rows) {
      Row row;
      for (int i = 0; i < 5; ++i) row[columns[i]] = values[i];
      row["DO_TYPE"] = "1";
      row["PERIOD_TYPE"] = "6";
      insertRow(db, "BUDGET", row);
    }
    insertRow(db, "BUDGET_AMOUNT", {{"ID", "1"}, {"UID", "'BA-1'"}, {"BUDGET_ID", "1"}, {"AMOUNT", "300000"},
                                    {"BUDGET_PERIOD", "202403"}});
  }
  const auto loaded = load(path, InterchangeLoadMode::kAnyVersion);
  ASSERT_TRUE(loaded.isOk()) << loaded.status().message();
  const auto budgets = records<Budget>();
  ASSERT_EQ(budgets.size(), 3u);  // the deleted one is left behind
  EXPECT_EQ(budgets[0].uid, "1");
  EXPECT_EQ(budgets[0].targetUid, "5");
  EXPECT_EQ(budgets[1].targetUid, "");
  EXPECT_EQ(budgets[2].targetUid, "9");
  EXPECT_EQ(budgets[0].doTypeStr, "1");
  EXPECT_EQ(budgets[0].periodTypeInt, 6);
  for (const auto& t : loaded->tables) {
    if (t.fileTable == "BUDGET") {
      EXPECT_EQ(t.skipped, 1);
    }
  }
  const BudgetAmount amount = only<BudgetAmount>();
  EXPECT_EQ(amount.uid, "BA-1");
  EXPECT_EQ(amount.budgetId, 1);
  EXPECT_EQ(amount.amount, 300000);
  EXPECT_EQ(amount.budgetPeriod, 202403);
}

TEST_F(InterchangeReaderTest, PhotosLiveInOurPhotoFolder) {
  const struct {
    int version;
    bool newUid;
  } cases[] = {{15, true}, {16, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    const auto path = file("photos.db");
    writeInterchangeFile(path, c.version);
    {
      SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
      insertRow(db, "PHOTO", {{"DEVICE_ID", "3"}, {"FILE_NAME", "'abc.jpg'"}, {"INOUT_ID", "7"},
                              {"FILE_PATH", "'/storage/emulated/0/Pictures/abc.jpg'"}, {"FILE_SIZE", "2048"},
                              {"uid", "'P-1'"}, {"txUid", "'TX-1'"}});
    }
    ASSERT_TRUE(load(path, InterchangeLoadMode::kAnyVersion).isOk());
    const Photo photo = only<Photo>();
    EXPECT_EQ(photo.filePath, "Documents/Varnel/abc.jpg");
    EXPECT_EQ(photo.fileName, "abc.jpg");
    EXPECT_EQ(photo.fileSize, 2048);
    EXPECT_EQ(photo.deviceId, 3);
    if (c.newUid) {
      ASSERT_TRUE(photo.uid.has_value());
      EXPECT_EQ(photo.uid->size(), 36u);
      EXPECT_EQ(photo.inOutComeId, 7);
    } else {
      EXPECT_EQ(photo.uid, "P-1");
      EXPECT_EQ(photo.txUid, "TX-1");
    }
  }
}

// A file of `version` with one row in each of these tables, created with the
// current columns where the version's file lacks them: a version must read
// only the tables it had.
TEST_F(InterchangeReaderTest, EachVersionReadsTheTablesItHad) {
  const std::vector<std::string> extraTables = {"CURRENCY", "BUDGET", "BUDGET_AMOUNT", "MEMO", "TAG",
                                                "TX_TAG", "MESSAGEMACRO2", "CODE_DATA", "CODE_LINK"};
  const struct {
    int version;
    std::map<std::string, int64_t> rows;  // store table → records loaded
  } cases[] = {
      {12, {{"ZCURRENCY", 0}, {"ZBUDGET", 0}, {"ZBUDGETAMOUNT", 0}, {"ZMEMO", 0}, {"ZTAG", 0}, {"ZCODEDATA", 0}}},
      {13, {{"ZCURRENCY", 1}, {"ZBUDGET", 1}, {"ZBUDGETAMOUNT", 1}, {"ZMEMO", 0}}},
      {15, {{"ZMEMO", 1}, {"ZTAG", 0}, {"ZTXTAG", 0}, {"ZMESSAGEMACRO2", 0}}},
      {17, {{"ZMEMO", 1}, {"ZTAG", 0}, {"ZTXTAG", 0}, {"ZMESSAGEMACRO2", 0}}},
      {18, {{"ZTAG", 1}, {"ZTXTAG", 1}, {"ZMESSAGEMACRO2", 1}, {"ZCODEDATA", 0}, {"ZCODELINK", 0}}},
      {19, {{"ZTAG", 1}, {"ZTXTAG", 1}, {"ZMESSAGEMACRO2", 1}, {"ZCODEDATA", 1}, {"ZCODELINK", 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version);
    const auto path = file("tables.db");
    writeInterchangeFile(path, c.version);
    {
      SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
      for (const auto& name : extraTables) {
        if (!db.tableExists(name)) db.exec(interchange::createTableSql(*interchange::findTable(name)));
      }
      insertRow(db, "INOUTCOME", {{"AID", "1"}, {"uid", "'TX-1'"}, {"DO_TYPE", "'1'"}});
      insertRow(db, "CURRENCY", {{"ID", "1"}, {"uid", "'KRW'"}, {"ISO", "'KRW'"}});
      insertRow(db, "BUDGET", {{"ID", "1"}, {"uid", "'B-1'"}, {"IS_DEL", "0"}});
      insertRow(db, "BUDGET_AMOUNT", {{"ID", "1"}, {"uid", "'BA-1'"}, {"budgetUid", "'B-1'"}});
      insertRow(db, "MEMO", {{"id", "1"}, {"uid", "'M-1'"}, {"title", "'note'"}});
      insertRow(db, "TAG", {{"id", "1"}, {"uid", "'T-1'"}, {"name", "'trip'"}});
      insertRow(db, "TX_TAG", {{"id", "1"}, {"uid", "'L-1'"}, {"txUid", "'TX-1'"}, {"tagUid", "'T-1'"}});
      insertRow(db, "MESSAGEMACRO2", {{"AID", "1"}, {"uid", "'1'"}, {"SMS_TEL", "'1588'"}});
      insertRow(db, "CODE_DATA", {{"id", "1"}, {"uid", "'CD-1'"}, {"code", "'x'"}});
      insertRow(db, "CODE_LINK", {{"id", "1"}, {"uid", "'CL-1'"}, {"codeUid", "'CD-1'"}});
    }
    const auto loaded = load(path, InterchangeLoadMode::kAnyVersion);
    ASSERT_TRUE(loaded.isOk()) << loaded.status().message();
    for (const auto& [table, expected] : c.rows) EXPECT_EQ(rowsIn(table), expected) << table;
    if (c.version >= 18) {
      // The link finds its transaction and its tag.
      const TxTag link = only<TxTag>();
      EXPECT_EQ(link.tx, only<InOutCome>().pk);
      ASSERT_TRUE(link.tag.has_value());
      EXPECT_EQ(records<Tag>(" WHERE Z_PK = " + std::to_string(*link.tag)).front().uid, "T-1");
    }
  }
}

TEST_F(InterchangeReaderTest, CurrentFormatTakesTheEnteredAmountForAnInfiniteOne) {
  const auto path = file("current.db");
  writeInterchangeFile(path, 19);
  {
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
    db.exec("INSERT INTO INOUTCOME (uid, DO_TYPE, ZDATE, IN_ZMONEY, ZMONEY, AMOUNT_ACCOUNT) VALUES "
            "('TX-1', '1', '1700000000500.0', '12.5', 'Infinity', 12.5), "
            "('TX-2', '1', '1700000000000.0', '3000.0', '2.5', NULL)");
  }
  const auto loaded = load(path, InterchangeLoadMode::kCurrentFormat);
  ASSERT_TRUE(loaded.isOk()) << loaded.status().message();
  EXPECT_EQ(loaded->dataVersion, "2194");
  EXPECT_EQ(EtcRepository(*target_).getDBVersion(), 2194);
  const auto txs = records<InOutCome>();
  ASSERT_EQ(txs.size(), 2u);
  EXPECT_EQ(txs[0].amount, 12.5);
  EXPECT_EQ(txs[0].amountSub, 12.5);
  // Milliseconds are kept, not cut to the second.
  EXPECT_EQ(txs[0].Date, msToStoreSeconds(1700000000500));
  EXPECT_EQ(txs[0].isSynced, 2);
  EXPECT_EQ(txs[1].amount, 2.5);
  EXPECT_EQ(txs[1].amountAccount, std::nullopt);
}

// The loader builds the text search index once at the end instead of row by
// row: a loaded ledger finds its transactions by their text, and the index
// follows later changes again.
TEST_F(InterchangeReaderTest, ALoadedLedgerFindsItsTransactionsByText) {
  for (const auto mode : {InterchangeLoadMode::kCurrentFormat, InterchangeLoadMode::kAnyVersion}) {
    SCOPED_TRACE(interchangeLoadModeName(mode));
    const auto path = file("search.db");
    writeInterchangeFile(path, 19);
    {
      SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
      db.exec("INSERT INTO INOUTCOME (uid, DO_TYPE, WDATE, ZDATE, ZCONTENT, ZDATA) VALUES "
              "('TX-1', '1', '2024-01-05', '1704412800000.0', '동네 세탁소', NULL), "
              "('TX-2', '1', '2024-01-05', '1704412800000.0', 'Laundry', 'Ironing')");
    }
    ASSERT_TRUE(load(path, mode).isOk());
    auto uids = [&](const std::string& text) {
      std::vector<std::string> found;
      for (const auto& tx : TransactionSearch(*target_).search(text, {})) found.push_back(tx.uid.value_or(""));
      return found;
    };
    EXPECT_EQ(uids("세탁소"), std::vector<std::string>{"TX-1"});
    EXPECT_EQ(uids("IRONING"), std::vector<std::string>{"TX-2"});
    target_->store().db().exec("UPDATE ZINOUTCOME SET ZCONTENT = 'Dry cleaning' WHERE ZUID = 'TX-2'");
    EXPECT_EQ(uids("cleaning"), std::vector<std::string>{"TX-2"});
    EXPECT_TRUE(uids("laundry").empty());
  }
}

// --- The round trip ----------------------------------------------------------------

// Records of every kind the generated ledger lacks, each column the file
// carries filled on some row, deleted ones among them.
void addEveryOtherKindOfRecord(SQLite::Database& db) {
  db.exec(R"sql(
    INSERT INTO ZINOUTCOME (ZUID, ZDATE, ZTXDATESTR, ZDO_TYPE, ZASSETUID, ZTOASSETUID, ZCATEGORYUID, ZCURRENCYUID,
        ZAMOUNTSUB, ZAMOUNT, ZAMOUNTACCOUNT, ZCONTENT, ZMEMO, ZMARK, ZTXUIDTRANS, ZTXUIDFEE, ZCARDDIVIDEMONTH,
        ZCARDDIVIDEMONTHSTR, ZCARDDIVIDEUID, ZSMSORIGINE, ZSMSPARSECONTENTS, ZSMSRDATE, ZLAT, ZLNG, ZGSTD, ZWTIME,
        ZPAID, ZASSET_NIC, ZCATEGORY_NAME, ZISDEL, ZUTIME)
      VALUES ('RT-TX', 721692800.25, '2023-11-15', '1', 'A-RT', 'A-RT2', 'C-RT', 'KRW_KRW', 1500, 1500, 1500.5,
        'Lunch', 'team', 2, 'TR-RT', 'FEE-RT', '10001', '(1/2)', 'RT-TX', '[Card] 1,500', 'Lunch',
        '2023-11-15 07:13', '37.5665', '126.978', 'G1', '07:13', 'P', 'Cash', 'Food', 1, 1700000000123);
    INSERT INTO ZASSET (ZUID, ZNICNAME, ZGROUPUID, ZORDER, ZCURRENCYUID, ZMEMO, ZISDEL, ZISREFLECT, ZTRANSFEREXPENSE,
        ZCARD_DAYFIN, ZCARD_DAYPAY, ZCARDASSETUID, ZISCARDAUTOPAY, ZCARD_USAGE_HURDLE_TYPE,
        ZCARD_USAGE_HURDLE_START_DATE, ZCARD_USAGE_HURDLE_AMOUNT, ZSMSSTRING, ZSMSTEL, ZAPPPACKAGE, ZAPPNAME, ZUTIME)
      VALUES ('A-RT', 'Visa', '2', 99, 'KRW_KRW', 'card', 3, 1, 1, '14', '25', 'A-RT2', 1, 1, 5, 300000, 'VISA',
        '1588-0000', 'com.example.card', 'Card', 1700000000021);
    INSERT INTO ZBUDGET (ZUID, ZTARGETUID, ZDOTYPESTR, ZPERIODTYPEINT, ZTOTALTYPEINT, ZTRANSTYPEINT, ZORDER, ZISDEL,
        ZUTIME) VALUES ('B-RT', 'C-RT', '1', 6, 0, 1, 1, 0, 1700000000050), ('B-DEL', '', '1', 6, 1, 0, 2, 1, 1700000000051);
    INSERT INTO ZBUDGETAMOUNT (ZUID, ZBUDGETUID, ZBUDGETPERIOD, ZAMOUNT, ZISDEL, ZUTIME)
      VALUES ('BA-RT', 'B-RT', 202311, 300000.5, 0, 1700000000052), ('BA-DEL', 'B-DEL', 202311, 1, 1, 1700000000053);
    INSERT INTO ZCURRENCY (ZUID, ZISO, ZMAINISO, ZRATE, ZSYMBOL, ZSYMBOLPOSITION, ZPOINT, ZISMAINCURRENCY, ZISSHOW,
        ZINSERTTYPE, ZORDERSEQ, ZMEMO, ZISDEL, ZUTIME)
      VALUES ('KRW_JPY', 'JPY', 'KRW', 9.1, 'JP¥', '0', 0, 0, 1, '1', 9, 'Yen', 1, 1700000000060);
    INSERT INTO ZFAVTRANSACTION (ZUID, ZDOTYPE, ZASSETUID, ZTOASSETUID, ZCATEGORYUID, ZCURRENCYUID, ZAMOUNTSUB, ZMEMO,
        ZPAYEE, ZMARK, ZORDER, ZISDEL, ZUTIME)
      VALUES ('F-RT', 1, 'A-RT', 'A-RT2', 'C-RT', 'KRW_KRW', 4500, 'coffee', 'Cafe', 1, 1, 0, 1700000000070),
             ('F-DEL', 0, 'A-RT', NULL, NULL, 'KRW_KRW', 1, NULL, NULL, NULL, 2, 1, 1700000000071);
    INSERT INTO ZMEMO (ZUID, ZTITLE, ZCONTENT, ZCOLOR, ZMEMODATE, ZMEMOTIME, ZORDERSEQ, ZPINNED, ZPINNEDTIME, ZISDEL,
        ZUTIME) VALUES ('M-RT', 'Plan', 'Trip', 'red', '2023-11-15', 1700000000, 1, 1, 1700000000080, 0,
        1700000000081), ('M-DEL', 'Old', NULL, NULL, NULL, NULL, 2, 0, 0, 1, 1700000000082);
    INSERT INTO ZPHOTO (ZUID, ZTXUID, ZFILENAME, ZFILEPATH, ZORGFILENAME, ZORGFILEPATH, ZFILESIZE, ZISDEL, ZUTIME)
      VALUES ('P-RT', 'RT-TX', 'abc.jpg', 'Documents/Varnel/abc.jpg', 'IMG_1.jpg', '/DCIM/IMG_1.jpg', 2048, 0,
        1700000000090), ('P-DEL', 'RT-TX', 'def.jpg', 'Documents/Varnel/def.jpg', NULL, NULL, 1, 1, 1700000000091);
    INSERT INTO ZREPEATTRANSACTION (ZUID, ZDOTYPE, ZASSETUID, ZTOASSETUID, ZCATEGORYUID, ZCURRENCYUID, ZAMOUNTSUB,
        ZMEMO, ZPAYEE, ZMARK, ZREPEATTYPE, ZNEXTDATE, ZENDDATE, ZISDEL, ZUTIME)
      VALUES ('R-RT', 1, 'A-RT', 'A-RT2', 'C-RT', 'KRW_KRW', 50000, 'rent', 'Landlord', 1, 3, 20231201, 20241201, 0,
        1700000000100), ('R-DEL', 1, 'A-RT', NULL, NULL, 'KRW_KRW', 1, NULL, NULL, NULL, 3, 1, 1, 1, 1700000000101);
    INSERT INTO ZTAG (ZUID, ZNAME, ZORDERSEQ, ZISDEL, ZUTIME, ZISSYNCED) VALUES ('T-RT', 'trip', 5, 1, 1700000000110, 1);
    INSERT INTO ZTXTAG (ZUID, ZTXUID, ZTAGUID, ZORDERSEQ, ZOBJNAME, ZISDEL, ZUTIME, ZISSYNCED)
      VALUES ('L-RT', 'RT-TX', 'T-RT', 1, 'InOutCome', 1, 1700000000111, 1);
    INSERT INTO ZSMSRAWREAD (ZUID, ZRDATE, ZTEL, ZSENDERNAME, ZAPPPACKAGE, ZAPPNAME, ZTYPE, ZAMOUNT, ZASSETNAME,
        ZASSETUID, ZTOASSETUID, ZZDATA, ZZDATE, ZMACROTYPE, ZNOTIFYTYPE, ZMMSID, ZTEXTPARSINGTIME, ZISDEL,
        ZISSYNCED, ZSYNCVERSION, ZUTIME)
      VALUES ('S-RT', '2023-11-15', '1588', 'Bank', 'com.bank', 'Bank', '1', '1500', 'Visa', 'A-RT', 'A-RT2',
        '[Card] 1,500', 1700000000000, 2, 1, 77, 12, 1, 1, 0, 1700000000120);
    INSERT INTO ZCODEDATA (ZUID, ZCODE, ZDATA, ZNUM, ZCTIME, ZUTIME, ZISDEL, ZISSYNCED)
      VALUES ('CD-RT', 'color', 'red', 3, 1700000000130, 1700000000131, 1, 1);
    UPDATE ZMESSAGEMACRO2 SET ZCONASSETUID = 'A-RT' WHERE Z_PK = (SELECT min(Z_PK) FROM ZMESSAGEMACRO2);
    INSERT INTO ZCODELINK (ZUID, ZCODEUID, ZTABLENAME, ZTABLEUID, ZORDERSEQ, ZCTIME, ZUTIME, ZISDEL, ZISSYNCED)
      VALUES ('CL-RT', 'CD-RT', 'InOutCome', 'RT-TX', 1, 1700000000140, 1700000000141, 1, 1);
  )sql");
}

// The store column a copy's expression reads ("ZDATE" of
// "CAST((ZDATE + 978307200) * 1000.0 AS TEXT)").
std::string storeColumnOf(const std::string& expression) {
  static const std::regex kColumn("\\bZ[A-Z0-9_]+\\b");
  std::smatch m;
  return std::regex_search(expression, m, kColumn) ? m.str() : std::string();
}

// Rows of every interchange table in key order, each as its quoted cells.
std::map<std::string, std::vector<std::string>> fileRows(const std::filesystem::path& path) {
  SQLite::Database db(path.string(), SQLite::OPEN_READONLY);
  std::map<std::string, std::vector<std::string>> out;
  for (const auto& table : interchange::tables()) {
    std::string cells;
    for (const auto& column : table.columns) {
      cells += (cells.empty() ? "quote(" : " || '|' || quote(") + std::string(column.name) + ")";
    }
    SQLite::Statement st(db, "SELECT " + cells + " FROM " + std::string(table.name) + " ORDER BY rowid");
    auto& rows = out[std::string(table.name)];
    while (st.executeStep()) rows.push_back(st.getColumn(0).getString());
  }
  return out;
}

TEST_F(InterchangeReaderTest, AGeneratedLedgerMakesTheRoundTripThroughTheCurrentFormat) {
  ASSERT_TRUE(settingDefaultData(*ledger_, 0));
  const auto generated = bench::generateLedger(*ledger_, {.transactions = 600, .years = 2, .seed = 7});
  addEveryOtherKindOfRecord(ledger_->store().db());
  ASSERT_GT(ledger_->store().db().execAndGet("SELECT count(*) FROM ZINOUTCOME WHERE ZISDEL = 1").getInt(), 0);

  MyDBCopyAndroid writer(ledger_->env(), *log_);
  const auto first = file("first.sqlite");
  ASSERT_TRUE(writer.myDBCopyAndroid(ledger_->store().path(), first).isOk());
  const auto loaded = load(first, InterchangeLoadMode::kCurrentFormat);
  ASSERT_TRUE(loaded.isOk()) << loaded.status().message();
  EXPECT_EQ(loaded->rows("ZINOUTCOME"), generated.rows + 1);
  const auto targetPath = target_->store().path();

  // Record by record, on every attribute the file carries.
  {
    SQLite::Database db(ledger_->store().path().string(), SQLite::OPEN_READONLY);
    db.exec("ATTACH DATABASE '" + targetPath.string() + "' AS loaded");
    for (const InterchangeTableCopy& copy : interchangeTableCopies()) {
      SCOPED_TRACE(copy.storeTable);
      std::set<std::string> columns;
      for (const auto& e : copy.expressions) columns.insert(storeColumnOf(e));
      const std::string filter = copy.where.empty() ? "" : " WHERE " + copy.where;
      std::string different;
      for (const auto& column : columns) {
        // The file carries a date as milliseconds written with 15 significant
        // digits: the same to the millisecond is the same date.
        const std::string differs =
            column == "ZDATE" && copy.storeTable == "ZINOUTCOME"
                ? "(abs(a.ZDATE - b.ZDATE) >= 0.0005 OR (a.ZDATE IS NULL) != (b.ZDATE IS NULL))"
                : "a." + column + " IS NOT b." + column;
        different += (different.empty() ? "" : " OR ") + differs;
        // Every column the file carries holds a value somewhere, so none is
        // compared only as NULL against NULL.
        EXPECT_GT(db.execAndGet("SELECT count(*) FROM main." + copy.storeTable + " WHERE " + column +
                                " IS NOT NULL" + (copy.where.empty() ? "" : " AND (" + copy.where + ")"))
                      .getInt(),
                  0)
            << column;
      }
      EXPECT_EQ(db.execAndGet("SELECT count(*) FROM main." + copy.storeTable + filter).getInt64(),
                db.execAndGet("SELECT count(*) FROM loaded." + copy.storeTable).getInt64());
      SQLite::Statement mismatches(
          db, "SELECT a.ZUID FROM (SELECT * FROM main." + copy.storeTable + filter + ") a LEFT JOIN loaded." +
                  copy.storeTable + " b ON b.ZUID = a.ZUID WHERE b.Z_PK IS NULL OR " + different + " LIMIT 5");
      std::vector<std::string> uids;
      while (mismatches.executeStep()) uids.push_back(mismatches.getColumn(0).getString());
      if (!uids.empty()) {
        std::string detail;
        for (const auto& column : columns) {
          SQLite::Statement values(db, "SELECT quote(a." + column + "), quote(b." + column + ") FROM main." +
                                           copy.storeTable + " a, loaded." + copy.storeTable +
                                           " b WHERE a.ZUID = ? AND b.ZUID = a.ZUID AND a." + column + " IS NOT b." +
                                           column);
          values.bind(1, uids.front());
          if (values.executeStep()) {
            detail += " " + column + ": " + values.getColumn(0).getString() + " became " +
                      values.getColumn(1).getString();
          }
        }
        ADD_FAILURE() << uids.size() << "+ records differ; " << uids.front() << detail;
      }
    }
  }

  // A second export of the loaded ledger is the first, row by row.
  const auto second = file("second.sqlite");
  ASSERT_TRUE(MyDBCopyAndroid(target_->env(), *log_).myDBCopyAndroid(targetPath, second).isOk());
  const auto a = fileRows(first);
  const auto b = fileRows(second);
  for (const auto& [table, rows] : a) {
    SCOPED_TRACE(table);
    ASSERT_EQ(b.at(table).size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(b.at(table)[i], rows[i]) << "row " << i;
  }
}

}  // namespace
}  // namespace varnel
