// The totals that need the classifier or the accounts: income and expense of
// a period (alone or with its rows), transfer and card-payment sums,
// debit-card nets, carry-over, trends and an account's chart. They fetch only
// the rows of the period and the columns they read.
#include <algorithm>
#include <cmath>
#include <set>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "reports/period_totals.h"
#include "ledger/asset_repository.h"
#include "ledger/money.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "model/record_io.h"
#include "model/sql_filter.h"
#include "model/tx_kind.h"

namespace varnel {

namespace {

// The sending sides of transfers, through which a transfer counts once.
std::string transferOutSql() { return "t.ZDO_TYPE = " + kindSql(TxKind::kTransferOut); }
// Income and expense rows, which categories select.
std::string incomeExpenseSql() { return "t.ZDO_TYPE IN " + kindListSql({TxKind::kIncome, TxKind::kExpense}); }

std::vector<std::string> uidsOf(const std::vector<Asset>& accounts) {
  std::vector<std::string> out;
  for (const auto& a : accounts) {
    if (a.uid) out.push_back(*a.uid);
  }
  return out;
}

}  // namespace

bool PeriodTotals::cashBook() const { return ledger_.commonData().app().cardCashbookStr == "1"; }

SqlFilter PeriodTotals::inOutFilter(std::optional<double> start, std::optional<double> end,
                                    const std::vector<std::string>& accounts,
                                    const std::vector<std::string>& categories,
                                    const std::vector<std::string>& filters) const {
  const CommonData& cache = ledger_.commonData();
  const bool cb = cashBook();
  // "#INCOMECARD" items take no part in the total.
  const TransferMarkers markers = TransferMarkers::split(filters);
  const std::vector<std::string>& outTrans = markers.outTrans;
  const std::vector<std::string>& inTrans = markers.inTrans;
  const std::vector<std::string>& outCard = markers.outCard;

  SqlFilter filter;
  std::string categoryCondition, transferCondition;
  if (!categories.empty()) {
    categoryCondition = SqlFilter::inList("t.ZCATEGORYUID", categories.size()) + " AND " + incomeExpenseSql();
  }
  std::vector<SqlFilter::Value> categoryValues(categories.begin(), categories.end());
  std::vector<SqlFilter::Value> transferValues;
  std::vector<std::string> transferParts;
  const std::vector<std::string> cards = uidsOf(cache.getArrayCardAsset(true));
  auto addPart = [&](const std::string& sql, const std::vector<std::string>& a,
                     const std::vector<std::string>& b) {
    transferParts.push_back("(" + sql + ")");
    transferValues.insert(transferValues.end(), a.begin(), a.end());
    transferValues.insert(transferValues.end(), b.begin(), b.end());
  };
  if (!outTrans.empty()) {
    if (cb) {
      addPart(SqlFilter::inList("t.ZTOASSETUID", outTrans.size()) + " AND NOT (" +
                  SqlFilter::inList("t.ZASSETUID", cards.size()) + ") AND " + transferOutSql(),
              outTrans, cards);
    } else {
      addPart(SqlFilter::inList("t.ZTOASSETUID", outTrans.size()) + " AND " + transferOutSql(),
              outTrans, {});
    }
  }
  if (!inTrans.empty()) {
    if (cb) {
      addPart(SqlFilter::inList("t.ZASSETUID", inTrans.size()) + " AND NOT (" +
                  SqlFilter::inList("t.ZTOASSETUID", cards.size()) + ") AND " + transferOutSql(),
              inTrans, cards);
    } else {
      addPart(SqlFilter::inList("t.ZASSETUID", inTrans.size()) + " AND " + transferOutSql(), inTrans,
              {});
    }
  }
  if (!outCard.empty()) {
    if (cb) {
      std::vector<std::string> flagged;
      for (const auto& a : cache.assetList()) {
        if (a.transferExpense.value_or(0) == 1 && live::isLiveAccount(a) && !live::isHiddenAccount(a) && a.uid) {
          flagged.push_back(*a.uid);
        }
      }
      addPart(SqlFilter::inList("t.ZTOASSETUID", outCard.size()) + " AND NOT (" +
                  SqlFilter::inList("t.ZASSETUID", flagged.size()) + ") AND " + transferOutSql(),
              outCard, flagged);
    } else {
      addPart(SqlFilter::inList("t.ZASSETUID", outCard.size()) + " AND " + transferOutSql(), outCard,
              {});
    }
  }
  for (size_t i = 0; i < transferParts.size(); ++i) {
    transferCondition += (i ? " OR " : "") + transferParts[i];
  }
  // Categories admit only income and expense rows and the markers only
  // transfer rows, so a filter holding both means rows of either group.
  if (!categoryCondition.empty() && !transferCondition.empty()) {
    std::vector<SqlFilter::Value> both = categoryValues;
    both.insert(both.end(), transferValues.begin(), transferValues.end());
    filter.where("(" + categoryCondition + ") OR " + transferCondition, both);
  } else if (!categoryCondition.empty()) {
    filter.where(categoryCondition, categoryValues);
  } else if (!transferCondition.empty()) {
    filter.where(transferCondition, transferValues);
  }
  if (!accounts.empty()) {
    std::vector<SqlFilter::Value> a(accounts.begin(), accounts.end());
    std::vector<SqlFilter::Value> three = a;
    three.insert(three.end(), a.begin(), a.end());
    three.insert(three.end(), a.begin(), a.end());
    filter.where("(" + SqlFilter::inList("t.ZASSETUID", accounts.size()) + " AND " + incomeExpenseSql() +
                     ") OR ((" + SqlFilter::inList("t.ZASSETUID", accounts.size()) + " OR " +
                     SqlFilter::inList("t.ZTOASSETUID", accounts.size()) + ") AND " + transferOutSql() + ")",
                 three);
  }
  filter.where("t.ZDO_TYPE IN " + kindListSql({TxKind::kIncome, TxKind::kExpense, TxKind::kTransferOut}));
  addDateRange(filter, start, end);
  return filter;
}

IncomeExpense PeriodTotals::getInOutSumMoneyByDate(std::optional<double> start,
                                                   std::optional<double> end,
                                                   const std::vector<std::string>& accounts,
                                                   const std::vector<std::string>& categories,
                                                   const std::vector<std::string>& filters) {
  const bool cb = cashBook();
  const SqlFilter filter = inOutFilter(start, end, accounts, categories, filters);

  IncomeExpense result;
  const std::string sql =
      "SELECT t.ZDO_TYPE, t.ZASSETUID, t.ZTOASSETUID, t.ZAMOUNT FROM ZINOUTCOME t" +
      filter.clause();
  try {
    auto st = ledger_.store().prepare(sql);
    filter.bind(st);
    auto lookup = [this](const std::string& uid) { return accountTraits(ledger_.commonData(), uid); };
    while (st.executeStep()) {
      const ClassifiedRow row{"", classifiedKind(st.getColumn(0).getText("")),
                              st.getColumn(1).getString(), st.getColumn(2).getString()};
      const int c = displayDoTypeByInOutCome(row, 1, cb, lookup);
      const double amount = st.getColumn(3).getDouble();
      if (c == tx_class::kIncome) result.income += amount;
      if (c == tx_class::kExpense) result.expense += amount;
    }
  } catch (const SQLite::Exception& e) {
    ledger_.store().readFailed(sql, e);
  }
  return result;
}

InOutWithTx PeriodTotals::inOutSumWithTx(std::optional<double> start, std::optional<double> end,
                                         const std::vector<std::string>& accounts,
                                         const std::vector<std::string>& categories,
                                         const std::vector<std::string>& filters) {
  const bool cb = cashBook();
  const SqlFilter filter = inOutFilter(start, end, accounts, categories, filters);
  const std::string sql = record_io::selectSql<InOutCome>() + " t" + filter.clause() + " ORDER BY t.ZDATE, t.Z_PK";
  InOutWithTx result;
  try {
    auto st = ledger_.store().prepare(sql);
    filter.bind(st);
    auto lookup = [this](const std::string& uid) { return accountTraits(ledger_.commonData(), uid); };
    while (st.executeStep()) {
      InOutCome tx = record_io::readRecord<InOutCome>(st);
      const ClassifiedRow row{"", classifiedKind(tx.Do_Type.value_or("")), tx.assetUid.value_or(""),
                              tx.toAssetUid.value_or("")};
      const int c = displayDoTypeByInOutCome(row, 1, cb, lookup);
      const double amount = tx.amount.value_or(0);
      if (c == tx_class::kIncome) {
        result.totals.income += amount;
        result.incomeRows.push_back(std::move(tx));
      } else if (c == tx_class::kExpense) {
        result.totals.expense += amount;
        result.expenseRows.push_back(std::move(tx));
      }
    }
  } catch (const SQLite::Exception& e) {
    ledger_.store().readFailed(sql, e);
  }
  return result;
}

std::vector<AccountChartMonth> PeriodTotals::getInOutForChartByAsset(const std::string& assetUid, int months) {
  const CommonData& cache = ledger_.commonData();
  const auto account = cache.assetByUid(assetUid);
  if (!account) throw InputError("no account with the identifier " + assetUid);
  if (months < 1 || months > kMaxChartMonths) {
    throw InputError(fmt::format("the number of months must be from 1 to {}: {}", kMaxChartMonths, months));
  }
  const bool card = cache.getAssetGroupTypeAsset(*account) == kCreditCardGroupType;
  const int startDay = AssetRepository::getStartDayByAsset(ledger_, *account);
  std::vector<AccountChartMonth> chart(static_cast<size_t>(months));
  double day = ledger_.env().nowStoreSeconds();
  for (int i = months - 1; i >= 0; --i) {
    const auto bounds = rules_.getStartEndDate(day, dp_type::kMonthFromStartDay, startDay, !card);
    chart[static_cast<size_t>(i)].start = bounds->first;
    chart[static_cast<size_t>(i)].end = bounds->second;
    day = rules_.addDays(bounds->first, -1);
  }
  // The first month also takes in everything before it, so that the sums
  // run from the account's first row.
  std::vector<SumPeriod> periods;
  for (const AccountChartMonth& m : chart) periods.push_back({m.start, m.end});
  periods.front().sDate.reset();
  // Rounded to the account currency's decimals, as the overview shows it.
  auto currency = cache.currencyByUid(account->currencyUid.value_or(""));
  if (!currency) currency = cache.mainCurrency();
  const int point = currency ? static_cast<int>(currency->point.value_or(0)) : 2;
  double running = 0;
  const std::vector<InOutSum> sums = normalTotalAssetSumAmount({assetUid}, periods, "amountAccount");
  for (size_t i = 0; i < chart.size(); ++i) {
    running += sums[i].inAmount - sums[i].outAmount;
    chart[i].balance = getAmountByMaximumFractionDigits(running, point);
  }
  return chart;
}

IncomeExpense PeriodTotals::getInOutSumMoneyByDateForCategory(
    std::optional<double> start, std::optional<double> end,
    const std::vector<std::string>& accounts) {
  StoreSnapshot snapshot(ledger_.store());
  const InOutSum sums = sumInOutAmount("amount", false, accounts, start, end);
  const auto in = sumTransAmount("amount", {}, TxKind::kTransferIn, start, end, "", 2);
  const auto out = sumTransAmount("amount", {}, TxKind::kTransferOut, start, end, "", 2);
  return {sums.inAmount + (in ? in->sum : 0), sums.outAmount + (out ? out->sum : 0)};
}

std::optional<TransferSum> PeriodTotals::sumTransAmount(const std::string& field,
                                                        const std::vector<std::string>& accounts,
                                                        TxKind moveType, std::optional<double> start,
                                                        std::optional<double> end,
                                                        const std::string& content, int sumType) {
  const auto pairs = sumTransAmountByPair(field, accounts, start, end, content, sumType);
  if (!pairs) return std::nullopt;
  const int wantedClass = moveType == TxKind::kTransferIn ? tx_class::kIncome : tx_class::kExpense;
  TransferSum sum;
  for (const TransferPairSum& pair : *pairs) {
    if (pair.txClass != wantedClass) continue;
    sum.sum += pair.sum;
    sum.count += pair.count;
  }
  return sum;
}

std::vector<std::string> PeriodTotals::transferExpenseAccounts(const std::vector<std::string>& accounts) const {
  std::vector<std::string> flagged;
  const std::set<std::string> wanted(accounts.begin(), accounts.end());
  for (const auto& a : ledger_.commonData().assetList()) {
    if (a.transferExpense.value_or(0) == 0 || !a.uid) continue;
    if (!wanted.empty() && !wanted.count(*a.uid)) continue;
    flagged.push_back(*a.uid);
  }
  return flagged;
}

int PeriodTotals::transferClass(const std::string& assetUid, const std::string& toAssetUid, int sumType) const {
  auto lookup = [this](const std::string& uid) { return accountTraits(ledger_.commonData(), uid); };
  const ClassifiedRow row{"", static_cast<int>(TxKind::kTransferOut), assetUid, toAssetUid};
  return displayDoTypeByInOutCome(row, sumType, cashBook(), lookup);
}

namespace {

// "(t.ZASSETUID IN (…) OR t.ZTOASSETUID IN (…))" with its values.
std::pair<std::string, std::vector<SqlFilter::Value>> touchingSql(const std::vector<std::string>& accounts) {
  std::vector<SqlFilter::Value> twice(accounts.begin(), accounts.end());
  twice.insert(twice.end(), accounts.begin(), accounts.end());
  return {"(" + SqlFilter::inList("t.ZASSETUID", accounts.size()) + " OR " +
              SqlFilter::inList("t.ZTOASSETUID", accounts.size()) + ")",
          std::move(twice)};
}

}  // namespace

std::optional<std::vector<TransferPairSum>> PeriodTotals::sumTransAmountByPair(
    const std::string& field, const std::vector<std::string>& accounts, std::optional<double> start,
    std::optional<double> end, const std::string& content, int sumType) {
  const std::vector<std::string> flagged = transferExpenseAccounts(accounts);
  if (flagged.empty()) return std::nullopt;

  SqlFilter filter;
  auto [touching, values] = touchingSql(flagged);
  filter.where(touching, std::move(values));
  filter.where(transferOutSql());
  if (!content.empty()) filter.where("t.ZCONTENT = ?", {content});
  addDateRange(filter, start, end);
  const std::string sql = "SELECT t.ZASSETUID, t.ZTOASSETUID, TOTAL(t." + amountColumn(field) +
                          "), COUNT(*) FROM ZINOUTCOME t" + filter.clause() +
                          " GROUP BY t.ZASSETUID, t.ZTOASSETUID";
  std::vector<TransferPairSum> pairs;
  try {
    auto st = ledger_.store().prepare(sql);
    filter.bind(st);
    while (st.executeStep()) {
      TransferPairSum pair;
      pair.assetUid = st.getColumn(0).getString();
      pair.toAssetUid = st.getColumn(1).getString();
      pair.txClass = transferClass(pair.assetUid, pair.toAssetUid, sumType);
      pair.sum = st.getColumn(2).getDouble();
      pair.count = st.getColumn(3).getInt();
      pairs.push_back(std::move(pair));
    }
  } catch (const SQLite::Exception& e) {
    ledger_.store().readFailed(sql, e);
  }
  return pairs;
}

PeriodUse PeriodTotals::sumUseByCategoryAndTransfer(int kind, double start, double end, int sumType) {
  const std::string kindCode = kind == 0 ? kindSql(TxKind::kIncome) : kindSql(TxKind::kExpense);
  const std::string transferOut = kindSql(TxKind::kTransferOut);
  const std::vector<std::string> flagged = transferExpenseAccounts({});
  SqlFilter filter;
  if (flagged.empty()) {
    filter.where("t.ZDO_TYPE = " + kindCode);
  } else {
    auto [touching, values] = touchingSql(flagged);
    filter.where("t.ZDO_TYPE = " + kindCode + " OR (t.ZDO_TYPE = " + transferOut + " AND " + touching + ")",
                 std::move(values));
  }
  addDateRange(filter, start, end);
  // Each row is grouped by what it counts toward: an income or expense row
  // by its category, a transfer by its two accounts.
  const std::string isTransfer = "t.ZDO_TYPE = " + transferOut;
  const std::string sql = "SELECT " + isTransfer + ", CASE WHEN " + isTransfer +
                          " THEN NULL ELSE t.ZCATEGORYUID END, CASE WHEN " + isTransfer +
                          " THEN t.ZASSETUID END, CASE WHEN " + isTransfer +
                          " THEN t.ZTOASSETUID END, TOTAL(t.ZAMOUNT), COUNT(*) FROM ZINOUTCOME t" +
                          filter.clause() + " GROUP BY 1, 2, 3, 4";
  PeriodUse use;
  try {
    auto st = ledger_.store().prepare(sql);
    filter.bind(st);
    while (st.executeStep()) {
      if (st.getColumn(0).getInt() == 0) {
        use.byCategory.emplace_back(st.getColumn(1).getString(), st.getColumn(4).getDouble());
        continue;
      }
      TransferPairSum pair;
      pair.assetUid = st.getColumn(2).getString();
      pair.toAssetUid = st.getColumn(3).getString();
      pair.txClass = transferClass(pair.assetUid, pair.toAssetUid, sumType);
      pair.sum = st.getColumn(4).getDouble();
      pair.count = st.getColumn(5).getInt();
      use.transfers.push_back(std::move(pair));
    }
  } catch (const SQLite::Exception& e) {
    ledger_.store().readFailed(sql, e);
  }
  return use;
}

double PeriodTotals::sumAmountMoveOutTransCardAsset(const std::string& field,
                                                    const std::vector<std::string>& cards,
                                                    const std::vector<std::string>& accounts,
                                                    std::optional<double> start,
                                                    std::optional<double> end) {
  const CommonData& cache = ledger_.commonData();
  const std::set<std::string> wanted(cards.begin(), cards.end());
  std::vector<std::string> payable;
  for (const auto& a : cache.getArrayCardAsset(true)) {
    if (a.transferExpense.value_or(0) != 0 || !a.uid) continue;
    if (!wanted.empty() && !wanted.count(*a.uid)) continue;
    payable.push_back(*a.uid);
  }
  if (payable.empty()) return 0;
  std::vector<std::string> flagged;
  for (const auto& a : cache.assetList()) {
    if (a.transferExpense.value_or(0) != 0 && a.uid) flagged.push_back(*a.uid);
  }
  SqlFilter filter;
  filter.whereIn("t.ZTOASSETUID", payable);
  if (!flagged.empty()) {
    filter.where("NOT (" + SqlFilter::inList("t.ZASSETUID", flagged.size()) + ")",
                 std::vector<SqlFilter::Value>(flagged.begin(), flagged.end()));
  }
  if (!accounts.empty()) {
    std::vector<SqlFilter::Value> twice(accounts.begin(), accounts.end());
    twice.insert(twice.end(), accounts.begin(), accounts.end());
    filter.where(SqlFilter::inList("t.ZASSETUID", accounts.size()) + " OR " +
                     SqlFilter::inList("t.ZTOASSETUID", accounts.size()),
                 twice);
  }
  filter.where(transferOutSql());
  addDateRange(filter, start, end);
  return queryTotal("SELECT TOTAL(t." + amountColumn(field) + ") FROM ZINOUTCOME t", filter);
}

double PeriodTotals::sumCheckCardByDate(const std::string& bankUid, std::optional<double> start,
                                        std::optional<double> end) {
  const CommonData& cache = ledger_.commonData();
  auto bank = cache.assetByUid(bankUid);
  if (!bank) return 0;
  std::vector<Asset> debitCards;
  for (const auto& a : cache.assetList()) {
    if (a.cardAssetUid == bankUid && a.uid && *a.uid != bankUid &&
        cache.getAssetGroupTypeAsset(a) == kDebitCardGroupType) {
      debitCards.push_back(a);
    }
  }
  if (debitCards.empty()) return 0;

  // The range only chooses the cards; each chosen card brings its all-time net.
  SqlFilter inRange;
  inRange.where("r.ZASSETUID = t.ZASSETUID");
  inRange.where(std::string("r.ZDO_TYPE IN ") + kInKindsSql + " OR r.ZDO_TYPE IN " + kOutKindsSql);
  inRange.where(live::recordSql("r"));
  if (start) inRange.where("r.ZDATE >= ?", {*start});
  if (end) inRange.where("r.ZDATE < ?", {rules_.addDays(*end, 1)});
  SqlFilter filter;
  filter.whereIn("t.ZASSETUID", uidsOf(debitCards));
  filter.where(live::recordSql("t"));
  const std::string net = std::string("TOTAL(CASE WHEN t.ZDO_TYPE IN ") + kInKindsSql +
                          " THEN {0} WHEN t.ZDO_TYPE IN " + kOutKindsSql + " THEN -{0} END)";
  const std::string sql = "SELECT t.ZASSETUID, " + fmt::format(fmt::runtime(net), "t.ZAMOUNTACCOUNT") +
                          ", " + fmt::format(fmt::runtime(net), "t.ZAMOUNT") +
                          " FROM ZINOUTCOME t" + filter.clause() +
                          " AND EXISTS (SELECT 1 FROM ZINOUTCOME r" + inRange.clause() +
                          ") GROUP BY t.ZASSETUID";

  // A card in another currency than the bank account brings its net in the
  // main currency, turned into the bank account's currency by that rate.
  const std::string bankCurrency = bank->currencyUid.value_or("");
  auto bankRow = cache.currencyByUid(bankCurrency);
  const bool bankInMain = !bankRow || bankRow->isMainCurrency.value_or(0) == 1;
  const double bankRate = bankInMain ? 1.0 : bankRow->rate.value_or(1.0);
  double total = 0;
  try {
    auto st = ledger_.store().prepare(sql);
    const int next = filter.bind(st);
    inRange.bind(st, next);
    while (st.executeStep()) {
      auto card = cache.assetByUid(st.getColumn(0).getString());
      const bool sameCurrency = card && card->currencyUid.value_or("") == bankCurrency;
      if (sameCurrency) {
        total += st.getColumn(1).getDouble();
      } else {
        total += bankRate != 0 ? st.getColumn(2).getDouble() / bankRate : 0;
      }
    }
  } catch (const SQLite::Exception& e) {
    ledger_.store().readFailed(sql, e);
  }
  return total;
}

double PeriodTotals::getAmountCarryover(double start, double date) {
  if (ledger_.commonData().app().nextMonth != "1") return 0;
  StoreSnapshot snapshot(ledger_.store());
  const double end = rules_.addDays(date, -1);
  double in = 0, out = 0;
  if (!cashBook()) {
    const InOutSum s = sumInOutAmount("amount", false, {}, start, end);
    in = s.inAmount;
    out = s.outAmount;
  } else {
    in = getAmountSum("amount", {}, {}, {TxKind::kIncome}, start, end);
    const std::vector<std::string> notCards = uidsOf(ledger_.commonData().getNotCardAssetList(true));
    out = (notCards.empty() ? 0 : getAmountSum("amount", notCards, {}, {TxKind::kExpense}, start, end)) +
          sumAmountMoveOutTransCardAsset("amount", {}, {}, start, end);
  }
  const auto transIn = sumTransAmount("amount", {}, TxKind::kTransferIn, start, end);
  const auto transOut = sumTransAmount("amount", {}, TxKind::kTransferOut, start, end);
  return in + (transIn ? transIn->sum : 0) - (out + (transOut ? transOut->sum : 0));
}

ThreeMonthCarryover PeriodTotals::threeMonthCarryover(double previous, double current,
                                                      double next) {
  StoreSnapshot snapshot(ledger_.store());
  const double hundredYearsAgo =
      ledger_.env().dates().fromLocal(ledger_.env().dates().toLocal(ledger_.env().nowStoreSeconds()).year - 100, 1, 1);
  const double base = getAmountCarryover(hundredYearsAgo, previous);
  const double a = getAmountCarryover(previous, current);
  const double b = getAmountCarryover(current, next);
  return {makeCarryoverDic(previous, base), makeCarryoverDic(current, base + a),
          makeCarryoverDic(next, base + a + b)};
}

std::optional<CarryoverRow> PeriodTotals::makeCarryoverDic(double date, double amount) {
  if (amount == 0 || ledger_.commonData().app().nextMonth != "1") return std::nullopt;
  CarryoverRow row;
  row.displayName = "[" + ledger_.texts().text("main_day_list_draw_text") + "]";
  row.Date = date;
  row.Do_Type = kindCode(amount > 0 ? TxKind::kIncome : TxKind::kExpense);
  row.amountSub = row.amount = fmt::format("{:f}", std::fabs(amount));
  return row;
}

std::vector<double> PeriodTotals::sumTrend(int /*dpType*/, std::vector<SumPeriod> periods) {
  StoreSnapshot snapshot(ledger_.store());
  const CommonData& cache = ledger_.commonData();
  std::vector<std::string> accounts;
  for (const auto& a : cache.assetList()) {
    if (!a.uid || a.isReflect.value_or(0) != 0 || !live::isLiveAccount(a)) continue;
    auto group = cache.assetGroupByUid(a.groupUid.value_or(""));
    if (!group || !live::isListedGroup(*group) || group->Status.value_or(0) == kDebitCardGroupType) {
      continue;
    }
    accounts.push_back(*a.uid);
    for (const auto& card : cache.assetList()) {
      if (card.cardAssetUid == a.uid && card.uid != a.uid && card.uid &&
          cache.getAssetGroupTypeAsset(card) == kDebitCardGroupType) {
        accounts.push_back(*card.uid);
      }
    }
  }
  std::vector<double> running;
  if (accounts.empty() || periods.empty()) return std::vector<double>(periods.size(), 0.0);
  if (periods.front().sDate) {
    const LocalDateTime t = ledger_.env().dates().toLocal(*periods.front().sDate);
    periods.front().sDate = ledger_.env().dates().fromLocal(t.year - 100, t.month, t.day);
  }
  double total = 0;
  for (const InOutSum& s : normalTotalAssetSumAmount(accounts, periods, "")) {
    total += s.inAmount - s.outAmount;
    running.push_back(total);
  }
  return running;
}

}  // namespace varnel
