#include "model/base_repository.h"

#include <cctype>
#include <cstdio>

#include <fmt/format.h>
#include <openssl/rand.h>

namespace varnel {

namespace {

// A version-4 UUID in canonical 8-4-4-4-12 form.
std::string randomUuid(bool upper) {
  unsigned char bytes[16];
  if (RAND_bytes(bytes, sizeof bytes) != 1) {
    // The generator failed to seed: no identifier is better than a guessable or repeated one.
    throw std::runtime_error("secure random generator unavailable");
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  out.reserve(36);
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 0x0F];
  }
  return out;
}

}  // namespace

std::string BaseRepository::newUid() { return randomUuid(true); }

std::string BaseRepository::newPhotoFileName() { return randomUuid(false) + ".jpg"; }

RepairReport BaseRepository::fixNotUniqueUid() {
  return varnel::fixNotUniqueUid(getContext().db(), log());
}

int BaseRepository::getStartDay(int year, int month, int startDay) {
  return clampStartDay(year, month, startDay);
}

std::string BaseRepository::getAddDay(const std::string& yyyymm, int startDay) {
  int year = 0, month = 0;
  if (yyyymm.size() >= 6) {
    year = std::atoi(yyyymm.substr(0, 4).c_str());
    month = std::atoi(yyyymm.substr(4, 2).c_str());
  }
  return fmt::format("{}{:02d}", yyyymm, getStartDay(year, month, startDay));
}

std::array<std::string, 3> BaseRepository::getIntDateWeekMonthYear(double date, int calcDayInt) {
  const DateUtil& dates = ledger_.env().dates();
  const LocalDateTime t = dates.toLocal(date);

  const int firstWeekday = ledger_.commonData().app().appWeekDay + 1;  // 1 = Sunday
  const int back = (t.weekday - firstWeekday + 7) % 7;
  const LocalDateTime weekStart = dates.toLocal(dates.fromLocal(t.year, t.month, t.day - back, 12));

  int year = t.year, month = t.month;
  if (t.day < getStartDay(t.year, t.month, calcDayInt)) {
    if (--month == 0) {
      month = 12;
      --year;
    }
  }
  const int monthKey = year * 100 + month;
  return {fmt::format("{:04d}{:02d}{:02d}", weekStart.year, weekStart.month, weekStart.day),
          std::to_string(monthKey), std::to_string(monthKey / 100)};
}

}  // namespace varnel
