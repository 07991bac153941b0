#include "setup/migration_repairs.h"

#include <SQLiteCpp/SQLiteCpp.h>
#include <spdlog/spdlog.h>

#include "model/ledger.h"

namespace varnel {

namespace {

int64_t run(Store& store, const std::string& sql, const std::string& mainCurrency, int64_t now) {
  SQLite::Statement statement(store.db(), sql);
  if (statement.getIndex(":main") > 0) statement.bind(":main", mainCurrency);
  statement.bind(":now", now);
  return statement.exec();
}

}  // namespace

Result<AmountRepairReport> fixAmountMainCurrencyEqual(Ledger& ledger) {
  AmountRepairReport report;
  const auto& main = ledger.commonData().mainCurrency();
  if (!main || !main->uid || main->uid->empty()) {
    ledger.log().warn("fixAmountMainCurrencyEqual: the ledger has no main currency");
    report.noMainCurrency = true;
    return report;
  }
  const std::string mainUid = *main->uid;
  const int64_t now = ledger.env().nowMs();
  Store& store = ledger.store();
  try {
    StoreTransaction transaction(store);
    report.currenciesFilled = run(store,
                                  "UPDATE ZINOUTCOME SET ZCURRENCYUID = :main, ZUTIME = :now, ZISSYNCED = 1 "
                                  "WHERE ZCURRENCYUID IS NULL",
                                  mainUid, now);
    report.mainAmountsMatched = run(store,
                                    "UPDATE ZINOUTCOME SET ZAMOUNT = ZAMOUNTSUB, ZUTIME = :now, ZISSYNCED = 1 "
                                    "WHERE ZCURRENCYUID = :main AND ZAMOUNTSUB IS NOT NULL "
                                    "AND ZAMOUNT IS NOT ZAMOUNTSUB",
                                    mainUid, now);
    report.accountsGivenCurrency = run(store,
                                       "UPDATE ZASSET SET ZCURRENCYUID = :main, ZUTIME = :now, ZISSYNCED = 1 "
                                       "WHERE (ZCURRENCYUID IS NULL OR ZCURRENCYUID = '') "
                                       "AND ZUID IN (SELECT ZASSETUID FROM ZINOUTCOME)",
                                       mainUid, now);
    // A join reads each account once instead of once per transaction.
    report.accountAmountsMatched =
        run(store,
            "UPDATE ZINOUTCOME SET ZAMOUNTACCOUNT = ZAMOUNTSUB, ZUTIME = :now, ZISSYNCED = 1 "
            "FROM ZASSET a WHERE a.ZUID = ZINOUTCOME.ZASSETUID AND a.ZCURRENCYUID = ZINOUTCOME.ZCURRENCYUID "
            "AND ZINOUTCOME.ZAMOUNTSUB IS NOT NULL AND ZINOUTCOME.ZAMOUNTACCOUNT IS NOT ZINOUTCOME.ZAMOUNTSUB",
            mainUid, now);
    transaction.commit();
  } catch (const SQLite::Exception& e) {
    return store.writeFailed("fixAmountMainCurrencyEqual", e);
  }
  const int64_t changed = report.currenciesFilled + report.mainAmountsMatched + report.accountsGivenCurrency +
                          report.accountAmountsMatched;
  if (changed > 0) {
    ledger.log().info("fixAmountMainCurrencyEqual: {} currencies, {} main amounts, {} accounts, {} account amounts",
                      report.currenciesFilled, report.mainAmountsMatched, report.accountsGivenCurrency,
                      report.accountAmountsMatched);
    ledger.commonData().ReloadTheData();
  }
  return report;
}

}  // namespace varnel
