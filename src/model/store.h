// The ledger store: one SQLite file holding every entity table. Owns the
// connection, the schema (created and migrated on open, versioned in the
// file), the cache of prepared statements and the write transaction.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <SQLiteCpp/SQLiteCpp.h>

namespace spdlog {
class logger;
}

namespace varnel {

class Store {
 public:
  // Schema version written into the file (PRAGMA user_version). Version 0 is
  // a store made by the older phone product: same tables, no version.
  // 1: the tables and identifier indexes; 2: indexes for period sums.
  // Every step is idempotent, so an older store runs all of them.
  static constexpr int kSchemaVersion = 2;
  // PRAGMA application_id of a store made by this program ("VNLD").
  static constexpr int kApplicationId = 0x564E4C44;

  // What a file on disk is, found without changing it.
  struct Inspection {
    bool exists = false;       // the file exists and is not empty
    int schemaVersion = 0;     // its user_version
    bool hasLedgerTables = false;
  };

  // Looks at `path` read-only. Throws StoreError when it is not an SQLite
  // database, is an SQLite database of something else, or was written by a
  // newer schema version; the file is left byte-for-byte as it was.
  static Inspection inspect(const std::filesystem::path& path);

  // Opens or creates the store at `path` and brings its schema up to date
  // inside one transaction. Throws StoreError for files inspect() refuses and
  // MigrationError when the update fails (the file is then unchanged).
  Store(const std::filesystem::path& path, spdlog::logger& log);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  SQLite::Database& db() { return db_; }
  const std::filesystem::path& path() const { return path_; }
  spdlog::logger& log() { return log_; }

  // A prepared statement for `sql`, reused across calls; it comes back reset
  // with its bindings cleared. Throws SQLite::Exception when `sql` is invalid.
  SQLite::Statement& prepare(const std::string& sql);

  bool inTransaction() const;

  // True when the table exists / has the column (by PRAGMA table_info).
  bool tableExists(const std::string& table);
  bool columnExists(const std::string& table, const std::string& column);

 private:
  void migrate();

  std::filesystem::path path_;
  spdlog::logger& log_;
  Inspection before_;  // the file as it was before this open
  SQLite::Database db_;
  std::unordered_map<std::string, std::unique_ptr<SQLite::Statement>> statements_;
};

// Write transaction ("BEGIN EXCLUSIVE TRANSACTION" … "COMMIT TRANSACTION").
// Inside an enclosing transaction it joins it and commits nothing itself;
// destroyed without commit() it rolls back.
class StoreTransaction {
 public:
  explicit StoreTransaction(Store& store);
  ~StoreTransaction();
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;
  void commit();

 private:
  Store& store_;
  bool owner_ = false;
  bool done_ = false;
};

// The tables whose identifiers must be unique, in the order the
// duplicate-identifier repair visits them.
const std::vector<std::string>& uniqueUidTables();

}  // namespace varnel
