// Accounts (`Asset`) and account groups (`AssetGroup`): lookups and lists,
// saving an account from the account screen with its balance correction and
// currency change, hiding and deleting accounts, adding groups and keeping
// their order. Every change reloads the account caches of CommonData.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/base_repository.h"
#include "model/liveness.h"
#include "model/tx_kind.h"

namespace varnel {

// Account `isDel` codes the account screen writes (the rules that read them
// are in model/liveness.h).
inline constexpr int64_t kAssetLive = 0;
inline constexpr int64_t kAssetDeleted = kDeleted;
inline constexpr int64_t kAssetHidden = live::kAccountHidden;

// `card_usage_hurdle_type` values: the usage of one month, or of three
// months against three times the target (the card code reads 0 and 1 as
// monthly and anything else as three months).
inline constexpr int64_t kCardUsageMonthly = 0;
inline constexpr int64_t kCardUsageThreeMonths = 2;

// How a balance correction is recorded.
enum class BalanceRecording {
  kCorrection,     // kinds "7"/"8", category "-4"
  kIncomeExpense,  // kinds "0"/"1" in the correction category
};

// The account screen's fields and the person's answers, for one save.
struct AssetForm {
  std::string uid;             // the account being edited; empty for a new one
  std::string name;            // `NicName`
  std::string groupUid;
  std::string currency;        // ISO code or currency row `uid`; empty: main (new) / unchanged (edit)
  std::string memo;
  std::string cardAssetUid;    // paying account of a card; empty for none
  std::string settlementDay = "1";  // `Card_DayFin`
  std::string paymentDay = "1";     // `Card_DayPay`
  bool autoPay = false;        // only credit cards pay automatically
  bool hidden = false;
  bool countedInTotals = true;
  bool transferExpense = false;
  std::string smsString;
  double balance = 0;              // as entered
  double balanceBeforeEdit = 0;    // the account's balance when the screen opened (0 for new)
  bool confirmCurrencyChange = false;
  BalanceRecording recordCorrectionAs = BalanceRecording::kCorrection;
  // A card's usage target (cards only): `card_usage_hurdle_type`,
  // kCardUsageMonthly or kCardUsageThreeMonths, and
  // `card_usage_hurdle_amount`, whole units of the card's currency, 0 asking
  // for nothing. None keeps what the account has; a new Korean card starts
  // with 300000 a month.
  std::optional<int64_t> usageTargetType;
  std::optional<int64_t> usageTargetAmount;
};

// The outcome of saving an account: the saved account (and the correction
// record when one was made), or the key of the message that stopped the save.
struct AssetSaveResult {
  std::optional<Asset> asset;
  std::optional<InOutCome> correction;
  std::optional<std::string> refusal;  // "popup_message7", "config_debit_card_currency_change",
                                       // "config_asset_currency_change"
  // Why the save failed in the store (the refusal above is not a failure).
  Status status;
  bool ok() const { return status.isOk() && asset.has_value(); }
};

class AssetRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // --- Accounts --------------------------------------------------------------
  // By `uid`, deleted ones included; none for "" and "0".
  std::optional<Asset> assetByUid(const std::string& uid);
  // By `uid`, unless deleted (`isDel` 1 or 2).
  std::optional<Asset> assetByUidNotDelete(const std::string& uid);
  // Every account when `isAll`, else those not deleted; by `Order`.
  std::vector<Asset> getAssetList(bool isAll);
  // The accounts of a group (by `Order`); empty for "" and "0".
  std::vector<Asset> assetListByGroupUid(const std::string& groupUid, bool isAll);
  // The live accounts of every live group, group by group in group order.
  std::vector<Asset> assetListNotDelete();
  // Live accounts of the live groups whose type is in `types`.
  std::vector<Asset> assetListWithAssetGroupType(const std::vector<int64_t>& types);
  std::vector<Asset> cardAssetList() { return assetListWithAssetGroupType({kCreditCardGroupType}); }
  // Live accounts whose transfers in count as expense.
  std::vector<Asset> getAssetTransferExpenseList();

  // Saves; with `isSync` the record is stamped too (only when the save
  // succeeds). Logs "updateAsset fail <error>".
  Status updateAsset(Asset& asset, bool isSync = true);
  // The same for a list, in one transaction; nothing for an empty list.
  Status updateAssetList(std::vector<Asset>& assets, bool isSync);

  // Saves an account as the account screen does (name check, debit-card
  // currency rule, confirmation of a currency change, conversion of the
  // account's and its cards' transactions, balance correction), all writes in
  // one transaction. A refusal leaves everything as it was. Throws InputError
  // for values the screen would not offer (unknown group, currency or paying
  // account, a deleted account, days outside 1…31, a balance that is not a
  // number, a usage target on an account that is not a card, a usage target
  // type other than monthly or three months, a negative target or one of
  // 1e15 or more). A usage target given that differs from the stored one sets
  // `card_usage_hurdle_start_date` to now (milliseconds since 1970, as the
  // other integer times of the store).
  AssetSaveResult saveAsset(const AssetForm& form);

  // Hides (`isDel` 3) or shows again (0) a live account; stamped and saved.
  // Throws InputError for a deleted account.
  Result<Asset> setAssetHidden(const std::string& uid, bool hidden);
  // Deletes an account (`isDel` 1, stamped) once the person said yes to
  // "popup_message8"; without that answer nothing happens and the key of the
  // question comes back. Its transactions keep its `uid`.
  Result<std::optional<std::string>> deleteAsset(const std::string& uid, bool confirmed);

  // First day of an account's month: a credit card's settlement day (1 when
  // it is 0, empty or not a day of the month), otherwise the ledger's month
  // start day setting.
  static int getStartDayByAsset(Ledger& ledger, const Asset& asset);

  // --- Groups ----------------------------------------------------------------
  // Every group when `isAll`, else those whose `isDel` is not 1, 2 or 4; by
  // `Order`, then `uid` descending.
  std::vector<AssetGroup> assetGroupList(bool isAll);
  // By `uid`; none for "" and "0".
  std::optional<AssetGroup> assetGroupByUid(const std::string& uid);
  std::optional<AssetGroup> getAsseGrouptByUid(const std::string& uid) { return assetGroupByUid(uid); }
  // Saves with the stamp; `isAdd` sets `isDel` 0. Logs "updateAssetGroup fail <error>".
  Status updateAssetGroup(AssetGroup& group, bool isAdd);
  // Every group at or after `targetOrder` moves one place down (`Order` + 1);
  // saved without stamp.
  Status reOrderAssetGroupWithTargetOrder(int64_t targetOrder);
  // Adds a group; at `position` (an `Order` value, the groups from there on
  // moving down) or at the end. One transaction. Throws InputError for an
  // empty name or a negative type or position.
  Result<AssetGroup> addAssetGroup(const std::string& name, int64_t status,
                                          std::optional<int64_t> position = std::nullopt);
  // Renames a group that is not deleted; stamped. Throws InputError for an
  // empty name and for an unknown or deleted group.
  Result<AssetGroup> renameAssetGroup(const std::string& uid, const std::string& name);
  // Deletes a group (`isDel` 1, stamped) once it holds no account that is not
  // deleted: the account overview and the trend leave deleted groups out, so
  // the balances of accounts left in one would drop out of every total while
  // the accounts themselves stay listed. Throws InputError for an unknown or
  // deleted group and for one that still holds accounts (hidden ones too),
  // naming them; the check and the deletion are one transaction.
  Result<AssetGroup> deleteAssetGroup(const std::string& uid);

 private:
  void reload();
  std::string correctionCategory(TxKind kind);
};

}  // namespace varnel
