#include "backup/store_swap.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <random>

#include <SQLiteCpp/SQLiteCpp.h>
#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <sqlite3.h>

#include "model/entities.h"
#include "model/environment.h"
#include "model/etc_repository.h"
#include "model/ledger.h"
#include "model/liveness.h"
#include "model/safety_copy.h"
#include "model/store.h"

namespace varnel {

namespace {

// Tags of the working files this module and its callers leave beside the
// store while they run.
constexpr const char* kWorkTags[] = {"candidate", "old", "gunzip", "upload", "download", "xlsx"};

std::string errnoText() { return std::strerror(errno); }

Status notUsable(const std::filesystem::path& candidate, const std::string& why) {
  return Status::invalidInput("the new ledger " + candidate.filename().string() +
                              " cannot replace the store: " + why);
}

bool isDecimal(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

Status syncFile(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::systemFailure("cannot open " + file.string() + ": " + errnoText());
  const int synced = ::fsync(fd);
  const std::string why = synced == 0 ? "" : errnoText();
  ::close(fd);
  if (synced != 0) return Status::systemFailure("cannot write " + file.string() + " to disk: " + why);
  return Status::ok();
}

bool isDamage(const SQLite::Exception& e) {
  const int code = e.getErrorCode() & 0xFF;
  return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

// True when the store behind `db` cannot be read whole: what is left of it is
// then kept byte for byte instead of through SQLite.
bool storeIsDamaged(SQLite::Database& db) {
  try {
    return db.execAndGet("PRAGMA quick_check(1)").getString() != "ok";
  } catch (const SQLite::Exception& e) {
    return isDamage(e);
  }
}

// A byte copy of a store SQLite cannot read, under the name its safety copy
// would have, with "damaged" in it so that nobody restores it by mistake.
Result<std::filesystem::path> keepDamagedStore(const Environment& env, spdlog::logger& log,
                                               const std::filesystem::path& storeFile) {
  const auto folder = internalDataDir(env);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string stamp = env.dates().format(env.nowStoreSeconds(), "yyyyMMdd_HHmmddss");
  const auto partial = folder / fmt::format(".beforeRestore_damaged_{}.{}.partial", stamp, ::getpid());
  std::filesystem::copy_file(storeFile, partial, std::filesystem::copy_options::overwrite_existing, ec);
  if (!ec) {
    const Status synced = syncFile(partial);
    if (!synced) ec = std::make_error_code(std::errc::io_error);
  }
  if (ec) {
    std::filesystem::remove(partial, ec);
    return Status::systemFailure("cannot keep a copy of the damaged ledger " + storeFile.string());
  }
  for (int n = 1; n < 1000; ++n) {
    const auto target =
        folder / (n == 1 ? fmt::format("beforeRestore_damaged_{}.vnbak", stamp)
                         : fmt::format("beforeRestore_damaged_{}-{}.vnbak", stamp, n));
    if (::link(partial.c_str(), target.c_str()) == 0) {
      std::filesystem::remove(partial, ec);
      syncFolder(folder);
      log.warn("the replaced ledger was damaged; kept byte for byte as {}", target.string());
      return target;
    }
    if (errno != EEXIST) break;
  }
  const std::string why = errnoText();
  std::filesystem::remove(partial, ec);
  return Status::systemFailure("cannot keep a copy of the damaged ledger: " + why);
}

// The old store's write lock, held from before the safety copy until after
// the rename: no write can land in the old store after its copy was taken.
// Other processes may go on reading meanwhile.
class StoreLock {
 public:
  // Returns an empty lock (damaged() true) for a store SQLite cannot read.
  static Result<std::unique_ptr<StoreLock>> take(const std::filesystem::path& storeFile) {
    auto lock = std::unique_ptr<StoreLock>(new StoreLock);
    try {
      lock->db_ = std::make_unique<SQLite::Database>(storeFile.string(), SQLite::OPEN_READWRITE);
      lock->db_->setBusyTimeout(Store::kBusyTimeoutMs);
      // A store another program left in WAL mode keeps committed pages in
      // its -wal file, which a rename would leave behind.
      const std::string mode = lock->db_->execAndGet("PRAGMA journal_mode = DELETE").getString();
      if (mode != "delete") {
        return Status::storeFailure("the ledger is in use in journal mode " + mode +
                                    "; close the programs using it and try again");
      }
      lock->db_->exec("BEGIN IMMEDIATE TRANSACTION");
      lock->began_ = true;
      // The first read rolls back the journal of a write that was cut short.
      lock->db_->execAndGet("SELECT COUNT(*) FROM sqlite_master");
    } catch (const SQLite::Exception& e) {
      if (isDamage(e)) {
        lock->release();
        lock->damaged_ = true;
        return lock;
      }
      return Status::storeFailure(std::string("cannot lock the ledger for the swap: ") + e.what());
    }
    return lock;
  }

  ~StoreLock() { release(); }

  bool damaged() const { return damaged_; }
  SQLite::Database* db() { return db_.get(); }

  void release() {
    if (db_ && began_) {
      try {
        db_->exec("ROLLBACK TRANSACTION");
      } catch (const SQLite::Exception&) {
        // Closing the connection releases the lock all the same.
      }
    }
    began_ = false;
    db_.reset();
  }

 private:
  StoreLock() = default;
  std::unique_ptr<SQLite::Database> db_;
  bool began_ = false;
  bool damaged_ = false;
};

// The swap itself, after the candidate passed its check. With `keepOld`,
// the old store stays reachable under a working name (a hard link) so that
// the caller can put it back; the caller removes that name when done.
Result<StoreSwapReport> swapChecked(const Environment& env, spdlog::logger& log,
                                    const std::filesystem::path& storeFile,
                                    const std::filesystem::path& candidate,
                                    const CandidateCheck& checked,
                                    std::optional<std::filesystem::path>* keepOld) {
  StoreSwapReport report;
  report.candidate = checked;
  const auto folder = storeFile.parent_path();
  if (std::filesystem::absolute(candidate).parent_path() !=
      std::filesystem::absolute(storeFile).parent_path()) {
    return Status::systemFailure("the new ledger " + candidate.string() + " is not in the store's folder " +
                                 folder.string());
  }
  std::error_code ec;
  const bool hadStore = std::filesystem::exists(storeFile, ec);
  if (!hadStore) {
    VARNEL_RETURN_IF_ERROR(syncFile(candidate));
    // link() never replaces a store another process created meanwhile.
    if (::link(candidate.c_str(), storeFile.c_str()) != 0) {
      if (errno == EEXIST) {
        return Status::storeFailure("another process created the ledger " + storeFile.string() +
                                    " meanwhile; nothing was replaced");
      }
      return Status::systemFailure("cannot create " + storeFile.string() + ": " + errnoText());
    }
    std::filesystem::remove(candidate, ec);
    syncFolder(folder);
    log.info("store swap: {} is the new ledger", storeFile.string());
    return report;
  }

  auto lock = StoreLock::take(storeFile);
  if (!lock) return lock.status();
  bool damaged = (*lock)->damaged();
  if (!damaged && std::filesystem::file_size(storeFile, ec) > 0) {
    auto copy = backupDataBeforeMigration(env, log, storeFile, SafetyCopyReason::kBeforeRestore);
    if (copy) {
      report.safetyCopy = copy.value();
    } else if (storeIsDamaged(*(*lock)->db())) {
      damaged = true;
    } else {
      return copy.status().withContext("the ledger was not replaced");
    }
  }
  if (damaged) {
    auto copy = keepDamagedStore(env, log, storeFile);
    if (!copy) return copy.status().withContext("the ledger was not replaced");
    report.safetyCopy = copy.value();
  }
  VARNEL_RETURN_IF_ERROR(syncFile(candidate));
  if (keepOld) {
    const auto keep = workFilePath(storeFile, "old");
    if (::link(storeFile.c_str(), keep.c_str()) != 0) {
      return Status::systemFailure("cannot keep the old ledger while it is replaced: " + errnoText());
    }
    *keepOld = keep;
  }
  // Under the lock, a journal beside the store belongs to no write: the
  // lock's first read rolled back any that was hot. It must not outlive the
  // rename, where it would be taken for a journal of the new store.
  std::filesystem::remove(storeFile.string() + "-journal", ec);
  if (::rename(candidate.c_str(), storeFile.c_str()) != 0) {
    const std::string why = errnoText();
    if (keepOld && *keepOld) {
      std::filesystem::remove(**keepOld, ec);
      keepOld->reset();
    }
    return Status::systemFailure("cannot put the new ledger in place of " + storeFile.string() + ": " + why);
  }
  syncFolder(folder);
  (*lock)->release();
  log.info("store swap: {} replaced; the old ledger is kept as {}", storeFile.string(),
           report.safetyCopy ? report.safetyCopy->string() : std::string("(nothing)"));
  return report;
}

}  // namespace

Result<CandidateCheck> checkCandidateStore(const std::filesystem::path& candidate) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(candidate, ec)) return notUsable(candidate, "it is not a file");
  if (std::filesystem::file_size(candidate, ec) == 0) return notUsable(candidate, "it is empty");
  CandidateCheck check;
  try {
    SQLite::Database db(candidate.string(), SQLite::OPEN_READWRITE);
    db.exec("PRAGMA trusted_schema = OFF");
    db.exec("PRAGMA cell_size_check = ON");
    const std::string mode = db.execAndGet("PRAGMA journal_mode = DELETE").getString();
    if (mode != "delete") return notUsable(candidate, "it stays in journal mode " + mode);
    {
      SQLite::Statement quick(db, "PRAGMA quick_check(1)");
      const std::string verdict = quick.executeStep() ? quick.getColumn(0).getString() : "no answer";
      if (verdict != "ok") return notUsable(candidate, "quick_check says " + verdict);
    }
    if (db.execAndGet("PRAGMA application_id").getInt() != Store::kApplicationId) {
      return notUsable(candidate, "it is not a Varnel ledger store");
    }
    check.schemaVersion = db.execAndGet("PRAGMA user_version").getInt();
    if (check.schemaVersion <= 0 || check.schemaVersion > Store::kSchemaVersion) {
      return notUsable(candidate, fmt::format("its store schema {} is not one this version reads",
                                              check.schemaVersion));
    }
    for (const auto& schema : allTableSchemas()) {
      SQLite::Statement table(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
      table.bind(1, schema.table);
      if (!table.executeStep()) return notUsable(candidate, "it has no table " + schema.table);
    }
    SQLite::Statement version(db, "SELECT ZDATA FROM ZETC WHERE ZDATATYPE = ? AND " + live::recordSql() +
                                      " ORDER BY Z_PK");
    version.bind(1, etc_kind::kDbVersion);
    bool first = true;
    while (version.executeStep()) {
      const std::string text = version.getColumn(0).getString();
      if (!isDecimal(text)) return notUsable(candidate, "its data version \"" + text + "\" is not a number");
      if (first) std::from_chars(text.data(), text.data() + text.size(), check.dataVersion);
      first = false;
    }
  } catch (const SQLite::Exception& e) {
    return notUsable(candidate, e.what());
  }
  for (const char* suffix : {"-journal", "-wal"}) {
    if (std::filesystem::exists(candidate.string() + suffix, ec)) {
      return notUsable(candidate, std::string("a ") + (suffix + 1) + " file stays beside it");
    }
  }
  return check;
}

std::filesystem::path workFilePath(const std::filesystem::path& storeFile, const std::string& tag) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  return storeFile.parent_path() / fmt::format(".{}.{}-{}-{:016x}", storeFile.filename().string(), tag,
                                               ::getpid(), random());
}

int removeLeftoverWorkFiles(const std::filesystem::path& storeFile, spdlog::logger& log) {
  const std::string prefix = "." + storeFile.filename().string() + ".";
  int removed = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(storeFile.parent_path(), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    const std::string rest = name.substr(prefix.size());
    for (const char* tag : kWorkTags) {
      const std::string head = std::string(tag) + "-";
      if (rest.rfind(head, 0) != 0) continue;
      long pid = 0;
      const char* begin = rest.data() + head.size();
      const auto [end, error] = std::from_chars(begin, rest.data() + rest.size(), pid);
      if (error != std::errc() || end == begin || *end != '-' || pid <= 0) break;
      if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) break;  // still running
      std::error_code removeError;
      if (std::filesystem::remove(entry.path(), removeError)) {
        ++removed;
        log.info("removed {}, left by a process that was stopped", entry.path().string());
      }
      break;
    }
  }
  return removed;
}

Result<StoreSwapReport> replaceStoreFile(const Environment& env, spdlog::logger& log,
                                         const std::filesystem::path& storeFile,
                                         const std::filesystem::path& candidate) {
  auto checked = checkCandidateStore(candidate);
  if (!checked) return checked.status();
  return swapChecked(env, log, storeFile, candidate, *checked, nullptr);
}

Result<StoreSwapReport> replaceLedgerStore(std::unique_ptr<Ledger>& ledger,
                                           const std::filesystem::path& candidate) {
  if (!ledger) return Status::systemFailure("no ledger is open");
  auto checked = checkCandidateStore(candidate);
  if (!checked) return checked.status();

  const Environment env = ledger->env();
  const std::shared_ptr<spdlog::logger> log = ledger->sharedLog();
  const std::filesystem::path storeFile = ledger->store().path();
  CloudSyncRequester* const cloud = ledger->cloudSync();
  auto reopen = [&]() -> Status {
    try {
      ledger = Ledger::open(env, log, storeFile);
      ledger->setCloudSync(cloud);
      return Status::ok();
    } catch (const std::exception& e) {
      ledger.reset();
      return Status::storeFailure(e.what());
    }
  };

  ledger.reset();
  std::optional<std::filesystem::path> keep;
  auto swapped = swapChecked(env, *log, storeFile, candidate, *checked, &keep);
  std::error_code ec;
  if (!swapped) {
    const Status opened = reopen();
    if (!opened) {
      return opened.withContext(swapped.status().message() + "; and the old ledger did not open again");
    }
    return swapped.status();
  }
  const Status opened = reopen();
  if (opened) {
    if (keep) std::filesystem::remove(*keep, ec);
    return swapped;
  }
  // The new store passed its check but does not open: the old one goes back.
  log->error("the new ledger does not open ({}); putting the old one back", opened.message());
  if (!keep || ::rename(keep->c_str(), storeFile.c_str()) != 0) {
    const std::string kept = swapped->safetyCopy ? swapped->safetyCopy->string() : std::string("(nothing)");
    return Status::storeFailure("the new ledger does not open (" + opened.message() +
                                ") and the old one could not be put back; it is kept as " + kept);
  }
  syncFolder(storeFile.parent_path());
  const Status back = reopen();
  if (!back) {
    return back.withContext("the new ledger does not open (" + opened.message() + "); the old one is back but");
  }
  return Status::storeFailure("the new ledger does not open: " + opened.message() + "; the old ledger is back");
}

}  // namespace varnel
