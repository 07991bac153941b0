#include "model/store.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <set>

#include <fmt/format.h>

#include <spdlog/spdlog.h>
#include <sqlite3.h>

#include "model/entities.h"
#include "model/errors.h"
#include "model/search_index.h"

namespace varnel {

namespace {

std::set<std::string> ledgerTableNames() {
  std::set<std::string> names;
  for (const auto& s : allTableSchemas()) names.insert(s.table);
  return names;
}

// Indexes besides the unique identifiers: (table, columns).
const std::vector<std::pair<std::string, std::string>>& plainIndexes() {
  static const std::vector<std::pair<std::string, std::string>> kIndexes = {
      {"ZINOUTCOME", "ZTXUIDTRANS"}, {"ZINOUTCOME", "ZTXUIDFEE"},
      {"ZINOUTCOME", "ZCARDDIVIDEUID"}, {"ZTXTAG", "ZTXUID"},
      {"ZPHOTO", "ZTXUID"}, {"ZETC", "ZDATATYPE"},
      {"ZCODEDATA", "ZUID"}, {"ZCODELINK", "ZUID"}, {"ZPROPERTY", "ZUID"},
      {"ZINOUTCOME", "ZTOASSETUID"},
  };
  return kIndexes;
}

struct CoveringIndex {
  std::string name;
  std::string table;
  std::string columns;
};

// Balances, card bills and period totals sum a handful of columns over tens
// of thousands of rows. Read through a narrow index, every row costs a
// random read of the table; these hold every column those sums read, so the
// sums never touch the table. Each leads with the columns the queries
// narrow by (an account and a date range, or a date range alone), which
// also serves every lookup the narrower indexes they replaced served.
// CREATE INDEX IF NOT EXISTS keeps an index of an older shape, so a changed
// column list takes a new name, with the old name retired below.
const std::vector<CoveringIndex>& coveringIndexes() {
  static const std::vector<CoveringIndex> kIndexes = {
      // Account balances, debit-card nets and card bills. ZUID is the key the
      // bills' prepayment tag lookup joins on.
      {"ZINOUTCOME_ACCOUNT_SUMS", "ZINOUTCOME",
       "ZASSETUID, ZDATE, ZDO_TYPE, ZISDEL, ZAMOUNTACCOUNT, ZAMOUNT, ZUID"},
      // A period's income and expense (classified by both accounts),
      // category totals and carry-over.
      {"ZINOUTCOME_DATE_SUMS", "ZINOUTCOME",
       "ZDATE, ZDO_TYPE, ZISDEL, ZASSETUID, ZTOASSETUID, ZCATEGORYUID, ZAMOUNT"},
  };
  return kIndexes;
}

// The message parser's lookups (schema 5), each by one text of a transaction:
// the pasted message (is it already stored?), the parsed content and the
// content (which category did the same merchant get last time?). The last
// two are ordered like the answers, newest first, so that a lookup stops at
// the first usable row; case is ignored the way SQLite folds it (ASCII).
// Rows without the text are left out, which keeps the first one small: only
// pasted transactions carry a message.
struct PartialIndex {
  std::string name;
  std::string table;
  std::string columns;
  std::string where;
};

const std::vector<PartialIndex>& messageIndexes() {
  static const std::vector<PartialIndex> kIndexes = {
      {"ZINOUTCOME_MESSAGE", "ZINOUTCOME", "ZSMSORIGINE", "ZSMSORIGINE IS NOT NULL"},
      {"ZINOUTCOME_PARSED_CONTENT", "ZINOUTCOME", "ZSMSPARSECONTENTS COLLATE NOCASE, ZDO_TYPE, ZDATE",
       "ZSMSPARSECONTENTS IS NOT NULL"},
      {"ZINOUTCOME_CONTENT", "ZINOUTCOME", "ZCONTENT COLLATE NOCASE, ZDO_TYPE, ZDATE", "ZCONTENT IS NOT NULL"},
  };
  return kIndexes;
}

// Indexes that earlier schemas created and a covering index now replaces:
// dropped on upgrade, since each one costs every insert and no query needs it.
const std::vector<std::string>& retiredIndexes() {
  static const std::vector<std::string> kNames = {"ZINOUTCOME_ZASSETUID_ZDATE", "ZINOUTCOME_ZDATE"};
  return kNames;
}

std::string indexName(const std::string& table, const std::string& columns) {
  std::string name = table;
  for (char c : columns) {
    if (c != ' ') name += c == ',' ? '_' : c;
  }
  return name.insert(table.size(), "_");
}

}  // namespace

const std::vector<std::string>& uniqueUidTables() {
  static const std::vector<std::string> kTables = {
      "ZINOUTCOME", "ZASSET", "ZASSETGROUP", "ZCATEGORY", "ZCURRENCY", "ZMESSAGEMACRO2",
      "ZETC", "ZBUDGET", "ZBUDGETAMOUNT", "ZTXTAG", "ZTAG", "ZPHOTO",
      "ZREPEATTRANSACTION", "ZFAVTRANSACTION", "ZMEMO", "ZSMSRAWREAD"};
  return kTables;
}

namespace {

// The first 100 bytes of an SQLite file: the magic text, then big-endian
// header fields (user_version at 60, application_id at 68).
constexpr char kSqliteMagic[] = "SQLite format 3";
constexpr size_t kHeaderSize = 100;

int32_t headerInt(const unsigned char* header, size_t offset) {
  const uint32_t v = (uint32_t{header[offset]} << 24) | (uint32_t{header[offset + 1]} << 16) |
                     (uint32_t{header[offset + 2]} << 8) | uint32_t{header[offset + 3]};
  return static_cast<int32_t>(v);
}

// The names of the tables of a file that is not ours, read without locking
// it, without rolling back a journal and without creating -wal/-shm files
// beside it ("immutable": the file is only read).
std::vector<std::string> tableNamesUntouched(const std::filesystem::path& path) {
  std::string uri = "file:";
  for (unsigned char c : path.string()) {
    if (std::isalnum(c) || c == '/' || c == '.' || c == '-' || c == '_') {
      uri += static_cast<char>(c);
    } else {
      uri += fmt::format("%{:02X}", c);
    }
  }
  uri += "?immutable=1";
  SQLite::Database db(uri, SQLite::OPEN_READONLY | SQLite::OPEN_URI);
  SQLite::Statement tables(db,
                           "SELECT name FROM sqlite_master WHERE type = 'table' "
                           "AND name NOT LIKE 'sqlite_%'");
  std::vector<std::string> names;
  while (tables.executeStep()) names.push_back(tables.getColumn(0).getString());
  return names;
}

}  // namespace

Store::Inspection Store::inspect(const std::filesystem::path& path) {
  Inspection result;
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) return result;
  if (std::filesystem::is_directory(status)) {
    throw UnusableStoreError(path.string() + " is a folder, not a ledger store");
  }
  if (!std::filesystem::is_regular_file(status)) {
    throw UnusableStoreError(path.string() + " is not a ledger store: not a regular file");
  }
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) throw StoreError("cannot read " + path.string() + ": " + ec.message());
  if (size == 0) return result;
  result.exists = true;

  // The header is read directly: a read-only SQLite connection cannot roll
  // back the journal of a write that was cut short, and would call a
  // perfectly good ledger unreadable.
  unsigned char header[kHeaderSize] = {};
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw StoreError("cannot read " + path.string());
    in.read(reinterpret_cast<char*>(header), kHeaderSize);
    if (static_cast<size_t>(in.gcount()) < kHeaderSize ||
        std::memcmp(header, kSqliteMagic, sizeof kSqliteMagic) != 0) {
      throw UnusableStoreError(path.string() + " is not a ledger store: file is not a database");
    }
  }
  const int32_t applicationId = headerInt(header, 68);
  if (applicationId == kApplicationId) {
    result.ours = true;
    return result;
  }
  if (applicationId != 0) {
    throw UnusableStoreError(path.string() + " is an SQLite database of another application");
  }
  // No application id: a store of the older phone product (our tables, no
  // id), a new store whose first write was cut short, or someone else's file.
  std::vector<std::string> names;
  try {
    names = tableNamesUntouched(path);
  } catch (const SQLite::Exception& e) {
    throw UnusableStoreError(path.string() + " is not a ledger store: " + e.what());
  }
  const auto ours = ledgerTableNames();
  bool hasLedgerTables = false;
  int other = 0;
  for (const auto& name : names) {
    if (ours.count(name)) {
      hasLedgerTables = true;
    } else {
      ++other;
    }
  }
  if (!hasLedgerTables && other > 0) {
    throw UnusableStoreError(path.string() + " is an SQLite database without ledger tables");
  }
  return result;
}

Store::Store(const std::filesystem::path& path, spdlog::logger& log)
    : path_(path), log_(log), before_(inspect(path)), db_([&]() -> SQLite::Database {
        try {
          return SQLite::Database(path.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        } catch (const SQLite::Exception& e) {
          throw StoreError("cannot open " + path.string() + ": " + e.what());
        }
      }()) {
  try {
    db_.setBusyTimeout(kBusyTimeoutMs);
    // The first read rolls back the journal of an interrupted write, so the
    // version is the committed one.
    checkVersion();
    db_.exec("PRAGMA journal_mode = DELETE");
    db_.exec("PRAGMA foreign_keys = OFF");
    removeStaleJournal();
  } catch (const SQLite::Exception& e) {
    throw StoreError("cannot open " + path.string() + ": " + e.what());
  }
  migrate();
}

void Store::removeStaleJournal() {
  const std::filesystem::path journal = path_.string() + "-journal";
  std::error_code ec;
  if (!std::filesystem::exists(journal, ec)) return;
  // A write killed before its journal was first synced leaves a journal
  // whose header was never made valid: SQLite rightly ignores it (the store
  // was not touched yet) but leaves it beside the store until the next write.
  // It is removed only under the write lock: every writer holds that lock for
  // as long as its journal exists, and taking it rolls back a journal that
  // is hot, so a journal still there then is stale. Without waiting: a
  // process that is writing removes its own journal when it commits.
  db_.setBusyTimeout(0);
  bool locked = false;
  try {
    db_.exec("BEGIN IMMEDIATE TRANSACTION");
    locked = true;
  } catch (const SQLite::Exception&) {
    // Another process holds the lock.
  }
  db_.setBusyTimeout(kBusyTimeoutMs);
  if (!locked) return;
  std::filesystem::remove(journal, ec);
  if (ec) log_.warn("cannot remove the stale journal {}: {}", journal.string(), ec.message());
  db_.exec("COMMIT TRANSACTION");
}

Store::~Store() = default;

void Store::checkVersion() {
  schemaVersionAtOpen_ = db_.execAndGet("PRAGMA user_version").getInt();
  const int applicationId = db_.execAndGet("PRAGMA application_id").getInt();
  if (applicationId != 0 && applicationId != kApplicationId) {
    throw UnusableStoreError(path_.string() + " is an SQLite database of another application");
  }
  if (schemaVersionAtOpen_ < 0) {
    throw UnusableStoreError(path_.string() + " is not a ledger store: invalid store schema " +
                             std::to_string(schemaVersionAtOpen_));
  }
  if (schemaVersionAtOpen_ > kSchemaVersion) {
    throw UnusableStoreError(path_.string() +
                             " was written by a newer version of Varnel (store schema " +
                             std::to_string(schemaVersionAtOpen_) + ", this version reads up to " +
                             std::to_string(kSchemaVersion) + ")");
  }
}

void Store::migrate() {
  if (schemaVersionAtOpen_ == kSchemaVersion) return;
  try {
    StoreTransaction transaction(*this);
    for (const auto& schema : allTableSchemas()) {
      if (!tableExists(schema.table)) {
        std::string sql = "CREATE TABLE " + schema.table + " (Z_PK INTEGER PRIMARY KEY";
        for (const auto& [column, type] : schema.columns) sql += ", " + column + " " + type;
        sql += ")";
        db_.exec(sql);
        continue;
      }
      // A store made by an older release lacks the columns added since.
      for (const auto& [column, type] : schema.columns) {
        if (!columnExists(schema.table, column)) {
          db_.exec("ALTER TABLE " + schema.table + " ADD COLUMN " + column + " " + type);
        }
      }
    }
    for (const auto& [table, column] : plainIndexes()) {
      db_.exec("CREATE INDEX IF NOT EXISTS " + indexName(table, column) + " ON " + table + " (" +
               column + ")");
    }
    // Dropped first, so that the covering indexes reuse the freed pages
    // instead of growing the file.
    for (const auto& name : retiredIndexes()) db_.exec("DROP INDEX IF EXISTS " + name);
    for (const auto& index : coveringIndexes()) {
      db_.exec("CREATE INDEX IF NOT EXISTS " + index.name + " ON " + index.table + " (" +
               index.columns + ")");
    }
    for (const auto& index : messageIndexes()) {
      db_.exec("CREATE INDEX IF NOT EXISTS " + index.name + " ON " + index.table + " (" + index.columns +
               ") WHERE " + index.where);
    }
    for (const auto& table : uniqueUidTables()) {
      try {
        db_.exec("CREATE UNIQUE INDEX IF NOT EXISTS " + table + "_ZUID_UNIQUE ON " + table +
                 " (ZUID)");
      } catch (const SQLite::Exception& e) {
        // Only duplicates call for the repair; a lock or a full disk must
        // never be taken for them.
        if ((e.getExtendedErrorCode() & 0xFF) == SQLITE_CONSTRAINT) {
          throw MigrationError("cannot bring " + path_.string() + " up to date: " + e.what());
        }
        throw;
      }
    }
    // Schema 4: the transaction text search index. Built from the rows a
    // store of an earlier schema already holds, in this same transaction.
    search_index::createSearchIndex(db_);
    db_.exec("PRAGMA application_id = " + std::to_string(kApplicationId));
    db_.exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    transaction.commit();
  } catch (const SQLite::Exception& e) {
    statements_.clear();
    throw StoreError("cannot bring " + path_.string() + " up to date: " + e.what());
  }
}

Store::Statement::Statement(SQLite::Statement* statement, bool* onLoan,
                            std::unique_ptr<SQLite::Statement> owned)
    : statement_(statement), onLoan_(onLoan), owned_(std::move(owned)) {}

Store::Statement::Statement(Statement&& other) noexcept
    : statement_(other.statement_), onLoan_(other.onLoan_), owned_(std::move(other.owned_)) {
  other.statement_ = nullptr;
  other.onLoan_ = nullptr;
}

Store::Statement::~Statement() {
  if (!statement_) return;
  // Ends the implicit read transaction of a statement that was not stepped
  // to its end, so other processes can write.
  statement_->tryReset();
  if (onLoan_) *onLoan_ = false;
}

Store::Statement Store::prepare(const std::string& sql) {
  auto it = statements_.find(sql);
  if (it == statements_.end()) {
    CachedStatement cached;
    cached.statement = std::make_unique<SQLite::Statement>(db_, sql);
    it = statements_.emplace(sql, std::move(cached)).first;
  } else if (it->second.onLoan) {
    auto fresh = std::make_unique<SQLite::Statement>(db_, sql);
    SQLite::Statement* raw = fresh.get();
    return Statement(raw, nullptr, std::move(fresh));
  } else {
    // tryReset: reset() rethrows the error of the statement's last failed
    // step, which would fail every later use of a statement that failed once.
    it->second.statement->tryReset();
    it->second.statement->clearBindings();
  }
  it->second.onLoan = true;
  return Statement(it->second.statement.get(), &it->second.onLoan, nullptr);
}

void Store::readFailed(const std::string& what, const std::exception& e) {
  log_.error("query error : {} ({})", what, e.what());
  throw StoreError(std::string("cannot read the ledger: ") + e.what());
}

Status Store::writeFailed(std::string_view operation, const std::exception& e) {
  log_.error("{} fail {}", operation, e.what());
  return Status::storeFailure(std::string("cannot write the ledger: ") + e.what());
}

void Store::logError(const std::string& line) { log_.error("{}", line); }

bool Store::inTransaction() const { return sqlite3_get_autocommit(db_.getHandle()) == 0; }

bool Store::tableExists(const std::string& table) {
  SQLite::Statement st(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
  st.bind(1, table);
  return st.executeStep();
}

bool Store::columnExists(const std::string& table, const std::string& column) {
  SQLite::Statement st(db_, "SELECT 1 FROM pragma_table_info(?) WHERE name = ? COLLATE NOCASE");
  st.bind(1, table);
  st.bind(2, column);
  return st.executeStep();
}

StoreTransaction::StoreTransaction(Store& store) : store_(store) {
  if (store_.transactionDepth_ == 0) {
    store_.db().exec("BEGIN IMMEDIATE TRANSACTION");
  } else {
    savepoint_ = "varnel_" + std::to_string(store_.transactionDepth_);
    store_.db().exec("SAVEPOINT " + savepoint_);
  }
  ++store_.transactionDepth_;
}

StoreTransaction::~StoreTransaction() {
  if (done_) return;
  --store_.transactionDepth_;
  try {
    if (savepoint_.empty()) {
      store_.db().exec("ROLLBACK TRANSACTION");
    } else {
      store_.db().exec("ROLLBACK TO " + savepoint_);
      store_.db().exec("RELEASE " + savepoint_);
    }
  } catch (...) {
    // The connection already rolled back (for example after a busy or full disk error).
  }
}

void StoreTransaction::commit() {
  if (done_) return;
  store_.db().exec(savepoint_.empty() ? std::string("COMMIT TRANSACTION") : "RELEASE " + savepoint_);
  done_ = true;
  --store_.transactionDepth_;
}

StoreSnapshot::StoreSnapshot(Store& store) : store_(store) {
  if (store_.inTransaction()) return;
  try {
    store_.db().exec("BEGIN DEFERRED TRANSACTION");
  } catch (const SQLite::Exception& e) {
    store_.readFailed("BEGIN DEFERRED TRANSACTION", e);
  }
  began_ = true;
}

StoreSnapshot::~StoreSnapshot() {
  if (!began_) return;
  // Ending a transaction that only read cannot fail for a lock; should it
  // fail at all, rolling back still releases the shared lock.
  try {
    store_.db().exec("COMMIT TRANSACTION");
  } catch (const SQLite::Exception&) {
    try {
      store_.db().exec("ROLLBACK TRANSACTION");
    } catch (const SQLite::Exception&) {
      // The connection has no transaction left to end.
    }
  }
}

}  // namespace varnel
