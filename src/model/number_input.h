// Numbers as people type them: money amounts and rates held to the range in
// which a double keeps every cent, and whole numbers held to the range their
// field allows. Every front end reads numbers through these, so a value that
// would be stored changed (rounded, overflowed, wrapped) is refused instead.
#pragma once

#include <cstdint>
#include <string_view>

namespace varnel {

// A double holds every integer below 2^53 (about 9.007e15) exactly, so an
// amount below 1e15 in size with at most 15 significant digits keeps its
// cents, and sums of many of them stay far from overflow.
inline constexpr double kMoneyLimit = 1e15;
inline constexpr int kMaxSignificantDigits = 15;
// Main-currency units per unit of another currency: wide enough for a main
// currency of tiny units against one of huge units (and the reverse), narrow
// enough that a typo like 1e308 cannot turn amounts into zero or infinity.
inline constexpr double kMinRate = 1e-12;
inline constexpr double kMaxRate = 1e12;

// Whether `value` is finite and below kMoneyLimit in size.
bool isMoneyInRange(double value);
// Whether `value` is finite and within kMinRate … kMaxRate.
bool isRateInRange(double value);

// A plain decimal number ("12.5", "-3", "1e3"): the whole text, finite, at
// most kMaxSignificantDigits significant digits (leading and trailing zeros
// do not count) and below kMoneyLimit in size. Throws InputError naming
// `what` otherwise.
double parseMoneyText(std::string_view text, std::string_view what);
// The same digits rule for a rate, which must lie within kMinRate … kMaxRate.
// Throws InputError naming `what` otherwise.
double parseRateText(std::string_view text, std::string_view what);
// A whole decimal number (optionally "-") within `min` … `max`. Throws
// InputError naming `what` ("… must be from MIN to MAX") otherwise.
int64_t parseIntegerText(std::string_view text, std::string_view what, int64_t min, int64_t max);
// A month written yyyymm (six digits, month 01 to 12) within the years
// `firstYear` … `lastYear`. Throws InputError naming `what` otherwise.
int parseYearMonthText(std::string_view text, std::string_view what, int firstYear, int lastYear);

}  // namespace varnel
