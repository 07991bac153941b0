#include "ledger/currency_repository.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "ledger/currency_conversion.h"
#include "ledger/money.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "model/number_input.h"
#include "model/uid_repair.h"

namespace varnel {

namespace {

// A downloaded rate text: a plain decimal number within the range a rate may
// take, or nothing (a rate of 1e308 would turn every converted amount into
// zero or infinity).
std::optional<double> parseRate(const std::string& text) {
  double value = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin < end && *begin == ' ') ++begin;
  while (end > begin && end[-1] == ' ') --end;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (begin == end || ec != std::errc() || ptr != end || !isRateInRange(value)) return std::nullopt;
  return value;
}

// The tables whose records name a currency row by `currencyUid`.
const std::vector<std::string>& referencingTables() {
  static const std::vector<std::string> kTables = {"ZASSET", "ZFAVTRANSACTION",
                                                   "ZREPEATTRANSACTION", "ZINOUTCOME"};
  return kTables;
}

}  // namespace

void CurrencyRepository::reload() { ledger_.commonData().ReloadAppDataCurrency(); }

// --- Lookups -----------------------------------------------------------------

std::optional<Currency> CurrencyRepository::getCurrencyByUid(const std::string& uid) {
  if (uid.empty()) return std::nullopt;
  return getFirst(fetch<Currency>(" WHERE ZUID IS NOT NULL AND ZUID = ? LIMIT 1", uid));
}

std::optional<Currency> CurrencyRepository::getCurrencyByPkShow(const std::string& uid) {
  return getFirst(fetch<Currency>(" WHERE ZUID = ? AND ZISSHOW = 1 LIMIT 1", uid));
}

std::vector<Currency> CurrencyRepository::getListCurrency() {
  return fetch<Currency>(" WHERE ZISSHOW = 1 ORDER BY ZORDERSEQ, Z_PK");
}

std::vector<Currency> CurrencyRepository::getListCurrencyAll() {
  return fetch<Currency>(" ORDER BY ZORDERSEQ, Z_PK");
}

std::vector<Currency> CurrencyRepository::getListCurrencyByMainIso(const std::optional<std::string>& main) {
  const std::string iso = main ? *main : mainIso();
  return fetch<Currency>(
      " WHERE ZMAINISO = ? AND ZISSHOW = 1 AND (ZISMAINCURRENCY IS NULL OR ZISMAINCURRENCY = 0)"
      " ORDER BY ZORDERSEQ, Z_PK",
      iso);
}

std::optional<Currency> CurrencyRepository::getCurrencyByMainIsoAndIso(const std::string& main,
                                                                       const std::string& subIso) {
  return getFirst(fetch<Currency>(" WHERE ZMAINISO = ? AND ZISO = ? ORDER BY Z_PK LIMIT 1", main, subIso));
}

std::optional<Currency> CurrencyRepository::getCurrencyBySubIso(const std::string& subIso) {
  return getFirst(fetch<Currency>(
      " WHERE ZISSHOW = 1 AND ZMAINISO = ? AND ZISO = ? AND " + live::recordSql() + " ORDER BY Z_PK LIMIT 1",
      mainIso(), subIso));
}

std::optional<Currency> CurrencyRepository::getMainCurrency() {
  return getFirst(fetch<Currency>(" WHERE ZISMAINCURRENCY = 1 ORDER BY Z_PK LIMIT 1"));
}

std::string CurrencyRepository::mainIso() {
  auto main = getMainCurrency();
  if (!main) return "";
  return main->iso.value_or(main->mainIso.value_or(""));
}

std::optional<Currency> CurrencyRepository::getCurrencyByAsset(const Asset& asset) {
  return getCurrencyByUid(asset.currencyUid.value_or(""));
}

std::optional<Currency> CurrencyRepository::getCurrencyByFav(const FavTransaction& fav) {
  return getCurrencyByUid(fav.currencyUid.value_or(""));
}

// --- Changes -----------------------------------------------------------------

Result<Currency> CurrencyRepository::addMainCurrency(const std::string& iso) {
  const auto entry = CalcCurrency::currencyByIso(iso);
  if (!entry) throw InputError("unknown currency code: " + iso);
  Currency row;
  Status saved = inTransaction([&]() -> Status {
    auto clear = getContext().prepare(
        "UPDATE ZCURRENCY SET ZISMAINCURRENCY = 0, ZUTIME = ?, ZISSYNCED = 1 WHERE ZISMAINCURRENCY = 1");
    clear.bind(1, nowMs());
    clear.exec();

    const std::string uid = iso + "_" + iso;
    if (auto existing = dataByUid<Currency>(uid)) {
      row = *existing;
    } else {
      row = newObjectForEntity<Currency>(uid);
      row.orderSeq = nextAvailble<Currency>("orderSeq");
    }
    row.isShow = 1;
    row.modifyDate = ledger_.env().nowStoreSeconds();
    row.mainIso = iso;
    row.iso = iso;
    row.rate = 1.0;
    row.insertType = "I";
    row.symbol = entry->simpleSymbol;
    row.memo = entry->longIso;
    row.symbolPosition = entry->locationSymbol;
    row.point = entry->point;
    row.isMainCurrency = 1;
    row.isDel = 0;
    return saveStamped(row, "updateCurrency");
  }, "updateCurrency");
  reload();
  if (!saved) return saved;
  return row;
}

Result<Currency> CurrencyRepository::addCurrencyRate(const std::string& main, const std::string& subIso,
                                                            double rate, bool isShow) {
  if (main.empty()) throw InputError("the ledger has no main currency");
  if (!isRateInRange(rate)) throw InputError(fmt::format("the rate must lie from 1e-12 to 1e12: {}", rate));
  const auto entry = CalcCurrency::currencyByIso(subIso);
  std::optional<Currency> found = getCurrencyByMainIsoAndIso(main, subIso);
  const std::string uid = main + "_" + subIso;
  // A row left on the built-in identifier by some other path is reused rather
  // than duplicated.
  if (!found) found = dataByUid<Currency>(uid);
  if (!found && !entry) throw InputError("unknown currency code: " + subIso);
  const bool isNew = !found;
  Currency row = found ? *found : newObjectForEntity<Currency>(uid);
  if (isNew) {
    row.orderSeq = nextAvailble<Currency>("orderSeq");
    row.isMainCurrency = 0;
  }
  row.isShow = isShow ? 1 : 0;
  row.mainIso = main;
  row.iso = subIso;
  row.rate = rate;
  row.insertType = "I";
  row.modifyDate = ledger_.env().nowStoreSeconds();
  // A code the catalogue no longer lists (an older row) keeps its own values.
  if (entry) {
    row.symbol = main == subIso ? entry->simpleSymbol : entry->symbol;
    row.memo = entry->longIso;
    row.symbolPosition = entry->locationSymbol;
    row.point = entry->point;
  }
  VARNEL_RETURN_IF_ERROR(updateCurrency(row, isNew));
  return row;
}

Result<Currency> CurrencyRepository::addCurrencyCustom(const std::optional<Currency>& existing,
                                                              const std::string& main, const std::string& iso,
                                                              const std::string& symbol, double rate,
                                                              const std::string& memo,
                                                              bool isSymbolpositionFirst, int dotNumber) {
  if (main.empty()) throw InputError("the ledger has no main currency");
  if (iso.empty()) throw InputError("the currency code is empty");
  if (symbol.empty()) throw InputError("the currency symbol is empty");
  if (!isRateInRange(rate)) throw InputError(fmt::format("the rate must lie from 1e-12 to 1e12: {}", rate));
  if (dotNumber < 0 || dotNumber > 10) {
    throw InputError(fmt::format("the number of decimals must be from 0 to 10: {}", dotNumber));
  }
  const bool isNew = !existing;
  Currency row = existing ? *existing : newObjectForEntity<Currency>();
  if (isNew) {
    row.orderSeq = nextAvailble<Currency>("orderSeq");
    row.insertType = "C";
    row.isMainCurrency = 0;
  }
  row.modifyDate = ledger_.env().nowStoreSeconds();
  row.mainIso = main;
  row.iso = iso;
  row.symbol = symbol;
  row.rate = rate;
  row.memo = memo;
  row.symbolPosition = isSymbolpositionFirst ? "P" : "S";
  row.isShow = 1;
  row.point = dotNumber;
  VARNEL_RETURN_IF_ERROR(updateCurrency(row, isNew));
  return row;
}

Result<Currency> CurrencyRepository::setCurrencyShown(const std::string& iso, bool shown) {
  const std::string main = mainIso();
  if (main.empty()) throw InputError("the ledger has no main currency");
  if (iso == main) {
    if (!shown) throw InputError("the main currency " + iso + " cannot be hidden");
    return *getMainCurrency();
  }
  auto row = getCurrencyByMainIsoAndIso(main, iso);
  if (!row || !isLive(*row)) throw InputError("no currency '" + iso + "' in this ledger");
  if (row->isShow.value_or(0) == (shown ? 1 : 0)) return *row;
  row->isShow = shown ? 1 : 0;
  VARNEL_RETURN_IF_ERROR(updateCurrency(*row, false));
  return *row;
}

Status CurrencyRepository::updateCurrencyRate(Currency& row) {
  const auto before = row.modifyDate;
  row.modifyDate = ledger_.env().nowStoreSeconds();
  Status ok = saveStamped(row, "updateCurrency");
  if (!ok) row.modifyDate = before;
  reload();
  return ok;
}

Status CurrencyRepository::updateCurrency(Currency& row, bool isAdd, bool /*isSync*/) {
  if (isAdd) row.isDel = 0;
  Status ok = saveStamped(row, "updateCurrency");
  reload();
  return ok;
}

Status CurrencyRepository::deleteCurrency(const Currency& row) {
  if (row.isMainCurrency.value_or(0) == 1) {
    throw InputError("the main currency cannot be removed");
  }
  Status ok;
  try {
    auto st = getContext().prepare("DELETE FROM ZCURRENCY WHERE Z_PK = ?");
    st.bind(1, row.pk);
    st.exec();
    log().info("deleteCurrency success");
  } catch (const SQLite::Exception& e) {
    log().error("deleteCurrency fail error : {}", e.what());
    ok = Status::storeFailure(std::string("cannot write the ledger: ") + e.what());
  }
  reload();
  return ok;
}

// --- Rates -------------------------------------------------------------------

bool CurrencyRepository::isCurrencyRateUpdateDue() {
  const auto text = ledger_.preferences().getString(kLastCurrencyRateUpdateTimeKey);
  if (!text) return true;
  int64_t last = 0;
  auto [ptr, ec] = std::from_chars(text->data(), text->data() + text->size(), last);
  if (ec != std::errc() || ptr != text->data() + text->size()) return true;
  const int64_t now = nowMs();
  // A time in the future means the clock was set back; waiting for it would
  // stop updates for as long as the clock was off.
  if (last > now) return true;
  return now - last >= kCurrencyRateUpdateIntervalMinutes * 60 * 1000;
}

CurrencyRateUpdate CurrencyRepository::updateCurrencyRateMySubCurrency(
    const std::map<std::string, std::string>& dicData, bool isManual) {
  CurrencyRateUpdate result;
  if (!isManual && !isCurrencyRateUpdateDue()) return result;
  const std::string main = mainIso();
  if (main.empty()) return result;

  std::vector<Currency> updated;
  std::vector<std::string> missing;
  result.status = inTransaction([&]() -> Status {
    for (Currency& row : getListCurrencyByMainIso(main)) {
      const std::string iso = row.iso.value_or("");
      if (row.insertType.value_or("") == "C" || iso == main) continue;
      const std::string lookup = iso == "NTD" ? "TWD" : iso;
      std::optional<double> rate;
      if (auto it = dicData.find(lookup); it != dicData.end()) rate = parseRate(it->second);
      if (!rate) {
        log().info("nocurrency {}", iso);
        missing.push_back(iso);
        // A missing answer must not overwrite a good rate; a row that never
        // had one gets 1 so that conversions stay defined.
        if (row.rate && isUsableRate(*row.rate)) continue;
        rate = 1.0;
      }
      row.rate = *rate;
      row.modifyDate = ledger_.env().nowStoreSeconds();
      VARNEL_RETURN_IF_ERROR(saveStamped(row, "updateCurrency"));
      updated.push_back(row);
    }
    return Status::ok();
  }, "updateCurrency");
  reload();
  if (!result.status) return result;
  ledger_.preferences().setString(kLastCurrencyRateUpdateTimeKey, std::to_string(nowMs()));
  result.applied = true;
  result.updated = std::move(updated);
  result.missing = std::move(missing);
  if (isManual) result.messageKey = "update success!";
  return result;
}

// --- Main currency change --------------------------------------------------------

MainCurrencyChange CurrencyRepository::changeMainCurrency(const std::string& newIso) {
  MainCurrencyChange change;
  change.newIso = newIso;
  const auto oldMain = getMainCurrency();
  if (!oldMain) {
    change.status = addMainCurrency(newIso).status();
    ledger_.commonData().ReloadAppDataAsset();
    return change;
  }
  change.oldIso = oldMain->iso.value_or(oldMain->mainIso.value_or(""));
  if (change.oldIso == newIso) {
    change.status = Status::ok();
    return change;
  }

  // The rows that move: every row of the old main currency and the main row.
  // Rows not offered for entry move too: accounts and records may still name
  // them, and left behind their rates would be read against the new main
  // currency. Built-in rows first, so that they keep the built-in identifiers
  // when a user-defined row has the same code.
  std::vector<Currency> rows =
      fetch<Currency>(" WHERE ZMAINISO = ? ORDER BY ZORDERSEQ, Z_PK", change.oldIso);
  if (std::none_of(rows.begin(), rows.end(), [&](const Currency& r) { return r.pk == oldMain->pk; })) {
    rows.insert(rows.begin(), *oldMain);
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Currency& a, const Currency& b) {
    return (a.insertType.value_or("") == "C") < (b.insertType.value_or("") == "C");
  });
  const auto entry = CalcCurrency::currencyByIso(newIso);
  auto newRow = std::find_if(rows.begin(), rows.end(),
                             [&](const Currency& r) { return r.iso.value_or("") == newIso; });
  if (!entry && newRow == rows.end()) throw InputError("unknown currency code: " + newIso);

  // Rates are restated against the new main currency when its old rate is
  // known: keeping the old numbers would price every other currency in the
  // old main currency's units until the next rate update.
  std::optional<double> divisor;
  if (newRow != rows.end() && newRow->rate && isUsableRate(*newRow->rate)) divisor = *newRow->rate;
  // Amounts kept in the main currency are restated by the same rate. Without
  // it they would stay in the old currency's units under the new one's name,
  // so a ledger holding such amounts is not changed.
  if (!divisor && holdsMainCurrencyMoney()) {
    throw InputError(fmt::format("{} has no rate against {}, so the stored amounts cannot be restated in it: "
                                 "add {} with its rate first", newIso, change.oldIso, newIso));
  }
  // The new main row's identifier and decimals as the stored amounts know it.
  MoneyCurrency restatedIn;
  if (divisor) {
    restatedIn = moneyCurrency(*newRow, std::nullopt);
    restatedIn.countsAsMain = false;
  }

  // New identifiers; a code that two rows share keeps the built-in one on the
  // first and gives the other a fresh identifier.
  std::vector<std::string> oldUids;
  std::set<std::string> taken;
  for (auto& row : rows) {
    oldUids.push_back(row.uid.value_or(""));
    std::string uid = newIso + "_" + row.iso.value_or("");
    if (!taken.insert(uid).second) {
      uid = newUid();
      taken.insert(uid);
    }
    row.uid = uid;
  }

  // Every stored reference to a currency changes: without a copy of the
  // ledger as it was, the change does not run.
  auto copy = backupDataBeforeMigration(ledger_.env(), log(), getContext().path(),
                                        SafetyCopyReason::kBeforeCurrencyChange, change.oldIso);
  if (!copy) {
    change.status = copy.status();
    return change;
  }
  change.safetyCopy = copy.value();
  const int64_t now = nowMs();
  Status ok = inTransaction([&]() -> Status {
    // Amounts first, while the records still name the rows they were entered in.
    if (divisor) VARNEL_RETURN_IF_ERROR(restateMainCurrencyMoney(restatedIn, now, change));
    // Free the identifiers first: a moving row may stand on another's new one.
    for (const auto& row : rows) {
      auto st = getContext().prepare("UPDATE ZCURRENCY SET ZUID = ? WHERE Z_PK = ?");
      st.bind(1, fmt::format("~moving-{}", row.pk));
      st.bind(2, row.pk);
      st.exec();
    }
    for (const auto& row : rows) {
      if (auto standing = dataByUid<Currency>(*row.uid)) {
        auto st = getContext().prepare("DELETE FROM ZCURRENCY WHERE Z_PK = ?");
        st.bind(1, standing->pk);
        st.exec();
        change.removedRows.push_back(*row.uid);
      }
    }
    bool hasMain = false;
    for (size_t i = 0; i < rows.size(); ++i) {
      Currency& row = rows[i];
      row.mainIso = newIso;
      row.isMainCurrency = 0;
      if (divisor && row.rate && isUsableRate(*row.rate)) row.rate = *row.rate / *divisor;
      if (!hasMain && row.iso.value_or("") == newIso) {
        hasMain = true;
        row.isMainCurrency = 1;
        row.rate = 1.0;
        row.isShow = 1;
        if (entry) row.symbol = entry->simpleSymbol;
      }
      row.modifyDate = ledger_.env().nowStoreSeconds();
      VARNEL_RETURN_IF_ERROR(saveStamped(row, "updateCurrency"));
      if (oldUids[i] != *row.uid) change.renamedRows.emplace_back(oldUids[i], *row.uid);
    }

    // Every record follows its row, in one statement per table so that a
    // chain of renamings (A → B while B → C) cannot move a record twice.
    if (!change.renamedRows.empty()) {
      std::string cases, list;
      for (size_t i = 0; i < change.renamedRows.size(); ++i) {
        cases += " WHEN ? THEN ?";
        list += i ? ", ?" : "?";
      }
      int64_t* counters[] = {&change.accounts, &change.favourites, &change.recurring, &change.transactions};
      size_t t = 0;
      for (const auto& table : referencingTables()) {
        SQLite::Statement st(getContext().db(),
                             "UPDATE " + table + " SET ZCURRENCYUID = CASE ZCURRENCYUID" + cases +
                                 " END, ZUTIME = ?, ZISSYNCED = 1 WHERE ZCURRENCYUID IN (" + list + ")");
        int n = 0;
        for (const auto& [from, to] : change.renamedRows) {
          st.bind(++n, from);
          st.bind(++n, to);
        }
        st.bind(++n, now);
        for (const auto& renamed : change.renamedRows) st.bind(++n, renamed.first);
        *counters[t++] = st.exec();
      }
    }
    if (!hasMain) return addMainCurrency(newIso).status();
    return Status::ok();
  }, "updateCurrency");
  if (!ok) {
    // Nothing was written: the report must not claim otherwise.
    change.renamedRows.clear();
    change.removedRows.clear();
    change.accounts = change.favourites = change.recurring = change.transactions = 0;
    change.restatedTransactions = change.restatedAccountAmounts = change.restatedBudgetAmounts = 0;
  } else {
    // The old rates were fetched for the old main currency.
    ledger_.preferences().remove(kLastCurrencyRateUpdateTimeKey);
  }
  change.status = ok;
  reload();
  ledger_.commonData().ReloadAppDataAsset();
  return change;
}

bool CurrencyRepository::holdsMainCurrencyMoney() {
  const std::string sql =
      "SELECT EXISTS (SELECT 1 FROM ZINOUTCOME WHERE ZAMOUNT IS NOT NULL AND ZAMOUNT != 0)"
      " OR EXISTS (SELECT 1 FROM ZBUDGETAMOUNT WHERE ZAMOUNT IS NOT NULL AND ZAMOUNT != 0)";
  try {
    auto st = getContext().prepare(sql);
    return st.executeStep() && st.getColumn(0).getInt() != 0;
  } catch (const SQLite::Exception& e) {
    getContext().readFailed(sql, e);
  }
}

Status CurrencyRepository::restateMainCurrencyMoney(const MoneyCurrency& newMain, int64_t now,
                                                    MainCurrencyChange& change) {
  // Set-based: a ledger of hundreds of thousands of records converts in one
  // pass of the store, by the function every save uses.
  ensureMoneyFunctions(getContext());
  // Accounts whose currency row cannot be found count as being in the main
  // currency, so their amounts in the account's currency are main-currency
  // money too; found before any row moves.
  const std::string countedAsMain =
      "ZASSETUID IN (SELECT a.ZUID FROM ZASSET a WHERE a.ZUID IS NOT NULL AND (a.ZCURRENCYUID IS NULL OR"
      " NOT EXISTS (SELECT 1 FROM ZCURRENCY c WHERE c.ZUID = a.ZCURRENCYUID)))";
  {
    auto st = getContext().prepare(
        "UPDATE ZINOUTCOME SET ZAMOUNT = VNTOACCOUNT(ZCURRENCYUID, ZAMOUNTSUB, ZAMOUNT, ?1, 0, ?2, ?3),"
        " ZAMOUNTACCOUNT = CASE WHEN " + countedAsMain +
        " THEN VNTOACCOUNT(ZCURRENCYUID, ZAMOUNTSUB, ZAMOUNT, ?1, 0, ?2, ?3) ELSE ZAMOUNTACCOUNT END,"
        " ZUTIME = ?4, ZISSYNCED = 1 WHERE ZAMOUNT IS NOT NULL");
    st.bind(1, newMain.uid);
    st.bind(2, newMain.rate);
    st.bind(3, newMain.decimals);
    st.bind(4, now);
    change.restatedTransactions = st.exec();
  }
  change.restatedAccountAmounts =
      getContext().db().execAndGet("SELECT COUNT(*) FROM ZINOUTCOME WHERE ZAMOUNT IS NOT NULL AND " + countedAsMain)
          .getInt64();
  // Budgets are set in the main currency.
  auto st = getContext().prepare(
      "UPDATE ZBUDGETAMOUNT SET ZAMOUNT = VNMAINTOACCOUNT(ZAMOUNT, ?, ?), ZUTIME = ?, ZISSYNCED = 1"
      " WHERE ZAMOUNT IS NOT NULL");
  st.bind(1, newMain.rate);
  st.bind(2, newMain.decimals);
  st.bind(3, now);
  change.restatedBudgetAmounts = st.exec();
  return Status::ok();
}

MainCurrencyChange CurrencyRepository::startOverWithMainCurrency(
    const std::string& newIso, const std::function<Status()>& recreateInitialAccounts) {
  if (!CalcCurrency::currencyByIso(newIso)) throw InputError("unknown currency code: " + newIso);
  MainCurrencyChange change;
  change.oldIso = mainIso();
  change.newIso = newIso;
  // Starting over deletes every transaction: never without a copy.
  auto copy = backupDataBeforeMigration(ledger_.env(), log(), getContext().path(),
                                        SafetyCopyReason::kBeforeCurrencyChange,
                                        change.oldIso.empty() ? newIso : change.oldIso);
  if (!copy) {
    change.status = copy.status();
    return change;
  }
  change.safetyCopy = copy.value();
  // Categories, settings, account groups and message rules are the ledger's
  // structure and stay; the system tags stay because the transaction screens
  // rely on them.
  static const char* const kWipe[] = {
      "DELETE FROM ZINOUTCOME",         "DELETE FROM ZASSET",
      "DELETE FROM ZCURRENCY",          "DELETE FROM ZBUDGET",
      "DELETE FROM ZBUDGETAMOUNT",      "DELETE FROM ZREPEATTRANSACTION",
      "DELETE FROM ZFAVTRANSACTION",    "DELETE FROM ZMEMO",
      "DELETE FROM ZPHOTO",             "DELETE FROM ZTXTAG",
      "DELETE FROM ZSMSRAWREAD",        "DELETE FROM ZCODEDATA",
      "DELETE FROM ZCODELINK",
      "DELETE FROM ZTAG WHERE ZUID IS NULL OR ZUID NOT IN ('system_prepayment', 'system_card_usage_exception')",
  };
  Status ok;
  try {
    ok = inTransaction([&]() -> Status {
      for (const char* sql : kWipe) getContext().db().exec(sql);
      VARNEL_RETURN_IF_ERROR(addMainCurrency(newIso).status());
      if (recreateInitialAccounts) return recreateInitialAccounts();
      return Status::ok();
    }, "deleteAll");
    if (ok) log().info("deleteAll success");
  } catch (...) {
    ledger_.commonData().ReloadTheData();
    throw;
  }
  ledger_.commonData().ReloadTheData();
  if (ok) {
    ledger_.preferences().remove(kLastCurrencyRateUpdateTimeKey);
    change.messageKey = "popup_message9_2";
  }
  change.status = ok;
  return change;
}

// --- Display -----------------------------------------------------------------

std::string CurrencyRepository::showMoneyByCurrecy(double money, const std::optional<Currency>& currency,
                                                   int mode) {
  std::optional<Currency> row = currency ? currency : getMainCurrency();
  if (!row) {
    // A ledger without currencies shows plain numbers with two decimals.
    row = Currency{};
    row->point = 2;
  }
  return varnel::showMoneyByCurrecy(money, *row, mode, ledger_.env().locale());
}

}  // namespace varnel
