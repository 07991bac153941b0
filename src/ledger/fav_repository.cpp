#include "ledger/fav_repository.h"

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "ledger/in_out_come_repository.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "model/record_io.h"

namespace varnel {

namespace {

template <class V>
void bindNullable(SQLite::Statement& st, int index, const std::optional<V>& value) {
  if (value) {
    st.bind(index, *value);
  } else {
    st.bind(index);
  }
}

}  // namespace

FavTemplate FavTemplate::fromTransaction(const InOutCome& tx) {
  FavTemplate t;
  // A missing or unknown kind makes an expense template, as the input screen
  // starts with one.
  const int doType = static_cast<int>(kindOf(tx).value_or(TxKind::kExpense));
  t.doType = doType;
  t.assetUid = tx.assetUid;
  if (isCategoryKind(doType)) t.categoryUid = tx.categoryUid;
  if (isTransferKind(doType)) t.toAssetUid = tx.toAssetUid;
  t.memo = tx.memo;
  t.payee = tx.Content;
  t.amountSub = tx.amountSub;
  t.currencyUid = tx.currencyUid;
  t.mark = tx.mark;
  return t;
}

std::vector<FavTransaction> FavRepository::getListAll() {
  return fetch<FavTransaction>(" ORDER BY ZORDER, Z_PK");
}

std::vector<FavTransaction> FavRepository::getListLive() {
  return fetch<FavTransaction>(" WHERE " + live::recordSql() + " ORDER BY ZORDER, Z_PK");
}

std::optional<FavTransaction> FavRepository::getFavByUId(const std::string& uid) {
  if (uid.empty() || uid == "0") return std::nullopt;
  return getFirst(fetch<FavTransaction>(" WHERE ZUID = ? LIMIT 1", uid));
}

std::optional<FavTransaction> FavRepository::favoriteObjAlready(const FavTemplate& fav) {
  // "IS" compares like the template does: a missing value equals a missing value.
  std::string kindCondition;
  if (FavTemplate::isTransferKind(fav.doType)) {
    kindCondition = "ZTOASSETUID IS ?";
  } else if (FavTemplate::isAdjustmentKind(fav.doType)) {
    // Both adjustment directions use the pseudo-category "-4": without the
    // kind an upward favourite would answer for a downward one.
    kindCondition = "ZCATEGORYUID IS ? AND ZDOTYPE = ?";
  } else if (FavTemplate::isCategoryKind(fav.doType)) {
    kindCondition = "ZCATEGORYUID IS ?";
  } else {
    kindCondition = "ZCATEGORYUID IS NULL AND ZTOASSETUID IS NULL";
  }
  const std::string sql = record_io::selectSql<FavTransaction>() +
                          fmt::format(" WHERE ZASSETUID IS ? AND ZAMOUNTSUB IS ? AND {} AND ZPAYEE IS ?"
                                      " AND ZMEMO IS ? AND ZCURRENCYUID IS ? ORDER BY Z_PK DESC LIMIT 1",
                                      kindCondition);
  try {
    auto st = getContext().prepare(sql);
    int i = 0;
    bindNullable(st, ++i, fav.assetUid);
    bindNullable(st, ++i, fav.amountSub);
    if (FavTemplate::isTransferKind(fav.doType)) bindNullable(st, ++i, fav.toAssetUid);
    if (FavTemplate::isCategoryKind(fav.doType)) bindNullable(st, ++i, fav.categoryUid);
    if (FavTemplate::isAdjustmentKind(fav.doType)) st.bind(++i, fav.doType);
    bindNullable(st, ++i, fav.payee);
    bindNullable(st, ++i, fav.memo);
    bindNullable(st, ++i, fav.currencyUid);
    std::optional<FavTransaction> found;
    if (st.executeStep()) found = record_io::readRecord<FavTransaction>(st);
    return found;
  } catch (const SQLite::Exception& e) {
    getContext().readFailed(sql, e);
  }
}

Status FavRepository::updateFav(FavTransaction& fav, bool isAdd, bool /*isSync*/) {
  if (isAdd) fav.isDel = 0;
  return saveStamped(fav, "updateFav");
}

Status FavRepository::deleteFav(FavTransaction& fav) { return deleteRecord(fav, "updateFav"); }

Result<std::pair<FavTransaction, std::string>> FavRepository::saveFavorite(
    const FavTemplate& t) {
  std::optional<FavTransaction> existing = favoriteObjAlready(t);
  const bool isAdd = !existing;
  FavTransaction fav = existing ? *existing : newObjectForEntity<FavTransaction>();
  if (isAdd) {
    fav.doType = t.doType;
    fav.amountSub = t.amountSub;
    fav.currencyUid = t.currencyUid;
    fav.memo = t.memo;
    fav.payee = t.payee;
  }
  fav.isDel = 0;
  fav.assetUid = t.assetUid;
  if (FavTemplate::isTransferKind(t.doType)) {
    fav.toAssetUid = t.toAssetUid;
  } else if (FavTemplate::isCategoryKind(t.doType)) {
    fav.categoryUid = t.categoryUid;
  }
  fav.mark = t.mark;
  fav.order = nextAvailble<FavTransaction>("order");
  VARNEL_RETURN_IF_ERROR(updateFav(fav, isAdd));
  return std::make_pair(fav, std::string("inout_edit_message3"));
}

Result<std::pair<FavTransaction, std::string>> FavRepository::saveFavoriteFromTransaction(
    const std::string& uid) {
  InOutComeRepository transactions(ledger_);
  auto tx = transactions.inOutComeByUid(uid);
  if (!tx) throw InputError("no transaction '" + uid + "'");
  if (!isLive(*tx)) throw InputError("transaction " + uid + " is deleted");
  if (isKind(*tx, TxKind::kTransferIn)) {
    // The receiving side as a template would send the money the other way.
    if (auto sending = transactions.oppositeOfTransfer(*tx)) tx = sending;
  }
  return saveFavorite(FavTemplate::fromTransaction(*tx));
}

Result<FavTransaction> FavRepository::deleteFavByUid(const std::string& uid) {
  auto fav = getFavByUId(uid);
  if (!fav || !isLive(*fav)) throw InputError("no favourite '" + uid + "'");
  VARNEL_RETURN_IF_ERROR(deleteFav(*fav));
  return *fav;
}

Status FavRepository::deleteAll() {
  try {
    getContext().prepare("DELETE FROM " + Entity<FavTransaction>::table()).exec();
    log().info("deleteAll success");
    return Status::ok();
  } catch (const SQLite::Exception& e) {
    log().error("deleteAll fail error : {}", e.what());
    return Status::storeFailure(std::string("cannot write the ledger: ") + e.what());
  }
}

}  // namespace varnel
