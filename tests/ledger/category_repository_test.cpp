#include <gtest/gtest.h>

#include "ledger/category_repository.h"
#include "model/errors.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

class CategoryRepositoryTest : public LedgerTest {
 protected:
  // Stores a record as an older release or another device could have left it.
  Category raw(const std::string& name, int doType, int64_t status, const std::string& pUid = "",
               int64_t isDel = 0) {
    CategoryRepository repo(*ledger_);
    Category c = repo.newObjectForEntity<Category>();
    c.Name = name;
    c.doType = doType;
    c.Status = status;
    if (!pUid.empty()) c.pUid = pUid;
    c.isDel = isDel;
    c.Order = repo.nextAvailble<Category>("Order");
    EXPECT_TRUE(repo.save(c, "updateCategory"));
    ledger_->commonData().ReloadAppDataCategory();
    return c;
  }

  std::string fullName(const std::string& uid) {
    return ledger_->commonData().getCategoryFullNameByCategoryId(uid);
  }

  int64_t count() {
    return static_cast<int64_t>(CategoryRepository(*ledger_).getCategoryAll().size());
  }
};

TEST_F(CategoryRepositoryTest, FullNamesOfSubCategoriesPseudoCategoriesAndStrays) {
  CategoryRepository repo(*ledger_);
  auto transport = repo.addMainCategory("Transport", 1);
  ASSERT_TRUE(transport);
  auto bus = repo.addSubCategory(*transport->uid, "Bus");
  ASSERT_TRUE(bus);
  const Category orphan = raw("Stray", 1, 2, "NO-SUCH-PARENT");

  EXPECT_EQ(fullName(*bus->uid), "Transport/Bus");
  EXPECT_EQ(fullName(*transport->uid), "Transport");
  EXPECT_EQ(fullName("-4"), ledger_->texts().text("config_assets_category_name2"));
  EXPECT_EQ(fullName("-2"), ledger_->texts().text("none_category"));
  EXPECT_EQ(fullName("UNKNOWN"), ledger_->texts().text("none_category"));
  EXPECT_EQ(fullName(*orphan.uid), "Stray");

  InOutCome tx;
  tx.categoryUid = bus->uid;
  tx.Do_Type = "1";
  const CommonData& cache = ledger_->commonData();
  EXPECT_EQ(cache.getCategory(tx)->uid, transport->uid);
  EXPECT_EQ(cache.getSubCategory(tx)->uid, bus->uid);
  EXPECT_EQ(cache.categoryName(tx), "Transport");
  EXPECT_EQ(cache.subCategoryName(tx), "Bus");
  tx.Do_Type = "6";  // the older balance-adjustment kind
  EXPECT_EQ(cache.getCategoryFullName(tx), ledger_->texts().text("config_assets_category_name2"));
  tx.Do_Type = "1";
  tx.categoryUid = "GONE";
  EXPECT_EQ(cache.categoryName(tx), ledger_->texts().text("none_category"));
  EXPECT_EQ(cache.subCategoryName(tx), "");
}

TEST_F(CategoryRepositoryTest, PseudoCategoriesResolveWithoutTheStore) {
  // Even a stray stored record with a pseudo identifier does not shadow them.
  Category stray = raw("Not me", 1, 0);
  BaseRepository base(*ledger_);
  stray.uid = "-2";
  ASSERT_TRUE(base.save(stray, "updateCategory"));
  ledger_->commonData().ReloadAppDataCategory();

  auto none = CategoryModel::initCategoryUid(*ledger_, "-2");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->name, ledger_->texts().text("none_category"));
  EXPECT_FALSE(none->managedObj);
  EXPECT_FALSE(none->isDel);
  EXPECT_EQ(none->status, 0);
  auto balance = CategoryModel::initCategoryUid(*ledger_, "-4");
  ASSERT_TRUE(balance);
  EXPECT_EQ(balance->name, ledger_->texts().text("config_assets_category_name2"));
  EXPECT_FALSE(CategoryModel::initCategoryUid(*ledger_, ""));
  EXPECT_FALSE(CategoryRepository(*ledger_).categoryByUId("-2"));
  EXPECT_FALSE(CategoryRepository(*ledger_).categoryByUId("0"));

  ASSERT_TRUE(CategoryRepository(*ledger_).removeUnCategoryBalanceModificationCategory());
  EXPECT_EQ(count(), 0);
}

TEST_F(CategoryRepositoryTest, DeletingAMainCategoryDeletesItsSubCategoriesInOneGo) {
  CategoryRepository repo(*ledger_);
  auto food = repo.addMainCategory("Food", 1);
  auto other = repo.addMainCategory("Other", 1);
  std::vector<std::string> subs;
  for (const char* name : {"Groceries", "Eating out", "Coffee"}) {
    subs.push_back(*repo.addSubCategory(*food->uid, name)->uid);
  }
  auto otherSub = repo.addSubCategory(*other->uid, "Misc");
  // A sub-category deleted earlier keeps its own deletion stamp.
  Category old = raw("Old", 1, 2, *food->uid, 1);
  old.utime = 5;
  ASSERT_TRUE(repo.save(old, "updateCategory"));

  ledger_->env().setNow(ledger_->env().nowMs() + 60'000);
  const auto deleted = repo.deleteCategory(*food->uid).value();
  ASSERT_EQ(deleted.size(), 4u);
  EXPECT_EQ(deleted.front().uid, food->uid);
  for (const std::string& uid : std::vector<std::string>{*food->uid, subs[0], subs[1], subs[2]}) {
    auto r = repo.categoryByUId(uid);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->isDel, 1) << *r->Name;
    EXPECT_EQ(r->isSynced, 1);
    EXPECT_EQ(r->utime, ledger_->env().nowMs());
    EXPECT_FALSE(isLive(*ledger_->commonData().categoryByUid(uid)));  // cache reloaded
  }
  EXPECT_EQ(repo.categoryByUId(*old.uid)->utime, 5);
  EXPECT_TRUE(isLive(*repo.categoryByUId(*other->uid)));
  EXPECT_TRUE(isLive(*repo.categoryByUId(*otherSub->uid)));

  // Deleting a sub-category touches only it; deleting again does nothing.
  EXPECT_EQ(repo.deleteCategory(*otherSub->uid)->size(), 1u);
  EXPECT_TRUE(isLive(*repo.categoryByUId(*other->uid)));
  EXPECT_TRUE(repo.deleteCategory(*otherSub->uid)->empty());
}

TEST_F(CategoryRepositoryTest, StatusNormalisation) {
  struct Case {
    std::optional<int64_t> stored;
    int64_t expected;
  };
  const Case cases[] = {{3, 2}, {5, 0}, {-1, 0}, {std::nullopt, 0}, {0, 0}, {2, 2}};
  CategoryRepository repo(*ledger_);
  std::vector<std::string> uids;
  for (const Case& c : cases) {
    Category r = repo.newObjectForEntity<Category>();
    r.Name = "c";
    r.doType = 1;
    r.Status = c.stored;
    ASSERT_TRUE(repo.save(r, "updateCategory"));
    uids.push_back(*r.uid);
  }
  EXPECT_EQ(repo.listCategoryStatusException().size(), 4u);
  EXPECT_EQ(repo.fixCategoryStatus().value(), 4);
  EXPECT_NE(logText().find("fixCategoryStatus 4"), std::string::npos);
  for (size_t i = 0; i < uids.size(); ++i) {
    EXPECT_EQ(repo.categoryByUId(uids[i])->Status, cases[i].expected) << i;
  }
  EXPECT_TRUE(repo.listCategoryStatusException().empty());
  // Only the changed records are stamped for synchronisation.
  EXPECT_EQ(repo.categoryByUId(uids[4])->isSynced, std::nullopt);
}

TEST_F(CategoryRepositoryTest, FeeCategoryPrefersExactNameAndIgnoresCaseAndAccents) {
  struct Case {
    std::vector<std::pair<std::string, int>> categories;  // name, kind (0/1); "~" prefix = deleted
    std::string feeName;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {{{"Bank fees", 1}, {"Fees", 1}}, "Fees", "Fees"},      // exact beats an earlier containing name
      {{{"Bank fees", 1}, {"Card", 1}}, "Fees", "Bank fees"},  // contained, any case
      {{{"Café", 1}}, "cafe", "Café"},                         // accents ignored
      {{{"CAFÉ LATTE", 1}}, "Cafe", "CAFÉ LATTE"},
      {{{"cafe", 1}}, "Café", "cafe"},
      {{{"Fees", 0}}, "Fees", std::nullopt},                   // income categories never
      {{{"~Fees", 1}}, "Fees", std::nullopt},                  // deleted ones never
      {{{"은행 수수료", 1}}, "수수료", "은행 수수료"},
      {{{"Food", 1}}, "", std::nullopt},
  };
  for (const Case& c : cases) {
    CategoryRepository repo(*ledger_);
    EXPECT_TRUE(repo.deleteCategoryAll());
    for (const auto& [name, kind] : c.categories) {
      const bool deleted = name.front() == '~';
      raw(deleted ? name.substr(1) : name, kind, 0, "", deleted ? 1 : 0);
    }
    auto found = repo.etcCategoryForFee(c.feeName);
    if (c.expected) {
      ASSERT_TRUE(found) << c.feeName;
      EXPECT_EQ(found->Name, *c.expected) << c.feeName;
    } else {
      EXPECT_FALSE(found) << c.feeName;
    }
  }
  // Without an argument the word comes from the ledger's texts.
  CategoryRepository repo(*ledger_);
  raw("기타 " + ledger_->texts().text("config_assets_category_name1"), 1, 0);
  EXPECT_TRUE(repo.etcCategoryForFee());
}

TEST_F(CategoryRepositoryTest, AddingSubCategoriesFollowsTheParent) {
  CategoryRepository repo(*ledger_);
  auto salary = repo.addMainCategory("  Salary ", 0);
  ASSERT_TRUE(salary);
  EXPECT_EQ(salary->Name, "Salary");
  EXPECT_EQ(salary->Status, 0);
  EXPECT_FALSE(salary->pUid);
  EXPECT_EQ(salary->isDel, 0);
  EXPECT_EQ(salary->Order, 1);
  auto bonus = repo.addSubCategory(*salary->uid, "Bonus");
  ASSERT_TRUE(bonus);
  EXPECT_EQ(bonus->doType, 0);
  EXPECT_EQ(bonus->Status, 2);
  EXPECT_EQ(bonus->pUid, salary->uid);
  EXPECT_EQ(bonus->Order, 2);
  // The same name is fine under another kind or parent.
  EXPECT_TRUE(repo.addMainCategory("Salary", 1));

  const int64_t before = count();
  EXPECT_THROW(repo.addMainCategory("   ", 1), InputError);
  EXPECT_THROW(repo.addMainCategory("Gifts", 4), InputError);
  EXPECT_THROW(repo.addMainCategory("Salary", 0), InputError);
  EXPECT_THROW(repo.addSubCategory(*salary->uid, "Bonus"), InputError);
  EXPECT_THROW(repo.addSubCategory(*bonus->uid, "Deeper"), InputError);  // no third level
  EXPECT_THROW(repo.addSubCategory("NOPE", "Bonus 2"), InputError);
  EXPECT_TRUE(repo.deleteCategory(*salary->uid));
  EXPECT_THROW(repo.addSubCategory(*salary->uid, "Late"), InputError);
  EXPECT_EQ(count(), before);
  // A deleted name is free again.
  EXPECT_TRUE(repo.addMainCategory("Salary", 0));
}

TEST_F(CategoryRepositoryTest, EditingRenamesOrRecreatesAVanishedRecord) {
  CategoryRepository repo(*ledger_);
  auto food = repo.addMainCategory("Food", 1);
  auto snacks = repo.addSubCategory(*food->uid, "Snacks");
  EXPECT_TRUE(repo.addSubCategory(*food->uid, "Drinks"));

  auto renamed = repo.editCategory(CategoryModel::fromRecord(*snacks), "Sweets");
  ASSERT_TRUE(renamed);
  EXPECT_EQ(renamed->uid, snacks->uid);
  EXPECT_EQ(fullName(*snacks->uid), "Food/Sweets");
  EXPECT_THROW(repo.editCategory(CategoryModel::fromRecord(*snacks), "Drinks"), InputError);
  EXPECT_THROW(repo.editCategory(CategoryModel::unCategorizedModel(*ledger_), "x"), InputError);

  CategoryModel vanished = CategoryModel::fromRecord(*snacks);
  vanished.uid = "VANISHED";
  auto again = repo.editCategory(vanished, "Candy");
  ASSERT_TRUE(again);
  EXPECT_NE(again->uid, "VANISHED");
  EXPECT_EQ(again->Status, 2);
  EXPECT_EQ(again->pUid, food->uid);
  EXPECT_EQ(again->doType, 1);
  EXPECT_EQ(again->isDel, 0);
}

TEST_F(CategoryRepositoryTest, MainCategoryModelsCarryTheirSubCategoryLists) {
  CategoryRepository repo(*ledger_);
  auto food = repo.addMainCategory("Food", 1);
  auto home = repo.addMainCategory("Home", 1);
  EXPECT_TRUE(repo.addMainCategory("Salary", 0));
  EXPECT_TRUE(repo.addSubCategory(*food->uid, "Groceries"));
  auto gone = repo.addSubCategory(*food->uid, "Gone");
  EXPECT_TRUE(repo.deleteCategory(*gone->uid));
  EXPECT_TRUE(repo.deleteCategory(*home->uid));

  auto live = repo.mainCategoryByInOutType(1, false, true);
  ASSERT_EQ(live.size(), 2u);
  EXPECT_EQ(live[0].name, "Food");
  EXPECT_EQ(live[0].subCategoryListAll.size(), 2u);
  ASSERT_EQ(live[0].subCategoryList.size(), 1u);
  EXPECT_EQ(live[0].subCategoryList[0].name, "Groceries");
  EXPECT_EQ(live[1].uid, "-2");
  EXPECT_EQ(repo.mainCategoryByInOutType(1, true, false).size(), 2u);  // Food and deleted Home
  EXPECT_EQ(repo.getMainCategoryByInOutType(0, false).size(), 1u);

  const CommonData& cache = ledger_->commonData();
  EXPECT_EQ(cache.getSubCategoryByParentId(*food->uid, true).size(), 2u);
  EXPECT_EQ(cache.getSubCategoryByParentId(*food->uid, false).size(), 1u);
  EXPECT_TRUE(cache.getSubCategoryByParentId("-2", true).empty());
  // With sub-categories switched off a main-category filter takes in all of them.
  EXPECT_EQ(cache.getSubCategoryIdsByParentId(*food->uid, false).size(), 2u);
  EXPECT_TRUE(cache.getSubCategoryIdsByParentId(*food->uid, true).empty());
}

TEST_F(CategoryRepositoryTest, OrphanedSubCategoriesCanBeGivenAParent) {
  CategoryRepository repo(*ledger_);
  auto food = repo.addMainCategory("Food", 1);
  auto salary = repo.addMainCategory("Salary", 0);
  raw("A", 1, 2);
  raw("B", 1, 2, "0");
  raw("C", 1, 2, *food->uid);
  auto orphans = repo.getArraySubCategoryByNotParent();
  ASSERT_EQ(orphans.size(), 2u);
  EXPECT_FALSE(repo.updateSubCategoryByNotParent(orphans[0], "NOPE"));
  EXPECT_FALSE(repo.updateSubCategoryByNotParent(orphans[0], *repo.getArraySubCategoryByNotParent()[1].uid));
  ASSERT_TRUE(repo.updateSubCategoryByNotParent(orphans[0], *salary->uid));
  auto fixed = repo.categoryByUId(*orphans[0].uid);
  EXPECT_EQ(fixed->pUid, salary->uid);
  EXPECT_EQ(fixed->doType, 0);  // takes the parent's kind
  EXPECT_EQ(repo.getArraySubCategoryByNotParent().size(), 1u);
  EXPECT_FALSE(repo.getCategoryByAid(7));  // this store has no older numeric keys
}

TEST_F(CategoryRepositoryTest, CacheLookupsByNameAndContainedName) {
  CategoryRepository repo(*ledger_);
  auto food = repo.addMainCategory("Food", 1);
  auto coffee = repo.addSubCategory(*food->uid, "Café");
  auto coffeeBeans = repo.addSubCategory(*food->uid, "Café beans");
  EXPECT_TRUE(repo.addMainCategory("Food", 0));
  EXPECT_TRUE(repo.addMainCategory("Fo", 1));
  const CommonData& cache = ledger_->commonData();

  EXPECT_EQ(cache.getCategoryByName(" Food ", 1)->uid, food->uid);
  EXPECT_EQ(cache.getCategoryByName("Food", 0)->doType, 0);
  EXPECT_FALSE(cache.getCategoryByName("food", 1));  // exact name
  EXPECT_EQ(cache.getSubCategoryByName("Café", 1, *food->uid)->uid, coffee->uid);
  EXPECT_FALSE(cache.getSubCategoryByName("Café", 0, *food->uid));

  EXPECT_EQ(cache.getCategoryByContainName("STARBUCKS FOOD COURT", 1)->uid, food->uid);  // longest
  EXPECT_EQ(cache.getSubCategoryByContainName("paid cafe beans 4,500")->uid, coffeeBeans->uid);
  EXPECT_EQ(cache.getSubCategoryByContainName("cafe 4,500")->uid, coffee->uid);
  EXPECT_FALSE(cache.getCategoryByContainName(""));
  raw("", 1, 0);  // a nameless record must not match every text
  EXPECT_FALSE(cache.getCategoryByContainName("zzz"));
}

}  // namespace
}  // namespace varnel
