#include "reports/widget.h"

#include <fstream>

#include <nlohmann/json.hpp>
#include <spdlog/spdlog.h>

#include "ledger/money.h"
#include "model/etc_repository.h"
#include "model/liveness.h"
#include "model/tx_kind.h"
#include "reports/classifier.h"
#include "reports/period_totals.h"
#include "model/sql_filter.h"

namespace varnel {

std::filesystem::path widgetFile(const Environment& env) { return env.appSupportDir() / "widget.json"; }

std::map<std::string, std::string> calcTodayAndYesterdayForWidget(Ledger& ledger) {
  const Environment& env = ledger.env();
  const CommonData& cache = ledger.commonData();
  StoreSnapshot snapshot(ledger.store());
  PeriodTotals totals(ledger);
  const PeriodRules& rules = totals.rules();
  const double today = rules.startOfDay(env.nowStoreSeconds());
  const double yesterday = rules.addDays(today, -1);
  const double tomorrow = rules.addDays(today, 1);

  // Expense of yesterday and today, by the book view of the classifier.
  double todayExpense = 0, yesterdayExpense = 0;
  const std::string sql =
      "SELECT ZDATE, ZDO_TYPE, ZASSETUID, ZTOASSETUID, ZAMOUNT FROM ZINOUTCOME WHERE " + live::recordSql() +
      " AND ZDATE >= ? AND ZDATE < ? AND ZDO_TYPE NOT IN " +
      kindListSql({TxKind::kAdjustmentUp, TxKind::kAdjustmentDown, TxKind::kTransferIn});
  try {
    auto st = ledger.store().prepare(sql);
    st.bind(1, yesterday);
    st.bind(2, tomorrow);
    const bool cashBook = cache.app().cardCashbookStr == "1";
    auto traits = [&cache](const std::string& uid) { return accountTraits(cache, uid); };
    while (st.executeStep()) {
      const ClassifiedRow row{"", classifiedKind(st.getColumn(1).getText("")), st.getColumn(2).getString(),
                              st.getColumn(3).getString()};
      if (displayDoTypeByInOutCome(row, 1, cashBook, traits) != tx_class::kExpense) continue;
      (st.getColumn(0).getDouble() >= today ? todayExpense : yesterdayExpense) += st.getColumn(4).getDouble();
    }
  } catch (const SQLite::Exception& e) {
    ledger.store().readFailed(sql, e);
  }

  const auto period = rules.getStartEndDate(env.nowStoreSeconds(), cache.app().appPeriodType,
                                            cache.app().appStartDay, true);
  std::optional<double> start, end;
  if (period) {
    start = period->first;
    end = period->second;
  }
  const double periodExpense = totals.getInOutSumMoneyByDate(start, end).expense;

  const auto colour = EtcRepository(ledger).getEtcUserSettingByType(etc_kind::kMoneyColor);
  const std::string moneyColor = colour && colour->Data ? *colour->Data : "0";
  auto format = [&](double amount) {
    if (!cache.mainCurrency()) return fmt::format("{:.2f}", amount);
    Currency shown = *cache.mainCurrency();
    shown.point = 2;
    return showMoneyByCurrecy(amount, shown, 0, env.locale());
  };
  std::map<std::string, std::string> figures = {
      {"widgetadd_today_date", env.dates().dayKey(today)},
      {"widgetadd_today_amount", format(todayExpense)},
      {"widgetadd_yesterday_amount", format(yesterdayExpense)},
      {"widgetadd_thismonth_amount", format(periodExpense)},
      {"widgetadd_ToMonthPeriod",
       period ? env.dates().format(period->first, "M. d.") + " ~ " + env.dates().format(period->second, "M. d.")
              : std::string()},
      {"widgetadd_btn", "add"},
      {"widgetadd_iconName", "expense"},
      // Expenses are drawn in red unless the money colour setting swaps the colours.
      {"widgetadd_ExpensesColor", moneyColor == "0" ? "red" : "blue"},
  };

  const auto file = widgetFile(env);
  const auto temp = file.string() + ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    // Account and category names come from the store, which may hold bytes that are not UTF-8.
    out << nlohmann::json(figures).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  }
  std::error_code ec;
  std::filesystem::rename(temp, file, ec);
  if (ec) ledger.log().error("widget figures not written: {}", ec.message());
  return figures;
}

}  // namespace varnel
