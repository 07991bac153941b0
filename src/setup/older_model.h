// The conversion of ledgers of the older numeric-identifier model into the
// current one: identifiers for records that have none, links by identifier
// rewritten from the older numbers, one category per transaction, currencies
// from the older settings records, and the account repairs of the
// migrations.
//
// Where the older numbers are kept. Every record's own older number is its
// `aId` column (ZAID) where the table has one (transactions always; other
// tables of stores written by older releases or loaded from older interchange
// files), and otherwise its identifier when that is a decimal number: the
// older files were restored with the number as the identifier, and the
// initial data gives groups, categories and the first accounts their number as
// identifier too. The numbers a record uses to point at others are the older
// attributes, in their columns (Z + the attribute in upper case) where the
// table has them: transactions `Asset_ID`, `Category_ID`, `categoryId` (the
// sub-category), `currencyId`, `OppositeAid` (the other side of a transfer),
// `fee_ID` and `CardDividId`; accounts `Group_ID`, `Card_Account_ID` and
// `currencyId`; categories `zData` (the parent); favourites and recurring
// entries `account_id`, `to_account_id`, `category_id`, `subcategory_id` and
// `currencyId`; budget amounts `budgetId`; message rules `ConAssetID`; photos
// `inOutComeId`. Budget targets of the older files are the decimal number
// itself. A column a table lacks is simply not used.
//
// Every operation changes only links that name no record (missing, "", "0",
// or a number no record has as identifier), and only when an older number
// names a record: a link by identifier is never replaced. Changed records
// are stamped. Each runs in one store transaction (a savepoint inside an
// enclosing one) and returns the number of records it changed, or the
// failure with nothing changed. A second run changes nothing.
#pragma once

#include "model/status.h"

namespace varnel {

class Ledger;

// Gives a new canonical identifier to every record that has none (missing,
// "" or "0") in the tables whose identifiers must be unique, transactions
// excepted (inOutComeUidFix repairs those).
Result<int> giveMissingIdentifiers(Ledger& ledger);

// Rewrites every link by identifier from the older numbers (the list above),
// transactions' categories included but without creating any, and pairs the
// sides of older transfers (`OppositeAid`: a shared `txUidTrans`, each side's
// `toAssetUid` the other's account) and their fees (`fee_ID`: a shared
// `txUidFee`).
Result<int> rewriteOlderLinks(Ledger& ledger);

// The one-category migration: sub-categories get their parent from the older
// parent number, and those still without one go under the first live main
// category of their kind; transactions, favourites and recurring entries get
// their category from the older numbers (the sub-category before the main
// one); a transaction left without one takes, by its kind, the live main
// category of its older category name, created when no category has that
// name and kind; balance adjustments (kinds "6", "7", "8", or the older
// category number -4) get "-4". Transfers name accounts, not categories, and
// are left to the account links.
Result<int> oneCategoryMigration(Ledger& ledger);

// The currency migration of ledgers of the oldest model. The main currency,
// when the ledger has no main currency row, is the ISO code of the older
// main-currency setting (kinds 30121401, then -25159), else the locale's.
// Each older currency setting (kinds 284648126, 11394724, 25278, -8540)
// holds one currency: `Data` its ISO code, `zData` its rate against the main
// currency; one the catalogue knows, with a usable rate, becomes a shown
// built-in row of the main currency unless the ledger has that row already
// (a row restored from a file is newer than a setting). Accounts,
// transactions, favourites and recurring entries without a currency get it
// from their older currency number, then (transactions) the ISO code of
// their older `currency` text or (templates) `currency_sub`, else the main
// currency. Transactions without amounts get them from the older `Money`
// text: `amountSub` the number, `amount` converted into the main currency and
// `amountAccount` into the account's, by the money module. Budget amounts
// were kept in the main currency and stay as they are. When the ledger has a
// live sub-category and no sub-category setting, "use_sub_category" is set
// to "1".
Result<int> currencyMigration(Ledger& ledger);

// Every account without a group (missing, "", "0" or a group that does not
// exist) goes to the first listed ordinary group (neither credit nor debit
// card) in group order; when there is none, the initial bank group "1" is
// made from the bundled list and used.
Result<int> accountsWithoutGroupFix(Ledger& ledger);

// Moves the account flags older layouts kept beside the current ones into
// `isDel` and `isReflect`: the older hidden or deleted code (column ZZDATA, a
// decimal 1, 2 or 3) into an `isDel` that is not set, the older
// excluded-from-totals flag (ZZDATA2 "1") into an `isReflect` that is not
// set; a store without those columns has nothing to move. Accounts whose
// flags are still not set get the defaults (0: live, counted).
Result<int> assetIsDelIsReflectFix(Ledger& ledger);

// Message rules linked to accounts in the current form: a link by the older
// number (`ConAssetID`) becomes the account's identifier, and a link naming
// no account at all (not even a deleted one) is cleared, since a rule must
// never book to an account that does not exist.
Result<int> messageMacroAccountFix(Ledger& ledger);

// Photos get the identifier of their transaction (`txUid`) from its older
// number (`inOutComeId`, or a decimal `txUid`) when they name none.
Result<int> photoInOutComeAidFix(Ledger& ledger);

// The account migration of data version 2194:
//  - credit-card accounts (group type 2) without a settlement or payment day
//    (missing, "" or "0") get "1", the day every read already takes;
//  - debit cards of the older model, accounts that name a paying account
//    (an existing account other than themselves) but lie outside the card
//    groups, move into the debit-card group (type 3): the first listed one in
//    group order, or one made from the bundled list when there is none.
Result<int> migration2194Accounts(Ledger& ledger);

}  // namespace varnel
