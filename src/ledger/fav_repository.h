// Favourite templates (`FavTransaction`) from which new transactions are
// filled: finding an equal template by kind, saving one from a transaction
// (reviving an equal one instead of duplicating it), and deletion.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/base_repository.h"
#include "model/tx_kind.h"

namespace varnel {

// What makes two favourites equal. `doType` is a transaction kind or the
// input screen's transfer mode 2; `categoryUid` is used by the income,
// expense and balance kinds, `toAssetUid` by the transfer kinds.
struct FavTemplate {
  int doType = 1;
  Text assetUid;
  Text categoryUid;
  Text toAssetUid;
  Text memo;
  Text payee;
  Real amountSub;
  Text currencyUid;
  Int mark;

  // The template of a saved transaction (content as payee).
  static FavTemplate fromTransaction(const InOutCome& tx);
  // The transfer mode and both sides; compared by target account.
  static bool isTransferKind(int doType) {
    const auto k = kindOfNumber(doType);
    return k == TxKind::kTransfer || k == TxKind::kTransferOut || k == TxKind::kTransferIn;
  }
  // The two balance adjustments, which share the category "-4".
  static bool isAdjustmentKind(int doType) {
    const auto k = kindOfNumber(doType);
    return k == TxKind::kAdjustmentUp || k == TxKind::kAdjustmentDown;
  }
  // Income, expense and the balance adjustments; compared by category.
  static bool isCategoryKind(int doType) {
    const auto k = kindOfNumber(doType);
    return k == TxKind::kIncome || k == TxKind::kExpense || isAdjustmentKind(doType);
  }
};

class FavRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // Every favourite, deleted ones too, by `order`.
  std::vector<FavTransaction> getListAll();
  // Live favourites by `order`.
  std::vector<FavTransaction> getListLive();
  // None for "" and "0".
  std::optional<FavTransaction> getFavByUId(const std::string& uid);
  // An existing favourite (deleted or not) equal to the template: same
  // account, amount, payee, memo and currency, plus the same target account
  // for transfer kinds, the same category for category kinds (and the same
  // kind for the two balance adjustments, which share a category), or
  // neither for any other kind. Missing values match missing values. Of
  // several matches the last stored one; none when nothing matches.
  std::optional<FavTransaction> favoriteObjAlready(const FavTemplate& fav);
  // When adding sets `isDel` 0; stamps and saves. A failed save logs
  // "updateFav fail <error>" and returns false.
  Status updateFav(FavTransaction& fav, bool isAdd, bool isSync = true);
  // Soft deletion, stamped.
  Status deleteFav(FavTransaction& fav);
  // Saves the template as a favourite: an equal favourite is revived and its
  // account and category or target set again, else a new one is made; `mark`
  // is copied and `order` becomes the next free one. Returns the record and
  // the confirming message key "inout_edit_message3"; none when the save failed.
  Result<std::pair<FavTransaction, std::string>> saveFavorite(const FavTemplate& fav);
  // Saves the live transaction `uid` as a favourite through saveFavorite; a
  // transfer is saved from its sending side whichever side is named, as the
  // input screen shows it. Throws InputError for an unknown or deleted
  // transaction.
  Result<std::pair<FavTransaction, std::string>> saveFavoriteFromTransaction(const std::string& uid);
  // Deletes the live favourite `uid` (soft deletion, stamped) and returns it.
  // Throws InputError for an unknown or already deleted favourite.
  Result<FavTransaction> deleteFavByUid(const std::string& uid);
  // Physically removes every favourite (whole-ledger reset).
  Status deleteAll();
};

}  // namespace varnel
