#include <fstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "model/base_repository.h"
#include "reports/widget.h"
#include "setup/initial_data.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

class WidgetTest : public testing::LedgerTest {};

TEST_F(WidgetTest, TodayYesterdayAndPeriodExpenseAreWritten) {
  ASSERT_TRUE(settingDefaultData(*ledger_, 0));  // ko_KR: main currency KRW, month from the 1st
  BaseRepository repo(*ledger_);
  const auto& d = ledger_->env().dates();
  auto add = [&](const char* kind, const char* account, const char* to, double amount, double date) {
    InOutCome t = repo.newObjectForEntity<InOutCome>();
    t.Do_Type = kind;
    t.assetUid = account;
    if (*to) t.toAssetUid = to;
    t.amount = t.amountSub = t.amountAccount = amount;
    t.Date = date;
    ASSERT_TRUE(repo.save(t, "updateInOutCome"));
  };
  add("1", "1", "", 1200, d.fromLocal(2026, 12, 10, 8));   // today (now is 09:00)
  add("1", "1", "", 300, d.fromLocal(2026, 12, 10, 23));   // later today
  add("1", "2", "", 5000, d.fromLocal(2026, 12, 9, 0, 0, 1));  // yesterday
  add("8", "1", "", 999, d.fromLocal(2026, 12, 10, 8));    // an adjustment never counts
  add("3", "2", "1", 777, d.fromLocal(2026, 12, 10, 8));   // bank to cash: neutral
  add("1", "1", "", 40, d.fromLocal(2026, 12, 2, 8));      // earlier this month
  add("1", "1", "", 10000, d.fromLocal(2026, 11, 30, 8));  // last month

  const auto figures = calcTodayAndYesterdayForWidget(*ledger_);
  EXPECT_EQ(figures.at("widgetadd_today_date"), "2026-12-10");
  EXPECT_EQ(figures.at("widgetadd_today_amount"), "₩ 1,500.00");
  EXPECT_EQ(figures.at("widgetadd_yesterday_amount"), "₩ 5,000.00");
  EXPECT_EQ(figures.at("widgetadd_thismonth_amount"), "₩ 6,540.00");
  EXPECT_EQ(figures.at("widgetadd_ToMonthPeriod"), "12. 1. ~ 12. 31.");
  EXPECT_EQ(figures.at("widgetadd_ExpensesColor"), "red");

  std::ifstream in(widgetFile(ledger_->env()));
  const auto stored = nlohmann::json::parse(in);
  EXPECT_EQ(stored.at("widgetadd_today_amount"), "₩ 1,500.00");
}

}  // namespace
}  // namespace varnel
