#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "model/base_repository.h"
#include "model/etc_repository.h"
#include "setup/app_start.h"
#include "setup/initial_data.h"
#include "setup/migration.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

// A ledger as older releases and older restored files leave it: the default
// ledger of the time, then records of the older numeric model written straight
// into the store, and a data version below the current one.
class MigrationTest : public LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    ASSERT_TRUE(settingDefaultData(*ledger_, 0).isOk());
  }

  void sql(const std::string& statements) { ledger_->store().db().exec(statements); }
  int64_t count(const std::string& query) { return ledger_->store().db().execAndGet(query).getInt64(); }
  std::string text(const std::string& query) {
    SQLite::Statement st(ledger_->store().db(), query);
    return st.executeStep() && !st.isColumnNull(0) ? st.getColumn(0).getString() : std::string("(null)");
  }

  // Older stores carry the columns of the numeric model; a store of this
  // release may not have them yet.
  void olderColumn(const std::string& table, const std::string& column, const std::string& type = "INTEGER") {
    if (!ledger_->store().columnExists(table, column)) sql("ALTER TABLE " + table + " ADD COLUMN " + column + " " + type);
  }

  void setDataVersion(const std::string& version) {
    sql("UPDATE ZETC SET ZDATA = '" + version + "' WHERE ZDATATYPE = 273");
  }

  // Records of the older model, each named by its older number.
  void writeOlderLedger() {
    olderColumn("ZCATEGORY", "ZAID");
    olderColumn("ZCATEGORY", "ZZDATA", "VARCHAR");
    olderColumn("ZASSET", "ZAID");
    olderColumn("ZASSET", "ZGROUP_ID");
    olderColumn("ZASSET", "ZCARD_ACCOUNT_ID");
    olderColumn("ZFAVTRANSACTION", "ZACCOUNT_ID");
    olderColumn("ZFAVTRANSACTION", "ZCATEGORY_ID");
    olderColumn("ZBUDGETAMOUNT", "ZBUDGETID");
    olderColumn("ZPHOTO", "ZINOUTCOMEID");
    sql("INSERT INTO ZCATEGORY (ZAID, ZNAME, ZDOTYPE, ZSTATUS, ZZDATA, ZORDER) VALUES "
        "(900, 'Groceries', 1, 0, '0', 900), (901, 'Vegetables', 1, 2, '900', 901)");
    // Wallet in the cash group "11", a credit card paid from it, and a debit
    // card of the older model: an account of the bank group paid from it.
    sql("INSERT INTO ZASSET (ZAID, ZNICNAME, ZGROUP_ID, ZCARD_ACCOUNT_ID, ZORDER) VALUES "
        "(7, 'Wallet', 11, NULL, 7), (8, 'Visa', 2, 7, 8), (9, 'Check', 1, 7, 9)");
    sql("INSERT INTO ZINOUTCOME (ZUID, ZAID, ZDO_TYPE, ZASSET_ID, ZCATEGORY_ID, ZCATEGORYID, ZMONEY, ZDATE) VALUES "
        "('101', 101, '1', 7, 900, 901, '12000', 700000000)");
    sql("INSERT INTO ZINOUTCOME (ZUID, ZAID, ZDO_TYPE, ZASSET_ID, ZASSET_NIC, ZCATEGORY_NAME, ZMONEY, ZDATE) VALUES "
        "('102', 102, '1', 0, 'Wallet', 'Taxi', '3300', 700000100)");
    sql("INSERT INTO ZINOUTCOME (ZUID, ZAID, ZDO_TYPE, ZASSET_ID, ZOPPOSITEAID, ZMONEY, ZDATE) VALUES "
        "('103', 103, '3', 7, 104, '500', 700000200), ('104', 104, '4', 8, 103, '500', 700000200)");
    sql("INSERT INTO ZINOUTCOME (ZUID, ZAID, ZDO_TYPE, ZASSET_ID, ZMONEY, ZDATE) VALUES "
        "('105', 105, '7', 7, '1000', 700000300)");
    sql("INSERT INTO ZINOUTCOME (ZUID, ZAID, ZDO_TYPE, ZASSET_ID, ZCATEGORY_ID, ZCARDDIVIDID, ZMONEY, ZDATE) VALUES "
        "('106', 106, '1', 8, 900, 106, '100', 700000400), ('107', 107, '1', 8, 900, 106, '100', 703000400)");
    // Written by a later release: in the main currency, its main amount off
    // by a cent.
    sql("INSERT INTO ZINOUTCOME (ZUID, ZDO_TYPE, ZASSETUID, ZCATEGORYUID, ZCURRENCYUID, ZAMOUNTSUB, ZAMOUNT, "
        "ZAMOUNTACCOUNT, ZDATE) VALUES ('CRASH', '1', '1', '-2', 'KRW_KRW', 12, 11.99, 12, 700000500)");
    sql("INSERT INTO ZPROPERTY (ZKEY, ZVALUE, ZTYPE) VALUES ('20210304', 'pay the rent', 'MEMO')");
    sql("INSERT INTO ZETC (ZDATATYPE, ZDATA, ZZDATA) VALUES (284648126, 'USD', '1300')");
    sql("INSERT INTO ZBUDGET (ZUID, ZTARGETUID, ZDOTYPESTR, ZPERIODTYPEINT, ZTOTALTYPEINT, ZTRANSTYPEINT) VALUES "
        "('55', '900', '1', 6, 0, 0)");
    sql("INSERT INTO ZBUDGETAMOUNT (ZUID, ZBUDGETID, ZBUDGETPERIOD, ZAMOUNT) VALUES ('56', 55, 202103, 300000)");
    sql("INSERT INTO ZFAVTRANSACTION (ZUID, ZDOTYPE, ZACCOUNT_ID, ZCATEGORY_ID, ZAMOUNTSUB) VALUES "
        "('F1', 1, 7, 900, 4500)");
    sql("INSERT INTO ZPHOTO (ZUID, ZINOUTCOMEID, ZFILENAME) VALUES ('P1', 101, 'a.jpg')");
    sql("INSERT INTO ZMESSAGEMACRO2 (ZUID, ZMACROASSETNAME, ZCONASSETUID, ZUSEYN) VALUES "
        "('M1', 'Old bank', 'GONE', 'Y')");
    // Sub-categories had no setting of their own then.
    sql("DELETE FROM ZETC WHERE ZDATATYPE = 19810");
    setDataVersion("1280");
    ledger_->commonData().ReloadTheData();
  }

  std::string uidOf(const std::string& table, const std::string& where) {
    return text("SELECT ZUID FROM " + table + " WHERE " + where);
  }

  std::vector<int> stepsRun(const MigrationReport& report) {
    std::vector<int> numbers;
    for (const auto& s : report.steps) numbers.push_back(s.number);
    return numbers;
  }

  // Every row of every table but the settings, as text: what a second run
  // must leave exactly as it was.
  std::string ledgerDump() {
    std::string out;
    for (const auto& schema : allTableSchemas()) {
      if (schema.table == "ZETC") continue;
      SQLite::Statement st(ledger_->store().db(), "SELECT * FROM " + schema.table + " ORDER BY Z_PK");
      while (st.executeStep()) {
        out += schema.table;
        for (int i = 0; i < st.getColumnCount(); ++i) out += "|" + st.getColumn(i).getString();
        out += "\n";
      }
    }
    return out;
  }

  std::filesystem::path internalData() { return ledger_->env().documentsDir() / "InternalData"; }
};

TEST_F(MigrationTest, ALedgerOfTheOlderModelIsBroughtUpToDate) {
  writeOlderLedger();
  auto migrated = versionCheckForMigration(*ledger_);
  ASSERT_TRUE(migrated.isOk()) << migrated.status().message();
  const MigrationReport& report = migrated.value();
  EXPECT_EQ(report.dataVersionBefore, 1280);
  EXPECT_EQ(report.dataVersionAfter, 2194);
  EXPECT_EQ(EtcRepository(*ledger_).getDBVersion(), 2194);
  EXPECT_EQ(stepsRun(report), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  ASSERT_TRUE(report.safetyCopy);
  EXPECT_EQ(report.safetyCopy->filename(), "2194_1280_20261210_09001000.vnbak");
  EXPECT_TRUE(std::filesystem::exists(*report.safetyCopy));
  EXPECT_NE(logText().find("_doMigration methods: Time to complete: "), std::string::npos);

  const std::string wallet = uidOf("ZASSET", "ZAID = 7");
  const std::string visa = uidOf("ZASSET", "ZAID = 8");
  const std::string groceries = uidOf("ZCATEGORY", "ZAID = 900");
  const std::string vegetables = uidOf("ZCATEGORY", "ZAID = 901");
  EXPECT_EQ(wallet.size(), 36u);  // records without an identifier get a canonical one
  EXPECT_EQ(text("SELECT ZPUID FROM ZCATEGORY WHERE ZAID = 901"), groceries);
  EXPECT_EQ(text("SELECT ZGROUPUID FROM ZASSET WHERE ZAID = 7"), "11");
  EXPECT_EQ(text("SELECT ZCARDASSETUID FROM ZASSET WHERE ZAID = 8"), wallet);

  // One category per transaction, the sub-category first; a name no category
  // has makes one; adjustments are "-4".
  EXPECT_EQ(text("SELECT ZCATEGORYUID FROM ZINOUTCOME WHERE ZUID = '101'"), vegetables);
  const std::string taxi = uidOf("ZCATEGORY", "ZNAME = 'Taxi' AND ZDOTYPE = 1");
  EXPECT_EQ(text("SELECT ZCATEGORYUID FROM ZINOUTCOME WHERE ZUID = '102'"), taxi);
  EXPECT_EQ(text("SELECT ZCATEGORYUID FROM ZINOUTCOME WHERE ZUID = '105'"), "-4");
  // Accounts by number, and by name where the number names none.
  EXPECT_EQ(text("SELECT ZASSETUID FROM ZINOUTCOME WHERE ZUID = '101'"), wallet);
  EXPECT_EQ(text("SELECT ZASSETUID FROM ZINOUTCOME WHERE ZUID = '102'"), wallet);
  // Amounts from the older text, in the main currency.
  EXPECT_EQ(text("SELECT ZCURRENCYUID || ' ' || ZAMOUNTSUB || ' ' || ZAMOUNT || ' ' || ZAMOUNTACCOUNT "
                 "FROM ZINOUTCOME WHERE ZUID = '101'"),
            "KRW_KRW 12000.0 12000.0 12000.0");
  // The transfer is one pair, mirrored.
  const std::string link = text("SELECT ZTXUIDTRANS FROM ZINOUTCOME WHERE ZUID = '103'");
  EXPECT_EQ(link.size(), 36u);
  EXPECT_EQ(text("SELECT ZTXUIDTRANS FROM ZINOUTCOME WHERE ZUID = '104'"), link);
  EXPECT_EQ(text("SELECT ZTOASSETUID FROM ZINOUTCOME WHERE ZUID = '103'"), visa);
  EXPECT_EQ(text("SELECT ZTOASSETUID FROM ZINOUTCOME WHERE ZUID = '104'"), wallet);
  // Instalments belong to their first record; a main amount off by a cent is
  // the entered one again.
  EXPECT_EQ(text("SELECT GROUP_CONCAT(ZCARDDIVIDEUID) FROM ZINOUTCOME WHERE ZCARDDIVIDID = 106"), "106,106");
  EXPECT_EQ(text("SELECT ZAMOUNT FROM ZINOUTCOME WHERE ZUID = 'CRASH'"), "12.0");

  EXPECT_EQ(text("SELECT ZMEMODATE || ' ' || ZCONTENT FROM ZMEMO"), "2021-03-04 pay the rent");
  EXPECT_EQ(ledger_->preferences().getString("PropertyMigrationShowMessage"), "1");
  EXPECT_EQ(text("SELECT ZRATE FROM ZCURRENCY WHERE ZUID = 'KRW_USD'"), "1300.0");
  EXPECT_EQ(text("SELECT ZTARGETUID FROM ZBUDGET WHERE ZUID = '55'"), groceries);
  EXPECT_EQ(text("SELECT ZBUDGETUID FROM ZBUDGETAMOUNT WHERE ZUID = '56'"), "55");
  EXPECT_EQ(text("SELECT ZASSETUID || ' ' || ZCATEGORYUID FROM ZFAVTRANSACTION"), wallet + " " + groceries);
  EXPECT_EQ(text("SELECT ZTXUID FROM ZPHOTO"), "101");
  EXPECT_EQ(text("SELECT ZCONASSETUID FROM ZMESSAGEMACRO2 WHERE ZUID = 'M1'"), "(null)");
  EXPECT_EQ(text("SELECT ZDATA FROM ZETC WHERE ZDATATYPE = 19810 AND (ZISDEL IS NULL OR ZISDEL != 1)"), "1");
  // The debit card of the older model is in the debit-card group now.
  EXPECT_EQ(text("SELECT g.ZSTATUS FROM ZASSET a JOIN ZASSETGROUP g ON g.ZUID = a.ZGROUPUID WHERE a.ZAID = 9"), "3");
  EXPECT_EQ(text("SELECT g.ZSTATUS FROM ZASSET a JOIN ZASSETGROUP g ON g.ZUID = a.ZGROUPUID WHERE a.ZAID = 8"), "2");
  // The caches follow.
  EXPECT_EQ(ledger_->commonData().getCategoryFullNameByCategoryId(vegetables), "Groceries/Vegetables");
}

TEST_F(MigrationTest, ASecondRunChangesNothing) {
  writeOlderLedger();
  ASSERT_TRUE(versionCheckForMigration(*ledger_).isOk());
  const std::string before = ledgerDump();
  // The whole driver again, as if the ledger were still of the oldest model.
  setDataVersion("1280");
  auto again = doMigration(*ledger_);
  ASSERT_TRUE(again.isOk()) << again.status().message();
  for (const auto& step : again.value().steps) {
    SCOPED_TRACE(step.name);
    EXPECT_EQ(step.changed(), 0);
  }
  EXPECT_EQ(ledgerDump(), before);
}

struct VersionCase {
  const char* name;
  std::optional<std::string> dataVersion;  // none: the ledger has no data-version record
  bool otherPlatformConverted;
  std::vector<int> steps;  // empty: nothing runs
};

TEST_F(MigrationTest, TheDataVersionDecidesWhichStepsRun) {
  const VersionCase cases[] = {
      {"current", "2194", false, {}},
      {"newer", "2195", false, {}},
      {"no data version", std::nullopt, false, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"oldest files", "1280", false, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"schema 13 and 14", "2190", false, {2, 3, 4, 5, 6, 7, 8}},
      {"schema 15", "2191", false, {3, 4, 5, 6, 7, 8}},
      {"schema 16 and later", "2192", false, {4, 5, 6, 7, 8}},
      {"2193", "2193", false, {4, 6, 7, 8}},
      {"converted by the other platform", "2193", true, {4, 7, 8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sql("DELETE FROM ZETC WHERE ZDATATYPE IN (273, 2192000)");
    sql("DELETE FROM ZMEMO; DELETE FROM ZPROPERTY");
    sql("INSERT INTO ZPROPERTY (ZKEY, ZVALUE, ZTYPE) VALUES ('20210304', 'pay the rent', 'MEMO')");
    if (c.dataVersion) sql("INSERT INTO ZETC (ZDATATYPE, ZDATA) VALUES (273, '" + *c.dataVersion + "')");
    if (c.otherPlatformConverted) sql("INSERT INTO ZETC (ZDATATYPE, ZDATA) VALUES (2192000, '1')");
    std::error_code ec;
    std::filesystem::remove_all(internalData(), ec);
    const int changes = ledger_->store().db().getTotalChanges();

    auto report = versionCheckForMigration(*ledger_);
    ASSERT_TRUE(report.isOk()) << report.status().message();
    EXPECT_EQ(stepsRun(report.value()), c.steps);
    EXPECT_EQ(report.value().migrated, !c.steps.empty());
    EXPECT_EQ(std::filesystem::exists(internalData()), !c.steps.empty());  // the safety copy
    if (c.steps.empty()) {
      EXPECT_EQ(ledger_->store().db().getTotalChanges(), changes);  // not a single write
      EXPECT_EQ(EtcRepository(*ledger_).getDBVersion(), std::stoi(*c.dataVersion));
      continue;
    }
    EXPECT_EQ(EtcRepository(*ledger_).getDBVersion(), 2194);
    // The older memo records move only in step 2.
    const bool step2 = std::find(c.steps.begin(), c.steps.end(), 2) != c.steps.end();
    EXPECT_EQ(count("SELECT COUNT(*) FROM ZMEMO"), step2 ? 1 : 0);
  }
}

TEST_F(MigrationTest, AFailingStepLeavesTheLedgerAtTheLastCompletedStepAndRunsAgainNextTime) {
  writeOlderLedger();
  const int64_t transactions = count("SELECT COUNT(*) FROM ZINOUTCOME");
  // The store refuses the debit card's move, as a full disk would.
  sql("CREATE TRIGGER refuse_move BEFORE UPDATE OF ZGROUPUID ON ZASSET WHEN NEW.ZGROUPUID = '3' "
      "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END");
  auto failed = versionCheckForMigration(*ledger_);
  ASSERT_FALSE(failed.isOk());
  EXPECT_EQ(failed.status().code(), StatusCode::kStoreFailure);
  EXPECT_NE(failed.status().message().find("step 7"), std::string::npos) << failed.status().message();
  EXPECT_NE(failed.status().message().find("2194_1280_"), std::string::npos) << failed.status().message();
  // Steps 1 to 6 stand, step 7 was rolled back whole, nothing was cleared.
  EXPECT_EQ(EtcRepository(*ledger_).getDBVersion(), 2193);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), transactions);
  EXPECT_EQ(text("SELECT g.ZSTATUS FROM ZASSET a JOIN ZASSETGROUP g ON g.ZUID = a.ZGROUPUID WHERE a.ZAID = 9"), "1");
  EXPECT_EQ(text("SELECT ZAMOUNT FROM ZINOUTCOME WHERE ZUID = 'CRASH'"), "12.0");

  sql("DROP TRIGGER refuse_move");
  reopen();
  auto resumed = versionCheckForMigration(*ledger_);
  ASSERT_TRUE(resumed.isOk()) << resumed.status().message();
  EXPECT_EQ(stepsRun(resumed.value()), (std::vector<int>{4, 6, 7, 8}));
  EXPECT_EQ(text("SELECT g.ZSTATUS FROM ZASSET a JOIN ZASSETGROUP g ON g.ZUID = a.ZGROUPUID WHERE a.ZAID = 9"), "3");
  EXPECT_EQ(EtcRepository(*ledger_).getDBVersion(), 2194);
}

TEST_F(MigrationTest, WithoutASafetyCopyNothingIsMigrated) {
  writeOlderLedger();
  std::ofstream(internalData()) << "a file where the backups folder belongs";
  const std::string before = ledgerDump();
  auto refused = versionCheckForMigration(*ledger_);
  ASSERT_FALSE(refused.isOk());
  EXPECT_NE(refused.status().message().find("not migrated"), std::string::npos) << refused.status().message();
  EXPECT_EQ(EtcRepository(*ledger_).getDBVersion(), 1280);
  EXPECT_EQ(ledgerDump(), before);
}

// A function the child's connection calls from a trigger in the middle of a
// step: the process dies there, with the step's transaction open.
void dieNow(sqlite3_context*, int, sqlite3_value**) { ::kill(::getpid(), SIGKILL); }

TEST_F(MigrationTest, ACrashInsideAStepRollsItBackAndTheNextOpenRunsItAgain) {
  writeOlderLedger();
  ledger_.reset();
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    auto ledger = Ledger::open(testing::testEnvironment(dir_.path() / "home"), log_);
    sqlite3_create_function(ledger->store().db().getHandle(), "varnel_die", 0, SQLITE_UTF8, nullptr, dieNow,
                            nullptr, nullptr);
    // Step 5 repairs the main amount of "CRASH"; nothing earlier touches it.
    ledger->store().db().exec("CREATE TEMP TRIGGER die BEFORE UPDATE OF ZAMOUNT ON main.ZINOUTCOME "
                              "WHEN OLD.ZUID = 'CRASH' BEGIN SELECT varnel_die(); END");
    (void)versionCheckForMigration(*ledger);
    ::_exit(0);  // the crash did not happen
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;

  reopen();  // rolls the interrupted step back
  EXPECT_EQ(text("PRAGMA integrity_check"), "ok");
  EXPECT_EQ(EtcRepository(*ledger_).getDBVersion(), 2192);
  EXPECT_EQ(text("SELECT ZCATEGORYUID FROM ZINOUTCOME WHERE ZUID = '101'"), uidOf("ZCATEGORY", "ZAID = 901"));
  EXPECT_EQ(text("SELECT ZAMOUNT FROM ZINOUTCOME WHERE ZUID = 'CRASH'"), "11.99");
  EXPECT_EQ(text("SELECT COUNT(*) FROM ZINOUTCOME WHERE ZCARDDIVIDEUID IS NOT NULL"), "0");

  auto resumed = startLedger(*ledger_);
  ASSERT_TRUE(resumed.isOk()) << resumed.status().message();
  EXPECT_EQ(stepsRun(resumed.value().migration), (std::vector<int>{4, 5, 6, 7, 8}));
  EXPECT_EQ(text("SELECT ZAMOUNT FROM ZINOUTCOME WHERE ZUID = 'CRASH'"), "12.0");
  EXPECT_EQ(text("SELECT GROUP_CONCAT(ZCARDDIVIDEUID) FROM ZINOUTCOME WHERE ZCARDDIVIDID = 106"), "106,106");
  EXPECT_EQ(EtcRepository(*ledger_).getDBVersion(), 2194);
}

}  // namespace
}  // namespace varnel
