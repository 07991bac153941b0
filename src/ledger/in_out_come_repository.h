// Transactions (`InOutCome` records): the reads, the stamped and batch saves,
// deletion (both sides of a transfer), a transfer's receiving side and fee,
// the bulk edits of a selection, and the conversion into an account's currency.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/base_repository.h"
#include "model/tx_kind.h"

namespace varnel {

// Transaction kinds (`Do_Type`) as stored, for the save path until it works
// with TxKind (model/tx_kind.h), which new code uses.
// Pseudo-categories that name no Category record.
inline constexpr const char* kUncategorisedUid = "-2";
inline constexpr const char* kBalanceAdjustmentUid = "-4";

// What the optional filter of forEachInOutCome selects.
struct InOutComeFilter {
  std::optional<double> startDate;  // `Date` >= start (store seconds)
  std::optional<double> endDate;    // `Date` < end
  std::optional<std::string> assetUid;
  // Text the content or the memo contains, case and accents ignored.
  std::string text;
  bool includeDeleted = false;
};

// The records a bulk edit changed (the selection, the other sides of its
// transfers and their fees, in that order), or the failure when nothing was
// written.
struct BulkEditResult {
  Status status = Status::storeFailure("nothing was written");
  std::vector<InOutCome> changed;
  bool ok() const { return status.isOk(); }
};

class InOutComeRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // --- Reads -----------------------------------------------------------------
  // Reads named "live" leave out records whose `isDel` is 1.

  // The record with this identifier, deleted or not; none for "" and "0".
  std::optional<InOutCome> inOutComeByUid(const std::string& uid);
  // The live transfer side `side` (kTransferOut or kTransferIn) carrying the
  // transfer link; none for an empty link or "0".
  std::optional<InOutCome> inOutComeWithTxUidTransDoType(const std::string& txUidTrans, TxKind side);
  // The live other side of a transfer side ("3" ↔ "4"); none for any other
  // kind or when that side is missing.
  std::optional<InOutCome> oppositeOfTransfer(const InOutCome& side);
  // The live fee (kind "1") sharing the transaction's `txUidFee`; none when
  // the link is empty or "0".
  std::optional<InOutCome> feeWithInOutCome(const InOutCome& tx);
  // Among live transfers out ("3") from `assetUid` to `toAssetUid` other
  // than `uid` that have a fee link, newest `Date` first, the live fee of
  // the first one that has one.
  std::optional<InOutCome> feeLastMoveOutWithAssetUidToAssetUid(const std::string& uid,
                                                                const std::string& assetUid,
                                                                const std::string& toAssetUid);
  // Live records of an account / of a category / of an instalment series
  // (none for "" and "0"), by `Date`.
  std::vector<InOutCome> inOutComeByAssetUid(const std::string& assetUid);
  std::vector<InOutCome> inOutComeWithCategoryUid(const std::string& categoryUid);
  std::vector<InOutCome> getInOutComeByCardDivideUid(const std::string& cardDivideUid);
  // Live records of an account with start <= `Date` < end, by `Date`.
  std::vector<InOutCome> listInOutComeByAssetDate(const std::string& assetUid, double startDate,
                                                  double endDate);
  // Live records parsed from exactly this message text.
  std::vector<InOutCome> getInOutComeBySmsOringine(const std::string& smsOrigine);
  // Hands each record the filter selects to `visit`, by `Date` then row key,
  // without holding the result in memory. Throws StoreError when the read
  // fails (logged).
  void forEachInOutCome(const InOutComeFilter& filter, const std::function<void(const InOutCome&)>& visit);

  // --- Saving ----------------------------------------------------------------

  // Saves the record; with `isSync` it is stamped (`utime` now, `isSynced`
  // 1), and keeps its old stamp when the save fails. Logs
  // "updateInOutCome fail <error>" and returns the failure.
  Status updateInOutCome(InOutCome& record, bool isSync = true);
  // Stamps a batch so that its records get distinct `utime` values that
  // increase in list order (now, then one millisecond more for each record
  // that would not otherwise be later), and saves it in one transaction.
  // On failure nothing is saved and the records keep their old stamps.
  Status updateInOutComeList(std::vector<InOutCome>& records);
  // Deletes a transaction: see deleteWithArray.
  Status deleteWithInOutCome(const InOutCome& record);
  // Soft-deletes each record (`isDel` 1, stamped) with its photos; a
  // transfer side takes its other side with it. A transfer's fee stays. One
  // transaction. Returns the records deleted, or the failure (nothing is
  // then deleted).
  Result<std::vector<InOutCome>> deleteWithArray(const std::vector<InOutCome>& records);

  // --- Bulk edits --------------------------------------------------------------
  // Each applies to a selection of records (re-read by `uid`, so that a stale
  // copy never undoes a newer change; a record named twice counts once) and
  // writes everything it changed with updateInOutComeList, in one transaction. A transfer side keeps its
  // other side in step (accounts, date, content) and a transfer's fee follows
  // its sending account. Throw InputError, before anything is written, for a
  // deleted record in the selection or a change that would make a transfer
  // go from an account to itself.

  // Moves the records to `asset`, recomputing `amountAccount`. A fee moved
  // away from its transfer's sending account stops being that fee.
  BulkEditResult updateAssetArrayData(const std::vector<InOutCome>& records, const Asset& asset);
  // Gives the records `category` and its kind. A transfer becomes an income
  // or expense: its "4" side is deleted (when a "4" is chosen, its "3" side
  // takes the category). Throws InputError for a pseudo-category.
  BulkEditResult updateCategoryArrayData(const std::vector<InOutCome>& records, const Category& category);
  // Makes each record the sending side of a transfer from `first` to
  // `second`, with a receiving side (found or new).
  BulkEditResult updateTransferInOutComeArray(const std::vector<InOutCome>& records, const Asset& first,
                                              const Asset& second);
  // Gives the records (and the other sides and fees of their transfers) a new date.
  BulkEditResult updateDateInOutComeArray(const std::vector<InOutCome>& records, double newDate);
  // Gives the records (and the other sides of their transfers) a new content.
  BulkEditResult updateContentInOutComeArray(const std::vector<InOutCome>& records,
                                             const std::string& newContent);

  // --- Amounts -----------------------------------------------------------------
  // The `amountAccount` a save gives a record booked on `account`: the
  // entered amount when entered in the account's currency; `amount` when the
  // account is in the main currency; for an edit whose account and currency
  // are those of `loaded`, the entered amount at the ratio the record was
  // stored with (`amountAccount` ÷ `amountSub`, convertAtStoredRatio), unless
  // either is 0; else `amount` ÷ the account currency's rate. Rounded to the
  // account currency (ledger/currency_conversion.h does every step).
  double amountAccountForSave(double enteredAmount, double amount, const std::string& enteredCurrencyUid,
                              const Asset& account, const std::optional<InOutCome>& loaded);

  // --- Conversion into an account's currency --------------------------------
  // The record's amount in the account's currency, rounded to its decimals:
  // `amountSub` when the record is in the account's currency, else `amount`
  // when the account is in the main currency, else `amount` ÷ the account
  // currency's rate. An account whose currency row cannot be found counts as
  // being in the main currency.
  double getAmountAccount(const InOutCome& record, const Asset& asset);

  // Recomputes `amountAccount` of every live record of the account for its
  // new currency (same three rules, rounded to the new currency's decimals)
  // and stamps them, in one statement. Returns the failure when the
  // currency has no usable rate or the store refused (logged
  // "updateInOutCome fail …"); nothing is changed then.
  Status updateInOutComeAmountAccountByCurrnecy(const Asset& asset, const Currency& currency);

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
