// The data migrations: the start check every opening of a ledger runs, and
// the driver that brings a ledger of an older data version (settings kind
// 273) up to the current one, 2194, in fixed steps.
//
// Each step that changes records runs in one store transaction and records
// the data version it brings the ledger to in that same transaction
// ("2190" after step 1, "2191" after 2, "2192" after 3, "2193" after 5,
// "2194" after 7). A crash or a failure inside a step therefore rolls that
// step back whole, the ledger stays at the last step that completed (a state
// a ledger of that data version is in), and the next opening runs the step
// again. A failure is returned, never turned into a cleared ledger: the
// ledger and the safety copy taken before the driver stay as they are.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/status.h"

namespace varnel {

class Ledger;

// One step of the driver that ran: its number (1 … 8), what it does, and
// what each of its operations changed (operation, records), in order.
struct MigrationStep {
  int number = 0;
  std::string name;
  std::vector<std::pair<std::string, int>> changes;
  int changed() const;
};

struct MigrationReport {
  int pseudoCategoryRecordsRemoved = 0;             // by the start check
  int systemTagsMade = 0;                           // by the start check
  int dataVersionBefore = 0;                        // read by the start check (or the driver)
  int dataVersionAfter = 0;                         // at the end
  bool migrated = false;                            // the driver ran
  std::optional<std::filesystem::path> safetyCopy;  // taken before the driver
  std::vector<MigrationStep> steps;                 // the steps that ran, in order
};

struct MigrationOptions {
  // Called before each step that runs, with its number and name, so that a
  // front end can show the progress of long work.
  std::function<void(int step, const std::string& name)> progress;
};

// The start check: removes stored records of the pseudo-categories "-2" and
// "-4", leaves a single data-version record, makes sure the two system tags
// exist, and reads the data version. Below 2194 it takes a safety copy of the
// store file (reason 0, named with the data version) and runs the driver; it
// does not run the driver when the copy cannot be made. At 2194 or above it
// changes nothing more. Every part looks first and writes only when there is
// something to do, so the check of a current ledger never takes the write
// lock. Returns what ran, or the failure (the ledger is then at the last step
// that completed, with its safety copy).
Result<MigrationReport> versionCheckForMigration(Ledger& ledger, const MigrationOptions& options = {});

// The driver, with v the data version read at its start; each step runs
// only under its condition:
//  1. v < 2190: the one-category migration and the currency migration;
//  2. v < 2191: older key/value "MEMO" records become memos (and the device
//     preference "PropertyMigrationShowMessage" is set to "1");
//  3. v < 2192: identifiers for records without one, links from the older
//     numbers, the transaction repairs (inOutComeUidFix, assetUidFix,
//     fixMoveInOutComeData2192, inOutComeTransToAssetUidFix,
//     inOutComeTransDoTypeFix), accounts without a group, and once per device
//     (preference "assetIsDelIsReflectFix") the older account flags;
//  4. the caches are reloaded;
//  5. v < 2193: message rules and photos linked by identifier,
//     fixAmountMainCurrencyEqual, installMentFix;
//  6. v < 2194 and the other platform's conversion has not run (settings
//     kind 2192000 is not "1"): step 3's identifier migration once more;
//  7. v < 2194: the account migration of 2194 (migration2194Accounts);
//  8. the data version is "2194"; logs "_doMigration methods: Time to
//     complete: <seconds>".
// Takes no safety copy (the start check and a restore take their own).
// Steps another process completed meanwhile are skipped. Returns the steps
// that ran, or the failure of the first step that failed (named in it).
Result<MigrationReport> doMigration(Ledger& ledger, const MigrationOptions& options = {});

}  // namespace varnel
