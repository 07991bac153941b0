// Backup files of the ledger: their names, making one, listing them, and the
// daily automatic backup into the synchronised documents folder with its
// retention. A backup is a copy of the store file ("vnbak"), optionally
// gzip-compressed ("vnbak.gz").
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/progress.h"
#include "model/status.h"
#include "setup/migration_repairs.h"

namespace spdlog {
class logger;
}

namespace varnel {

class Environment;
class Ledger;

inline constexpr const char* kBackupExtension = "vnbak";
// The name of a backup handed to another application, and of one attached
// to an e-mail.
inline constexpr const char* kSendBackupFileName = "send_varnel.vnbak";
inline constexpr const char* kMailBackupFileName = "backfile.vnbak";
// The device preference holding the moment (milliseconds since 1970, as
// decimal text) of the last daily automatic backup.
inline constexpr const char* kLastDateAutoBackupKey = "LastDateAutoBackup";
// How many automatic backups of one installation the synchronised folder keeps.
inline constexpr int kAutoBackupsKept = 9;

// True when `extension` (without the dot) is the backup extension.
bool isBackupFile(std::string_view extension);

// Names, all from the local time of the environment's "now":
// On demand: "yyyyMMdd_HHmmss.vnbak", the time always six digits.
std::string createBackFileName(const Environment& env);
// From the settings screen: "yyyyMMdd_0" + the time number when it is below
// 100000, otherwise "yyyyMMdd_" + the time number, without further zeros
// ("20240105_0503.vnbak" at 00:05:03).
std::string createSettingsBackFileName(const Environment& env);
// Manual backup into the synchronised folder: "yyyyMMdd_" + the time number
// without zeros ("20240105_93012.vnbak"), after "<user id>_" when signed in.
std::string createBackupFileNameiCloud(const Environment& env, const std::optional<std::string>& userId);
// Daily automatic backup: "yyyyMMdd_<model>_AUTO.vnbak" with every space
// made "_", after "<user id>_" when signed in. `deviceModel` is the raw model
// name; deviceModelForFileName() shortens it.
std::string createBackupFileNameiCloudAuto(const Environment& env, const std::string& deviceModel,
                                           const std::optional<std::string>& userId);

// The model name as automatic backup names carry it: "iPhone" becomes "e",
// or else "iPad" becomes "a", or else "iPod" becomes "e"; every "," becomes
// "_"; and characters a file name cannot hold ("/", control characters)
// become "_" too.
std::string deviceModelForFileName(std::string model);
// This machine's model name: the firmware's product name, else the device
// tree's model, else the processor architecture.
std::string machineDeviceModel();

// The folders backups are listed from.
std::filesystem::path tempBackUpDir(const Environment& env);  // older backups
std::filesystem::path bookBackupDir(const Environment& env);  // per-book backups, one subfolder per book

// What backupDB did.
struct BackupReport {
  std::filesystem::path file;
  uint64_t bytes = 0;
  std::optional<MainCurrencyAmountRepair> repair;  // none when the repair failed (see repairFailure)
  std::string repairFailure;
};

struct BackupOptions {
  bool gzip = false;
  // Run fixAmountMainCurrencyEqual first, so that the copy holds consistent
  // main-currency amounts.
  bool repairFirst = true;
  Progress progress;
};

// Makes a backup of the ledger at `target`: the amount repair first (a
// failed repair is logged and reported, and the backup still made), then a
// consistent snapshot of the committed store (SQLite's online backup, whole
// under one read lock, so writes of other processes never tear it), gzip-
// compressed when asked, written under a temporary name in the target's
// folder, synced and renamed over `target` (an existing file is replaced).
// The file's modification time is set to the environment's "now". Logs
// "backupCopyDBFile success" or "backupCopyDBFile Fail". Fails with invalid
// input when `target` is the store itself or a folder; with the reason
// otherwise, leaving no file behind and any earlier `target` as it was.
[[nodiscard]] Result<BackupReport> backupDB(Ledger& ledger, const std::filesystem::path& target,
                                            const BackupOptions& options = {});

// The snapshot alone: copies the committed content of `storeFile` into
// `target` (replaced) with SQLite's online backup. Fails with the reason.
[[nodiscard]] Status snapshotStore(const std::filesystem::path& storeFile, const std::filesystem::path& target);

// One listed backup.
struct BackupFile {
  std::string fileName;
  std::string filePath;
  std::string byte;  // the size, as people read it ("1.2 MB")
  uint64_t size = 0;
  int64_t dateMs = 0;  // the file's modification time
  std::string displayFileName;
};

// The size as people read it: "0 bytes", "532 bytes", "12 KB", "1.2 MB",
// "3.45 GB" (units of 1000).
std::string byteCountText(uint64_t bytes);

// Every file of "InternalData" and "tempBackUp", and the backups in each
// book's folder of "backup", newest first (then by name). Working files
// (names starting with ".") are not listed. Fails when a folder exists but
// cannot be read.
[[nodiscard]] Result<std::vector<BackupFile>> getBackupFiles(const Environment& env);

// True when the daily automatic backup is due: none was recorded, or the
// last one was on another calendar day than today.
bool isAutoBackupCheck(Ledger& ledger);

// What the daily automatic backup did.
struct AutoBackupReport {
  bool due = false;
  std::optional<std::filesystem::path> file;  // the backup made
  std::vector<std::filesystem::path> removed;  // older automatic backups removed by the retention
};

// The folder of backups inside the synchronised documents folder.
std::filesystem::path cloudBackupDir(const std::filesystem::path& syncedDocuments);

// The daily automatic backup: when due (or `force`), a snapshot of the store
// named by createBackupFileNameiCloudAuto in the "InternalData" folder of
// `syncedDocuments` (created when missing), recorded in the device
// preferences only once written; then the retention (removeLimitiCloudFile).
// Fails with the reason when the backup cannot be written (nothing is then
// recorded, so the next start tries again).
[[nodiscard]] Result<AutoBackupReport> iCloudAutoBackup(Ledger& ledger, const std::filesystem::path& syncedDocuments,
                                                        const std::string& deviceModel,
                                                        const std::optional<std::string>& userId = {},
                                                        bool force = false);

// Retention of the automatic backups of this installation in `folder`:
// those whose name holds "AUTO" and whose first "_"-separated part is the
// user id (signed in) or is not an identifier (signed out), oldest first by
// date (then name); when there are 10 or more, the oldest are removed so
// that 9 remain. Backups of other users are never counted or removed.
// Returns the removed files; a file that cannot be removed is logged and kept.
std::vector<std::filesystem::path> removeLimitiCloudFile(const std::filesystem::path& folder,
                                                         const std::optional<std::string>& userId,
                                                         spdlog::logger& log);

}  // namespace varnel
