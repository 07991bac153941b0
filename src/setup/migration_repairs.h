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

// Each of the following returns the number of transactions it changed.

// Gives every transaction whose identifier is "0", empty or missing a new
// canonical identifier, each a different one. (The duplicate-identifier
// repair on open turns "0" into a missing identifier, so both are repaired.)
Result<int> inOutComeUidFix(Ledger& ledger);

// Transactions without a usable account (`assetUid` missing, "", "0" or
// "-2") get it back by their stored account name (`Asset_Nic`): the first
// account whose `NicName` equals it (surrounding white space ignored on both
// sides), live accounts before deleted ones, each in `Order`; "-2" when no
// account matches or the name is empty. A transfer side among them whose
// other account (`toAssetUid`) is not usable either gets it the same way
// from `Category_Name`, which held the other account's name in the older
// model. A usable `toAssetUid` is never replaced.
Result<int> assetUidFix(Ledger& ledger);

// Re-links transfer sides whose partner lost the link. A `txUidTrans` found
// on exactly one record marks an orphan; for each live orphan of kind "3" or
// "4", the partner is the first live record of the opposite kind on the same
// local day with the accounts swapped, the same local time to the second and
// the same whole-number parts of `amountSub` and `amount`, which gets the
// orphan's `txUidTrans`. A candidate already paired with another record
// (its own link found on another record too) is never taken, and a record
// is taken for one orphan only.
Result<int> fixMoveInOutComeData2192(Ledger& ledger);

// Over live transfer sides dated from 2019-12-01 (local), for each
// `txUidTrans` shared by exactly one "3" and one "4": when both carry the
// same identifier ending "_3" (or the copy of it the duplicate-identifier
// repair renamed to identifier + "_" + row key), the "4" side's identifier
// gets "_4" in place of its last two characters; ending "_4", the "3" side
// gets "_3" — unless another record already holds the new identifier. Then
// each side's `toAssetUid` is made the other side's `assetUid`, so that the
// pair mirrors each other.
Result<int> inOutComeTransToAssetUidFix(Ledger& ledger);

// Over live transfer sides dated from 2020-05-26 (local), for each
// `txUidTrans` shared by exactly two of them: when one identifier ends "_3"
// and the other "_4", the first gets kind "3" and the second "4". A pair
// whose identifiers do not name one side each is left as it is: giving both
// the same kind would break it.
Result<int> inOutComeTransDoTypeFix(Ledger& ledger);

// Instalment records of the older model get `cardDivideUid` from their
// older series number `CardDividId` where it is missing: the identifier of
// the transaction whose older number (`aId`) it is, or, when no transaction
// has it, its decimal text (the identifier records of the older model were
// restored with). 0 and negative numbers name no series.
Result<int> installMentFix(Ledger& ledger);

}  // namespace varnel
