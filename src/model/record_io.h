// Moving record structs in and out of SQLite statements by their field lists.
#pragma once

#include <string>

#include <SQLiteCpp/SQLiteCpp.h>

#include "model/entities.h"

namespace varnel::record_io {

// "Z_PK, ZUID, ZDATE, …" for the entity's table.
template <class T>
const std::string& columnList() {
  static const std::string kList = [] {
    std::string s = "Z_PK";
    for (const auto& f : Entity<T>::fields()) s += ", " + f.column;
    return s;
  }();
  return kList;
}

// "SELECT <columns> FROM <table>"; callers append WHERE / ORDER BY.
template <class T>
const std::string& selectSql() {
  static const std::string kSql = "SELECT " + columnList<T>() + " FROM " + Entity<T>::table();
  return kSql;
}

template <class T>
const std::string& insertSql() {
  static const std::string kSql = [] {
    std::string cols, marks;
    for (const auto& f : Entity<T>::fields()) {
      cols += (cols.empty() ? "" : ", ") + f.column;
      marks += marks.empty() ? "?" : ", ?";
    }
    return "INSERT INTO " + Entity<T>::table() + " (" + cols + ") VALUES (" + marks + ")";
  }();
  return kSql;
}

template <class T>
const std::string& updateSql() {
  static const std::string kSql = [] {
    std::string sets;
    for (const auto& f : Entity<T>::fields()) sets += (sets.empty() ? "" : ", ") + f.column + " = ?";
    return "UPDATE " + Entity<T>::table() + " SET " + sets + " WHERE Z_PK = ?";
  }();
  return kSql;
}

// Binds every field of `record` to parameters 1..n; returns n.
template <class T>
int bindFields(SQLite::Statement& st, const T& record) {
  int i = 0;
  for (const auto& f : Entity<T>::fields()) {
    ++i;
    std::visit(
        [&](auto member) {
          const auto& value = record.*member;
          using V = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<V, int64_t>) {
            st.bind(i, value);
          } else if (!value) {
            st.bind(i);
          } else {
            st.bind(i, *value);
          }
        },
        f.member);
  }
  return i;
}

// Reads a row laid out as columnList<T>() starting at column 0.
template <class T>
T readRecord(SQLite::Statement& st) {
  T record;
  record.pk = st.getColumn(0).getInt64();
  int i = 0;
  for (const auto& f : Entity<T>::fields()) {
    ++i;
    const SQLite::Column column = st.getColumn(i);
    std::visit(
        [&](auto member) {
          auto& value = record.*member;
          using V = std::decay_t<decltype(value)>;
          if constexpr (std::is_same_v<V, int64_t>) {
            value = column.getInt64();
          } else if (column.isNull()) {
            value.reset();
          } else if constexpr (std::is_same_v<V, Text>) {
            value = column.getString();
          } else if constexpr (std::is_same_v<V, Int>) {
            value = column.getInt64();
          } else {
            value = column.getDouble();
          }
        },
        f.member);
  }
  return record;
}

}  // namespace varnel::record_io
