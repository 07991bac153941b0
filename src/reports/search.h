// Transaction search: the store query that narrows transactions by period,
// accounts, categories and an amount range, and the text match over the
// content, the memo and, when the ledger shows it, the full message text.
// Both run in the store. A text of three characters or more is looked up in
// the trigram index (model/search_index.h) instead of being compared with
// every row; shorter texts are compared row by row.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/entities.h"
#include "model/ledger.h"

namespace varnel {

// What the store query narrows by; every part may be absent or empty.
struct SearchCriteria {
  // Calendar days on the store's time scale: rows from the local midnight
  // that begins the start's day through the whole day of the end.
  std::optional<double> startDate;
  std::optional<double> endDate;
  // Account identifiers: rows booked on one, and transfers into one.
  std::vector<std::string> accounts;
  // Category identifiers: income and expense rows only. While sub-categories
  // are switched off (setting "use_sub_category"), a main category also
  // stands for each of its sub-categories, deleted ones too.
  std::vector<std::string> categories;
  // Bounds on `amount`, the value in the main currency, both included.
  std::optional<double> minMoney;
  std::optional<double> maxMoney;
};

class TransactionSearch {
 public:
  explicit TransactionSearch(Ledger& ledger) : ledger_(ledger) {}

  // The live transactions that match every criterion given, with each
  // transfer once, by its sending side (receiving sides are never returned,
  // while a transfer into a chosen account is found by its sending side). By
  // `Date`, then `utime`, then row key. Throws StoreError when the store
  // cannot be read.
  std::vector<InOutCome> getListByDateNotMoveIn(const SearchCriteria& criteria);

  // The transactions of getListByDateNotMoveIn whose content or memo
  // contains `text`, or whose full message text does while the setting
  // "show the full message text" (kind -12649) is 1; case and diacritics are
  // ignored (foldForSearch). `text` is trimmed of white space first, and a
  // blank text keeps every transaction. Newest first: by `Date`, then
  // `utime`, then row key, each descending. Throws StoreError when the store
  // cannot be read.
  std::vector<InOutCome> search(const std::string& text, const SearchCriteria& criteria);

 private:
  Ledger& ledger_;
};

}  // namespace varnel
