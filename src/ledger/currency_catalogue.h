// The built-in currency catalogue: the currencies the ledger knows by ISO
// code, with their names, symbols, symbol position and decimals, read once
// from the "currency.xml" resource. Also the symbol renewals applied to
// symbols stored by older versions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// One catalogue entry.
struct AppCurrency {
  std::string iso;             // "USD"
  std::string longIso;         // "USD - US Dollar": the code, " - ", the name
  std::string symbol;          // "$"
  std::string simpleSymbol;    // short symbol shown for the main currency
  std::string locationSymbol;  // "P" before the amount, "S" after it
  int point = 0;               // decimals
};

class CalcCurrency {
 public:
  // Every entry, in resource order. Items that do not have six fields or whose
  // decimals are not a whole number from 0 to 10 are left out.
  static const std::vector<AppCurrency>& list();
  // The entry of an ISO code (exact, upper-case), or nothing.
  static std::optional<AppCurrency> currencyByIso(std::string_view iso);

  // The ISO code of the currency ICU associates with a locale ("ko_KR" gives
  // "KRW"); empty when the locale has none.
  static std::string isoForLocale(const std::string& locale);
  // The main currency of a new ledger: the first entry whose long name starts
  // with the locale's currency code and " - ", else "USD".
  static std::string defaultMainIso(const std::string& locale);

  // The current form of a symbol stored by older versions ("￥" becomes
  // "JP￥", "TL" becomes "₺" …); any other symbol comes back unchanged.
  static std::string getNewSymbol(const std::string& symbol);
};

}  // namespace varnel
