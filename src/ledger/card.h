// Credit cards: billing periods by settlement day, the settlement figures of
// the bill (overdue, last bill open, current period), payment dates, automatic
// payment and the usage target. Instalments live in card_installment.h.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/base_repository.h"

namespace varnel {

// The usage target of a card without one of its own.
inline constexpr int64_t kDefaultCardUsageHurdle = 300000;
// Device preference holding the day (yyyymmdd) automatic payments last ran.
inline constexpr const char* kAutoPaymentPreferenceKey = "funcAutoPayment";

// A card's settlement day as a period start day: 1 to 31; "0", "1", an empty
// or unreadable value all mean 1.
int cardDayFin(const Asset& card);
// A card's payment day: 1 to 31; "0", an empty or unreadable value mean 1.
int cardDayPay(const Asset& card);

// The billing periods around one day, every bound a local midnight:
// previous period [ps, cs − 1 day], current period [cs, ns − 1 day].
struct CardPeriods {
  double ps = 0;
  double cs = 0;
  double ns = 0;
  double datePastEnd = 0;   // ps − 1 day: end of the period before the previous one
  double dateWillEnd = 0;   // cs − 1 day: end of the previous period (the next bill)
  double currentEnd = 0;    // ns − 1 day
};

// The seven sums the settlement figures are made from, in the field asked
// for; a row's "spending" is its amount for kinds 1, 3, 8 and minus its
// amount for kinds 0, 4, 7 when that amount is negative.
struct CardSums {
  double inBefore = 0;         // money in (kinds 0, 4, 7, amount > 0) before cs
  double inAfter = 0;          // the same from cs on
  double olderPrepayment = 0;  // spending of prepayment-tagged rows in [ps, cs)
  double prepayment = 0;       // spending of prepayment-tagged rows from cs on
  double olderPayAmount = 0;   // spending of every row before ps
  double payAmount = 0;        // spending of untagged rows in [ps, cs): the last bill
  double willPayAmount = 0;    // spending of untagged rows in [cs, ns)
};

// The figures the account overview shows for a card, in the card's currency.
struct CardFigures {
  double displayPastPayAmount = 0;  // −overdue (older bills not covered), ≤ 0
  double LastMonthMoney = 0;        // −the open part of the last bill, ≤ 0
  double ThisMonthMoney = 0;        // remaining credit − spending of the current period
};

// What the overview keeps for a card: the figures rounded to the card
// currency's decimals, the two settlement dates, and what they came from.
struct CardSettlement {
  double displayPastPayAmount = 0;
  double LastMonthMoney = 0;
  double ThisMonthMoney = 0;
  double datePastEnd = 0;
  double dateWillEnd = 0;
  CardPeriods periods;
  CardSums sums;
};

// The payment day of the next bill and of the bill before it.
struct CardPaymentDates {
  double paymentDate = 0;
  double pastPaymentDate = 0;
};

// Card usage over a window (`PeriodTotalAmount`): [startDate, endDate] are
// the first and last day, local midnights.
struct PeriodTotalAmount {
  double startDate = 0;
  double endDate = 0;
  double amount = 0;
};

// The usage view of a card for one month.
struct CardUsageView {
  bool threeMonths = false;  // `card_usage_hurdle_type` other than 0 and 1
  PeriodTotalAmount usage;
  double target = 0;         // `card_usage_hurdle_amount`, 300000 when absent
  bool hasTarget = false;    // a target of 0 asks for nothing
  bool reached = false;
  double remaining = 0;      // still to spend; 0 once reached or without a target
  std::string label;         // "<label> (yy.M.d ~ yy.M.d)"
};

// One automatic payment booked: the transfer-in row on the card and the
// transfer-out row on the paying account (absent when it already existed).
struct AutoPaymentBooking {
  std::string cardUid;
  std::optional<InOutCome> transferIn;
  std::optional<InOutCome> transferOut;
};

struct AutoPaymentRun {
  bool alreadyRanToday = false;  // the day's run was done before; nothing looked at
  bool booked = false;           // at least one payment was written
  std::vector<AutoPaymentBooking> bookings;
  // The first card whose rows the store refused (its rows were not
  // written; the other cards went on); ok when none.
  Status status;
};

// Figures from the sums alone: payments before the current period settle
// older spending first, then current prepayments, then the last bill, then
// prepayments left open; what remains offsets the current period. Not rounded.
CardFigures settlementFigures(CardSums sums);

class CardRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // The billing periods of the card around `today` (month periods starting
  // on the settlement day, without the weekend shift).
  CardPeriods cardPeriods(const Asset& card, double today) const;

  // The seven sums of `field` ("amountAccount", "amount" or "amount_sub")
  // over the live rows of the card and of the debit cards drawing on it
  // (deleted and hidden cards included), for the periods around today. One
  // aggregate query; all 0 when there are no rows. Throws
  // std::invalid_argument for another field name.
  CardSums cardSumAmount(const std::string& field, const Asset& card);
  CardSums cardSumAmount(const std::string& field, const Asset& card, const CardPeriods& periods);
  // The same sums for several cards at once, each over its own periods, in
  // the order asked: two queries for all of them (per 200 accounts).
  std::vector<CardSums> cardSumAmounts(const std::string& field,
                                       const std::vector<std::pair<Asset, CardPeriods>>& cards);

  // The card's settlement figures for today, from its "amountAccount" sums,
  // rounded to the decimals of the card's currency (the main currency when
  // the card has none).
  CardSettlement cardSettlement(const Asset& card);
  // The settlements of several cards, in the order asked, from one set of
  // queries read in one snapshot.
  std::vector<CardSettlement> cardSettlements(const std::vector<Asset>& cards);

  // The next day after `date` whose day of the month is the pay day `payDay`
  // (0 means 1) clamped to the length of that day's own month: pay day 30
  // after 28 February is 30 March, after 10 February it is 28 February.
  // Same time of day as `date`.
  double payDate(double date, int payDay) const;
  // "paymentDate" = payDate(dateWillEnd); "pastPaymentDate" = payDate of the
  // end of the period holding datePastEnd, moved 10 days earlier when both
  // would fall on the same day.
  CardPaymentDates newPayDate(double datePastEnd, double dateWillEnd, int payDay, int dayFin) const;

  // Usage of the card in the month `yyyymm` (monthly target) or the three
  // months ending with it (three-month target): live rows of the card, those
  // tagged "system_card_usage_exception" left out; kinds 1, 3 and 8
  // count their `amountAccount`; an instalment purchase counts whole, kinds 1
  // and 3 of its group, in the month of its first instalment only. Throws
  // InputError for a month that is not yyyymm.
  PeriodTotalAmount periodCardUsage(const Asset& card, int yyyymm);
  // The usage view of the month `yyyymm` (the current month when absent).
  CardUsageView cardUsageView(const Asset& card, std::optional<int> yyyymm = std::nullopt);

  // The live rows of an instalment group, by date; none for "" and "0".
  std::vector<InOutCome> getInOutComeByCardDivideUid(const std::string& uid);

  // Books the due automatic card payments, at most once a day (the day is
  // kept in the device preferences under "funcAutoPayment"). For each live
  // credit card with automatic payment whose paying account is neither
  // missing nor deleted: the payment date and amount come from the card's
  // settlement figures (amounts in the card's currency and decimals, brought
  // into the main currency at its rate, and into the paying account's
  // currency on its side); a payment whose deterministic identifiers
  // ("<card uid>_<yyyy-MM-dd>_4" and "…_3") already exist is not booked
  // again. Each card's rows are written in one store transaction; a failed
  // write is logged ("updateInOutCome fail …") and the other cards go on.
  AutoPaymentRun funcAutoPayment();
  // The parts of funcAutoPayment, for a caller that books the payments
  // inside a store transaction of its own and records the day only once
  // that committed: whether today's run was done, the booking of the due
  // payments (without looking at or recording the day), and the record of
  // today as the day of the last run (a preferences file that cannot be
  // written is logged).
  bool autoPaymentRanToday();
  AutoPaymentRun bookDueAutoPayments();
  void recordAutoPaymentRun();

  // The card's currency row: its own, else the main currency.
  std::optional<Currency> cardCurrency(const Asset& card) const;

 private:
  // Today as the automatic payments record it, yyyyMMdd.
  std::string autoPaymentDay() const;
  // The paying account's side of an automatic payment in its own currency.
  double payerAmountAccount(const InOutCome& transferIn, const Asset& payer) const;
};

// The settlement figures of one card.
CardSettlement cardSettlement(Ledger& ledger, const Asset& card);
// The account overview's entry point for all its cards at once.
std::vector<CardSettlement> cardSettlements(Ledger& ledger, const std::vector<Asset>& cards);

}  // namespace varnel
