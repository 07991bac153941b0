#include <gtest/gtest.h>

#include "model/base_repository.h"
#include "setup/initial_data.h"
#include "setup/older_model.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

class OlderModelTest : public LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    ASSERT_TRUE(settingDefaultData(*ledger_, 0).isOk());
  }

  void sql(const std::string& statements) { ledger_->store().db().exec(statements); }
  std::string text(const std::string& query) {
    SQLite::Statement st(ledger_->store().db(), query);
    return st.executeStep() && !st.isColumnNull(0) ? st.getColumn(0).getString() : std::string("(null)");
  }
  void olderColumn(const std::string& table, const std::string& column) {
    if (!ledger_->store().columnExists(table, column)) sql("ALTER TABLE " + table + " ADD COLUMN " + column + " INTEGER");
  }
};

struct LinkCase {
  const char* name;
  const char* assetUid;  // SQL literal
  const char* assetId;   // SQL literal
  const char* after;
};

TEST_F(OlderModelTest, OlderNumbersRestoreOnlyLinksThatNameNoRecord) {
  olderColumn("ZASSET", "ZAID");
  // "A7" has the older number 7 in its column (so has a deleted copy stored
  // before it: the live one wins); "70" has its number as its identifier.
  sql("INSERT INTO ZASSET (ZUID, ZAID, ZNICNAME, ZISDEL) VALUES ('A7_OLD', 7, 'Wallet', 1), ('A7', 7, 'Wallet', 0), "
      "('70', NULL, 'Bank', 0)");
  const LinkCase cases[] = {
      {"missing link", "NULL", "7", "A7"},
      {"\"0\"", "'0'", "7", "A7"},
      {"\"-2\" (account not found)", "'-2'", "7", "A7"},
      {"a number as the link", "'7'", "NULL", "A7"},
      {"the number is an identifier", "NULL", "70", "70"},
      {"a link naming a record stays", "'70'", "7", "70"},
      {"a dangling link with no number stays", "'GONE'", "NULL", "GONE"},
      {"a number naming nothing", "NULL", "99", "(null)"},
  };
  int n = 0;
  for (const auto& c : cases) {
    sql(std::string("INSERT INTO ZINOUTCOME (ZUID, ZDO_TYPE, ZASSETUID, ZASSET_ID) VALUES ('T") +
        std::to_string(++n) + "', '1', " + c.assetUid + ", " + c.assetId + ")");
  }
  auto rewritten = rewriteOlderLinks(*ledger_);
  ASSERT_TRUE(rewritten.isOk()) << rewritten.status().message();
  n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text("SELECT ZASSETUID FROM ZINOUTCOME WHERE ZUID = 'T" + std::to_string(++n) + "'"), c.after);
  }
  EXPECT_EQ(rewritten.value(), 5);
  EXPECT_EQ(rewriteOlderLinks(*ledger_).value(), 0);
}

TEST_F(OlderModelTest, BudgetTargetsAreRestoredByTheKindOfBudget) {
  olderColumn("ZCATEGORY", "ZAID");
  olderColumn("ZASSET", "ZAID");
  olderColumn("ZASSETGROUP", "ZAID");
  sql("INSERT INTO ZCATEGORY (ZUID, ZAID, ZNAME, ZDOTYPE) VALUES ('C', 40, 'Food', 1)");
  sql("INSERT INTO ZASSET (ZUID, ZAID, ZNICNAME) VALUES ('A', 40, 'Savings')");
  sql("INSERT INTO ZASSETGROUP (ZUID, ZAID, ZASSETGROUPNAME, ZSTATUS) VALUES ('G', 40, 'Funds', 4)");
  // Older budgets name their target by its number, whatever it is.
  sql("INSERT INTO ZBUDGET (ZUID, ZTARGETUID, ZTOTALTYPEINT, ZTRANSTYPEINT) VALUES "
      "('B0', '40', 0, 0), ('B1', '40', 0, 1), ('B3', '40', 0, 3), ('BT', '', 1, 0)");
  ASSERT_TRUE(rewriteOlderLinks(*ledger_).isOk());
  EXPECT_EQ(text("SELECT ZTARGETUID FROM ZBUDGET WHERE ZUID = 'B0'"), "C");
  EXPECT_EQ(text("SELECT ZTARGETUID FROM ZBUDGET WHERE ZUID = 'B1'"), "A");
  EXPECT_EQ(text("SELECT ZTARGETUID FROM ZBUDGET WHERE ZUID = 'B3'"), "G");
  EXPECT_EQ(text("SELECT ZTARGETUID FROM ZBUDGET WHERE ZUID = 'BT'"), "");
}

TEST_F(OlderModelTest, AccountsWithoutAGroupGoToTheFirstOrdinaryGroup) {
  sql("INSERT INTO ZASSET (ZUID, ZNICNAME, ZGROUPUID) VALUES ('NONE', 'a', NULL), ('ZERO', 'b', '0'), "
      "('LOST', 'c', 'NO_SUCH_GROUP'), ('KEEP', 'd', '2')");
  // The first group in group order is a card group: it is passed over.
  sql("UPDATE ZASSETGROUP SET ZORDER = 0 WHERE ZUID = '2'");
  sql("UPDATE ZASSETGROUP SET ZORDER = 1, ZISDEL = 1 WHERE ZUID = '4'");  // removed: passed over
  const std::string first = text("SELECT ZUID FROM ZASSETGROUP WHERE ZSTATUS NOT IN (2, 3) "
                                 "AND (ZISDEL IS NULL OR ZISDEL NOT IN (1, 2, 4)) ORDER BY ZORDER, Z_PK");
  auto fixed = accountsWithoutGroupFix(*ledger_);
  ASSERT_TRUE(fixed.isOk());
  EXPECT_EQ(fixed.value(), 3);
  EXPECT_EQ(text("SELECT GROUP_CONCAT(ZGROUPUID) FROM ZASSET WHERE ZUID IN ('NONE', 'ZERO', 'LOST')"),
            first + "," + first + "," + first);
  EXPECT_EQ(text("SELECT ZGROUPUID FROM ZASSET WHERE ZUID = 'KEEP'"), "2");
}

struct AccountCase {
  const char* name;
  const char* group;
  Text payer;
  Text dayFin, dayPay;
  const char* groupAfter;  // "debit": the debit-card group
  const char* dayFinAfter;
  const char* dayPayAfter;
};

TEST_F(OlderModelTest, Migration2194SeparatesDebitCardsAndCompletesCreditCards) {
  sql("DELETE FROM ZASSET");
  sql("INSERT INTO ZASSET (ZUID, ZNICNAME, ZGROUPUID) VALUES ('BANK', 'Bank', '1')");
  const AccountCase cases[] = {
      {"debit card in the bank group", "1", "BANK", std::nullopt, std::nullopt, "debit", "(null)", "(null)"},
      {"debit card without a group", "", "BANK", std::nullopt, std::nullopt, "debit", "(null)", "(null)"},
      {"paying for itself", "1", "SELF", std::nullopt, std::nullopt, "1", "(null)", "(null)"},
      {"paid from an account that does not exist", "1", "GONE", std::nullopt, std::nullopt, "1", "(null)", "(null)"},
      {"credit card without days", "2", "BANK", std::nullopt, "0", "2", "1", "1"},
      {"credit card with days", "2", "BANK", "25", "14", "2", "25", "14"},
      {"ordinary account", "1", std::nullopt, std::nullopt, std::nullopt, "1", "(null)", "(null)"},
  };
  BaseRepository repo(*ledger_);
  int n = 0;
  for (const auto& c : cases) {
    Asset a = repo.newObjectForEntity<Asset>(c.payer == "SELF" ? "SELF" : "A" + std::to_string(++n));
    if (c.payer == "SELF") ++n;
    a.NicName = c.name;
    a.groupUid = c.group;
    a.cardAssetUid = c.payer;
    a.Card_DayFin = c.dayFin;
    a.Card_DayPay = c.dayPay;
    ASSERT_TRUE(repo.save(a, "updateAsset"));
  }
  // The default ledger has a debit-card group; without one, one is made.
  sql("DELETE FROM ZASSETGROUP WHERE ZSTATUS = 3");
  auto migrated = migration2194Accounts(*ledger_);
  ASSERT_TRUE(migrated.isOk()) << migrated.status().message();
  const std::string debit = text("SELECT ZUID FROM ZASSETGROUP WHERE ZSTATUS = 3");
  EXPECT_EQ(debit, "3");
  EXPECT_EQ(text("SELECT ZASSETGROUPNAME FROM ZASSETGROUP WHERE ZSTATUS = 3"), "체크카드");
  n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string uid = c.payer == "SELF" ? "SELF" : "A" + std::to_string(n + 1);
    ++n;
    const std::string where = " FROM ZASSET WHERE ZUID = '" + uid + "'";
    EXPECT_EQ(text("SELECT ZGROUPUID" + where), std::string(c.groupAfter) == "debit" ? debit : c.groupAfter);
    EXPECT_EQ(text("SELECT ZCARD_DAYFIN" + where), c.dayFinAfter);
    EXPECT_EQ(text("SELECT ZCARD_DAYPAY" + where), c.dayPayAfter);
  }
  EXPECT_EQ(migration2194Accounts(*ledger_).value(), 0);
}

TEST_F(OlderModelTest, CurrencyMigrationTakesTheOlderSettingsAndAmounts) {
  sql("UPDATE ZCURRENCY SET ZISMAINCURRENCY = 0");  // a ledger of the oldest model has no main row
  sql("INSERT INTO ZETC (ZDATATYPE, ZDATA) VALUES (30121401, ' usd ')");
  sql("INSERT INTO ZETC (ZDATATYPE, ZDATA, ZZDATA) VALUES (11394724, 'KRW', '0.00077'), "
      "(25278, 'XXX', '2'), (-8540, 'EUR', 'not a rate')");
  sql("INSERT INTO ZASSET (ZUID, ZNICNAME) VALUES ('ACC', 'Wallet')");
  sql("INSERT INTO ZINOUTCOME (ZUID, ZDO_TYPE, ZASSETUID, ZCURRENCY, ZMONEY) VALUES "
      "('KRW', '1', 'ACC', 'krw', '13000\n'), ('BAD', '1', 'ACC', NULL, 'Infinity')");
  auto migrated = currencyMigration(*ledger_);
  ASSERT_TRUE(migrated.isOk()) << migrated.status().message();
  EXPECT_EQ(text("SELECT ZUID FROM ZCURRENCY WHERE ZISMAINCURRENCY = 1"), "USD_USD");
  EXPECT_EQ(text("SELECT ZRATE FROM ZCURRENCY WHERE ZUID = 'USD_KRW'"), "0.00077");
  EXPECT_EQ(text("SELECT COUNT(*) FROM ZCURRENCY WHERE ZISO IN ('XXX', 'EUR') AND ZMAINISO = 'USD'"), "0");
  EXPECT_EQ(text("SELECT ZCURRENCYUID FROM ZASSET WHERE ZUID = 'ACC'"), "USD_USD");
  // 13000 won at 0.00077 dollars: 10.01 in the main currency and in the
  // (dollar) account.
  EXPECT_EQ(text("SELECT ZCURRENCYUID || ' ' || ZAMOUNTSUB || ' ' || ZAMOUNT || ' ' || ZAMOUNTACCOUNT "
                 "FROM ZINOUTCOME WHERE ZUID = 'KRW'"),
            "USD_KRW 13000.0 10.01 10.01");
  EXPECT_EQ(text("SELECT ZCURRENCYUID || ' ' || IFNULL(ZAMOUNTSUB, 'none') FROM ZINOUTCOME WHERE ZUID = 'BAD'"),
            "USD_USD none");
  EXPECT_EQ(currencyMigration(*ledger_).value(), 0);
}

}  // namespace
}  // namespace varnel
