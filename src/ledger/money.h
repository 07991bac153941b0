// Money arithmetic shared by every amount the ledger stores or shows: the
// rounding of an amount to a currency's decimals and the display of an amount
// with a currency's symbol in the person's locale.
#pragma once

#include <string>

#include "model/entities.h"

namespace varnel {

// How showMoneyByCurrecy treats the sign and the symbol.
enum MoneyDisplayMode : int {
  kMoneyNormal = 0,    // "-" for negative amounts, symbol shown
  kMoneyNoMinus = 1,   // the absolute value, symbol shown
  kMoneyNoSymbol = 2,  // "-" for negative amounts, no symbol
};

// Rounds `amount` to at most `maximumFractionDigits` decimals, half away from
// zero, working on the amount's shortest decimal text rather than on its
// binary fraction: 1.005 gives 1.01 and 2.675 gives 2.68 at two decimals.
// A negative digit count counts as 0. An infinite or NaN amount or result
// gives 0, and so does a result of minus zero.
double getAmountByMaximumFractionDigits(double amount, int maximumFractionDigits);

// The amount as text for `locale` ("en_US", "de_DE"): the absolute value with
// the locale's grouping separator every three digits, exactly `point`
// decimals (half away from zero) with the locale's decimal separator; "-"
// in front of a negative amount unless `mode` is kMoneyNoMinus (no "-" for an
// amount that shows as zero); then, unless `mode` is kMoneyNoSymbol, the
// symbol: "P" puts it before the number with a space, anything else after it,
// directly, except for "руб", which is separated by a space. A row without a
// symbol shows the number alone.
std::string showMoneyByCurrecy(double money, const Currency& currency, int mode,
                               const std::string& locale);

}  // namespace varnel
