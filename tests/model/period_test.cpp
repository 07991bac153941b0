#include <gtest/gtest.h>

#include "model/period.h"

namespace varnel {
namespace {

class PeriodTest : public ::testing::Test {
 protected:
  DateUtil dates_{"Asia/Seoul"};
  AppValues app_;
  PeriodRules rules() const { return PeriodRules(dates_, app_); }
  double day(int y, int m, int d, int h = 0) const { return dates_.fromLocal(y, m, d, h); }
  std::string key(double date) const { return dates_.dayKey(date); }
  // "first..last" of a period, "all" for no bounds.
  std::string span(double date, int dpType, int startDay, bool check) const {
    const PeriodBounds b = rules().getStartEndDate(date, dpType, startDay, check);
    if (!b.has_value()) return "all";
    return key(b.value().first) + ".." + key(b.value().second);
  }
};

struct MonthCase {
  const char* date;  // the date asked about (noon)
  int startDay;
  int weekendType;
  const char* start;
  const char* end;
};

TEST_F(PeriodTest, MonthPeriodsByStartDayWeekendRuleAndLeapYears) {
  const MonthCase cases[] = {
      {"2026-01-10", 1, 0, "2026-01-01", "2026-01-31"},
      {"2026-01-10", 15, 0, "2025-12-15", "2026-01-14"},
      {"2026-01-15", 15, 0, "2026-01-15", "2026-02-14"},
      {"2026-03-03", 29, 0, "2026-02-28", "2026-03-28"},  // February has 28 days
      {"2024-03-03", 29, 0, "2024-02-29", "2024-03-28"},
      {"2024-03-01", 30, 0, "2024-02-29", "2024-03-29"},
      {"2025-05-15", 31, 0, "2025-04-30", "2025-05-30"},  // 31 in a 30-day month → 30
      {"2025-05-31", 31, 0, "2025-05-31", "2025-06-29"},
      {"2024-02-29", 31, 0, "2024-02-29", "2024-03-30"},
      // 2100 is no leap year: the clamped 29th runs into March and is pulled back.
      {"2100-03-01", 31, 0, "2100-02-28", "2100-03-30"},
      {"2026-01-03", 25, 0, "2025-12-25", "2026-01-24"},
      // 2026-03-01 is a Sunday, 2026-02-28 a Saturday.
      {"2026-03-10", 1, 1, "2026-02-27", "2026-03-31"},  // Sunday start back to Friday
      {"2026-03-10", 1, 2, "2026-03-02", "2026-03-31"},  // forward to Monday
      {"2026-02-27", 1, 1, "2026-02-27", "2026-03-31"},  // the Friday already belongs to March's period
      {"2026-03-10", 28, 1, "2026-02-27", "2026-03-26"},  // both the 28ths are Saturdays
  };
  for (const auto& c : cases) {
    app_.appStartDayType = c.weekendType;
    const double date = dates_.fromLocal(std::stoi(std::string(c.date, 4)),
                                         std::stoi(std::string(c.date + 5, 2)),
                                         std::stoi(std::string(c.date + 8, 2)), 12);
    EXPECT_EQ(span(date, dp_type::kMonthFromStartDay, c.startDay, true),
              std::string(c.start) + ".." + c.end)
        << c.date << " start day " << c.startDay << " rule " << c.weekendType;
    EXPECT_EQ(key(rules().dateByAppStartDay(date, c.startDay, dp_type::kMonthFromStartDay, true)), c.start)
        << c.date << " start day " << c.startDay;
  }
}

TEST_F(PeriodTest, WeekendRuleOnlyWithTheCheckFlag) {
  app_.appStartDayType = 1;
  EXPECT_EQ(span(day(2026, 3, 10, 12), dp_type::kMonthFromStartDay, 1, false), "2026-03-01..2026-03-31");
}

TEST_F(PeriodTest, WeeksCalendarMonthsAndAllTime) {
  const double wednesday = day(2026, 12, 9, 15);
  app_.appWeekDay = 0;
  EXPECT_EQ(span(wednesday, dp_type::kWeek, 1, true), "2026-12-06..2026-12-12");
  app_.appWeekDay = 3;  // weeks from Wednesday: the day itself starts the week
  EXPECT_EQ(span(wednesday, dp_type::kWeek, 1, true), "2026-12-09..2026-12-15");
  EXPECT_EQ(key(rules().dateByAppStartDay(wednesday, 0, dp_type::kWeek, true)), "2026-12-09");

  EXPECT_EQ(span(day(2024, 2, 10), 0, 25, true), "2024-02-01..2024-02-29");
  EXPECT_EQ(span(wednesday, dp_type::kAll, 1, true), "all");

  const EasyDate period(rules(), day(2026, 12, 10, 9), dp_type::kMonthFromStartDay, true, 25);
  ASSERT_TRUE(period.startDate.has_value() && period.endDate.has_value());
  EXPECT_EQ(key(period.startDate.value()), "2026-11-25");
  EXPECT_EQ(key(period.endDate.value()), "2026-12-24");
  // Bounds are local midnights.
  EXPECT_EQ(dates_.toLocal(period.startDate.value()).hour, 0);
}

TEST_F(PeriodTest, StartDayZeroMeansTheSetting) {
  app_.appStartDay = 15;
  EXPECT_EQ(key(rules().dateByAppStartDay(day(2026, 12, 10), 0, dp_type::kMonthFromStartDay, true)),
            "2026-11-15");
  EXPECT_EQ(key(rules().dateByAppStartDay(day(2026, 1, 10), 0, dp_type::kMonthFromStartDay, true)),
            "2025-12-15");
}

}  // namespace
}  // namespace varnel
