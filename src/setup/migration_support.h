// Small pieces the data migrations and their repairs share: running a
// statement with its arguments, reading nullable columns, and running a
// repair in one store transaction with its count. Not for other folders.
#pragma once

#include <string>
#include <string_view>

#include <spdlog/spdlog.h>

#include "model/base_repository.h"
#include "model/store.h"

namespace varnel::migration_detail {

inline void bindArgument(Store::Statement& st, int index, const Text& value) {
  if (value) {
    st.bind(index, *value);
  } else {
    st.bind(index);
  }
}
template <class T>
void bindArgument(Store::Statement& st, int index, const T& value) {
  st.bind(index, value);
}

// Runs one write statement with its arguments bound in order; the number of
// rows it changed. Throws SQLite::Exception (the enclosing transaction then
// rolls back and reports it).
template <class... Args>
int execute(Store& store, const std::string& sql, const Args&... args) {
  auto st = store.prepare(sql);
  int i = 0;
  (bindArgument(st, ++i, args), ...);
  return st.exec();
}

inline Text textAt(Store::Statement& st, int column) {
  if (st.isColumnNull(column)) return std::nullopt;
  return st.getColumn(column).getString();
}
inline double realAt(Store::Statement& st, int column) {
  return st.isColumnNull(column) ? 0.0 : st.getColumn(column).getDouble();
}

// A link by identifier that can name a record: not missing, "" or "0".
inline bool hasIdentifier(const Text& link) { return link && !link->empty() && *link != "0"; }

// SQL: the column holds no identifier.
inline std::string noIdentifierSql(const std::string& column) {
  return "(" + column + " IS NULL OR " + column + " IN ('', '0'))";
}

inline bool endsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Runs `body(changed)` in one store transaction (a savepoint inside an
// enclosing one) and returns the count it left in `changed`, or the failure
// with nothing changed. Logs the count under `operation` when there was one.
template <class Body>
Result<int> repairInTransaction(Ledger& ledger, const char* operation, Body&& body) {
  int changed = 0;
  BaseRepository repo(ledger);
  Status done = repo.inTransaction([&]() -> Status {
    changed = 0;
    return body(changed);
  }, operation);
  if (!done) return done;
  if (changed > 0) ledger.log().info("{}: {} records", operation, changed);
  return changed;
}

}  // namespace varnel::migration_detail
