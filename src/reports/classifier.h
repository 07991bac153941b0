// Which side of the income/expense totals a transaction counts on. Balances
// count by kind alone; income and expense look at the two accounts of a
// transfer, the card group and the transfer-expense flag, and at card
// cash-book mode, so a transfer can be income, expense or neither.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

class CommonData;

// Classes of `displayDoTypeByInOutCome`.
namespace tx_class {
inline constexpr int kNotCounted = -1;
inline constexpr int kIncome = 0;
inline constexpr int kExpense = 1;
inline constexpr int kNeutral = 3;
}  // namespace tx_class

// What the classifier needs to know about an account; a missing account is
// neither a card nor flagged.
struct AccountTraits {
  bool card = false;             // in a credit-card group (type 2)
  bool transferExpense = false;  // money moved in counts as spent
};

// The fields of a transaction the classifier reads.
struct ClassifiedRow {
  std::string uid;
  int doType = 0;  // a TxKind as its number (kindOfNumber)
  std::string assetUid;
  std::string toAssetUid;
};

// The row kind of a stored `Do_Type` code; -1, counted nowhere, for a missing
// or unknown code.
int classifiedKind(std::string_view code);

// The traits of an account from the shared cache.
AccountTraits accountTraits(const CommonData& cache, const std::string& uid);

namespace transfer_marker {
inline constexpr const char* kOutcomeTrans = "#OUTCOMETRANS";  // money moved into the account
inline constexpr const char* kIncomeTrans = "#INCOMETRANS";    // money moved out of the account
inline constexpr const char* kOutcomeCard = "#OUTCOMECARD";    // payments into the card account
inline constexpr const char* kIncomeCard = "#INCOMECARD";      // kept with the filter, selects nothing
}  // namespace transfer_marker

// Transfer items split by marker into their account uids. An item holding
// none of the markers is left out.
struct TransferMarkers {
  std::vector<std::string> outTrans;
  std::vector<std::string> inTrans;
  std::vector<std::string> outCard;
  std::vector<std::string> inCard;

  // The first marker found in an item (tested in the order "#OUTCOMETRANS",
  // "#INCOMETRANS", "#OUTCOMECARD", "#INCOMECARD") is removed and the rest
  // of the item taken as the account uid.
  static TransferMarkers split(const std::vector<std::string>& items);
};

// `sumType` 0 counts by kind only; 1 is the book view; 2 the usage view
// (card purchases count when made). `cashBook` is card cash-book mode.
int displayDoTypeByInOutCome(const ClassifiedRow& row, int sumType, bool cashBook,
                             const std::function<AccountTraits(const std::string&)>& account);

}  // namespace varnel
