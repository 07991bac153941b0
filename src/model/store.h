// The ledger store: one SQLite file holding every entity table. Owns the
// connection, the schema (created and migrated on open, versioned in the
// file), the cache of prepared statements and the write transactions.
//
// Other processes may use the same file at the same time: every connection
// waits for a lock up to a busy timeout, writes start with BEGIN IMMEDIATE,
// and a statement is reset as soon as its user is done with it, so no read
// keeps the file locked.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <SQLiteCpp/SQLiteCpp.h>

#include "model/status.h"

namespace spdlog {
class logger;
}

namespace varnel {

class Store {
 public:
  // Schema version written into the file (PRAGMA user_version). Version 0 is
  // a store made by the older phone product: same tables, no version.
  // 1: the tables and identifier indexes; 2: indexes for period sums;
  // 3: covering indexes for balances, card bills and period totals in place
  // of the account-and-date and date indexes;
  // 4: the transaction text search index (model/search_index.h);
  // 5: indexes of the message parser's lookups by message text, parsed
  // content and content;
  // 6: the numeric-identifier columns of the older model on every entity
  // that a restore of an older interchange file fills.
  // Every step is idempotent, so an older store runs all of them.
  static constexpr int kSchemaVersion = 6;
  // PRAGMA application_id of a store made by this program ("VNLD").
  static constexpr int kApplicationId = 0x564E4C44;
  // How long a connection waits for another process's lock.
  static constexpr int kBusyTimeoutMs = 15000;

  // What a file on disk is, found without changing it or creating anything
  // beside it.
  struct Inspection {
    bool exists = false;  // the file exists and is not empty
    bool ours = false;    // it carries our application id
  };

  // Looks at `path` without opening it for writing. Throws
  // UnusableStoreError when it is not an SQLite database or is an SQLite
  // database of something else; the file is left byte-for-byte as it was and
  // nothing is created beside it. A store whose last write was cut short is
  // recognised too: opening it rolls the interrupted write back.
  static Inspection inspect(const std::filesystem::path& path);

  // Opens or creates the store at `path` and brings its schema up to date
  // inside one transaction. Throws UnusableStoreError for files inspect()
  // refuses and for a newer or invalid schema version, MigrationError when
  // duplicate identifiers stop the update (the file is then unchanged), and
  // StoreError when the file cannot be opened or written.
  Store(const std::filesystem::path& path, spdlog::logger& log);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  // A prepared statement on loan from the cache. It comes reset with its
  // bindings cleared, and is reset again when the loan ends, which ends the
  // read it may have begun. A statement whose text is already on loan (a
  // query run again from inside its own loop) is prepared afresh.
  class Statement {
   public:
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    ~Statement();

    SQLite::Statement& get() { return *statement_; }
    operator SQLite::Statement&() { return *statement_; }  // NOLINT: drop-in use
    SQLite::Statement* operator->() { return statement_; }

    template <class... Args>
    void bind(Args&&... args) {
      statement_->bind(std::forward<Args>(args)...);
    }
    bool executeStep() { return statement_->executeStep(); }
    int exec() { return statement_->exec(); }
    SQLite::Column getColumn(int index) { return statement_->getColumn(index); }
    bool isColumnNull(int index) const { return statement_->isColumnNull(index); }
    void reset() { statement_->tryReset(); }

   private:
    friend class Store;
    Statement(SQLite::Statement* statement, bool* onLoan,
              std::unique_ptr<SQLite::Statement> owned);

    SQLite::Statement* statement_;
    bool* onLoan_;
    std::unique_ptr<SQLite::Statement> owned_;
  };

  SQLite::Database& db() { return db_; }
  const std::filesystem::path& path() const { return path_; }
  spdlog::logger& log() { return log_; }

  // A prepared statement for `sql`. Throws SQLite::Exception when `sql` is
  // invalid.
  Statement prepare(const std::string& sql);

  // Logs a failed read ("query error : <what> (<reason>)") and throws
  // StoreError with SQLite's reason: a read that fails is never an empty
  // result.
  [[noreturn]] void readFailed(const std::string& what, const std::exception& e);
  // Logs a failed write ("<operation> fail <reason>") and returns it as a
  // store failure.
  Status writeFailed(std::string_view operation, const std::exception& e);

  // Writes one line to the ledger's log at error level.
  void logError(const std::string& line);

  bool inTransaction() const;

  // True when the table exists / has the column (by PRAGMA table_info).
  bool tableExists(const std::string& table);
  bool columnExists(const std::string& table, const std::string& column);

 private:
  friend class StoreTransaction;
  struct CachedStatement {
    std::unique_ptr<SQLite::Statement> statement;
    bool onLoan = false;
  };

  void checkVersion();
  // Removes the journal of a write that was killed before it changed the
  // store, when no other process is writing.
  void removeStaleJournal();
  void migrate();

  std::filesystem::path path_;
  spdlog::logger& log_;
  Inspection before_;  // the file as it was before this open
  SQLite::Database db_;
  int schemaVersionAtOpen_ = 0;
  int transactionDepth_ = 0;
  std::unordered_map<std::string, CachedStatement> statements_;
};

// Write transaction: "BEGIN IMMEDIATE TRANSACTION" … "COMMIT TRANSACTION",
// so the write lock is taken (waiting up to the busy timeout) before anything
// is read. Inside an enclosing transaction it is a savepoint: committing
// releases it into the enclosing one, and destroying it without commit()
// rolls back just its own changes. Destroyed without commit() at the top
// level, it rolls the whole transaction back.
class StoreTransaction {
 public:
  explicit StoreTransaction(Store& store);
  ~StoreTransaction();
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;
  // Throws SQLite::Exception when the commit fails (everything is then
  // rolled back by the destructor).
  void commit();

 private:
  Store& store_;
  std::string savepoint_;  // empty for the outermost transaction
  bool done_ = false;
};

// A read of several queries that must see one committed state, such as a
// report that sums some accounts in one query and a card's bills in another:
// "BEGIN DEFERRED TRANSACTION" … "COMMIT TRANSACTION". Without it each query
// sees the ledger as it is at its own start, so a commit by another process
// between two of them makes a result that no state of the ledger ever had.
// The shared lock taken by its first query keeps writers from committing
// until it ends, so it must stay short, and nothing may write inside it.
// Inside any transaction it does nothing: that one already reads one state.
class StoreSnapshot {
 public:
  explicit StoreSnapshot(Store& store);
  ~StoreSnapshot();
  StoreSnapshot(const StoreSnapshot&) = delete;
  StoreSnapshot& operator=(const StoreSnapshot&) = delete;

 private:
  Store& store_;
  bool began_ = false;
};

// The tables whose identifiers must be unique, in the order the
// duplicate-identifier repair visits them.
const std::vector<std::string>& uniqueUidTables();

}  // namespace varnel
