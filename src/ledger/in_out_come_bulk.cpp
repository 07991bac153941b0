// The bulk edits of InOutComeRepository. Each one collects the records it
// changes in a working set (the selection, the other sides of transfers and
// their fees, each record once, in the order first touched), checks
// everything before writing, and then writes the whole set with the batch
// stamp, deletes and copies photos, all in one store transaction.
#include <cmath>
#include <deque>
#include <set>
#include <unordered_map>

#include "ledger/category_repository.h"
#include "ledger/in_out_come_repository.h"
#include "ledger/in_out_come_support.h"
#include "ledger/photo_store.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "model/text.h"

namespace varnel {

namespace {

using namespace tx_support;

class Batch {
 public:
  explicit Batch(InOutComeRepository& repo) : repo_(repo) {}

  // The working copy of a selected record, re-read from the store so that a
  // stale copy cannot undo a newer change; none when the selection named it
  // before. Throws InputError for a record that does not exist or is deleted.
  InOutCome* select(const InOutCome& given) {
    const std::string uid = given.uid.value_or("");
    if (!selected_.insert(uid).second) return nullptr;
    if (auto it = index_.find(uid); it != index_.end()) return &records_[it->second];
    auto current = repo_.inOutComeByUid(uid);
    if (!current) throw InputError("no transaction '" + uid + "'");
    if (!isLive(*current)) throw InputError("transaction " + uid + " is deleted");
    return &track(std::move(*current));
  }

  // The live other side of a transfer side, as a working copy.
  InOutCome* opposite(const InOutCome& side) {
    if (!isTransferSide(side) || !side.txUidTrans) return nullptr;
    const TxKind kind = oppositeSide(*kindOf(side));
    auto found = repo_.inOutComeWithTxUidTransDoType(*side.txUidTrans, kind);
    if (!found || found->uid == side.uid) return nullptr;
    return usable(std::move(*found), [&](const InOutCome& w) {
      return isKind(w, kind) && w.txUidTrans == side.txUidTrans;
    });
  }

  // The live fee of a transfer's sending side, as a working copy.
  InOutCome* fee(const InOutCome& sending) {
    auto found = repo_.feeWithInOutCome(sending);
    if (!found) return nullptr;
    return usable(std::move(*found), [&](const InOutCome& w) {
      return isKind(w, TxKind::kExpense) && w.txUidFee == sending.txUidFee;
    });
  }

  // The sending side of the transfer a fee record belongs to, when it is live.
  std::optional<InOutCome> transferOfFee(const InOutCome& feeRecord) {
    if (!isKind(feeRecord, TxKind::kExpense) || !hasLink(feeRecord.txUidFee)) return std::nullopt;
    auto sending = repo_.getFirst(repo_.fetch<InOutCome>(
        " WHERE " + live::recordSql() + " AND ZTXUIDFEE = ? AND ZDO_TYPE = " + kindSql(TxKind::kTransferOut) +
            " ORDER BY Z_PK LIMIT 1",
        *feeRecord.txUidFee));
    if (!sending) return std::nullopt;
    if (auto it = index_.find(sending->uid.value_or("")); it != index_.end()) return records_[it->second];
    return sending;
  }

  InOutCome& add(InOutCome fresh) { return track(std::move(fresh)); }

  void deletePhotosOf(const InOutCome& r) { photoDeletes_.push_back(r.uid.value_or("")); }
  void copyPhotos(const InOutCome& from, const InOutCome& to) {
    photoCopies_.emplace_back(from.uid.value_or(""), to.uid.value_or(""));
  }

  // Writes the working set. Nothing is written when any step fails.
  BulkEditResult write(Ledger& ledger) {
    BulkEditResult result;
    std::vector<InOutCome> list(std::make_move_iterator(records_.begin()), std::make_move_iterator(records_.end()));
    result.status = repo_.inTransaction([&]() -> Status {
      VARNEL_RETURN_IF_ERROR(repo_.updateInOutComeList(list));
      PhotoStore photos(ledger);
      for (const auto& uid : photoDeletes_) VARNEL_RETURN_IF_ERROR(photos.deletePhotoByInOutCome(uid));
      for (const auto& [from, to] : photoCopies_) {
        if (photos.countPhoto(from) == 0 && photos.countPhoto(to) == 0) continue;
        VARNEL_RETURN_IF_ERROR(photos.copyUpdatePhoto(from, to));
      }
      return Status::ok();
    }, "updateInOutCome");
    if (!result.status) return result;
    result.changed = std::move(list);
    return result;
  }

 private:
  InOutCome& track(InOutCome r) {
    const std::string uid = r.uid.value_or("");
    records_.push_back(std::move(r));
    index_[uid] = records_.size() - 1;
    return records_.back();
  }

  // The working copy of a record found in the store, provided the working
  // set has not changed it into something that no longer matches.
  template <class Matches>
  InOutCome* usable(InOutCome found, Matches matches) {
    if (auto it = index_.find(found.uid.value_or("")); it != index_.end()) {
      InOutCome& w = records_[it->second];
      return isLive(w) && matches(w) ? &w : nullptr;
    }
    return &track(std::move(found));
  }

  InOutComeRepository& repo_;
  std::deque<InOutCome> records_;  // stable references as records are added
  std::unordered_map<std::string, size_t> index_;
  std::set<std::string> selected_;
  std::vector<std::string> photoDeletes_;
  std::vector<std::pair<std::string, std::string>> photoCopies_;
};

std::string nameOf(Ledger& ledger, const Text& uid) {
  auto a = ledger.commonData().assetByUid(uid.value_or(""));
  return a ? a->NicName.value_or("") : std::string();
}

Asset accountOf(Ledger& ledger, const Text& uid) {
  if (auto a = ledger.commonData().assetByUid(uid.value_or(""))) return *a;
  Asset unknown;
  unknown.uid = uid;
  return unknown;
}

void requireAccount(const Asset& asset) {
  if (!asset.uid || asset.uid->empty()) throw InputError("the account has no identifier");
  if (!live::isLiveAccount(asset)) throw InputError("account " + *asset.uid + " is deleted");
}

void refuseSelfTransfer(const std::string& accountUid) {
  throw InputError("a transfer cannot go from an account to itself (" + accountUid + ")");
}

}  // namespace

BulkEditResult InOutComeRepository::updateAssetArrayData(const std::vector<InOutCome>& records, const Asset& asset) {
  requireAccount(asset);
  const std::string target = *asset.uid;
  Batch batch(*this);
  std::set<std::string> chosen;
  for (const InOutCome& r : records) chosen.insert(r.uid.value_or(""));
  for (const InOutCome& given : records) {
    InOutCome* selected = batch.select(given);
    if (!selected || !isLive(*selected)) continue;
    InOutCome& w = *selected;
    const Text oldAsset = w.assetUid;
    if (auto transfer = batch.transferOfFee(w)) {
      // A fee belongs on its transfer's sending account; moved anywhere else
      // it becomes an ordinary expense.
      const bool followsTransfer = transfer->assetUid == target || chosen.count(transfer->uid.value_or(""));
      if (!followsTransfer) w.txUidFee.reset();
    }
    w.assetUid = target;
    w.amountAccount = getAmountAccount(w, asset);
    InOutCome* other = batch.opposite(w);
    if (!other) continue;
    if (other->assetUid == target) refuseSelfTransfer(target);
    other->toAssetUid = target;
    other->amountAccount = getAmountAccount(*other, accountOf(ledger_, other->assetUid));
    const bool wSends = isKind(w, TxKind::kTransferOut);
    InOutCome& sending = wSends ? w : *other;
    if (InOutCome* f = batch.fee(sending)) {
      const Text oldFrom = wSends ? oldAsset : sending.assetUid;
      const Text oldTo = wSends ? sending.toAssetUid : oldAsset;
      f->memo = trimSpaces(renameFeeMemo(f->memo.value_or(""), nameOf(ledger_, oldFrom),
                                         nameOf(ledger_, sending.assetUid), nameOf(ledger_, oldTo),
                                         nameOf(ledger_, sending.toAssetUid)));
      f->assetUid = sending.assetUid;
      f->amountAccount = getAmountAccount(*f, accountOf(ledger_, f->assetUid));
    }
  }
  return batch.write(ledger_);
}

BulkEditResult InOutComeRepository::updateCategoryArrayData(const std::vector<InOutCome>& records,
                                                            const Category& category) {
  if (!category.uid || category.uid->empty() || *category.uid == kUncategorisedUid ||
      *category.uid == kBalanceAdjustmentUid) {
    throw InputError("choose a category of the ledger, not a built-in pseudo-category");
  }
  if (!isLive(category)) throw InputError("category " + *category.uid + " is deleted");
  const TxKind kind = categoryKind(category);
  Batch batch(*this);
  auto classify = [&](InOutCome& r) {
    // A fee turned into an income is no longer the fee of its transfer.
    if (kind == TxKind::kIncome && isKind(r, TxKind::kExpense)) r.txUidFee.reset();
    if (isTransferSide(r)) r.txUidFee.reset();
    r.categoryUid = category.uid;
    setKind(r, kind);
    r.toAssetUid.reset();
  };
  for (const InOutCome& given : records) {
    InOutCome* selected = batch.select(given);
    if (!selected || !isLive(*selected)) continue;  // the other side of a transfer handled earlier
    InOutCome& w = *selected;
    InOutCome* other = batch.opposite(w);
    if (isKind(w, TxKind::kTransferIn) && other) {
      // The transfer lives on as its sending side.
      classify(*other);
      w.isDel = 1;
      batch.deletePhotosOf(w);
      continue;
    }
    if (isKind(w, TxKind::kTransferOut) && other) {
      other->isDel = 1;
      batch.deletePhotosOf(*other);
    }
    classify(w);
  }
  return batch.write(ledger_);
}

BulkEditResult InOutComeRepository::updateTransferInOutComeArray(const std::vector<InOutCome>& records,
                                                                 const Asset& first, const Asset& second) {
  requireAccount(first);
  requireAccount(second);
  if (first.uid == second.uid) refuseSelfTransfer(*first.uid);
  Batch batch(*this);
  for (const InOutCome& given : records) {
    InOutCome* w = batch.select(given);
    if (!w || !isLive(*w)) continue;
    InOutCome* other = batch.opposite(*w);
    if (isKind(*w, TxKind::kTransferIn) && other) std::swap(w, other);  // work on the sending side

    const Text oldFrom = w->assetUid;
    const Text oldTo = w->toAssetUid;
    if (!isTransferSide(*w)) {
      // A fee record becoming a transfer of its own leaves its old transfer,
      // and a record without a live transfer starts a new one.
      w->txUidFee.reset();
      w->txUidTrans = newUid();
      other = nullptr;
    } else if (isKind(*w, TxKind::kTransferIn)) {
      // A receiving side without its sending side becomes the sending side.
      w->txUidFee.reset();
    }
    if (!hasLink(w->txUidTrans)) w->txUidTrans = newUid();
    w->assetUid = first.uid;
    w->toAssetUid = second.uid;
    setKind(*w, TxKind::kTransferOut);
    w->Content = trimmed(w->Content.value_or(""));
    w->memo = trimSpaces(w->memo.value_or(""));
    w->amountAccount = getAmountAccount(*w, first);

    InOutCome& side = other ? *other : batch.add(newObjectForEntity<InOutCome>());
    side.txUidTrans = w->txUidTrans;
    side.Date = w->Date;
    side.txDateStr = w->txDateStr;
    side.assetUid = second.uid;
    side.toAssetUid = first.uid;
    setKind(side, TxKind::kTransferIn);
    side.mark = w->mark;
    side.Content = w->Content;
    side.memo = w->memo;
    side.currencyUid = w->currencyUid;
    side.amount = w->amount;
    side.amountSub = w->amountSub;
    side.cardTimeStampStr = w->cardTimeStampStr;
    side.cardDivideMonth = w->cardDivideMonth;
    side.cardDivideMonthStr = w->cardDivideMonthStr;
    side.cardDivideUid = w->cardDivideUid;
    side.txUidFee.reset();
    side.isDel = 0;
    side.amountAccount = getAmountAccount(side, second);
    batch.copyPhotos(*w, side);

    if (InOutCome* f = batch.fee(*w)) {
      f->memo = trimSpaces(renameFeeMemo(f->memo.value_or(""), nameOf(ledger_, oldFrom), nameOf(ledger_, first.uid),
                                         nameOf(ledger_, oldTo), nameOf(ledger_, second.uid)));
      f->assetUid = first.uid;
      f->amountAccount = getAmountAccount(*f, first);
    }
  }
  return batch.write(ledger_);
}

BulkEditResult InOutComeRepository::updateDateInOutComeArray(const std::vector<InOutCome>& records, double newDate) {
  if (!std::isfinite(newDate)) throw InputError("the new date is not a date");
  const std::string day = ledger_.env().dates().dayKey(newDate);
  Batch batch(*this);
  auto redate = [&](InOutCome& r) {
    r.Date = newDate;
    r.txDateStr = day;
  };
  for (const InOutCome& given : records) {
    InOutCome* selected = batch.select(given);
    if (!selected || !isLive(*selected)) continue;
    InOutCome& w = *selected;
    redate(w);
    InOutCome* other = batch.opposite(w);
    if (other) redate(*other);
    if (isTransferSide(w)) {
      InOutCome* sending = isKind(w, TxKind::kTransferOut) ? &w : other;
      if (InOutCome* f = sending ? batch.fee(*sending) : nullptr) redate(*f);
    }
  }
  return batch.write(ledger_);
}

BulkEditResult InOutComeRepository::updateContentInOutComeArray(const std::vector<InOutCome>& records,
                                                                const std::string& newContent) {
  const std::string content = trimmed(newContent);
  Batch batch(*this);
  for (const InOutCome& given : records) {
    InOutCome* selected = batch.select(given);
    if (!selected || !isLive(*selected)) continue;
    InOutCome& w = *selected;
    w.Content = content;
    if (InOutCome* other = batch.opposite(w)) other->Content = content;
  }
  return batch.write(ledger_);
}

}  // namespace varnel
