// The safety copy of the store taken before a step that rewrites much of the
// ledger. The copy is a precondition: when it cannot be made, the step must
// not run.
#pragma once

#include <filesystem>
#include <string>

#include "model/status.h"

namespace spdlog {
class logger;
}

namespace varnel {

class Environment;

// Reasons for a safety copy of the store file.
enum class SafetyCopyReason {
  kBeforeMigration = 0,       // argument: the data version before the migration
  kBeforeCurrencyChange = 1,  // argument: the ISO code of the old main currency
  kBeforeUidFix = 2,          // no argument
  kBeforeRestore = 3,         // no argument: the store a restore replaces
};

// The data version the start-up migrations bring a ledger to.
inline constexpr int kCurrentDataVersion = 2194;

// Copies the committed content of the store file `storeFile` into the
// on-demand backup folder ("InternalData" in the documents folder) under a
// name that tells the reason and the local time. The copy is a consistent
// snapshot even while another process writes (SQLite's online backup), is
// written under a temporary name and appears under its final name only when
// whole. When the name is taken (two copies in the same second), "-2", "-3", …
// is added before the extension; an earlier copy is never overwritten.
// Returns the copy's path, or a failure with the reason (logged).
Result<std::filesystem::path> backupDataBeforeMigration(const Environment& env,
                                                        spdlog::logger& log,
                                                        const std::filesystem::path& storeFile,
                                                        SafetyCopyReason reason,
                                                        const std::string& argument = "");

// Flushes a folder's entries to disk, so that a file just renamed or linked
// into it survives a power cut. Best effort: a folder that cannot be opened
// is left as it is.
void syncFolder(const std::filesystem::path& folder);

// The folder of on-demand backups.
std::filesystem::path internalDataDir(const Environment& env);

}  // namespace varnel
