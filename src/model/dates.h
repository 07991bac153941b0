// Calendar arithmetic in the ledger's time zone, and the conversions between
// the store's time scale (seconds since 2001-01-01 UTC) and milliseconds since
// 1970 used by change stamps and the interchange formats.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class Calendar;
U_NAMESPACE_END

namespace varnel {

// Seconds between 1970-01-01 and 2001-01-01 UTC.
inline constexpr int64_t kReferenceDateOffset = 978307200;

inline double msToStoreSeconds(int64_t ms) {
  return static_cast<double>(ms) / 1000.0 - static_cast<double>(kReferenceDateOffset);
}
// (stored seconds + 978307200) × 1000, truncated toward zero.
inline int64_t storeSecondsToMs(double seconds) {
  return static_cast<int64_t>((seconds + static_cast<double>(kReferenceDateOffset)) * 1000.0);
}

// The day of month (year, month) on which a period with start day `startDay`
// begins: 29, 30 and 31 are clamped to the month's length, February having 29
// days in every year divisible by 4 (the rule stored ledgers were cut with);
// any other start day is returned unchanged.
int clampStartDay(int year, int month, int startDay);

struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 0;  // 1 = Sunday … 7 = Saturday
};

// Gregorian calendar in one time zone. Not thread-safe: one per thread.
class DateUtil {
 public:
  // Throws InputError for a time zone ICU does not know.
  explicit DateUtil(const std::string& timeZoneId);
  ~DateUtil();
  DateUtil(const DateUtil& other);
  DateUtil& operator=(const DateUtil& other);

  const std::string& timeZoneId() const { return timeZoneId_; }

  LocalDateTime toLocal(double storeSeconds) const;
  // The instant of a local wall-clock time (month 1..12; out-of-range days
  // and months roll over as the calendar does).
  double fromLocal(int year, int month, int day, int hour = 0, int minute = 0,
                   double second = 0) const;
  // Formats with an ICU date pattern ("yyyy-MM-dd", "yyyyMMdd_HHmmddss").
  std::string format(double storeSeconds, const std::string& pattern) const;
  // "yyyy-MM-dd" of the local day.
  std::string dayKey(double storeSeconds) const;
  // ISO-8601 local time with offset, "2026-12-10T09:30:00+09:00".
  std::string isoLocal(double storeSeconds) const;

 private:
  std::string timeZoneId_;
  std::unique_ptr<icu::Calendar> calendar_;
};

}  // namespace varnel
