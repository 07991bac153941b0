#include "ledger/money.h"

#include <charconv>
#include <cmath>
#include <map>
#include <utility>

#include <unicode/locid.h>
#include <unicode/numberformatter.h>
#include <unicode/unistr.h>

namespace varnel {

namespace {

namespace number = icu::number;

// ICU keeps fraction digit counts below 1000; a double never needs more
// than a few hundred.
constexpr int kMaxDigits = 350;

int clampDigits(int digits) { return digits < 0 ? 0 : (digits > kMaxDigits ? kMaxDigits : digits); }

// Formatters are costly to build and the same few are used again and again.
// One cache per thread: ICU formatters are not meant to be shared for
// writing, and the ledger's work runs on one thread anyway.
const number::LocalizedNumberFormatter& roundingFormatter(int digits) {
  thread_local std::map<int, number::LocalizedNumberFormatter> cache;
  auto it = cache.find(digits);
  if (it == cache.end()) {
    // The root locale writes "." and ASCII digits, which from_chars reads back.
    auto formatter = number::NumberFormatter::withLocale(icu::Locale::getRoot())
                         .precision(number::Precision::maxFraction(digits))
                         .roundingMode(UNUM_ROUND_HALFUP)
                         .grouping(UNUM_GROUPING_OFF);
    it = cache.emplace(digits, std::move(formatter)).first;
  }
  return it->second;
}

const number::LocalizedNumberFormatter& displayFormatter(const std::string& locale, int point) {
  thread_local std::map<std::pair<std::string, int>, number::LocalizedNumberFormatter> cache;
  auto key = std::make_pair(locale, point);
  auto it = cache.find(key);
  if (it == cache.end()) {
    // Groups of three whatever the locale's own grouping habit (lakh
    // grouping, no separator below 10,000), with the locale's symbols.
    auto formatter = number::NumberFormatter::withLocale(icu::Locale(locale.c_str()))
                         .precision(number::Precision::fixedFraction(point))
                         .roundingMode(UNUM_ROUND_HALFUP)
                         .grouping(UNUM_GROUPING_THOUSANDS)
                         .sign(UNUM_SIGN_NEVER);
    it = cache.emplace(std::move(key), std::move(formatter)).first;
  }
  return it->second;
}

}  // namespace

double getAmountByMaximumFractionDigits(double amount, int maximumFractionDigits) {
  if (!std::isfinite(amount)) return 0;
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString text =
      roundingFormatter(clampDigits(maximumFractionDigits)).formatDouble(amount, status).toString(status);
  if (U_FAILURE(status)) return 0;
  std::string ascii;
  text.toUTF8String(ascii);
  double value = 0;
  auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ec != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value)) return 0;
  return value == 0 ? 0.0 : value;  // never minus zero
}

std::string showMoneyByCurrecy(double money, const Currency& currency, int mode,
                               const std::string& locale) {
  if (!std::isfinite(money)) money = 0;
  const int point = clampDigits(static_cast<int>(currency.point.value_or(0)));
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString formatted =
      displayFormatter(locale, point).formatDouble(std::fabs(money), status).toString(status);
  std::string number;
  if (U_FAILURE(status)) {
    number = "0";
  } else {
    formatted.toUTF8String(number);
  }
  // An amount that rounds to zero shows no sign: "-0.00" would mislead.
  const bool negative = money < 0 && getAmountByMaximumFractionDigits(money, point) != 0;
  if (negative && mode != kMoneyNoMinus) number = "-" + number;
  if (mode == kMoneyNoSymbol) return number;
  const std::string symbol = currency.symbol.value_or("");
  if (symbol.empty()) return number;
  if (currency.symbolPosition.value_or("") == "P") return symbol + " " + number;
  if (symbol == "руб") return number + " " + symbol;
  return number + symbol;
}

}  // namespace varnel
