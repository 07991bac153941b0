// The duplicate-identifier repair of the store file.
#pragma once

#include <string>
#include <vector>

#include <SQLiteCpp/SQLiteCpp.h>

namespace spdlog {
class logger;
}

namespace varnel {

struct TableRepair {
  std::string table;
  int zeroUidsCleared = 0;  // rows whose uid "0" became null
  int duplicateUids = 0;    // identifiers that stood on more than one row
  int rowsRenamed = 0;      // rows that got uid + "_" + row key
};

struct RepairReport {
  std::vector<std::string> columnsAdded;  // "ZETC.ZISDEL"
  std::vector<TableRepair> tables;        // every table visited, in order
};

// Makes every `uid` unique in the sixteen identifier tables, working on a raw
// connection to the store file, in one transaction and one pass per table.
// The row with the lowest Z_PK of each duplicated identifier keeps it; the
// others get "<uid>_<Z_PK>". Transactions, favourites, recurring
// entries and memos stay live; the extra copies of every other record are
// marked deleted (message rules are switched off). Rows with uid "0" get a
// null uid first. Failures of single statements are logged and the repair
// goes on with the next table.
RepairReport fixNotUniqueUid(SQLite::Database& db, spdlog::logger& log);

}  // namespace varnel
