#include <map>

#include <gtest/gtest.h>

#include "reports/classifier.h"

namespace varnel {
namespace {

using namespace tx_class;

// Accounts of the table: B ordinary bank, C credit card, E transfer-expense
// account (a savings or loan account whose deposits count as spent),
// CE a card that is also flagged, X missing.
AccountTraits traits(const std::string& uid) {
  static const std::map<std::string, AccountTraits> kAccounts = {
      {"B", {false, false}}, {"B2", {false, false}}, {"C", {true, false}},
      {"E", {false, true}},  {"E2", {false, true}},  {"CE", {true, true}},
  };
  auto it = kAccounts.find(uid);
  return it == kAccounts.end() ? AccountTraits{} : it->second;
}

struct Case {
  int kind;
  const char* account;
  const char* to;
  bool cashBook;
  int expected[3];  // by sumType 0, 1, 2
  const char* what;
};

TEST(Classifier, EveryKindAccountPairCashBookModeAndView) {
  const Case cases[] = {
      // income and expense
      {0, "B", "", false, {kIncome, kIncome, kIncome}, "income"},
      {0, "C", "", true, {kIncome, kIncome, kIncome}, "income on a card, cash-book"},
      {1, "B", "", false, {kExpense, kExpense, kExpense}, "expense"},
      {1, "B", "", true, {kExpense, kExpense, kExpense}, "expense from a bank, cash-book"},
      {1, "C", "", false, {kExpense, kExpense, kExpense}, "card purchase"},
      {1, "C", "", true, {kExpense, kNeutral, kExpense}, "card purchase, cash-book: counted when used"},
      // balance adjustments never reach income or expense
      {7, "B", "", false, {kIncome, kNotCounted, kNotCounted}, "adjustment up"},
      {8, "B", "", true, {kExpense, kNotCounted, kNotCounted}, "adjustment down"},
      {6, "B", "", false, {kExpense, kNotCounted, kNotCounted}, "older adjustment"},
      // transfers between ordinary accounts
      {3, "B", "B2", false, {kExpense, kNeutral, kNeutral}, "bank to bank"},
      {4, "B2", "B", false, {kIncome, kNeutral, kNeutral}, "bank to bank, in side"},
      {3, "B", "B2", true, {kExpense, kNeutral, kNeutral}, "bank to bank, cash-book"},
      {3, "E", "E2", false, {kExpense, kNeutral, kNeutral}, "flagged to flagged"},
      // into and out of a transfer-expense account
      {3, "B", "E", false, {kExpense, kExpense, kExpense}, "deposit into flagged"},
      {3, "E", "B", false, {kExpense, kIncome, kIncome}, "withdrawal from flagged"},
      {4, "E", "B", false, {kIncome, kExpense, kExpense}, "deposit into flagged, in side"},
      {4, "B", "E", false, {kIncome, kIncome, kIncome}, "withdrawal from flagged, in side"},
      {3, "B", "E", true, {kExpense, kExpense, kExpense}, "deposit into flagged, cash-book"},
      {3, "E", "B", true, {kExpense, kIncome, kIncome}, "withdrawal from flagged, cash-book"},
      {4, "B", "E", true, {kIncome, kIncome, kIncome}, "withdrawal, in side, cash-book"},
      // card bill payments
      {3, "B", "C", false, {kExpense, kNeutral, kNotCounted}, "bank pays card"},
      {3, "B", "C", true, {kExpense, kExpense, kNotCounted}, "bank pays card, cash-book"},
      {4, "C", "B", false, {kIncome, kNeutral, kNeutral}, "bank pays card, in side"},
      {4, "C", "B", true, {kIncome, kNeutral, kNeutral}, "bank pays card, in side, cash-book"},
      {3, "E", "C", true, {kExpense, kNeutral, kIncome}, "flagged pays card, cash-book"},
      {3, "E", "C", false, {kExpense, kIncome, kIncome}, "flagged pays card"},
      // money moved out of a card
      {3, "C", "B", false, {kExpense, kNeutral, kNeutral}, "card to bank"},
      {3, "C", "E", false, {kExpense, kExpense, kExpense}, "card to flagged"},
      {3, "C", "E", true, {kExpense, kNeutral, kExpense}, "card to flagged, cash-book"},
      {4, "B", "C", false, {kIncome, kNeutral, kNeutral}, "card to bank, in side"},
      {4, "E", "C", false, {kIncome, kExpense, kExpense}, "card to flagged, in side"},
      {4, "B", "CE", false, {kIncome, kIncome, kIncome}, "flagged card to bank, in side"},
      {4, "B", "CE", true, {kIncome, kNeutral, kNeutral}, "flagged card to bank, in side, cash-book"},
      {4, "C", "E", false, {kIncome, kIncome, kIncome}, "flagged to card, in side"},
      {4, "C", "E", true, {kIncome, kNeutral, kIncome}, "flagged to card, in side, cash-book"},
      // missing accounts are neither cards nor flagged
      {3, "X", "E", false, {kExpense, kExpense, kExpense}, "missing account to flagged"},
      {3, "B", "X", true, {kExpense, kNeutral, kNeutral}, "bank to missing, cash-book"},
  };
  for (const auto& c : cases) {
    for (int sumType = 0; sumType < 3; ++sumType) {
      const ClassifiedRow row{"T", c.kind, c.account, c.to};
      EXPECT_EQ(displayDoTypeByInOutCome(row, sumType, c.cashBook, traits), c.expected[sumType])
          << c.what << " (sumType " << sumType << ")";
    }
  }
}

TEST(Classifier, CarryOverRowUsesItsKindAsClass) {
  for (int kind : {0, 1}) {
    EXPECT_EQ(displayDoTypeByInOutCome({"-100", kind, "", ""}, 1, true, traits), kind);
  }
}

}  // namespace
}  // namespace varnel
