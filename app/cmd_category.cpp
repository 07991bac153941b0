// `varnel category …`: list, add, rename and delete categories. A category is
// named by its `uid`, by its full name ("Transport/Bus") or by its name; a
// name that matches nothing or several live categories is refused.
#include <fmt/format.h>

#include "app/cli.h"
#include "model/record_json.h"
#include "ledger/category_repository.h"
#include "model/errors.h"

namespace varnel::cli {

namespace {

using namespace category_code;

int parseKind(const std::string& text) {
  if (text == "income") return kIncome;
  if (text == "expense") return kExpense;
  throw InputError("--type must be income or expense: '" + text + "'");
}

const char* kindName(const Category& c) { return c.doType.value_or(kExpense) == kIncome ? "income" : "expense"; }

std::string categoryLine(Ledger& ledger, const Category& c) {
  const std::string fullName = ledger.commonData().getCategoryFullNameByCategoryId(c.uid.value_or(""));
  return fmt::format("{:<8}{:<32} {}{}", kindName(c), fullName, c.uid.value_or(""),
                     isLive(c) ? "" : "  (deleted)");
}

void printCategories(Ledger& ledger, const std::vector<Category>& records, bool json) {
  if (json) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& r : records) out.push_back(recordJson(r, ledger.env().dates()));
    printJson(out);
    return;
  }
  for (const auto& r : records) printLine(categoryLine(ledger, r));
}

void printCategory(Ledger& ledger, const Category& record, bool json) {
  if (json) {
    printJson(recordJson(record, ledger.env().dates()));
  } else {
    printLine(categoryLine(ledger, record));
  }
}

}  // namespace

void addCategoryCommands(CLI::App& app, Context& ctx) {
  auto* category = app.add_subcommand("category", "List, add, rename and delete categories");
  category->require_subcommand(1);

  auto* list = category->add_subcommand("list", "List categories with their sub-categories");
  static std::string listType;
  static bool listAll = false;
  list->add_option("--type", listType, "income or expense (default: both)");
  list->add_flag("--all", listAll, "Include deleted categories");
  list->callback([&ctx] {
    std::vector<int> kinds = {kIncome, kExpense};
    if (!listType.empty()) kinds = {parseKind(listType)};
    auto ledger = ctx.openLedger();
    CategoryRepository repository(*ledger);
    std::vector<Category> records;
    for (int kind : kinds) {
      for (const CategoryModel& main : repository.mainCategoryByInOutType(kind, listAll, false)) {
        records.push_back(*main.managedObj);
        for (const CategoryModel& sub : listAll ? main.subCategoryListAll : main.subCategoryList) {
          records.push_back(*sub.managedObj);
        }
      }
    }
    printCategories(*ledger, records, ctx.json);
  });

  auto* add = category->add_subcommand("add", "Add a main category, or a sub-category with --parent");
  static std::string addName, addType, addParent;
  add->add_option("--name", addName, "Name")->required();
  add->add_option("--type", addType, "income or expense (a sub-category takes its parent's)");
  add->add_option("--parent", addParent, "Main category (uid, or name)");
  add->callback([&ctx] {
    std::optional<int> kind;
    if (!addType.empty()) kind = parseKind(addType);
    if (addParent.empty() && !kind) throw InputError("--type is required for a main category");
    auto ledger = ctx.openLedger();
    CategoryRepository repository(*ledger);
    std::optional<Category> saved;
    if (addParent.empty()) {
      saved = check(repository.addMainCategory(addName, *kind));
    } else {
      const Category parent = resolveCategory(ledger->commonData(), addParent);
      if (parent.Status.value_or(0) == kSubStatus) {
        throw InputError("'" + addParent + "' is a sub-category; sub-categories cannot have their own");
      }
      if (kind && *kind != parent.doType.value_or(kExpense)) {
        throw InputError(fmt::format("'{}' is an {} category; its sub-categories are too", addParent,
                                     kindName(parent)));
      }
      saved = check(repository.addSubCategory(*parent.uid, addName));
    }
    printCategory(*ledger, *saved, ctx.json);
  });

  auto* rename = category->add_subcommand("rename", "Rename a category");
  static std::string renameWhich, renameTo;
  rename->add_option("CATEGORY", renameWhich, "uid, full name or name")->required();
  rename->add_option("NEW_NAME", renameTo, "New name")->required();
  rename->callback([&ctx] {
    auto ledger = ctx.openLedger();
    CategoryRepository repository(*ledger);
    const Category record = resolveCategory(ledger->commonData(), renameWhich);
    auto saved = check(repository.editCategory(CategoryModel::fromRecord(record), renameTo));
    printCategory(*ledger, saved, ctx.json);
  });

  auto* remove = category->add_subcommand(
      "delete", "Delete a category (a main category with its sub-categories)");
  static std::string deleteWhich;
  remove->add_option("CATEGORY", deleteWhich, "uid, full name or name")->required();
  remove->callback([&ctx] {
    auto ledger = ctx.openLedger();
    CategoryRepository repository(*ledger);
    const Category record = resolveCategory(ledger->commonData(), deleteWhich);
    auto deleted = check(repository.deleteCategory(*record.uid));
    if (deleted.empty()) throw InputError("the category " + *record.uid + " is already deleted");
    printCategories(*ledger, deleted, ctx.json);
  });
}

}  // namespace varnel::cli
