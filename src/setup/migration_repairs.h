// Repairs of transaction records that older releases, other devices and
// restored files leave behind. The data migrations run them in their steps;
// the backup writer runs fixAmountMainCurrencyEqual before every copy, so that
// a backup holds consistent main-currency amounts.
//
// Each repair looks at the whole ledger, changes only the records its rule
// names, stamps what it changes (`utime` now, `isSynced` 1, so the repair
// reaches the other devices) and runs in one store transaction (a savepoint
// inside an enclosing one): on failure nothing of it is changed and the
// failure is returned. Running a repair a second time changes nothing.
#pragma once

#include "model/status.h"

namespace varnel {

class Ledger;

// What fixAmountMainCurrencyEqual changed.
struct MainCurrencyAmountRepair {
  int currenciesSet = 0;         // transactions without a currency given the main currency
  int amountsSet = 0;            // main-currency transactions whose `amount` became `amountSub`
  int accountCurrenciesSet = 0;  // accounts of transactions given the main currency
  int accountAmountsSet = 0;     // transactions whose `amountAccount` became `amountSub`
  int changes() const { return currenciesSet + amountsSet + accountCurrenciesSet + accountAmountsSet; }
};

// Makes the stored amounts agree where their currencies do:
//  1. every transaction without a currency (null or "") gets the main currency;
//  2. a transaction in the main currency whose `amount` differs from its
//     `amountSub` gets `amount` = `amountSub` (both are the same money);
//  3. an account that transactions book on and that has no currency gets the
//     main currency; a transaction in its account's currency whose
//     `amountAccount` differs from `amountSub` gets `amountAccount` =
//     `amountSub`.
// Deleted records are repaired too: a backup and the other devices carry
// them. A transaction without `amountSub` keeps its amounts. A ledger
// without a main currency row has no main currency to repair towards:
// nothing is changed. The account cache is reloaded afterwards.
Result<MainCurrencyAmountRepair> fixAmountMainCurrencyEqual(Ledger& ledger);

}  // namespace varnel
