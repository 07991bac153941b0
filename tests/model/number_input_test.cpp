#include <cstdint>
#include <optional>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/number_input.h"

namespace varnel {
namespace {

struct NumberCase {
  const char* text;
  std::optional<double> value;  // none: refused
};

TEST(NumberInput, MoneyKeepsEveryCentOrIsRefused) {
  const std::vector<NumberCase> cases = {
      {"12.5", 12.5},
      {"-3", -3},
      {"0", 0},
      {"1e3", 1000},
      {"999999999999999", 999999999999999},      // 15 digits, just below 1e15
      {"9999999999999.99", 9999999999999.99},    // 15 digits with cents
      {"0.000000000000001", 1e-15},
      {"1000000.000000000000", 1000000},         // trailing zeros are not significant
      {"1e15", {}},
      {"-1000000000000000", {}},
      {"1e308", {}},
      {"9007199254740993", {}},                  // a double would store ...992
      {"1234567890123.456", {}},                 // 16 significant digits
      {"0.1234567890123456", {}},
      {"inf", {}},
      {"nan", {}},
      {"1e999", {}},
      {"0x10", {}},
      {"+5", {}},
      {"5 ", {}},
      {"", {}},
      {"lots", {}},
  };
  for (const auto& c : cases) {
    if (c.value) {
      EXPECT_EQ(parseMoneyText(c.text, "--amount"), *c.value) << c.text;
    } else {
      EXPECT_THROW(parseMoneyText(c.text, "--amount"), InputError) << c.text;
    }
  }
}

TEST(NumberInput, RatesArePositiveAndWithinTheirRange) {
  const std::vector<NumberCase> cases = {
      {"1300.55", 1300.55},
      {"0.00075", 0.00075},
      {"1e-12", 1e-12},
      {"1e12", 1e12},
      {"95000000", 95000000},
      {"0", {}},
      {"-2", {}},
      {"1e-13", {}},
      {"1.000001e12", {}},
      {"1e308", {}},
      {"1300.5500000000001", {}},   // 17 significant digits
      {"NaN", {}},
  };
  for (const auto& c : cases) {
    if (c.value) {
      EXPECT_EQ(parseRateText(c.text, "the rate"), *c.value) << c.text;
    } else {
      EXPECT_THROW(parseRateText(c.text, "the rate"), InputError) << c.text;
    }
  }
}

TEST(NumberInput, IntegersAreReadWholeAndWithinTheirRange) {
  struct Case {
    const char* text;
    int64_t min, max;
    std::optional<int64_t> value;
  };
  const std::vector<Case> cases = {
      {"3", 0, 120, 3},
      {"0", 0, 120, 0},
      {"120", 0, 120, 120},
      {"-14", -20, 20, -14},
      {"121", 0, 120, {}},
      {"-1", 0, 120, {}},
      {"4294967298", 0, 120, {}},               // wraps to 2 in a 32-bit int
      {"99999999999999999999", INT64_MIN, INT64_MAX, {}},
      {"2.5", 0, 120, {}},
      {"1e2", 0, 120, {}},
      {"+3", 0, 120, {}},
      {" 3", 0, 120, {}},
      {"", 0, 120, {}},
  };
  for (const auto& c : cases) {
    if (c.value) {
      EXPECT_EQ(parseIntegerText(c.text, "--n", c.min, c.max), *c.value) << c.text;
    } else {
      EXPECT_THROW(parseIntegerText(c.text, "--n", c.min, c.max), InputError) << c.text;
    }
  }
  EXPECT_THROW(
      {
        try {
          parseIntegerText("4294967298", "--installments", 0, 120);
        } catch (const InputError& e) {
          EXPECT_STREQ(e.what(), "--installments must be from 0 to 120: '4294967298'");
          throw;
        }
      },
      InputError);
}

TEST(NumberInput, MonthsAreSixDigitsWithARealMonth) {
  const std::vector<std::pair<const char*, std::optional<int>>> cases = {
      {"202612", 202612}, {"190001", 190001}, {"299912", 299912}, {"202613", {}}, {"202600", {}},
      {"20261", {}},      {"0202612", {}},    {"189912", {}},     {"300001", {}}, {"2026-12", {}},
  };
  for (const auto& [text, value] : cases) {
    if (value) {
      EXPECT_EQ(parseYearMonthText(text, "--month", 1900, 2999), *value) << text;
    } else {
      EXPECT_THROW(parseYearMonthText(text, "--month", 1900, 2999), InputError) << text;
    }
  }
}

}  // namespace
}  // namespace varnel
