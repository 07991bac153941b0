// Times the reports against the bare SQL that reads the same rows, in the
// same run and on the same store file, and prints the ratios (ours / bare):
//   - the full account overview against one SUM(CASE …) GROUP BY scan of the
//     transaction table (goal: at most 1.5);
//   - one month's income/expense total against a bare fetch of that month's
//     rows (goal: at most 2);
//   - every credit card's bill (the settlement sums, with the prepayment tag
//     of each row) against a bare in/out sum of each card's rows.
//
//   report_bench --ledger FILE [--rounds R] [--tz Z] [--locale L] [--now ISO]
// FILE is a store written by make-ledger.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "bench/bench_support.h"
#include "ledger/card.h"
#include "reports/account_overview.h"
#include "reports/period_totals.h"

using namespace varnel;
using bench::median;
using bench::timeIt;

int main(int argc, char** argv) {
  CLI::App app{"report_bench: reports against bare SQL on one ledger"};
  bench::LedgerOptions opt;
  bench::addLedgerOptions(app, opt);
  CLI11_PARSE(app, argc, argv);

  auto ledger = bench::openLedger(opt, "report_bench");
  auto& db = ledger->store().db();
  const int64_t rows = db.execAndGet("SELECT COUNT(*) FROM ZINOUTCOME").getInt64();

  // Warm the page cache for both sides alike.
  db.execAndGet("SELECT TOTAL(ZAMOUNT) FROM ZINOUTCOME");

  std::vector<Asset> cards;
  for (const auto& a : ledger->commonData().assetList()) {
    if (a.uid && ledger->commonData().getAssetGroupTypeAsset(a) == kCreditCardGroupType) cards.push_back(a);
  }

  std::vector<double> overview, scan, month, fetch, bills, cardSums;
  size_t accounts = 0;
  double sink = 0;
  PeriodTotals totals(*ledger);
  const auto period = totals.rules().getStartEndDate(ledger->env().nowStoreSeconds(), 6, 1, true);
  const double start = period->first, end = totals.rules().addDays(period->second, 1);
  for (int r = 0; r < opt.rounds; ++r) {
    overview.push_back(timeIt([&] { accounts = sumAssetAll(*ledger).size(); }));
    scan.push_back(timeIt([&] {
      SQLite::Statement st(db,
                           "SELECT ZASSETUID, SUM(CASE WHEN ZDO_TYPE IN ('0', '4', '7') THEN "
                           "ZAMOUNTACCOUNT ELSE 0 END), SUM(CASE WHEN ZDO_TYPE IN ('1', '3', '8') "
                           "THEN ZAMOUNTACCOUNT ELSE 0 END) FROM ZINOUTCOME WHERE ZISDEL IS NULL OR "
                           "ZISDEL != 1 GROUP BY ZASSETUID");
      while (st.executeStep()) sink += st.getColumn(1).getDouble();
    }));
    month.push_back(timeIt([&] {
      sink += totals.getInOutSumMoneyByDate(period->first, period->second).income;
    }));
    fetch.push_back(timeIt([&] {
      SQLite::Statement st(db,
                           "SELECT ZDO_TYPE, ZASSETUID, ZTOASSETUID, ZAMOUNT FROM ZINOUTCOME WHERE "
                           "ZDATE >= ? AND ZDATE < ?");
      st.bind(1, start);
      st.bind(2, end);
      while (st.executeStep()) sink += st.getColumn(3).getDouble();
    }));
    bills.push_back(timeIt([&] {
      for (const auto& card : cards) sink += cardSettlement(*ledger, card).ThisMonthMoney;
    }));
    cardSums.push_back(timeIt([&] {
      SQLite::Statement st(db,
                           "SELECT TOTAL(CASE WHEN ZDO_TYPE IN ('0', '4', '7') THEN ZAMOUNTACCOUNT END), "
                           "TOTAL(CASE WHEN ZDO_TYPE IN ('1', '3', '8') THEN ZAMOUNTACCOUNT END) FROM "
                           "ZINOUTCOME WHERE ZASSETUID = ? AND (ZISDEL IS NULL OR ZISDEL != 1)");
      for (const auto& card : cards) {
        st.bind(1, *card.uid);
        if (st.executeStep()) sink += st.getColumn(1).getDouble();
        st.reset();
      }
    }));
  }
  std::printf("ledger: %s, %lld transactions, %zu accounts, rounds: %d (medians)\n", opt.file.c_str(),
              static_cast<long long>(rows), accounts, opt.rounds);
  std::printf("account overview %8.1f ms   bare GROUP BY scan %8.1f ms   ratio %.2f (goal <= 1.5)\n",
              median(overview) * 1e3, median(scan) * 1e3, median(overview) / median(scan));
  std::printf("month in/out     %8.2f ms   bare month fetch   %8.2f ms   ratio %.2f (goal <= 2)\n",
              median(month) * 1e3, median(fetch) * 1e3, median(month) / median(fetch));
  std::printf("card bills (%2zu)  %8.1f ms   bare card sums     %8.1f ms   ratio %.2f\n", cards.size(),
              median(bills) * 1e3, median(cardSums) * 1e3, median(bills) / median(cardSums));
  return sink == -1 ? 1 : 0;
}
