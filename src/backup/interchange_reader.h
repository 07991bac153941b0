// Loading an interchange file (the SQLite layout the sibling app on the other
// phone platform shares with us, written by MyDBCopyAndroid) into a ledger.
// Two loaders: one for files of the current schema (cloud snapshots, `varnel
// interchange load`) and one that reads every older schema of the other
// platform (a ledger a user brings over), with the column selection each
// schema version had.
//
// A loader fills a new, empty ledger that its caller opened on a file of its
// own; it never touches any other store, so the caller decides whether and
// how the loaded store replaces the user's (backup/store_swap.h). The file
// given is only ever read: it is opened read-only, its triggers and views
// never run, and the identifier repair older files need works on a working
// copy.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "backup/interchange_writer.h"
#include "model/ledger.h"
#include "model/status.h"
#include "model/uid_repair.h"

namespace varnel {

enum class InterchangeLoadMode {
  // `PRAGMA user_version` 19 and a uid on every row; the file's data needs no
  // migration, and the ledger gets the current data version.
  kCurrentFormat,
  // Any schema version of the other platform. Files below version 16 carry
  // numeric ids instead of uids: they land in the legacy id attributes, and
  // the data version written tells the migrations what is left to convert.
  kAnyVersion,
};

const char* interchangeLoadModeName(InterchangeLoadMode mode);

// What was read from one table of the file.
struct InterchangeTableLoad {
  std::string fileTable;   // "INOUTCOME"
  std::string storeTable;  // "ZINOUTCOME"
  int64_t rows = 0;        // records written into the ledger
  int64_t skipped = 0;     // rows the rules leave out (deleted budgets)
  bool absent = false;     // the file has no such table; nothing to load
};

struct InterchangeLoadReport {
  InterchangeLoadMode mode = InterchangeLoadMode::kCurrentFormat;
  int schemaVersion = 0;    // the file's PRAGMA user_version
  std::string dataVersion;  // the data version setting the load wrote
  std::vector<InterchangeTableLoad> tables;  // in load order
  // The identifier repair on the working copy (version-tolerant loads only):
  // every table visited; rows renamed there carry "<uid>_<row key>".
  std::vector<TableRepair> uidRepairs;

  // Records written into `storeTable` (0 for a table not loaded).
  int64_t rows(const std::string& storeTable) const;
};

// Called as a table's rows are written (every few thousand rows, and once
// when the table is done): the file table, the rows written so far and the
// rows the table holds.
using InterchangeLoadProgress = std::function<void(const InterchangeProgress&)>;

// True when `path` is an interchange file: it opens as SQLite (read-only),
// "SELECT * FROM sqlite_sequence" prepares (interchange tables are
// AUTOINCREMENT; our store has none), and it has a table INOUTCOME. Logs
// "android db error" and returns false otherwise.
bool isAndroiFile(const std::filesystem::path& path, spdlog::logger* log = nullptr);

// The file's `PRAGMA user_version`, or -1 when the file cannot be read as
// SQLite.
int queryUserVersion(const std::filesystem::path& path);

// Loads the interchange file `file` into `target`, which must be empty (a
// store just created; anything else is refused). Everything is written in
// one store transaction: on failure `target` is left empty, and the failure
// says why: invalid input for a file that is not a usable interchange file
// of the mode (empty, not SQLite, damaged, another database, a needed table
// that is a view or lacks a column, a schema the mode does not read, an
// identifier twice in a current-format file), a store or system failure
// otherwise. `file` itself is never written. On success the caches of
// `target` are reloaded.
[[nodiscard]] Result<InterchangeLoadReport> loadInterchange(Ledger& target,
                                                            const std::filesystem::path& file,
                                                            InterchangeLoadMode mode,
                                                            const InterchangeLoadProgress& progress = {});

}  // namespace varnel
