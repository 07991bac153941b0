#include "reports/balance_line.h"

#include <map>
#include <string>

#include <fmt/format.h>

#include "ledger/currency_conversion.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "model/period.h"
#include "model/sql_filter.h"
#include "model/tx_kind.h"
#include "reports/period_totals.h"

namespace varnel {

std::vector<BalanceLineMonth> monthEndBalances(Ledger& ledger, int months) {
  if (months < 1 || months > kMaxChartMonths) {
    throw InputError(fmt::format("the number of months must be from 1 to {}: {}", kMaxChartMonths, months));
  }
  const CommonData& cache = ledger.commonData();
  const PeriodRules rules(ledger.env().dates(), cache.app());
  std::vector<BalanceLineMonth> line(static_cast<size_t>(months));
  double day = ledger.env().nowStoreSeconds();
  for (int i = months - 1; i >= 0; --i) {
    const auto bounds = rules.getStartEndDate(day, dp_type::kMonthFromStartDay, cache.app().appStartDay, true);
    line[static_cast<size_t>(i)].start = bounds->first;
    line[static_cast<size_t>(i)].end = bounds->second;
    day = rules.addDays(bounds->first, -1);
  }

  // Each counted account, and each debit card drawing on one, is summed
  // under the counted account it belongs to.
  std::map<std::string, std::string> countedAs;
  std::map<std::string, double> rateOf;
  const auto& main = cache.mainCurrency();
  for (const auto& a : cache.assetList()) {
    if (!a.uid || a.isReflect.value_or(0) != 0 || !live::isLiveAccount(a)) continue;
    const auto group = cache.assetGroupByUid(a.groupUid.value_or(""));
    if (!group || !live::isListedGroup(*group) || group->Status.value_or(0) == kDebitCardGroupType) continue;
    countedAs[*a.uid] = *a.uid;
    const auto currency = cache.currencyByUid(a.currencyUid.value_or(""));
    if (currency) {
      const MoneyCurrency converted = moneyCurrency(*currency, main);
      rateOf[*a.uid] = converted.countsAsMain ? 1.0 : converted.rate;
    }
    // Deleted debit cards too: their rows stay in the balance they drew on.
    for (const auto& card : cache.checkCardListByAsset(*a.uid, true)) {
      if (card.uid && cache.getAssetGroupTypeAsset(card) == kDebitCardGroupType) countedAs[*card.uid] = *a.uid;
    }
  }
  if (countedAs.empty()) return line;

  // One pass over the rows: a column per month end.
  std::string select = "SELECT t.ZASSETUID";
  const std::string sign = std::string("CASE WHEN t.ZDO_TYPE IN ") + kInKindsSql +
                           " THEN t.ZAMOUNTACCOUNT WHEN t.ZDO_TYPE IN " + kOutKindsSql +
                           " THEN -t.ZAMOUNTACCOUNT ELSE 0 END";
  std::vector<SqlFilter::Value> ends;
  for (const auto& month : line) {
    select += ", TOTAL(CASE WHEN t.ZDATE < ? THEN " + sign + " ELSE 0 END)";
    ends.emplace_back(rules.addDays(month.end, 1));
  }
  std::vector<std::string> accounts;
  for (const auto& [uid, owner] : countedAs) accounts.push_back(uid);
  SqlFilter filter;
  filter.where(live::recordSql("t"));
  filter.whereIn("t.ZASSETUID", accounts);
  filter.where("t.ZDATE < ?", {std::get<double>(ends.back())});
  const std::string sql = select + " FROM ZINOUTCOME t" + filter.clause() + " GROUP BY t.ZASSETUID";

  std::map<std::string, std::vector<double>> balances;
  try {
    auto statement = ledger.store().prepare(sql);
    int index = 1;
    for (const auto& end : ends) statement->bind(index++, std::get<double>(end));
    filter.bind(statement.get(), index);
    while (statement.executeStep()) {
      const std::string uid = statement.getColumn(0).getString();
      auto& sums = balances[countedAs.at(uid)];
      sums.resize(line.size(), 0.0);
      for (size_t i = 0; i < line.size(); ++i) sums[i] += statement.getColumn(static_cast<int>(i) + 1).getDouble();
    }
  } catch (const std::exception& e) {
    ledger.store().readFailed("monthEndBalances", e);
  }

  const int point = main ? static_cast<int>(main->point.value_or(0)) : 2;
  for (const auto& [uid, sums] : balances) {
    const double rate = rateOf.count(uid) ? rateOf.at(uid) : 1.0;
    for (size_t i = 0; i < line.size(); ++i) {
      const double inMain = roundMoney(decimalProduct(sums[i], rate), point);
      if (inMain > 0) line[i].asset += inMain;
      if (inMain < 0) line[i].debt -= inMain;
    }
  }
  for (auto& month : line) {
    month.asset = roundMoney(month.asset, point);
    month.debt = roundMoney(month.debt, point);
    month.total = roundMoney(month.asset - month.debt, point);
  }
  return line;
}

}  // namespace varnel
