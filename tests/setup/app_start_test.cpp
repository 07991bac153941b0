#include <gtest/gtest.h>

#include "ledger/category_repository.h"
#include "model/base_repository.h"
#include "setup/app_start.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

class LedgerStartTest : public LedgerTest {
 protected:
  // Stores a category as an older release or another device could have left it.
  void raw(const std::string& uid, const std::string& name, int doType, std::optional<int64_t> status,
           std::optional<std::string> pUid, int64_t isDel = 0) {
    BaseRepository repo(*ledger_);
    Category c = repo.newObjectForEntity<Category>(uid);
    c.Name = name;
    c.doType = doType;
    c.Status = status;
    c.pUid = pUid;
    c.isDel = isDel;
    c.Order = repo.nextAvailble<Category>("Order");
    ASSERT_TRUE(repo.save(c, "updateCategory"));
  }
  Category category(const std::string& uid) { return *BaseRepository(*ledger_).dataByUid<Category>(uid); }
};

TEST_F(LedgerStartTest, RepairsTheCategoriesOnceAndThenWritesNothing) {
  ASSERT_TRUE(startLedger(*ledger_));  // the default ledger: nothing to repair in it
  const auto expenses = CategoryRepository(*ledger_).getMainCategoryByInOutType(1, false);
  const auto incomes = CategoryRepository(*ledger_).getMainCategoryByInOutType(0, false);
  ASSERT_FALSE(expenses.empty());
  ASSERT_FALSE(incomes.empty());

  raw("ODD", "Odd", 1, 5, "0");                    // an unknown status: a main category
  raw("THREE", "Three", 1, 3, *expenses[1].uid);    // the older sub-category status
  raw("-2", "Stored none", 1, 0, "0");              // no record may stand for a pseudo-category
  raw("-4", "Stored adjustment", 1, 0, "0");
  raw("LOST", "Lost", 0, 2, std::nullopt);          // sub-categories without a parent
  raw("LOST3", "Lost too", 1, 3, "0");
  raw("GONE", "Gone", 1, 2, "", 1);                 // deleted: left as it is
  ledger_->commonData().ReloadTheData();

  const auto report = startLedger(*ledger_).value();
  EXPECT_FALSE(report.wroteDefaults);
  EXPECT_EQ(report.categoryStatusesFixed, 3);
  EXPECT_EQ(report.pseudoCategoryRecordsRemoved, 2);
  EXPECT_EQ(report.orphanedSubCategoriesAttached, 2);
  EXPECT_EQ(category("ODD").Status, 0);
  EXPECT_EQ(category("THREE").Status, 2);
  EXPECT_EQ(category("THREE").pUid, expenses[1].uid);
  EXPECT_FALSE(BaseRepository(*ledger_).dataByUid<Category>("-2"));
  EXPECT_FALSE(BaseRepository(*ledger_).dataByUid<Category>("-4"));
  EXPECT_EQ(category("LOST").pUid, incomes.front().uid);  // under the first main category of its kind
  EXPECT_EQ(category("LOST3").pUid, expenses.front().uid);
  EXPECT_EQ(category("GONE").pUid, "");
  EXPECT_EQ(ledger_->commonData().getCategoryFullNameByCategoryId("LOST"),
            *incomes.front().Name + "/Lost");  // the cache follows

  const int changes = ledger_->store().db().getTotalChanges();
  const auto again = startLedger(*ledger_).value();
  EXPECT_EQ(again.categoryStatusesFixed + again.pseudoCategoryRecordsRemoved + again.orphanedSubCategoriesAttached, 0);
  EXPECT_EQ(ledger_->store().db().getTotalChanges(), changes);
}

TEST_F(LedgerStartTest, AnOrphanWhoseKindHasNoMainCategoryStaysAsItIs) {
  raw("LOST", "Lost", 0, 2, "0");
  raw("SPENT", "Spent", 1, 0, "0");
  ledger_->commonData().ReloadTheData();
  // settingDefaultData would write categories only into a store without any.
  const auto report = startLedger(*ledger_).value();
  EXPECT_EQ(report.orphanedSubCategoriesAttached, 0);
  EXPECT_EQ(category("LOST").pUid, "0");
}

}  // namespace
}  // namespace varnel
