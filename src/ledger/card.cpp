#include "ledger/card.h"

#include <algorithm>
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
  return cardSumAmounts(field, {{card, periods}}).front();
}

std::vector<CardSums> CardRepository::cardSumAmounts(
    const std::string& field, const std::vector<std::pair<Asset, CardPeriods>>& cards) {
  const std::string column = "t." + inOutComeAmountColumn(field);
  const CommonData& common = ledger_.commonData();
  const DateUtil& dates = ledger_.env().dates();
  const LocalDateTime today = dates.toLocal(ledger_.env().nowStoreSeconds());
  const double longAgo = dates.fromLocal(today.year - 1000, today.month, today.day);
  const double farAhead = dates.fromLocal(today.year + 1000, today.month, today.day);

  // One entry per account summed: the card itself and every debit card
  // drawing on it (deleted or hidden ones too), each card's accounts in
  // the byte order of their uids.
  struct Account {
    size_t card;
    std::string uid;
  };
  std::vector<Account> accounts;
  for (size_t i = 0; i < cards.size(); ++i) {
    const std::string cardUid = cards[i].first.uid.value_or("");
    std::vector<std::string> uids{cardUid};
    for (const auto& a : common.assetList()) {
      if (a.uid && *a.uid != cardUid && a.cardAssetUid.value_or("") == cardUid &&
          common.getAssetGroupTypeAsset(a) == kDebitCardGroupType) {
        uids.push_back(*a.uid);
      }
    }
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    for (auto& uid : uids) accounts.push_back({i, std::move(uid)});
  }

  // Years of rows lie before the previous period and count only as money in
  // before the current period and as older spending, so they are two plain
  // sums; the few rows from the previous period on are the only ones whose
  // prepayment tag matters, and they come back one by one. Adding those to
  // the older sums in date order gives the very sums one pass over every row
  // would (to the last bit for a card without debit cards drawing on it),
  // without checking the tag of rows that cannot need it.
  const std::string spending = "CASE WHEN t.ZDO_TYPE IN " + std::string(kOutKindsSql) + " THEN " + column +
                               " WHEN t.ZDO_TYPE IN " + kInKindsSql + " AND " + column + " < 0 THEN -" +
                               column + " ELSE 0 END";
  const std::string moneyIn = "t.ZDO_TYPE IN " + std::string(kInKindsSql) + " AND " + column + " > 0";
  // ?1 long ago, ?2 far ahead; then each arm's own account and bounds.
  auto olderArm = [&](size_t arm, int n) {
    return fmt::format(
        "SELECT {0}, TOTAL(CASE WHEN {1} AND t.ZDATE >= ?1 THEN {2} END), TOTAL({3}) FROM ZINOUTCOME t"
        " WHERE t.ZASSETUID = ?{4} AND {5} AND t.ZDATE < ?{6}",
        arm, moneyIn, column, spending, n, live::recordSql("t"), n + 1);
  };
  // ?{n} cs, ?{n+1} ns, ?{n+2} the account, ?{n+3} ps.
  auto recentArm = [&](size_t arm, int n) {
    return fmt::format(
        "SELECT {0}, CASE WHEN {1} AND t.ZDATE < ?{4} THEN {2} END,"
        " CASE WHEN {1} AND t.ZDATE >= ?{4} AND t.ZDATE < ?2 THEN {2} END,"
        " CASE WHEN t.ZDATE < ?{4} THEN {3} END, CASE WHEN t.ZDATE >= ?{4} THEN {3} END,"
        " CASE WHEN t.ZDATE >= ?{4} AND t.ZDATE < ?{5} THEN {3} END,"
        " EXISTS (SELECT 1 FROM ZTXTAG g WHERE g.ZTXUID = t.ZUID AND g.ZTAGUID = '{6}' AND {7})"
        " FROM ZINOUTCOME t WHERE t.ZASSETUID = ?{8} AND {9} AND t.ZDATE >= ?{10}",
        arm, moneyIn, column, spending, n, n + 1, tag_code::kPrepayment, live::recordSql("g"), n + 2,
        live::recordSql("t"), n + 3);
  };

  std::vector<CardSums> sums(cards.size());
  std::vector<CardSums> older(accounts.size());
  // A compound statement holds at most 500 arms.
  constexpr size_t kArms = 200;
  for (size_t first = 0; first < accounts.size(); first += kArms) {
    const size_t last = std::min(accounts.size(), first + kArms);
    std::string olderSql, recentSql;
    for (size_t a = first; a < last; ++a) {
      const int j = static_cast<int>(a - first);
      if (a != first) {
        olderSql += " UNION ALL ";
        recentSql += " UNION ALL ";
      }
      olderSql += olderArm(a, 3 + 2 * j);
      recentSql += recentArm(a, 3 + 4 * j);
    }
    try {
      auto st = getContext().prepare(olderSql);
      st.bind(1, longAgo);
      int n = 3;
      for (size_t a = first; a < last; ++a) {
        st.bind(n++, accounts[a].uid);
        st.bind(n++, cards[accounts[a].card].second.ps);
      }
      while (st.executeStep()) {
        CardSums& s = older.at(static_cast<size_t>(st.getColumn(0).getInt64()));
        s.inBefore = st.getColumn(1).getDouble();
        s.olderPayAmount = st.getColumn(2).getDouble();
      }
    } catch (const SQLite::Exception& e) {
      getContext().readFailed(olderSql, e);
    }
    // Each account's own older sums first, then its recent rows in the
    // order the store keeps them.
    auto add = [](double& sum, const SQLite::Column& value) {
      if (!value.isNull()) sum += value.getDouble();
    };
    size_t started = first;
    try {
      auto st = getContext().prepare(recentSql);
      st.bind(2, farAhead);
      int n = 3;
      for (size_t a = first; a < last; ++a) {
        const CardPeriods& p = cards[accounts[a].card].second;
        st.bind(n++, p.cs);
        st.bind(n++, p.ns);
        st.bind(n++, accounts[a].uid);
        st.bind(n++, p.ps);
      }
      auto finish = [&](size_t until) {
        for (; started < until; ++started) {
          CardSums& s = sums[accounts[started].card];
          // The first account of a card starts its sums; later ones add on.
          s.inBefore += older[started].inBefore;
          s.olderPayAmount += older[started].olderPayAmount;
        }
      };
      while (st.executeStep()) {
        const size_t a = static_cast<size_t>(st.getColumn(0).getInt64());
        finish(a + 1);
        CardSums& s = sums[accounts[a].card];
        add(s.inBefore, st.getColumn(1));
        add(s.inAfter, st.getColumn(2));
        if (st.getColumn(6).getInt() != 0) {
          add(s.olderPrepayment, st.getColumn(3));
          add(s.prepayment, st.getColumn(4));
        } else {
          add(s.payAmount, st.getColumn(3));
          add(s.willPayAmount, st.getColumn(5));
        }
      }
      finish(last);
    } catch (const SQLite::Exception& e) {
      getContext().readFailed(recentSql, e);
    }
  }
  return sums;
}

std::optional<Currency> CardRepository::cardCurrency(const Asset& card) const {
  const CommonData& common = ledger_.commonData();
  if (auto own = common.currencyByUid(card.currencyUid.value_or(""))) return own;
  return common.mainCurrency();
}

std::vector<CardSettlement> CardRepository::cardSettlements(const std::vector<Asset>& cards) {
  StoreSnapshot snapshot(getContext());
  const double now = ledger_.env().nowStoreSeconds();
  std::vector<std::pair<Asset, CardPeriods>> asked;
  asked.reserve(cards.size());
  for (const auto& card : cards) asked.emplace_back(card, cardPeriods(card, now));
  const std::vector<CardSums> sums = cardSumAmounts("amountAccount", asked);
  std::vector<CardSettlement> settlements(cards.size());
  for (size_t i = 0; i < cards.size(); ++i) {
    CardSettlement& s = settlements[i];
    s.periods = asked[i].second;
    s.sums = sums[i];
    const CardFigures f = settlementFigures(s.sums);
    const auto currency = cardCurrency(cards[i]);
    s.displayPastPayAmount = roundTo(f.displayPastPayAmount, currency);
    s.LastMonthMoney = roundTo(f.LastMonthMoney, currency);
    s.ThisMonthMoney = roundTo(f.ThisMonthMoney, currency);
    s.datePastEnd = s.periods.datePastEnd;
    s.dateWillEnd = s.periods.dateWillEnd;
  }
  return settlements;
}

CardSettlement CardRepository::cardSettlement(const Asset& card) { return cardSettlements({card}).front(); }

CardSettlement cardSettlement(Ledger& ledger, const Asset& card) {
  return CardRepository(ledger).cardSettlement(card);
}

std::vector<CardSettlement> cardSettlements(Ledger& ledger, const std::vector<Asset>& cards) {
  return CardRepository(ledger).cardSettlements(cards);
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
