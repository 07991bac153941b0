// The options of a transaction entry, shared by `tx add`/`tx edit` and
// `repeat add`, how they fill the save's form, and how a save's outcome is
// printed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "ledger/transaction_save.h"
#include "model/ledger.h"

namespace varnel::cli {

// Marker and repeat numbers are small codes; the store's columns and the
// form's fields hold 32-bit values.
inline constexpr long long kMaxCode = 2147483647;

// The options `tx add`, `tx edit` and `repeat add` share.
struct TxOptions {
  std::string kind, account, to, category, amount, currency, mainAmount, date, content, memo, mark;
  std::string fee, feeCurrency, installments, repeat;
  std::vector<std::string> tags, photos;
  bool noFee = false, noTags = false;
  std::map<std::string, CLI::Option*> given;

  bool has(const std::string& option) const {
    auto it = given.find(option);
    return it != given.end() && it->second->count() > 0;
  }

  // `forEdit` adds --kind, --no-fee and --no-tags; `withRepeat` adds --repeat.
  void addTo(CLI::App* cmd, bool forEdit, bool withRepeat = true);
};

// income, expense or transfer as the form's mode; InputError otherwise.
int parseMode(const std::string& text);
// A repeat type by its name ("monthly", see Repeat::commandName) or code;
// "none" and "0" give 0. InputError naming `what` otherwise.
int parseRepeatType(const std::string& text, const std::string& what);
// Applies the given options to a form (for an edit the form holds the
// record). Throws InputError for a value that cannot be used.
void applyOptions(const TxOptions& o, Ledger& ledger, TransactionForm& form);

// Transactions one a line, or a JSON array of records.
void printRecords(Ledger& ledger, const std::vector<InOutCome>& records, bool json);
// A recurring template on one line: identifier, repeat type, next date,
// kind, accounts, category, amount, payee, end.
std::string repeatLine(Ledger& ledger, const RepeatTransaction& repeat);
// The saved records (with a repeat setting: the template first, then the
// entry; JSON {"repeat": …, "records": […]}), or the refusal as an
// InputError "KEY: text"; a store failure as StoreError.
void finishSave(Ledger& ledger, const TransactionSaveResult& result, bool json);

}  // namespace varnel::cli
