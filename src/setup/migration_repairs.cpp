#include "setup/migration_repairs.h"

#include <spdlog/spdlog.h>

#include "ledger/currency_repository.h"
#include "model/base_repository.h"

namespace varnel {

namespace {

// Runs one UPDATE with its arguments bound in order; the number of rows it
// changed. Throws SQLite::Exception (the enclosing inTransaction turns it into
// a failure and rolls back).
template <class... Args>
int execute(Store& store, const std::string& sql, const Args&... args) {
  auto st = store.prepare(sql);
  int i = 0;
  (st.bind(++i, args), ...);
  return st.exec();
}

constexpr const char* kNoCurrency = "(ZCURRENCYUID IS NULL OR ZCURRENCYUID = '')";

}  // namespace

Result<MainCurrencyAmountRepair> fixAmountMainCurrencyEqual(Ledger& ledger) {
  MainCurrencyAmountRepair report;
  BaseRepository repo(ledger);
  const auto main = CurrencyRepository(ledger).getMainCurrency();
  if (!main || !main->uid || main->uid->empty()) {
    ledger.log().warn("fixAmountMainCurrencyEqual: the ledger has no main currency; nothing repaired");
    return report;
  }
  const std::string mainUid = *main->uid;
  const int64_t now = ledger.env().nowMs();
  Store& store = ledger.store();
  Status done = repo.inTransaction([&]() -> Status {
    report.currenciesSet = execute(
        store, std::string("UPDATE ZINOUTCOME SET ZCURRENCYUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE ") + kNoCurrency,
        mainUid, now);
    // Both amounts are main-currency money: the entered one is what the user
    // typed, so it is the one that stands.
    report.amountsSet = execute(store,
                                "UPDATE ZINOUTCOME SET ZAMOUNT = ZAMOUNTSUB, ZUTIME = ?, ZISSYNCED = 1 "
                                "WHERE ZCURRENCYUID = ? AND ZAMOUNTSUB IS NOT NULL "
                                "AND (ZAMOUNT IS NULL OR ZAMOUNT != ZAMOUNTSUB)",
                                now, mainUid);
    report.accountCurrenciesSet =
        execute(store,
                std::string("UPDATE ZASSET SET ZCURRENCYUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE ") + kNoCurrency +
                    " AND ZUID IN (SELECT ZASSETUID FROM ZINOUTCOME WHERE ZASSETUID IS NOT NULL)",
                mainUid, now);
    report.accountAmountsSet = execute(store,
                                       "UPDATE ZINOUTCOME SET ZAMOUNTACCOUNT = ZAMOUNTSUB, ZUTIME = ?, ZISSYNCED = 1 "
                                       "WHERE ZAMOUNTSUB IS NOT NULL "
                                       "AND (ZAMOUNTACCOUNT IS NULL OR ZAMOUNTACCOUNT != ZAMOUNTSUB) "
                                       "AND ZCURRENCYUID = (SELECT a.ZCURRENCYUID FROM ZASSET a "
                                       "WHERE a.ZUID = ZINOUTCOME.ZASSETUID)",
                                       now);
    return Status::ok();
  }, "fixAmountMainCurrencyEqual");
  if (report.accountCurrenciesSet > 0 || !done) ledger.commonData().ReloadAppDataAsset();
  if (!done) return done;
  if (report.changes() > 0) {
    ledger.log().info("fixAmountMainCurrencyEqual: {} currencies, {} main amounts, {} account currencies, "
                      "{} account amounts",
                      report.currenciesSet, report.amountsSet, report.accountCurrenciesSet,
                      report.accountAmountsSet);
  }
  return report;
}

}  // namespace varnel
