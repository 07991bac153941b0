#include "ledger/record_lookup.h"

#include <cctype>
#include <vector>

#include <fmt/format.h>

#include "ledger/category_repository.h"
#include "ledger/currency_repository.h"
#include "ledger/tag_repository.h"
#include "model/errors.h"
#include "model/liveness.h"

namespace varnel {

Asset resolveAccount(const CommonData& cache, const std::string& text) {
  if (auto byUid = cache.assetByUid(text)) return *byUid;
  std::vector<const Asset*> matches;
  for (const Asset& a : cache.assetList()) {
    if (a.uid && live::isLiveAccount(a) && a.NicName.value_or("") == text) matches.push_back(&a);
  }
  if (matches.empty()) throw InputError("no account is named or identified '" + text + "'");
  if (matches.size() > 1) throw InputError("several accounts are named '" + text + "'; use the identifier");
  return *matches.front();
}

AssetGroup resolveAssetGroup(const CommonData& cache, const std::string& text) {
  if (auto byUid = cache.assetGroupByUid(text)) return *byUid;
  std::vector<const AssetGroup*> matches;
  for (const AssetGroup& g : cache.assetGroupList()) {
    if (g.uid && live::isListedGroup(g) && g.AssetGroupName.value_or("") == text) matches.push_back(&g);
  }
  if (matches.empty()) throw InputError("no account group is named or identified '" + text + "'");
  if (matches.size() > 1) {
    throw InputError("several account groups are named '" + text + "'; use the identifier");
  }
  return *matches.front();
}

Category resolveCategory(const CommonData& cache, const std::string& text) {
  using namespace category_code;
  if (text == kUncategorised || text == kBalanceAdjustment) {
    throw InputError("'" + text + "' is a built-in pseudo-category and cannot be changed");
  }
  if (auto byUid = cache.categoryByUid(text); byUid && isLive(*byUid)) return *byUid;
  std::vector<const Category*> byFullName, byName;
  for (const Category& c : cache.categoryList()) {
    if (!isLive(c) || !c.uid) continue;
    if (cache.getCategoryFullNameByCategoryId(*c.uid) == text) byFullName.push_back(&c);
    if (c.Name == text) byName.push_back(&c);
  }
  for (const auto* matches : {&byFullName, &byName}) {
    if (matches->size() == 1) return *matches->front();
    if (matches->size() > 1) {
      throw InputError(fmt::format("'{}' names {} categories; name it by uid or full name", text,
                                   matches->size()));
    }
  }
  throw InputError("no category '" + text + "'");
}

Currency resolveCurrency(Ledger& ledger, const std::string& text) {
  CurrencyRepository currencies(ledger);
  if (auto row = currencies.getCurrencyByUid(text)) return *row;
  std::string iso = text;
  for (char& c : iso) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (auto main = currencies.getMainCurrency(); main && iso == currencies.mainIso()) return *main;
  if (auto row = currencies.getCurrencyBySubIso(iso)) return *row;
  throw InputError("no currency '" + text + "' in this ledger");
}

Tag resolveTag(Ledger& ledger, const std::string& text) {
  TagRepository tags(ledger);
  if (auto byUid = tags.tagByUid(text)) return *byUid;
  std::vector<Tag> matches;
  for (Tag& t : tags.tagList()) {
    if (isLive(t) && t.name == text) matches.push_back(std::move(t));
  }
  if (matches.empty()) throw InputError("no tag '" + text + "'");
  if (matches.size() > 1) throw InputError("several tags are named '" + text + "'; use the identifier");
  return matches.front();
}

}  // namespace varnel
