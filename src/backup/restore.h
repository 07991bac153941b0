// Restoring the ledger from a file: a backup ("vnbak", "vnbak.gz"), a copy
// of a ledger store, or an interchange file from the other phone platform
// (of any schema version). The received file is only ever read: the new
// ledger is built in a working file beside the store (from the ledger tables
// of a store copy; through the version-tolerant loader from an interchange
// file), checked, and swapped in (backup/store_swap.h). A file that is none
// of these, or is damaged, is refused before anything is touched.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "backup/interchange_reader.h"
#include "backup/progress.h"
#include "backup/store_swap.h"
#include "model/status.h"
#include "model/uid_repair.h"
#include "setup/migration.h"

namespace spdlog {
class logger;
}

namespace varnel {

class Environment;
class Ledger;
class Preferences;

enum class ReceivedKind {
  kLedgerStore,  // a backup or a copy of a ledger store
  kInterchange,  // an interchange file of the other phone platform
};

// What a received file holds.
struct ReceivedFileInfo {
  ReceivedKind kind = ReceivedKind::kLedgerStore;
  bool gzip = false;       // it came gzip-compressed
  int schemaVersion = 0;   // PRAGMA user_version: the store schema, or the interchange version
  int dataVersion = 0;     // ledger stores: the data version setting (0 when there is none)
  std::map<std::string, int64_t> rows;  // rows of each table that is read
};

const char* receivedKindName(ReceivedKind kind);

// What a restore did.
struct RestoreReport {
  ReceivedFileInfo found;
  StoreSwapReport swap;
  RepairReport uidRepair;  // duplicate identifiers the file held, made unique in the new ledger
  // What the version-tolerant loader read from an interchange file.
  std::optional<InterchangeLoadReport> interchange;
  // The start check of the data migrations on the restored ledger
  // (restoreLedger only; a caller of restoreDB runs it when it opens the
  // ledger).
  std::optional<MigrationReport> migration;
};

struct RestoreOptions {
  Progress progress;
  // Called once the file is known good, before anything changes; returning
  // false ends the restore with nothing changed (kCancelled).
  std::function<bool(const ReceivedFileInfo&)> confirm;
};

// The failure a declined confirmation gives: invalid input with this text.
inline constexpr const char* kRestoreCancelled = "the restore was cancelled; nothing changed";

// Looks at `file` without changing it (gzip files are decompressed into a
// working file beside `storeFile`, removed afterwards) and tells what it is.
// Fails with invalid input for an empty file, one that is not gzip or
// SQLite, a gzip file that is not whole, an SQLite file that is damaged, is
// neither a ledger store nor an interchange file, carries triggers or views
// of its own, or was written by a newer version.
[[nodiscard]] Result<ReceivedFileInfo> inspectReceivedFile(const std::filesystem::path& file,
                                                           const std::filesystem::path& storeFile);

// Restores the ledger of `storeFile` from `file` for a caller with no ledger
// open on it in this process (restoreDB:completion:): inspects the file as
// above, builds the new ledger beside the store from the file's tables
// (only the tables and columns of a ledger; the file's own triggers, views
// and indexes never reach it; duplicate identifiers are made unique),
// or, from an interchange file, loads it into a new ledger with the
// version-tolerant loader (loadInterchange, any schema version); checks it
// and swaps it in after a safety copy of the old store. On failure
// nothing has changed and the reason is returned (invalid input for a file
// that cannot be restored).
[[nodiscard]] Result<RestoreReport> restoreDB(const Environment& env, spdlog::logger& log,
                                              const std::filesystem::path& storeFile,
                                              const std::filesystem::path& file, const RestoreOptions& options = {});

// The same for an open ledger, which is closed and opened again on the new
// store (see replaceLedgerStore), and then given the start check of the data
// migrations (versionCheckForMigration), so that a ledger of an older data
// version is brought up to date. When that check fails, the ledger stays
// restored (and open) at the last migration step that completed, and the
// failure (a store failure) says so and where the replaced ledger was kept.
[[nodiscard]] Result<RestoreReport> restoreLedger(std::unique_ptr<Ledger>& ledger, const std::filesystem::path& file,
                                                  const RestoreOptions& options = {});

// The one-time repairs that must run again on a restored ledger: their
// markers in the device preferences.
const std::vector<std::string>& repairMarkersClearedByRestore();

// Restores a file handed over by another application (open-in): copies it
// into the "temp" folder of the documents folder under its own name, asks
// `options.confirm`, restores from the copy, clears the one-time repair
// markers in `preferences`, and removes the copy (and, when
// `removeReceived`, the received file, also when the restore is declined).
// The received file is otherwise left as it is.
[[nodiscard]] Result<RestoreReport> restoreReceivedFile(const Environment& env, spdlog::logger& log,
                                                        Preferences& preferences,
                                                        const std::filesystem::path& storeFile,
                                                        const std::filesystem::path& received, bool removeReceived,
                                                        const RestoreOptions& options = {});

}  // namespace varnel
