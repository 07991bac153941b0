// The interchange database: the SQLite layout the sibling app on the other
// phone platform uses, which carries cloud backups, sync snapshots and the
// ledgers people bring from that platform. Its tables, columns, declared
// types, indexes and version are defined here once; the writer creates files
// from these lists and the reader takes its current-format columns from them.
// docs/interchange.md describes the format for implementers without our code.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace varnel::interchange {

// PRAGMA user_version of a file in the current layout.
inline constexpr int kUserVersion = 19;

struct Column {
  std::string_view name;
  // The declared type as the CREATE statement writes it ("VARCHAR",
  // "integer", "real"); sqlite_master keeps this text, PRAGMA table_info
  // reports the common names in capitals.
  std::string_view type;
  bool primaryKey = false;
  bool autoincrement = false;
};

struct Table {
  std::string_view name;
  // How the statement begins: most tables are created with "CREATE TABLE",
  // ASSETGROUP with "create table", the code tables with "CREATE TABLE IF
  // NOT EXISTS" (SQLite keeps none of this in the file: sqlite_master holds
  // every statement as "CREATE TABLE name(…)").
  std::string_view createKeyword;
  std::vector<Column> columns;

  // The column called `name` (exact case), or null.
  const Column* column(std::string_view name) const;
};

struct Index {
  std::string_view name;
  std::string_view table;
  std::string_view column;
  bool unique = false;  // unique indexes are created "IF NOT EXISTS"
};

// The 19 tables in the order a new file creates them.
const std::vector<Table>& tables();
// The 31 indexes in the order of their batch.
const std::vector<Index>& indexes();

// The table called `name` (exact case), or null.
const Table* findTable(std::string_view name);

// "CREATE TABLE INOUTCOME(AID INTEGER PRIMARY KEY, uid TEXT, …)".
std::string createTableSql(const Table& table);
std::string createIndexSql(const Index& index);
// Every index statement joined by "; ", run as one batch.
std::string createIndexBatchSql();
// The table's column names in order, joined by ", " (for the SELECT of a
// current-format file).
std::string columnList(const Table& table);

}  // namespace varnel::interchange
