#include "model/environment.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <regex>

#include <fmt/format.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include "model/errors.h"

namespace varnel {

namespace {

std::string envVar(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string systemTimeZone() {
  std::string tz = envVar("TZ");
  if (!tz.empty() && tz[0] == ':') tz.erase(0, 1);
  if (!tz.empty()) return tz;
  std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::detectHostTimeZone());
  icu::UnicodeString id;
  zone->getID(id);
  std::string out;
  id.toUTF8String(out);
  return out == "Etc/Unknown" || out.empty() ? "UTC" : out;
}

// "ko_KR.UTF-8@euro" → "ko_KR"; "C" and "POSIX" → "en_US".
std::string systemLocale() {
  std::string lang = envVar("LC_ALL");
  if (lang.empty()) lang = envVar("LANG");
  lang = lang.substr(0, lang.find_first_of(".@"));
  if (lang.empty() || lang == "C" || lang == "POSIX") return "en_US";
  return lang;
}

std::string canonicalLocale(const std::string& text) {
  static const std::regex kPattern("^[A-Za-z]{2,3}([_-][A-Za-z0-9]{2,8})*$");
  if (!std::regex_match(text, kPattern)) throw InputError("unknown locale: " + text);
  std::string s = text;
  for (char& c : s) {
    if (c == '-') c = '_';
  }
  return s;
}

}  // namespace

Environment Environment::make(const EnvironmentOptions& options) {
  Environment env(DateUtil(options.tz ? *options.tz : systemTimeZone()));
  env.locale_ = canonicalLocale(options.locale ? *options.locale : systemLocale());
  icu::Locale icuLocale(env.locale_.c_str());
  if (options.lang) {
    env.language_ = canonicalLocale(*options.lang);
  } else {
    env.language_ = icuLocale.getLanguage();
    // Simplified Chinese is told apart from the other Chinese by its region.
    if (env.language_ == "zh" && std::string(icuLocale.getCountry()) == "CN") env.language_ = "zh_CN";
  }
  if (options.region) {
    static const std::regex kRegion("^([A-Za-z]{2}|[0-9]{3})$");
    if (!std::regex_match(*options.region, kRegion)) {
      throw InputError("unknown region code: " + *options.region);
    }
    env.region_ = *options.region;
    for (char& c : env.region_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  } else {
    env.region_ = icuLocale.getCountry();
    if (env.region_.empty()) env.region_ = "US";
  }

  if (options.home) {
    if (options.home->empty()) throw InputError("--home needs a folder");
    env.home_ = std::filesystem::absolute(*options.home);
  } else if (!envVar("XDG_DATA_HOME").empty()) {
    env.home_ = std::filesystem::path(envVar("XDG_DATA_HOME")) / "varnel";
  } else if (!envVar("HOME").empty()) {
    env.home_ = std::filesystem::path(envVar("HOME")) / ".local" / "share" / "varnel";
  } else {
    throw InputError("no data folder: give --home, or set XDG_DATA_HOME or HOME");
  }

  if (options.now) {
    env.fixedNowMs_ = storeSecondsToMs(env.parseIso(*options.now));
  }
  return env;
}

int64_t Environment::nowMs() const {
  if (fixedNowMs_) return *fixedNowMs_;
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}

double Environment::nowStoreSeconds() const { return msToStoreSeconds(nowMs()); }

double Environment::parseIso(const std::string& text) const {
  static const std::regex kIso(
      R"(^(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2}):(\d{2})(?::(\d{2})(?:\.(\d{1,9}))?)?)?(Z|[+-]\d{2}:?\d{2})?$)");
  std::smatch m;
  if (!std::regex_match(text, m, kIso)) {
    throw InputError("not an ISO-8601 date or time: " + text);
  }
  auto num = [&](int i) { return m[i].matched ? std::stoi(m[i].str()) : 0; };
  const int year = num(1), month = num(2), day = num(3), hour = num(4), minute = num(5);
  double second = num(6);
  if (m[7].matched) second += std::stod("0." + m[7].str());
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || hour > 23 || minute > 59 ||
      second >= 60) {
    throw InputError("not a valid date or time: " + text);
  }
  if (month == 2 && day == 29 && !((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) {
    throw InputError("not a valid date or time: " + text);
  }
  if (year < kFirstYear || year > kLastYear) {
    throw InputError(fmt::format("dates must lie in the years {} to {}: {}", kFirstYear, kLastYear, text));
  }
  if (!m[8].matched) return dates_.fromLocal(year, month, day, hour, minute, second);
  // An explicit offset: the wall-clock time in UTC, less the offset.
  const double utc = DateUtil("UTC").fromLocal(year, month, day, hour, minute, second);
  const std::string offset = m[8].str();
  if (offset == "Z") return utc;
  const int sign = offset[0] == '-' ? -1 : 1;
  const std::string digits = std::regex_replace(offset.substr(1), std::regex(":"), "");
  const int offsetHours = std::stoi(digits.substr(0, 2)), offsetMinutes = std::stoi(digits.substr(2, 2));
  const int minutes = offsetHours * 60 + offsetMinutes;
  if (offsetMinutes > 59 || minutes > 14 * 60) {
    throw InputError("a UTC offset must lie within -14:00 to +14:00: " + text);
  }
  return utc - sign * minutes * 60.0;
}

double Environment::parseDay(const std::string& text, const std::string& what) const {
  static const std::regex kDay(R"(\d{4}-\d{2}-\d{2})");
  if (!std::regex_match(text, kDay)) throw InputError(what + " must be a date YYYY-MM-DD: '" + text + "'");
  if (const int year = std::stoi(text.substr(0, 4)); year < kFirstYear || year > kLastYear) {
    throw InputError(fmt::format("{} must lie in the years {} to {}: '{}'", what, kFirstYear, kLastYear, text));
  }
  double day = 0;
  try {
    day = parseIso(text);
  } catch (const InputError&) {
    throw InputError(what + " is not a valid date: '" + text + "'");
  }
  if (dates_.dayKey(day) != text) throw InputError(what + " is not a valid date: '" + text + "'");
  return day;
}

}  // namespace varnel
