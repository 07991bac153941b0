#include "app/cli.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <regex>

#include <fmt/format.h>

#include "ledger/asset_repository.h"
#include "ledger/category_repository.h"
#include "model/errors.h"
#include "model/number_input.h"
#include "model/text.h"
#include "setup/initial_data.h"

namespace varnel::cli {

std::unique_ptr<Ledger> Context::openLedger(bool* wroteDefaults) const {
  const Environment env = environment();
  std::optional<std::filesystem::path> at;
  std::error_code ec;
  if (staged || !std::filesystem::exists(env.storePath(), ec)) {
    if (!staged) {
      staged = env.storePath().parent_path() /
               fmt::format(".{}.new-{}", env.storePath().filename().string(), ::getpid());
      std::cout.rdbuf(output.rdbuf());
    }
    at = staged;
  }
  auto ledger = Ledger::open(env, nullptr, at);
  if (at) {
    if (!stagedPreferences) stagedPreferences = std::make_shared<Preferences::Changes>();
    ledger->preferences().hold(stagedPreferences);
  }
  const bool wrote = check(settingDefaultData(*ledger));
  if (wroteDefaults) *wroteDefaults = wrote;
  return ledger;
}

void printJson(const nlohmann::json& value) {
  std::cout << value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

void printLine(std::string_view line) { std::cout << escapedForLine(line) << '\n'; }

int firstArgumentNotUtf8(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (!isValidUtf8(argv[i])) return i;
  }
  return 0;
}

long long parseInteger(const std::string& text, const std::string& what, long long min, long long max) {
  return parseIntegerText(text, what, min, max);
}

double parseRate(const std::string& text) { return parseRateText(text, "the rate"); }

double parseDay(const Environment& env, const std::string& text, const std::string& what) {
  static const std::regex kDay(R"(\d{4}-\d{2}-\d{2})");
  if (!std::regex_match(text, kDay)) throw InputError(what + " must be a date YYYY-MM-DD: '" + text + "'");
  if (const int year = std::stoi(text.substr(0, 4)); year < kFirstYear || year > kLastYear) {
    throw InputError(fmt::format("{} must lie in the years {} to {}: '{}'", what, kFirstYear, kLastYear, text));
  }
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

double parseAmount(const std::string& text, const std::string& what) { return parseMoneyText(text, what); }

Asset resolveAccount(AssetRepository& repo, const std::string& text) {
  if (auto byUid = repo.assetByUid(text)) return *byUid;
  std::vector<Asset> matches;
  for (const auto& a : repo.ledger().commonData().assetList()) {
    const int64_t del = a.isDel.value_or(0);
    if (del != 1 && del != 2 && a.NicName.value_or("") == text) matches.push_back(a);
  }
  if (matches.empty()) throw InputError("no account is named or identified '" + text + "'");
  if (matches.size() > 1) throw InputError("several accounts are named '" + text + "'; use the identifier");
  return matches.front();
}

Category resolveCategory(Ledger& ledger, const std::string& text) {
  using namespace category_code;
  if (text == kUncategorised || text == kBalanceAdjustment) {
    throw InputError("'" + text + "' is a built-in pseudo-category and cannot be changed");
  }
  const CommonData& cache = ledger.commonData();
  if (auto byUid = cache.categoryByUid(text); byUid && isLive(*byUid)) return *byUid;
  std::vector<Category> byFullName, byName;
  for (const Category& c : cache.categoryList()) {
    if (!isLive(c) || !c.uid) continue;
    if (cache.getCategoryFullNameByCategoryId(*c.uid) == text) byFullName.push_back(c);
    if (c.Name == text) byName.push_back(c);
  }
  for (const auto* matches : {&byFullName, &byName}) {
    if (matches->size() == 1) return matches->front();
    if (matches->size() > 1) {
      throw InputError(fmt::format("'{}' names {} categories; name it by uid or full name", text,
                                   matches->size()));
    }
  }
  throw InputError("no category '" + text + "'");
}

}  // namespace varnel::cli
