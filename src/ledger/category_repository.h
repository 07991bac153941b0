// Categories: the two-level tree of main categories and sub-categories that
// classifies income and expenses, the pseudo-categories "-2" (uncategorised)
// and "-4" (balance adjustment), and adding, renaming and deleting records.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/base_repository.h"
#include "model/tx_kind.h"

namespace varnel {

namespace category_code {
inline constexpr const char* kUncategorised = "-2";
inline constexpr const char* kBalanceAdjustment = "-4";
// `doType`: the kind of the transactions a category classifies.
inline constexpr int kIncome = static_cast<int>(TxKind::kIncome);
inline constexpr int kExpense = static_cast<int>(TxKind::kExpense);
inline constexpr int kMainStatus = 0;
inline constexpr int kSubStatus = 2;
}  // namespace category_code

// The kind a category gives the transactions it classifies: income for
// `doType` 0, expense for any other value and for none.
inline TxKind categoryKind(const Category& c) {
  return c.doType.value_or(category_code::kExpense) == category_code::kIncome ? TxKind::kIncome : TxKind::kExpense;
}

// In-memory view of a category with its sub-categories.
struct CategoryModel {
  std::string uid;
  std::string name;
  Int isDel;
  int status = 0;
  int order = 0;
  int doType = 0;
  std::string pUid;
  std::optional<Category> managedObj;  // none for the pseudo-categories
  std::vector<CategoryModel> subCategoryListAll;  // every sub-category, deleted ones too
  std::vector<CategoryModel> subCategoryList;     // live sub-categories

  static CategoryModel fromRecord(const Category& record);
  // "-2" named by "none_category" and "-4" named by
  // "config_assets_category_name2"; `isDel` null, status 0, order 0.
  static CategoryModel unCategorizedModel(const Ledger& ledger);
  static CategoryModel modifyBalanceModel(const Ledger& ledger);
  // The pseudo-categories for "-2"/"-4" (no store read), none for an empty
  // identifier, else the model of the cached record (none when unknown).
  static std::optional<CategoryModel> initCategoryUid(Ledger& ledger, const std::string& uid);

  bool isSubCategory() const { return status == category_code::kSubStatus; }
};

class CategoryRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // --- Reads (deleted records included unless said otherwise) ---

  // The record with this identifier; none for "", "0" and the pseudo-categories.
  std::optional<Category> categoryByUId(const std::string& uid);
  // The record when it is a main category.
  std::optional<Category> parentCategoryByUid(const std::string& uid);
  // The record when it is a sub-category.
  std::optional<Category> subCategoryByUid(const std::string& uid);
  // By the older numeric key; none when the store has no such column.
  std::optional<Category> getCategoryByAid(int64_t aId);
  // Every category, sorted by `Order`.
  std::vector<Category> getCategoryAll();
  // Live sub-categories of a parent, sorted by `Order`.
  std::vector<Category> subCategoryByPuid(const std::string& pUid);
  // Main categories of a kind (0 income, 1 expense), live only unless
  // `isAll`, sorted by `Order`.
  std::vector<Category> getMainCategoryByInOutType(int doType, bool isAll);
  // The same as models with their sub-category lists (one read for all of
  // them); with `isAddUnCategory` the uncategorised model is appended.
  std::vector<CategoryModel> mainCategoryByInOutType(int doType, bool isAll, bool isAddUnCategory);
  // Sub-categories without a parent (pUid null, "" or "0").
  std::vector<Category> getArraySubCategoryByNotParent();
  // Gives an orphaned sub-category the main category `parentCategoryId` as
  // parent (and that parent's kind) and saves it stamped. False when there is
  // no such main category or the save fails.
  Status updateSubCategoryByNotParent(Category& sub, const std::string& parentCategoryId);
  // Records whose `Status` is neither 0 nor 2 (or is null).
  std::vector<Category> listCategoryStatusException();

  // --- Writes ---

  // When adding sets `isDel` 0; always stamps; saves once and reloads the
  // category cache. A failed save logs "updateCategory fail <error>" and
  // returns the failure. The stamp is applied whatever `isSync` says.
  Status updateCategory(Category& record, bool isAdd, bool isSync = true);

  // A new main category of kind `doType` (0 or 1) at the next free `Order`.
  // Throws InputError for an empty name, an unknown kind, or a name a live
  // main category of that kind already has. The failure when the save failed.
  Result<Category> addMainCategory(const std::string& name, int doType);
  // A new sub-category under the live main category `parentUid`, of the
  // parent's kind. Throws InputError for an empty name, a parent that is
  // missing, deleted or itself a sub-category, or a name a live sibling has.
  Result<Category> addSubCategory(const std::string& parentUid, const std::string& name);
  // Renames the category of `model`; when its record no longer exists a new
  // one is made from the model (kind, status, parent) at the next free
  // `Order`. Throws InputError for an empty name, a pseudo-category, or a name
  // a live sibling already has.
  Result<Category> editCategory(const CategoryModel& model, const std::string& name);
  // Soft-deletes the category and, for a main category, each of its live
  // sub-categories, in one transaction. Returns the records deleted (the
  // category first); empty when nothing was deleted. Transactions and other
  // records keep referring to the deleted identifiers.
  Result<std::vector<Category>> deleteCategory(const std::string& uid);

  // Normalises stored `Status` values: 3 becomes 2, anything else other than
  // 0 and 2 becomes 0. Logs "fixCategoryStatus <count>"; returns the count.
  Result<int> fixCategoryStatus();
  // Physically removes records that carry a pseudo-category identifier.
  Status removeUnCategoryBalanceModificationCategory();
  // Physically removes every category (whole-ledger reset only).
  Status deleteCategoryAll();

  // The transfer-fee category: the first live expense category named exactly
  // the text of "config_assets_category_name1", else the first whose name
  // contains it ignoring case and diacritics; none when neither exists.
  std::optional<Category> etcCategoryForFee();
  // The same lookup for a given fee word.
  std::optional<Category> etcCategoryForFee(const std::string& feeName);

 private:
  Status saveCategory(Category& record, bool isAdd);
  void requireUniqueName(const std::string& name, int doType, const std::string& parentUid,
                         const std::string& exceptUid);
  void reloadCache();
};

}  // namespace varnel
