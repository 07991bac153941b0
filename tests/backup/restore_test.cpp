#include "backup/restore.h"

#include <fstream>
#include <iterator>
#include <random>
#include <set>

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include "backup/backup_util.h"
#include "backup/gzip_file.h"
#include "backup/interchange_writer.h"
#include "model/etc_repository.h"
#include "model/entities.h"
#include "model/preferences.h"
#include "model/safety_copy.h"
#include "setup/initial_data.h"
#include "support/interchange_fixture.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::readBytes;
using testing::writeBytes;

// Every row of every ledger table, with the type of each value.
std::string contents(SQLite::Database& db) {
  std::string text;
  for (const auto& schema : allTableSchemas()) {
    SQLite::Statement rows(db, "SELECT * FROM " + schema.table + " ORDER BY Z_PK");
    while (rows.executeStep()) {
      text += schema.table;
      for (int i = 0; i < rows.getColumnCount(); ++i) {
        text += "|" + std::to_string(rows.getColumn(i).getType()) + ":" + rows.getColumn(i).getString();
      }
      text += "\n";
    }
  }
  return text;
}

std::string contentsOf(const std::filesystem::path& file) {
  SQLite::Database db(file.string(), SQLite::OPEN_READONLY);
  return contents(db);
}

class RestoreTest : public testing::LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    ASSERT_TRUE(settingDefaultData(*ledger_, 0));
    addTransaction("T1", "Lunch at the market");
    addTransaction("T2", "Bus");
  }

  void addTransaction(const std::string& uid, const std::string& content) {
    SQLite::Statement insert(ledger_->store().db(),
                             "INSERT INTO ZINOUTCOME (ZUID, ZCONTENT, ZDO_TYPE, ZAMOUNTSUB, ZAMOUNT, ZDATE) "
                             "VALUES (?, ?, '1', 10, 10, 800000000)");
    insert.bind(1, uid);
    insert.bind(2, content);
    insert.exec();
  }

  std::filesystem::path store() { return ledger_->store().path(); }

  // A backup of the ledger as it is now, outside the data folder.
  std::filesystem::path backup(const std::string& name, bool gzip = false) {
    const auto file = dir_.path() / name;
    BackupOptions options;
    options.gzip = gzip;
    options.repairFirst = false;
    auto made = backupDB(*ledger_, file, options);
    EXPECT_TRUE(made.isOk()) << made.status().message();
    return file;
  }

  std::set<std::string> besideTheStore() {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(store().parent_path())) {
      names.insert(e.path().filename().string());
    }
    return names;
  }
};

TEST_F(RestoreTest, ABackupRestoresTheLedgerAsItWasAndKeepsTheReplacedOne) {
  for (const bool gzip : {false, true}) {
    SCOPED_TRACE(gzip ? "vnbak.gz" : "vnbak");
    const auto file = backup(gzip ? "x.vnbak.gz" : "x.vnbak", gzip);
    const std::string fileBytes = readBytes(file);
    const std::string atBackup = contents(ledger_->store().db());
    addTransaction(gzip ? "T3-gz" : "T3", "After the backup");
    const std::string replaced = contents(ledger_->store().db());

    auto restored = restoreLedger(ledger_, file);
    ASSERT_TRUE(restored.isOk()) << restored.status().message();
    ASSERT_TRUE(ledger_);
    EXPECT_EQ(restored->found.kind, ReceivedKind::kLedgerStore);
    EXPECT_EQ(restored->found.gzip, gzip);
    EXPECT_EQ(restored->found.schemaVersion, Store::kSchemaVersion);
    EXPECT_EQ(restored->found.dataVersion, kCurrentDataVersion);
    EXPECT_EQ(restored->found.rows.at("ZINOUTCOME"), 2);
    EXPECT_EQ(contents(ledger_->store().db()), atBackup);
    ASSERT_TRUE(restored->swap.safetyCopy);
    EXPECT_EQ(contentsOf(*restored->swap.safetyCopy), replaced);
    EXPECT_EQ(ledger_->store().db().execAndGet("PRAGMA integrity_check").getString(), "ok");
    // The text index came back with the rows.
    EXPECT_EQ(ledger_->store()
                  .db()
                  .execAndGet("SELECT COUNT(*) FROM ZINOUTCOME_SEARCH WHERE ZINOUTCOME_SEARCH MATCH 'market'")
                  .getInt(),
              1);
    EXPECT_EQ(readBytes(file), fileBytes) << "the backup itself was changed";
    EXPECT_EQ(besideTheStore(), (std::set<std::string>{"InternalData", "varnel.sqlite"}));
  }
}

TEST_F(RestoreTest, AFileThatCannotBeRestoredIsRefusedAndTheLedgerStaysByteForByte) {
  const auto good = backup("good.vnbak");
  const auto goodGz = backup("good.vnbak.gz", true);
  const std::string goodBytes = readBytes(good);
  const std::string gzBytes = readBytes(goodGz);
  auto variant = [&](const std::string& name, const std::function<void(SQLite::Database&)>& change) {
    const auto file = dir_.path() / name;
    std::filesystem::copy_file(good, file, std::filesystem::copy_options::overwrite_existing);
    SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
    change(db);
    return file;
  };
  auto bytesFile = [&](const std::string& name, const std::string& bytes) {
    writeBytes(dir_.path() / name, bytes);
    return dir_.path() / name;
  };
  std::mt19937 random(11);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string flippedGz = gzBytes;
  flippedGz[flippedGz.size() / 2] = static_cast<char>(flippedGz[flippedGz.size() / 2] ^ 0x01);
  std::string damaged = goodBytes;
  for (size_t i = damaged.size() / 2; i < damaged.size() / 2 + 8192; ++i) damaged[i] = '\x33';
  const auto gzippedNoise = dir_.path() / "noise.gz";
  writeBytes(dir_.path() / "noise", noise);
  ASSERT_TRUE(gzipFile(dir_.path() / "noise", gzippedNoise));

  const struct {
    const char* name;
    std::filesystem::path file;
    const char* reason;
  } cases[] = {
      {"empty", bytesFile("empty.vnbak", ""), "empty"},
      {"random bytes", bytesFile("random.vnbak", noise), "neither a ledger store"},
      {"a truncated SQLite file", bytesFile("cut.vnbak", goodBytes.substr(0, goodBytes.size() / 3)), "damaged"},
      {"a damaged SQLite file", bytesFile("damaged.vnbak", damaged), "damaged"},
      {"an SQLite file with other tables",
       variant("other.sqlite",
               [](auto& db) {
                 for (const auto& s : allTableSchemas()) db.exec("DROP TABLE " + s.table);
                 db.exec("CREATE TABLE notes (id INTEGER PRIMARY KEY, text TEXT)");
               }),
       "neither a ledger store"},
      {"a gzip cut short", bytesFile("cut.vnbak.gz", gzBytes.substr(0, gzBytes.size() - 5)), "cut short"},
      {"a bit-flipped gzip", bytesFile("flipped.vnbak.gz", flippedGz), "not a whole gzip file"},
      {"a gzip of something else", gzippedNoise, "holds no ledger"},
      {"a trigger that writes elsewhere",
       variant("trigger.vnbak",
               [](auto& db) {
                 db.exec("CREATE TRIGGER wipe AFTER INSERT ON ZINOUTCOME BEGIN DELETE FROM ZASSET; "
                         "UPDATE ZETC SET ZDATA = 'x'; END");
               }),
       "trigger of its own (wipe)"},
      {"a view of its own", variant("view.vnbak", [](auto& db) { db.exec("CREATE VIEW v AS SELECT 1"); }),
       "view of its own"},
      {"a newer schema", variant("newer.vnbak", [](auto& db) { db.exec("PRAGMA user_version = 99"); }),
       "newer version"},
      {"another application's database",
       variant("app.vnbak", [](auto& db) { db.exec("PRAGMA application_id = 1234"); }), "neither a ledger store"},
      {"a data version that is no number",
       variant("version.vnbak",
               [](auto& db) { db.exec("UPDATE ZETC SET ZDATA = 'new' WHERE ZDATATYPE = 273"); }),
       "data version \"new\""},
      {"an interchange file that is damaged", bytesFile("android.db", ""),  // written below
       "damaged"},
      {"a folder", dir_.path(), "folder"},
      {"a missing file", dir_.path() / "missing.vnbak", "cannot open"},
  };
  {
    const auto android = dir_.path() / "android.db";
    testing::writeInterchangeFile(android, 19);
    {
      SQLite::Database db(android.string(), SQLite::OPEN_READWRITE);
      db.exec("CREATE TABLE filler (x)");
      db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
              "INSERT INTO filler SELECT randomblob(100) FROM n");
    }
    std::string bytes = readBytes(android);
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 8192; ++i) bytes[i] = '\x44';
    writeBytes(android, bytes);
  }

  const std::string before = readBytes(store());
  const std::string rowsBefore = contents(ledger_->store().db());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    const bool isFile = std::filesystem::is_regular_file(c.file, ec);
    const std::string fileBefore = isFile ? readBytes(c.file) : "";
    auto restored = restoreLedger(ledger_, c.file);
    ASSERT_FALSE(restored.isOk());
    EXPECT_EQ(restored.status().code(), StatusCode::kInvalidInput);
    EXPECT_NE(restored.status().message().find(c.reason), std::string::npos) << restored.status().message();
    ASSERT_TRUE(ledger_);
    EXPECT_EQ(readBytes(store()), before);
    EXPECT_EQ(contents(ledger_->store().db()), rowsBefore);
    EXPECT_EQ(besideTheStore(), std::set<std::string>{"varnel.sqlite"});
    if (isFile) {
      EXPECT_TRUE(readBytes(c.file) == fileBefore) << "the received file was changed";
    }
  }
}

TEST_F(RestoreTest, AStoreOfAnOlderReleaseWithDuplicateIdentifiersIsRestoredWithUniqueOnes) {
  const auto file = dir_.path() / "older.sqlite";
  {
    SQLite::Database db(file.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    // The older phone product: some of our tables and columns, its own
    // bookkeeping tables, no application id, no schema version.
    db.exec("CREATE TABLE ZINOUTCOME (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, ZUID VARCHAR, ZCONTENT VARCHAR, "
            "ZAMOUNT FLOAT)");
    db.exec("CREATE TABLE ZASSET (Z_PK INTEGER PRIMARY KEY, ZUID VARCHAR, ZNICNAME VARCHAR)");
    db.exec("CREATE TABLE ZCATEGORY (Z_PK INTEGER PRIMARY KEY, ZUID VARCHAR, ZNAME VARCHAR, ZISDEL INTEGER)");
    db.exec("CREATE TABLE ZETC (Z_PK INTEGER PRIMARY KEY, ZDATATYPE INTEGER, ZDATA VARCHAR)");
    db.exec("CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB)");
    db.exec("INSERT INTO ZINOUTCOME (ZUID, ZCONTENT, ZAMOUNT) VALUES ('T', 'Rent', 500), ('T', 'Rent again', 500), "
            "('U', 'Tea', 3)");
    db.exec("INSERT INTO ZASSET (ZUID, ZNICNAME) VALUES ('A', 'Cash')");
    db.exec("INSERT INTO ZCATEGORY (ZUID, ZNAME) VALUES ('C', 'Home'), ('C', 'Home'), ('0', 'Zero')");
    db.exec("INSERT INTO ZETC (ZDATATYPE, ZDATA) VALUES (273, '2190')");
  }
  auto restored = restoreLedger(ledger_, file);
  ASSERT_TRUE(restored.isOk()) << restored.status().message();
  EXPECT_EQ(restored->found.schemaVersion, 0);
  EXPECT_EQ(restored->found.dataVersion, 2190);
  auto& db = ledger_->store().db();
  EXPECT_EQ(db.execAndGet("PRAGMA application_id").getInt(), Store::kApplicationId);
  EXPECT_EQ(db.execAndGet("PRAGMA user_version").getInt(), Store::kSchemaVersion);
  EXPECT_EQ(db.execAndGet("SELECT group_concat(ZUID || '=' || ZCONTENT, ',') FROM ZINOUTCOME").getString(),
            "T=Rent,T_2=Rent again,U=Tea");
  // The identifier "0" was cleared by the repair, and the migrations the
  // data version 2190 still needed gave the record a new one.
  EXPECT_EQ(db.execAndGet("SELECT group_concat(ZUID || ':' || ifnull(ZISDEL, 0), ',') FROM ZCATEGORY "
                          "WHERE ZNAME = 'Home'")
                .getString(),
            "C:0,C_2:1");
  EXPECT_EQ(db.execAndGet("SELECT length(ZUID) FROM ZCATEGORY WHERE ZNAME = 'Zero'").getInt(), 36);
  ASSERT_TRUE(restored->migration);
  EXPECT_TRUE(restored->migration->migrated);
  EXPECT_EQ(restored->migration->dataVersionBefore, 2190);
  EXPECT_EQ(restored->migration->dataVersionAfter, kCurrentDataVersion);
  int renamed = 0;
  for (const auto& t : restored->uidRepair.tables) renamed += t.rowsRenamed;
  EXPECT_EQ(renamed, 2);
  EXPECT_EQ(db.execAndGet("SELECT COUNT(*) FROM sqlite_master WHERE name = 'Z_METADATA'").getInt(), 0);
  EXPECT_EQ(db.execAndGet("SELECT COUNT(*) FROM ZINOUTCOME_SEARCH WHERE ZINOUTCOME_SEARCH MATCH 'again'").getInt(), 1);
}

TEST_F(RestoreTest, AReceivedFileIsRestoredFromACopyAndTheRepairMarkersAreCleared) {
  const auto received = backup("send_varnel.vnbak");
  const Environment env = ledger_->env();
  const auto storeFile = store();
  ledger_.reset();
  Preferences preferences(env.appSupportDir() / "preferences.json");
  for (const auto& marker : repairMarkersClearedByRestore()) ASSERT_TRUE(preferences.setString(marker, "1"));
  ASSERT_TRUE(preferences.setString("appThemeColor", "3"));
  const std::string before = readBytes(storeFile);

  int asked = 0;
  RestoreOptions decline;
  decline.confirm = [&](const ReceivedFileInfo& info) {
    ++asked;
    EXPECT_EQ(info.rows.at("ZINOUTCOME"), 2);
    return false;
  };
  auto declined = restoreReceivedFile(env, *log_, preferences, storeFile, received, false, decline);
  EXPECT_FALSE(declined.isOk());
  EXPECT_EQ(declined.status().message(), kRestoreCancelled);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(readBytes(storeFile), before);
  EXPECT_TRUE(preferences.getString(repairMarkersClearedByRestore().front()));
  EXPECT_TRUE(std::filesystem::exists(received));

  auto restored = restoreReceivedFile(env, *log_, preferences, storeFile, received, true);
  ASSERT_TRUE(restored.isOk()) << restored.status().message();
  for (const auto& marker : repairMarkersClearedByRestore()) EXPECT_FALSE(preferences.getString(marker)) << marker;
  EXPECT_EQ(preferences.getString("appThemeColor"), "3");
  EXPECT_FALSE(std::filesystem::exists(received));
  EXPECT_TRUE(std::filesystem::is_empty(env.documentsDir() / "temp"));
}

TEST_F(RestoreTest, AnInterchangeFileOfAnOlderVersionIsLoadedAndMigrated) {
  const auto file = dir_.path() / "android-v15.db";
  testing::writeInterchangeFile(file, 15);
  {
    SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
    testing::insertRow(db, "ASSETS", {{"ID", "3"}, {"NIC_NAME", "'Wallet'"}, {"ORDERSEQ", "1"}});
    testing::insertRow(db, "INOUTCOME", {{"AID", "7"},
                                         {"ASSET_ID", "3"},
                                         {"ASSET_NIC", "'Wallet'"},
                                         {"ZCONTENT", "'Lunch'"},
                                         {"WDATE", "'2021-03-04'"},
                                         {"ZDATE", "'1614820830000'"},
                                         {"DO_TYPE", "'1'"},
                                         {"ZMONEY", "'12.5'"},
                                         {"IN_ZMONEY", "'12.5'"},
                                         {"AMOUNT_ACCOUNT", "12.5"}});
  }
  const std::string before = contents(ledger_->store().db());
  auto restored = restoreLedger(ledger_, file);
  ASSERT_TRUE(restored.isOk()) << restored.status().message();
  EXPECT_EQ(restored->found.kind, ReceivedKind::kInterchange);
  EXPECT_EQ(restored->found.schemaVersion, 15);
  EXPECT_EQ(restored->found.rows.at("INOUTCOME"), 1);
  ASSERT_TRUE(restored->interchange);
  EXPECT_EQ(restored->interchange->dataVersion, "2191");
  // The migrations the data version 2191 still needs ran on the restored
  // ledger: the transaction found its account by name.
  ASSERT_TRUE(restored->migration);
  EXPECT_EQ(restored->migration->dataVersionBefore, 2191);
  EXPECT_EQ(EtcRepository(*ledger_).getDBVersion(), kCurrentDataVersion);
  auto& db = ledger_->store().db();
  EXPECT_EQ(db.execAndGet("SELECT t.ZCONTENT || '@' || a.ZNICNAME FROM ZINOUTCOME t JOIN ZASSET a "
                          "ON a.ZUID = t.ZASSETUID")
                .getString(),
            "Lunch@Wallet");
  ASSERT_TRUE(restored->swap.safetyCopy);
  EXPECT_EQ(contentsOf(*restored->swap.safetyCopy), before);
  // The loader's working folder may stay, empty.
  auto beside = besideTheStore();
  if (beside.count("temp")) {
    EXPECT_TRUE(std::filesystem::is_empty(store().parent_path() / "temp"));
    beside.erase("temp");
  }
  EXPECT_EQ(beside, (std::set<std::string>{"InternalData", "varnel.sqlite"}));
}

TEST_F(RestoreTest, ACompressedInterchangeFileOfTheLedgerBringsItBack) {
  const auto file = dir_.path() / "cloud.db.gz";
  InterchangeExportOptions options;
  options.gzip = true;
  auto exported = MyDBCopyAndroid(ledger_->env(), *log_).myDBCopyAndroid(store(), file, options);
  ASSERT_TRUE(exported.isOk()) << exported.status().message();
  const auto transactions = [&] {
    return ledger_->store().db().execAndGet("SELECT group_concat(ZUID || ':' || ZCONTENT, ',') FROM "
                                            "(SELECT * FROM ZINOUTCOME ORDER BY ZUID)").getString();
  };
  const std::string atExport = transactions();
  addTransaction("T9", "After the export");

  auto restored = restoreLedger(ledger_, file);
  ASSERT_TRUE(restored.isOk()) << restored.status().message();
  EXPECT_EQ(restored->found.kind, ReceivedKind::kInterchange);
  EXPECT_TRUE(restored->found.gzip);
  EXPECT_EQ(restored->found.schemaVersion, 19);
  EXPECT_EQ(transactions(), atExport);
  EXPECT_EQ(ledger_->store().db().execAndGet("PRAGMA integrity_check").getString(), "ok");
}

}  // namespace
}  // namespace varnel
