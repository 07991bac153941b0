#include <gtest/gtest.h>

#include "ledger/repeat.h"
#include "setup/app_start.h"
#include "tests/ledger/card_test_fixture.h"

namespace varnel {
namespace {

using testing::CardTest;

// The card ledger (a won card settled on the 1st, paid on the 5th from BANK
// automatically), "now" 10 December 2026, with a monthly subscription of
// 30000 booked on the card since 20 November.
class StartRoutineTest : public CardTest {
 protected:
  void SetUp() override {
    CardTest::SetUp();
    BaseRepository repo(*ledger_);
    Category food = repo.newObjectForEntity<Category>("FOOD");
    food.Name = "Food";
    food.doType = 1;
    food.Status = 0;
    food.isDel = 0;
    ASSERT_TRUE(repo.save(food, "updateCategory"));
    RepeatTransaction sub = repo.newObjectForEntity<RepeatTransaction>("SUB");
    sub.repeatType = repeat_type::kMonthly;
    sub.doType = 1;
    sub.assetUid = "CARD";
    sub.categoryUid = "FOOD";
    sub.currencyUid = "KRW_KRW";
    sub.amountSub = 30000;
    sub.nextDate = storeSecondsToMs(at(2026, 11, 20, 10));
    sub.isDel = 0;
    ASSERT_TRUE(repo.save(sub, "updateRepeat"));
    ledger_->commonData().ReloadTheData();
    add("1", "CARD", 50000, at(2026, 11, 3));
  }
  std::optional<InOutCome> row(const std::string& uid) { return BaseRepository(*ledger_).dataByUid<InOutCome>(uid); }
  int64_t nextDate() { return *BaseRepository(*ledger_).dataByUid<RepeatTransaction>("SUB")->nextDate; }
};

TEST_F(StartRoutineTest, RecurringEntriesAreBookedBeforeTheCardBillTheyBelongToIsPaid) {
  const auto first = runStartRoutine(*ledger_);
  ASSERT_TRUE(first.isOk()) << first.status().message();
  const std::vector<InOutCome> booked = first->repeats.rows();
  ASSERT_EQ(booked.size(), 1u);
  EXPECT_EQ(booked[0].uid, "SUB_2026-11-20_1");
  EXPECT_EQ(nextDate(), storeSecondsToMs(at(2026, 12, 20, 10)));
  // November's bill holds the subscription: 50000 + 30000.
  ASSERT_EQ(first->payments.bookings.size(), 1u);
  EXPECT_EQ(first->payments.bookings[0].transferIn->amountSub, 80000);
  EXPECT_EQ(ledger_->preferences().getString(kAutoPaymentPreferenceKey), "20261210");

  const int64_t rows = count("SELECT COUNT(*) FROM ZINOUTCOME");
  const auto again = runStartRoutine(*ledger_);
  ASSERT_TRUE(again.isOk());
  EXPECT_TRUE(again->repeats.rows().empty());
  EXPECT_TRUE(again->payments.alreadyRanToday);
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), rows);
}

TEST_F(StartRoutineTest, AFailureBooksNothingAndLeavesTheDayForTheNextStart) {
  ledger_->store().db().exec(
      "CREATE TEMP TRIGGER refuse BEFORE INSERT ON ZINOUTCOME WHEN NEW.ZUID = 'CARD_2026-12-05_3' "
      "BEGIN SELECT RAISE(ABORT, 'disk says no'); END");
  const auto failed = runStartRoutine(*ledger_);
  ASSERT_FALSE(failed.isOk());
  EXPECT_NE(failed.status().message().find("disk says no"), std::string::npos);
  EXPECT_FALSE(row("SUB_2026-11-20_1"));
  EXPECT_FALSE(row("CARD_2026-12-05_4"));
  EXPECT_EQ(nextDate(), storeSecondsToMs(at(2026, 11, 20, 10)));
  EXPECT_FALSE(ledger_->preferences().getString(kAutoPaymentPreferenceKey));

  ledger_->store().db().exec("DROP TRIGGER refuse");
  const auto retried = runStartRoutine(*ledger_);
  ASSERT_TRUE(retried.isOk());
  EXPECT_TRUE(row("SUB_2026-11-20_1"));
  EXPECT_EQ(row("CARD_2026-12-05_3")->amountSub, 80000);
}

}  // namespace
}  // namespace varnel
