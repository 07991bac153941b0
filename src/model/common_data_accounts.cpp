// The account, account-group and currency caches of CommonData.
#include <algorithm>
#include <cctype>

#include "model/text.h"
#include "model/base_repository.h"
#include "model/common_data.h"
#include "model/liveness.h"

namespace varnel {

void CommonData::ReloadAppDataAsset() {
  BaseRepository repository(ledger_);
  assets_ = repository.fetch<Asset>(" ORDER BY ZORDER, Z_PK");
  assetIndex_.clear();
  // A repaired store may still hold a duplicate identifier: the first wins,
  // as it does for a store lookup.
  for (size_t i = 0; i < assets_.size(); ++i) {
    if (assets_[i].uid) assetIndex_.emplace(*assets_[i].uid, i);
  }
}

void CommonData::ReloadAppDataAssetGroup() {
  BaseRepository repository(ledger_);
  assetGroups_ = repository.fetch<AssetGroup>(" ORDER BY ZORDER, ZUID DESC");
  assetGroupIndex_.clear();
  for (size_t i = 0; i < assetGroups_.size(); ++i) {
    if (assetGroups_[i].uid) assetGroupIndex_.emplace(*assetGroups_[i].uid, i);
  }
}

void CommonData::ReloadAppDataCurrency() {
  BaseRepository repository(ledger_);
  mainCurrency_ = BaseRepository::getFirst(
      repository.fetch<Currency>(" WHERE ZISMAINCURRENCY = 1 ORDER BY Z_PK LIMIT 1"));
  currencies_.clear();
  if (!mainCurrency_) return;
  for (auto& row : repository.fetch<Currency>(" WHERE ZMAINISO = ? OR Z_PK = ? ORDER BY Z_PK",
                                              mainCurrency_->mainIso.value_or(""),
                                              mainCurrency_->pk)) {
    if (row.uid) currencies_.emplace(*row.uid, row);
  }
}

std::optional<Currency> CommonData::currencyByUid(const std::string& uid) const {
  auto it = currencies_.find(uid);
  if (it == currencies_.end()) return std::nullopt;
  return it->second;
}

std::optional<Asset> CommonData::assetByUid(const std::string& uid) const {
  if (uid.empty()) return std::nullopt;
  auto it = assetIndex_.find(uid);
  if (it == assetIndex_.end()) return std::nullopt;
  return assets_[it->second];
}

std::optional<AssetGroup> CommonData::assetGroupByUid(const std::string& uid) const {
  if (uid.empty()) return std::nullopt;
  auto it = assetGroupIndex_.find(uid);
  if (it == assetGroupIndex_.end()) return std::nullopt;
  return assetGroups_[it->second];
}

std::vector<Asset> CommonData::getAssetListByGroupId(const std::string& groupUid, bool isAll) const {
  std::vector<Asset> out;
  for (const auto& a : assets_) {
    if (a.groupUid.value_or("") == groupUid && (isAll || live::isLiveAccount(a))) out.push_back(a);
  }
  return out;
}

int64_t CommonData::getAssetGroupTypeAsset(const Asset& asset) const {
  auto group = assetGroupByUid(asset.groupUid.value_or(""));
  return group ? group->Status.value_or(0) : 0;
}

std::vector<Asset> CommonData::getArrayCardAsset(bool isAll) const {
  std::vector<Asset> out;
  for (const auto& a : assets_) {
    if (getAssetGroupTypeAsset(a) == kCreditCardGroupType && (isAll || live::isLiveAccount(a))) out.push_back(a);
  }
  return out;
}

std::vector<Asset> CommonData::getCardAssetNotInTransferList() const {
  std::vector<Asset> out;
  for (const auto& a : getArrayCardAsset(false)) {
    if (a.transferExpense.value_or(0) != 1) out.push_back(a);
  }
  return out;
}

std::vector<Asset> CommonData::getNotCardAssetList(bool isAll) const {
  std::vector<Asset> out;
  for (const auto& a : assets_) {
    if (getAssetGroupTypeAsset(a) != kCreditCardGroupType && (isAll || live::isLiveAccount(a))) out.push_back(a);
  }
  return out;
}

std::vector<Asset> CommonData::normalAssetList(bool isAll) const {
  std::vector<Asset> out;
  for (const auto& a : assets_) {
    const int64_t type = getAssetGroupTypeAsset(a);
    if (type != kCreditCardGroupType && type != kDebitCardGroupType && (isAll || live::isLiveAccount(a))) {
      out.push_back(a);
    }
  }
  return out;
}

std::vector<Asset> CommonData::getUseAssetList(const std::optional<std::string>& groupUid) const {
  std::vector<Asset> out;
  for (const auto& a : assets_) {
    if (!live::isLiveAccount(a) || live::isHiddenAccount(a)) continue;
    if (groupUid && a.groupUid.value_or("") != *groupUid) continue;
    auto group = assetGroupByUid(a.groupUid.value_or(""));
    if (!group || !live::isListedGroup(*group)) continue;
    out.push_back(a);
  }
  return out;
}

std::vector<Asset> CommonData::checkCardListByAsset(const std::string& assetUid, bool isAll) const {
  std::vector<Asset> out;
  if (assetUid.empty()) return out;
  for (const auto& a : assets_) {
    if (a.cardAssetUid.value_or("") == assetUid && a.uid.value_or("") != assetUid &&
        (isAll || live::isLiveAccount(a))) {
      out.push_back(a);
    }
  }
  return out;
}

std::vector<Asset> CommonData::getAssetTransferList() const {
  std::vector<Asset> out;
  for (const auto& a : assets_) {
    if (a.transferExpense.value_or(0) == 1 && live::isLiveAccount(a)) out.push_back(a);
  }
  return out;
}

std::optional<Asset> CommonData::getAssetByName(const std::string& name) const {
  const std::string wanted = trimmed(name);
  for (const auto& a : assets_) {
    if (live::isLiveAccount(a) && trimmed(a.NicName.value_or("")) == wanted) return a;
  }
  return std::nullopt;
}

}  // namespace varnel
