#include "model/dates.h"

#include <unicode/calendar.h>
#include <unicode/gregocal.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include "model/errors.h"

namespace varnel {

namespace {

constexpr double kMsPerSecond = 1000.0;

UDate toUDate(double storeSeconds) {
  return (storeSeconds + static_cast<double>(kReferenceDateOffset)) * kMsPerSecond;
}

}  // namespace

int clampStartDay(int year, int month, int startDay) {
  if (startDay < 29 || startDay > 31) return startDay;
  if (month == 2) return year % 4 == 0 ? 29 : 28;
  if (startDay == 31 && (month == 4 || month == 6 || month == 9 || month == 11)) return 30;
  return startDay;
}

DateUtil::DateUtil(const std::string& timeZoneId) : timeZoneId_(timeZoneId) {
  std::unique_ptr<icu::TimeZone> zone(
      icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZoneId)));
  icu::UnicodeString id;
  zone->getID(id);
  if (id == icu::UnicodeString("Etc/Unknown")) {
    throw InputError("unknown time zone: " + timeZoneId);
  }
  UErrorCode status = U_ZERO_ERROR;
  calendar_ = std::make_unique<icu::GregorianCalendar>(zone.release(), status);
  if (U_FAILURE(status)) throw InputError("cannot make a calendar for time zone " + timeZoneId);
  // Proleptic Gregorian rules for every date, as the store's dates are.
  static_cast<icu::GregorianCalendar*>(calendar_.get())->setGregorianChange(-1e300, status);
}

DateUtil::~DateUtil() = default;

DateUtil::DateUtil(const DateUtil& other)
    : timeZoneId_(other.timeZoneId_), calendar_(other.calendar_->clone()) {}

DateUtil& DateUtil::operator=(const DateUtil& other) {
  if (this != &other) {
    timeZoneId_ = other.timeZoneId_;
    calendar_.reset(other.calendar_->clone());
  }
  return *this;
}

LocalDateTime DateUtil::toLocal(double storeSeconds) const {
  UErrorCode status = U_ZERO_ERROR;
  calendar_->setTime(toUDate(storeSeconds), status);
  LocalDateTime t;
  t.year = calendar_->get(UCAL_EXTENDED_YEAR, status);
  t.month = calendar_->get(UCAL_MONTH, status) + 1;
  t.day = calendar_->get(UCAL_DATE, status);
  t.hour = calendar_->get(UCAL_HOUR_OF_DAY, status);
  t.minute = calendar_->get(UCAL_MINUTE, status);
  t.second = calendar_->get(UCAL_SECOND, status);
  t.weekday = calendar_->get(UCAL_DAY_OF_WEEK, status);
  return t;
}

double DateUtil::fromLocal(int year, int month, int day, int hour, int minute,
                           double second) const {
  UErrorCode status = U_ZERO_ERROR;
  calendar_->clear();
  calendar_->set(UCAL_EXTENDED_YEAR, year);
  calendar_->set(UCAL_MONTH, month - 1);
  calendar_->set(UCAL_DATE, day);
  calendar_->set(UCAL_HOUR_OF_DAY, hour);
  calendar_->set(UCAL_MINUTE, minute);
  const int whole = static_cast<int>(second);
  calendar_->set(UCAL_SECOND, whole);
  calendar_->set(UCAL_MILLISECOND, static_cast<int>((second - whole) * kMsPerSecond + 0.5));
  const UDate ms = calendar_->getTime(status);
  return ms / kMsPerSecond - static_cast<double>(kReferenceDateOffset);
}

std::string DateUtil::format(double storeSeconds, const std::string& pattern) const {
  UErrorCode status = U_ZERO_ERROR;
  icu::SimpleDateFormat formatter(icu::UnicodeString::fromUTF8(pattern), icu::Locale::getRoot(),
                                  status);
  formatter.setCalendar(*calendar_);
  icu::UnicodeString out;
  formatter.format(toUDate(storeSeconds), out);
  std::string utf8;
  out.toUTF8String(utf8);
  return utf8;
}

std::string DateUtil::dayKey(double storeSeconds) const {
  return format(storeSeconds, "yyyy-MM-dd");
}

std::string DateUtil::isoLocal(double storeSeconds) const {
  return format(storeSeconds, "yyyy-MM-dd'T'HH:mm:ssxxx");
}

}  // namespace varnel
