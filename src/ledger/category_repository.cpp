#include "ledger/category_repository.h"

#include <map>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "model/text.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "model/text_fold.h"

namespace varnel {

namespace {

using namespace category_code;

constexpr const char* kMain = "(ZSTATUS IS NULL OR ZSTATUS != 2)";
constexpr const char* kOrder = " ORDER BY ZORDER, Z_PK";
constexpr std::string_view kOperation = "updateCategory";

bool isPseudo(const std::string& uid) { return uid == kUncategorised || uid == kBalanceAdjustment; }

std::string requireName(const std::string& name) {
  std::string clean = trimmed(name);
  if (clean.empty()) throw InputError("a category needs a name");
  return clean;
}

CategoryModel pseudoModel(const Ledger& ledger, const char* uid, const char* nameKey) {
  CategoryModel m;
  m.uid = uid;
  m.name = ledger.texts().text(nameKey);
  m.status = kMainStatus;
  m.order = 0;
  return m;
}

}  // namespace

CategoryModel CategoryModel::fromRecord(const Category& record) {
  CategoryModel m;
  m.uid = record.uid.value_or("");
  m.name = record.Name.value_or("");
  m.isDel = record.isDel;
  m.status = static_cast<int>(record.Status.value_or(0));
  m.order = static_cast<int>(record.Order.value_or(0));
  m.doType = static_cast<int>(record.doType.value_or(0));
  m.pUid = record.pUid.value_or("");
  m.managedObj = record;
  return m;
}

CategoryModel CategoryModel::unCategorizedModel(const Ledger& ledger) {
  return pseudoModel(ledger, kUncategorised, "none_category");
}

CategoryModel CategoryModel::modifyBalanceModel(const Ledger& ledger) {
  return pseudoModel(ledger, kBalanceAdjustment, "config_assets_category_name2");
}

std::optional<CategoryModel> CategoryModel::initCategoryUid(Ledger& ledger, const std::string& uid) {
  if (uid == kUncategorised) return unCategorizedModel(ledger);
  if (uid == kBalanceAdjustment) return modifyBalanceModel(ledger);
  if (uid.empty()) return std::nullopt;
  auto record = ledger.commonData().categoryByUid(uid);
  if (!record) return std::nullopt;
  CategoryModel model = fromRecord(*record);
  if (!model.isSubCategory()) {
    for (const Category& sub : ledger.commonData().getSubCategoryByParentId(uid, true)) {
      model.subCategoryListAll.push_back(fromRecord(sub));
      if (isLive(sub)) model.subCategoryList.push_back(fromRecord(sub));
    }
  }
  return model;
}

void CategoryRepository::reloadCache() { ledger_.commonData().ReloadAppDataCategory(); }

std::optional<Category> CategoryRepository::categoryByUId(const std::string& uid) {
  if (uid.empty() || uid == "0" || isPseudo(uid)) return std::nullopt;
  return getFirst(fetch<Category>(" WHERE ZUID = ? LIMIT 1", uid));
}

std::optional<Category> CategoryRepository::parentCategoryByUid(const std::string& uid) {
  if (uid.empty() || isPseudo(uid)) return std::nullopt;
  return getFirst(fetch<Category>(fmt::format(" WHERE ZUID = ? AND {} LIMIT 1", kMain), uid));
}

std::optional<Category> CategoryRepository::subCategoryByUid(const std::string& uid) {
  if (uid.empty() || isPseudo(uid)) return std::nullopt;
  return getFirst(fetch<Category>(" WHERE ZUID = ? AND ZSTATUS = 2 LIMIT 1", uid));
}

std::optional<Category> CategoryRepository::getCategoryByAid(int64_t aId) {
  // Only stores written by the older numeric-key model carry this column.
  if (!getContext().columnExists(Entity<Category>::table(), "ZAID")) return std::nullopt;
  return getFirst(fetch<Category>(" WHERE ZAID = ? ORDER BY Z_PK LIMIT 1", aId));
}

std::vector<Category> CategoryRepository::getCategoryAll() { return fetch<Category>(kOrder); }

std::vector<Category> CategoryRepository::subCategoryByPuid(const std::string& pUid) {
  return fetch<Category>(fmt::format(" WHERE ZPUID = ? AND {}{}", live::recordSql(), kOrder), pUid);
}

std::vector<Category> CategoryRepository::getMainCategoryByInOutType(int doType, bool isAll) {
  if (isAll) return fetch<Category>(fmt::format(" WHERE ZDOTYPE = ? AND {}{}", kMain, kOrder), doType);
  return fetch<Category>(fmt::format(" WHERE {} AND ZDOTYPE = ? AND {}{}", live::recordSql(), kMain, kOrder),
                         doType);
}

std::vector<CategoryModel> CategoryRepository::mainCategoryByInOutType(int doType, bool isAll,
                                                                       bool isAddUnCategory) {
  std::vector<CategoryModel> out;
  for (const Category& main : getMainCategoryByInOutType(doType, isAll)) {
    out.push_back(CategoryModel::fromRecord(main));
  }
  // Every sub-category of the kind's main categories in one read.
  std::map<std::string, std::vector<Category>> subs;
  const std::string clause = fmt::format(
      " WHERE ZSTATUS = 2 AND ZPUID IN (SELECT ZUID FROM {} WHERE ZDOTYPE = ? AND {}){}",
      Entity<Category>::table(), kMain, kOrder);
  forEach<Category>(clause, [&](Category sub) { subs[sub.pUid.value_or("")].push_back(std::move(sub)); },
                    doType);
  for (CategoryModel& model : out) {
    auto it = subs.find(model.uid);
    if (it == subs.end()) continue;
    for (const Category& sub : it->second) {
      model.subCategoryListAll.push_back(CategoryModel::fromRecord(sub));
      if (isLive(sub)) model.subCategoryList.push_back(CategoryModel::fromRecord(sub));
    }
  }
  if (isAddUnCategory) out.push_back(CategoryModel::unCategorizedModel(ledger_));
  return out;
}

std::vector<Category> CategoryRepository::getArraySubCategoryByNotParent() {
  // "0" is the parent marker of main categories, so a sub-category pointing
  // at it has no parent either.
  return fetch<Category>(
      " WHERE ZSTATUS = 2 AND (ZPUID IS NULL OR ZPUID = '' OR ZPUID = '0')"
      " AND (ZUID IS NULL OR ZUID != '0') ORDER BY ZORDER, Z_PK");
}

Status CategoryRepository::updateSubCategoryByNotParent(Category& sub,
                                                        const std::string& parentCategoryId) {
  auto parent = parentCategoryByUid(parentCategoryId);
  if (!parent || !parent->uid) return Status::notFound("no main category " + parentCategoryId);
  sub.pUid = parent->uid;
  // A sub-category is always of its parent's kind; otherwise it would be
  // listed under one kind and counted in the other.
  if (parent->doType) sub.doType = parent->doType;
  return updateCategory(sub, false);
}

std::vector<Category> CategoryRepository::listCategoryStatusException() {
  return fetch<Category>(" WHERE ZSTATUS IS NULL OR ZSTATUS NOT IN (0, 2) ORDER BY Z_PK");
}

Status CategoryRepository::saveCategory(Category& record, bool isAdd) {
  if (isAdd) record.isDel = 0;
  return saveStamped(record, kOperation);
}

Status CategoryRepository::updateCategory(Category& record, bool isAdd, bool /*isSync*/) {
  Status ok = saveCategory(record, isAdd);
  reloadCache();
  return ok;
}

void CategoryRepository::requireUniqueName(const std::string& name, int doType,
                                           const std::string& parentUid,
                                           const std::string& exceptUid) {
  std::vector<Category> same;
  if (parentUid.empty()) {
    same = fetch<Category>(
        fmt::format(" WHERE {} AND {} AND ZDOTYPE = ? AND ZNAME = ? AND (ZUID IS NULL OR ZUID != ?) LIMIT 1",
                    live::recordSql(), kMain),
        doType, name, exceptUid);
  } else {
    same = fetch<Category>(
        fmt::format(" WHERE {} AND ZSTATUS = 2 AND ZPUID = ? AND ZNAME = ? AND (ZUID IS NULL OR ZUID != ?) LIMIT 1",
                    live::recordSql()),
        parentUid, name, exceptUid);
  }
  if (same.empty()) return;
  if (parentUid.empty()) {
    throw InputError(fmt::format("an {} category named '{}' already exists",
                                 doType == kIncome ? "income" : "expense", name));
  }
  auto parent = categoryByUId(parentUid);
  throw InputError(fmt::format("'{}' already has a sub-category named '{}'",
                               parent ? parent->Name.value_or(parentUid) : parentUid, name));
}

Result<Category> CategoryRepository::addMainCategory(const std::string& name, int doType) {
  const std::string clean = requireName(name);
  if (doType != kIncome && doType != kExpense) {
    throw InputError(fmt::format("a category kind must be 0 (income) or 1 (expense), not {}", doType));
  }
  requireUniqueName(clean, doType, "", "");
  Category record = newObjectForEntity<Category>();
  record.Name = clean;
  record.doType = doType;
  record.Status = kMainStatus;
  record.Order = nextAvailble<Category>("Order");
  VARNEL_RETURN_IF_ERROR(updateCategory(record, true));
  return record;
}

Result<Category> CategoryRepository::addSubCategory(const std::string& parentUid,
                                                           const std::string& name) {
  const std::string clean = requireName(name);
  auto parent = parentCategoryByUid(parentUid);
  if (!parent || !isLive(*parent)) {
    throw InputError(fmt::format("'{}' is not a live main category", parentUid));
  }
  const int doType = static_cast<int>(parent->doType.value_or(kExpense));
  requireUniqueName(clean, doType, *parent->uid, "");
  Category record = newObjectForEntity<Category>();
  record.Name = clean;
  record.doType = doType;
  record.Status = kSubStatus;
  record.pUid = parent->uid;
  record.Order = nextAvailble<Category>("Order");
  VARNEL_RETURN_IF_ERROR(updateCategory(record, true));
  return record;
}

Result<Category> CategoryRepository::editCategory(const CategoryModel& model,
                                                         const std::string& name) {
  if (isPseudo(model.uid)) {
    throw InputError(fmt::format("'{}' is a built-in pseudo-category and cannot be changed", model.uid));
  }
  const std::string clean = requireName(name);
  auto record = categoryByUId(model.uid);
  const bool isAdd = !record;
  if (isAdd) {
    // The record vanished (for example deleted on another device and
    // removed): it is made again from what the screen still holds.
    record = newObjectForEntity<Category>();
    record->doType = model.doType;
    record->Status = model.status == kSubStatus ? kSubStatus : kMainStatus;
    if (!model.pUid.empty()) record->pUid = model.pUid;
    record->Order = nextAvailble<Category>("Order");
  }
  const bool sub = record->Status.value_or(0) == kSubStatus;
  requireUniqueName(clean, static_cast<int>(record->doType.value_or(0)),
                    sub ? record->pUid.value_or("") : std::string(), record->uid.value_or(""));
  record->Name = clean;
  VARNEL_RETURN_IF_ERROR(updateCategory(*record, isAdd));
  return *record;
}

Result<std::vector<Category>> CategoryRepository::deleteCategory(const std::string& uid) {
  std::vector<Category> records;
  auto record = categoryByUId(uid);
  if (!record || !isLive(*record)) return records;
  records.push_back(*record);
  if (record->Status.value_or(0) != kSubStatus) {
    for (Category& sub : subCategoryByPuid(uid)) records.push_back(std::move(sub));
  }
  for (Category& r : records) assignNumber(r.isDel, 1);
  // One transaction: a main category is never left deleted with live children.
  Status ok = saveAll(records, kOperation, true);
  reloadCache();
  if (!ok) return ok;
  return records;
}

Result<int> CategoryRepository::fixCategoryStatus() {
  std::vector<Category> records = listCategoryStatusException();
  for (Category& r : records) r.Status = r.Status.value_or(0) == 3 ? kSubStatus : kMainStatus;
  Status ok = saveAll(records, kOperation, true);
  reloadCache();
  if (!ok) return ok;
  const int count = static_cast<int>(records.size());
  log().info("fixCategoryStatus {}", count);
  return count;
}

Status CategoryRepository::removeUnCategoryBalanceModificationCategory() {
  Status ok;
  try {
    getContext().prepare("DELETE FROM " + Entity<Category>::table() +
                         " WHERE ZUID = '-2' OR ZUID = '-4'").exec();
  } catch (const SQLite::Exception& e) {
    ok = getContext().writeFailed("removeUnCategoryBalanceModificationCategory", e);
  }
  reloadCache();
  return ok;
}

Status CategoryRepository::deleteCategoryAll() {
  Status ok;
  try {
    getContext().prepare("DELETE FROM " + Entity<Category>::table()).exec();
  } catch (const SQLite::Exception& e) {
    ok = getContext().writeFailed("deleteCategoryAll", e);
  }
  reloadCache();
  return ok;
}

std::optional<Category> CategoryRepository::etcCategoryForFee() {
  return etcCategoryForFee(ledger_.texts().text("config_assets_category_name1"));
}

std::optional<Category> CategoryRepository::etcCategoryForFee(const std::string& feeName) {
  if (feeName.empty()) return std::nullopt;
  const std::string liveExpense = fmt::format("{} AND ZDOTYPE = {}", live::recordSql(), kExpense);
  auto exact = getFirst(fetch<Category>(
      fmt::format(" WHERE {} AND ZNAME = ?{} LIMIT 1", liveExpense, kOrder), feeName));
  if (exact) return exact;
  const std::string needle = foldForSearch(feeName);
  if (needle.empty()) return std::nullopt;
  ensureTextFoldFunction(getContext());
  return getFirst(fetch<Category>(
      fmt::format(" WHERE {} AND instr(VNFOLD(ZNAME), ?) > 0{} LIMIT 1", liveExpense, kOrder),
      needle));
}

}  // namespace varnel
