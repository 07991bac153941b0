// Conversion of money between the three currencies a record keeps its amount
// in: the entered currency (`amountSub`), the main currency (`amount`) and the
// account's currency (`amountAccount`). Every path that stores or previews a
// converted amount calls these functions, queries through the SQL functions
// registered here, so the same input always stores the same cents.
//
// Rates are main-currency units per one unit of a row's currency. A product or
// quotient is first cut to 15 significant digits, so that a result that is a
// decimal half (2.675 × 1300 = 3477.5) stays one instead of landing just below
// it, and is then rounded once by getAmountByMaximumFractionDigits (half away
// from zero on the shortest decimal text).
#pragma once

#include <optional>
#include <string>

#include "model/entities.h"

namespace varnel {

class Store;

// a × b and a ÷ b with the binary noise of the operation removed (kept to 15
// significant digits). Infinite and NaN results pass through.
double decimalProduct(double a, double b);
double decimalQuotient(double a, double b);

// The one rounding of stored money: to `decimals` decimals (see
// getAmountByMaximumFractionDigits in ledger/money.h).
double roundMoney(double amount, int decimals);

// `amount` cut towards zero to `decimals` decimals, its binary noise removed
// first (so 150.75 stays 150.75 and is not cut to 150.74).
double truncateMoney(double amount, int decimals);

// A rate that converts anything: finite and above zero.
bool isUsableRate(double rate);
bool isUsableRate(const Real& rate);

// Entered → main: `entered` × the entered currency's rate, rounded to the main
// currency's decimals. A rate that is not usable counts as 1, as a row
// without a rate counts as the main currency everywhere else.
double enteredToMain(double entered, double enteredRate, int mainDecimals);

// Main → account: `main` ÷ the account currency's rate, rounded to the
// account currency's decimals. A rate that is not usable counts as 1.
double mainToAccount(double main, double accountRate, int accountDecimals);

// A currency row as the conversions see it.
struct MoneyCurrency {
  std::string uid;           // the row's identifier
  double rate = 1;           // main-currency units per unit
  int decimals = 0;          // the row's `point`
  bool countsAsMain = true;  // the main row, or a row without a usable rate
};

// `row` as the conversions see it; `main` is the ledger's main row, if any.
MoneyCurrency moneyCurrency(const Currency& row, const std::optional<Currency>& main);

// The amount a record keeps in an account's currency: its entered amount when
// it was entered in that currency, its main amount when the account counts as
// being in the main currency, else mainToAccount. Rounded to the account
// currency's decimals in every case.
double accountAmount(const std::string& enteredCurrencyUid, double entered, double main,
                     const MoneyCurrency& account);

// The historical-ratio rule for edits: a record whose entered amount changes
// (same currency, same account) keeps the rate of the day it was made, read
// back from its stored amounts. Returns `entered` × storedConverted ÷
// storedEntered rounded to `decimals`, or nothing when the stored amounts
// carry no ratio (either is 0, for instance a main amount that rounded to
// nothing, or not finite): the caller then converts at today's rate.
std::optional<double> convertAtStoredRatio(double entered, double storedEntered, double storedConverted,
                                           int decimals);

// Makes the conversions available inside queries on the store's connection,
// computed by the functions above (so a preview equals what a save stores):
//   VNTOACCOUNT(enteredCurrencyUid, entered, main, accountUid, accountCountsAsMain,
//               accountRate, accountDecimals)  = accountAmount(…)
//   VNMAINTOACCOUNT(main, accountRate, accountDecimals) = mainToAccount(…)
// A NULL amount counts as 0 and a NULL identifier as none. Cheap after the
// first call on a connection; throws SQLite::Exception when SQLite refuses.
void ensureMoneyFunctions(Store& store);

}  // namespace varnel
