#include "model/store.h"

#include <set>

#include <spdlog/spdlog.h>
#include <sqlite3.h>

#include "model/entities.h"
#include "model/errors.h"

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
      // Period totals and balances: by date, and by account over a date range.
      {"ZINOUTCOME", "ZDATE"}, {"ZINOUTCOME", "ZASSETUID, ZDATE"},
      {"ZINOUTCOME", "ZTOASSETUID"},
  };
  return kIndexes;
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

Store::Inspection Store::inspect(const std::filesystem::path& path) {
  Inspection result;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return result;
  if (std::filesystem::is_directory(path, ec)) {
    throw StoreError(path.string() + " is a folder, not a ledger store");
  }
  if (std::filesystem::file_size(path, ec) == 0 && !ec) return result;
  result.exists = true;
  try {
    SQLite::Database db(path.string(), SQLite::OPEN_READONLY);
    int applicationId = db.execAndGet("PRAGMA application_id").getInt();
    result.schemaVersion = db.execAndGet("PRAGMA user_version").getInt();
    SQLite::Statement tables(db,
                             "SELECT name FROM sqlite_master WHERE type = 'table' "
                             "AND name NOT LIKE 'sqlite_%'");
    const auto ours = ledgerTableNames();
    int other = 0;
    while (tables.executeStep()) {
      if (ours.count(tables.getColumn(0).getString())) {
        result.hasLedgerTables = true;
      } else {
        ++other;
      }
    }
    if (applicationId != 0 && applicationId != kApplicationId) {
      throw StoreError(path.string() + " is an SQLite database of another application");
    }
    if (!result.hasLedgerTables && other > 0) {
      throw StoreError(path.string() + " is an SQLite database without ledger tables");
    }
    if (result.schemaVersion > kSchemaVersion) {
      throw StoreError(path.string() + " was written by a newer version of Varnel (store schema " +
                       std::to_string(result.schemaVersion) + ", this version reads up to " +
                       std::to_string(kSchemaVersion) + ")");
    }
  } catch (const SQLite::Exception& e) {
    throw StoreError(path.string() + " is not a ledger store: " + e.what());
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
    db_.exec("PRAGMA journal_mode = DELETE");
    db_.exec("PRAGMA foreign_keys = OFF");
  } catch (const SQLite::Exception& e) {
    throw StoreError("cannot open " + path.string() + ": " + e.what());
  }
  migrate();
}

Store::~Store() = default;

void Store::migrate() {
  if (before_.exists && before_.schemaVersion == kSchemaVersion) return;
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
    for (const auto& table : uniqueUidTables()) {
      db_.exec("CREATE UNIQUE INDEX IF NOT EXISTS " + table + "_ZUID_UNIQUE ON " + table +
               " (ZUID)");
    }
    db_.exec("PRAGMA application_id = " + std::to_string(kApplicationId));
    db_.exec("PRAGMA user_version = " + std::to_string(kSchemaVersion));
    transaction.commit();
  } catch (const SQLite::Exception& e) {
    statements_.clear();
    throw MigrationError("cannot bring " + path_.string() + " up to date: " + e.what());
  }
}

SQLite::Statement& Store::prepare(const std::string& sql) {
  auto it = statements_.find(sql);
  if (it == statements_.end()) {
    it = statements_.emplace(sql, std::make_unique<SQLite::Statement>(db_, sql)).first;
  } else {
    // tryReset: reset() rethrows the error of the statement's last failed
    // step, which would fail every later use of a statement that failed once.
    it->second->tryReset();
    it->second->clearBindings();
  }
  return *it->second;
}

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
  if (!store_.inTransaction()) {
    store_.db().exec("BEGIN EXCLUSIVE TRANSACTION");
    owner_ = true;
  }
}

StoreTransaction::~StoreTransaction() {
  if (owner_ && !done_) {
    try {
      store_.db().exec("ROLLBACK TRANSACTION");
    } catch (...) {
      // The connection already rolled back (for example after a busy or full disk error).
    }
  }
}

void StoreTransaction::commit() {
  if (owner_ && !done_) store_.db().exec("COMMIT TRANSACTION");
  done_ = true;
}

}  // namespace varnel
