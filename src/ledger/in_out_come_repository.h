// Transactions (`InOutCome` records). For now this holds the conversion of
// transaction amounts into an account's currency: a single record's amount,
// the recomputation when an account changes currency, and the balance an
// account would show in another currency. Sums are aggregate SQL; the bulk
// recomputation runs in one store transaction.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/base_repository.h"

namespace varnel {

// Transaction kinds (`Do_Type`) as stored.
namespace do_type {
inline constexpr const char* kIncome = "0";
inline constexpr const char* kExpense = "1";
inline constexpr const char* kTransferOut = "3";
inline constexpr const char* kTransferIn = "4";
inline constexpr const char* kOldAdjustment = "6";
inline constexpr const char* kAdjustmentUp = "7";
inline constexpr const char* kAdjustmentDown = "8";
}  // namespace do_type

// Pseudo-categories that name no Category record.
inline constexpr const char* kUncategorisedUid = "-2";
inline constexpr const char* kBalanceAdjustmentUid = "-4";

class InOutComeRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // --- Conversion into an account's currency --------------------------------
  // The record's amount in the account's currency, rounded to its decimals:
  // `amountSub` when the record is in the account's currency, else `amount`
  // when the account is in the main currency, else `amount` ÷ the account
  // currency's rate. An account whose currency row cannot be found counts as
  // being in the main currency.
  double getAmountAccount(const InOutCome& record, const Asset& asset);

  // Recomputes `amountAccount` of every live record of the account for its
  // new currency (same three rules, rounded to the new currency's decimals)
  // and stamps them, in one transaction. Returns false when the currency has
  // no usable rate or the store refused (logged "updateInOutCome fail …");
  // nothing is changed then.
  bool updateInOutComeAmountAccountByCurrnecy(const Asset& asset, const Currency& currency);

  // The balance the account and the cards it pays would show in
  // `newCurrency`: kinds "0", "4", "7" add, every other kind subtracts. With
  // `newCurrency` the same row as `orgCurrency` the stored `amountAccount`
  // values are summed as they are.
  double getInOutComeAmountAccountByCurrnecy(const Asset& asset, const Currency& orgCurrency,
                                             const Currency& newCurrency);

  // The balance of one account from its live records: the stored
  // `amountAccount` values, or, with `inCurrency`, the amounts converted by
  // the rules above; kinds "0", "4", "7" add, every other kind subtracts.
  double getAmountAccountBalance(const std::string& assetUid,
                                 const std::optional<Currency>& inCurrency = std::nullopt);

 private:
  double sumForAssets(const std::vector<std::string>& assetUids, const std::optional<Currency>& inCurrency);
};

}  // namespace varnel
