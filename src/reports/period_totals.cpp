#include "reports/period_totals.h"

#include <stdexcept>

#include <spdlog/spdlog.h>

#include "model/liveness.h"
#include "model/sql_filter.h"

namespace varnel {

namespace {

// The rows totals count as money in, and as money out.
std::string inKinds() { return std::string("t.ZDO_TYPE IN ") + kInKindsSql; }
std::string outKinds() { return std::string("t.ZDO_TYPE IN ") + kOutKindsSql; }

// "TOTAL(in kinds of value), TOTAL(out kinds of value)".
std::string inOutColumns(const std::string& in, const std::string& out, const std::string& value) {
  return "TOTAL(CASE WHEN " + in + " THEN " + value + " END), TOTAL(CASE WHEN " + out + " THEN " +
         value + " END)";
}

}  // namespace

void PeriodTotals::readFirstRow(const std::string& select, const SqlFilter& filter,
                                const std::function<void(SQLite::Statement&)>& read) {
  const std::string sql = select + filter.clause();
  try {
    auto st = ledger_.store().prepare(sql);
    filter.bind(st);
    if (st.executeStep()) read(st);
  } catch (const SQLite::Exception& e) {
    ledger_.store().readFailed(sql, e);
  }
}

InOutSum PeriodTotals::queryInOut(const std::string& select, const SqlFilter& filter) {
  InOutSum sum;
  readFirstRow(select, filter, [&](SQLite::Statement& st) {
    sum = {st.getColumn(0).getDouble(), st.getColumn(1).getDouble()};
  });
  return sum;
}

double PeriodTotals::queryTotal(const std::string& select, const SqlFilter& filter) {
  double total = 0;
  readFirstRow(select, filter, [&](SQLite::Statement& st) { total = st.getColumn(0).getDouble(); });
  return total;
}

PeriodTotals::PeriodTotals(Ledger& ledger)
    : ledger_(ledger), rules_(ledger.env().dates(), ledger.commonData().app()) {}

std::string PeriodTotals::amountColumn(const std::string& field) { return inOutComeAmountColumn(field); }

void PeriodTotals::addDateRange(SqlFilter& filter, std::optional<double> start,
                                std::optional<double> end) const {
  filter.where(live::recordSql("t"));
  if (start) filter.where("t.ZDATE >= ?", {*start});
  if (end) filter.where("t.ZDATE < ?", {rules_.addDays(*end, 1)});
}

InOutSum PeriodTotals::sumInOutAmount(const std::string& field, bool multiDoType,
                                      const std::vector<std::string>& accounts,
                                      std::optional<double> start, std::optional<double> end) {
  const std::string column = "t." + amountColumn(field);
  const std::string in = multiDoType ? inKinds() : "t.ZDO_TYPE = " + kindSql(TxKind::kIncome);
  const std::string out = multiDoType ? outKinds() : "t.ZDO_TYPE = " + kindSql(TxKind::kExpense);
  SqlFilter filter;
  if (!accounts.empty()) filter.whereIn("t.ZASSETUID", accounts);
  addDateRange(filter, start, end);
  return queryInOut("SELECT " + inOutColumns(in, out, column) + " FROM ZINOUTCOME t", filter);
}

std::vector<AssetInOutSum> PeriodTotals::normalAssetSumAmount(
    const std::vector<std::string>& accounts, std::optional<double> start,
    std::optional<double> end) {
  SqlFilter filter;
  filter.where("t.ZASSETUID IS NOT NULL");
  if (!accounts.empty()) filter.whereIn("t.ZASSETUID", accounts);
  addDateRange(filter, start, end);
  const std::string sql = "SELECT t.ZASSETUID, " + inOutColumns(inKinds(), outKinds(), "t.ZAMOUNTACCOUNT") +
                          " FROM ZINOUTCOME t" + filter.clause() +
                          " GROUP BY t.ZASSETUID";
  std::vector<AssetInOutSum> out;
  try {
    auto st = ledger_.store().prepare(sql);
    filter.bind(st);
    while (st.executeStep()) {
      out.push_back({st.getColumn(0).getString(), st.getColumn(1).getDouble(),
                     st.getColumn(2).getDouble()});
    }
  } catch (const SQLite::Exception& e) {
    ledger_.store().readFailed(sql, e);
  }
  return out;
}

std::vector<InOutSum> PeriodTotals::normalTotalAssetSumAmount(
    const std::vector<std::string>& accounts, const std::vector<SumPeriod>& periods,
    const std::string& field) {
  std::string value;
  std::string from = " FROM ZINOUTCOME t";
  if (field.empty()) {
    // Each account's currency rate, 1 for the main currency or no currency row.
    value = "t.ZAMOUNTACCOUNT * COALESCE(r.factor, 1)";
    from +=
        " LEFT JOIN (SELECT a.ZUID AS uid, CASE WHEN c.ZISMAINCURRENCY = 1 OR c.ZRATE IS NULL "
        "THEN 1.0 ELSE c.ZRATE END AS factor FROM ZASSET a LEFT JOIN ZCURRENCY c ON c.ZUID = "
        "a.ZCURRENCYUID) r ON r.uid = t.ZASSETUID";
  } else {
    value = "t." + amountColumn(field);
  }
  std::vector<InOutSum> out;
  out.reserve(periods.size());
  for (const auto& period : periods) {
    SqlFilter filter;
    if (!accounts.empty()) filter.whereIn("t.ZASSETUID", accounts);
    addDateRange(filter, period.sDate, period.eDate);
    out.push_back(queryInOut("SELECT " + inOutColumns(inKinds(), outKinds(), value) + from, filter));
  }
  return out;
}

double PeriodTotals::getAmountSum(const std::string& field, const std::vector<std::string>& accounts,
                                  const std::vector<std::string>& categories,
                                  const std::vector<TxKind>& kinds,
                                  std::optional<double> start, std::optional<double> end,
                                  int prepaymentType, int minusPlus) {
  const std::string column = "t." + amountColumn(field);
  SqlFilter filter;
  if (!kinds.empty()) filter.whereIn("t.ZDO_TYPE", kindCodes(kinds));
  if (!accounts.empty()) filter.whereIn("t.ZASSETUID", accounts);
  if (!categories.empty()) filter.whereIn("t.ZCATEGORYUID", categories);
  addDateRange(filter, start, end);
  const std::string tagged =
      "EXISTS (SELECT 1 FROM ZTXTAG g WHERE g.ZTXUID = t.ZUID AND g.ZTAGUID = "
      "'system_prepayment' AND " + live::recordSql("g") + ")";
  if (prepaymentType == 1) filter.where(tagged);
  if (prepaymentType == 2) filter.where("NOT " + tagged);
  if (minusPlus == 1) filter.where(column + " > 0");
  if (minusPlus == 2) filter.where(column + " < 0");
  return queryTotal("SELECT TOTAL(" + column + ") FROM ZINOUTCOME t", filter);
}

}  // namespace varnel
