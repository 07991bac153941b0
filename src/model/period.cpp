#include "model/period.h"

#include <cstdint>
#include <limits>

#include <fmt/format.h>

#include "model/errors.h"
#include "model/number_input.h"

namespace varnel {

int parsePeriodTypeText(std::string_view text, std::string_view what) {
  const int64_t code =
      parseIntegerText(text, what, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
  if (code != dp_type::kAll && code != dp_type::kMonthFromStartDay && code != dp_type::kWeek &&
      code != dp_type::kCalendarMonth) {
    throw InputError(fmt::format(
        "{} must be 4 (all time), 6 (month from the start day), 8 (week) or 0 (calendar month): '{}'", what, text));
  }
  return static_cast<int>(code);
}

namespace {

int dayNumber(const LocalDateTime& t) { return t.year * 10000 + t.month * 100 + t.day; }

}  // namespace

int PeriodRules::getStartDay(int year, int month, int d) { return clampStartDay(year, month, d); }

double PeriodRules::startOfDay(double date) const {
  const LocalDateTime t = dates_.toLocal(date);
  return dates_.fromLocal(t.year, t.month, t.day);
}

double PeriodRules::addDays(double day, int n) const {
  const LocalDateTime t = dates_.toLocal(day);
  const double whole = static_cast<double>(static_cast<int64_t>(day));
  return dates_.fromLocal(t.year, t.month, t.day + n, t.hour, t.minute, t.second + (day - whole));
}

double PeriodRules::weekStart(double date) const {
  const LocalDateTime t = dates_.toLocal(date);
  const int first = app_.appWeekDay + 1;  // 1 = Sunday
  return dates_.fromLocal(t.year, t.month, t.day - (t.weekday - first + 7) % 7);
}

double PeriodRules::getStartDateByType(double day) const {
  const LocalDateTime t = dates_.toLocal(day);
  const bool saturday = t.weekday == 7, sunday = t.weekday == 1;
  if (app_.appStartDayType == 1) {
    if (saturday) return addDays(day, -1);
    if (sunday) return addDays(day, -2);
  } else if (app_.appStartDayType == 2) {
    if (saturday) return addDays(day, 2);
    if (sunday) return addDays(day, 1);
  }
  return day;
}

double PeriodRules::monthStart(int year, int month, int d, bool check) const {
  double start = dates_.fromLocal(year, month, getStartDay(year, month, d));
  if (check) {
    const LocalDateTime t = dates_.toLocal(start);
    // A start day past the month's end stays in its own month.
    if (t.month != month) start = dates_.fromLocal(year, month + 1, 0);
    start = getStartDateByType(start);
  }
  return start;
}

PeriodBounds PeriodRules::getStartEndDate(double date, int dpType, int d, bool check) const {
  if (dpType == dp_type::kAll) return std::nullopt;
  const LocalDateTime t = dates_.toLocal(date);
  if (dpType == dp_type::kWeek) {
    const double start = weekStart(date);
    return std::make_pair(start, addDays(start, 6));
  }
  if (dpType != dp_type::kMonthFromStartDay) {
    return std::make_pair(dates_.fromLocal(t.year, t.month, 1), dates_.fromLocal(t.year, t.month + 1, 0));
  }
  const int target = dayNumber(t);
  // Month A two months back, month B one month back; walk forward until the
  // period [start A, start B - 1 day] holds the date.
  int yearA = t.year, monthA = t.month - 2;
  if (monthA < 1) {
    monthA += 12;
    --yearA;
  }
  std::pair<double, double> period;
  for (int round = 0; round < 5; ++round) {
    int yearB = yearA, monthB = monthA + 1;
    if (monthB > 12) {
      monthB = 1;
      ++yearB;
    }
    const double startA = monthStart(yearA, monthA, d, check);
    const double startB = monthStart(yearB, monthB, d, check);
    period = {startA, addDays(startB, -1)};
    if (dayNumber(dates_.toLocal(period.first)) <= target &&
        target <= dayNumber(dates_.toLocal(period.second))) {
      break;
    }
    yearA = yearB;
    monthA = monthB;
  }
  return period;
}

double PeriodRules::dateByAppStartDay(double date, int d, int dpType, bool check) const {
  if (d == 0) d = app_.appStartDay;
  if (dpType == dp_type::kWeek) return weekStart(date);
  const LocalDateTime t = dates_.toLocal(date);
  // Next month's start moved back over a weekend can already hold the date.
  const double next = t.month == 12 ? monthStart(t.year + 1, 1, d, check)
                                    : monthStart(t.year, t.month + 1, d, check);
  if (dayNumber(dates_.toLocal(next)) <= dayNumber(t)) return next;
  const double current = monthStart(t.year, t.month, d, check);
  if (dayNumber(dates_.toLocal(current)) <= dayNumber(t)) return current;
  return t.month == 1 ? monthStart(t.year - 1, 12, d, check) : monthStart(t.year, t.month - 1, d, check);
}

EasyDate::EasyDate(const PeriodRules& rules, double date, int dpType, bool check, int startDay) {
  if (auto bounds = rules.getStartEndDate(date, dpType, startDay, check)) {
    startDate = bounds->first;
    endDate = bounds->second;
  }
}

}  // namespace varnel
