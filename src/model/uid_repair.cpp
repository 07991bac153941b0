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
int runLogged(SQLite::Database& db, spdlog::logger& log, const std::string& sql,
              const std::vector<std::string>& binds = {}) {
  std::unique_ptr<SQLite::Statement> st;
  try {
    st = std::make_unique<SQLite::Statement>(db, sql);
  } catch (const SQLite::Exception& e) {
    log.error("Statement NOT Prepared: {}", e.what());
    return -1;
  }
  try {
    for (size_t i = 0; i < binds.size(); ++i) st->bind(static_cast<int>(i + 1), binds[i]);
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

}  // namespace

RepairReport fixNotUniqueUid(SQLite::Database& db, spdlog::logger& log) {
  RepairReport report;
  // All or nothing: a repair cut short by a crash must not leave some copies
  // renamed and others not.
  std::optional<SQLite::Transaction> transaction;
  if (sqlite3_get_autocommit(db.getHandle()) != 0) transaction.emplace(db);
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

    std::vector<std::pair<int64_t, std::string>> pairs;
    try {
      SQLite::Statement count(
          db, fmt::format("select zuid from {} where zuid is not null group by zuid having "
                          "count(*) > 1",
                          table));
      if (count.executeStep()) {
        SQLite::Statement st(
            db, fmt::format("select z_pk, zuid from {} group by zuid having count(*) > 1", table));
        while (st.executeStep()) {
          if (st.getColumn(1).isNull()) continue;
          pairs.emplace_back(st.getColumn(0).getInt64(), st.getColumn(1).getString());
        }
        log.info("tableName {} arraypk {}", table, pairs.size());
      }
    } catch (const SQLite::Exception& e) {
      log.error("query error : {}", e.what());
    }

    std::string setClause = "zuid = zuid||'_'||z_pk";
    if (table == "ZMESSAGEMACRO2") {
      setClause += fmt::format(", {} = 'N'", "zuseYN");
    } else if (!keepsCopiesLive(table)) {
      setClause += fmt::format(", {} = 1", "zisdel");
    }
    const std::string update =
        fmt::format("Update {} set {} where z_pk != ? and zuid = ?", table, setClause);
    for (const auto& [keptPk, uid] : pairs) {
      const int changed = runLogged(db, log, update, {std::to_string(keptPk), uid});
      if (changed > 0) result.rowsRenamed += changed;
    }
    result.duplicateUids = static_cast<int>(pairs.size());
    report.tables.push_back(result);
  }
  if (transaction) transaction->commit();
  return report;
}

}  // namespace varnel
