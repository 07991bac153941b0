#include "ledger/in_out_come_repository.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <spdlog/spdlog.h>

#include "ledger/category_repository.h"
#include "ledger/currency_conversion.h"
#include "ledger/currency_repository.h"
#include "ledger/in_out_come_support.h"
#include "ledger/photo_store.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "model/text.h"
#include "model/text_fold.h"

namespace varnel {

namespace {

using namespace tx_support;

int pointOf(const Currency& c) { return static_cast<int>(c.point.value_or(0)); }

bool isEmptyLink(const std::string& link) { return link.empty() || link == "0"; }

}  // namespace

double InOutComeRepository::getAmountAccount(const InOutCome& record, const Asset& asset) {
  CurrencyRepository currencies(ledger_);
  const auto main = currencies.getMainCurrency();
  auto account = currencies.getCurrencyByAsset(asset);
  if (!account) account = main;
  // A ledger without any currency row has nothing to convert between.
  if (!account) return record.amount.value_or(0);
  return accountAmount(record.currencyUid.value_or(""), record.amountSub.value_or(0), record.amount.value_or(0),
                       moneyCurrency(*account, main));
}

double InOutComeRepository::amountAccountForSave(double enteredAmount, double amount,
                                                 const std::string& enteredCurrencyUid, const Asset& account,
                                                 const std::optional<InOutCome>& loaded) {
  CurrencyRepository currencies(ledger_);
  const auto main = currencies.getMainCurrency();
  auto currency = currencies.getCurrencyByAsset(account);
  if (!currency) currency = main;
  if (!currency) return amount;
  const MoneyCurrency target = moneyCurrency(*currency, main);
  const bool converted = target.uid != enteredCurrencyUid && !target.countsAsMain;
  if (converted && loaded && loaded->currencyUid == enteredCurrencyUid && loaded->assetUid == account.uid) {
    if (auto kept = convertAtStoredRatio(enteredAmount, loaded->amountSub.value_or(0),
                                         loaded->amountAccount.value_or(0), target.decimals)) {
      return *kept;
    }
  }
  return accountAmount(enteredCurrencyUid, enteredAmount, amount, target);
}

// --- Reads -------------------------------------------------------------------

std::optional<InOutCome> InOutComeRepository::inOutComeByUid(const std::string& uid) {
  if (isEmptyLink(uid)) return std::nullopt;
  return dataByUid<InOutCome>(uid);
}

std::optional<InOutCome> InOutComeRepository::inOutComeWithTxUidTransDoType(const std::string& txUidTrans,
                                                                           TxKind side) {
  if (isEmptyLink(txUidTrans)) return std::nullopt;
  return getFirst(fetch<InOutCome>(" WHERE " + live::recordSql() +
                                       " AND ZTXUIDTRANS = ? AND ZDO_TYPE = ? ORDER BY Z_PK LIMIT 1",
                                   txUidTrans, std::string(kindCode(side))));
}

std::optional<InOutCome> InOutComeRepository::oppositeOfTransfer(const InOutCome& side) {
  if (!isTransferSide(side) || !side.txUidTrans) return std::nullopt;
  auto other = inOutComeWithTxUidTransDoType(*side.txUidTrans, oppositeSide(*kindOf(side)));
  if (other && other->uid == side.uid) return std::nullopt;
  return other;
}

std::optional<InOutCome> InOutComeRepository::feeWithInOutCome(const InOutCome& tx) {
  if (!hasLink(tx.txUidFee)) return std::nullopt;
  return getFirst(fetch<InOutCome>(" WHERE " + live::recordSql() + " AND ZTXUIDFEE = ? AND ZDO_TYPE = " +
                                       kindSql(TxKind::kExpense) + " ORDER BY Z_PK LIMIT 1",
                                   *tx.txUidFee));
}

std::optional<InOutCome> InOutComeRepository::feeLastMoveOutWithAssetUidToAssetUid(const std::string& uid,
                                                                                  const std::string& assetUid,
                                                                                  const std::string& toAssetUid) {
  // One query: the newest matching transfer that has a live fee, and that fee.
  const std::string clause = " WHERE Z_PK = (SELECT f.Z_PK FROM ZINOUTCOME t JOIN ZINOUTCOME f"
                             " ON f.ZTXUIDFEE = t.ZTXUIDFEE AND f.ZDO_TYPE = " + kindSql(TxKind::kExpense) +
                             " AND " + live::recordSql("f") + " WHERE " + live::recordSql("t") +
                             " AND t.ZDO_TYPE = " + kindSql(TxKind::kTransferOut) + " AND t.ZASSETUID = ?"
                             " AND t.ZTOASSETUID = ? AND t.ZUID != ? AND t.ZTXUIDFEE IS NOT NULL AND t.ZTXUIDFEE != ''"
                             " ORDER BY t.ZDATE DESC, t.Z_PK DESC, f.Z_PK LIMIT 1)";
  return getFirst(fetch<InOutCome>(clause, assetUid, toAssetUid, uid));
}

std::vector<InOutCome> InOutComeRepository::inOutComeByAssetUid(const std::string& assetUid) {
  return fetch<InOutCome>(" WHERE " + live::recordSql() + " AND ZASSETUID = ? ORDER BY ZDATE, Z_PK", assetUid);
}

std::vector<InOutCome> InOutComeRepository::inOutComeWithCategoryUid(const std::string& categoryUid) {
  return fetch<InOutCome>(" WHERE " + live::recordSql() + " AND ZCATEGORYUID = ? ORDER BY ZDATE, Z_PK",
                          categoryUid);
}

std::vector<InOutCome> InOutComeRepository::getInOutComeByCardDivideUid(const std::string& cardDivideUid) {
  if (isEmptyLink(cardDivideUid)) return {};
  return fetch<InOutCome>(" WHERE " + live::recordSql() + " AND ZCARDDIVIDEUID = ? ORDER BY ZDATE, Z_PK",
                          cardDivideUid);
}

std::vector<InOutCome> InOutComeRepository::listInOutComeByAssetDate(const std::string& assetUid,
                                                                    double startDate, double endDate) {
  return fetch<InOutCome>(" WHERE " + live::recordSql() +
                              " AND ZASSETUID = ? AND ZDATE >= ? AND ZDATE < ? ORDER BY ZDATE, Z_PK",
                          assetUid, startDate, endDate);
}

std::vector<InOutCome> InOutComeRepository::getInOutComeBySmsOringine(const std::string& smsOrigine) {
  return fetch<InOutCome>(" WHERE " + live::recordSql() + " AND ZSMSORIGINE = ? ORDER BY ZDATE, Z_PK",
                          smsOrigine);
}

void InOutComeRepository::forEachInOutCome(const InOutComeFilter& filter,
                                           const std::function<void(const InOutCome&)>& visit) {
  std::string where;
  auto add = [&where](const std::string& condition) { where += (where.empty() ? " WHERE " : " AND ") + condition; };
  if (!filter.includeDeleted) add(live::recordSql());
  if (filter.assetUid) add("ZASSETUID = ?");
  if (filter.startDate) add("ZDATE >= ?");
  if (filter.endDate) add("ZDATE < ?");
  const std::string folded = foldForSearch(filter.text);
  if (!folded.empty()) {
    ensureTextFoldFunction(getContext());
    add("(instr(VNFOLD(ZCONTENT), ?) > 0 OR instr(VNFOLD(ZMEMO), ?) > 0)");
  }
  const std::string sql = record_io::selectSql<InOutCome>() + where + " ORDER BY ZDATE, Z_PK";
  try {
    auto st = getContext().prepare(sql);
    int n = 0;
    if (filter.assetUid) st.bind(++n, *filter.assetUid);
    if (filter.startDate) st.bind(++n, *filter.startDate);
    if (filter.endDate) st.bind(++n, *filter.endDate);
    if (!folded.empty()) {
      st.bind(++n, folded);
      st.bind(++n, folded);
    }
    while (st.executeStep()) visit(record_io::readRecord<InOutCome>(st));
  } catch (const SQLite::Exception& e) {
    getContext().readFailed(sql, e);
  }
}

// --- Saving ------------------------------------------------------------------

Status InOutComeRepository::updateInOutCome(InOutCome& record, bool isSync) {
  return isSync ? saveStamped(record, "updateInOutCome") : save(record, "updateInOutCome");
}

Status InOutComeRepository::updateInOutComeList(std::vector<InOutCome>& records) {
  if (records.empty()) return Status::ok();
  std::vector<std::pair<Int, Int>> before;
  before.reserve(records.size());
  // Distinct, increasing stamps without waiting between records: the clock
  // where it is later than the previous stamp, else one millisecond more.
  const int64_t base = nowMs();
  int64_t previous = std::numeric_limits<int64_t>::min();
  for (InOutCome& r : records) {
    before.emplace_back(r.utime, r.isSynced);
    const int64_t stampMs = previous == std::numeric_limits<int64_t>::min() ? base : std::max(base, previous + 1);
    r.utime = stampMs;
    r.isSynced = 1;
    previous = stampMs;
  }
  Status saved = saveAll(records, "updateInOutCome", false);
  if (saved) return saved;
  for (size_t i = 0; i < records.size(); ++i) std::tie(records[i].utime, records[i].isSynced) = before[i];
  return saved;
}

Status InOutComeRepository::deleteWithInOutCome(const InOutCome& record) {
  return deleteWithArray({record}).status();
}

Result<std::vector<InOutCome>> InOutComeRepository::deleteWithArray(const std::vector<InOutCome>& records) {
  std::vector<InOutCome> doomed;
  std::set<std::string> seen;
  auto take = [&](InOutCome r) {
    if (!r.uid || !seen.insert(*r.uid).second) return;
    r.isDel = 1;
    doomed.push_back(std::move(r));
  };
  for (const InOutCome& given : records) {
    // Re-read, so that a stale copy cannot undo a newer change while deleting.
    auto current = given.uid ? inOutComeByUid(*given.uid) : std::nullopt;
    if (!current || !isLive(*current)) continue;
    take(*current);
    if (auto other = oppositeOfTransfer(*current)) take(*other);
  }
  Status deleted = inTransaction([&]() -> Status {
    VARNEL_RETURN_IF_ERROR(updateInOutComeList(doomed));
    PhotoStore photos(ledger_);
    for (const InOutCome& r : doomed) VARNEL_RETURN_IF_ERROR(photos.deletePhotoByInOutCome(*r.uid));
    return Status::ok();
  }, "updateInOutCome");
  if (!deleted) return deleted;
  return doomed;
}

Status InOutComeRepository::updateInOutComeAmountAccountByCurrnecy(const Asset& asset, const Currency& currency) {
  CurrencyRepository currencies(ledger_);
  const auto main = currencies.getMainCurrency();
  const bool toMain = currency.isMainCurrency.value_or(0) == 1 || (main && main->uid == currency.uid);
  if (!toMain && !isUsableRate(currency.rate)) {
    const std::string why = "currency " + currency.uid.value_or("") + " has no usable rate";
    log().error("updateInOutCome fail {}", why);
    return Status::invalidInput(why);
  }
  const MoneyCurrency target = moneyCurrency(currency, main);
  return inTransaction([&]() -> Status {
    ensureMoneyFunctions(getContext());
    // One statement: the account's records are converted by the same
    // function a save uses, without loading them.
    auto st = getContext().prepare(std::string("UPDATE ZINOUTCOME SET ZAMOUNTACCOUNT ="
                                               " VNTOACCOUNT(ZCURRENCYUID, ZAMOUNTSUB, ZAMOUNT, ?, ?, ?, ?),"
                                               " ZUTIME = ?, ZISSYNCED = 1 WHERE ZASSETUID = ? AND ") +
                                   live::recordSql());
    st.bind(1, target.uid);
    st.bind(2, target.countsAsMain ? 1 : 0);
    st.bind(3, target.rate);
    st.bind(4, target.decimals);
    st.bind(5, nowMs());
    st.bind(6, asset.uid.value_or(""));
    st.exec();
    return Status::ok();
  }, "updateInOutCome");
}

double InOutComeRepository::sumForAssets(const std::vector<std::string>& assetUids,
                                         const std::optional<Currency>& inCurrency) {
  if (assetUids.empty()) return 0;
  // Each amount is converted and rounded by the function a save uses, so the
  // preview is the sum of what the change of currency would store.
  const std::string value = inCurrency ? "VNTOACCOUNT(ZCURRENCYUID, ZAMOUNTSUB, ZAMOUNT, ?1, ?2, ?3, ?4)"
                                       : "ZAMOUNTACCOUNT";
  const int first = inCurrency ? 5 : 1;
  std::string marks;
  for (size_t i = 0; i < assetUids.size(); ++i) marks += (i ? ", ?" : "?") + std::to_string(first + i);
  const std::string sql = std::string("SELECT TOTAL(CASE WHEN ZDO_TYPE IN ") + kInKindsSql + " THEN " + value +
                          " ELSE -(" + value + ") END) FROM ZINOUTCOME WHERE " + live::recordSql() +
                          " AND ZASSETUID IN (" + marks + ")";
  try {
    if (inCurrency) ensureMoneyFunctions(getContext());
    auto st = getContext().prepare(sql);
    if (inCurrency) {
      const MoneyCurrency target = moneyCurrency(*inCurrency, CurrencyRepository(ledger_).getMainCurrency());
      st.bind(1, target.uid);
      st.bind(2, target.countsAsMain ? 1 : 0);
      st.bind(3, target.rate);
      st.bind(4, target.decimals);
    }
    int n = first;
    for (const auto& uid : assetUids) st.bind(n++, uid);
    return st.executeStep() ? st.getColumn(0).getDouble() : 0;
  } catch (const SQLite::Exception& e) {
    getContext().readFailed(sql, e);
  }
}

double InOutComeRepository::getInOutComeAmountAccountByCurrnecy(const Asset& asset, const Currency& orgCurrency,
                                                                 const Currency& newCurrency) {
  std::vector<std::string> uids = {asset.uid.value_or("")};
  for (const auto& card : ledger_.commonData().checkCardListByAsset(asset.uid.value_or(""), true)) {
    uids.push_back(card.uid.value_or(""));
  }
  const bool unchanged = orgCurrency.uid == newCurrency.uid;
  const double total = sumForAssets(uids, unchanged ? std::nullopt : std::optional<Currency>(newCurrency));
  return roundMoney(total, pointOf(newCurrency));
}

double InOutComeRepository::getAmountAccountBalance(const std::string& assetUid,
                                                    const std::optional<Currency>& inCurrency) {
  const double total = sumForAssets({assetUid}, inCurrency);
  std::optional<Currency> rounding = inCurrency;
  if (!rounding) {
    CurrencyRepository currencies(ledger_);
    if (auto asset = dataByUid<Asset>(assetUid)) rounding = currencies.getCurrencyByAsset(*asset);
    if (!rounding) rounding = currencies.getMainCurrency();
  }
  return rounding ? roundMoney(total, pointOf(*rounding)) : total;
}

}  // namespace varnel
