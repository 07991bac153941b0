#include "ledger/card.h"

#include <cctype>

#include <fmt/format.h>

#include "ledger/asset_repository.h"
#include "ledger/money.h"
#include "ledger/tag_repository.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "model/period.h"
#include "model/sql_filter.h"
#include "model/tx_kind.h"

namespace varnel {

namespace {

// A day of the month stored as text; none when it is not a whole number
// from 1 to 31 (surrounding spaces allowed).
std::optional<int> storedDay(const Text& text) {
  if (!text) return std::nullopt;
  const std::string& s = *text;
  size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  int value = 0, digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && digits < 3) {
    value = value * 10 + (s[i] - '0');
    ++i;
    ++digits;
  }
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  if (digits == 0 || i != s.size() || value < 1 || value > 31) return std::nullopt;
  return value;
}

// Rounds a figure to the currency's decimals; without a currency row the
// value is kept, minus zero apart.
double roundTo(double value, const std::optional<Currency>& currency) {
  if (!currency) return value == 0 ? 0 : value;
  return getAmountByMaximumFractionDigits(value, static_cast<int>(currency->point.value_or(0)));
}

bool sameDay(const DateUtil& dates, double a, double b) { return dates.dayKey(a) == dates.dayKey(b); }

}  // namespace

int cardDayFin(const Asset& card) { return storedDay(card.Card_DayFin).value_or(1); }

int cardDayPay(const Asset& card) { return storedDay(card.Card_DayPay).value_or(1); }

CardFigures settlementFigures(CardSums s) {
  double inBefore = s.inBefore, inAfter = s.inAfter;
  // Older spending is settled by the payments made before the current
  // period, then by those made since.
  const double older = s.olderPrepayment + s.olderPayAmount;
  double left = 0, overdue = 0;
  if (older <= inBefore) {
    left = inBefore - older;
  } else {
    const double excess = older - inBefore;
    if (excess <= inAfter) {
      inAfter -= excess;
    } else {
      overdue = excess - inAfter;
      inAfter = 0;
    }
  }
  // Prepayments of the current period take the current payments next.
  double prepaymentOpen = 0;
  if (s.prepayment <= inAfter) {
    left += inAfter - s.prepayment;
  } else {
    prepaymentOpen = s.prepayment - inAfter;
  }
  CardFigures f;
  double credit = 0;
  if (s.payAmount <= left) {
    credit = left - s.payAmount;
    f.LastMonthMoney = 0;
  } else {
    f.LastMonthMoney = left - s.payAmount;
  }
  double prepaymentOver = 0;
  if (prepaymentOpen <= credit) {
    credit -= prepaymentOpen;
  } else {
    prepaymentOver = prepaymentOpen - credit;
    credit = 0;
  }
  f.displayPastPayAmount = -(overdue + prepaymentOver);
  f.ThisMonthMoney = credit - s.willPayAmount;
  return f;
}

CardPeriods CardRepository::cardPeriods(const Asset& card, double today) const {
  const DateUtil& dates = ledger_.env().dates();
  const PeriodRules rules(dates, ledger_.commonData().app());
  const int d = cardDayFin(card);
  CardPeriods p;
  p.cs = rules.dateByAppStartDay(today, d, dp_type::kMonthFromStartDay, false);
  const auto current = rules.getStartEndDate(p.cs, dp_type::kMonthFromStartDay, d, false);
  p.currentEnd = current->second;
  p.ns = rules.addDays(p.currentEnd, 1);
  // A day safely inside the previous period: the first of the month before
  // cs's month, moved on by the settlement day.
  const LocalDateTime c = dates.toLocal(p.cs);
  const double probe = dates.fromLocal(c.year, c.month - 1, 1 + d);
  p.ps = rules.getStartEndDate(probe, dp_type::kMonthFromStartDay, d, false)->first;
  p.dateWillEnd = rules.addDays(p.cs, -1);
  p.datePastEnd = rules.addDays(p.ps, -1);
  return p;
}

CardSums CardRepository::cardSumAmount(const std::string& field, const Asset& card) {
  return cardSumAmount(field, card, cardPeriods(card, ledger_.env().nowStoreSeconds()));
}

CardSums CardRepository::cardSumAmount(const std::string& field, const Asset& card,
                                       const CardPeriods& periods) {
  const std::string column = "t." + inOutComeAmountColumn(field);
  const std::string cardUid = card.uid.value_or("");
  // The card and every debit card drawing on it, deleted or hidden ones too.
  std::vector<std::string> accounts{cardUid};
  const CommonData& common = ledger_.commonData();
  for (const auto& a : common.assetList()) {
    if (a.uid && *a.uid != cardUid && a.cardAssetUid.value_or("") == cardUid &&
        common.getAssetGroupTypeAsset(a) == kDebitCardGroupType) {
      accounts.push_back(*a.uid);
    }
  }

  const DateUtil& dates = ledger_.env().dates();
  const LocalDateTime today = dates.toLocal(ledger_.env().nowStoreSeconds());
  const double longAgo = dates.fromLocal(today.year - 1000, today.month, today.day);
  const double farAhead = dates.fromLocal(today.year + 1000, today.month, today.day);

  SqlFilter filter;
  filter.whereIn("t.ZASSETUID", accounts);
  filter.where(live::recordSql("t"));
  // ?1 long ago, ?2 cs, ?3 far ahead, ?4 ps, ?5 ns; the filter's values follow.
  const std::string sql =
      "SELECT"
      " TOTAL(CASE WHEN k IN " + std::string(kInKindsSql) + " AND v > 0 AND d >= ?1 AND d < ?2 THEN v END),"
      " TOTAL(CASE WHEN k IN " + kInKindsSql + " AND v > 0 AND d >= ?2 AND d < ?3 THEN v END),"
      " TOTAL(CASE WHEN tagged AND d >= ?4 AND d < ?2 THEN s END),"
      " TOTAL(CASE WHEN tagged AND d >= ?2 THEN s END),"
      " TOTAL(CASE WHEN d < ?4 THEN s END),"
      " TOTAL(CASE WHEN NOT tagged AND d >= ?4 AND d < ?2 THEN s END),"
      " TOTAL(CASE WHEN NOT tagged AND d >= ?2 AND d < ?5 THEN s END)"
      " FROM (SELECT t.ZDATE AS d, t.ZDO_TYPE AS k, " + column + " AS v,"
      " CASE WHEN t.ZDO_TYPE IN " + kOutKindsSql + " THEN " + column +
      " WHEN t.ZDO_TYPE IN " + kInKindsSql + " AND " + column + " < 0 THEN -" + column +
      " ELSE 0 END AS s,"
      " EXISTS (SELECT 1 FROM ZTXTAG g WHERE g.ZTXUID = t.ZUID AND g.ZTAGUID = '" +
      tag_code::kPrepayment + "' AND " + live::recordSql("g") + ") AS tagged"
      " FROM ZINOUTCOME t" + filter.clause() + ")";
  CardSums sums;
  try {
    auto st = getContext().prepare(sql);
    st.bind(1, longAgo);
    st.bind(2, periods.cs);
    st.bind(3, farAhead);
    st.bind(4, periods.ps);
    st.bind(5, periods.ns);
    filter.bind(st, 6);
    if (st.executeStep()) {
      sums.inBefore = st.getColumn(0).getDouble();
      sums.inAfter = st.getColumn(1).getDouble();
      sums.olderPrepayment = st.getColumn(2).getDouble();
      sums.prepayment = st.getColumn(3).getDouble();
      sums.olderPayAmount = st.getColumn(4).getDouble();
      sums.payAmount = st.getColumn(5).getDouble();
      sums.willPayAmount = st.getColumn(6).getDouble();
    }
  } catch (const SQLite::Exception& e) {
    getContext().readFailed(sql, e);
  }
  return sums;
}

std::optional<Currency> CardRepository::cardCurrency(const Asset& card) const {
  const CommonData& common = ledger_.commonData();
  if (auto own = common.currencyByUid(card.currencyUid.value_or(""))) return own;
  return common.mainCurrency();
}

CardSettlement CardRepository::cardSettlement(const Asset& card) {
  StoreSnapshot snapshot(getContext());
  CardSettlement s;
  s.periods = cardPeriods(card, ledger_.env().nowStoreSeconds());
  s.sums = cardSumAmount("amountAccount", card, s.periods);
  const CardFigures f = settlementFigures(s.sums);
  const auto currency = cardCurrency(card);
  s.displayPastPayAmount = roundTo(f.displayPastPayAmount, currency);
  s.LastMonthMoney = roundTo(f.LastMonthMoney, currency);
  s.ThisMonthMoney = roundTo(f.ThisMonthMoney, currency);
  s.datePastEnd = s.periods.datePastEnd;
  s.dateWillEnd = s.periods.dateWillEnd;
  return s;
}

CardSettlement cardSettlement(Ledger& ledger, const Asset& card) {
  return CardRepository(ledger).cardSettlement(card);
}

double CardRepository::payDate(double date, int payDay) const {
  const DateUtil& dates = ledger_.env().dates();
  const PeriodRules rules(dates, ledger_.commonData().app());
  if (payDay < 1) payDay = 1;
  if (payDay > 31) payDay = 31;
  // The pay day is clamped to the month the payment falls in, not to the
  // month the period ends in: pay day 30 after a February period is 30 March,
  // and pay day 31 in December is the 31st, whatever November had.
  for (int step = 1; step <= 31; ++step) {
    const double day = rules.addDays(date, step);
    const LocalDateTime t = dates.toLocal(day);
    if (t.day == PeriodRules::getStartDay(t.year, t.month, payDay)) return day;
  }
  return rules.addDays(date, 31);
}

CardPaymentDates CardRepository::newPayDate(double datePastEnd, double dateWillEnd, int payDay,
                                            int dayFin) const {
  const DateUtil& dates = ledger_.env().dates();
  const PeriodRules rules(dates, ledger_.commonData().app());
  if (dayFin < 1 || dayFin > 31) dayFin = 1;
  CardPaymentDates out;
  out.paymentDate = payDate(dateWillEnd, payDay);
  const double end = rules.getStartEndDate(datePastEnd, dp_type::kMonthFromStartDay, dayFin, false)->second;
  out.pastPaymentDate = payDate(end, payDay);
  if (sameDay(dates, out.pastPaymentDate, out.paymentDate)) {
    out.pastPaymentDate = payDate(rules.addDays(end, -10), payDay);
  }
  return out;
}

PeriodTotalAmount CardRepository::periodCardUsage(const Asset& card, int yyyymm) {
  const int year = yyyymm / 100, month = yyyymm % 100;
  if (yyyymm <= 0 || year < 1 || year > 9999 || month < 1 || month > 12) {
    throw InputError(fmt::format("a month must be written yyyymm: '{}'", yyyymm));
  }
  const DateUtil& dates = ledger_.env().dates();
  const PeriodRules rules(dates, ledger_.commonData().app());
  const int64_t type = card.card_usage_hurdle_type.value_or(0);
  const bool threeMonths = type != 0 && type != 1;
  PeriodTotalAmount out;
  out.startDate = dates.fromLocal(year, threeMonths ? month - 2 : month, 1);
  out.endDate = dates.fromLocal(year, month + 1, 0);

  // The instalment index of a row, read from its "(i/n)" text the way
  // getInstallIndex reads it: 1 when it does not split into two parts or
  // the first part is not a positive number.
  const std::string bare = "REPLACE(REPLACE(COALESCE(t.ZCARDDIVIDEMONTHSTR, ''), '(', ''), ')', '')";
  const std::string slash = "INSTR(" + bare + ", '/')";
  const std::string index = "CASE WHEN " + slash + " = 0 OR INSTR(SUBSTR(" + bare + ", " + slash +
                            " + 1), '/') > 0 THEN 1 ELSE MAX(1, CAST(SUBSTR(" + bare + ", 1, " +
                            slash + " - 1) AS INTEGER)) END";
  const std::string sql =
      "SELECT TOTAL(CASE"
      " WHEN COALESCE(t.ZCARDDIVIDEUID, '') IN ('', '0') THEN"
      " CASE WHEN t.ZDO_TYPE IN " + std::string(kOutKindsSql) + " THEN t.ZAMOUNTACCOUNT ELSE 0 END"
      " WHEN " + index + " = 1 THEN"
      " (SELECT TOTAL(g.ZAMOUNTACCOUNT) FROM ZINOUTCOME g WHERE g.ZCARDDIVIDEUID = t.ZCARDDIVIDEUID"
      " AND g.ZDO_TYPE IN " + kindListSql({TxKind::kExpense, TxKind::kTransferOut}) + " AND " +
      live::recordSql("g") + ")"
      " ELSE 0 END)"
      " FROM ZINOUTCOME t WHERE t.ZASSETUID = ? AND " + live::recordSql("t") +
      " AND t.ZDATE >= ? AND t.ZDATE < ?"
      " AND NOT EXISTS (SELECT 1 FROM ZTXTAG x WHERE x.ZTXUID = t.ZUID AND x.ZTAGUID = '" +
      tag_code::kCardUsageException + "' AND " + live::recordSql("x") + ")";
  try {
    auto st = getContext().prepare(sql);
    st.bind(1, card.uid.value_or(""));
    st.bind(2, out.startDate);
    st.bind(3, rules.addDays(out.endDate, 1));
    if (st.executeStep()) out.amount = st.getColumn(0).getDouble();
  } catch (const SQLite::Exception& e) {
    getContext().readFailed(sql, e);
  }
  return out;
}

CardUsageView CardRepository::cardUsageView(const Asset& card, std::optional<int> yyyymm) {
  const DateUtil& dates = ledger_.env().dates();
  if (!yyyymm) {
    const LocalDateTime now = dates.toLocal(ledger_.env().nowStoreSeconds());
    yyyymm = now.year * 100 + now.month;
  }
  CardUsageView view;
  const int64_t type = card.card_usage_hurdle_type.value_or(0);
  view.threeMonths = type != 0 && type != 1;
  view.usage = periodCardUsage(card, *yyyymm);
  view.target = static_cast<double>(card.card_usage_hurdle_amount.value_or(kDefaultCardUsageHurdle));
  view.hasTarget = view.target != 0;
  // The three-month target asks for the monthly amount on average, so the
  // window as a whole must reach three times it.
  const double needed = view.threeMonths ? 3 * view.target : view.target;
  view.reached = view.hasTarget && needed <= view.usage.amount;
  view.remaining = view.hasTarget && !view.reached ? needed - view.usage.amount : 0;
  const char* key = view.threeMonths ? "card_usage_hurdle_3months_average" : "card_usage_hurdle_use_pre";
  view.label = fmt::format("{} ({} ~ {})", ledger_.texts().text(key),
                           dates.format(view.usage.startDate, "yy.M.d"),
                           dates.format(view.usage.endDate, "yy.M.d"));
  return view;
}

std::vector<InOutCome> CardRepository::getInOutComeByCardDivideUid(const std::string& uid) {
  if (uid.empty() || uid == "0") return {};
  return fetch<InOutCome>(" WHERE ZCARDDIVIDEUID = ? AND " + live::recordSql() + " ORDER BY ZDATE, Z_PK",
                          uid);
}

}  // namespace varnel
