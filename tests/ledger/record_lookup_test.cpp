#include <gtest/gtest.h>

#include "ledger/asset_repository.h"
#include "ledger/category_repository.h"
#include "ledger/currency_repository.h"
#include "ledger/record_lookup.h"
#include "ledger/tag_repository.h"
#include "model/errors.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

class RecordLookupTest : public LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    AssetRepository repo(*ledger_);
    live_ = group("Banks", 0);
    gone_ = group("Closed", 4);
    account("A-LIVE", "Wallet", 0);
    account("A-HIDDEN", "Jar", kAssetHidden);
    account("A-GONE", "Old bank", kAssetDeleted);
    account("A-GONE-2", "Wallet", 2);  // a deleted namesake does not make the name ambiguous
    account("A-TWIN-1", "Twin", 0);
    account("A-TWIN-2", "Twin", 0);
    ledger_->commonData().ReloadTheData();
  }

  std::string group(const std::string& name, int64_t isDel) {
    AssetRepository repo(*ledger_);
    AssetGroup g = repo.newObjectForEntity<AssetGroup>("G-" + name);
    g.AssetGroupName = name;
    g.Status = 1;
    g.isDel = isDel;
    EXPECT_TRUE(repo.save(g, "test"));
    return *g.uid;
  }

  void account(const std::string& uid, const std::string& name, int64_t isDel) {
    AssetRepository repo(*ledger_);
    Asset a = repo.newObjectForEntity<Asset>(uid);
    a.NicName = name;
    a.groupUid = live_;
    a.isDel = isDel;
    EXPECT_TRUE(repo.save(a, "test"));
  }

  std::string live_, gone_;
};

TEST_F(RecordLookupTest, AccountsByIdentifierOrByTheNameOfOneAccountNotDeleted) {
  struct Case {
    const char* text;
    const char* uid;  // nullptr: refused
  } cases[] = {
      {"A-LIVE", "A-LIVE"},
      {"Wallet", "A-LIVE"},
      {"Jar", "A-HIDDEN"},     // hidden accounts are still named
      {"A-GONE", "A-GONE"},    // an identifier reaches a deleted account
      {"Old bank", nullptr},   // a name does not
      {"Twin", nullptr},
      {"wallet", nullptr},     // names match exactly
      {"", nullptr},
  };
  for (const Case& c : cases) {
    if (c.uid) {
      EXPECT_EQ(resolveAccount(ledger_->commonData(), c.text).uid, c.uid) << c.text;
    } else {
      EXPECT_THROW(resolveAccount(ledger_->commonData(), c.text), InputError) << c.text;
    }
  }
}

TEST_F(RecordLookupTest, GroupsDeletedWithCodeFourAreNotNamed) {
  const CommonData& cache = ledger_->commonData();
  EXPECT_EQ(resolveAssetGroup(cache, "Banks").uid, live_);
  EXPECT_EQ(resolveAssetGroup(cache, gone_).uid, gone_);
  EXPECT_THROW(resolveAssetGroup(cache, "Closed"), InputError);
}

TEST_F(RecordLookupTest, CategoriesByUidFullNameThenName) {
  CategoryRepository repo(*ledger_);
  auto food = repo.addMainCategory("Food", 1).value();
  auto snacks = repo.addSubCategory(*food.uid, "Snacks").value();
  auto other = repo.addMainCategory("Other", 1).value();
  auto otherFood = repo.addSubCategory(*other.uid, "Food").value();
  const CommonData& cache = ledger_->commonData();
  EXPECT_EQ(resolveCategory(cache, "Food").uid, food.uid);  // the full name wins over a sub's name
  EXPECT_EQ(resolveCategory(cache, "Other/Food").uid, otherFood.uid);
  EXPECT_EQ(resolveCategory(cache, "Snacks").uid, snacks.uid);
  EXPECT_THROW(resolveCategory(cache, "-2"), InputError);
  ASSERT_TRUE(repo.deleteCategory(*snacks.uid));
  EXPECT_THROW(resolveCategory(cache, *snacks.uid), InputError);
}

TEST_F(RecordLookupTest, CurrenciesByRowOrByTheCodeOfARowOffered) {
  CurrencyRepository currencies(*ledger_);
  ASSERT_TRUE(currencies.addMainCurrency("KRW"));
  ASSERT_TRUE(currencies.addCurrencyRate("KRW", "USD", 1300, true));
  ASSERT_TRUE(currencies.addCurrencyRate("KRW", "JPY", 9, false));
  EXPECT_EQ(resolveCurrency(*ledger_, "usd").uid, "KRW_USD");
  EXPECT_EQ(resolveCurrency(*ledger_, "krw").uid, "KRW_KRW");
  EXPECT_EQ(resolveCurrency(*ledger_, "KRW_JPY").uid, "KRW_JPY");  // a row by its identifier
  EXPECT_THROW(resolveCurrency(*ledger_, "JPY"), InputError);       // not offered
  EXPECT_THROW(resolveCurrency(*ledger_, "EUR"), InputError);
}

TEST_F(RecordLookupTest, TagsByIdentifierOrName) {
  TagRepository tags(*ledger_);
  ASSERT_TRUE(tags.initTag());
  const std::string name = *tags.tagByUid("system_prepayment")->name;
  EXPECT_EQ(resolveTag(*ledger_, name).uid, "system_prepayment");
  EXPECT_EQ(resolveTag(*ledger_, "system_prepayment").uid, "system_prepayment");
  EXPECT_THROW(resolveTag(*ledger_, "nothing"), InputError);
}

}  // namespace
}  // namespace varnel
