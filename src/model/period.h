// The calendar rules that cut time into periods: months that begin on a
// chosen day (with the weekend shift), weeks that begin on a chosen weekday,
// calendar months and all time. Every total is asked for a period made here.
// Dates are instants on the store's scale (seconds since 2001); period bounds
// are local midnights of their first and last day.
#pragma once

#include <optional>
#include <string_view>
#include <utility>

#include "model/common_data.h"
#include "model/dates.h"

namespace varnel {

// Period kinds (`dpType`).
namespace dp_type {
inline constexpr int kAll = 4;
inline constexpr int kMonthFromStartDay = 6;
inline constexpr int kWeek = 8;
inline constexpr int kCalendarMonth = 0;  // any other value
}  // namespace dp_type

// A period kind as a person types it: 4, 6, 8 or 0. Throws InputError
// naming `what` otherwise.
int parsePeriodTypeText(std::string_view text, std::string_view what);

// [first day, last day] of a period, both local midnights; absent for all time.
using PeriodBounds = std::optional<std::pair<double, double>>;

class PeriodRules {
 public:
  // `app` supplies the week start (`appWeekDay`), the weekend rule
  // (`appStartDayType`) and the default start day (`appStartDay`).
  PeriodRules(const DateUtil& dates, const AppValues& app) : dates_(dates), app_(app) {}

  // The day of the month on which a period with start day `d` begins
  // (29, 30 and 31 clamped to the month; February has 29 days every 4 years).
  static int getStartDay(int year, int month, int d);

  // The period of kind `dpType` that holds `date`. With `check`, a month
  // start is moved by the weekend rule.
  PeriodBounds getStartEndDate(double date, int dpType, int d, bool check) const;

  // The start of the period that holds `date` (start day 0: `appStartDay`).
  double dateByAppStartDay(double date, int d, int dpType, bool check) const;

  // Moves a month start that falls on a weekend: rule 1 back to Friday,
  // rule 2 forward to Monday, 0 leaves it.
  double getStartDateByType(double day) const;
  double getEndDateByType(double day) const { return getStartDateByType(day); }

  // Local midnight of the day holding `date`; the same local time `n` days
  // later (calendar days, so a daylight-saving change does not shift it).
  double startOfDay(double date) const;
  double addDays(double day, int n) const;
  // The first day of the week holding `date`.
  double weekStart(double date) const;

  // The first day of the period of month (year, month 1..12) for start day
  // `d`; with `check`, a start past the month's end is pulled back to its
  // last day and then moved by the weekend rule.
  double monthStart(int year, int month, int d, bool check) const;

 private:

  const DateUtil& dates_;
  const AppValues& app_;
};

// A period made from a date: `startDate` and `endDate` by the rules above.
struct EasyDate {
  EasyDate(const PeriodRules& rules, double date, int dpType, bool check, int startDay);
  std::optional<double> startDate;
  std::optional<double> endDate;
};

}  // namespace varnel
