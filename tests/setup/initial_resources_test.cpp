#include <map>
#include <set>

#include <gtest/gtest.h>

#include "model/texts.h"
#include "setup/initial_resources.h"

namespace varnel {
namespace {

const char* kCategories = R"(<categories>
  <list name="out">
    <item ko="식비">12;1;Food;0</item>
    <item ko="간식">121;1;Snacks;12</item>
    <item ko="공백"> 1 3 ;1;Spaced id;0</item>
    <item>14;1;English only;0</item>
    <item ko="영">0;1;Zero id;0</item>
    <item ko="빈">;1;Empty id;0</item>
    <item ko="글자">abc;1;Text id;0</item>
    <item ko="짧음">15;1;Short</item>
  </list>
  <list name="in"><item ko="급여">1;0;Salary;0</item></list>
</categories>)";

TEST(InitialResources, CategoryRecordsFollowTheReadingRules) {
  struct Expect {
    int id, doType, parentId;
    std::string en, ko;
  };
  const std::vector<Expect> expected = {
      {12, 1, 0, "Food", "식비"},
      {121, 1, 12, "Snacks", "간식"},
      {13, 1, 0, "Spaced id", "공백"},
      {14, 1, 0, "English only", "English only"},  // no Korean name: English stays
  };
  const auto en = parseCategoryList(kCategories, "out", "en");
  const auto ko = parseCategoryList(kCategories, "out", "ko");
  ASSERT_TRUE(en && ko);
  ASSERT_EQ(en->size(), expected.size());
  ASSERT_EQ(ko->size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ((*en)[i].id, expected[i].id);
    EXPECT_EQ((*en)[i].doType, expected[i].doType);
    EXPECT_EQ((*en)[i].parentId, expected[i].parentId);
    EXPECT_EQ((*en)[i].isSub(), expected[i].parentId != 0);
    EXPECT_EQ((*en)[i].name, expected[i].en);
    EXPECT_EQ((*ko)[i].name, expected[i].ko);
  }
  EXPECT_EQ(parseCategoryList(kCategories, "in", "ko_KR")->front().name, "급여");
  EXPECT_FALSE(parseCategoryList(kCategories, "old_in", "en"));  // no such list
  EXPECT_FALSE(parseCategoryList("<categories><list name='in'>", "in", "en"));
}

TEST(InitialResources, AssetGroupRecordsFollowTheReadingRules) {
  const char* xml = R"(<groups>
    <item ko="현금">11;Cash;cash;;1</item>
    <item ko="은행">1;Bank;bank;;2</item>
    <item ko="짧음">5;Short;x;;</item>
    <item ko="모자람">6;Too few;x;</item>
    <item ko="영">0;Zero;x;;3</item>
  </groups>)";
  const auto en = parseAssetGroups(xml, "en");
  const auto ko = parseAssetGroups(xml, "ko");
  ASSERT_TRUE(en && ko);
  ASSERT_EQ(en->size(), 3u);
  EXPECT_EQ((*en)[0].typeCode, 11);
  EXPECT_EQ((*en)[0].name, "Cash");
  EXPECT_EQ((*en)[0].position, 1);
  EXPECT_EQ((*ko)[1].name, "은행");
  EXPECT_EQ((*en)[2].typeCode, 5);
  EXPECT_EQ((*en)[2].position, 0);  // an empty position reads as 0
  EXPECT_FALSE(parseAssetGroups("not xml <", "en"));
}

TEST(InitialResources, LanguageChoosesKoreanOnlyForKorean) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"ko", true}, {"ko_KR", true}, {"ko-KR", true}, {"en", false},
      {"kok", false}, {"zh_CN", false}, {"", false}};
  for (const auto& [language, korean] : cases) EXPECT_EQ(usesKoreanNames(language), korean) << language;
}

// The bundled category lists: every record read, both names present, ids unique
// across the lists, sub-categories under an earlier main category of their kind,
// and each expense list holds the category that transfer fees are booked to.
TEST(InitialResources, BundledCategoryListsAreComplete) {
  const std::string feeEn = Texts("en").text("config_assets_category_name1");
  const std::string feeKo = Texts("ko").text("config_assets_category_name1");
  std::set<int> allIds;
  for (const auto& [listName, kind] : std::vector<std::pair<std::string, int>>{
           {kCategoryListIn, 0}, {kCategoryListOut, 1}, {kCategoryListOldIn, 0}, {kCategoryListOldOut, 1}}) {
    const auto en = defaultCategories(listName, "en");
    const auto ko = defaultCategories(listName, "ko");
    ASSERT_FALSE(en.empty()) << listName;
    ASSERT_EQ(en.size(), ko.size()) << listName;
    std::map<int, int> mainKinds;
    bool hasFee = false;
    for (size_t i = 0; i < en.size(); ++i) {
      const auto& c = en[i];
      EXPECT_EQ(ko[i].id, c.id);
      EXPECT_TRUE(allIds.insert(c.id).second) << "duplicate id " << c.id;
      EXPECT_EQ(c.doType, kind) << listName << " " << c.id;
      EXPECT_FALSE(c.name.empty()) << c.id;
      EXPECT_FALSE(ko[i].name.empty()) << c.id;
      EXPECT_NE(ko[i].name, c.name) << "no Korean name for " << c.id;
      if (c.isSub()) {
        EXPECT_TRUE(mainKinds.count(c.parentId)) << c.id << " has no earlier main " << c.parentId;
      } else {
        mainKinds[c.id] = c.doType;
      }
      if (c.name == feeEn && ko[i].name == feeKo) hasFee = true;
    }
    if (kind == 1) {
      EXPECT_TRUE(hasFee) << listName << " lacks the transfer-fee category";
    }
  }
}

TEST(InitialResources, BundledAssetGroupsAreComplete) {
  const auto en = defaultAssetGroups("en");
  const auto ko = defaultAssetGroups("ko");
  ASSERT_EQ(en.size(), ko.size());
  std::set<int> codes, positions;
  std::map<int, std::string> names;
  for (size_t i = 0; i < en.size(); ++i) {
    EXPECT_TRUE(codes.insert(en[i].typeCode).second) << en[i].typeCode;
    EXPECT_TRUE(positions.insert(en[i].position).second) << en[i].position;
    EXPECT_GT(en[i].position, 0);
    EXPECT_FALSE(en[i].name.empty());
    EXPECT_FALSE(ko[i].name.empty());
    EXPECT_NE(en[i].name, ko[i].name);
    names[en[i].typeCode] = en[i].name;
  }
  // The kinds the ledger's own logic and default accounts rely on.
  EXPECT_EQ(names[11], "Cash");
  EXPECT_EQ(names[1], "Bank");
  EXPECT_EQ(names[2], "Credit card");
  EXPECT_EQ(names[3], "Debit card");
  EXPECT_GE(en.size(), 9u);
}

}  // namespace
}  // namespace varnel
