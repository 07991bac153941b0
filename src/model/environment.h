// Everything the ledger takes from the outside world: the clock, the time
// zone, the locale, the interface language, the region and the data folders.
// Nothing in the library reads these from the system directly, so tests and
// the `--now`/`--tz` options fix them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "model/dates.h"

namespace varnel {

// The years a ledger date may lie in: wide enough for any household's
// records, narrow enough that a typo ("0000-01-01") is not kept as a date
// that sorts before everything and breaks the periods computed from it.
inline constexpr int kFirstYear = 1900;
inline constexpr int kLastYear = 2999;

struct EnvironmentOptions {
  std::optional<std::string> home;    // data folder
  std::optional<std::string> now;     // ISO-8601 instant; local time when it has no offset
  std::optional<std::string> tz;      // IANA time zone
  std::optional<std::string> locale;  // "ko_KR", "en_US"
  std::optional<std::string> lang;    // interface language, "ko", "en", "zh_CN"
  std::optional<std::string> region;  // "KR", "US"
};

class Environment {
 public:
  // Fills what the options leave open from the system (TZ, LANG, XDG_DATA_HOME,
  // HOME). Throws InputError for a value that cannot be used.
  static Environment make(const EnvironmentOptions& options = {});

  // Current time as milliseconds since 1970 (the fixed "now" when one is set).
  int64_t nowMs() const;
  // Current time on the store's scale (seconds since 2001).
  double nowStoreSeconds() const;
  void setNow(std::optional<int64_t> fixedMs) { fixedNowMs_ = fixedMs; }

  const DateUtil& dates() const { return dates_; }
  const std::string& timeZoneId() const { return dates_.timeZoneId(); }
  const std::string& locale() const { return locale_; }
  const std::string& language() const { return language_; }
  const std::string& region() const { return region_; }

  const std::filesystem::path& home() const { return home_; }
  // Stands for the phone's documents folder: the store and on-demand backups.
  std::filesystem::path documentsDir() const { return home_ / "Documents"; }
  // Stands for the phone's application-support folder: cloud books, the log.
  std::filesystem::path appSupportDir() const { return home_ / "Application Support"; }
  std::filesystem::path storePath() const { return documentsDir() / "varnel.sqlite"; }

  // Parses an ISO-8601 date or date-time ("2026-12-10", "2026-12-10T09:30",
  // "2026-12-10T09:30:00Z", "…+09:00") into store seconds; local time when
  // there is no offset. Throws InputError for another form, a day or time the
  // calendar lacks, a year outside kFirstYear … kLastYear or an offset beyond
  // ±14:00 (the widest any zone uses).
  double parseIso(const std::string& text) const;
  // A day written "YYYY-MM-DD" as the store date of its local midnight.
  // Throws InputError naming `what` for another form, a year outside
  // kFirstYear … kLastYear or a day the calendar lacks (2026-02-30 is refused,
  // never rolled over into March).
  double parseDay(const std::string& text, const std::string& what) const;

 private:
  Environment(DateUtil dates) : dates_(std::move(dates)) {}

  DateUtil dates_;
  std::optional<int64_t> fixedNowMs_;
  std::string locale_;
  std::string language_;
  std::string region_;
  std::filesystem::path home_;
};

}  // namespace varnel
