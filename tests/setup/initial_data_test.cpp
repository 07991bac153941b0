#include <list>

#include <gtest/gtest.h>

#include "ledger/currency_repository.h"
#include "model/base_repository.h"
#include "model/etc_repository.h"
#include "setup/initial_data.h"
#include "setup/initial_resources.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;
using testing::TestLedgerOptions;

int64_t rows(Ledger& ledger, const std::string& table) {
  return ledger.store().db().execAndGet("SELECT COUNT(*) FROM " + table).getInt64();
}

class InitialDataTest : public LedgerTest {
 protected:
  std::unique_ptr<Ledger> fresh(const std::string& locale, const std::string& lang) {
    TestLedgerOptions o;
    o.locale = locale;
    o.lang = lang;
    dirs_.emplace_back();
    return Ledger::open(testing::testEnvironment(dirs_.back().path(), o), log_);
  }
  std::list<testing::TempDir> dirs_;
};

TEST_F(InitialDataTest, NewLedgerIsLocalisedAndComplete) {
  struct Case {
    std::string locale, lang, mainIso, cash, cardGroup, firstIncome;
  } cases[] = {
      {"ko_KR", "ko", "KRW", "현금", "신용카드", "급여"},
      {"en_US", "en", "USD", "Cash", "Credit card", "Salary"},
      {"en_GB", "en", "GBP", "Cash", "Credit card", "Salary"},
      {"la", "en", "USD", "Cash", "Credit card", "Salary"},  // no currency for the locale
  };
  for (const auto& c : cases) {
    auto ledger = fresh(c.locale, c.lang);
    ASSERT_TRUE(settingDefaultData(*ledger, 0)) << c.locale;
    const CommonData& cache = ledger->commonData();
    ASSERT_TRUE(cache.mainCurrency()) << c.locale;
    EXPECT_EQ(cache.mainCurrency()->iso, c.mainIso) << c.locale;
    ASSERT_EQ(cache.assetList().size(), 3u) << c.locale;
    EXPECT_EQ(cache.assetByUid("1")->NicName, c.cash) << c.locale;
    EXPECT_EQ(cache.assetByUid("3")->groupUid, "2");
    EXPECT_EQ(cache.assetByUid("3")->Card_DayFin, "1");
    EXPECT_EQ(cache.assetByUid("3")->card_usage_hurdle_amount,
              c.lang == "ko" ? std::optional<int64_t>(300000) : std::nullopt);
    for (const auto& a : cache.assetList()) EXPECT_EQ(a.currencyUid, cache.mainCurrency()->uid);
    EXPECT_EQ(cache.assetGroupByUid("2")->AssetGroupName, c.cardGroup) << c.locale;
    EXPECT_EQ(cache.assetGroupByUid("11")->Order, 101);
    EXPECT_EQ(cache.categoryByUid("1")->Name, c.firstIncome) << c.locale;
    EXPECT_GT(rows(*ledger, "ZMESSAGEMACRO2"), 10);
    EXPECT_EQ(rows(*ledger, "ZTAG"), 2);
    EXPECT_EQ(EtcRepository(*ledger).getDBVersion(), 2194);
    // Sub-categories point at their parent and have status 2.
    for (const auto& cat : cache.categoryList()) {
      if (cat.pUid != "0") {
        EXPECT_EQ(cat.Status, 2) << *cat.uid;
        EXPECT_TRUE(cache.categoryByUid(*cat.pUid)) << *cat.uid;
      } else {
        EXPECT_EQ(cat.Status, 0) << *cat.uid;
      }
    }
    // A second start writes nothing.
    const int64_t etcRows = rows(*ledger, "ZETC");
    EXPECT_FALSE(settingDefaultData(*ledger).value());
    EXPECT_EQ(rows(*ledger, "ZETC"), etcRows);
  }
}

TEST_F(InitialDataTest, SettingsAloneStopEveryStep) {
  EXPECT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(etc_kind::kStartDay, "5"));
  EXPECT_FALSE(settingDefaultData(*ledger_).value());
  EXPECT_EQ(rows(*ledger_, "ZCATEGORY"), 0);
  EXPECT_EQ(rows(*ledger_, "ZASSET"), 0);
}

TEST_F(InitialDataTest, VariantsChooseListsAndPreferences) {
  auto older = fresh("en_US", "en");
  ASSERT_TRUE(settingDefaultData(*older, 9));
  const auto oldIn = defaultCategories(kCategoryListOldIn, "en");
  ASSERT_FALSE(oldIn.empty());
  EXPECT_TRUE(older->commonData().categoryByUid(std::to_string(oldIn.front().id)));
  EXPECT_FALSE(older->commonData().categoryByUid("1"));  // the current list is not used
  EXPECT_EQ(older->preferences().getString("emoji_main_category"), "none");

  auto emoji = fresh("en_US", "en");
  ASSERT_TRUE(settingDefaultData(*emoji, 8));
  EXPECT_EQ(emoji->preferences().getString("emoji_main_category"), "show");
  EXPECT_EQ(emoji->preferences().getString("appThemeMode"), "SYNC");

  // With a fixed clock the drawn variant is fixed too.
  EXPECT_EQ(EasyInitDataMake(*emoji).drawSetupVariant(), EasyInitDataMake(*older).drawSetupVariant());
}

TEST_F(InitialDataTest, GroupsAreNotAddedToALedgerWithTransactions) {
  BaseRepository repo(*ledger_);
  for (int i = 0; i < 4; ++i) {
    InOutCome t = repo.newObjectForEntity<InOutCome>();
    t.isDel = 1;  // deleted ones count too
    ASSERT_TRUE(repo.save(t, "updateInOutCome"));
  }
  ASSERT_TRUE(settingDefaultData(*ledger_, 0));
  EXPECT_EQ(rows(*ledger_, "ZASSETGROUP"), 0);
  EXPECT_EQ(rows(*ledger_, "ZASSET"), 3);
}

}  // namespace
}  // namespace varnel
