// The interchange writer: turns the whole ledger store, deleted records
// included, into an interchange database (backup/interchange_schema.h), the
// file that cloud backups and sync snapshots carry and that the sibling app
// on the other phone platform reads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model/status.h"

struct sqlite3;

namespace spdlog {
class logger;
}

namespace varnel {

class Environment;

// What one table of the written file received.
struct InterchangeTableRows {
  std::string table;     // interchange table name ("INOUTCOME")
  int64_t rows = 0;      // rows written
  int64_t dropped = 0;   // store rows left out: their uid was already written
};

struct InterchangeExport {
  std::filesystem::path file;
  bool gzip = false;
  std::vector<InterchangeTableRows> tables;  // in copy order, android_metadata last
};

// How far an export is: rows of a table copied, or bytes of the file
// compressed (`table` is then "gzip").
struct InterchangeProgress {
  std::string_view table;
  int64_t done = 0;
  int64_t total = 0;
};

struct InterchangeExportOptions {
  // Writes a gzip stream of the database instead of the database itself.
  bool gzip = false;
  // Called every few thousand rows and at the end of each table.
  std::function<void(const InterchangeProgress&)> progress;
};

// One writer per export. Logs through `log` the lines the other platform's
// support reads ("copyTx time %f", "copyTx error", …).
class MyDBCopyAndroid {
 public:
  // `env` gives the locale of the metadata row; it must outlive the writer.
  MyDBCopyAndroid(const Environment& env, spdlog::logger& log);

  // Writes the interchange file of the ledger store at `storeFile` to
  // `target`. The store is attached read-only and read as one consistent
  // snapshot: other processes may write meanwhile, but their commits wait
  // (up to their busy timeout) until the export has read everything. The file is built under a temporary name in `target`'s
  // folder, flushed to disk and renamed over `target` only when complete;
  // on failure nothing is left and the reason is returned: a store failure
  // when the ledger cannot be read, a system failure when the file cannot be
  // written.
  [[nodiscard]] Result<InterchangeExport> myDBCopyAndroid(const std::filesystem::path& storeFile,
                                                          const std::filesystem::path& target,
                                                          const InterchangeExportOptions& options = {});

  // The bytes of the interchange file of `storeFile`, written first to
  // interchangeTempPath(), where it stays until the next export replaces it:
  // what a cloud upload sends.
  [[nodiscard]] Result<std::string> myDBCopyAndroid(const std::filesystem::path& storeFile);

  // Replaces whatever is at `path` with an empty interchange database: the
  // tables, user_version and the indexes. Fails (logging the step's line)
  // when any statement fails.
  [[nodiscard]] static Status createTable(const std::filesystem::path& path, spdlog::logger& log);

  // "BEGIN EXCLUSIVE TRANSACTION" / "COMMIT TRANSACTION" on `db`; true when
  // the statement ran to completion.
  static bool beginTransactionWithDatabase(sqlite3* db);
  static bool endTransactionWithDatabase(sqlite3* db);

 private:
  const Environment& env_;
  spdlog::logger& log_;
};

// One table's copy as SQL: which store rows (table, filter, always in
// primary-key order) become which interchange rows (every copied row also
// gets isSynced 2). The expressions read the store attached to the file's
// connection under the schema name "store". The benchmark's bare copy runs
// the same selections.
struct InterchangeTableCopy {
  std::string_view name;   // the copy's name in the log ("copyTx")
  std::string_view table;  // interchange table
  std::string storeTable;
  std::vector<std::string> columns;      // interchange columns, in insert order
  std::vector<std::string> expressions;  // the store expression for each
  std::string where;                     // empty, or the filter of the store rows
  // The first column is the table's key, taken from the uid's integer value;
  // a row whose key an earlier row took gets the next free key.
  bool keyFromUid = false;
};

// The copies in the order the writer runs them (android_metadata's single
// row is not among them).
const std::vector<InterchangeTableCopy>& interchangeTableCopies();

// Where myDBCopyAndroid(storeFile) writes: "temp/tempCloudDB.sqlite" in the
// documents folder.
std::filesystem::path interchangeTempPath(const Environment& env);

// The text of the metadata row: the interface language's code and the
// region, "en_US".
std::string interchangeLocale(const Environment& env);

}  // namespace varnel
