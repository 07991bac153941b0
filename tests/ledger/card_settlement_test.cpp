#include <cmath>
#include <gtest/gtest.h>

#include "ledger/card.h"
#include "model/errors.h"
#include "tests/ledger/card_test_fixture.h"

namespace varnel {
namespace {

using testing::CardTest;

// --- Billing periods -----------------------------------------------------------

struct PeriodCase {
  const char* dayFin;
  int y, m, d;  // today
  const char* ps;
  const char* cs;
  const char* ns;
  const char* datePastEnd;
  const char* dateWillEnd;
};

TEST_F(CardTest, BillingPeriodsFollowTheSettlementDay) {
  const PeriodCase cases[] = {
      // 0, 1, empty and unreadable values all give calendar months.
      {"0", 2026, 12, 10, "2026-11-01", "2026-12-01", "2027-01-01", "2026-10-31", "2026-11-30"},
      {"1", 2026, 12, 10, "2026-11-01", "2026-12-01", "2027-01-01", "2026-10-31", "2026-11-30"},
      {"", 2026, 12, 10, "2026-11-01", "2026-12-01", "2027-01-01", "2026-10-31", "2026-11-30"},
      {"x", 2026, 12, 10, "2026-11-01", "2026-12-01", "2027-01-01", "2026-10-31", "2026-11-30"},
      {"14", 2026, 12, 10, "2026-10-14", "2026-11-14", "2026-12-14", "2026-10-13", "2026-11-13"},
      // Today is the settlement day: a new period has begun.
      {"10", 2026, 12, 10, "2026-11-10", "2026-12-10", "2027-01-10", "2026-11-09", "2026-12-09"},
      {"14", 2026, 1, 5, "2025-11-14", "2025-12-14", "2026-01-14", "2025-11-13", "2025-12-13"},
      // Day 31 is clamped to each month's length.
      {"31", 2026, 3, 5, "2026-01-31", "2026-02-28", "2026-03-31", "2026-01-30", "2026-02-27"},
      {"30", 2028, 3, 1, "2028-01-30", "2028-02-29", "2028-03-30", "2028-01-29", "2028-02-28"},
  };
  CardRepository cards(*ledger_);
  for (const auto& c : cases) {
    Asset card = account("CARD");
    card.Card_DayFin = c.dayFin;
    const CardPeriods p = cards.cardPeriods(card, at(c.y, c.m, c.d, 9));
    const std::string label = std::string("dayFin '") + c.dayFin + "' on " + day(at(c.y, c.m, c.d));
    EXPECT_EQ(day(p.ps), c.ps) << label;
    EXPECT_EQ(day(p.cs), c.cs) << label;
    EXPECT_EQ(day(p.ns), c.ns) << label;
    EXPECT_EQ(day(p.datePastEnd), c.datePastEnd) << label;
    EXPECT_EQ(day(p.dateWillEnd), c.dateWillEnd) << label;
    EXPECT_EQ(day(p.currentEnd), day(p.ns - 86400)) << label;
  }
}

// --- The seven sums -----------------------------------------------------------

TEST_F(CardTest, SettlementSumsSplitRowsByPeriodKindAndPrepaymentTag) {
  // Today 2026-12-10, calendar-month card: ps 11-01, cs 12-01, ns 2027-01-01.
  add("4", "CARD", 100, at(2026, 10, 25));            // paid before cs
  add("0", "CARD", 7, at(2026, 11, 30, 23));          // refund before cs
  add("4", "CARD", 200, at(2026, 12, 1, 0));          // paid from cs on
  add("1", "CARD", 30, at(2026, 10, 5));              // older spending
  tag(add("1", "CARD", 5, at(2026, 10, 6)), "system_prepayment");  // older, tagged: still older
  tag(add("1", "CARD", 10, at(2026, 11, 3)), "system_prepayment");  // older prepayment
  add("1", "CARD", 40, at(2026, 11, 20));             // last bill
  add("0", "CARD", -4, at(2026, 11, 21));             // negative income is spending
  add("3", "CARD", 6, at(2026, 11, 22));              // cash moved out of the card
  tag(add("1", "CARD", 20, at(2026, 12, 2)), "system_prepayment");  // prepayment
  tag(add("1", "CARD", 25, at(2027, 2, 2)), "system_prepayment");   // prepayment, any later date
  tag(add("1", "CARD", 9, at(2026, 12, 3)), "system_prepayment", true);  // dead link: untagged
  add("1", "CARD", 50, at(2026, 12, 9));              // current period
  add("8", "CARD", 1, at(2026, 12, 31, 23));          // last day of the period
  add("1", "CARD", 60, at(2027, 1, 1, 0));            // next period: nowhere
  add("1", "CARD", 999, at(2026, 11, 20), 1);         // deleted
  add("1", "BANK", 888, at(2026, 11, 20));            // another account

  CardRepository cards(*ledger_);
  const CardSums s = cards.cardSumAmount("amountAccount", account("CARD"));
  EXPECT_DOUBLE_EQ(s.inBefore, 107);
  EXPECT_DOUBLE_EQ(s.inAfter, 200);
  EXPECT_DOUBLE_EQ(s.olderPrepayment, 10);
  EXPECT_DOUBLE_EQ(s.prepayment, 45);
  EXPECT_DOUBLE_EQ(s.olderPayAmount, 35);
  EXPECT_DOUBLE_EQ(s.payAmount, 50);
  EXPECT_DOUBLE_EQ(s.willPayAmount, 60);

  EXPECT_THROW(cards.cardSumAmount("Money", account("CARD")), std::invalid_argument);
  const CardSums bank = cards.cardSumAmount("amount", account("BANK"));
  EXPECT_DOUBLE_EQ(bank.payAmount, 888);
  EXPECT_DOUBLE_EQ(bank.willPayAmount, 0);
}

TEST_F(CardTest, DebitCardsDrawingOnTheCardCountWithIt) {
  Asset& linked = addAccount("DEBIT", "G3");
  linked.cardAssetUid = "CARD";
  linked.isDel = 1;  // deleted cards still count
  Asset& elsewhere = addAccount("DEBIT2", "G3");
  elsewhere.cardAssetUid = "BANK";
  Asset& creditOnCard = addAccount("CREDIT2", "G2");
  creditOnCard.cardAssetUid = "CARD";
  saveAccounts();
  add("1", "DEBIT", 15, at(2026, 11, 15));
  add("1", "DEBIT2", 16, at(2026, 11, 15));
  add("1", "CREDIT2", 17, at(2026, 11, 15));
  const CardSums s = CardRepository(*ledger_).cardSumAmount("amount", account("CARD"));
  EXPECT_DOUBLE_EQ(s.payAmount, 15);
}

// The overview sums every card's bill in one go: each card's rows fall into
// its own periods, whatever the other cards' settlement days.
TEST_F(CardTest, SeveralCardsAreSummedTogetherEachOverItsOwnPeriods) {
  // Today 2026-12-10. CARD (day 1): ps 11-01, cs 12-01, ns 2027-01-01.
  // CARD15 (day 15): ps 10-15, cs 11-15, ns 12-15.
  Asset& card15 = addAccount("CARD15", "G2");
  card15.Card_DayFin = "15";
  Asset& debit = addAccount("DEBIT", "G3");
  debit.cardAssetUid = "CARD15";
  addAccount("EMPTY", "G2");
  saveAccounts();
  for (const char* card : {"CARD", "CARD15"}) {
    add("4", card, 100, at(2026, 11, 10));
    add("1", card, 30, at(2026, 10, 20));
    add("1", card, 40, at(2026, 11, 20));
  }
  add("1", "CARD", 5, at(2026, 12, 20));
  add("4", "CARD15", 20, at(2026, 10, 1));
  add("4", "CARD15", 50, at(2026, 11, 16));
  tag(add("1", "CARD15", 7, at(2026, 11, 1)), "system_prepayment");
  add("1", "CARD15", 60, at(2026, 12, 20));
  add("1", "DEBIT", 3, at(2026, 9, 1));
  add("1", "DEBIT", 11, at(2026, 12, 1));

  CardRepository cards(*ledger_);
  const double now = ledger_->env().nowStoreSeconds();
  std::vector<std::pair<Asset, CardPeriods>> asked;
  for (const char* uid : {"CARD15", "CARD", "EMPTY"}) {
    asked.emplace_back(account(uid), cards.cardPeriods(account(uid), now));
  }
  const std::vector<CardSums> sums = cards.cardSumAmounts("amountAccount", asked);
  ASSERT_EQ(sums.size(), 3u);
  struct Expected {
    double inBefore, inAfter, olderPrepayment, prepayment, olderPayAmount, payAmount, willPayAmount;
  };
  const Expected expected[] = {
      {120, 50, 7, 0, 3, 30, 51},  // CARD15 with its debit card
      {100, 0, 0, 0, 30, 40, 5},   // CARD
      {0, 0, 0, 0, 0, 0, 0},       // EMPTY
  };
  for (size_t i = 0; i < 3; ++i) {
    const CardSums& s = sums[i];
    const Expected& e = expected[i];
    const std::string card = *asked[i].first.uid;
    EXPECT_DOUBLE_EQ(s.inBefore, e.inBefore) << card;
    EXPECT_DOUBLE_EQ(s.inAfter, e.inAfter) << card;
    EXPECT_DOUBLE_EQ(s.olderPrepayment, e.olderPrepayment) << card;
    EXPECT_DOUBLE_EQ(s.prepayment, e.prepayment) << card;
    EXPECT_DOUBLE_EQ(s.olderPayAmount, e.olderPayAmount) << card;
    EXPECT_DOUBLE_EQ(s.payAmount, e.payAmount) << card;
    EXPECT_DOUBLE_EQ(s.willPayAmount, e.willPayAmount) << card;
    // A card asked alone gets the same sums.
    const CardSums alone = cards.cardSumAmount("amountAccount", asked[i].first, asked[i].second);
    EXPECT_EQ(alone.inBefore, s.inBefore) << card;
    EXPECT_EQ(alone.willPayAmount, s.willPayAmount) << card;
  }
  // The settlements come back in the order asked.
  const auto settled = cards.cardSettlements({account("CARD15"), account("CARD")});
  ASSERT_EQ(settled.size(), 2u);
  EXPECT_EQ(settled[0].periods.cs, asked[0].second.cs);
  EXPECT_EQ(settled[1].periods.cs, asked[1].second.cs);
}

// --- Settlement figures ---------------------------------------------------------

struct FigureCase {
  const char* what;
  CardSums sums;
  double past, last, current;
};

TEST(CardSettlementFigures, SettleOlderSpendingThenPrepaymentsThenTheLastBill) {
  //                                inB   inA  oPre  pre  oPay  pay  will
  const FigureCase cases[] = {
      {"nothing at all", {0, 0, 0, 0, 0, 0, 0}, 0, 0, 0},
      {"last bill open", {0, 0, 0, 0, 0, 500, 70}, 0, -500, -70},
      {"older bill unpaid is overdue", {0, 0, 0, 0, 300, 500, 0}, -300, -500, 0},
      {"older bill paid before the period", {300, 0, 0, 0, 300, 500, 0}, 0, -500, 0},
      {"current payment covers older debt, then the last bill", {0, 600, 0, 0, 300, 500, 0}, 0, -200, 0},
      {"current payment beyond both bills", {0, 1000, 0, 0, 300, 500, 50}, 0, 0, 150},
      {"current payment short of the older debt", {100, 150, 0, 0, 300, 500, 0}, -50, -500, 0},
      {"older prepayment counts as older", {0, 0, 40, 0, 0, 0, 0}, -40, 0, 0},
      {"prepayment paid at once", {0, 200, 0, 200, 0, 0, 30}, 0, 0, -30},
      {"prepayment unpaid shows as overdue", {0, 0, 0, 200, 0, 0, 0}, -200, 0, 0},
      {"prepayment covered by credit left over", {500, 0, 0, 200, 0, 100, 0}, 0, 0, 200},
      {"prepayment partly covered", {150, 0, 0, 200, 0, 100, 0}, -150, 0, 0},
  };
  for (const auto& c : cases) {
    const CardFigures f = settlementFigures(c.sums);
    EXPECT_DOUBLE_EQ(f.displayPastPayAmount, c.past) << c.what;
    EXPECT_DOUBLE_EQ(f.LastMonthMoney, c.last) << c.what;
    EXPECT_DOUBLE_EQ(f.ThisMonthMoney, c.current) << c.what;
  }
}

TEST_F(CardTest, SettlementOfAHandMadeHistory) {
  // October unpaid, November billed, a payment on 5 December larger than the
  // October debt, spending this month.
  add("1", "CARD", 30000, at(2026, 10, 10));
  add("1", "CARD", 50000, at(2026, 11, 10));
  add("4", "CARD", 60000, at(2026, 12, 5));
  add("1", "CARD", 7000, at(2026, 12, 8));
  CardSettlement s = cardSettlement(*ledger_, account("CARD"));
  EXPECT_EQ(s.displayPastPayAmount, 0);
  EXPECT_EQ(s.LastMonthMoney, -20000);
  EXPECT_EQ(s.ThisMonthMoney, -7000);
  EXPECT_EQ(day(s.datePastEnd), "2026-10-31");
  EXPECT_EQ(day(s.dateWillEnd), "2026-11-30");

  // A second payment clears the bill and leaves credit for this month.
  add("4", "CARD", 30000, at(2026, 12, 9));
  s = cardSettlement(*ledger_, account("CARD"));
  EXPECT_EQ(s.LastMonthMoney, 0);
  EXPECT_FALSE(std::signbit(s.LastMonthMoney));
  EXPECT_EQ(s.ThisMonthMoney, 3000);
}

TEST_F(CardTest, SettlementIsRoundedToTheCardCurrency) {
  Asset& dollars = addAccount("USDCARD", "G2", "KRW_USD");
  dollars.Card_DayFin = "1";
  saveAccounts();
  add("1", "USDCARD", 10.004, at(2026, 11, 3));
  add("1", "USDCARD", 2.333, at(2026, 11, 4));
  add("1", "USDCARD", 0.125, at(2026, 12, 4));
  const CardSettlement s = cardSettlement(*ledger_, account("USDCARD"));
  EXPECT_DOUBLE_EQ(s.LastMonthMoney, -12.34);
  EXPECT_DOUBLE_EQ(s.ThisMonthMoney, -0.13);
  EXPECT_DOUBLE_EQ(s.sums.payAmount, 12.337);
}

// --- Payment dates -----------------------------------------------------------------

TEST_F(CardTest, PayDateIsTheNextPayDayAfterTheDate) {
  struct Case {
    int y, m, d, payDay;
    const char* expected;
  } cases[] = {
      {2026, 11, 13, 25, "2026-11-25"},
      {2026, 11, 30, 1, "2026-12-01"},
      {2026, 11, 30, 0, "2026-12-01"},   // 0 means 1
      {2026, 11, 25, 25, "2026-12-25"},  // strictly after the date
      {2026, 12, 31, 31, "2027-01-31"},
      // The clamped day does not come within a month: the pay day of the
      // month reached, never a day of the month after it.
      {2027, 1, 31, 31, "2027-02-28"},
      {2026, 3, 31, 31, "2026-04-30"},
      {2028, 1, 31, 30, "2028-02-29"},
      {2027, 1, 29, 29, "2027-02-28"},
  };
  CardRepository cards(*ledger_);
  for (const auto& c : cases) {
    EXPECT_EQ(day(cards.payDate(at(c.y, c.m, c.d, 0), c.payDay)), c.expected)
        << day(at(c.y, c.m, c.d)) << " pay day " << c.payDay;
  }
}

// Pay days 29 to 31 were clamped to the month the period ended in and then
// looked for in the next month: the February bill with pay day 30 fell on
// 28 March, pay day 31 after November on 30 December.
TEST_F(CardTest, PayDay29To31IsClampedToThePaymentMonthNotThePeriodEndMonth) {
  struct Case {
    int y, m, d, payDay;
    const char* expected;
  } cases[] = {
      {2027, 2, 28, 30, "2027-03-30"},
      {2027, 2, 28, 29, "2027-03-29"},
      {2027, 2, 28, 31, "2027-03-31"},
      {2028, 2, 29, 31, "2028-03-31"},
      {2026, 11, 30, 31, "2026-12-31"},
      {2026, 9, 30, 31, "2026-10-31"},
      {2026, 4, 30, 31, "2026-05-31"},
      // Already right before, and so keeping the payment identifiers made from them.
      {2026, 12, 31, 31, "2027-01-31"},
      {2027, 1, 31, 30, "2027-02-28"},
      {2026, 10, 31, 31, "2026-11-30"},
      {2026, 11, 10, 31, "2026-11-30"},
  };
  CardRepository cards(*ledger_);
  for (const auto& c : cases) {
    EXPECT_EQ(day(cards.payDate(at(c.y, c.m, c.d, 0), c.payDay)), c.expected)
        << day(at(c.y, c.m, c.d)) << " pay day " << c.payDay;
  }
  // The card's status and its payment agree on the day.
  account("CARD").Card_DayPay = "30";
  saveAccounts();
  setToday(2027, 3, 10);
  const CardSettlement s = cardSettlement(*ledger_, account("CARD"));
  const CardPaymentDates due = cards.newPayDate(s.datePastEnd, s.dateWillEnd, 30, 1);
  EXPECT_EQ(day(s.dateWillEnd), "2027-02-28");
  EXPECT_EQ(day(due.paymentDate), "2027-03-30");
}

TEST_F(CardTest, NewPayDateGivesTheNextAndThePreviousBillsPaymentDays) {
  CardRepository cards(*ledger_);
  CardPaymentDates p = cards.newPayDate(at(2026, 10, 13, 0), at(2026, 11, 13, 0), 25, 14);
  EXPECT_EQ(day(p.paymentDate), "2026-11-25");
  EXPECT_EQ(day(p.pastPaymentDate), "2026-10-25");
  // Both would fall on the same day: the earlier one moves ten days back.
  p = cards.newPayDate(at(2026, 11, 10, 0), at(2026, 11, 13, 0), 5, 14);
  EXPECT_EQ(day(p.paymentDate), "2026-12-05");
  EXPECT_EQ(day(p.pastPaymentDate), "2026-11-05");
}

// --- Usage target ------------------------------------------------------------------

TEST_F(CardTest, UsageCountsSpendingOfTheMonthLeavingOutExceptions) {
  add("1", "CARD", 1000, at(2026, 12, 1, 0));
  add("3", "CARD", 300, at(2026, 12, 2));
  add("8", "CARD", 200, at(2026, 12, 31, 23));
  add("0", "CARD", 5000, at(2026, 12, 3));  // income counts nothing
  add("4", "CARD", 5000, at(2026, 12, 3));
  tag(add("1", "CARD", 500, at(2026, 12, 4)), "system_card_usage_exception");
  tag(add("1", "CARD", 50, at(2026, 12, 4)), "system_card_usage_exception", true);  // dead link
  add("1", "CARD", 999, at(2026, 12, 5), 1);
  add("1", "BANK", 777, at(2026, 12, 5));
  add("1", "CARD", 40000, at(2026, 11, 30, 23));
  CardRepository cards(*ledger_);
  const PeriodTotalAmount u = cards.periodCardUsage(account("CARD"), 202612);
  EXPECT_DOUBLE_EQ(u.amount, 1550);
  EXPECT_EQ(day(u.startDate), "2026-12-01");
  EXPECT_EQ(day(u.endDate), "2026-12-31");

  Asset threeMonths = account("CARD");
  threeMonths.card_usage_hurdle_type = 2;
  const PeriodTotalAmount t = cards.periodCardUsage(threeMonths, 202612);
  EXPECT_EQ(day(t.startDate), "2026-10-01");
  EXPECT_DOUBLE_EQ(t.amount, 41550);

  EXPECT_THROW(cards.periodCardUsage(account("CARD"), 202613), InputError);
  EXPECT_THROW(cards.periodCardUsage(account("CARD"), 0), InputError);
}

TEST_F(CardTest, AnInstalmentPurchaseCountsWholeInItsFirstMonthOnly) {
  BaseRepository repo(*ledger_);
  std::string parent;
  for (int k = 1; k <= 3; ++k) {
    InOutCome row = add("1", "CARD", 100000, at(2026, 11 + k, 15));
    if (k == 1) parent = *row.uid;
    row.cardDivideUid = parent;
    row.cardDivideMonth = "10001";
    row.cardDivideMonthStr = "(" + std::to_string(k) + "/3)";
    ASSERT_TRUE(repo.save(row, "updateInOutCome"));
  }
  CardRepository cards(*ledger_);
  EXPECT_DOUBLE_EQ(cards.periodCardUsage(account("CARD"), 202612).amount, 300000);
  EXPECT_DOUBLE_EQ(cards.periodCardUsage(account("CARD"), 202701).amount, 0);
  EXPECT_DOUBLE_EQ(cards.periodCardUsage(account("CARD"), 202702).amount, 0);
}

TEST_F(CardTest, UsageViewComparesWithTheTarget) {
  add("1", "CARD", 120000, at(2026, 12, 3));
  add("1", "CARD", 250000, at(2026, 10, 3));
  CardRepository cards(*ledger_);

  CardUsageView v = cards.cardUsageView(account("CARD"));  // this month, default target
  EXPECT_DOUBLE_EQ(v.target, 300000);
  EXPECT_FALSE(v.reached);
  EXPECT_DOUBLE_EQ(v.remaining, 180000);
  EXPECT_EQ(v.label, "월 카드 실적 (26.12.1 ~ 26.12.31)");

  Asset card = account("CARD");
  card.card_usage_hurdle_amount = 100000;
  v = cards.cardUsageView(card, 202612);
  EXPECT_TRUE(v.reached);
  EXPECT_DOUBLE_EQ(v.remaining, 0);

  // Three months: the target is a monthly average, so 3 × 150000 is needed.
  card.card_usage_hurdle_type = 3;
  card.card_usage_hurdle_amount = 150000;
  v = cards.cardUsageView(card, 202612);
  EXPECT_TRUE(v.threeMonths);
  EXPECT_DOUBLE_EQ(v.usage.amount, 370000);
  EXPECT_FALSE(v.reached);
  EXPECT_DOUBLE_EQ(v.remaining, 80000);
  EXPECT_EQ(v.label, "3개월 평균 실적 (26.10.1 ~ 26.12.31)");

  // A target of 0 asks for nothing.
  card.card_usage_hurdle_amount = 0;
  v = cards.cardUsageView(card, 202612);
  EXPECT_FALSE(v.hasTarget);
  EXPECT_FALSE(v.reached);
  EXPECT_DOUBLE_EQ(v.remaining, 0);
}

}  // namespace
}  // namespace varnel
