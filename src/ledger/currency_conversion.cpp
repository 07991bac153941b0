#include "ledger/currency_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include <fmt/format.h>
#include <sqlite3.h>

#include "ledger/money.h"
#include "model/store.h"

namespace varnel {

namespace {

double significant15(double value) {
  if (!std::isfinite(value)) return value;
  return std::strtod(fmt::format("{:.15g}", value).c_str(), nullptr);
}

double rateOrOne(double rate) { return isUsableRate(rate) ? rate : 1.0; }

std::string_view textArgument(sqlite3_value* value) {
  if (sqlite3_value_type(value) == SQLITE_NULL) return {};
  const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(value));
  return bytes ? std::string_view(bytes, static_cast<size_t>(sqlite3_value_bytes(value))) : std::string_view();
}

// NULL reads as 0, as a missing amount does in the record structs.
double numberArgument(sqlite3_value* value) { return sqlite3_value_double(value); }

void sqlToAccount(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (argc != 7) {
    sqlite3_result_error(context, "VNTOACCOUNT takes 7 arguments", -1);
    return;
  }
  MoneyCurrency account;
  account.uid = std::string(textArgument(argv[3]));
  account.countsAsMain = sqlite3_value_int(argv[4]) != 0;
  account.rate = numberArgument(argv[5]);
  account.decimals = sqlite3_value_int(argv[6]);
  const double value = accountAmount(std::string(textArgument(argv[0])), numberArgument(argv[1]),
                                     numberArgument(argv[2]), account);
  sqlite3_result_double(context, value);
}

void sqlMainToAccount(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (argc != 3) {
    sqlite3_result_error(context, "VNMAINTOACCOUNT takes 3 arguments", -1);
    return;
  }
  sqlite3_result_double(context, mainToAccount(numberArgument(argv[0]), numberArgument(argv[1]),
                                               sqlite3_value_int(argv[2])));
}

}  // namespace

double decimalProduct(double a, double b) { return significant15(a * b); }

double decimalQuotient(double a, double b) { return significant15(a / b); }

double roundMoney(double amount, int decimals) { return getAmountByMaximumFractionDigits(amount, decimals); }

double truncateMoney(double amount, int decimals) {
  if (!std::isfinite(amount)) return amount;
  const double scale = std::pow(10.0, std::clamp(decimals, 0, 15));
  return roundMoney(std::trunc(decimalProduct(amount, scale)) / scale, decimals);
}

bool isUsableRate(double rate) { return std::isfinite(rate) && rate > 0; }

bool isUsableRate(const Real& rate) { return rate && isUsableRate(*rate); }

double enteredToMain(double entered, double enteredRate, int mainDecimals) {
  return roundMoney(decimalProduct(entered, rateOrOne(enteredRate)), mainDecimals);
}

double mainToAccount(double main, double accountRate, int accountDecimals) {
  return roundMoney(decimalQuotient(main, rateOrOne(accountRate)), accountDecimals);
}

MoneyCurrency moneyCurrency(const Currency& row, const std::optional<Currency>& main) {
  MoneyCurrency out;
  out.uid = row.uid.value_or("");
  out.rate = row.rate.value_or(1.0);
  out.decimals = static_cast<int>(row.point.value_or(0));
  const bool isMain = row.isMainCurrency.value_or(0) == 1 || (main && main->uid == row.uid);
  out.countsAsMain = isMain || !isUsableRate(row.rate);
  return out;
}

double accountAmount(const std::string& enteredCurrencyUid, double entered, double main,
                     const MoneyCurrency& account) {
  if (!enteredCurrencyUid.empty() && enteredCurrencyUid == account.uid) return roundMoney(entered, account.decimals);
  if (account.countsAsMain) return roundMoney(main, account.decimals);
  return mainToAccount(main, account.rate, account.decimals);
}

std::optional<double> convertAtStoredRatio(double entered, double storedEntered, double storedConverted,
                                           int decimals) {
  // A stored amount of 0 says nothing about the rate: 1 KRW kept as 0.00 USD
  // would turn every later amount into 0.00 too.
  if (storedEntered == 0 || storedConverted == 0 || !std::isfinite(storedEntered) ||
      !std::isfinite(storedConverted)) {
    return std::nullopt;
  }
  return roundMoney(significant15(entered * storedConverted / storedEntered), decimals);
}

void ensureMoneyFunctions(Store& store) {
  try {
    store.prepare("SELECT VNMAINTOACCOUNT(0, 1, 0)");
    return;  // already registered on this connection
  } catch (const SQLite::Exception&) {
  }
  sqlite3* handle = store.db().getHandle();
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  int rc = sqlite3_create_function_v2(handle, "VNTOACCOUNT", 7, flags, nullptr, sqlToAccount, nullptr, nullptr,
                                      nullptr);
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_function_v2(handle, "VNMAINTOACCOUNT", 3, flags, nullptr, sqlMainToAccount, nullptr,
                                    nullptr, nullptr);
  }
  if (rc != SQLITE_OK) throw SQLite::Exception(handle, rc);
}

}  // namespace varnel
