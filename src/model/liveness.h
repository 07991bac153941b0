// "Live" in one place, for C++ and for SQL, so a record a list shows is the
// record a total counts.
//
//  - Every record: deleted when `isDel` is 1 (isLive in model/record.h).
//  - Accounts: 1 deleted, 2 treated as deleted, 3 hidden but still counted in
//    totals and balances.
//  - Account groups: 1, 2 and 4 take the group out of the group list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/entities.h"
#include "model/record.h"

namespace varnel::live {

inline constexpr int64_t kAccountDeletedAlso = 2;
inline constexpr int64_t kAccountHidden = 3;
inline constexpr int64_t kGroupRemovedAlso = 4;

inline bool isLiveAccount(const Asset& a) {
  const int64_t code = numberOf(a.isDel);
  return code != kDeleted && code != kAccountDeletedAlso;
}
inline bool isHiddenAccount(const Asset& a) { return numberOf(a.isDel) == kAccountHidden; }
inline bool isListedGroup(const AssetGroup& g) {
  const int64_t code = numberOf(g.isDel);
  return code != kDeleted && code != kAccountDeletedAlso && code != kGroupRemovedAlso;
}

// The SQL conditions matching the predicates above, for a table alias ("t")
// or none. Each is parenthesised so it can be joined with AND.
inline std::string column(std::string_view alias) {
  return alias.empty() ? std::string("ZISDEL") : std::string(alias) + ".ZISDEL";
}
inline std::string recordSql(std::string_view alias = {}) {
  const std::string c = column(alias);
  return "(" + c + " IS NULL OR " + c + " != 1)";
}
inline std::string accountSql(std::string_view alias = {}) {
  const std::string c = column(alias);
  return "(" + c + " IS NULL OR " + c + " NOT IN (1, 2))";
}
inline std::string groupSql(std::string_view alias = {}) {
  const std::string c = column(alias);
  return "(" + c + " IS NULL OR " + c + " NOT IN (1, 2, 4))";
}

}  // namespace varnel::live
