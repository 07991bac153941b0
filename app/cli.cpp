#include "app/cli.h"

#include <charconv>
#include <regex>

#include "model/errors.h"
#include "setup/initial_data.h"

namespace varnel::cli {

std::unique_ptr<Ledger> Context::openLedger() const {
  auto ledger = Ledger::open(environment());
  settingDefaultData(*ledger);
  return ledger;
}

void printJson(const nlohmann::json& value) { std::cout << value.dump(2) << '\n'; }

long long parseInteger(const std::string& text, const std::string& what) {
  long long value = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    throw InputError(what + " must be a whole number: '" + text + "'");
  }
  return value;
}

double parseDay(const Environment& env, const std::string& text, const std::string& what) {
  static const std::regex kDay(R"(\d{4}-\d{2}-\d{2})");
  if (!std::regex_match(text, kDay)) throw InputError(what + " must be a date YYYY-MM-DD: '" + text + "'");
  double day = 0;
  try {
    day = env.parseIso(text);
  } catch (const InputError&) {
    throw InputError(what + " is not a valid date: '" + text + "'");
  }
  // A day the calendar does not have (2026-02-30) would otherwise roll over.
  if (env.dates().dayKey(day) != text) throw InputError(what + " is not a valid date: '" + text + "'");
  return day;
}

std::string accountUidByName(const CommonData& cache, const std::string& text) {
  if (auto byUid = cache.assetByUid(text)) return *byUid->uid;
  std::vector<std::string> matches;
  for (const auto& a : cache.assetList()) {
    const int64_t del = a.isDel.value_or(0);
    if (a.uid && del != 1 && del != 2 && a.NicName.value_or("") == text) matches.push_back(*a.uid);
  }
  if (matches.empty()) throw InputError("no account is named or identified '" + text + "'");
  if (matches.size() > 1) throw InputError("several accounts are named '" + text + "'; use the identifier");
  return matches.front();
}

}  // namespace varnel::cli
