#include "ledger/repeat.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "model/texts.h"

namespace varnel {

namespace {

constexpr int64_t kMsPerSecond = 1000;

struct TypeInfo {
  int code;
  std::string_view name;
};

// In the order the types are offered.
constexpr std::array<TypeInfo, 13> kTypes = {{
    {repeat_type::kDaily, "daily"},
    {repeat_type::kWeekdays, "weekdays"},
    {repeat_type::kWeekends, "weekends"},
    {repeat_type::kWeekly, "weekly"},
    {repeat_type::kTwoWeeks, "every-2-weeks"},
    {repeat_type::kFourWeeks, "every-4-weeks"},
    {repeat_type::kMonthly, "monthly"},
    {repeat_type::kMonthEnd, "month-end"},
    {repeat_type::kTwoMonths, "every-2-months"},
    {repeat_type::kThreeMonths, "every-3-months"},
    {repeat_type::kFourMonths, "every-4-months"},
    {repeat_type::kSixMonths, "every-6-months"},
    {repeat_type::kYearly, "yearly"},
}};

int64_t floorMod(int64_t a, int64_t b) {
  const int64_t r = a % b;
  return r < 0 ? r + b : r;
}

// An instant on whole seconds as milliseconds since 1970, exactly.
int64_t wholeSecondsToMs(double storeSeconds) {
  return std::llround(storeSeconds + static_cast<double>(kReferenceDateOffset)) * kMsPerSecond;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t civilDays(int year, int month, int day) {
  const int64_t y = year - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Days between occurrences of the types that repeat at a fixed number of days.
int fixedInterval(int type) {
  switch (type) {
    case repeat_type::kDaily: return 1;
    case repeat_type::kWeekly: return 7;
    case repeat_type::kTwoWeeks: return 14;
    case repeat_type::kFourWeeks: return 28;
    default: return 0;
  }
}

int monthsOf(int type) {
  switch (type) {
    case repeat_type::kMonthly: return 1;
    case repeat_type::kTwoMonths: return 2;
    case repeat_type::kThreeMonths: return 3;
    case repeat_type::kFourMonths: return 4;
    case repeat_type::kSixMonths: return 6;
    case repeat_type::kYearly: return 12;
    default: return 0;
  }
}

}  // namespace

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return leap ? 29 : 28;
  }
  return kDays[(month - 1) % 12];
}

const std::array<int, 13>& Repeat::getRepeatTypes() {
  static const std::array<int, 13> kCodes = [] {
    std::array<int, 13> codes{};
    for (size_t i = 0; i < kTypes.size(); ++i) codes[i] = kTypes[i].code;
    return codes;
  }();
  return kCodes;
}

bool Repeat::isRepeatType(int64_t code) {
  return std::any_of(kTypes.begin(), kTypes.end(), [code](const TypeInfo& t) { return t.code == code; });
}

std::string Repeat::getName(const Texts& texts, int64_t code) {
  const std::string key = "repeat_" + std::to_string(code);
  return isRepeatType(code) && texts.has(key) ? texts.text(key) : std::to_string(code);
}

std::string_view Repeat::commandName(int code) {
  for (const TypeInfo& t : kTypes) {
    if (t.code == code) return t.name;
  }
  return {};
}

std::optional<int> Repeat::codeOfCommandName(std::string_view name) {
  for (const TypeInfo& t : kTypes) {
    if (t.name == name) return t.code;
  }
  int code = 0;
  auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), code);
  if (ec == std::errc() && end == name.data() + name.size() && isRepeatType(code)) return code;
  return std::nullopt;
}

double Repeat::occurrenceSeconds(int64_t date) {
  return msToStoreSeconds(date - floorMod(date, kMsPerSecond));
}

std::optional<int64_t> Repeat::getNextDateByNextDate(int64_t date, int repeatType) const {
  if (!isRepeatType(repeatType)) return std::nullopt;
  return getNextDateByNextDate(date, dates_.toLocal(occurrenceSeconds(date)), repeatType);
}

std::optional<int64_t> Repeat::getNextDateByNextDate(int64_t date, const LocalDateTime& t, int repeatType) const {
  if (!isRepeatType(repeatType)) return std::nullopt;
  auto daysLater = [&](int n) {
    return wholeSecondsToMs(dates_.fromLocal(t.year, t.month, t.day + n, t.hour, t.minute, t.second));
  };
  if (const int interval = fixedInterval(repeatType)) return daysLater(interval);
  switch (repeatType) {
    case repeat_type::kWeekdays:  // weekday 1 = Sunday … 7 = Saturday
      return daysLater(t.weekday == 6 ? 3 : t.weekday == 7 ? 2 : 1);
    case repeat_type::kWeekends:
      return daysLater(t.weekday == 7 ? 1 : 7 - t.weekday);
    case repeat_type::kMonthEnd:
      return wholeSecondsToMs(dates_.fromLocal(t.year, t.month + 2, 0));
    default:
      break;
  }

  // The day the series was set for: the kept day when this occurrence is a
  // month's last day that cut it short, else the occurrence's own day.
  const int kept = static_cast<int>(floorMod(date, kMsPerSecond));
  const int day = kept > t.day && kept <= 31 && t.day == daysInMonth(t.year, t.month) ? kept : t.day;
  const int total = t.month - 1 + monthsOf(repeatType);
  const int year = t.year + total / 12;
  const int month = total % 12 + 1;
  const int nextDay = std::min(day, daysInMonth(year, month));
  const bool keepsTime = repeatType != repeat_type::kSixMonths && repeatType != repeat_type::kYearly;
  const double next = keepsTime ? dates_.fromLocal(year, month, nextDay, t.hour, t.minute, t.second)
                                : dates_.fromLocal(year, month, nextDay);
  return wholeSecondsToMs(next) + (nextDay < day ? day : 0);
}

std::optional<int64_t> Repeat::firstAfter(int64_t date, int repeatType, int64_t floor) const {
  if (!isRepeatType(repeatType)) return std::nullopt;
  if (date > floor) return date;
  if (const int interval = fixedInterval(repeatType)) {
    const LocalDateTime t = dates_.toLocal(occurrenceSeconds(date));
    const LocalDateTime f = dates_.toLocal(occurrenceSeconds(floor));
    const int64_t days = civilDays(f.year, f.month, f.day) - civilDays(t.year, t.month, t.day);
    // Whole intervals up to the floor's day; the steps below pass it.
    const int64_t jump = days / interval * interval;
    date = wholeSecondsToMs(
        dates_.fromLocal(t.year, t.month, t.day + static_cast<int>(jump), t.hour, t.minute, t.second));
  }
  while (date <= floor) {
    const auto next = getNextDateByNextDate(date, repeatType);
    if (!next || *next <= date) return std::nullopt;
    date = *next;
  }
  return date;
}

}  // namespace varnel
