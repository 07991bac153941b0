// The desktop API's replies that read the ledger: the client's lists, the
// transaction dataset of a period, the summary, the account and card trees
// and the charts. The numbers come from the reports; this file only writes
// them in the reply formats.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include <fmt/format.h>

#include "ledger/card.h"
#include "ledger/category_repository.h"
#include "ledger/currency_conversion.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "model/liveness.h"
#include "model/period.h"
#include "model/text.h"
#include "model/tx_kind.h"
#include "reports/account_overview.h"
#include "reports/balance_line.h"
#include "reports/budget_repository.h"
#include "reports/category_statistics.h"
#include "reports/period_totals.h"
#include "web/desktop_api.h"

namespace varnel::web {

namespace {

// Months of the account chart and of the dashboard's line.
constexpr int kChartMonths = 12;

std::optional<std::string> nonEmpty(const Params& params, const std::string& name) {
  const auto found = params.find(name);
  if (found == params.end() || found->second.empty() || found->second == "(null)") return std::nullopt;
  return found->second;
}

// A period of a query: [start, end] as local midnights of their days; a
// start date that is not a day is kFallbackStartDate, an end date that is
// not one is the start's.
std::pair<double, double> periodOf(const Ledger& ledger, const Params& params) {
  const auto day = [&](const std::string& name) -> std::optional<double> {
    const auto text = nonEmpty(params, name);
    if (!text) return std::nullopt;
    try {
      return ledger.env().parseDay(*text, name);
    } catch (const InputError&) {
      return std::nullopt;
    }
  };
  const double start = day("startDate").value_or(ledger.env().parseDay(std::string(kFallbackStartDate), "startDate"));
  const double end = day("endDate").value_or(start);
  return {start, std::max(start, end)};
}

// Balances in an account's currency brought into the main currency, as the
// group totals of the account screen show them.
double inMainCurrency(const Ledger& ledger, double amount, const std::optional<Currency>& currency) {
  const auto& main = const_cast<Ledger&>(ledger).commonData().mainCurrency();
  const int point = main ? static_cast<int>(main->point.value_or(0)) : 2;
  if (!currency) return roundMoney(amount, point);
  const MoneyCurrency converted = moneyCurrency(*currency, main);
  return roundMoney(converted.countsAsMain ? amount : decimalProduct(amount, converted.rate), point);
}

// The balance an account shows: a credit card's is what its bills say.
double shownBalance(const AccountOverviewEntry& e) {
  if (e.assetGroup.Status.value_or(0) == kCreditCardGroupType) {
    return e.displayPastPayAmount + e.LastMonthMoney + e.ThisMonthMoney;
  }
  return e.Money;
}

std::vector<const AccountOverviewEntry*> byGroupAndOrder(const AccountOverview& overview) {
  std::vector<const AccountOverviewEntry*> entries;
  for (const auto& [uid, e] : overview) entries.push_back(&e);
  std::sort(entries.begin(), entries.end(), [](auto* a, auto* b) {
    return std::tie(a->groupOrder, a->assetGroup.uid, a->order, a->Key) <
           std::tie(b->groupOrder, b->assetGroup.uid, b->order, b->Key);
  });
  return entries;
}

// The entries point into `overview`: a temporary would be gone before they
// are read.
std::vector<const AccountOverviewEntry*> byGroupAndOrder(AccountOverview&& overview) = delete;

const char* colorOf(double amount) { return amount < 0 ? "#dc143c" : "#4169e1"; }

}  // namespace

// The lists the client starts with -------------------------------------------

std::string DesktopApi::getInitData() {
  Ledger& book = ledger();
  const CommonData& cache = book.commonData();
  const AppValues& app = cache.app();
  const PeriodRules rules(book.env().dates(), app);
  const double now = book.env().nowStoreSeconds();
  auto period = rules.getStartEndDate(now, app.appPeriodType, app.appStartDay, true);
  if (!period) period = rules.getStartEndDate(now, dp_type::kMonthFromStartDay, app.appStartDay, true);
  const DateUtil& dates = book.env().dates();
  const std::string bookName = jsText(book.texts().text("desktop_book_name"));

  std::string out = fmt::format(
      "{{\tinitData: {{initStartDate:'{}',initEndDate:'{}',mbid:'1', mbName:'{}'}},\tmultiBooks: [{{mbid:'1', "
      "mbname:'{}', baseDate:'{}'}}],",
      dates.dayKey(period->first), dates.dayKey(period->second), bookName, bookName, app.appStartDay);

  const bool useSub = EtcRepository(book).getUseSubCategory();
  CategoryRepository categories(book);
  const auto categoryList = [&](int doType) {
    std::vector<std::string> entries;
    for (const auto& main : categories.mainCategoryByInOutType(doType, false, false)) {
      std::vector<std::string> subs;
      if (useSub) {
        for (const auto& sub : main.subCategoryList) {
          subs.push_back(fmt::format("{{mcscid:'{}', mcscname:'{}'}}", jsText(sub.uid), jsText(sub.name)));
        }
      }
      entries.push_back(fmt::format("{{mcid:'{}',mcname:'{}',mcsc:[{}]}}", jsText(main.uid), jsText(main.name),
                                    joinEntries(subs)));
    }
    return joinEntries(entries);
  };
  out += "category_1: [" + categoryList(category_code::kIncome) + "],";
  out += "category_0: [" + categoryList(category_code::kExpense) + "],";

  std::vector<std::string> payTypes;
  for (const auto& a : cache.getUseAssetList()) {
    payTypes.push_back(fmt::format("{{ptid:'{}',ptname:'{}'}}", jsText(a.uid.value_or("")), jsText(a.NicName.value_or(""))));
  }
  out += "payType:[" + joinEntries(payTypes) + "],";
  out += fmt::format("inOutText:[['{}'],['{}']],", jsText(book.texts().text("app_text_income")),
                     jsText(book.texts().text("app_text_expenses")));

  std::vector<std::string> groups, names;
  std::set<std::string> listed;
  for (const auto& g : cache.assetGroupList()) {
    if (!g.uid || g.uid->empty() || !live::isListedGroup(g)) continue;
    listed.insert(*g.uid);
    groups.push_back(fmt::format("{{assetGroupId:'{}', assetType:'group',assetName:'{}'}}", jsText(*g.uid),
                                 jsText(g.AssetGroupName.value_or(""))));
  }
  for (const auto& g : cache.assetGroupList()) {
    if (!g.uid || !listed.count(*g.uid)) continue;
    for (const auto& a : cache.getAssetListByGroupId(*g.uid, false)) {
      if (!a.uid || a.uid->empty()) continue;
      names.push_back(fmt::format("{{assetType:'item', assetId:'{}',assetName:'{}'}}", jsText(*a.uid),
                                  jsText(a.NicName.value_or(""))));
    }
  }
  out += "assetGroups:[" + joinEntries(groups) + "],";
  out += "assetNames:[" + joinEntries(names) + "]}";
  return out;
}

// The transactions of a period ---------------------------------------------------

std::string DesktopApi::getDataByPeriod(const Params& query) {
  Ledger& book = ledger();
  const CommonData& cache = book.commonData();
  const Texts& texts = book.texts();
  const DateUtil& dates = book.env().dates();
  const PeriodRules rules(dates, cache.app());
  const auto [start, end] = periodOf(book, query);

  std::vector<std::string> accounts;
  if (const auto ids = nonEmpty(query, "assetId")) {
    for (const auto& id : splitFields(*ids, ',')) {
      if (!id.empty()) accounts.push_back(id);
    }
  }
  SqlFilter filter;
  filter.where(live::recordSql("t"));
  filter.where("t.ZDATE >= ? AND t.ZDATE < ?", {start, rules.addDays(end, 1)});
  if (accounts.empty()) {
    filter.where("t.ZDO_TYPE IS NULL OR t.ZDO_TYPE != " + kindSql(TxKind::kTransferIn));
  } else {
    filter.whereIn("t.ZASSETUID", accounts);
  }
  const std::string sql =
      "SELECT t.ZUID, t.ZDATE, t.ZDO_TYPE, t.ZASSETUID, t.ZTOASSETUID, t.ZCATEGORYUID, t.ZCONTENT, "
      "t.ZCARDDIVIDEMONTHSTR, t.ZMEMO, t.ZAMOUNT, t.ZASSET_NAME, t.ZASSET_NIC, t.ZCATEGORY_NAME FROM ZINOUTCOME t" +
      filter.clause() + " ORDER BY t.ZDATE DESC, t.ZUTIME DESC";

  // Names and kind labels repeat from row to row: each is worked out once.
  std::map<std::string, std::string> kindNames;
  const auto kindName = [&](const std::string& code) -> const std::string& {
    auto found = kindNames.find(code);
    if (found != kindNames.end()) return found->second;
    std::string name = code;
    const auto kind = kindOfCode(code);
    if (kind == TxKind::kIncome) name = texts.text("app_text_income");
    if (kind == TxKind::kExpense) name = texts.text("app_text_expenses");
    if (kind == TxKind::kTransferOut) name = texts.text("dotype_3");
    if (kind == TxKind::kTransferIn) name = texts.text("dotype_4");
    if (kind == TxKind::kOldAdjustment) name = texts.text("config_assets_category_name2");
    if (kind == TxKind::kAdjustmentUp) name = texts.text("dotype_7");
    if (kind == TxKind::kAdjustmentDown) name = texts.text("dotype_8");
    return kindNames.emplace(code, xmlText(name)).first->second;
  };
  std::map<std::string, std::optional<std::string>> accountNames;
  const auto accountName = [&](const std::string& uid) -> const std::optional<std::string>& {
    auto found = accountNames.find(uid);
    if (found != accountNames.end()) return found->second;
    std::optional<std::string> name;
    if (const auto a = cache.assetByUid(uid)) name = cdata(a->NicName.value_or(""));
    return accountNames.emplace(uid, std::move(name)).first->second;
  };
  struct CategoryCells {
    std::string mcid, mbCategory, mcscid, subCategory;
    bool hasSub = false;
    bool known = false;
  };
  const bool useSub = EtcRepository(book).getUseSubCategory();
  std::map<std::string, CategoryCells> categoryCells;
  const auto categoryOf = [&](const std::string& uid) -> const CategoryCells& {
    auto found = categoryCells.find(uid);
    if (found != categoryCells.end()) return found->second;
    InOutCome probe;
    probe.categoryUid = uid;
    CategoryCells cells;
    if (const auto main = cache.getCategory(probe)) {
      cells.known = true;
      cells.mcid = xmlText(main->uid.value_or(""));
      cells.mbCategory = cdata(main->Name.value_or(""));
      const auto sub = cache.getSubCategory(probe);
      if (sub && useSub) {
        cells.hasSub = true;
        cells.mcscid = xmlText(uid);
        cells.subCategory = cdata(sub->Name.value_or(""));
      }
    }
    return categoryCells.emplace(uid, std::move(cells)).first->second;
  };
  const std::string missingAccount = cdata(texts.text("desktop_missing_account"));

  // The day text of the rows of one local day, which come together.
  double dayStart = 1, dayEnd = 0;
  std::string dayText;
  std::string rows;
  long count = 0;
  const auto text = [](SQLite::Statement& st, int column) {
    return st.isColumnNull(column) ? std::string() : st.getColumn(column).getString();
  };
  try {
    auto st = book.store().prepare(sql);
    filter.bind(st.get());
    while (st.executeStep()) {
      ++count;
      const std::string uid = text(st, 0);
      const double date = st.getColumn(1).getDouble();
      const std::string code = text(st, 2);
      const std::string assetUid = text(st, 3);
      const bool transfer = code == kindCode(TxKind::kTransferOut) || code == kindCode(TxKind::kTransferIn);
      if (!(date >= dayStart && date < dayEnd)) {
        const LocalDateTime local = dates.toLocal(date);
        dayStart = dates.fromLocal(local.year, local.month, local.day);
        dayEnd = rules.addDays(dayStart, 1);
        dayText = fmt::format("{}-{:02d}-{:02d}", local.year, local.month, local.day);
      }
      rows += "<row><id>";
      rows += xmlText(uid);
      rows += "</id><mbDate>";
      rows += dayText;
      rows += "</mbDate><inOutCode>";
      rows += xmlText(code);
      rows += "</inOutCode><assetId>";
      rows += xmlText(assetUid);
      rows += "</assetId><payType><![CDATA[";
      if (const auto& name = accountName(assetUid)) {
        rows += *name;
      } else if (transfer) {
        rows += missingAccount;
      } else {
        rows += cdata(st.isColumnNull(10) ? text(st, 11) : text(st, 10));
      }
      rows += "]]></payType><inOutType>";
      rows += kindName(code);
      rows += "</inOutType>";
      if (transfer) {
        rows += "<toAssetId>";
        rows += xmlText(text(st, 4));
        rows += "</toAssetId><mcid></mcid><mbCategory></mbCategory><mcscid></mcscid><subCategory></subCategory>";
      } else {
        const std::string categoryUid = text(st, 5);
        const CategoryCells& cells = categoryOf(categoryUid);
        rows += "<mcid>";
        if (cells.known) {
          rows += cells.mcid;
          rows += "</mcid><mbCategory><![CDATA[";
          rows += cells.mbCategory;
        } else {
          // Not a category of ours: what the row itself keeps, or the
          // pseudo-category's name.
          rows += xmlText(categoryUid);
          rows += "</mcid><mbCategory><![CDATA[";
          const std::string stored = text(st, 12);
          InOutCome probe;
          probe.categoryUid = categoryUid;
          rows += cdata(!stored.empty() ? stored : cache.getCategoryFullName(probe));
        }
        rows += "]]></mbCategory>";
        if (cells.hasSub) {
          rows += "<mcscid>";
          rows += cells.mcscid;
          rows += "</mcscid><subCategory><![CDATA[";
          rows += cells.subCategory;
          rows += "]]></subCategory>";
        } else {
          rows += "<mcscid></mcscid><subCategory></subCategory>";
        }
      }
      rows += "<mbContent><![CDATA[";
      rows += cdata(text(st, 6));
      if (const std::string installment = text(st, 7); !installment.empty()) {
        rows += ' ';
        rows += cdata(installment);
      }
      rows += "]]></mbContent><mbDetailContent><![CDATA[";
      rows += cdata(text(st, 8));
      rows += "]]></mbDetailContent><mbCash>";
      const double amount = st.isColumnNull(9) ? 0.0 : st.getColumn(9).getDouble();
      rows += sixDecimals(code == kindCode(TxKind::kTransferOut) ? -amount : amount);
      rows += "</mbCash></row>";
    }
  } catch (const StoreError&) {
    throw;
  } catch (const std::exception& e) {
    book.store().readFailed("getDataByPeriod", e);
  }
  return "<?xml version='1.0' encoding='UTF-8'?><dataset><results>" + std::to_string(count) + "</results>" + rows +
         "</dataset>";
}

// The summary of a period ------------------------------------------------------

std::string DesktopApi::getSummaryDataByPeriod(const Params& query) {
  Ledger& book = ledger();
  const MoneyForm amount = money();
  const auto [start, end] = periodOf(book, query);
  const DateUtil& dates = book.env().dates();
  PeriodTotals totals(book);
  StoreSnapshot snapshot(book.store());

  const IncomeExpense inOut = totals.getInOutSumMoneyByDate(start, end);
  std::vector<std::string> cards;
  for (const auto& a : book.commonData().assetList()) {
    const int64_t type = book.commonData().getAssetGroupTypeAsset(a);
    if (a.uid && (type == kCreditCardGroupType || type == kDebitCardGroupType)) cards.push_back(*a.uid);
  }
  const double expense = totals.getAmountSum("amount", {}, {}, {TxKind::kExpense}, start, end);
  const double card = cards.empty() ? 0.0 : totals.getAmountSum("amount", cards, {}, {TxKind::kExpense}, start, end);
  const auto transfers = totals.sumTransAmount("amount", {}, TxKind::kTransferOut, start, end);

  std::string out = "{summary:";
  // Written with %.2f forms (or whole numbers) as every amount here.
  out += fmt::format(
      "{{startDate:'{}',endDate:'{}',income:'{}',outcome:'{}',         cash:'{}',card:'{}',etcExpenseOpt:{}, "
      "etcExpense:'{}', sum:'{}'}},",
      dates.dayKey(start), dates.dayKey(end), amount(inOut.income), amount(inOut.expense), amount(expense - card),
      amount(card), transfers ? "true" : "false", amount(transfers ? transfers->sum : 0.0), amount(inOut.balance()));

  // The budgets in force for the month that holds the start.
  BudgetRepository budgets(book);
  const LocalDateTime first = dates.toLocal(start);
  const int64_t day = int64_t{first.year} * 10000 + first.month * 100 + first.day;
  const auto budgetOf = [&](int kind) {
    std::map<std::string, double> byTarget;
    for (const auto& item : budgets.listBudgetWithData(kind, day, budget_code::kMonthly)) {
      if (item.hasBudget() && !item.key.empty()) byTarget[item.key] = item.budgetMoney;
    }
    return byTarget;
  };
  const std::map<std::string, double> incomeBudgets = budgetOf(budget_code::kIncome);
  const std::map<std::string, double> expenseBudgets = budgetOf(budget_code::kExpense);

  CategoryCalculator calculator(book);
  const CategoryBreakdown breakdown = calculator.categoryCalculator3(calculator.statisticsTxList(start, end));
  const auto items = [&](const std::vector<BreakdownItem>& list, const std::map<std::string, double>& planned) {
    std::vector<std::string> entries;
    for (const auto& item : list) {
      const auto budget = planned.find(item.ID);
      entries.push_back(fmt::format("{{mcname:'{}',mcSum:'{}', budget:'{}'}}", jsText(item.NAME), amount(item.MONEY),
                                    amount(budget == planned.end() ? 0.0 : budget->second)));
    }
    return joinEntries(entries);
  };
  out += "income: [" + items(breakdown.dpInArray, incomeBudgets) + "],";
  out += "outcome: [" + items(breakdown.dpOutArray, expenseBudgets) + "]}";
  return out;
}

// Accounts and cards -------------------------------------------------------------

double DesktopApi::accountBalance(const std::string& uid) {
  const AccountOverview one = sumAssetAll(ledger(), uid);
  const auto found = one.find(uid);
  return found == one.end() ? 0.0 : found->second.Money;
}

std::string DesktopApi::getAssetData() {
  Ledger& book = ledger();
  const MoneyForm amount = money();
  const AccountOverview overview = sumAssetAll(book);
  CardRepository cardRepository(book);
  std::vector<std::string> groups;
  std::vector<std::string> children;
  double groupTotal = 0;
  const AccountOverviewEntry* groupOf = nullptr;
  const auto closeGroup = [&] {
    if (!groupOf) return;
    groups.push_back(fmt::format(
        "{{assetName:'{}',assetGroupId:'{}',assetType:'group',assetMoney:'{}',iconCls:'task-folder',expanded:true,"
        "children:[{}]}}",
        jsText(groupOf->assetGroup.AssetGroupName.value_or("")), jsText(groupOf->assetGroup.uid.value_or("")),
        amount(groupTotal), joinEntries(children)));
    children.clear();
    groupTotal = 0;
  };
  for (const auto* e : byGroupAndOrder(overview)) {
    if (!groupOf || groupOf->assetGroup.uid != e->assetGroup.uid) {
      closeGroup();
      groupOf = e;
    }
    const double balance = shownBalance(*e);
    groupTotal += inMainCurrency(book, balance, e->currency);
    std::string name = e->assetName;
    if (e->assetGroup.Status.value_or(0) == kCreditCardGroupType && e->datePastEnd && e->dateWillEnd) {
      // The month in which the card's next bill is paid.
      const auto pay = cardRepository.newPayDate(*e->datePastEnd, *e->dateWillEnd, cardDayPay(e->asset),
                                                 cardDayFin(e->asset));
      name = fmt::format("{} (Month {})", name, book.env().dates().toLocal(pay.paymentDate).month);
    }
    children.push_back(fmt::format(
        "{{assetType:'item',assetId:'{}',assetName:'{}',color:'{}',linkAssetId:'{}',assetMoney:'{}',leaf:true,"
        "iconCls:'task'}}",
        jsText(e->Key), jsText(name), colorOf(balance), jsText(e->asset.cardAssetUid.value_or("")), amount(balance)));
  }
  closeGroup();
  return "[" + joinEntries(groups) + "]";
}

std::string DesktopApi::getCardData() {
  Ledger& book = ledger();
  const MoneyForm amount = money();
  const CommonData& cache = book.commonData();
  const AccountOverview overview = sumAssetAll(book);
  std::string out = "[";
  std::vector<std::string> groups;
  std::vector<std::string> items;
  double groupMoney = 0, groupNotPaid = 0;
  const AccountOverviewEntry* groupOf = nullptr;
  const auto closeGroup = [&] {
    if (!groupOf) return;
    groups.push_back(fmt::format(
        "{{             assetGroupId:'{}',             assetType:'group',             assetName:'{}',             "
        "assetMoney:'{}',             notPayMoney:'{}',             iconCls:'task-folder',             "
        "expanded:true,             children:[{}]}}",
        jsText(groupOf->assetGroup.uid.value_or("")), jsText(groupOf->assetGroup.AssetGroupName.value_or("")),
        amount(groupMoney), amount(groupNotPaid), joinEntries(items)));
    items.clear();
    groupMoney = groupNotPaid = 0;
  };
  for (const auto* e : byGroupAndOrder(overview)) {
    if (e->assetGroup.Status.value_or(0) != kCreditCardGroupType) continue;
    if (!groupOf || groupOf->assetGroup.uid != e->assetGroup.uid) {
      closeGroup();
      groupOf = e;
    }
    const double balance = shownBalance(*e);
    // What the bills already closed still ask for.
    const double notPaid = -(e->displayPastPayAmount + e->LastMonthMoney);
    groupMoney += inMainCurrency(book, balance, e->currency);
    groupNotPaid += inMainCurrency(book, notPaid, e->currency);
    const std::string link = e->asset.cardAssetUid.value_or("");
    const auto payer = cache.assetByUid(link);
    items.push_back(fmt::format(
        "{{assetId:'{}',assetType:'item',assetName:'{}', color:'{}', linkAssetName:'{}', linkAssetId:'{}',"
        "assetMoney:'{}',notPayMoney:'{}',jungsanDay:'{}',paymentDay:'{}',leaf:'true',iconCls:'task'}}",
        jsText(e->Key), jsText(e->assetName), colorOf(balance), jsText(payer ? payer->NicName.value_or("") : ""),
        jsText(link), amount(balance), amount(notPaid), cardDayFin(e->asset), cardDayPay(e->asset)));
  }
  closeGroup();
  out += joinEntries(groups);
  out += "]";
  return out;
}

// Charts --------------------------------------------------------------------------

std::string DesktopApi::getEachAssetChartData(const Params& query) {
  Ledger& book = ledger();
  const MoneyForm amount = money();
  std::vector<std::string> entries;
  const auto uid = nonEmpty(query, "assetId");
  if (uid && book.commonData().assetByUid(*uid)) {
    PeriodTotals totals(book);
    for (const auto& month : totals.getInOutForChartByAsset(*uid, kChartMonths)) {
      entries.push_back(fmt::format("{{month:'{}', assetMoney:'{}'}}", book.env().dates().dayKey(month.end),
                                    amount(month.balance)));
    }
  }
  return "{assetChartData:[" + joinEntries(entries) + "]}";
}

std::string DesktopApi::getDashBoardData() {
  Ledger& book = ledger();
  const MoneyForm amount = money();
  const DateUtil& dates = book.env().dates();
  std::vector<std::string> line;
  for (const auto& month : monthEndBalances(book, kChartMonths)) {
    const LocalDateTime last = dates.toLocal(month.end);
    line.push_back(fmt::format("{{month:'{}-{:02d}',total:'{}',asset:'{}',debt:'{}'}}", last.year, last.month,
                               amount(month.total), sixDecimals(month.asset), sixDecimals(month.debt)));
  }
  // Today's shares: what each counted account holds or owes.
  std::vector<std::string> assets, debts;
  double asset = 0, debt = 0;
  const AccountOverview overview = sumAssetAll(book);
  for (const auto* e : byGroupAndOrder(overview)) {
    if (e->asset.isReflect.value_or(0) != 0) continue;
    const double balance = inMainCurrency(book, shownBalance(*e), e->currency);
    if (balance > 0) {
      asset += balance;
      assets.push_back(fmt::format("{{assetName:'{}', assetMoney:'{}'}}", jsText(e->assetName), amount(balance)));
    } else if (balance < 0) {
      debt -= balance;
      debts.push_back(fmt::format("{{assetName:'{}', assetMoney:'{}'}}", jsText(e->assetName), amount(-balance)));
    }
  }
  return fmt::format(
      "{{assetLine:[{}], assetRatio:[{}], debtRatio:[{}], assetSummary:{{'totalAsset':'{}', 'asset':'{}', 'debt':'{}'}}}}",
      joinEntries(line), joinEntries(assets), joinEntries(debts), sixDecimals(asset - debt), sixDecimals(asset),
      sixDecimals(debt));
}

}  // namespace varnel::web
