#include "backup/restore.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>

#include <SQLiteCpp/SQLiteCpp.h>
#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <sqlite3.h>

#include "backup/file_kind.h"
#include "backup/gzip_file.h"
#include "model/entities.h"
#include "model/environment.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "model/ledger.h"
#include "model/liveness.h"
#include "model/preferences.h"
#include "model/search_index.h"
#include "model/store.h"

namespace varnel {

namespace {

// A working file removed (with its journal) when it goes out of scope.
class WorkFile {
 public:
  WorkFile() = default;
  explicit WorkFile(std::filesystem::path path) : path_(std::move(path)) {}
  ~WorkFile() { remove(); }
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;
  void reset(std::filesystem::path path) {
    remove();
    path_ = std::move(path);
  }
  const std::filesystem::path& path() const { return path_; }
  void remove() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove(path_, ec);
    std::filesystem::remove(path_.string() + "-journal", ec);
    path_.clear();
  }

 private:
  std::filesystem::path path_;
};

Status refused(const std::filesystem::path& file, const std::string& why) {
  return Status::invalidInput("cannot restore from " + file.filename().string() + ": " + why);
}

// Settings for any connection that reads a file someone handed us: its
// schema is not trusted (its views and triggers cannot call functions with
// side effects), damaged cells are found before they are used, and the
// schema cannot be edited through the connection.
void distrust(SQLite::Database& db) {
  db.exec("PRAGMA trusted_schema = OFF");
  db.exec("PRAGMA cell_size_check = ON");
  sqlite3_db_config(db.getHandle(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string quoted(const std::string& identifier) {
  std::string out = "\"";
  for (char c : identifier) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// The names of the triggers and views a ledger store of this version has:
// those of a file may carry these names (they are never copied; the new
// ledger gets its own), anything else is someone else's.
const std::set<std::string>& ourTriggerAndViewNames() {
  static const std::set<std::string> kNames = [] {
    SQLite::Database db(":memory:", SQLite::OPEN_READWRITE);
    for (const auto& schema : allTableSchemas()) {
      std::string sql = "CREATE TABLE " + schema.table + " (Z_PK INTEGER PRIMARY KEY";
      for (const auto& [column, type] : schema.columns) sql += ", " + column + " " + type;
      db.exec(sql + ")");
    }
    search_index::createSearchIndex(db);
    std::set<std::string> names;
    SQLite::Statement rows(db, "SELECT name FROM sqlite_master WHERE type IN ('trigger', 'view')");
    while (rows.executeStep()) names.insert(upper(rows.getColumn(0).getString()));
    return names;
  }();
  return kNames;
}

const char* const kCoreLedgerTables[] = {"ZINOUTCOME", "ZASSET", "ZCATEGORY", "ZETC"};

bool isDecimal(const std::string& text) {
  return !text.empty() && text.size() <= 9 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Tables (by upper-case name) and their columns (upper case), of `schema`
// ("main" or an attached name).
std::map<std::string, std::set<std::string>> tablesOf(SQLite::Database& db, const std::string& schema) {
  std::map<std::string, std::set<std::string>> tables;
  SQLite::Statement names(db, "SELECT name FROM " + quoted(schema) + ".sqlite_master WHERE type = 'table'");
  while (names.executeStep()) tables[upper(names.getColumn(0).getString())];
  for (auto& [table, columns] : tables) {
    if (table.rfind("SQLITE_", 0) == 0) continue;
    try {
      SQLite::Statement info(db, "SELECT name FROM pragma_table_info(?, ?)");
      info.bind(1, table);
      info.bind(2, schema);
      while (info.executeStep()) columns.insert(upper(info.getColumn(0).getString()));
    } catch (const SQLite::Exception&) {
      // A virtual table whose module we lack: never read, so its columns do not matter.
    }
  }
  return tables;
}

int64_t countRows(SQLite::Database& db, const std::string& table) {
  return db.execAndGet("SELECT COUNT(*) FROM " + quoted(table)).getInt64();
}

// Tells what the SQLite file `file` (already known to start as SQLite) holds.
Result<ReceivedFileInfo> inspectSqlite(const std::filesystem::path& file, const std::filesystem::path& shownAs) {
  ReceivedFileInfo info;
  try {
    SQLite::Database db(readOnlyUri(file, true), SQLite::OPEN_READONLY | SQLite::OPEN_URI);
    distrust(db);
    {
      SQLite::Statement quick(db, "PRAGMA quick_check(1)");
      const std::string verdict = quick.executeStep() ? quick.getColumn(0).getString() : "no answer";
      if (verdict != "ok") return refused(shownAs, "the file is damaged (" + verdict + ")");
    }
    const auto tables = tablesOf(db, "main");
    info.schemaVersion = db.execAndGet("PRAGMA user_version").getInt();
    const int applicationId = db.execAndGet("PRAGMA application_id").getInt();
    auto has = [&](const char* table) { return tables.count(table) > 0; };

    if (has("SQLITE_SEQUENCE") && has("INOUTCOME")) {
      info.kind = ReceivedKind::kInterchange;
      for (const char* table : {"INOUTCOME", "ASSETS", "ASSETGROUP", "ZCATEGORY", "ZETC"}) {
        if (has(table)) info.rows[table] = countRows(db, table);
      }
      return info;
    }
    const bool ledgerTables =
        std::all_of(std::begin(kCoreLedgerTables), std::end(kCoreLedgerTables), [&](const char* t) { return has(t); });
    if (!ledgerTables || (applicationId != 0 && applicationId != Store::kApplicationId)) {
      return refused(shownAs, "it is neither a ledger store, a backup nor an interchange file");
    }
    if (info.schemaVersion < 0 || info.schemaVersion > Store::kSchemaVersion) {
      return refused(shownAs, fmt::format("it was written by a newer version of Varnel (store schema {}, this "
                                          "version reads up to {})",
                                          info.schemaVersion, Store::kSchemaVersion));
    }
    {
      SQLite::Statement objects(db, "SELECT type, name FROM sqlite_master WHERE type IN ('trigger', 'view')");
      while (objects.executeStep()) {
        const std::string name = objects.getColumn(1).getString();
        if (!ourTriggerAndViewNames().count(upper(name))) {
          return refused(shownAs, "it carries a " + objects.getColumn(0).getString() + " of its own (" + name +
                                      "), which a ledger never has");
        }
      }
    }
    const bool etcHasIsDel = tables.at("ZETC").count("ZISDEL") > 0;
    if (tables.at("ZETC").count("ZDATATYPE") && tables.at("ZETC").count("ZDATA")) {
      SQLite::Statement version(db, "SELECT ZDATA FROM ZETC WHERE ZDATATYPE = ?" +
                                        (etcHasIsDel ? " AND " + live::recordSql() : std::string()) +
                                        " ORDER BY Z_PK LIMIT 1");
      version.bind(1, etc_kind::kDbVersion);
      if (version.executeStep()) {
        const std::string text = version.getColumn(0).getString();
        if (!isDecimal(text)) return refused(shownAs, "its data version \"" + text + "\" is not a number");
        std::from_chars(text.data(), text.data() + text.size(), info.dataVersion);
      }
    }
    for (const auto& schema : allTableSchemas()) {
      if (has(schema.table.c_str())) info.rows[schema.table] = countRows(db, schema.table);
    }
  } catch (const SQLite::Exception& e) {
    return refused(shownAs, std::string("the file is damaged (") + e.what() + ")");
  }
  return info;
}

// Inspects `file`; a gzip file is decompressed into `plain` (a working file
// beside the store), which is then the SQLite file to read.
Result<ReceivedFileInfo> inspect(const std::filesystem::path& file, const std::filesystem::path& storeFile,
                                 WorkFile& plain, std::filesystem::path& sqliteFile, const Progress& progress) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) return refused(file, "it is a folder");
  auto kind = sniffFileKind(file);
  if (!kind) return refused(file, kind.status().message());
  bool gzip = false;
  sqliteFile = file;
  if (*kind == FileKind::kGzip) {
    gzip = true;
    plain.reset(workFilePath(storeFile, "gunzip"));
    const Status unpacked = gunzipFile(file, plain.path(), progress);
    if (!unpacked) {
      plain.remove();
      return unpacked.isInputFailure() ? refused(file, unpacked.message()) : unpacked;
    }
    kind = sniffFileKind(plain.path());
    if (!kind) return kind.status();
    if (*kind != FileKind::kSqlite) {
      return refused(file, "the gzip file holds no ledger (it holds " + std::string(fileKindName(*kind)) + " data)");
    }
    sqliteFile = plain.path();
  }
  switch (*kind) {
    case FileKind::kEmpty: return refused(file, "the file is empty");
    case FileKind::kOther: return refused(file, "it is neither a ledger store, a backup nor an interchange file");
    case FileKind::kGzip:
    case FileKind::kSqlite: break;
  }
  auto info = inspectSqlite(sqliteFile, file);
  if (info) info->gzip = gzip;
  return info;
}

// Builds the new ledger in `candidate` from the ledger tables of the SQLite
// file `source`: our tables, filled with the columns of ours the file has;
// nothing else of the file's schema comes along. Duplicate identifiers are
// made unique, then the store's own schema (indexes, text index, version)
// is put on.
Result<RepairReport> buildCandidate(const std::filesystem::path& source, const std::filesystem::path& candidate,
                                    spdlog::logger& log, const Progress& progress) {
  RepairReport repair;
  try {
    SQLite::Database db(candidate.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE | SQLite::OPEN_URI);
    distrust(db);
    // A working file: when it is cut short it is thrown away, so it needs
    // neither a journal nor a sync per write (it is synced before the swap).
    db.exec("PRAGMA journal_mode = OFF");
    db.exec("PRAGMA synchronous = OFF");
    for (const auto& schema : allTableSchemas()) {
      std::string sql = "CREATE TABLE " + schema.table + " (Z_PK INTEGER PRIMARY KEY";
      for (const auto& [column, type] : schema.columns) sql += ", " + column + " " + type;
      db.exec(sql + ")");
    }
    {
      SQLite::Statement attach(db, "ATTACH DATABASE ? AS received");
      attach.bind(1, readOnlyUri(source, true));
      attach.exec();
    }
    const auto received = tablesOf(db, "received");
    const auto& schemas = allTableSchemas();
    db.exec("BEGIN TRANSACTION");
    uint64_t done = 0;
    for (const auto& schema : schemas) {
      if (progress) progress("copying tables", done, schemas.size());
      ++done;
      const auto found = received.find(schema.table);
      if (found == received.end()) continue;
      std::string columns = found->second.count("Z_PK") ? "Z_PK" : "";
      for (const auto& [column, type] : schema.columns) {
        if (!found->second.count(upper(column))) continue;
        columns += (columns.empty() ? "" : ", ") + column;
      }
      if (columns.empty()) continue;
      db.exec("INSERT INTO main." + schema.table + " (" + columns + ") SELECT " + columns + " FROM received." +
              schema.table);
    }
    if (progress) progress("copying tables", schemas.size(), schemas.size());
    db.exec("COMMIT TRANSACTION");
    db.exec("DETACH DATABASE received");
    repair = fixNotUniqueUid(db, log);
  } catch (const SQLite::Exception& e) {
    return Status::invalidInput(std::string("the file's tables cannot be read into a ledger (") + e.what() + ")");
  }
  try {
    if (progress) progress("indexing", 0, 1);
    Store store(candidate, log);
    if (progress) progress("indexing", 1, 1);
  } catch (const StoreError& e) {
    return Status::invalidInput(std::string("the restored ledger cannot be opened (") + e.what() + ")");
  } catch (const InputError& e) {
    return Status::invalidInput(std::string("the restored ledger cannot be opened (") + e.what() + ")");
  }
  return repair;
}

using Swap = std::function<Result<StoreSwapReport>(const std::filesystem::path& candidate)>;

// Loads the interchange file `source` into a new ledger in `candidate` with
// the version-tolerant loader.
Result<InterchangeLoadReport> loadCandidate(const Environment& env, spdlog::logger& log,
                                            const std::filesystem::path& source,
                                            const std::filesystem::path& candidate, const Progress& progress) {
  // Not owned: the logger outlives the candidate's ledger, which ends here.
  const std::shared_ptr<spdlog::logger> shared(std::shared_ptr<void>(), &log);
  std::unique_ptr<Ledger> target;
  try {
    target = Ledger::open(env, shared, candidate);
  } catch (const std::exception& e) {
    return Status::storeFailure(std::string("cannot make the new ledger: ") + e.what());
  }
  // The new ledger is not the device's yet: what the load would change in
  // the device's preferences is left out.
  target->preferences().hold(std::make_shared<Preferences::Changes>());
  InterchangeLoadProgress tables;
  if (progress) {
    tables = [&progress](const InterchangeProgress& p) {
      progress("loading " + std::string(p.table), static_cast<uint64_t>(p.done), static_cast<uint64_t>(p.total));
    };
  }
  return loadInterchange(*target, source, InterchangeLoadMode::kAnyVersion, tables);
}

Result<RestoreReport> restoreWith(const Environment& env, const std::filesystem::path& storeFile, spdlog::logger& log,
                                  const std::filesystem::path& file, const RestoreOptions& options, const Swap& swap) {
  std::error_code ec;
  std::filesystem::create_directories(storeFile.parent_path(), ec);
  removeLeftoverWorkFiles(storeFile, log);
  WorkFile plain;
  std::filesystem::path sqliteFile;
  auto found = inspect(file, storeFile, plain, sqliteFile, options.progress);
  if (!found) {
    log.error("restore of {} refused: {}", file.string(), found.status().message());
    return found.status();
  }
  if (options.confirm && !options.confirm(*found)) return Status::invalidInput(kRestoreCancelled);
  RestoreReport report;
  report.found = *found;
  WorkFile candidate(workFilePath(storeFile, "candidate"));
  Status built;
  if (found->kind == ReceivedKind::kInterchange) {
    auto loaded = loadCandidate(env, log, sqliteFile, candidate.path(), options.progress);
    if (loaded) report.interchange = loaded.value();
    built = loaded.status();
  } else {
    auto copied = buildCandidate(sqliteFile, candidate.path(), log, options.progress);
    if (copied) report.uidRepair = copied.value();
    built = copied.status();
  }
  if (!built) {
    log.error("restore of {} failed: {}", file.string(), built.message());
    if (!built.isInputFailure()) return built;
    // The reason may name the working file; the person knows the file they gave.
    std::string why = built.message();
    const std::string working = sqliteFile.string();
    if (why.rfind(working + " is ", 0) == 0) why.replace(0, working.size(), "it");
    for (size_t at = why.find(working); at != std::string::npos; at = why.find(working)) {
      why.replace(at, working.size(), file.filename().string());
    }
    return refused(file, why);
  }
  plain.remove();
  if (options.progress) options.progress("replacing the ledger", 0, 1);
  auto swapped = swap(candidate.path());
  if (!swapped) {
    log.error("backupCopyDBFile Fail");
    log.error("restore of {} failed: {}", file.string(), swapped.status().message());
    return swapped.status();
  }
  if (options.progress) options.progress("replacing the ledger", 1, 1);
  log.info("backupCopyDBFile success");
  report.swap = swapped.value();
  return report;
}

}  // namespace

const char* receivedKindName(ReceivedKind kind) {
  switch (kind) {
    case ReceivedKind::kLedgerStore: return "ledger store";
    case ReceivedKind::kInterchange: return "interchange file";
  }
  return "unknown";
}

Result<ReceivedFileInfo> inspectReceivedFile(const std::filesystem::path& file,
                                             const std::filesystem::path& storeFile) {
  WorkFile plain;
  std::filesystem::path sqliteFile;
  return inspect(file, storeFile, plain, sqliteFile, {});
}

Result<RestoreReport> restoreDB(const Environment& env, spdlog::logger& log, const std::filesystem::path& storeFile,
                                const std::filesystem::path& file, const RestoreOptions& options) {
  return restoreWith(env, storeFile, log, file, options, [&](const std::filesystem::path& candidate) {
    return replaceStoreFile(env, log, storeFile, candidate);
  });
}

Result<RestoreReport> restoreLedger(std::unique_ptr<Ledger>& ledger, const std::filesystem::path& file,
                                    const RestoreOptions& options) {
  if (!ledger) return Status::systemFailure("no ledger is open");
  const std::shared_ptr<spdlog::logger> log = ledger->sharedLog();
  const Environment env = ledger->env();
  auto restored = restoreWith(env, ledger->store().path(), *log, file, options,
                              [&](const std::filesystem::path& candidate) { return replaceLedgerStore(ledger, candidate); });
  if (!restored) return restored;
  MigrationOptions migrationOptions;
  if (options.progress) {
    migrationOptions.progress = [&](int step, const std::string& name) {
      options.progress("migrating: " + name, static_cast<uint64_t>(step - 1), 8);
    };
  }
  auto migrated = versionCheckForMigration(*ledger, migrationOptions);
  if (!migrated) {
    const auto& kept = restored->swap.safetyCopy;
    return Status::storeFailure(fmt::format(
        "the ledger was restored from {} (the replaced one is kept as {}), but migrating it failed: {}",
        file.filename().string(), kept ? kept->string() : std::string("(nothing)"), migrated.status().message()));
  }
  restored->migration = std::move(migrated).value();
  return restored;
}

const std::vector<std::string>& repairMarkersClearedByRestore() {
  static const std::vector<std::string> kMarkers = {"fixCategoryStatus2_8_6", "migrationOrFixBefore2_7_40",
                                                    "EtcScreenTypeFix2.7.13", "AutoComplete2.7.40",
                                                    "UpdateDate2.7.0"};
  return kMarkers;
}

Result<RestoreReport> restoreReceivedFile(const Environment& env, spdlog::logger& log, Preferences& preferences,
                                          const std::filesystem::path& storeFile,
                                          const std::filesystem::path& received, bool removeReceived,
                                          const RestoreOptions& options) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(received, ec)) {
    return refused(received, std::filesystem::exists(received, ec) ? "it is not a file" : "there is no such file");
  }
  // A copy of our own, so that the file cannot change under the restore.
  const auto tempFolder = env.documentsDir() / "temp";
  std::filesystem::create_directories(tempFolder, ec);
  WorkFile copy(tempFolder / received.filename());
  if (!std::filesystem::copy_file(received, copy.path(), std::filesystem::copy_options::overwrite_existing, ec)) {
    return Status::systemFailure("cannot copy " + received.string() + " into " + tempFolder.string() + ": " +
                                 ec.message());
  }
  auto restored = restoreDB(env, log, storeFile, copy.path(), options);
  const bool declined = !restored && restored.status().message() == kRestoreCancelled;
  if (restored) {
    for (const auto& marker : repairMarkersClearedByRestore()) preferences.remove(marker);
  }
  copy.remove();
  if (removeReceived && (restored || declined)) std::filesystem::remove(received, ec);
  return restored;
}

}  // namespace varnel
