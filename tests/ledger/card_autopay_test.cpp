#include <gtest/gtest.h>

#include "ledger/card.h"
#include "tests/ledger/card_test_fixture.h"

namespace varnel {
namespace {

using testing::CardTest;

class AutoPaymentTest : public CardTest {
 protected:
  std::optional<InOutCome> row(const std::string& uid) {
    return BaseRepository(*ledger_).dataByUid<InOutCome>(uid);
  }
  int64_t rows() { return count("SELECT COUNT(*) FROM ZINOUTCOME"); }
};

TEST_F(AutoPaymentTest, BooksTheLastBillOnItsPaymentDay) {
  // Calendar-month card paid on the 5th; today is 10 December.
  add("1", "CARD", 50000, at(2026, 11, 20));
  add("1", "CARD", 7000, at(2026, 12, 8));  // this month's spending waits
  AutoPaymentRun run = CardRepository(*ledger_).funcAutoPayment();
  ASSERT_TRUE(run.booked);
  ASSERT_EQ(run.bookings.size(), 1u);

  auto in = row("CARD_2026-12-05_4");
  auto out = row("CARD_2026-12-05_3");
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->Do_Type, "4");
  EXPECT_EQ(in->assetUid, "CARD");
  EXPECT_EQ(in->toAssetUid, "BANK");
  EXPECT_EQ(out->Do_Type, "3");
  EXPECT_EQ(out->assetUid, "BANK");
  EXPECT_EQ(out->toAssetUid, "CARD");
  EXPECT_EQ(in->txUidTrans, out->txUidTrans);
  EXPECT_EQ(in->txUidTrans->size(), 36u);
  for (const auto& r : {*in, *out}) {
    EXPECT_EQ(day(*r.Date), "2026-12-05");
    EXPECT_EQ(*r.Date, at(2026, 12, 5, 0));
    EXPECT_EQ(r.txDateStr, "2026-12-05");
    EXPECT_EQ(r.amountSub, 50000);
    EXPECT_EQ(r.amount, 50000);
    EXPECT_EQ(r.amountAccount, 50000);
    EXPECT_EQ(r.currencyUid, "KRW_KRW");
    EXPECT_EQ(r.Content, "카드대금");
    EXPECT_EQ(r.memo, "자동이체");
    EXPECT_EQ(r.utime, 1700000000000);  // the card's stamp: equal on every device
    EXPECT_EQ(r.isSynced, 1);
    EXPECT_EQ(r.isDel, 0);
  }
  EXPECT_EQ(ledger_->preferences().getString(kAutoPaymentPreferenceKey), "20261210");

  // The bill is paid now.
  const CardSettlement s = cardSettlement(*ledger_, account("CARD"));
  EXPECT_EQ(s.LastMonthMoney, 0);
  EXPECT_EQ(s.ThisMonthMoney, -7000);
}

TEST_F(AutoPaymentTest, RunsOncePerDayAndNeverBooksAPaymentTwice) {
  add("1", "CARD", 50000, at(2026, 11, 20));
  CardRepository cards(*ledger_);
  ASSERT_TRUE(cards.funcAutoPayment().booked);
  const int64_t after = rows();

  AutoPaymentRun again = cards.funcAutoPayment();
  EXPECT_TRUE(again.alreadyRanToday);
  EXPECT_FALSE(again.booked);
  EXPECT_EQ(rows(), after);

  // The next day the rows are found; nothing more is booked.
  setToday(2026, 12, 11);
  AutoPaymentRun nextDay = cards.funcAutoPayment();
  EXPECT_FALSE(nextDay.alreadyRanToday);
  EXPECT_FALSE(nextDay.booked);
  EXPECT_EQ(rows(), after);
  EXPECT_EQ(ledger_->preferences().getString(kAutoPaymentPreferenceKey), "20261211");
}

TEST_F(AutoPaymentTest, RowsThatArrivedByOtherMeansAreNotBookedAgain) {
  add("1", "CARD", 50000, at(2026, 11, 20));
  // The card side arrived (and was deleted by the person) on another device:
  // the debt is still open, but the payment exists.
  InOutCome deleted = BaseRepository(*ledger_).newObjectForEntity<InOutCome>("CARD_2026-12-05_4");
  deleted.Do_Type = "4";
  deleted.assetUid = "CARD";
  deleted.amountAccount = 50000;
  deleted.Date = at(2026, 12, 5, 0);
  deleted.isDel = 1;
  ASSERT_TRUE(BaseRepository(*ledger_).save(deleted, "updateInOutCome"));
  const int64_t before = rows();
  AutoPaymentRun run = CardRepository(*ledger_).funcAutoPayment();
  EXPECT_FALSE(run.booked);
  EXPECT_EQ(rows(), before);
  EXPECT_FALSE(row("CARD_2026-12-05_3"));
}

TEST_F(AutoPaymentTest, AnExistingPayingSideIsKeptAndLinked) {
  add("1", "CARD", 50000, at(2026, 11, 20));
  InOutCome out = BaseRepository(*ledger_).newObjectForEntity<InOutCome>("CARD_2026-12-05_3");
  out.Do_Type = "3";
  out.assetUid = "BANK";
  out.toAssetUid = "CARD";
  out.txUidTrans = "LINK";
  out.amountAccount = 50000;
  out.Date = at(2026, 12, 5, 0);
  ASSERT_TRUE(BaseRepository(*ledger_).save(out, "updateInOutCome"));
  AutoPaymentRun run = CardRepository(*ledger_).funcAutoPayment();
  ASSERT_TRUE(run.booked);
  EXPECT_FALSE(run.bookings[0].transferOut);
  EXPECT_EQ(row("CARD_2026-12-05_4")->txUidTrans, "LINK");
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME WHERE ZUID = 'CARD_2026-12-05_3'"), 1);
}

TEST_F(AutoPaymentTest, BeforeThePayDayOnlyTheOverdueAmountIsPaidOnItsOwnDay) {
  setToday(2026, 12, 3);
  add("1", "CARD", 30000, at(2026, 10, 20));  // overdue
  add("1", "CARD", 50000, at(2026, 11, 20));  // due on 5 December
  AutoPaymentRun run = CardRepository(*ledger_).funcAutoPayment();
  ASSERT_TRUE(run.booked);
  auto in = row("CARD_2026-11-05_4");
  ASSERT_TRUE(in);
  EXPECT_EQ(in->amountSub, 30000);
  EXPECT_FALSE(row("CARD_2026-12-05_4"));
}

TEST_F(AutoPaymentTest, CardsThatCannotOrNeedNotPayAreSkipped) {
  struct Setup {
    const char* uid;
    const char* payer;
    int autoPay;
    int isDel;
  };
  Asset& gone = addAccount("GONE", "G1");
  gone.isDel = 1;
  Asset& gone2 = addAccount("GONE2", "G1");
  gone2.isDel = 2;
  const Setup setups[] = {
      {"NOPAYER", "", 1, 0},        {"UNKNOWNPAYER", "NOBODY", 1, 0}, {"DELETEDPAYER", "GONE", 1, 0},
      {"PAYER2", "GONE2", 1, 0}, {"MANUAL", "BANK", 0, 0},        {"DELETEDCARD", "BANK", 1, 1},
      {"SELFPAID", "SELFPAID", 1, 0},
  };
  for (const auto& s : setups) {
    Asset& card = addAccount(s.uid, "G2");
    card.cardAssetUid = s.payer;
    card.isCardAutoPay = s.autoPay;
    card.isDel = s.isDel;
    card.Card_DayPay = "5";
  }
  Asset& small = addAccount("SMALL", "G2", "KRW_USD");  // owes less than a cent
  small.cardAssetUid = "BANK";
  small.isCardAutoPay = 1;
  saveAccounts();
  for (const auto& s : setups) add("1", s.uid, 1000, at(2026, 11, 20));
  add("1", "SMALL", 0.004, at(2026, 11, 20));
  const int64_t before = rows();
  AutoPaymentRun run = CardRepository(*ledger_).funcAutoPayment();
  EXPECT_FALSE(run.booked);
  EXPECT_EQ(rows(), before);
}

TEST_F(AutoPaymentTest, AForeignCurrencyCardKeepsItsDecimalsAndRate) {
  Asset& dollars = addAccount("USDCARD", "G2", "KRW_USD");
  dollars.cardAssetUid = "BANK";
  dollars.isCardAutoPay = 1;
  dollars.Card_DayPay = "5";
  saveAccounts();
  add("1", "USDCARD", 12.34, at(2026, 11, 20));
  ASSERT_TRUE(CardRepository(*ledger_).funcAutoPayment().booked);
  auto in = row("USDCARD_2026-12-05_4");
  auto out = row("USDCARD_2026-12-05_3");
  ASSERT_TRUE(in && out);
  EXPECT_EQ(in->currencyUid, "KRW_USD");
  EXPECT_DOUBLE_EQ(*in->amountSub, 12.34);
  EXPECT_DOUBLE_EQ(*in->amountAccount, 12.34);
  EXPECT_DOUBLE_EQ(*in->amount, 16042);
  // The paying account is in won: its side is the won amount.
  EXPECT_DOUBLE_EQ(*out->amountAccount, 16042);
  EXPECT_DOUBLE_EQ(*out->amountSub, 12.34);
}

TEST_F(AutoPaymentTest, TheFebruaryBillWithPayDay30IsBookedOn30March) {
  account("CARD").Card_DayPay = "30";
  saveAccounts();
  add("1", "CARD", 50000, at(2027, 2, 10));
  setToday(2027, 3, 29);
  CardRepository cards(*ledger_);
  EXPECT_FALSE(cards.funcAutoPayment().booked);  // not due yet, and never on the 28th
  EXPECT_FALSE(row("CARD_2027-03-28_4"));
  setToday(2027, 3, 31);
  ASSERT_TRUE(cards.funcAutoPayment().booked);
  auto in = row("CARD_2027-03-30_4");
  ASSERT_TRUE(in);
  EXPECT_EQ(in->amountSub, 50000);
}

TEST_F(AutoPaymentTest, AFailedWriteIsLoggedAndLeavesNothingHalfWritten) {
  account("CARD").Order = 1;
  Asset& second = addAccount("CARD2", "G2");
  second.Order = 2;
  second.cardAssetUid = "BANK";
  second.isCardAutoPay = 1;
  second.Card_DayPay = "5";
  saveAccounts();
  add("1", "CARD", 50000, at(2026, 11, 20));
  add("1", "CARD2", 20000, at(2026, 11, 20));
  // The paying side of the second card cannot be written.
  ledger_->store().db().exec(
      "CREATE TRIGGER refuse BEFORE INSERT ON ZINOUTCOME WHEN NEW.ZUID = 'CARD2_2026-12-05_3' "
      "BEGIN SELECT RAISE(ABORT, 'disk says no'); END");
  AutoPaymentRun run = CardRepository(*ledger_).funcAutoPayment();
  ASSERT_TRUE(run.booked);
  ASSERT_EQ(run.bookings.size(), 1u);
  EXPECT_EQ(run.bookings[0].cardUid, "CARD");
  EXPECT_TRUE(row("CARD_2026-12-05_4"));
  EXPECT_FALSE(row("CARD2_2026-12-05_4"));  // its transfer-in row went back with it
  EXPECT_NE(logText().find("updateInOutCome fail disk says no"), std::string::npos);
  EXPECT_FALSE(run.status.isOk());  // the run says so, for a caller that must not call it a success
  EXPECT_NE(run.status.message().find("disk says no"), std::string::npos);
  EXPECT_EQ(ledger_->preferences().getString(kAutoPaymentPreferenceKey), "20261210");
}

}  // namespace
}  // namespace varnel
