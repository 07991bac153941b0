// Currency rows of the ledger: the main currency, the built-in and
// user-defined currencies with their rates against it, downloaded rate
// updates, and the change of the main currency of an existing ledger (with
// its safety copy and the re-identification of rows and references).
//
// Rates are main-currency units per one unit of the row's currency. A
// built-in row is identified "<main ISO>_<ISO>" (KRW_USD); a user-defined
// row has a random identifier.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ledger/currency_catalogue.h"
#include "model/base_repository.h"

namespace varnel {

struct MoneyCurrency;

// Device preference holding the time (ms since 1970) of the last successful
// rate update.
inline constexpr const char* kLastCurrencyRateUpdateTimeKey = "LastCurrencyRateUpdateTime";
// Automatic rate updates run at most once in this many minutes.
inline constexpr int64_t kCurrencyRateUpdateIntervalMinutes = 361;

// What a rate update did.
struct CurrencyRateUpdate {
  bool applied = false;                 // false: skipped (too soon), no main currency, or failed
  Status status;                        // why the rates could not be saved
  std::vector<Currency> updated;        // rows written, with their new rates
  std::vector<std::string> missing;     // ISO codes without a usable rate (rate kept)
  std::optional<std::string> messageKey;  // "update success!" after a manual update
};

// What a change of the main currency did.
struct MainCurrencyChange {
  std::string oldIso;  // empty when the ledger had no main currency
  std::string newIso;
  std::optional<std::filesystem::path> safetyCopy;
  std::vector<std::pair<std::string, std::string>> renamedRows;  // old uid → new uid
  std::vector<std::string> removedRows;  // rows that stood on a new identifier
  int64_t accounts = 0;                  // references moved to the new identifiers
  int64_t favourites = 0;
  int64_t recurring = 0;
  int64_t transactions = 0;
  // Main-currency money restated in the new main currency: `amount` of every
  // transaction that has one (deleted ones and fees too), `amountAccount` of
  // those whose account counts as being in the main currency (its currency
  // row cannot be found), and every budget amount.
  int64_t restatedTransactions = 0;
  int64_t restatedAccountAmounts = 0;
  int64_t restatedBudgetAmounts = 0;
  std::optional<std::string> messageKey;  // "popup_message9_2" after a start-over
  // A failure (the safety copy could not be taken, the store refused):
  // nothing was changed.
  Status status = Status::storeFailure("nothing was changed");
  bool ok() const { return status.isOk(); }
};

class CurrencyRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // --- Lookups -------------------------------------------------------------
  std::optional<Currency> getCurrencyByUid(const std::string& uid);
  // The row of `uid` when it is offered for entry (`isShow` 1).
  std::optional<Currency> getCurrencyByPkShow(const std::string& uid);
  // Every shown row, of any main currency.
  std::vector<Currency> getListCurrency();
  // Every row.
  std::vector<Currency> getListCurrencyAll();
  // Shown rows of a main currency other than the main row, by `orderSeq`;
  // without an argument, of the current main currency.
  std::vector<Currency> getListCurrencyByMainIso(const std::optional<std::string>& mainIso = std::nullopt);
  std::optional<Currency> getCurrencyByMainIsoAndIso(const std::string& mainIso, const std::string& subIso);
  // The live, shown row of an ISO code against the current main currency.
  std::optional<Currency> getCurrencyBySubIso(const std::string& subIso);
  // The row marked as main currency.
  std::optional<Currency> getMainCurrency();
  // ISO code of the main currency; empty when there is none.
  std::string mainIso();
  std::optional<Currency> getCurrencyByAsset(const Asset& asset);
  std::optional<Currency> getCurrencyByFav(const FavTransaction& fav);

  // --- Changes -------------------------------------------------------------
  // Makes `iso` (a catalogue code) the main currency: every other row loses
  // the main mark, and the row "<iso>_<iso>" (created when missing) becomes
  // the main row with rate 1 and the catalogue's values. One transaction.
  // Throws InputError for a code the catalogue does not know.
  Result<Currency> addMainCurrency(const std::string& iso);
  // Creates or updates the built-in row "<main>_<sub>" with `rate` and the
  // catalogue's values. Throws InputError for an unknown code or a rate that
  // is not a positive number.
  Result<Currency> addCurrencyRate(const std::string& mainIso, const std::string& subIso,
                                          double rate, bool isShow);
  // Creates (when `row` is empty) or updates a user-defined row. Throws
  // InputError for an empty code or symbol, a rate that is not a positive
  // number or decimals outside 0…10.
  Result<Currency> addCurrencyCustom(const std::optional<Currency>& row, const std::string& mainIso,
                                            const std::string& iso, const std::string& symbol, double rate,
                                            const std::string& memo, bool isSymbolpositionFirst,
                                            int dotNumber);
  // Hides (`isShow` 0) or shows again (1) the row of `iso` against the
  // current main currency: a hidden currency is not offered for entry, while
  // the accounts and transactions that use it keep it. Stamped; returns the
  // row (unchanged and unsaved when it already was so). Throws InputError
  // when the ledger has no main currency, has no live row of `iso`, or `iso`
  // is the main currency and is to be hidden.
  Result<Currency> setCurrencyShown(const std::string& iso, bool shown);
  // Stamps a row (`utime`, `modifyDate` now, `isSynced` 1) and saves it.
  Status updateCurrencyRate(Currency& row);
  // Saves with the stamp; `isAdd` sets `isDel` 0. The stamp is applied
  // whatever `isSync` says. Logs "updateCurrency fail <error>".
  Status updateCurrency(Currency& row, bool isAdd, bool isSync = true);
  // Removes a row from the store ("deleteCurrency success" / "deleteCurrency
  // fail error : <error>"). The main row cannot be removed (InputError).
  Status deleteCurrency(const Currency& row);

  // --- Rates ---------------------------------------------------------------
  // Whether an automatic rate update may run now: the last successful one is
  // at least 361 minutes old, or unknown, or (clock set back) in the future.
  bool isCurrencyRateUpdateDue();
  // Applies downloaded rates (ISO code → rate text) to every shown built-in
  // row of the main currency other than the main row; "NTD" is looked up as
  // "TWD". A code without a usable rate logs "nocurrency <ISO>" and keeps its
  // rate. An automatic update (`isManual` false) does nothing when it is not
  // due. On success the time is kept under "LastCurrencyRateUpdateTime"; a
  // manual update returns "update success!".
  CurrencyRateUpdate updateCurrencyRateMySubCurrency(const std::map<std::string, std::string>& dicData,
                                                     bool isManual);

  // --- Main currency change --------------------------------------------------
  // Makes `newIso` the main currency of a ledger that has one already, after
  // a safety copy of the store file. Every row of the old main currency
  // (hidden ones too) and the main row move to the new one ("<new>_<ISO>"; a row
  // already standing on that identifier is removed first), their rates are
  // restated against the new main currency, the row of `newIso` becomes the
  // main row, and every account, favourite, recurring entry and transaction
  // follows its row to the new identifier. Money kept in the main currency
  // (see MainCurrencyChange) is restated through the money module: the old
  // amount ÷ the new main currency's old rate, rounded to its decimals; a
  // record entered in the new main currency takes its entered amount; the
  // restated records are stamped so that the change syncs.
  // All in one transaction; nothing changes when it fails or when the safety
  // copy cannot be taken. A ledger without a main currency just gets one.
  // Throws InputError for a code that is neither in the catalogue nor a row
  // of the current main currency, and for a new main currency without a
  // usable rate while the ledger holds main-currency amounts other than 0
  // (they could not be restated).
  MainCurrencyChange changeMainCurrency(const std::string& newIso);
  // The start-over variant: after a safety copy, removes every record except
  // categories, settings, account groups, message rules and the system tags,
  // makes `newIso` the main currency and calls `recreateInitialAccounts`
  // (inside the same transaction, so that it all happens or nothing does).
  // Returns "popup_message9_2". Throws InputError for an unknown code.
  MainCurrencyChange startOverWithMainCurrency(const std::string& newIso,
                                               const std::function<Status()>& recreateInitialAccounts);

  // --- Display -----------------------------------------------------------------
  // The amount in `currency` (the main currency when none is given) in the
  // environment's locale; see showMoneyByCurrecy in ledger/money.h.
  std::string showMoneyByCurrecy(double money, const std::optional<Currency>& currency, int mode);

 private:
  void reload();
  // Whether any transaction or budget holds a main-currency amount other than 0.
  bool holdsMainCurrencyMoney();
  // Restates the main-currency money in `newMain` (its old identifier, old
  // rate and decimals), set-based, and counts it into `change`. Runs inside
  // the change's transaction; throws SQLite::Exception when the store refuses.
  Status restateMainCurrencyMoney(const MoneyCurrency& newMain, int64_t now, MainCurrencyChange& change);
};

}  // namespace varnel
