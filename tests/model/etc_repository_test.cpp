#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/etc_repository.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;
using testing::TestLedgerOptions;

class EtcRepositoryTest : public LedgerTest {
 protected:
  std::vector<Etc> liveOfKind(int kind) {
    std::vector<Etc> out;
    for (auto& r : EtcRepository(*ledger_).getListAll()) {
      if (r.DataType == kind && isLive(r)) out.push_back(r);
    }
    return out;
  }
};

TEST_F(EtcRepositoryTest, SingleValuedKindKeepsOneRecordWithItsKey) {
  EtcRepository etc(*ledger_);
  ASSERT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kWeekStartDay, "1"));
  ASSERT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kWeekStartDay, "2"));
  auto records = liveOfKind(etc_kind::kWeekStartDay);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].datayTypeKey, "week_start_day");
  EXPECT_EQ(records[0].Data, "2");
  EXPECT_EQ(records[0].isSynced, 1);
  EXPECT_EQ(ledger_->commonData().app().appWeekDay, 2);
  EXPECT_NE(logText().find("updateEtc success"), std::string::npos);
}

TEST_F(EtcRepositoryTest, SettingAKindWithSeveralRecordsKeepsTheNewest) {
  EtcRepository etc(*ledger_);
  for (int i = 0; i < 3; ++i) {
    Etc r = etc.newObjectForEntity<Etc>();
    r.DataType = etc_kind::kStartDay;
    r.Data = std::to_string(10 + i);
    r.utime = i == 1 ? 900 : 100 + i;
    ASSERT_TRUE(etc.save(r, "updateEtc"));
  }
  ASSERT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kStartDay, "25"));
  auto records = liveOfKind(etc_kind::kStartDay);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].pk, 2);  // the one with the greatest utime
  EXPECT_EQ(records[0].Data, "25");
  EXPECT_EQ(etc.getListAll().size(), 3u);  // the others are soft-deleted, not removed
}

TEST_F(EtcRepositoryTest, KindWithoutKeyAndMissingKinds) {
  EtcRepository etc(*ledger_);
  EXPECT_FALSE(etc.getEtcUserSettingByType(etc_kind::kShowFullMessage));
  ASSERT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kShowFullMessage, "1"));
  EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kShowFullMessage)->datayTypeKey, "");
  EXPECT_FALSE(etc.updateEtcUserSettingByType(12345, ZData{"x"}));  // no record to change
}

TEST_F(EtcRepositoryTest, CheckDbVersionLeavesTheHighest) {
  EtcRepository etc(*ledger_);
  for (const char* v : {"2190", "2194", "2192"}) EXPECT_TRUE(etc.addEtcUserSettingByType(etc_kind::kDbVersion, v));
  ASSERT_TRUE(etc.checkDBVersion());
  auto records = liveOfKind(etc_kind::kDbVersion);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].Data, "2194");
  EXPECT_EQ(etc.getDBVersion(), 2194);
}

TEST_F(EtcRepositoryTest, SmsFiltersSkipDeletedRecords) {
  EtcRepository etc(*ledger_);
  EXPECT_TRUE(etc.addEtcUserSettingByType(etc_kind::kSmsRemoveText, "승인", "ko"));
  EXPECT_TRUE(etc.addEtcUserSettingByType(etc_kind::kSmsRemoveText, "내역", "ko"));
  auto filters = etc.listSmsFilter();
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_TRUE(etc.deleteRecord(filters[0], "updateEtc"));
  filters = etc.listSmsFilter();
  ASSERT_EQ(filters.size(), 1u);
  EXPECT_EQ(filters[0].Data, "내역");
}

TEST_F(EtcRepositoryTest, SmsFiltersAreAddedOnceAndRemovedByTextOrUid) {
  EtcRepository etc(*ledger_);
  const Etc approved = etc.addSmsFilter("승인", "ko").value();
  EXPECT_EQ(approved.zData, "ko");
  EXPECT_EQ(approved.datayTypeKey, "sms_remove_text");
  const Etc thanks = etc.addSmsFilter("Thank you", "en").value();
  EXPECT_THROW((void)etc.addSmsFilter("승인", "en"), InputError);
  EXPECT_THROW((void)etc.addSmsFilter("  ", "en"), InputError);
  EXPECT_THROW((void)etc.addSmsFilter("x", "Korean"), InputError);
  EXPECT_EQ(etc.removeSmsFilter("승인")->size(), 1u);
  EXPECT_EQ(etc.removeSmsFilter(*thanks.uid)->front().isDel, 1);
  EXPECT_TRUE(etc.listSmsFilter().empty());
  EXPECT_THROW((void)etc.removeSmsFilter("승인"), InputError);
  EXPECT_TRUE(etc.addSmsFilter("승인", "ko"));  // a removed text may come back
}

TEST_F(EtcRepositoryTest, UserSettingsTakeOnlyTheValuesTheirReadersUnderstand) {
  struct Case {
    int kind;
    const char* value;
    bool ok;
  } cases[] = {
      {etc_kind::kStartDay, "31", true},           {etc_kind::kStartDay, "0", false},
      {etc_kind::kWeekStartDay, "6", true},        {etc_kind::kWeekStartDay, "7", false},
      {etc_kind::kDefaultPeriodType, "8", true},   {etc_kind::kDefaultPeriodType, "5", false},
      {etc_kind::kMonthStartWeekendType, "2", true}, {etc_kind::kMonthStartWeekendType, "3", false},
      {etc_kind::kMoneyColor, "1", true},          {etc_kind::kMoneyColor, "2", false},
      {etc_kind::kCarryOver, "1", true},           {etc_kind::kCarryOver, "yes", false},
      {etc_kind::kTimeDisplayOrder, "5", true},    {etc_kind::kTimeDisplayOrder, "-1", false},
      {etc_kind::kPassword, "0420", true},         {etc_kind::kPassword, "", true},
      {etc_kind::kPassword, "12345", false},       {etc_kind::kPassword, "abcd", false},
      {etc_kind::kDbVersion, "2194", false},       {etc_kind::kInitDbVersion, "9.9.9", false},
      {etc_kind::kSmsRemoveText, "x", false},      {424242, "1", false},
  };
  for (const Case& c : cases) {
    if (c.ok) {
      EXPECT_NO_THROW(EtcRepository::checkUserSetting(c.kind, c.value)) << c.kind << " " << c.value;
    } else {
      EXPECT_THROW(EtcRepository::checkUserSetting(c.kind, c.value), InputError) << c.kind << " " << c.value;
    }
  }
  EtcRepository etc(*ledger_);
  ASSERT_TRUE(etc.updateUserSetting(etc_kind::kCarryOver, "01"));
  EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kCarryOver)->Data, "1");
  EXPECT_EQ(ledger_->commonData().app().nextMonth, "1");  // read as on
  ASSERT_TRUE(etc.updateUserSetting(etc_kind::kPassword, "0420"));
  ASSERT_TRUE(etc.updateUserSetting(etc_kind::kPassword, ""));
  EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kPassword)->zData, "0");
  EXPECT_THROW((void)etc.updateUserSetting(etc_kind::kDbVersion, "1"), InputError);
  EXPECT_EQ(etc.getDBVersion(), 0);
}

TEST_F(EtcRepositoryTest, PasswordClearedSetsZData) {
  EtcRepository etc(*ledger_);
  EXPECT_TRUE(etc.updatePassword("1234"));
  EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kPassword)->Data, "1234");
  EXPECT_TRUE(etc.updatePassword(""));
  auto r = etc.getEtcUserSettingByType(etc_kind::kPassword);
  EXPECT_EQ(r->Data, "");
  EXPECT_EQ(r->zData, "0");
}

struct BasicCase {
  std::string lang;
  int variant;
  std::string useInstallment, smsCopyPaste, memoButton;
  std::optional<std::string> memoPreference;
};

TEST_F(EtcRepositoryTest, BasicSettingsFollowLanguageAndVariant) {
  const BasicCase cases[] = {
      {"ko", 0, "1", "1", "0", std::nullopt}, {"en", 0, "0", "0", "0", std::nullopt},
      {"ja", 6, "1", "0", "0", "none"},       {"zh_CN", 7, "1", "0", "1", "show"},
      {"pt", 0, "1", "0", "0", std::nullopt}, {"de", 0, "0", "0", "0", std::nullopt},
  };
  for (const auto& c : cases) {
    testing::TempDir dir;
    TestLedgerOptions o;
    o.lang = c.lang;
    auto ledger = Ledger::open(testing::testEnvironment(dir.path(), o), log_);
    EtcRepository etc(*ledger);
    ASSERT_TRUE(etc.saveBasicEtc(c.variant));
    EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kUseInstallment)->Data, c.useInstallment) << c.lang;
    EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kSmsUseCopyPaste)->Data, c.smsCopyPaste) << c.lang;
    EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kMemoBtnOnDaily)->Data, c.memoButton) << c.lang;
    EXPECT_EQ(ledger->preferences().getString("main_tab_add_memo_btn"), c.memoPreference) << c.lang;
    EXPECT_EQ(etc.getDBVersion(), 2194);
    EXPECT_EQ(etc.getFistInstallVersion(), VARNEL_VERSION);
    auto filters = etc.listSmsFilter();
    ASSERT_EQ(filters.size(), 11u);
    EXPECT_EQ(filters.front().Data, "Informa:");
    EXPECT_EQ(filters.front().zData, "pt");
    EXPECT_EQ(filters.back().Data, "사용");
    // Writing them again adds nothing.
    const size_t count = etc.getListAll().size();
    EXPECT_TRUE(etc.saveBasicEtc(c.variant));
    EXPECT_EQ(etc.getListAll().size(), count) << c.lang;
  }
}

TEST_F(EtcRepositoryTest, AppValuesUseDefaultsForMissingOrZeroRecords) {
  const AppValues& app = ledger_->commonData().app();
  EXPECT_EQ(app.appStartDay, 1);
  EXPECT_EQ(app.appPeriodType, 6);
  EXPECT_EQ(app.appShowTxMemoButton, 1);
  EtcRepository etc(*ledger_);
  EXPECT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kStartDay, "0"));
  EXPECT_EQ(ledger_->commonData().app().appStartDay, 1);
  EXPECT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kStartDay, "25"));
  EXPECT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kCardAccountingType, "1"));
  EXPECT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kShowTxMemoOnDayList, "3"));
  EXPECT_EQ(ledger_->commonData().app().appStartDay, 25);
  EXPECT_EQ(ledger_->commonData().app().cardCashbookStr, "1");
  EXPECT_EQ(ledger_->commonData().app().appIsShowMemo, 0);
  // The values survive reopening.
  reopen();
  EXPECT_EQ(ledger_->commonData().app().appStartDay, 25);
}

class FakeCloud : public CloudSyncRequester {
 public:
  explicit FakeCloud(bool accept) : accept_(accept) {}
  void requestSyncAndUpload(std::function<void(bool)> done) override {
    ++calls;
    done(accept_);
  }
  int calls = 0;

 private:
  bool accept_;
};

TEST_F(EtcRepositoryTest, CloudConfirmedChangeIsUndoneWhenRefused) {
  EtcRepository etc(*ledger_);
  EXPECT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kStartDay, "1"));
  struct Case {
    std::optional<bool> cloudAccepts;  // nothing: no cloud client
    std::string expected;
    bool ok;
  } cases[] = {{std::nullopt, "1", false}, {false, "1", false}, {true, "15", true}};
  for (const auto& c : cases) {
    std::optional<FakeCloud> cloud;
    if (c.cloudAccepts) cloud.emplace(*c.cloudAccepts);
    ledger_->setCloudSync(cloud ? &*cloud : nullptr);
    Etc record = *etc.getEtcUserSettingByType(etc_kind::kStartDay);
    record.Data = "15";
    std::optional<bool> result;
    etc.updateEtc(record, false, true, [&](bool ok) { result = ok; });
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, c.ok);
    EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kStartDay)->Data, c.expected);
    EXPECT_EQ(ledger_->commonData().app().appStartDay, c.ok ? 15 : 1);
  }
  ledger_->setCloudSync(nullptr);
}

TEST_F(EtcRepositoryTest, OlderLayoutHelpers) {
  EtcRepository etc(*ledger_);
  // Records of an older layout: no identifier, no key, two start-screen records.
  for (int kind : {etc_kind::kOldStartScreen, etc_kind::kOldStartScreen, etc_kind::kMoneyColor}) {
    Etc r;
    r.DataType = kind;
    r.Data = "2";
    ASSERT_TRUE(etc.save(r, "updateEtc"));
  }
  ASSERT_TRUE(etc.migration2192({{etc_kind::kStartDay, "10"}, {etc_kind::kMoneyColor, "1"}}));
  for (const auto& r : etc.getListAll()) {
    ASSERT_TRUE(r.uid);
    EXPECT_EQ(r.uid->size(), 36u);
    EXPECT_EQ(r.datayTypeKey, EtcRepository::datayTypeKeyByDataType(static_cast<int>(*r.DataType)));
  }
  EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kStartDay)->Data, "10");
  EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kMoneyColor)->Data, "1");

  ASSERT_TRUE(etc.startScreenTypeFix());
  EXPECT_FALSE(etc.getEtcUserSettingByType(etc_kind::kOldStartScreen));
  EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kMainTabFirstView)->Data, "2");
  EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kMainTabFirstView)->datayTypeKey, "main_tab_first_view");

  ASSERT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kUseAutoComplete, "0"));
  ASSERT_TRUE(etc.autoCompleteMigration());
  EXPECT_EQ(etc.getEtcUserSettingByType(etc_kind::kUseAutoComplete)->Data, "1");
}

}  // namespace
}  // namespace varnel
