// What the application does each time it opens a ledger: it writes the
// default ledger into a store without settings, then repairs the category
// records older releases and other devices may have left behind. Every front
// end opens a ledger through this, so they all see the same repaired ledger.
#pragma once

#include <string>

#include "ledger/card.h"
#include "ledger/currency_repository.h"
#include "ledger/repeat_transaction_repository.h"
#include "model/status.h"
#include "setup/migration.h"

namespace varnel {

class Ledger;

// What the start did.
struct LedgerStartReport {
  bool wroteDefaults = false;             // the store had no settings: the default ledger was written
  int categoryStatusesFixed = 0;          // `Status` values other than 0 and 2 normalised
  int pseudoCategoryRecordsRemoved = 0;   // stored records claiming "-2" or "-4"
  int orphanedSubCategoriesAttached = 0;  // live sub-categories without a parent given one
  MigrationReport migration;              // the start check and the data migrations it ran
};

// Writes the default ledger when the store has no settings record (see
// settingDefaultData), runs the start check of the data migrations
// (versionCheckForMigration: a ledger of an older data version is migrated
// after a safety copy; a failure is returned and nothing after it runs), then
// repairs the categories: statuses other than
// main (0) and sub (2) are normalised (fixCategoryStatus), records stored
// under the pseudo-category identifiers "-2" and "-4" are removed, since
// those identifiers stand for no record and a stored one would be listed as
// a category of its own, and each live sub-category without a parent is put
// under the first live main category of its kind (by order), so that its
// rows are counted and listed again; one whose kind has no live main
// category stays as it is. The repairs look first and write only when there
// is something to repair, all in one store transaction; a sound ledger is
// never written to. On failure nothing of the repairs is changed.
Result<LedgerStartReport> startLedger(Ledger& ledger, const MigrationOptions& migration = {});

// What the start-up routine booked.
struct StartRoutineReport {
  RepeatRun repeats;        // the recurring occurrences that were due
  AutoPaymentRun payments;  // the automatic card payments (or that they ran today already)
};

// The routine the application runs once the ledger is open (and again
// whenever it starts up): first the due occurrences of the recurring
// transactions (RepeatTransactionRepository::repeatDataInputAll), then the
// due automatic card payments (CardRepository: at most once a day), so that
// a card bill includes the recurring entries booked on the card. Everything
// is written in one store transaction, and the day of the card payment run
// is recorded only after it committed: on failure nothing is booked, no
// template moves, and the next start tries again; the failure is returned.
Result<StartRoutineReport> runStartRoutine(Ledger& ledger);

// Starts the ledger over in `newIso`: everything but the categories is
// removed and the initial account groups and accounts are written again, in
// the new main currency, after a safety copy and in one store transaction
// (CurrencyRepository::startOverWithMainCurrency).
MainCurrencyChange startOverWithMainCurrency(Ledger& ledger, const std::string& newIso);

}  // namespace varnel
