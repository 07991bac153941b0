#include <gtest/gtest.h>

#include "model/environment.h"
#include "model/errors.h"
#include "model/texts.h"

namespace varnel {
namespace {

Environment make(const std::string& tz, std::optional<std::string> now = std::nullopt) {
  EnvironmentOptions o;
  o.home = "/tmp/varnel-env-test";
  o.tz = tz;
  o.locale = "en_US";
  o.now = now;
  return Environment::make(o);
}

TEST(Environment, ParsesIsoTimesInTheLedgerTimeZone) {
  const Environment seoul = make("Asia/Seoul");
  struct Case {
    const char* text;
    int64_t ms;
  } cases[] = {
      {"2001-01-01T09:00:00", 978307200000},  // Seoul is UTC+9
      {"2001-01-01", 978274800000},
      {"2001-01-01T00:00:00Z", 978307200000},
      {"2001-01-01T01:00:00+01:00", 978307200000},
      {"2001-01-01T00:00:00.250Z", 978307200250},
      {"2024-02-29T12:00", 1709175600000},
      {"2001-01-01T14:00:00+14:00", 978307200000},  // the widest offsets a zone uses
      {"2000-12-31T12:00:00-12:00", 978307200000},
  };
  for (const auto& c : cases) EXPECT_EQ(storeSecondsToMs(seoul.parseIso(c.text)), c.ms) << c.text;
  for (const char* bad : {"2023-02-29", "2026-13-01", "yesterday", "2026-1-5", "2026-01-01T25:00", "0000-01-01",
                          "1899-12-31", "3000-01-01", "2026-12-10T09:00:00+25:00", "2026-12-10T09:00:00-14:30",
                          "2026-12-10T09:00:00+0960"}) {
    EXPECT_THROW(seoul.parseIso(bad), InputError) << bad;
  }
}

TEST(Environment, FixedNowAndBadValues) {
  EXPECT_EQ(make("UTC", "2026-12-10T00:00:00Z").nowMs(), 1796860800000);
  EXPECT_THROW(make("Mars/Olympus"), InputError);
  EnvironmentOptions o;
  o.home = "/tmp/x";
  o.tz = "UTC";
  o.locale = "not a locale!";
  EXPECT_THROW(Environment::make(o), InputError);
  o.locale = "ko_KR";
  o.region = "Korea";
  EXPECT_THROW(Environment::make(o), InputError);
  o.region = std::nullopt;
  const Environment env = Environment::make(o);
  EXPECT_EQ(env.language(), "ko");
  EXPECT_EQ(env.region(), "KR");
  EXPECT_EQ(env.storePath(), std::filesystem::path("/tmp/x/Documents/varnel.sqlite"));
}

TEST(Environment, LocalDatesAcrossDaylightSaving) {
  const Environment ny = make("America/New_York");
  const double t = ny.dates().fromLocal(2026, 3, 8, 12);  // the day clocks move forward
  const LocalDateTime local = ny.dates().toLocal(t);
  EXPECT_EQ(local.day, 8);
  EXPECT_EQ(local.hour, 12);
  EXPECT_EQ(ny.dates().dayKey(t), "2026-03-08");
  EXPECT_EQ(ny.dates().isoLocal(t), "2026-03-08T12:00:00-04:00");
  // Day 32 rolls into the next month.
  EXPECT_EQ(ny.dates().dayKey(ny.dates().fromLocal(2026, 1, 32, 12)), "2026-02-01");
}

TEST(Environment, ADayTheCalendarLacksIsRefusedNotRolledOver) {
  const Environment seoul = make("Asia/Seoul");
  EXPECT_EQ(seoul.dates().dayKey(seoul.parseDay("2024-02-29", "--from")), "2024-02-29");
  EXPECT_EQ(seoul.parseDay("2001-01-01", "--from"), seoul.parseIso("2001-01-01"));
  for (const char* bad : {"2026-02-30", "2026-04-31", "12/01/2026", "2026-12-10T09:00", "0999-01-01", "3000-01-01", ""}) {
    EXPECT_THROW(seoul.parseDay(bad, "--from"), InputError) << bad;
  }
}

TEST(Texts, FallBackToEnglishThenToTheKey) {
  const Texts ko("ko_KR");
  EXPECT_EQ(ko.text("none_category"), "미분류");
  EXPECT_EQ(ko.text("no_such_key"), "no_such_key");
  const Texts fr("fr");
  EXPECT_EQ(fr.text("none_category"), "Uncategorised");
}

TEST(Texts, EveryKoreanKeyHasAnEnglishText) {
  const auto en = loadTextTable("en");
  for (const auto& [key, text] : loadTextTable("ko")) EXPECT_TRUE(en.count(key)) << key;
}

}  // namespace
}  // namespace varnel
