// Shared in-memory caches of one ledger, rebuilt from the store after changes.
// Holds the application values read from the settings records; the account,
// category and currency caches join it as those repositories do.
#pragma once

#include <string>

namespace varnel {

class Ledger;

// Settings as the rest of the ledger uses them.
struct AppValues {
  int appStartDay = 1;          // first day of the accounting month
  int appStartDayType = 0;      // weekend rule of the month start
  int appWeekDay = 0;           // first weekday, 0 = Sunday … 6 = Saturday
  int inputTimeType = 0;        // date/time display order
  int appPeriodType = 6;        // default period kind
  std::string nextMonth;        // carry-over flag text
  std::string cardCashbookStr;  // "1" = card cash-book mode
  int appIsShowMemo = 0;
  int appShowTxMemoButton = 1;
  std::string firstInstallVersion;
};

class CommonData {
 public:
  explicit CommonData(Ledger& ledger) : ledger_(ledger) {}

  // Rebuilds every cache from the store.
  void ReloadTheData();
  // Reads the settings records into `app`.
  void ReloadAppDataEtc();

  const AppValues& app() const { return app_; }

 private:
  Ledger& ledger_;
  AppValues app_;
};

}  // namespace varnel
