#include "reports/classifier.h"

#include "model/common_data.h"
#include "model/tx_kind.h"

namespace varnel {

using namespace tx_class;

int classifiedKind(std::string_view code) {
  const std::optional<TxKind> kind = kindOfCode(code);
  return kind ? static_cast<int>(*kind) : -1;
}

AccountTraits accountTraits(const CommonData& cache, const std::string& uid) {
  auto asset = cache.assetByUid(uid);
  if (!asset) return {};
  return {cache.getAssetGroupTypeAsset(*asset) == kCreditCardGroupType,
          asset->transferExpense.value_or(0) != 0};
}

TransferMarkers TransferMarkers::split(const std::vector<std::string>& items) {
  TransferMarkers markers;
  for (const std::string& item : items) {
    auto take = [&](const char* marker, std::vector<std::string>& list) {
      const std::string m(marker);
      const size_t at = item.find(m);
      if (at == std::string::npos) return false;
      list.push_back(std::string(item).erase(at, m.size()));
      return true;
    };
    using namespace transfer_marker;
    if (!take(kOutcomeTrans, markers.outTrans) && !take(kIncomeTrans, markers.inTrans) &&
        !take(kOutcomeCard, markers.outCard)) {
      take(kIncomeCard, markers.inCard);
    }
  }
  return markers;
}


int displayDoTypeByInOutCome(const ClassifiedRow& row, int sumType, bool cashBook,
                             const std::function<AccountTraits(const std::string&)>& account) {
  // The carry-over row carries its class as its kind.
  if (row.uid == "-100") return row.doType;
  const std::optional<TxKind> k = kindOfNumber(row.doType);
  if (sumType == 0) return k && countsAsIn(*k) ? kIncome : kExpense;
  const bool usage = sumType == 2;
  if (k == TxKind::kIncome) return kIncome;
  if (k == TxKind::kExpense) {
    if (cashBook && account(row.assetUid).card) return usage ? kExpense : kNeutral;
    return kExpense;
  }
  if (k != TxKind::kTransferOut && k != TxKind::kTransferIn) return kNotCounted;

  const AccountTraits a = account(row.assetUid);
  const AccountTraits t = account(row.toAssetUid);
  if (k == TxKind::kTransferOut) {
    if (a.card) {
      if (cashBook) return usage ? kExpense : kNeutral;
      return (t.transferExpense && !a.transferExpense) ? kExpense : kNeutral;
    }
    if (usage && !a.transferExpense && t.card) return kNotCounted;
    if (!cashBook) {
      if (a.transferExpense && !t.transferExpense) return kIncome;
      if (t.transferExpense && !a.transferExpense) return kExpense;
      return kNeutral;
    }
    if (a.transferExpense) {
      return ((usage && t.card) || (!t.card && !t.transferExpense)) ? kIncome : kNeutral;
    }
    if (usage) return t.transferExpense ? kExpense : kNeutral;
    return (!t.card && !t.transferExpense) ? kNeutral : kExpense;
  }
  // A transfer in: the row's own account received the money from T.
  if (t.card) {
    if (cashBook) return kNeutral;
    if (t.transferExpense && !a.transferExpense) return kIncome;
    if (a.transferExpense && !t.transferExpense) return kExpense;
    return kNeutral;
  }
  if (usage && t.transferExpense && a.card) return kIncome;
  if (cashBook && !a.card && t.transferExpense && !a.transferExpense) return kIncome;
  if (!cashBook && t.transferExpense && !a.transferExpense) return kIncome;
  if (a.transferExpense && !t.transferExpense) return kExpense;
  return kNeutral;
}

}  // namespace varnel
