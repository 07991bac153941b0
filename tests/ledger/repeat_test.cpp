#include <gtest/gtest.h>

#include <fmt/format.h>

#include "ledger/repeat.h"
#include "model/texts.h"

namespace varnel {
namespace {

// A local wall-clock time and the day of the month a series was set for
// when a short month cut it (0: none kept).
struct At {
  int y, m, d, h = 0, mi = 0;
  int kept = 0;
};

int64_t msOf(const DateUtil& dates, const At& a) {
  return storeSecondsToMs(dates.fromLocal(a.y, a.m, a.d, a.h, a.mi)) + a.kept;
}

std::string show(const DateUtil& dates, int64_t ms) {
  const LocalDateTime t = dates.toLocal(Repeat::occurrenceSeconds(ms));
  const int64_t kept = ((ms % 1000) + 1000) % 1000;
  return fmt::format("{:04d}-{:02d}-{:02d} {:02d}:{:02d}{}", t.year, t.month, t.day, t.hour, t.minute,
                     kept ? fmt::format(" (day {})", kept) : "");
}

std::string show(const DateUtil& dates, const At& a) { return show(dates, msOf(dates, a)); }

struct NextCase {
  const char* name;
  int type;
  At from;
  At to;
  const char* tz = "Asia/Seoul";
};

TEST(RepeatRules, TheNextOccurrenceOfEachType) {
  using namespace repeat_type;
  const std::vector<NextCase> cases = {
      // Day types keep the time of day.
      {"daily into a leap day", kDaily, {2028, 2, 28, 9, 30}, {2028, 2, 29, 9, 30}},
      {"daily past February of a common year", kDaily, {2027, 2, 28, 9, 30}, {2027, 3, 1, 9, 30}},
      {"daily into the new year", kDaily, {2026, 12, 31, 23}, {2027, 1, 1, 23}},
      {"daily over the spring clock change keeps 09:00", kDaily, {2026, 3, 7, 9}, {2026, 3, 8, 9}, "America/New_York"},
      {"weekly over the autumn clock change keeps 09:00", kWeekly, {2026, 10, 29, 9}, {2026, 11, 5, 9},
       "America/New_York"},
      {"weekdays: Thursday to Friday", kWeekdays, {2026, 12, 10, 8}, {2026, 12, 11, 8}},
      {"weekdays: Friday to Monday", kWeekdays, {2026, 12, 11, 8}, {2026, 12, 14, 8}},
      {"weekdays: Saturday to Monday", kWeekdays, {2026, 12, 12, 8}, {2026, 12, 14, 8}},
      {"weekdays: Sunday to Monday", kWeekdays, {2026, 12, 13, 8}, {2026, 12, 14, 8}},
      {"weekends: Thursday to Saturday", kWeekends, {2026, 12, 10, 8}, {2026, 12, 12, 8}},
      {"weekends: Friday to Saturday", kWeekends, {2026, 12, 11, 8}, {2026, 12, 12, 8}},
      {"weekends: Saturday to Sunday", kWeekends, {2026, 12, 12, 8}, {2026, 12, 13, 8}},
      {"weekends: Sunday to the next Saturday", kWeekends, {2026, 12, 13, 8}, {2026, 12, 19, 8}},
      {"weekly over the year's end", kWeekly, {2026, 12, 29, 7}, {2027, 1, 5, 7}},
      {"every 2 weeks over a leap day", kTwoWeeks, {2028, 2, 20, 7}, {2028, 3, 5, 7}},
      {"every 4 weeks in a common February", kFourWeeks, {2026, 2, 10, 7}, {2026, 3, 10, 7}},
      {"every 4 weeks in a leap February", kFourWeeks, {2028, 2, 10, 7}, {2028, 3, 9, 7}},
      // Month types keep the day the series was set for.
      {"monthly: the 31st into a leap February", kMonthly, {2028, 1, 31, 10}, {2028, 2, 29, 10, 0, 31}},
      {"monthly: back to the 31st after February", kMonthly, {2028, 2, 29, 10, 0, 31}, {2028, 3, 31, 10}},
      {"monthly: the 31st into a common February", kMonthly, {2027, 1, 31, 10}, {2027, 2, 28, 10, 0, 31}},
      {"monthly: the 31st into April", kMonthly, {2027, 3, 31, 10}, {2027, 4, 30, 10, 0, 31}},
      {"monthly: back to the 31st after April", kMonthly, {2027, 4, 30, 10, 0, 31}, {2027, 5, 31, 10}},
      {"monthly: the 30th stays the 30th", kMonthly, {2027, 4, 30, 10}, {2027, 5, 30, 10}},
      {"monthly: the 30th into a leap February and back", kMonthly, {2028, 2, 29, 10, 0, 30}, {2028, 3, 30, 10}},
      {"monthly: the 29th in a leap February needs nothing kept", kMonthly, {2028, 1, 29, 10}, {2028, 2, 29, 10}},
      {"monthly: over the year's end", kMonthly, {2026, 12, 15, 10}, {2027, 1, 15, 10}},
      {"monthly: 2100 is no leap year", kMonthly, {2100, 1, 31, 10}, {2100, 2, 28, 10, 0, 31}},
      {"every 2 months: the 31st into a leap February", kTwoMonths, {2027, 12, 31, 6}, {2028, 2, 29, 6, 0, 31}},
      {"every 2 months: the 30th over the year's end", kTwoMonths, {2026, 11, 30, 6}, {2027, 1, 30, 6}},
      {"every 3 months: the 30th into February", kThreeMonths, {2027, 11, 30, 6}, {2028, 2, 29, 6, 0, 30}},
      {"every 3 months: back to the 30th", kThreeMonths, {2028, 2, 29, 6, 0, 30}, {2028, 5, 30, 6}},
      {"every 4 months: the 31st into February", kFourMonths, {2026, 10, 31, 6}, {2027, 2, 28, 6, 0, 31}},
      {"every 4 months: still cut in June", kFourMonths, {2027, 2, 28, 6, 0, 31}, {2027, 6, 30, 6, 0, 31}},
      {"every 4 months: back to the 31st", kFourMonths, {2027, 6, 30, 6, 0, 31}, {2027, 10, 31, 6}},
      {"every 6 months at midnight", kSixMonths, {2027, 8, 31, 13}, {2028, 2, 29, 0, 0, 31}},
      {"every 6 months back to the 31st", kSixMonths, {2028, 2, 29, 0, 0, 31}, {2028, 8, 31}},
      {"yearly: a leap day into a common year", kYearly, {2028, 2, 29, 13}, {2029, 2, 28, 0, 0, 29}},
      {"yearly: back to a leap day", kYearly, {2031, 2, 28, 0, 0, 29}, {2032, 2, 29}},
      {"yearly: 2100 is no leap year", kYearly, {2096, 2, 29}, {2097, 2, 28, 0, 0, 29}},
      {"yearly: into 2100", kYearly, {2099, 2, 28, 0, 0, 29}, {2100, 2, 28, 0, 0, 29}},
      {"yearly at midnight", kYearly, {2026, 12, 31, 15}, {2027, 12, 31}},
      // The last day of the next month, at midnight.
      {"month end into a leap February", kMonthEnd, {2028, 1, 15, 14}, {2028, 2, 29}},
      {"month end after a leap February", kMonthEnd, {2028, 2, 29}, {2028, 3, 31}},
      {"month end into a common February", kMonthEnd, {2027, 1, 31}, {2027, 2, 28}},
      {"month end over the year's end", kMonthEnd, {2026, 12, 31}, {2027, 1, 31}},
      {"month end into a 30-day month", kMonthEnd, {2027, 10, 31}, {2027, 11, 30}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const DateUtil dates(c.tz);
    const Repeat repeat(dates);
    const auto next = repeat.getNextDateByNextDate(msOf(dates, c.from), c.type);
    ASSERT_TRUE(next);
    EXPECT_EQ(show(dates, *next), show(dates, c.to));
  }
}

TEST(RepeatRules, AMonthlySeriesOnThe31stStaysOnItOverAYear) {
  const DateUtil dates("Asia/Seoul");
  const Repeat repeat(dates);
  int64_t at = msOf(dates, {2028, 1, 31, 10});
  std::vector<std::string> days;
  for (int i = 0; i < 13; ++i) {
    days.push_back(dates.dayKey(Repeat::occurrenceSeconds(at)));
    at = *repeat.getNextDateByNextDate(at, repeat_type::kMonthly);
  }
  EXPECT_EQ(days, (std::vector<std::string>{"2028-01-31", "2028-02-29", "2028-03-31", "2028-04-30", "2028-05-31",
                                            "2028-06-30", "2028-07-31", "2028-08-31", "2028-09-30", "2028-10-31",
                                            "2028-11-30", "2028-12-31", "2029-01-31"}));
}

TEST(RepeatRules, OtherCodesHaveNoNextDate) {
  const DateUtil dates("Asia/Seoul");
  const Repeat repeat(dates);
  for (int code : {0, 11, 12, 13, 14, 18, -1}) {
    EXPECT_FALSE(repeat.getNextDateByNextDate(msOf(dates, {2026, 12, 10}), code)) << code;
    EXPECT_FALSE(Repeat::isRepeatType(code)) << code;
  }
}

TEST(RepeatRules, TypesAreOfferedInTheirOrderWithNames) {
  EXPECT_EQ(Repeat::getRepeatTypes(), (std::array<int, 13>{5, 9, 10, 6, 7, 15, 1, 8, 2, 3, 4, 16, 17}));
  const Texts english("en");
  const Texts korean("ko");
  for (int code : Repeat::getRepeatTypes()) {
    EXPECT_TRUE(english.has("repeat_" + std::to_string(code))) << code;
    EXPECT_TRUE(korean.has("repeat_" + std::to_string(code))) << code;
    EXPECT_EQ(Repeat::codeOfCommandName(Repeat::commandName(code)), code);
    EXPECT_EQ(Repeat::codeOfCommandName(std::to_string(code)), code);
  }
  EXPECT_EQ(Repeat::getName(english, 1), "Every month");
  EXPECT_EQ(Repeat::getName(korean, 8), "매월 말일");
  EXPECT_EQ(Repeat::getName(english, 42), "42");
  for (const char* bad : {"", "0", "11", "Monthly", "1x", " 1"}) EXPECT_FALSE(Repeat::codeOfCommandName(bad)) << bad;
}

struct AfterCase {
  const char* name;
  int type;
  At from;
  At floor;
  At first;
};

TEST(RepeatRules, FirstAfterPassesOverEverythingUpToTheFloor) {
  using namespace repeat_type;
  const std::vector<AfterCase> cases = {
      {"ten years of days in one step", kDaily, {2016, 12, 10, 8}, {2023, 12, 10, 9}, {2023, 12, 11, 8}},
      {"an occurrence at the floor itself is passed", kDaily, {2016, 12, 10, 9}, {2023, 12, 10, 9},
       {2023, 12, 11, 9}},
      {"later in the floor's day is after it", kDaily, {2016, 12, 10, 10}, {2023, 12, 10, 9}, {2023, 12, 10, 10}},
      {"every 2 weeks keeps its weekday", kTwoWeeks, {2016, 12, 8, 8}, {2023, 12, 10, 9}, {2023, 12, 14, 8}},
      {"monthly steps and keeps the 31st", kMonthly, {2016, 1, 31, 8}, {2023, 12, 10, 9}, {2023, 12, 31, 8}},
      {"weekdays step", kWeekdays, {2023, 11, 30, 8}, {2023, 12, 10, 9}, {2023, 12, 11, 8}},
      {"a date after the floor stays", kMonthly, {2024, 1, 31, 8}, {2023, 12, 10, 9}, {2024, 1, 31, 8}},
  };
  const DateUtil dates("Asia/Seoul");
  const Repeat repeat(dates);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto first = repeat.firstAfter(msOf(dates, c.from), c.type, msOf(dates, c.floor));
    ASSERT_TRUE(first);
    EXPECT_EQ(show(dates, *first), show(dates, c.first));
  }
}

TEST(RepeatRules, MonthLengthsFollowTheGregorianLeapYears) {
  EXPECT_EQ(daysInMonth(2028, 2), 29);
  EXPECT_EQ(daysInMonth(2027, 2), 28);
  EXPECT_EQ(daysInMonth(2100, 2), 28);
  EXPECT_EQ(daysInMonth(2000, 2), 29);
  EXPECT_EQ(daysInMonth(2027, 4), 30);
  EXPECT_EQ(daysInMonth(2027, 12), 31);
}

}  // namespace
}  // namespace varnel
