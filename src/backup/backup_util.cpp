#include "backup/backup_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <regex>

#include <SQLiteCpp/Backup.h>
#include <SQLiteCpp/SQLiteCpp.h>
#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <sqlite3.h>

#include "backup/gzip_file.h"
#include "model/dates.h"
#include "model/environment.h"
#include "model/ledger.h"
#include "model/safety_copy.h"
#include "model/store.h"

namespace varnel {

namespace {

std::string errnoText() { return std::strerror(errno); }

LocalDateTime localNow(const Environment& env) { return env.dates().toLocal(env.nowStoreSeconds()); }

int dateNumber(const LocalDateTime& t) { return t.year * 10000 + t.month * 100 + t.day; }
int timeNumber(const LocalDateTime& t) { return t.hour * 10000 + t.minute * 100 + t.second; }

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string withUser(const std::optional<std::string>& userId, const std::string& name) {
  return userId && !userId->empty() ? *userId + "_" + name : name;
}

bool isIdentifier(const std::string& text) {
  static const std::regex kUuid("[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}");
  return std::regex_match(text, kUuid);
}

std::string firstLine(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string line;
  std::getline(in, line, '\0');
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  size_t start = 0;
  while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start]))) ++start;
  return line.substr(start);
}

int64_t modificationMs(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
}

void setModificationMs(const std::filesystem::path& file, int64_t ms) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(ms / 1000);
  times[0].tv_nsec = static_cast<long>((ms % 1000) * 1000000);
  times[1] = times[0];
  ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

Status syncFile(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::systemFailure("cannot open " + file.string() + ": " + errnoText());
  const bool ok = ::fsync(fd) == 0;
  const std::string why = ok ? "" : errnoText();
  ::close(fd);
  if (!ok) return Status::systemFailure("cannot write " + file.string() + " to disk: " + why);
  return Status::ok();
}

// Writes the backup of `storeFile` to `target` through working files beside
// it: the snapshot, then (for gzip) its compressed form; the finished file
// takes `target`'s name only when whole.
Status writeBackupFile(const std::filesystem::path& storeFile, const std::filesystem::path& target, bool gzip,
                       int64_t dateMs, const Progress& progress) {
  const auto folder = target.parent_path();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) {
    return Status::systemFailure("cannot create the folder " + folder.string());
  }
  const std::string stem = fmt::format(".{}.{}", target.filename().string(), ::getpid());
  const auto snapshot = folder / (stem + ".snapshot");
  const auto compressed = folder / (stem + ".gz.partial");
  auto cleanUp = [&] {
    std::filesystem::remove(snapshot, ec);
    std::filesystem::remove(snapshot.string() + "-journal", ec);
    std::filesystem::remove(compressed, ec);
  };
  if (progress) progress("snapshot", 0, 1);
  Status status = snapshotStore(storeFile, snapshot);
  if (progress && status) progress("snapshot", 1, 1);
  std::filesystem::path finished = snapshot;
  if (status && gzip) {
    status = gzipFile(snapshot, compressed, kBackupGzipLevel, progress);
    finished = compressed;
  } else if (status) {
    status = syncFile(snapshot);
  }
  if (status) {
    setModificationMs(finished, dateMs);
    if (::rename(finished.c_str(), target.c_str()) != 0) {
      status = Status::systemFailure("cannot write " + target.string() + ": " + errnoText());
    } else {
      syncFolder(folder);
    }
  }
  cleanUp();
  return status;
}

}  // namespace

bool isBackupFile(std::string_view extension) { return extension == kBackupExtension; }

std::string createBackFileName(const Environment& env) {
  const LocalDateTime now = localNow(env);
  // 1000000 + the time number always has seven digits; dropping its "1"
  // leaves the six digits with their zeros.
  const std::string name =
      fmt::format("{}_{}{}.{}", dateNumber(now), 1000000 + timeNumber(now), "", kBackupExtension);
  return replaceAll(name, "_1", "_");
}

std::string createSettingsBackFileName(const Environment& env) {
  const LocalDateTime now = localNow(env);
  const int time = timeNumber(now);
  return fmt::format("{}_{}{}.{}", dateNumber(now), time < 100000 ? "0" : "", time, kBackupExtension);
}

std::string createBackupFileNameiCloud(const Environment& env, const std::optional<std::string>& userId) {
  const LocalDateTime now = localNow(env);
  return withUser(userId, fmt::format("{}_{}.{}", dateNumber(now), timeNumber(now), kBackupExtension));
}

std::string createBackupFileNameiCloudAuto(const Environment& env, const std::string& deviceModel,
                                           const std::optional<std::string>& userId) {
  const std::string name = fmt::format("{}_{}_AUTO{}.{}", dateNumber(localNow(env)),
                                       deviceModelForFileName(deviceModel), "", kBackupExtension);
  return withUser(userId, replaceAll(name, " ", "_"));
}

std::string deviceModelForFileName(std::string model) {
  if (model.find("iPhone") != std::string::npos) {
    model = replaceAll(model, "iPhone", "e");
  } else if (model.find("iPad") != std::string::npos) {
    model = replaceAll(model, "iPad", "a");
  } else {
    model = replaceAll(model, "iPod", "e");
  }
  model = replaceAll(model, ",", "_");
  for (char& c : model) {
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
  }
  return model.empty() ? std::string("device") : model;
}

std::string machineDeviceModel() {
  for (const char* source : {"/sys/devices/virtual/dmi/id/product_name", "/proc/device-tree/model"}) {
    std::error_code ec;
    if (!std::filesystem::exists(source, ec)) continue;
    std::string model = firstLine(source);
    if (!model.empty()) return model;
  }
  struct utsname names {};
  if (::uname(&names) == 0 && names.machine[0] != '\0') return names.machine;
  return "device";
}

std::filesystem::path tempBackUpDir(const Environment& env) { return env.documentsDir() / "tempBackUp"; }
std::filesystem::path bookBackupDir(const Environment& env) { return env.documentsDir() / "backup"; }
std::filesystem::path cloudBackupDir(const std::filesystem::path& syncedDocuments) {
  return syncedDocuments / "InternalData";
}

Status snapshotStore(const std::filesystem::path& storeFile, const std::filesystem::path& target) {
  std::error_code ec;
  std::filesystem::remove(target, ec);
  try {
    SQLite::Database source(storeFile.string(), SQLite::OPEN_READWRITE);
    source.setBusyTimeout(Store::kBusyTimeoutMs);
    SQLite::Database copy(target.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    copy.setBusyTimeout(Store::kBusyTimeoutMs);
    // The copy is synced as a whole once written; syncing each of its
    // writes would only slow it down.
    copy.exec("PRAGMA synchronous = OFF");
    SQLite::Backup backup(copy, source);
    // One step copies every page under one read lock: the state of one
    // commit, whatever other processes write meanwhile. Still locked after
    // the busy timeout, the copy is incomplete and is not kept.
    const int stepped = backup.executeStep(-1);
    if (stepped != SQLITE_DONE) {
      std::filesystem::remove(target, ec);
      return Status::storeFailure(std::string("cannot copy the ledger: ") + sqlite3_errstr(stepped));
    }
  } catch (const SQLite::Exception& e) {
    std::filesystem::remove(target, ec);
    return Status::storeFailure(std::string("cannot copy the ledger: ") + e.what());
  }
  return Status::ok();
}

Result<BackupReport> backupDB(Ledger& ledger, const std::filesystem::path& target, const BackupOptions& options) {
  BackupReport report;
  report.file = target;
  const auto storeFile = ledger.store().path();
  std::error_code ec;
  if (target.filename().empty() || std::filesystem::is_directory(target, ec)) {
    return Status::invalidInput(target.string() + " is a folder; give the backup a file name");
  }
  if (std::filesystem::equivalent(target, storeFile, ec) ||
      std::filesystem::absolute(target).lexically_normal() == std::filesystem::absolute(storeFile).lexically_normal()) {
    return Status::invalidInput("the backup cannot replace the ledger store " + storeFile.string());
  }
  if (options.repairFirst) {
    auto repaired = fixAmountMainCurrencyEqual(ledger);
    if (repaired) {
      report.repair = repaired.value();
    } else {
      report.repairFailure = repaired.status().message();
      ledger.log().error("backupDB: the amount repair failed ({}); backing up as the ledger is",
                         report.repairFailure);
    }
  }
  const Status written =
      writeBackupFile(storeFile, target, options.gzip, ledger.env().nowMs(), options.progress);
  if (!written) {
    ledger.log().error("backupCopyDBFile Fail");
    ledger.log().error("backup {}: {}", target.string(), written.message());
    return written;
  }
  ledger.log().info("backupCopyDBFile success");
  report.bytes = std::filesystem::file_size(target, ec);
  return report;
}

std::string byteCountText(uint64_t bytes) {
  if (bytes < 1000) return fmt::format("{} bytes", bytes);
  const double value = static_cast<double>(bytes);
  if (bytes < 1000 * 1000) return fmt::format("{:.0f} KB", value / 1e3);
  if (bytes < 1000ull * 1000 * 1000) return fmt::format("{:.1f} MB", value / 1e6);
  return fmt::format("{:.2f} GB", value / 1e9);
}

Result<std::vector<BackupFile>> getBackupFiles(const Environment& env) {
  std::vector<BackupFile> files;
  auto add = [&](const std::filesystem::path& folder, bool backupsOnly, const std::string& prefix) -> Status {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) return Status::ok();
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return Status::systemFailure("cannot read " + folder.string() + ": " + ec.message());
    for (const auto& entry : it) {
      const std::string name = entry.path().filename().string();
      if (name.empty() || name[0] == '.' || !entry.is_regular_file(ec)) continue;
      if (backupsOnly && !(name.ends_with(".vnbak") || name.ends_with(".vnbak.gz"))) continue;
      BackupFile file;
      file.fileName = name;
      file.filePath = entry.path().string();
      file.size = entry.file_size(ec);
      file.byte = byteCountText(file.size);
      file.dateMs = modificationMs(entry.path());
      file.displayFileName = prefix + name;
      files.push_back(std::move(file));
    }
    return Status::ok();
  };
  VARNEL_RETURN_IF_ERROR(add(internalDataDir(env), false, ""));
  VARNEL_RETURN_IF_ERROR(add(tempBackUpDir(env), false, ""));
  std::error_code ec;
  if (std::filesystem::is_directory(bookBackupDir(env), ec)) {
    for (const auto& book : std::filesystem::directory_iterator(bookBackupDir(env), ec)) {
      if (book.is_directory(ec)) {
        VARNEL_RETURN_IF_ERROR(add(book.path(), true, book.path().filename().string() + "/"));
      }
    }
  }
  std::sort(files.begin(), files.end(), [](const BackupFile& a, const BackupFile& b) {
    if (a.dateMs != b.dateMs) return a.dateMs > b.dateMs;
    return a.fileName > b.fileName;
  });
  return files;
}

bool isAutoBackupCheck(Ledger& ledger) {
  const auto last = ledger.preferences().getString(kLastDateAutoBackupKey);
  if (!last) return true;
  int64_t ms = 0;
  const auto [end, error] = std::from_chars(last->data(), last->data() + last->size(), ms);
  if (error != std::errc() || end != last->data() + last->size()) return true;
  // Any other calendar day, earlier or later: a clock that was set back
  // must not stop the daily backups until it catches up.
  const auto& dates = ledger.env().dates();
  return dates.dayKey(msToStoreSeconds(ms)) != dates.dayKey(ledger.env().nowStoreSeconds());
}

Result<AutoBackupReport> iCloudAutoBackup(Ledger& ledger, const std::filesystem::path& syncedDocuments,
                                          const std::string& deviceModel, const std::optional<std::string>& userId,
                                          bool force) {
  // A folder that is gone is said on every call, due or not: a user whose
  // synchronised folder vanished must hear of it before tomorrow's backup.
  std::error_code ec;
  if (!std::filesystem::is_directory(syncedDocuments, ec)) {
    return Status::invalidInput("the backup folder " + syncedDocuments.string() + " does not exist");
  }
  AutoBackupReport report;
  report.due = isAutoBackupCheck(ledger);
  if (!report.due && !force) return report;
  const auto folder = cloudBackupDir(syncedDocuments);
  const auto target = folder / createBackupFileNameiCloudAuto(ledger.env(), deviceModel, userId);
  const Status written = writeBackupFile(ledger.store().path(), target, false, ledger.env().nowMs(), {});
  if (!written) {
    ledger.log().error("Can not create icloud backup file!");
    ledger.log().error("automatic backup {}: {}", target.string(), written.message());
    return written;
  }
  report.file = target;
  if (!ledger.preferences().setString(kLastDateAutoBackupKey, std::to_string(ledger.env().nowMs()))) {
    ledger.log().error("the time of the automatic backup could not be kept");
  }
  report.removed = removeLimitiCloudFile(folder, userId, ledger.log());
  return report;
}

std::vector<std::filesystem::path> removeLimitiCloudFile(const std::filesystem::path& folder,
                                                         const std::optional<std::string>& userId,
                                                         spdlog::logger& log) {
  struct Candidate {
    std::filesystem::path path;
    std::string name;
    int64_t dateMs;
  };
  std::vector<Candidate> mine;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.' || name.find("AUTO") == std::string::npos) continue;
    if (!entry.is_regular_file(ec)) continue;
    const std::string first = name.substr(0, name.find('_'));
    const bool ours = userId && !userId->empty() ? first == *userId : !isIdentifier(first);
    if (!ours) continue;
    mine.push_back({entry.path(), name, modificationMs(entry.path())});
  }
  std::vector<std::filesystem::path> removed;
  if (mine.size() < static_cast<size_t>(kAutoBackupsKept) + 1) return removed;
  std::sort(mine.begin(), mine.end(), [](const Candidate& a, const Candidate& b) {
    if (a.dateMs != b.dateMs) return a.dateMs < b.dateMs;
    return a.name < b.name;
  });
  const size_t excess = mine.size() - static_cast<size_t>(kAutoBackupsKept);
  for (size_t i = 0; i < excess; ++i) {
    std::error_code removeError;
    if (std::filesystem::remove(mine[i].path, removeError)) {
      log.info("icloud auto bakcup File remove {}", mine[i].path.string());
      removed.push_back(mine[i].path);
    } else {
      log.error("Error downloading/syncing {} ({})", mine[i].path.string(),
                removeError ? removeError.message() : std::string("not removed"));
    }
  }
  if (!removed.empty()) syncFolder(folder);
  return removed;
}

}  // namespace varnel
