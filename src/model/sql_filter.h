// A WHERE clause built from conditions with their bound values, for the
// aggregate queries of the reports.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include <SQLiteCpp/SQLiteCpp.h>

namespace varnel {

// The transaction column holding an amount attribute: "amount" → ZAMOUNT,
// "amountAccount" → ZAMOUNTACCOUNT, "amountSub" (or "amount_sub") →
// ZAMOUNTSUB. Throws std::invalid_argument for any other name, so no text
// from outside ever reaches the SQL.
std::string inOutComeAmountColumn(const std::string& field);

class SqlFilter {
 public:
  using Value = std::variant<std::string, double, int64_t>;

  // Adds "(condition)" joined by AND; `values` fill its "?" in order.
  SqlFilter& where(const std::string& condition, std::vector<Value> values = {});
  // "column IN (?, ?, …)"; an empty list matches nothing.
  static std::string inList(const std::string& column, size_t count);
  SqlFilter& whereIn(const std::string& column, const std::vector<std::string>& values);

  // " WHERE …" or "" when there is no condition.
  std::string clause() const;
  // Binds the values, starting at parameter `first`; returns the next index.
  int bind(SQLite::Statement& st, int first = 1) const;

 private:
  std::vector<std::string> conditions_;
  std::vector<Value> values_;
};

}  // namespace varnel
