#include "model/sql_filter.h"

#include <stdexcept>

namespace varnel {

std::string inOutComeAmountColumn(const std::string& field) {
  if (field == "amount") return "ZAMOUNT";
  if (field == "amountAccount") return "ZAMOUNTACCOUNT";
  if (field == "amount_sub" || field == "amountSub") return "ZAMOUNTSUB";
  throw std::invalid_argument("unknown amount field: " + field);
}

SqlFilter& SqlFilter::where(const std::string& condition, std::vector<Value> values) {
  conditions_.push_back("(" + condition + ")");
  for (auto& v : values) values_.push_back(std::move(v));
  return *this;
}

std::string SqlFilter::inList(const std::string& column, size_t count) {
  if (count == 0) return "0";
  std::string s = column + " IN (?";
  for (size_t i = 1; i < count; ++i) s += ", ?";
  return s + ")";
}

SqlFilter& SqlFilter::whereIn(const std::string& column, const std::vector<std::string>& values) {
  return where(inList(column, values.size()), std::vector<Value>(values.begin(), values.end()));
}

std::string SqlFilter::clause() const {
  if (conditions_.empty()) return "";
  std::string s = " WHERE " + conditions_.front();
  for (size_t i = 1; i < conditions_.size(); ++i) s += " AND " + conditions_[i];
  return s;
}

int SqlFilter::bind(SQLite::Statement& st, int first) const {
  for (const auto& v : values_) {
    std::visit([&](const auto& x) { st.bind(first++, x); }, v);
  }
  return first;
}

}  // namespace varnel
