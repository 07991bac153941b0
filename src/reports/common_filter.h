// The filter that narrows the transaction lists, the calendar and the
// statistics: selected income categories, expense categories, accounts and
// transfer items. The state lives only in memory, in an object its screen
// owns; the filtered store list uses the same conditions as the filtered
// period total, so the list shows exactly the rows that total counts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/entities.h"
#include "model/ledger.h"
#include "model/tx_kind.h"
#include "reports/classifier.h"

namespace varnel {

// Markers of a transfer item, followed in the item by an account uid.
// A row of the calendar with the flags the calendar screen sets on it.
struct FilterInOut {
  InOutCome inOutCome;
  std::optional<Category> subCategory;
  bool isMoveOutCome = false;
  bool isMoveInCome = false;
  bool isCardDayPayment = false;  // a card bill payment shown on its day
  double amount = 0;
  bool isCardOutMoney = false;    // a card purchase in card cash-book mode
};

// A transfer item as a person writes it: a marker ("#OUTCOMETRANS",
// "#INCOMETRANS", "#OUTCOMECARD", "#INCOMECARD") followed by an account's
// identifier or exact name (named as resolveAccount names accounts). Returns
// the item as the filters read it, the marker followed by the account's
// identifier. Throws InputError for text that does not start with a marker
// and for an account that resolves to nothing or to several; the raw text
// is never passed on, since an item naming no account selects nothing.
std::string resolveTransferItem(const CommonData& cache, const std::string& text);

// The category identifiers a category chosen as `text` selects: a main
// category with every one of its sub-categories, deleted ones too (their
// rows stay live and the statistics count them toward the main category), a
// sub-category alone, and "-2" the uncategorised rows. Named by identifier
// (also of a deleted category, whose rows remain), else full name
// ("Parent/Child"), else name among the live categories. Throws InputError
// for "-4" (balance adjustments are neither income nor expense) and for a
// text that names nothing or several categories.
std::vector<std::string> categoryFilterUids(const CommonData& cache, const std::string& text);

// The groups of kinds the transaction screens tell apart.
enum class KindGroup {
  kIncome,      // TxKind::kIncome
  kExpense,     // TxKind::kExpense (transfer fees too)
  kTransfer,    // both sides, kTransferOut and kTransferIn
  kAdjustment,  // kAdjustmentUp, kAdjustmentDown and the older kOldAdjustment
};
// The group of a stored kind; none for the template-only kTransfer.
std::optional<KindGroup> kindGroupOf(TxKind kind);
// Whether the row is of one of `groups`; every row is when `groups` is empty.
bool isOfKinds(const InOutCome& tx, const std::vector<KindGroup>& groups);
// Whether the row's content or memo contains `text`, ignoring case and
// diacritics; every row does for an empty text.
bool containsText(const InOutCome& tx, const std::string& text);

class CommonFilter {
 public:
  explicit CommonFilter(Ledger& ledger) : ledger_(ledger) {}

  // Replaces the four selections at once.
  void setFilter(std::vector<std::string> incomeCategories,
                 std::vector<std::string> expenseCategories, std::vector<std::string> accounts,
                 std::vector<std::string> transferItems);
  // True when any selection is non-empty.
  bool isFilter() const;
  // Empties every selection; the category-tab flag is left as it is.
  void removeFilter();

  const std::vector<std::string>& incomeCategories() const { return incomeCategories_; }
  const std::vector<std::string>& expenseCategories() const { return expenseCategories_; }
  const std::vector<std::string>& accounts() const { return accounts_; }
  const std::vector<std::string>& transferItems() const { return transferItems_; }
  // Whether the filter was set from the category tab.
  bool isCategoryTab() const { return categoryTab_; }
  void setCategoryTab(bool fromCategoryTab) { categoryTab_ = fromCategoryTab; }

  // The rows of `txs` that pass the filter, in their order. First the kind
  // rules, any of which admits a row: a selected expense category on an
  // expense row (1), a selected income category on an income row (0), a
  // transfer-out row (3) into a "#OUTCOMETRANS" or "#OUTCOMECARD" account or
  // out of an "#INCOMETRANS" account. Then the account rules: a row booked on
  // a selected account or moving money to one. Each stage narrows only when
  // it has at least one rule.
  std::vector<InOutCome> getArrayInOutFilter(const std::vector<InOutCome>& txs) const;

  // The same selection over calendar rows, in the same two stages and with
  // the same transfer-item rules. The account rule admits rows booked on a
  // selected account and transfer-out rows (3) into it. In card cash-book
  // mode an expense-category rule skips rows marked `isCardOutMoney`, and a
  // selected credit-card account admits transfers into it only when they are
  // marked `isCardDayPayment`.
  std::vector<FilterInOut> getArrayInOutFilterForCalendar(const std::vector<FilterInOut>& rows) const;

  // The live rows from the store that the filtered period total counts:
  // kinds 0, 1 and 3 dated in [start, end + 1 day), matching the accounts,
  // the categories and the transfer items exactly as that total does. Ordered
  // by date, then by insertion.
  std::vector<InOutCome> txListByFilter(std::optional<double> start, std::optional<double> end,
                                        const std::vector<std::string>& accounts,
                                        const std::vector<std::string>& categories,
                                        const std::vector<std::string>& transferItems) const;

 private:
  Ledger& ledger_;
  std::vector<std::string> incomeCategories_;
  std::vector<std::string> expenseCategories_;
  std::vector<std::string> accounts_;
  std::vector<std::string> transferItems_;
  bool categoryTab_ = false;
};

}  // namespace varnel
