#include <gtest/gtest.h>

#include "backup/interchange_reader.h"
#include "model/etc_repository.h"
#include "setup/migration.h"
#include "support/interchange_fixture.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::insertRow;
using testing::LedgerTest;

class MigrationOfAnOlderFileTest : public LedgerTest {
 protected:
  std::string text(Ledger& l, const std::string& query) {
    SQLite::Statement st(l.store().db(), query);
    return st.executeStep() && !st.isColumnNull(0) ? st.getColumn(0).getString() : std::string("(null)");
  }
};

TEST_F(MigrationOfAnOlderFileTest, ASchema15FileIsLoadedAndMigratedToUidLinks) {
  const auto file = dir_.path() / "v15.db";
  testing::writeInterchangeFile(file, 15);
  {
    SQLite::Database db(file.string(), SQLite::OPEN_READWRITE);
    insertRow(db, "ASSETGROUP", {{"DEVICE_ID", "1"}, {"ACC_GROUP_NAME", "'Bank'"}, {"TYPE", "1"}, {"ORDERSEQ", "1"}});
    insertRow(db, "ASSETGROUP", {{"DEVICE_ID", "2"}, {"ACC_GROUP_NAME", "'Cards'"}, {"TYPE", "2"}, {"ORDERSEQ", "2"}});
    insertRow(db, "ASSETS", {{"ID", "7"}, {"GROUP_ID", "1"}, {"NIC_NAME", "'Wallet'"}, {"ZDATA", "0"},
                             {"ZDATA2", "0"}, {"CURRENCY_ID", "1"}});
    insertRow(db, "ASSETS", {{"ID", "8"}, {"GROUP_ID", "2"}, {"NIC_NAME", "'Visa'"}, {"CARD_ACCOUNT_ID", "7"},
                             {"CARD_DAY_FIN", "''"}, {"CARD_DAY_PAY", "'14'"}, {"ZDATA", "0"}, {"CURRENCY_ID", "1"}});
    insertRow(db, "ASSETS", {{"ID", "9"}, {"GROUP_ID", "1"}, {"NIC_NAME", "'Check'"}, {"CARD_ACCOUNT_ID", "7"},
                             {"ZDATA", "0"}, {"CURRENCY_ID", "1"}});
    insertRow(db, "ZCATEGORY", {{"ID", "900"}, {"NAME", "'Groceries'"}, {"TYPE", "1"}, {"STATUS", "0"}, {"PID", "0"}});
    insertRow(db, "ZCATEGORY", {{"ID", "901"}, {"NAME", "'Vegetables'"}, {"TYPE", "1"}, {"STATUS", "2"},
                                {"PID", "900"}});
    insertRow(db, "CURRENCY", {{"ID", "1"}, {"ISO", "'KRW'"}, {"MAIN_ISO", "'KRW'"}, {"RATE", "1"},
                               {"IS_MAIN_CURRENCY", "1"}, {"IS_SHOW", "1"}, {"DECIMAL_POINT", "0"}});
    auto tx = [&](const char* aid, const char* kind, const char* asset, const char* category, const char* opposite,
                  const char* divide) {
      insertRow(db, "INOUTCOME", {{"AID", aid}, {"DO_TYPE", std::string("'") + kind + "'"}, {"ASSET_ID", asset},
                                  {"CATEGORY_ID", category}, {"OPPOSITEAID", opposite}, {"CARDDIVIDID", divide},
                                  {"CURRENCY_ID", "1"}, {"IN_ZMONEY", "'12000'"}, {"ZMONEY", "'12000'"},
                                  {"AMOUNT_ACCOUNT", "'12000'"}, {"WDATE", "'2021-03-04'"},
                                  {"ZDATE", "'1614820830000'"}});
    };
    tx("101", "1", "7", "901", "0", "0");
    tx("103", "3", "7", "0", "104", "0");
    tx("104", "4", "8", "0", "103", "0");
    tx("106", "1", "8", "900", "0", "106");
    tx("107", "1", "8", "900", "0", "106");
    insertRow(db, "BUDGET", {{"ID", "55"}, {"CATEGORY_ID", "'900'"}, {"DO_TYPE", "'1'"}, {"PERIOD_TYPE", "6"},
                             {"IS_TOTAL", "0"}, {"IS_DEL", "0"}, {"TRANSFER_TYPE", "0"}});
    insertRow(db, "BUDGET_AMOUNT", {{"ID", "56"}, {"BUDGET_ID", "55"}, {"AMOUNT", "300000"}, {"IS_DEL", "0"},
                                    {"BUDGET_PERIOD", "202103"}});
    insertRow(db, "PHOTO", {{"DEVICE_ID", "1"}, {"FILE_NAME", "'a.jpg'"}, {"INOUT_ID", "101"}, {"IS_DEL", "0"}});
  }
  const Environment env = testing::testEnvironment(dir_.path() / "home");
  auto target = Ledger::open(env, log_, env.documentsDir() / "candidate.sqlite");
  auto loaded = loadInterchange(*target, file, InterchangeLoadMode::kAnyVersion);
  ASSERT_TRUE(loaded.isOk()) << loaded.status().message();
  EXPECT_EQ(loaded.value().dataVersion, "2191");

  auto migrated = versionCheckForMigration(*target);
  ASSERT_TRUE(migrated.isOk()) << migrated.status().message();
  std::vector<int> steps;
  for (const auto& s : migrated.value().steps) steps.push_back(s.number);
  EXPECT_EQ(steps, (std::vector<int>{3, 4, 5, 6, 7, 8}));
  Ledger& l = *target;
  const std::string wallet = text(l, "SELECT ZUID FROM ZASSET WHERE ZAID = 7");
  const std::string visa = text(l, "SELECT ZUID FROM ZASSET WHERE ZAID = 8");
  EXPECT_EQ(wallet.size(), 36u);
  EXPECT_EQ(text(l, "SELECT ZGROUPUID FROM ZASSET WHERE ZAID = 7"), text(l, "SELECT ZUID FROM ZASSETGROUP WHERE ZAID = 1"));
  EXPECT_EQ(text(l, "SELECT ZCARDASSETUID FROM ZASSET WHERE ZAID = 8"), wallet);
  EXPECT_EQ(text(l, "SELECT ZCURRENCYUID FROM ZASSET WHERE ZAID = 7"), text(l, "SELECT ZUID FROM ZCURRENCY WHERE ZAID = 1"));
  EXPECT_EQ(text(l, "SELECT ZCARD_DAYFIN || '/' || ZCARD_DAYPAY FROM ZASSET WHERE ZAID = 8"), "1/14");
  EXPECT_EQ(text(l, "SELECT g.ZSTATUS FROM ZASSET a JOIN ZASSETGROUP g ON g.ZUID = a.ZGROUPUID WHERE a.ZAID = 9"), "3");
  const std::string groceries = text(l, "SELECT ZUID FROM ZCATEGORY WHERE ZAID = 900");
  EXPECT_EQ(text(l, "SELECT ZPUID FROM ZCATEGORY WHERE ZAID = 901"), groceries);
  EXPECT_EQ(text(l, "SELECT ZCATEGORYUID FROM ZINOUTCOME WHERE ZAID = 101"),
            text(l, "SELECT ZUID FROM ZCATEGORY WHERE ZAID = 901"));
  EXPECT_EQ(text(l, "SELECT ZASSETUID FROM ZINOUTCOME WHERE ZAID = 101"), wallet);
  EXPECT_EQ(text(l, "SELECT ZCURRENCYUID FROM ZINOUTCOME WHERE ZAID = 101"),
            text(l, "SELECT ZUID FROM ZCURRENCY WHERE ZAID = 1"));
  const std::string link = text(l, "SELECT ZTXUIDTRANS FROM ZINOUTCOME WHERE ZAID = 103");
  EXPECT_EQ(link.size(), 36u);
  EXPECT_EQ(text(l, "SELECT ZTXUIDTRANS FROM ZINOUTCOME WHERE ZAID = 104"), link);
  EXPECT_EQ(text(l, "SELECT ZTOASSETUID FROM ZINOUTCOME WHERE ZAID = 103"), visa);
  EXPECT_EQ(text(l, "SELECT ZTOASSETUID FROM ZINOUTCOME WHERE ZAID = 104"), wallet);
  EXPECT_EQ(text(l, "SELECT GROUP_CONCAT(ZCARDDIVIDEUID) FROM ZINOUTCOME WHERE ZCARDDIVIDID = 106"), "106,106");
  EXPECT_EQ(text(l, "SELECT ZTARGETUID FROM ZBUDGET WHERE ZAID = 55"), groceries);
  EXPECT_EQ(text(l, "SELECT ZBUDGETUID FROM ZBUDGETAMOUNT WHERE ZAID = 56"), "55");
  EXPECT_EQ(text(l, "SELECT ZTXUID FROM ZPHOTO"), "101");
  EXPECT_EQ(EtcRepository(l).getDBVersion(), 2194);
}

}  // namespace
}  // namespace varnel
