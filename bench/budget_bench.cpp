// Times a month's budget listing against the bare SQL that sums the same
// month by category, in the same run and on the same store file, and prints
// the ratio (ours / bare; goal: at most 2):
//   - ours: the expense budgets of a whole month (the one before the month
//     holding --now, since a generated ledger ends at --now), 30 of them (the
//     total, main categories, sub-categories, account groups and
//     transfer-expense accounts), each with its amount in force and use;
//   - bare: one GROUP BY category aggregate of the month's live expense rows.
// The budgets are set inside a transaction that is rolled back at the end,
// so the ledger file is left as it was.
//
//   budget_bench --ledger FILE [--rounds R] [--tz Z] [--locale L] [--now ISO]
// FILE is a store written by make-ledger.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "bench/bench_support.h"
#include "ledger/category_repository.h"
#include "model/liveness.h"
#include "reports/budget_repository.h"

using namespace varnel;
using bench::median;
using bench::timeIt;

namespace {

constexpr size_t kBudgets = 30;

// Up to 30 targets a household would budget: the total, then the expense
// categories (main ones first), the groups and the accounts whose incoming
// transfers count as spent.
std::vector<BudgetTarget> budgetTargets(const CommonData& cache) {
  std::vector<BudgetTarget> targets{BudgetTarget::total()};
  auto add = [&](BudgetTarget t) {
    if (targets.size() < kBudgets) targets.push_back(std::move(t));
  };
  for (const Asset& a : cache.assetList()) {
    if (a.uid && live::isLiveAccount(a) && a.transferExpense.value_or(0) != 0) {
      add(BudgetTarget::transferAccount(*a.uid));
      if (auto g = cache.assetGroupByUid(a.groupUid.value_or("")); g && live::isListedGroup(*g)) {
        const BudgetTarget group = BudgetTarget::accountGroup(*g->uid);
        if (std::none_of(targets.begin(), targets.end(), [&](const BudgetTarget& t) {
              return t.transTypeInt == group.transTypeInt && t.targetUid == group.targetUid;
            })) {
          add(group);
        }
      }
    }
  }
  for (bool sub : {false, true}) {
    for (const Category& c : cache.categoryList()) {
      const bool isSub = c.Status.value_or(0) == category_code::kSubStatus;
      if (c.uid && isLive(c) && c.doType.value_or(-1) == budget_code::kExpense && isSub == sub) {
        add(BudgetTarget::category(*c.uid));
      }
    }
  }
  return targets;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"budget_bench: a month's budget listing against bare SQL on one ledger"};
  bench::LedgerOptions opt;
  bench::addLedgerOptions(app, opt);
  CLI11_PARSE(app, argc, argv);

  auto ledger = bench::openLedger(opt, "budget_bench");
  ledger->commonData().ReloadTheData();
  auto& db = ledger->store().db();
  const int64_t rows = db.execAndGet("SELECT COUNT(*) FROM ZINOUTCOME").getInt64();

  BudgetRepository budgets(*ledger);
  const PeriodRules rules(ledger->env().dates(), ledger->commonData().app());
  const BudgetPeriod current = budgets.budgetPeriodOfDate(ledger->env().nowStoreSeconds(), budget_code::kMonthly);
  const BudgetPeriod period = budgets.budgetPeriodOfDate(rules.addDays(current.start, -1), budget_code::kMonthly);
  const double start = period.start, end = rules.addDays(period.end, 1);

  // Never committed: the file keeps no budget of ours.
  StoreTransaction transaction(ledger->store());
  const std::vector<BudgetTarget> targets = budgetTargets(ledger->commonData());
  for (const BudgetTarget& t : targets) {
    const Status s = budgets.updateBudget(t, budget_code::kExpense, period.day(), budget_code::kMonthly, 100000);
    if (!s) {
      std::fprintf(stderr, "budget_bench: cannot set a budget: %s\n", s.message().c_str());
      return 1;
    }
  }

  // Warm the page cache for both sides alike.
  db.execAndGet("SELECT TOTAL(ZAMOUNT) FROM ZINOUTCOME");

  std::vector<double> listing, bare;
  size_t items = 0, groups = 0;
  double sink = 0;
  for (int r = 0; r < opt.rounds; ++r) {
    listing.push_back(timeIt([&] {
      const auto list = budgets.listBudgetWithData(budget_code::kExpense, period.day(), budget_code::kMonthly);
      items = 0;
      for (const BudgetModel& m : list) items += 1 + m.subBudgetAmountList.size();
      sink += list.empty() ? 0 : list.front().cateMoney;
    }));
    bare.push_back(timeIt([&] {
      SQLite::Statement st(db,
                           "SELECT ZCATEGORYUID, TOTAL(ZAMOUNT) FROM ZINOUTCOME WHERE ZDO_TYPE = '1' AND "
                           "(ZISDEL IS NULL OR ZISDEL != 1) AND ZDATE >= ? AND ZDATE < ? GROUP BY ZCATEGORYUID");
      st.bind(1, start);
      st.bind(2, end);
      groups = 0;
      while (st.executeStep()) {
        sink += st.getColumn(1).getDouble();
        ++groups;
      }
    }));
  }
  std::printf("ledger: %s, %lld transactions, month %lld, rounds: %d (medians)\n", opt.file.c_str(),
              static_cast<long long>(rows), static_cast<long long>(period.key), opt.rounds);
  std::printf("budget listing (%zu budgets) %8.2f ms   bare category aggregate (%zu rows) %8.2f ms   ratio %.2f (goal <= 2)\n",
              items, median(listing) * 1e3, groups, median(bare) * 1e3, median(listing) / median(bare));
  return sink == -1 ? 1 : 0;
}
