// Attribute types of ledger records and the field descriptors that map a
// record struct onto its table ("Z" + upper-case entity, "Z" + upper-case
// attribute, integer row key Z_PK).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace varnel {

// Nullable attribute values, as the store keeps them.
using Text = std::optional<std::string>;
using Int = std::optional<int64_t>;
using Real = std::optional<double>;
// A point in time as seconds since 2001-01-01 00:00:00 UTC.
using StoreDate = std::optional<double>;

enum class ColumnType {
  kText,    // VARCHAR, nullable
  kInt,     // INTEGER, nullable
  kScalar,  // INTEGER, never null (reads as 0)
  kReal,    // FLOAT, nullable
  kDate,    // TIMESTAMP: seconds since 2001, nullable
};

template <class T>
struct Field {
  using Member = std::variant<Text T::*, Int T::*, Real T::*, int64_t T::*>;

  Field(std::string attributeName, ColumnType columnType, Member memberPointer)
      : attribute(std::move(attributeName)), type(columnType), member(memberPointer) {
    column = "Z";
    for (char c : attribute) column += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }

  std::string attribute;  // "Do_Type"
  std::string column;     // "ZDO_TYPE"
  ColumnType type;
  Member member;
};

// Specialised for every record struct in entities.h.
template <class T>
struct Entity;

// Assigns a number to an attribute whatever its declared width or nullability;
// the common attributes (`utime`, `isSynced`, `isDel`) differ in type from one
// entity to another.
inline void assignNumber(Int& target, int64_t v) { target = v; }
inline void assignNumber(int64_t& target, int64_t v) { target = v; }
inline void assignNumber(Real& target, int64_t v) { target = static_cast<double>(v); }

inline int64_t numberOf(const Int& v) { return v.value_or(0); }
inline int64_t numberOf(int64_t v) { return v; }
inline int64_t numberOf(const Real& v) { return static_cast<int64_t>(v.value_or(0)); }

// Soft deletion. A record is deleted when `isDel` is 1; null, 0 and every
// other code are live, so a record stays in the store (and in sync) after it
// is deleted. Accounts and account groups use further codes, judged by the
// account rules in model/liveness.h.
inline constexpr int64_t kDeleted = 1;

// True for records that are not soft-deleted.
template <class T>
bool isLive(const T& r) {
  if constexpr (requires { r.isDel; }) {
    return numberOf(r.isDel) != kDeleted;
  } else {
    return true;
  }
}

}  // namespace varnel
