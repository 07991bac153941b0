// Shared in-memory caches of one ledger, rebuilt from the store after changes.
// Holds the application values read from the settings records; the account,
// category and currency caches join it as those repositories do.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/entities.h"

namespace varnel {

class Ledger;

// Account group types (`Status`) the ledger logic tests.
inline constexpr int64_t kCreditCardGroupType = 2;
inline constexpr int64_t kDebitCardGroupType = 3;

// Settings as the rest of the ledger uses them.
struct AppValues {
  int appStartDay = 1;          // first day of the accounting month
  int appStartDayType = 0;      // weekend rule of the month start
  int appWeekDay = 0;           // first weekday, 0 = Sunday … 6 = Saturday
  int inputTimeType = 0;        // date/time display order
  int appPeriodType = 6;        // default period kind
  std::string nextMonth;        // carry-over flag text
  std::string cardCashbookStr;  // "1" = card cash-book mode
  int appIsShowMemo = 0;
  int appShowTxMemoButton = 1;
  std::string firstInstallVersion;
};

class CommonData {
 public:
  explicit CommonData(Ledger& ledger) : ledger_(ledger) {}

  // Rebuilds every cache from the store.
  void ReloadTheData();
  // Reads the settings records into `app`.
  void ReloadAppDataEtc();

  const AppValues& app() const { return app_; }

  // Account and group caches: every account and group record (deleted ones
  // too, so that lists asked for "all" need no store read), accounts in
  // `Order`. Lookups return copies, so they stay valid across reloads.
  // Without "all", lists leave out the accounts that are not live
  // (live::isLiveAccount); hidden accounts stay in.
  void ReloadAppDataAsset();
  void ReloadAppDataAssetGroup();
  // The account of `uid`, deleted or not; none for an empty identifier.
  std::optional<Asset> assetByUid(const std::string& uid) const;
  std::optional<AssetGroup> assetGroupByUid(const std::string& uid) const;
  // Accounts of a group, in `Order`.
  std::vector<Asset> getAssetListByGroupId(const std::string& groupUid, bool isAll) const;
  // `Status` of the account's group; 0 when the group is unknown.
  int64_t getAssetGroupTypeAsset(const Asset& asset) const;
  // Accounts in credit-card groups (type 2).
  std::vector<Asset> getArrayCardAsset(bool isAll) const;
  // Live credit-card accounts that are not transfer-expense accounts.
  std::vector<Asset> getCardAssetNotInTransferList() const;
  // Accounts in groups other than credit cards.
  std::vector<Asset> getNotCardAssetList(bool isAll) const;
  // Ordinary accounts: groups other than credit and debit cards.
  std::vector<Asset> normalAssetList(bool isAll) const;
  // Live accounts that are not hidden, in listed groups (model/liveness.h);
  // of one group only when `groupUid` is given.
  std::vector<Asset> getUseAssetList(const std::optional<std::string>& groupUid = std::nullopt) const;
  // Card accounts paid from `assetUid` (their `cardAssetUid`), other than it.
  std::vector<Asset> checkCardListByAsset(const std::string& assetUid, bool isAll) const;
  // Live accounts whose transfers in count as expense.
  std::vector<Asset> getAssetTransferList() const;
  // The first live account whose name, trimmed, equals `name` trimmed.
  std::optional<Asset> getAssetByName(const std::string& name) const;
  // Every cached account / group, in `Order`.
  const std::vector<Asset>& assetList() const { return assets_; }
  const std::vector<AssetGroup>& assetGroupList() const { return assetGroups_; }

  // Currency cache: the main currency row and the rows of the main currency.
  void ReloadAppDataCurrency();
  // The main currency row, if the ledger has one.
  const std::optional<Currency>& mainCurrency() const { return mainCurrency_; }
  // A row of the current main currency (or the main row) by `uid`.
  std::optional<Currency> currencyByUid(const std::string& uid) const;

  // Category cache: every category record (deleted ones too), read in
  // `Order`. Lookups return copies, so they stay valid across reloads.
  void ReloadAppDataCategory();
  std::optional<Category> categoryByUid(const std::string& uid) const;
  // Every cached category, sorted by `Order`.
  const std::vector<Category>& categoryList() const { return categories_; }
  // A transaction's main category: its category, or that category's parent
  // when it is a sub-category. None for "-2", "-4" and unknown identifiers.
  std::optional<Category> getCategory(const InOutCome& tx) const;
  // A transaction's sub-category, when its category is one.
  std::optional<Category> getSubCategory(const InOutCome& tx) const;
  // The main category's name; the text of "none_category" when there is none.
  std::string categoryName(const InOutCome& tx) const;
  // The sub-category's name; "" when the category is not a sub-category.
  std::string subCategoryName(const InOutCome& tx) const;
  // "Parent/Child" for a sub-category, the name of a main category, the
  // pseudo-category texts for "-2" and "-4" (and for the older kind "6"),
  // "none_category" for a category that cannot be found.
  std::string getCategoryFullName(const InOutCome& tx) const;
  std::string getCategoryFullNameByCategoryId(const std::string& uid) const;
  // Identifiers of a main category's sub-categories, live or not, to widen a
  // filter when sub-categories are switched off; with them switched on the
  // filter stays as chosen and the result is empty.
  std::vector<std::string> getSubCategoryIdsByParentId(const std::string& parentUid,
                                                       bool isUseSubCategory) const;
  // Sub-categories of a parent sorted by `Order`, deleted ones too when
  // `isAll`. "-2" and "-4" have none.
  std::vector<Category> getSubCategoryByParentId(const std::string& parentUid, bool isAll) const;
  // Live main category with exactly this name (surrounding spaces ignored) and kind.
  std::optional<Category> getCategoryByName(const std::string& name, int doType) const;
  // Live sub-category with this name, kind and parent.
  std::optional<Category> getSubCategoryByName(const std::string& name, int doType,
                                               const std::string& pUid) const;
  // Live main (or sub-) category whose name occurs in `text`, ignoring case and
  // diacritics; the longest such name wins, then the lower `Order`. Optionally
  // limited to one kind.
  std::optional<Category> getCategoryByContainName(const std::string& text,
                                                   std::optional<int> doType = std::nullopt) const;
  std::optional<Category> getSubCategoryByContainName(const std::string& text,
                                                      std::optional<int> doType = std::nullopt) const;

 private:
  Ledger& ledger_;
  AppValues app_;

  std::vector<Asset> assets_;                                 // by Order
  std::unordered_map<std::string, size_t> assetIndex_;        // uid → position
  std::vector<AssetGroup> assetGroups_;                       // by Order
  std::unordered_map<std::string, size_t> assetGroupIndex_;   // uid → position
  std::optional<Currency> mainCurrency_;
  std::unordered_map<std::string, Currency> currencies_;      // uid → row

  std::optional<Category> containedCategory(const std::string& text, bool sub,
                                            std::optional<int> doType) const;
  std::vector<Category> categories_;                              // by Order
  std::unordered_map<std::string, size_t> categoryIndex_;         // uid → position
  std::unordered_map<std::string, std::vector<size_t>> subsByParent_;  // pUid → positions
};

}  // namespace varnel
