// Repairs of stored data that older releases and other devices may have left
// inconsistent. Each runs in one store transaction and writes only the
// records that need it.
#pragma once

#include <cstdint>

#include "model/status.h"

namespace varnel {

class Ledger;

// What fixAmountMainCurrencyEqual changed.
struct AmountRepairReport {
  int64_t currenciesFilled = 0;       // transactions without a currency given the main currency
  int64_t mainAmountsMatched = 0;     // main-currency transactions whose `amount` became `amountSub`
  int64_t accountsGivenCurrency = 0;  // accounts of transactions given the main currency
  int64_t accountAmountsMatched = 0;  // transactions whose `amountAccount` became `amountSub`
  bool noMainCurrency = false;        // the ledger has no main currency: nothing was done
};

// Makes the amounts of every transaction (deleted ones too) agree with its
// currencies, so that a backup or a migrated ledger holds consistent
// main-currency amounts:
//  1. a transaction without a currency gets the main currency;
//  2. a transaction in the main currency gets `amount` = `amountSub`;
//  3. an account that transactions book on and that has no currency gets the
//     main currency; a transaction whose account's currency is its own
//     currency gets `amountAccount` = `amountSub`.
// A missing `amountSub` never overwrites an amount. Every changed record is
// stamped (`utime` now, `isSynced` 1) so that the repair reaches the other
// devices. One store transaction; the caches are reloaded when anything
// changed. On failure nothing is changed and the reason is returned.
[[nodiscard]] Result<AmountRepairReport> fixAmountMainCurrencyEqual(Ledger& ledger);

}  // namespace varnel
