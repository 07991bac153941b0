#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "ledger/currency_catalogue.h"
#include "ledger/money.h"

namespace varnel {
namespace {

struct RoundCase {
  double amount;
  int digits;
  double expected;
};

class RoundingTest : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundingTest, RoundsHalfAwayFromZeroOnTheShortestDecimal) {
  const RoundCase& c = GetParam();
  const double got = getAmountByMaximumFractionDigits(c.amount, c.digits);
  EXPECT_EQ(got, c.expected) << c.amount << " at " << c.digits << " digits";
  EXPECT_FALSE(std::signbit(got) && got == 0) << "minus zero for " << c.amount;
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Amounts, RoundingTest,
    ::testing::Values(
        // Binary fractions just below the half still round up: the decimal text decides.
        RoundCase{0.125, 2, 0.13}, RoundCase{1.005, 2, 1.01}, RoundCase{2.675, 2, 2.68},
        RoundCase{-0.125, 2, -0.13}, RoundCase{-1.005, 2, -1.01}, RoundCase{1.0049, 2, 1.0},
        // Halves go away from zero, not to even.
        RoundCase{0.5, 0, 1}, RoundCase{1.5, 0, 2}, RoundCase{2.5, 0, 3}, RoundCase{-2.5, 0, -3},
        RoundCase{3251.25, 0, 3251}, RoundCase{65027.5, 0, 65028},
        RoundCase{0.1 + 0.2, 2, 0.3}, RoundCase{10.0 / 3, 4, 3.3333}, RoundCase{1234567.891, 2, 1234567.89},
        RoundCase{0.000005, 5, 0.00001}, RoundCase{2.5, 10, 2.5}, RoundCase{123.456, -1, 123},
        RoundCase{1e20, 2, 1e20},
        // Nothing left, or nothing usable: 0, never minus zero.
        RoundCase{-0.001, 2, 0}, RoundCase{kInf, 2, 0}, RoundCase{-kInf, 0, 0}, RoundCase{kNaN, 2, 0}));

struct DisplayCase {
  double money;
  int point;
  const char* symbol;
  const char* position;
  int mode;
  const char* locale;
  const char* expected;
};

class DisplayTest : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(DisplayTest, ShowsTheAmountWithTheLocaleAndTheSymbol) {
  const DisplayCase& c = GetParam();
  Currency currency;
  currency.point = c.point;
  if (c.symbol) currency.symbol = c.symbol;
  currency.symbolPosition = c.position;
  EXPECT_EQ(showMoneyByCurrecy(c.money, currency, c.mode, c.locale), c.expected)
      << c.money << " " << c.locale << " mode " << c.mode;
}

INSTANTIATE_TEST_SUITE_P(
    Amounts, DisplayTest,
    ::testing::Values(
        DisplayCase{1234.5, 2, "$", "P", kMoneyNormal, "en_US", "$ 1,234.50"},
        DisplayCase{-5, 2, "$", "P", kMoneyNormal, "en_US", "$ -5.00"},
        DisplayCase{-5, 2, "$", "P", kMoneyNoMinus, "en_US", "$ 5.00"},
        DisplayCase{-5, 2, "$", "P", kMoneyNoSymbol, "en_US", "-5.00"},
        DisplayCase{100, 0, "руб", "S", kMoneyNormal, "en_US", "100 руб"},
        DisplayCase{100, 0, "€", "S", kMoneyNormal, "en_US", "100€"},
        DisplayCase{1.005, 2, "$", "P", kMoneyNormal, "en_US", "$ 1.01"},
        DisplayCase{1234567.891, 3, "", "S", kMoneyNormal, "en_US", "1,234,567.891"},
        DisplayCase{12, 2, nullptr, "P", kMoneyNormal, "en_US", "12.00"},
        DisplayCase{-0.001, 2, "$", "P", kMoneyNormal, "en_US", "$ 0.00"},
        DisplayCase{kNaN, 2, "$", "P", kMoneyNormal, "en_US", "$ 0.00"},
        DisplayCase{1234567, 0, "₩", "P", kMoneyNormal, "ko_KR", "₩ 1,234,567"},
        DisplayCase{2.5, 0, "₩", "P", kMoneyNormal, "ko_KR", "₩ 3"},
        DisplayCase{-0.5, 0, "₩", "P", kMoneyNormal, "ko_KR", "₩ -1"},
        DisplayCase{1234.5, 2, "€", "S", kMoneyNormal, "de_DE", "1.234,50€"},
        DisplayCase{-1234.5, 2, "€", "S", kMoneyNormal, "de_DE", "-1.234,50€"},
        DisplayCase{1234.5, 2, "€", "S", kMoneyNormal, "fr_FR", "1\u202f234,50€"},
        DisplayCase{1234.5, 2, "CHF", "P", kMoneyNormal, "de_CH", "CHF 1\u2019234.50"},
        // Groups of three even where the locale groups otherwise.
        DisplayCase{1234567, 0, "₹", "P", kMoneyNormal, "en_IN", "₹ 1,234,567"},
        DisplayCase{1234, 0, "€", "S", kMoneyNormal, "es_ES", "1.234€"},
        DisplayCase{1000, 0, "￥", "P", kMoneyNormal, "ja_JP", "￥ 1,000"},
        DisplayCase{1.0005, 3, "BD", "P", kMoneyNoSymbol, "en_US", "1.001"},
        DisplayCase{0, 2, "$", "P", kMoneyNormal, "en_US", "$ 0.00"}));

TEST(CurrencyCatalogueTest, ReadsTheSixFieldsOfEveryItem) {
  ASSERT_GT(CalcCurrency::list().size(), 100u);
  auto krw = CalcCurrency::currencyByIso("KRW");
  ASSERT_TRUE(krw);
  EXPECT_EQ(krw->longIso, "KRW - South Korean Won");
  EXPECT_EQ(krw->symbol, "₩");
  EXPECT_EQ(krw->simpleSymbol, "₩");
  EXPECT_EQ(krw->locationSymbol, "P");
  EXPECT_EQ(krw->point, 0);
  auto usd = CalcCurrency::currencyByIso("USD");
  ASSERT_TRUE(usd);
  EXPECT_EQ(usd->point, 2);
  EXPECT_FALSE(CalcCurrency::currencyByIso("usd"));
  EXPECT_FALSE(CalcCurrency::currencyByIso("XYZ"));
  for (const auto& c : CalcCurrency::list()) {
    EXPECT_EQ(c.longIso.rfind(c.iso + " - ", 0), 0u) << c.iso;
    EXPECT_TRUE(c.locationSymbol == "P" || c.locationSymbol == "S") << c.iso;
  }
}

TEST(CurrencyCatalogueTest, NewLedgersTakeTheLocaleCurrencyElseUsd) {
  EXPECT_EQ(CalcCurrency::defaultMainIso("ko_KR"), "KRW");
  EXPECT_EQ(CalcCurrency::defaultMainIso("en_US"), "USD");
  EXPECT_EQ(CalcCurrency::defaultMainIso("de_DE"), "EUR");
  EXPECT_EQ(CalcCurrency::defaultMainIso("ja_JP"), "JPY");
  EXPECT_EQ(CalcCurrency::defaultMainIso("en"), "USD");  // a language without a country
}

TEST(CurrencyCatalogueTest, RenewsTheSymbolsOfOlderVersions) {
  const std::pair<const char*, const char*> cases[] = {
      {"￥", "JP￥"}, {"CZK", "Kč"}, {"£", "￡"},    {"INR", "₹"},  {"रू", "₹"},  {"MXN", "Mex$"},
      {"Leu", "Lei"}, {"රු", "Rs."}, {"د.م.", "MAD"}, {"DT", "د.ت"}, {"TL", "₺"}, {"$", "$"},
      {"", ""},
  };
  for (const auto& [from, to] : cases) EXPECT_EQ(CalcCurrency::getNewSymbol(from), to) << from;
}

}  // namespace
}  // namespace varnel
