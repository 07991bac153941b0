// Transaction kinds. The store, the interchange file, sync records and the
// desktop replies keep a kind as its decimal text (`Do_Type` "0".."8"); code
// works with TxKind and converts at those edges.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/entities.h"

namespace varnel {

enum class TxKind {
  kIncome = 0,
  kExpense = 1,          // transfer fees too
  kTransfer = 2,         // templates only (favourites, recurring): becomes 3 and 4
  kTransferOut = 3,      // the sending side, on `assetUid`
  kTransferIn = 4,       // the receiving side, on `assetUid`
  kOldAdjustment = 6,    // balance adjustment of older ledgers
  kAdjustmentUp = 7,     // balance corrected upward
  kAdjustmentDown = 8,   // balance corrected downward
};

// "0".."8".
constexpr std::string_view kindCode(TxKind kind) {
  constexpr std::string_view kCodes[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8"};
  return kCodes[static_cast<int>(kind)];
}
// The code quoted for SQL: '3'.
inline std::string kindSql(TxKind kind) { return "'" + std::string(kindCode(kind)) + "'"; }

// The kind of a stored code; nothing for an unknown or missing one.
constexpr std::optional<TxKind> kindOfCode(std::string_view code) {
  if (code.size() != 1) return std::nullopt;
  switch (code[0]) {
    case '0': return TxKind::kIncome;
    case '1': return TxKind::kExpense;
    case '2': return TxKind::kTransfer;
    case '3': return TxKind::kTransferOut;
    case '4': return TxKind::kTransferIn;
    case '6': return TxKind::kOldAdjustment;
    case '7': return TxKind::kAdjustmentUp;
    case '8': return TxKind::kAdjustmentDown;
    default: return std::nullopt;
  }
}
// The kind an int-typed kind field holds (favourites' and categories'
// `doType`, the classifier's rows); nothing for an unknown number.
constexpr std::optional<TxKind> kindOfNumber(int64_t number) {
  if (number < 0 || number > 8 || number == 5) return std::nullopt;
  return static_cast<TxKind>(number);
}
inline std::optional<TxKind> kindOf(const InOutCome& r) {
  return r.Do_Type ? kindOfCode(*r.Do_Type) : std::nullopt;
}
inline bool isKind(const InOutCome& r, TxKind kind) { return r.Do_Type && *r.Do_Type == kindCode(kind); }
inline void setKind(InOutCome& r, TxKind kind) { r.Do_Type = std::string(kindCode(kind)); }

inline bool isTransferSide(const InOutCome& r) {
  return isKind(r, TxKind::kTransferOut) || isKind(r, TxKind::kTransferIn);
}
inline bool isAdjustment(const InOutCome& r) {
  return isKind(r, TxKind::kOldAdjustment) || isKind(r, TxKind::kAdjustmentUp) ||
         isKind(r, TxKind::kAdjustmentDown);
}
// The other side of a transfer side's kind.
constexpr TxKind oppositeSide(TxKind side) {
  return side == TxKind::kTransferOut ? TxKind::kTransferIn : TxKind::kTransferOut;
}

// Totals count 0, 4 and 7 as money in, 1, 3 and 8 as money out.
constexpr bool countsAsIn(TxKind k) {
  return k == TxKind::kIncome || k == TxKind::kTransferIn || k == TxKind::kAdjustmentUp;
}
constexpr bool countsAsOut(TxKind k) {
  return k == TxKind::kExpense || k == TxKind::kTransferOut || k == TxKind::kAdjustmentDown;
}
inline constexpr const char* kInKindsSql = "('0', '4', '7')";
inline constexpr const char* kOutKindsSql = "('1', '3', '8')";

// "('0', '1')": the quoted codes of `kinds` as an SQL list.
inline std::string kindListSql(std::initializer_list<TxKind> kinds) {
  std::string out = "(";
  for (TxKind k : kinds) out += (out.size() > 1 ? ", " : "") + kindSql(k);
  return out + ")";
}
// The stored codes of `kinds`, in order, for values bound to an IN list.
inline std::vector<std::string> kindCodes(const std::vector<TxKind>& kinds) {
  std::vector<std::string> out;
  out.reserve(kinds.size());
  for (TxKind k : kinds) out.emplace_back(kindCode(k));
  return out;
}

}  // namespace varnel
