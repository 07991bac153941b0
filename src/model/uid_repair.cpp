#include "model/uid_repair.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <sqlite3.h>

#include "model/environment.h"
#include "model/store.h"

namespace varnel {

namespace {

// A statement "exists" when it prepares and its first step yields a row or
// reaches the end; that is how missing tables and columns are told apart.
bool statementRuns(SQLite::Database& db, const std::string& sql) {
  try {
    SQLite::Statement st(db, sql);
    st.executeStep();
    return true;
  } catch (const SQLite::Exception&) {
    return false;
  }
}

bool tableExists(SQLite::Database& db, const std::string& table) {
  return statementRuns(db, fmt::format("select * from {}", table));
}

bool columnExists(SQLite::Database& db, const std::string& table, const std::string& column) {
  return statementRuns(db, fmt::format("select {} from {}", column, table));
}

// Runs one write statement; logs its outcome the way the rest of the repair
// does. Returns the number of rows changed, or -1 on failure.
int runLogged(SQLite::Database& db, spdlog::logger& log, const std::string& sql) {
  std::unique_ptr<SQLite::Statement> st;
  try {
    st = std::make_unique<SQLite::Statement>(db, sql);
  } catch (const SQLite::Exception& e) {
    log.error("Statement NOT Prepared: {}", e.what());
    return -1;
  }
  try {
    st->exec();
    log.info("Query Executed");
    return db.getChanges();
  } catch (const SQLite::Exception& e) {
    log.error("Query NOT Executed: {}", e.what());
    return -1;
  }
}

void addColumnIfMissing(SQLite::Database& db, spdlog::logger& log, RepairReport& report,
                        const std::string& table, const std::string& column,
                        const std::string& type) {
  if (!tableExists(db, table) || columnExists(db, table, column)) return;
  if (runLogged(db, log, fmt::format("alter table {} add column {} {}", table, column, type)) >=
      0) {
    log.info("addEtcIsdelColumn {} {}", table, column);
    report.columnsAdded.push_back(table + "." + column);
  }
}

// Copies of these records stay live under their new identifiers; copies of
// any other record are marked deleted.
bool keepsCopiesLive(const std::string& table) {
  return table == "ZINOUTCOME" || table == "ZFAVTRANSACTION" || table == "ZREPEATTRANSACTION" ||
         table == "ZMEMO";
}

// Row keys of the copies that lose their identifier, on the repair's own
// connection; the temp schema keeps it out of the store file.
constexpr const char* kExtraCopies = "temp.varnel_uid_extra_copies";

void dropExtraCopies(SQLite::Database& db) noexcept {
  try {
    db.exec(fmt::format("drop table if exists {}", kExtraCopies));
  } catch (const SQLite::Exception&) {
    // Only this connection sees the table, and it is dropped before each use.
  }
}

// Fills kExtraCopies with every row of `table` whose identifier stands on a
// row with a lower Z_PK, numbering the copies of each identifier from 1 (the
// one that keeps it). The lowest Z_PK keeps the identifier because that is
// the row earlier releases kept: they took it from the bare column of
// "select z_pk, zuid ... group by zuid having count(*) > 1", which SQLite
// fills from the first row of each group in scan order, and both the table
// scan and an index on ZUID deliver equal identifiers in row-key order.
// Naming it here keeps that outcome without depending on the query plan.
void collectExtraCopies(SQLite::Database& db, const std::string& table) {
  dropExtraCopies(db);
  db.exec(fmt::format(
      "create table {} as select z_pk, copy_number from (select z_pk, row_number() over "
      "(partition by zuid order by z_pk) as copy_number from {} where zuid is not null) "
      "where copy_number > 1",
      kExtraCopies, table));
}

}  // namespace

RepairReport fixNotUniqueUid(SQLite::Database& db, spdlog::logger& log) {
  RepairReport report;
  // All or nothing: a repair cut short by a crash must not leave some copies
  // renamed and others not.
  std::optional<SQLite::Transaction> transaction;
  if (sqlite3_get_autocommit(db.getHandle()) != 0) {
    transaction.emplace(db, SQLite::TransactionBehavior::IMMEDIATE);
  }
  addColumnIfMissing(db, log, report, "ZETC", "ZISDEL", "integer");
  addColumnIfMissing(db, log, report, "ZASSET", "ZISDEL", "integer");
  addColumnIfMissing(db, log, report, "ZMESSAGEMACRO2", "ZUID", "VARCHAR");
  // The extra copies are marked through these columns; a table made before
  // they existed gets them too, or its duplicates could never be resolved and
  // the store would not open.
  for (const std::string& table : uniqueUidTables()) {
    if (table == "ZMESSAGEMACRO2") {
      addColumnIfMissing(db, log, report, table, "ZUSEYN", "VARCHAR");
    } else if (!keepsCopiesLive(table) && columnExists(db, table, "ZUID")) {
      addColumnIfMissing(db, log, report, table, "ZISDEL", "integer");
    }
  }

  for (const std::string& table : uniqueUidTables()) {
    if (!tableExists(db, table) || !columnExists(db, table, "ZUID")) continue;
    TableRepair result;
    result.table = table;
    const int cleared =
        runLogged(db, log, fmt::format("Update {} set zuid = null where zuid = '0'", table));
    result.zeroUidsCleared = cleared > 0 ? cleared : 0;

    // Every extra copy is collected first and changed by a single UPDATE: one
    // statement per duplicated identifier scanned the whole table each time,
    // which took an hour on large damaged stores while holding the lock.
    int duplicates = 0;
    try {
      collectExtraCopies(db, table);
      duplicates = db.execAndGet(fmt::format("select count(*) from {} where copy_number = 2",
                                             kExtraCopies))
                       .getInt();
      if (duplicates > 0) log.info("tableName {} arraypk {}", table, duplicates);
    } catch (const SQLite::Exception& e) {
      log.error("query error : {}", e.what());
      duplicates = 0;
    }

    if (duplicates > 0) {
      std::string setClause = "zuid = zuid||'_'||z_pk";
      if (table == "ZMESSAGEMACRO2") {
        setClause += fmt::format(", {} = 'N'", "zuseYN");
      } else if (!keepsCopiesLive(table)) {
        setClause += fmt::format(", {} = 1", "zisdel");
      }
      const int changed = runLogged(
          db, log,
          fmt::format("Update {} set {} where z_pk in (select z_pk from {})", table, setClause,
                      kExtraCopies));
      if (changed > 0) result.rowsRenamed = changed;
    }
    dropExtraCopies(db);
    result.duplicateUids = duplicates;
    report.tables.push_back(result);
  }
  if (transaction) transaction->commit();
  return report;
}

}  // namespace varnel
