#include "model/number_input.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "model/errors.h"

namespace varnel {

namespace {

// The significant digits of the decimal text `text` (already known to parse):
// the digits before any exponent, without the leading and trailing zeros.
int significantDigits(std::string_view text) {
  const size_t exponent = text.find_first_of("eE");
  std::string digits;
  for (char c : text.substr(0, exponent)) {
    if (c >= '0' && c <= '9') digits += c;
  }
  const size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return 0;
  const size_t last = digits.find_last_not_of('0');
  return static_cast<int>(last - first + 1);
}

// The whole of `text` as a finite double; none for anything else (from_chars
// also reads "inf" and "nan", which no amount is).
std::optional<double> parseDecimal(std::string_view text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  for (char c : text) {
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' ||
          c == 'E')) {
      return std::nullopt;
    }
  }
  return value;
}

}  // namespace

bool isMoneyInRange(double value) { return std::isfinite(value) && std::fabs(value) < kMoneyLimit; }

bool isRateInRange(double value) { return std::isfinite(value) && value >= kMinRate && value <= kMaxRate; }

double parseMoneyText(std::string_view text, std::string_view what) {
  const auto value = parseDecimal(text);
  if (!value) throw InputError(fmt::format("{} must be a number: '{}'", what, text));
  if (significantDigits(text) > kMaxSignificantDigits || !isMoneyInRange(*value)) {
    throw InputError(fmt::format("{} must have at most {} significant digits and be less than 1e15 in size: '{}'",
                                 what, kMaxSignificantDigits, text));
  }
  return *value;
}

double parseRateText(std::string_view text, std::string_view what) {
  const auto value = parseDecimal(text);
  if (!value || *value <= 0) throw InputError(fmt::format("{} must be a positive number: '{}'", what, text));
  if (significantDigits(text) > kMaxSignificantDigits || !isRateInRange(*value)) {
    throw InputError(fmt::format("{} must have at most {} significant digits and lie from 1e-12 to 1e12: '{}'",
                                 what, kMaxSignificantDigits, text));
  }
  return *value;
}

int64_t parseIntegerText(std::string_view text, std::string_view what, int64_t min, int64_t max) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ptr != end || (ec != std::errc() && ec != std::errc::result_out_of_range)) {
    throw InputError(fmt::format("{} must be a whole number: '{}'", what, text));
  }
  if (ec == std::errc::result_out_of_range || value < min || value > max) {
    throw InputError(fmt::format("{} must be from {} to {}: '{}'", what, min, max, text));
  }
  return value;
}

int parseYearMonthText(std::string_view text, std::string_view what, int firstYear, int lastYear) {
  const int64_t value = parseIntegerText(text, what, int64_t{firstYear} * 100 + 1, int64_t{lastYear} * 100 + 12);
  if (text.size() != 6 || value % 100 < 1 || value % 100 > 12) {
    throw InputError(fmt::format("{} must be a month written yyyymm: '{}'", what, text));
  }
  return static_cast<int>(value);
}

}  // namespace varnel
