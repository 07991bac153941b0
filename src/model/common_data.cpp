#include "model/common_data.h"

#include <charconv>
#include <map>

#include "model/etc_repository.h"
#include "model/liveness.h"

namespace varnel {

namespace {

std::optional<int> parseInt(const Text& text) {
  if (!text) return std::nullopt;
  int value = 0;
  const char* begin = text->data();
  auto [end, ec] = std::from_chars(begin, begin + text->size(), value);
  if (ec != std::errc()) return std::nullopt;
  return value;
}

}  // namespace

void CommonData::ReloadTheData() {
  // Settings, categories, groups, accounts and currencies from one state: an
  // account must not arrive without the group another process added with it.
  StoreSnapshot snapshot(ledger_.store());
  ReloadAppDataEtc();
  ReloadAppDataCategory();
  ReloadAppDataAssetGroup();
  ReloadAppDataAsset();
  ReloadAppDataCurrency();
}

void CommonData::ReloadAppDataEtc() {
  using namespace etc_kind;
  EtcRepository repository(ledger_);
  // One read of the live records; the first record of a kind holds its value.
  std::map<int64_t, Etc> first;
  for (auto& r : repository.fetch<Etc>(" WHERE " + live::recordSql() + " ORDER BY Z_PK")) {
    if (r.DataType) first.emplace(*r.DataType, std::move(r));
  }
  auto value = [&](int kind) -> const Text* {
    auto it = first.find(kind);
    return it == first.end() ? nullptr : &it->second.Data;
  };
  auto intOr = [&](int kind, int fallback) {
    const Text* v = value(kind);
    if (!v) return fallback;
    return parseInt(*v).value_or(fallback);
  };

  AppValues app;
  app.appStartDay = intOr(kStartDay, 1);
  if (app.appStartDay <= 0) app.appStartDay = 1;
  app.appStartDayType = intOr(kMonthStartWeekendType, 0);
  app.appWeekDay = intOr(kWeekStartDay, 0);
  if (app.appWeekDay < 0 || app.appWeekDay > 6) app.appWeekDay = 0;
  app.inputTimeType = intOr(kTimeDisplayOrder, 0);
  app.appPeriodType = intOr(kDefaultPeriodType, 6);
  if (const Text* v = value(kCarryOver); v && *v) app.nextMonth = **v;
  if (const Text* v = value(kCardAccountingType); v && *v) app.cardCashbookStr = **v;
  app.appIsShowMemo = intOr(kShowTxMemoOnDayList, 0) == 1 ? 1 : 0;
  app.appShowTxMemoButton = intOr(kMemoBtnOnDaily, 1);
  if (const Text* v = value(kInitDbVersion); v && *v) app.firstInstallVersion = **v;
  app_ = std::move(app);
}

}  // namespace varnel
