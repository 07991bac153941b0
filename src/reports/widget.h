// The figures of the home-screen widget: today's and yesterday's expense and
// the expense of the current main-screen period, written to a small
// key/value file that the widget reads ("widget.json" in the
// application-support folder).
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "model/ledger.h"

namespace varnel {

// Computes the figures, writes them (whole-file replace) and returns them.
// Keys: "widgetadd_today_date", "widgetadd_today_amount",
// "widgetadd_yesterday_amount", "widgetadd_thismonth_amount",
// "widgetadd_ToMonthPeriod", "widgetadd_btn", "widgetadd_iconName",
// "widgetadd_ExpensesColor".
std::map<std::string, std::string> calcTodayAndYesterdayForWidget(Ledger& ledger);

std::filesystem::path widgetFile(const Environment& env);

}  // namespace varnel
