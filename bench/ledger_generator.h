// A deterministic generator of realistic ledgers for benchmarks and for tests
// that compare fast reports with slow recomputations: 40 accounts in 8 groups
// (credit and debit cards, a US-dollar account, transfer-expense accounts),
// the default categories with their sub-categories, and transactions over a
// span of years: income, expenses, transfers with fees, card instalments and
// deleted records, with merchant names, some memos and the card messages of
// card purchases. Written through the repositories' bulk path.
#pragma once

#include <cstdint>

#include "model/ledger.h"

namespace varnel::bench {

struct GeneratorOptions {
  int64_t transactions = 1000000;  // rows written, every kind together
  int years = 10;                  // the span ending at the environment's "now"
  uint64_t seed = 1;
};

struct GeneratedLedger {
  int64_t rows = 0;
  int accounts = 0;
  int categories = 0;
};

// Fills a ledger that holds the default data of a new ledger (main currency,
// groups, categories) and nothing else yet.
GeneratedLedger generateLedger(Ledger& ledger, const GeneratorOptions& options);

}  // namespace varnel::bench
