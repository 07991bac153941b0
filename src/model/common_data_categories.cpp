// The category cache of CommonData: every category record in `Order`, with
// an index by identifier and the sub-categories of each parent, so that names
// shown for transactions never need a store read.
#include <algorithm>

#include "model/text.h"
#include "model/base_repository.h"
#include "model/common_data.h"
#include "model/ledger.h"
#include "model/text_fold.h"
#include "model/tx_kind.h"

namespace varnel {

namespace {

constexpr const char* kUncategorised = "-2";
constexpr const char* kBalanceAdjustment = "-4";
constexpr int kSubCategoryStatus = 2;

bool isSub(const Category& c) { return c.Status.value_or(0) == kSubCategoryStatus; }

}  // namespace

void CommonData::ReloadAppDataCategory() {
  BaseRepository repository(ledger_);
  std::vector<Category> categories = repository.fetch<Category>(" ORDER BY ZORDER, Z_PK");
  std::unordered_map<std::string, size_t> index;
  std::unordered_map<std::string, std::vector<size_t>> subs;
  for (size_t i = 0; i < categories.size(); ++i) {
    const Category& c = categories[i];
    if (c.uid) index.emplace(*c.uid, i);  // the first of duplicate identifiers wins
    if (isSub(c) && c.pUid && !c.pUid->empty()) subs[*c.pUid].push_back(i);
  }
  categories_ = std::move(categories);
  categoryIndex_ = std::move(index);
  subsByParent_ = std::move(subs);
}

std::optional<Category> CommonData::categoryByUid(const std::string& uid) const {
  auto it = categoryIndex_.find(uid);
  if (it == categoryIndex_.end()) return std::nullopt;
  return categories_[it->second];
}

std::optional<Category> CommonData::getCategory(const InOutCome& tx) const {
  if (!tx.categoryUid) return std::nullopt;
  auto category = categoryByUid(*tx.categoryUid);
  if (!category || !isSub(*category)) return category;
  return category->pUid ? categoryByUid(*category->pUid) : std::nullopt;
}

std::optional<Category> CommonData::getSubCategory(const InOutCome& tx) const {
  if (!tx.categoryUid) return std::nullopt;
  auto category = categoryByUid(*tx.categoryUid);
  if (category && isSub(*category)) return category;
  return std::nullopt;
}

std::string CommonData::categoryName(const InOutCome& tx) const {
  auto category = getCategory(tx);
  if (!category || !category->Name) return ledger_.texts().text("none_category");
  return *category->Name;
}

std::string CommonData::subCategoryName(const InOutCome& tx) const {
  auto sub = getSubCategory(tx);
  return sub ? sub->Name.value_or("") : std::string();
}

std::string CommonData::getCategoryFullName(const InOutCome& tx) const {
  if (isKind(tx, TxKind::kOldAdjustment)) return ledger_.texts().text("config_assets_category_name2");
  return getCategoryFullNameByCategoryId(tx.categoryUid.value_or(""));
}

std::string CommonData::getCategoryFullNameByCategoryId(const std::string& uid) const {
  if (uid == kUncategorised) return ledger_.texts().text("none_category");
  if (uid == kBalanceAdjustment) return ledger_.texts().text("config_assets_category_name2");
  auto category = categoryByUid(uid);
  if (!category) return ledger_.texts().text("none_category");
  const std::string name = category->Name.value_or("");
  if (!isSub(*category) || !category->pUid) return name;
  auto parent = categoryByUid(*category->pUid);
  // An orphaned sub-category still shows its own name rather than nothing.
  if (!parent) return name;
  return parent->Name.value_or("") + "/" + name;
}

std::vector<std::string> CommonData::getSubCategoryIdsByParentId(const std::string& parentUid,
                                                                 bool isUseSubCategory) const {
  std::vector<std::string> out;
  if (isUseSubCategory) return out;
  for (const Category& c : getSubCategoryByParentId(parentUid, true)) {
    if (c.uid) out.push_back(*c.uid);
  }
  return out;
}

std::vector<Category> CommonData::getSubCategoryByParentId(const std::string& parentUid,
                                                           bool isAll) const {
  std::vector<Category> out;
  if (parentUid == kUncategorised || parentUid == kBalanceAdjustment) return out;
  auto it = subsByParent_.find(parentUid);
  if (it == subsByParent_.end()) return out;
  for (size_t i : it->second) {
    if (isAll || isLive(categories_[i])) out.push_back(categories_[i]);
  }
  return out;
}

std::optional<Category> CommonData::getCategoryByName(const std::string& name, int doType) const {
  const std::string wanted = trimmed(name);
  if (wanted.empty()) return std::nullopt;
  for (const Category& c : categories_) {
    if (isLive(c) && !isSub(c) && c.doType.value_or(-1) == doType &&
        trimmed(c.Name.value_or("")) == wanted) {
      return c;
    }
  }
  return std::nullopt;
}

std::optional<Category> CommonData::getSubCategoryByName(const std::string& name, int doType,
                                                         const std::string& pUid) const {
  const std::string wanted = trimmed(name);
  if (wanted.empty()) return std::nullopt;
  for (const Category& c : getSubCategoryByParentId(pUid, false)) {
    if (c.doType.value_or(-1) == doType && trimmed(c.Name.value_or("")) == wanted) return c;
  }
  return std::nullopt;
}

std::optional<Category> CommonData::containedCategory(const std::string& text, bool sub,
                                                      std::optional<int> doType) const {
  const std::string haystack = foldForSearch(text);
  if (haystack.empty()) return std::nullopt;
  const Category* best = nullptr;
  size_t bestLength = 0;
  for (const Category& c : categories_) {
    if (!isLive(c) || isSub(c) != sub) continue;
    if (doType && c.doType.value_or(-1) != *doType) continue;
    // An empty name is "contained" in every text; it must never match.
    const std::string name = foldForSearch(trimmed(c.Name.value_or("")));
    if (name.empty() || name.size() <= bestLength) continue;
    if (haystack.find(name) != std::string::npos) {
      best = &c;
      bestLength = name.size();
    }
  }
  if (!best) return std::nullopt;
  return *best;
}

std::optional<Category> CommonData::getCategoryByContainName(const std::string& text,
                                                             std::optional<int> doType) const {
  return containedCategory(text, false, doType);
}

std::optional<Category> CommonData::getSubCategoryByContainName(const std::string& text,
                                                                std::optional<int> doType) const {
  return containedCategory(text, true, doType);
}

}  // namespace varnel
