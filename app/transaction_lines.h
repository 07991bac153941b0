// Transactions as the program prints them, one record a line, for every
// command that lists records (tx, totals --with-tx).
#pragma once

#include <map>
#include <optional>
#include <string>

#include "ledger/currency_repository.h"
#include "model/ledger.h"

namespace varnel::cli {

// One line per record: identifier, local date and time, kind, accounts,
// category, the amounts in the currencies that differ, the content, the
// instalment position and "(deleted)". Caches the currency rows it reads.
class TransactionPrinter {
 public:
  explicit TransactionPrinter(Ledger& ledger);

  std::string line(const InOutCome& r);

 private:
  std::optional<Currency> currency(const Text& uid);

  Ledger& ledger_;
  CurrencyRepository currencies_;
  std::optional<Currency> main_;
  std::map<std::string, std::optional<Currency>> rows_;
};

}  // namespace varnel::cli
