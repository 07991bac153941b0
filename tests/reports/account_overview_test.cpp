#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "bench/ledger_generator.h"
#include "ledger/card.h"
#include "model/base_repository.h"
#include "reports/account_overview.h"
#include "reports/category_statistics.h"
#include "reports/period_totals.h"
#include "model/period.h"
#include "setup/initial_data.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

class AccountOverviewTest : public testing::LedgerTest {};

// Every balance of the overview against a recomputation from every row.
TEST_F(AccountOverviewTest, MatchesASlowRecomputationOnAGeneratedLedger) {
  ASSERT_TRUE(settingDefaultData(*ledger_, 0));
  bench::generateLedger(*ledger_, {.transactions = 6000, .years = 3, .seed = 11});
  const CommonData& cache = ledger_->commonData();

  BaseRepository repo(*ledger_);
  const std::vector<InOutCome> all = repo.fetch<InOutCome>("");
  auto net = [&](const std::string& account, std::optional<double> from, std::optional<double> to,
                 bool mainAmount) {
    double sum = 0;
    for (const auto& t : all) {
      if (!isLive(t) || t.assetUid != account) continue;
      if (from && *t.Date < *from) continue;
      if (to && *t.Date >= *to) continue;
      const double v = mainAmount ? t.amount.value_or(0) : t.amountAccount.value_or(0);
      const std::string k = t.Do_Type.value_or("");
      if (k == "0" || k == "4" || k == "7") sum += v;
      if (k == "1" || k == "3" || k == "8") sum -= v;
    }
    return sum;
  };
  const PeriodRules rules(ledger_->env().dates(), cache.app());
  const auto month = rules.getStartEndDate(ledger_->env().nowStoreSeconds(), 6, cache.app().appStartDay, true);
  const double monthStart = month->first, monthEnd = rules.addDays(month->second, 1);

  const AccountOverview overview = sumAssetAll(*ledger_);
  int ordinary = 0, debit = 0, cards = 0;
  for (const auto& a : cache.assetList()) {
    const int64_t type = cache.getAssetGroupTypeAsset(a);
    const int64_t del = a.isDel.value_or(0);
    auto it = overview.find(*a.uid);
    if (del == 1 || del == 2) {
      EXPECT_EQ(it, overview.end()) << *a.uid;
      continue;
    }
    ASSERT_NE(it, overview.end()) << *a.uid;
    const int point = static_cast<int>(it->second.currency->point.value_or(0));
    const double scale = std::pow(10.0, point);
    double expected = 0;
    if (type == 2) {
      ++cards;
      EXPECT_EQ(it->second.Money, 0) << "cards show their bills, not a balance";
      EXPECT_TRUE(it->second.dateWillEnd.has_value());
      continue;
    }
    if (type == 3) {
      ++debit;
      expected = net(*a.uid, monthStart, monthEnd, false);
    } else {
      ++ordinary;
      expected = net(*a.uid, std::nullopt, std::nullopt, false);
      for (const auto& card : cache.assetList()) {
        if (card.cardAssetUid == a.uid && cache.getAssetGroupTypeAsset(card) == 3) {
          expected += card.currencyUid == a.currencyUid ? net(*card.uid, std::nullopt, std::nullopt, false)
                                                        : net(*card.uid, std::nullopt, std::nullopt, true);
        }
      }
    }
    EXPECT_NEAR(it->second.Money, std::round(expected * scale) / scale, 0.5 / scale) << *a.uid;
    EXPECT_EQ(it->second.Key, *a.uid);
    EXPECT_EQ(it->second.assetName, a.NicName.value_or(""));
  }
  EXPECT_GE(ordinary, 20);
  EXPECT_GE(debit, 4);
  EXPECT_GE(cards, 8);

  // Asking for one account gives the same figure.
  const std::string bank = "GEN-1-0";
  EXPECT_EQ(sumAssetAll(*ledger_, bank).at(bank).Money, overview.at(bank).Money);
}

// The text of every statement on the transaction table that `run` executes.
std::set<std::string> transactionQueriesOf(Ledger& ledger, const std::function<void()>& run) {
  std::set<std::string> queries;
  sqlite3* handle = ledger.store().db().getHandle();
  sqlite3_trace_v2(
      handle, SQLITE_TRACE_STMT,
      [](unsigned, void* context, void* statement, void*) {
        const char* sql = sqlite3_sql(static_cast<sqlite3_stmt*>(statement));
        if (sql && std::strstr(sql, "ZINOUTCOME")) static_cast<std::set<std::string>*>(context)->insert(sql);
        return 0;
      },
      &queries);
  run();
  sqlite3_trace_v2(handle, 0, nullptr, nullptr);
  return queries;
}

// The steps of the plan of `sql` that read rows of a table: the transaction
// table through an index that lacks a column the query reads, or any table
// scanned whole.
std::vector<std::string> rowReadsOf(SQLite::Database& db, const std::string& sql) {
  SQLite::Statement plan(db, "EXPLAIN QUERY PLAN " + sql);
  std::vector<std::string> reads;
  while (plan.executeStep()) {
    const std::string step = plan.getColumn(3).getString();
    const bool search = step.rfind("SEARCH ", 0) == 0;
    const bool scan = step.rfind("SCAN ", 0) == 0 && step.find("(subquery") == std::string::npos;
    if (!search && !scan) continue;
    const bool transactions = step.find("ZINOUTCOME_") != std::string::npos;
    const bool covered = step.find("COVERING INDEX ZINOUTCOME_") != std::string::npos;
    if ((transactions && !covered) || step.find("INDEX") == std::string::npos) reads.push_back(step);
  }
  return reads;
}

// The reports that sum tens of thousands of transactions read them from the
// store's covering indexes, never row by row from the table: an edit of
// their SQL that needs one more column, or a lost index, fails here.
TEST_F(AccountOverviewTest, SumsOfManyTransactionsReadOnlyCoveringIndexes) {
  ASSERT_TRUE(settingDefaultData(*ledger_, 0));
  bench::generateLedger(*ledger_, {.transactions = 300, .years = 2, .seed = 5});
  PeriodTotals totals(*ledger_);
  const auto month = totals.rules().getStartEndDate(ledger_->env().nowStoreSeconds(), 6, 1, true);
  const auto card = ledger_->commonData().assetByUid("GEN-2-0");
  ASSERT_TRUE(card);

  struct Case {
    const char* name;
    std::function<void()> run;
  };
  const Case cases[] = {
      {"account overview", [&] { sumAssetAll(*ledger_); }},
      {"overview of a bank account with debit cards", [&] { sumAssetAll(*ledger_, "GEN-1-0"); }},
      {"overview of a credit card", [&] { sumAssetAll(*ledger_, "GEN-2-0"); }},
      {"card bill", [&] { cardSettlement(*ledger_, *card); }},
      {"month income and expense", [&] { totals.getInOutSumMoneyByDate(month->first, month->second); }},
      {"month totals in the book view",
       [&] { totals.sumInOutAmount("amount", false, {}, month->first, month->second); }},
      {"month category totals",
       [&] {
         CategoryCalculator(*ledger_).sumTxGroupByCategory({}, {TxKind::kIncome, TxKind::kExpense},
                                                           month->first, month->second);
       }},
      {"account chart", [&] { totals.getInOutForChartByAsset("GEN-1-0", 12); }},
  };
  for (const auto& c : cases) {
    const std::set<std::string> queries = transactionQueriesOf(*ledger_, c.run);
    EXPECT_FALSE(queries.empty()) << c.name;
    for (const auto& sql : queries) {
      for (const auto& step : rowReadsOf(ledger_->store().db(), sql)) {
        ADD_FAILURE() << c.name << ": " << step << "\n  in " << sql;
      }
    }
  }
}

}  // namespace
}  // namespace varnel
