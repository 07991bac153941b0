#include "model/search_index.h"

#include <vector>

#include <fmt/format.h>

#include "model/text.h"
#include "model/text_fold.h"

namespace varnel::search_index {

namespace {

constexpr const char* kInsertTrigger = "ZINOUTCOME_SEARCH_INSERT";
constexpr const char* kDeleteTrigger = "ZINOUTCOME_SEARCH_DELETE";
constexpr const char* kUpdateTrigger = "ZINOUTCOME_SEARCH_UPDATE";

// "*[^…]*": any text holding a character outside `ranges`. GLOB compares
// code points, so the ranges are written as they are; the first must not be
// ']' or '^', which would change the set's meaning.
std::string textOutsidePattern(const std::vector<CodePointRange>& ranges) {
  std::string set;
  for (const CodePointRange& r : ranges) {
    appendUtf8(set, r.first);
    if (r.last != r.first) {
      set += '-';
      appendUtf8(set, r.last);
    }
  }
  return "*[^" + set + "]*";
}

// Most ledger text is ASCII and Hangul: a GLOB over these few ranges settles
// it before the one over every fold-stable range, which costs a comparison
// with each range for each character. Each lies inside a fold-stable range.
const std::vector<CodePointRange>& commonTextRanges() {
  static const std::vector<CodePointRange> kRanges = {
      {0x0009, 0x000A}, {0x000D, 0x000D}, {0x0020, 0x007E}, {0xAC00, 0xD7A3}};
  return kRanges;
}

bool schemaHas(SQLite::Database& db, const char* type, const char* name) {
  SQLite::Statement st(db, "SELECT 1 FROM sqlite_master WHERE type = ? AND name = ?");
  st.bind(1, type);
  st.bind(2, name);
  return st.executeStep();
}

}  // namespace

std::string scanCondition() {
  const std::string common = textOutsidePattern(commonTextRanges());
  const std::string stable = textOutsidePattern(foldStableRanges());
  std::string condition;
  for (const char* column : {kContentColumn, kMemoColumn, kMessageColumn}) {
    if (!condition.empty()) condition += " OR ";
    condition += fmt::format("({0} GLOB '{1}' AND {0} GLOB '{2}')", column, common, stable);
  }
  return condition;
}

void createSearchIndex(SQLite::Database& db) {
  const bool complete = schemaHas(db, "table", kTable) && schemaHas(db, "trigger", kInsertTrigger) &&
                        schemaHas(db, "trigger", kDeleteTrigger) &&
                        schemaHas(db, "trigger", kUpdateTrigger);
  // External content: the index keeps no copy of the text. Positions are
  // kept (a trigram phrase needs them); the per-row column sizes, which only
  // ranking reads, are not.
  db.exec(fmt::format(
      "CREATE VIRTUAL TABLE IF NOT EXISTS {0} USING fts5({1}, {2}, {3}, content='ZINOUTCOME', "
      "content_rowid='Z_PK', columnsize=0, tokenize='trigram case_sensitive 0')",
      kTable, kContentColumn, kMemoColumn, kMessageColumn));
  const std::string columns = fmt::format("{}, {}, {}", kContentColumn, kMemoColumn, kMessageColumn);
  const std::string newValues =
      fmt::format("new.Z_PK, new.{}, new.{}, new.{}", kContentColumn, kMemoColumn, kMessageColumn);
  // An external-content index forgets a row only when told the text it
  // indexed, which is the row's text before the change.
  const std::string forgetOld =
      fmt::format("INSERT INTO {0}({0}, rowid, {1}) VALUES ('delete', old.Z_PK, old.{2}, old.{3}, old.{4});",
                  kTable, columns, kContentColumn, kMemoColumn, kMessageColumn);
  const std::string addNew = fmt::format("INSERT INTO {}(rowid, {}) VALUES ({});", kTable, columns, newValues);
  db.exec(fmt::format("CREATE TRIGGER IF NOT EXISTS {} AFTER INSERT ON ZINOUTCOME BEGIN {} END",
                      kInsertTrigger, addNew));
  db.exec(fmt::format("CREATE TRIGGER IF NOT EXISTS {} AFTER DELETE ON ZINOUTCOME BEGIN {} END",
                      kDeleteTrigger, forgetOld));
  // Every save of a record writes all its columns; only a change of the text
  // (or of the row key) costs the index anything.
  db.exec(fmt::format(
      "CREATE TRIGGER IF NOT EXISTS {0} AFTER UPDATE OF Z_PK, {1}, {2}, {3} ON ZINOUTCOME "
      "WHEN old.Z_PK IS NOT new.Z_PK OR old.{1} IS NOT new.{1} OR old.{2} IS NOT new.{2} "
      "OR old.{3} IS NOT new.{3} BEGIN {4} {5} END",
      kUpdateTrigger, kContentColumn, kMemoColumn, kMessageColumn, forgetOld, addNew));
  // It holds the text itself, so a search compares these rows without
  // reading the table, which it reads only for those that match.
  db.exec(fmt::format("CREATE INDEX IF NOT EXISTS {} ON ZINOUTCOME ({}, {}, {}) WHERE {}", kScanIndex,
                      kContentColumn, kMemoColumn, kMessageColumn, scanCondition()));
  // Rows written while any part was missing are indexed afresh, from the
  // table itself.
  if (!complete) db.exec(fmt::format("INSERT INTO {0}({0}) VALUES ('rebuild')", kTable));
}

void dropSearchIndex(SQLite::Database& db) {
  for (const char* trigger : {kInsertTrigger, kDeleteTrigger, kUpdateTrigger}) {
    db.exec(fmt::format("DROP TRIGGER IF EXISTS {}", trigger));
  }
  db.exec(fmt::format("DROP INDEX IF EXISTS {}", kScanIndex));
  db.exec(fmt::format("DROP TABLE IF EXISTS {}", kTable));
}

}  // namespace varnel::search_index
