// What the household owns and owes at the end of each of the last months:
// the counted accounts' balances at each month end, in the main currency,
// split into those above zero (assets) and those below (debts). Reads the
// ledger; never writes.
#pragma once

#include <vector>

#include "model/ledger.h"

namespace varnel {

struct BalanceLineMonth {
  double start = 0;  // the month's first day (local midnight)
  double end = 0;    // its last day
  double total = 0;  // asset − debt
  double asset = 0;  // sum of the balances above zero
  double debt = 0;   // sum of the balances below zero, as a positive number
};

// The last `months` months (the ledger's months: they begin on its start
// day with the weekend rule), oldest first, the last holding today. The
// accounts are those the total balance counts (live, counted in totals, in
// a listed group, not a debit card), each with the debit cards drawing on
// it; a balance is the running total of the account's live `amountAccount`
// (in: kinds 0, 4, 7; out: 1, 3, 8) brought into the main currency at its
// currency's rate. One aggregate query. Throws InputError for `months`
// outside 1 … kMaxChartMonths, StoreError when the read fails.
std::vector<BalanceLineMonth> monthEndBalances(Ledger& ledger, int months);

}  // namespace varnel
