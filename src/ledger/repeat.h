// The repeat rules of recurring transactions: the thirteen repeat types, in
// the order they are offered, their display names, and the date of the next
// occurrence, all in the ledger's time zone.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/dates.h"

namespace varnel {

class Texts;

// Repeat type codes (`repeatType`); 0 is no repeat.
namespace repeat_type {
inline constexpr int kNone = 0;
inline constexpr int kMonthly = 1;
inline constexpr int kTwoMonths = 2;
inline constexpr int kThreeMonths = 3;
inline constexpr int kFourMonths = 4;
inline constexpr int kDaily = 5;
inline constexpr int kWeekly = 6;
inline constexpr int kTwoWeeks = 7;
inline constexpr int kMonthEnd = 8;
inline constexpr int kWeekdays = 9;
inline constexpr int kWeekends = 10;
inline constexpr int kFourWeeks = 15;
inline constexpr int kSixMonths = 16;
inline constexpr int kYearly = 17;
}  // namespace repeat_type

class Repeat {
 public:
  explicit Repeat(const DateUtil& dates) : dates_(dates) {}

  // The thirteen codes in the order they are offered: 5, 9, 10, 6, 7, 15, 1,
  // 8, 2, 3, 4, 16, 17.
  static const std::array<int, 13>& getRepeatTypes();
  static bool isRepeatType(int64_t code);
  // The display name of a code (text key "repeat_<code>"); for an unknown
  // code the code itself.
  static std::string getName(const Texts& texts, int64_t code);
  // The name the program takes for a code ("daily", "weekdays", "monthly",
  // …), and the code of such a name or of a code's decimal text; none for
  // anything else.
  static std::string_view commandName(int code);
  static std::optional<int> codeOfCommandName(std::string_view name);

  // The occurrence after `date` (milliseconds since 1970) by the rule of
  // `repeatType`; none for a code that is not a repeat type.
  //  - 5, 6, 7, 15: 1, 7, 14, 28 calendar days later, same local time (a
  //    daylight-saving change does not move it);
  //  - 9: the next weekday (Friday + 3 days, Saturday + 2, else + 1);
  //  - 10: the next weekend day (Saturday + 1, else up to the coming Saturday);
  //  - 1, 2, 3, 4, 16, 17: 1, 2, 3, 4, 6, 12 months later on the day the
  //    series was set for, cut to the month's real length (31 January, 29
  //    February 2028, 31 March; 28 February in 2100); 1 to 4 keep the local
  //    time, 16 and 17 are at 00:00;
  //  - 8: the last day of the next month, at 00:00.
  // Occurrences fall on whole seconds. When a month cuts the day short, the
  // millisecond part of the result keeps the day the series was set for
  // (1 to 31), so that the month after is back on it; that is how the rule
  // is carried in a template's `nextDate` through backups and sync. Give
  // the date of a new series at a whole second.
  std::optional<int64_t> getNextDateByNextDate(int64_t date, int repeatType) const;
  // The same for a caller that already has the occurrence's local time
  // (`local` = the local time of occurrenceSeconds(date)).
  std::optional<int64_t> getNextDateByNextDate(int64_t date, const LocalDateTime& local, int repeatType) const;

  // The first occurrence the rule reaches from `date` that is later than
  // `floor` (`date` itself when it is): the fixed-interval day types get
  // there in one step, the others one occurrence at a time. None for a code
  // that is not a repeat type.
  std::optional<int64_t> firstAfter(int64_t date, int repeatType, int64_t floor) const;

  // The instant of an occurrence (`date` without the kept day of the month),
  // on the store's scale.
  static double occurrenceSeconds(int64_t date);

 private:
  const DateUtil& dates_;
};

// The number of days of a month of the (proleptic) Gregorian calendar.
int daysInMonth(int year, int month);

}  // namespace varnel
