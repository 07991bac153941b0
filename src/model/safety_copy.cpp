#include "model/safety_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <SQLiteCpp/Backup.h>
#include <SQLiteCpp/Database.h>
#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <sqlite3.h>

#include "model/environment.h"
#include "model/store.h"

namespace varnel {

namespace {

std::string copyName(const Environment& env, SafetyCopyReason reason, const std::string& argument) {
  // Hours, minutes, the day a second time, then seconds: the names of copies
  // already on users' devices have this shape, and the backup list sorts them.
  const std::string stamp = env.dates().format(env.nowStoreSeconds(), "yyyyMMdd_HHmmddss");
  switch (reason) {
    case SafetyCopyReason::kBeforeMigration:
      return fmt::format("{}_{}_{}", kCurrentDataVersion, argument, stamp);
    case SafetyCopyReason::kBeforeCurrencyChange:
      return fmt::format("{}_beforeChangCurrency_{}", argument, stamp);
    case SafetyCopyReason::kBeforeUidFix:
      return fmt::format("beforeUidFix_{}", stamp);
    case SafetyCopyReason::kBeforeRestore:
      return fmt::format("beforeRestore_{}", stamp);
  }
  return "safetyCopy_" + stamp;
}


}  // namespace

void syncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::filesystem::path internalDataDir(const Environment& env) {
  return env.documentsDir() / "InternalData";
}

Result<std::filesystem::path> backupDataBeforeMigration(const Environment& env,
                                                        spdlog::logger& log,
                                                        const std::filesystem::path& storeFile,
                                                        SafetyCopyReason reason,
                                                        const std::string& argument) {
  log.info("backupDataBeforeMigration");
  auto fail = [&](const std::string& why) -> Status {
    log.error("backupDataBeforeMigration copyItemAtPath error");
    log.error("safety copy of {} failed: {}", storeFile.string(), why);
    return Status::systemFailure("cannot take a safety copy of the ledger: " + why);
  };
  const auto folder = internalDataDir(env);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder)) {
    return fail(folder.string() + " is not a folder that can be written" +
                (ec ? " (" + ec.message() + ")" : ""));
  }
  const std::string base = copyName(env, reason, argument);
  const auto partial = folder / fmt::format(".{}.{}.partial", base, ::getpid());
  std::filesystem::remove(partial, ec);
  try {
    SQLite::Database source(storeFile.string(), SQLite::OPEN_READWRITE);
    source.setBusyTimeout(Store::kBusyTimeoutMs);
    SQLite::Database target(partial.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    target.setBusyTimeout(Store::kBusyTimeoutMs);
    SQLite::Backup backup(target, source);
    // One step copies every page under one read lock: a consistent snapshot
    // of what was committed, whatever other processes do meanwhile. A store
    // still locked after the busy timeout is reported, not thrown: the copy
    // is then empty or partial and must never be published.
    const int stepped = backup.executeStep(-1);
    if (stepped != SQLITE_DONE) {
      std::filesystem::remove(partial, ec);
      return fail(std::string("the ledger stayed locked: ") + sqlite3_errstr(stepped));
    }
  } catch (const SQLite::Exception& e) {
    std::filesystem::remove(partial, ec);
    return fail(e.what());
  }
  // The backup list orders copies by their date: the moment of the copy on
  // the ledger's own clock.
  const int64_t nowMs = env.nowMs();
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(nowMs / 1000);
  times[0].tv_nsec = static_cast<long>((nowMs % 1000) * 1000000);
  times[1] = times[0];
  ::utimensat(AT_FDCWD, partial.c_str(), times, 0);
  // Publish under the first free name; link() never replaces an existing
  // file, so an earlier copy with the same name stays as it was.
  for (int n = 1; n < 1000; ++n) {
    const auto target = folder / (n == 1 ? base + ".vnbak" : fmt::format("{}-{}.vnbak", base, n));
    if (::link(partial.c_str(), target.c_str()) == 0) {
      std::filesystem::remove(partial, ec);
      syncFolder(folder);
      log.info("backupDataBeforeMigration backup Ok");
      return target;
    }
    if (errno != EEXIST) {
      const std::string why = std::strerror(errno);
      std::filesystem::remove(partial, ec);
      return fail(target.string() + ": " + why);
    }
  }
  std::filesystem::remove(partial, ec);
  return fail("too many copies named " + base);
}

}  // namespace varnel
