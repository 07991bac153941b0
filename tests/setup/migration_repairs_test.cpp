#include "setup/migration_repairs.h"

#include <optional>

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include "setup/initial_data.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using Amount = std::optional<double>;

class AmountRepairTest : public testing::LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    ASSERT_TRUE(settingDefaultData(*ledger_, 0));
    ledger_->commonData().ReloadTheData();
    ASSERT_TRUE(ledger_->commonData().mainCurrency());
    main_ = *ledger_->commonData().mainCurrency()->uid;
    auto& db = ledger_->store().db();
    db.exec("INSERT INTO ZCURRENCY (ZUID, ZISO, ZISMAINCURRENCY) VALUES ('CUR-USD', 'USD', 0)");
    SQLite::Statement accounts(db, "INSERT INTO ZASSET (ZUID, ZNICNAME, ZCURRENCYUID, ZUTIME) VALUES "
                                   "('A-main', 'Main', ?, 1), ('A-usd', 'Dollars', 'CUR-USD', 1), "
                                   "('A-none', 'Bare', NULL, 1), ('A-idle', 'Idle', NULL, 1)");
    accounts.bind(1, main_);
    accounts.exec();
  }

  std::string main_;
};

TEST_F(AmountRepairTest, MakesAmountsAgreeWithTheirCurrenciesAndStampsOnlyWhatChanged) {
  const struct {
    const char* uid;
    const char* currency;  // "main" for the main currency, nullptr for none
    const char* account;
    Amount amountSub, amount, amountAccount;
    int isDel;
    const char* wantCurrency;
    Amount wantAmount, wantAmountAccount;
  } cases[] = {
      {"no-currency", nullptr, "A-main", 12, 11.99, 12, 0, "main", 12, 12},
      {"main-amount-off", "main", "A-main", 12, 11.99, 12, 0, "main", 12, 12},
      {"consistent", "main", "A-main", 5, 5, 5, 0, "main", 5, 5},
      {"foreign-on-main-account", "CUR-USD", "A-main", 10, 13000, 13000, 0, "CUR-USD", 13000, 13000},
      {"foreign-account-amount-off", "CUR-USD", "A-usd", 10, 13000, 9.99, 0, "CUR-USD", 13000, 10},
      {"account-without-currency", "main", "A-none", 7, 7, 6, 0, "main", 7, 7},
      {"no-amount-sub", "main", "A-main", std::nullopt, 3, 3, 0, "main", 3, 3},
      {"deleted", "main", "A-main", 12, 11.99, 12, 1, "main", 12, 12},
  };
  auto& db = ledger_->store().db();
  for (const auto& c : cases) {
    SQLite::Statement insert(db, "INSERT INTO ZINOUTCOME (ZUID, ZCURRENCYUID, ZASSETUID, ZAMOUNTSUB, ZAMOUNT, "
                                 "ZAMOUNTACCOUNT, ZISDEL, ZUTIME, ZISSYNCED, ZDO_TYPE) VALUES (?, ?, ?, ?, ?, ?, ?, 1, 2, '1')");
    insert.bind(1, c.uid);
    if (c.currency) insert.bind(2, std::string(c.currency) == "main" ? main_ : c.currency);
    insert.bind(3, c.account);
    if (c.amountSub) insert.bind(4, *c.amountSub);
    insert.bind(5, *c.amount);
    insert.bind(6, *c.amountAccount);
    insert.bind(7, c.isDel);
    insert.exec();
  }

  auto repaired = fixAmountMainCurrencyEqual(*ledger_);
  ASSERT_TRUE(repaired.isOk()) << repaired.status().message();
  EXPECT_EQ(repaired->currenciesFilled, 1);
  EXPECT_EQ(repaired->mainAmountsMatched, 3);
  EXPECT_EQ(repaired->accountsGivenCurrency, 1);
  EXPECT_EQ(repaired->accountAmountsMatched, 2);

  const int64_t now = ledger_->env().nowMs();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.uid);
    SQLite::Statement row(db, "SELECT ZCURRENCYUID, ZAMOUNT, ZAMOUNTACCOUNT, ZUTIME, ZISSYNCED, ZAMOUNTSUB "
                              "FROM ZINOUTCOME WHERE ZUID = ?");
    row.bind(1, c.uid);
    ASSERT_TRUE(row.executeStep());
    EXPECT_EQ(row.getColumn(0).getString(), std::string(c.wantCurrency) == "main" ? main_ : c.wantCurrency);
    EXPECT_DOUBLE_EQ(row.getColumn(1).getDouble(), *c.wantAmount);
    EXPECT_DOUBLE_EQ(row.getColumn(2).getDouble(), *c.wantAmountAccount);
    const bool changed = !c.currency || *c.amount != *c.wantAmount || *c.amountAccount != *c.wantAmountAccount;
    EXPECT_EQ(row.getColumn(3).getInt64(), changed ? now : 1);
    EXPECT_EQ(row.getColumn(4).getInt(), changed ? 1 : 2);
    EXPECT_EQ(row.isColumnNull(5), !c.amountSub);
  }
  // The account a transaction books on gets the main currency; one nothing
  // books on is left alone.
  EXPECT_EQ(db.execAndGet("SELECT ZCURRENCYUID FROM ZASSET WHERE ZUID = 'A-none'").getString(), main_);
  EXPECT_TRUE(db.execAndGet("SELECT ZCURRENCYUID FROM ZASSET WHERE ZUID = 'A-idle'").isNull());

  auto again = fixAmountMainCurrencyEqual(*ledger_);
  ASSERT_TRUE(again.isOk());
  EXPECT_EQ(again->currenciesFilled + again->mainAmountsMatched + again->accountsGivenCurrency +
                again->accountAmountsMatched,
            0);
}

TEST_F(AmountRepairTest, ALockedStoreFailsAndChangesNothing) {
  auto& db = ledger_->store().db();
  db.exec("INSERT INTO ZINOUTCOME (ZUID, ZASSETUID, ZAMOUNTSUB, ZAMOUNT) VALUES ('T', 'A-main', 12, 11.99)");
  SQLite::Database other(ledger_->store().path().string(), SQLite::OPEN_READWRITE);
  other.exec("BEGIN IMMEDIATE");
  db.setBusyTimeout(0);
  auto repaired = fixAmountMainCurrencyEqual(*ledger_);
  other.exec("ROLLBACK");
  EXPECT_FALSE(repaired.isOk());
  EXPECT_EQ(repaired.status().code(), StatusCode::kStoreFailure);
  EXPECT_TRUE(db.execAndGet("SELECT ZCURRENCYUID FROM ZINOUTCOME WHERE ZUID = 'T'").isNull());
}

}  // namespace
}  // namespace varnel
