// The duplicate-identifier repair and the safety copy taken before steps that
// rewrite much of the ledger.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <SQLiteCpp/SQLiteCpp.h>

namespace spdlog {
class logger;
}

namespace varnel {

class Environment;

struct TableRepair {
  std::string table;
  int zeroUidsCleared = 0;  // rows whose uid "0" became null
  int duplicateUids = 0;    // identifiers that stood on more than one row
  int rowsRenamed = 0;      // rows that got uid + "_" + row key
};

struct RepairReport {
  std::vector<std::string> columnsAdded;  // "ZETC.ZISDEL"
  std::vector<TableRepair> tables;        // every table visited, in order
};

// Makes every `uid` unique in the sixteen identifier tables, working on a raw
// connection to the store file, in one transaction and one pass per table.
// The row with the lowest Z_PK of each duplicated identifier keeps it; the
// others get "<uid>_<Z_PK>". Transactions, favourites, recurring
// entries and memos stay live; the extra copies of every other record are
// marked deleted (message rules are switched off). Rows with uid "0" get a
// null uid first. Failures of single statements are logged and the repair
// goes on with the next table.
RepairReport fixNotUniqueUid(SQLite::Database& db, spdlog::logger& log);

// Reasons for a safety copy of the store file.
enum class SafetyCopyReason {
  kBeforeMigration = 0,       // argument: the data version before the migration
  kBeforeCurrencyChange = 1,  // argument: the ISO code of the old main currency
  kBeforeUidFix = 2,          // no argument
};

// The data version the start-up migrations bring a ledger to.
inline constexpr int kCurrentDataVersion = 2194;

// Copies `storeFile` byte for byte into the on-demand backup folder
// ("InternalData" in the documents folder) under a name that tells the reason
// and the local time. Returns the copy's path, or nothing when the copy failed
// (logged; callers go on with their step).
std::optional<std::filesystem::path> backupDataBeforeMigration(
    const Environment& env, spdlog::logger& log, const std::filesystem::path& storeFile,
    SafetyCopyReason reason, const std::string& argument = "");

// The folder of on-demand backups.
std::filesystem::path internalDataDir(const Environment& env);

}  // namespace varnel
