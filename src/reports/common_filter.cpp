#include "reports/common_filter.h"

#include <algorithm>
#include <functional>
#include <set>

#include <spdlog/spdlog.h>

#include "ledger/category_repository.h"
#include "ledger/record_lookup.h"
#include "model/errors.h"
#include "model/record_io.h"
#include "model/text_fold.h"
#include "reports/period_totals.h"

namespace varnel {

namespace {

using UidSet = std::set<std::string>;

bool contains(const UidSet& set, const Text& uid) { return uid && set.count(*uid) > 0; }

// A selection rule over one kind of row, in the form both filters share.
template <class Row>
using Rule = std::function<bool(const Row&)>;

// Keeps the rows passing any rule; no rule keeps every row.
template <class Row>
std::vector<Row> narrow(const std::vector<Row>& rows, const std::vector<Rule<Row>>& rules) {
  if (rules.empty()) return rows;
  std::vector<Row> out;
  for (const Row& row : rows) {
    if (std::any_of(rules.begin(), rules.end(), [&](const Rule<Row>& r) { return r(row); })) {
      out.push_back(row);
    }
  }
  return out;
}

// The filter's lists as sets. Money moved into an account is its
// transfer-out row's `toAssetUid`; money moved out of one is the row's own
// account.
struct Selection {
  UidSet expense, income, into, outOf;
};

Selection selection(const std::vector<std::string>& incomeCategories,
                    const std::vector<std::string>& expenseCategories,
                    const std::vector<std::string>& transferItems) {
  const TransferMarkers markers = TransferMarkers::split(transferItems);
  Selection sel{{expenseCategories.begin(), expenseCategories.end()},
                {incomeCategories.begin(), incomeCategories.end()},
                {markers.outTrans.begin(), markers.outTrans.end()},
                {markers.inTrans.begin(), markers.inTrans.end()}};
  sel.into.insert(markers.outCard.begin(), markers.outCard.end());
  return sel;
}

}  // namespace

std::string resolveTransferItem(const CommonData& cache, const std::string& text) {
  using namespace transfer_marker;
  for (const char* marker : {kOutcomeTrans, kIncomeTrans, kOutcomeCard, kIncomeCard}) {
    const std::string m(marker);
    if (text.rfind(m, 0) != 0) continue;
    return m + resolveAccount(cache, text.substr(m.size())).uid.value_or("");
  }
  throw InputError("a transfer filter is #OUTCOMETRANS, #INCOMETRANS, #OUTCOMECARD or #INCOMECARD "
                   "followed by an account: '" + text + "'");
}

std::vector<std::string> categoryFilterUids(const CommonData& cache, const std::string& text) {
  using namespace category_code;
  if (text == kUncategorised) return {text};
  if (text == kBalanceAdjustment) {
    throw InputError("'-4' holds balance adjustments, which are neither income nor expense");
  }
  std::optional<Category> chosen = cache.categoryByUid(text);
  if (!chosen) chosen = resolveCategory(cache, text);
  const std::string uid = chosen->uid.value_or("");
  std::vector<std::string> uids = {uid};
  if (chosen->Status.value_or(kMainStatus) != kSubStatus) {
    // Widened as when sub-categories are switched off, whatever the setting:
    // a main category named here stands for its whole branch.
    for (std::string& sub : cache.getSubCategoryIdsByParentId(uid, false)) uids.push_back(std::move(sub));
  }
  return uids;
}

std::optional<KindGroup> kindGroupOf(TxKind kind) {
  switch (kind) {
    case TxKind::kIncome: return KindGroup::kIncome;
    case TxKind::kExpense: return KindGroup::kExpense;
    case TxKind::kTransferOut:
    case TxKind::kTransferIn: return KindGroup::kTransfer;
    case TxKind::kOldAdjustment:
    case TxKind::kAdjustmentUp:
    case TxKind::kAdjustmentDown: return KindGroup::kAdjustment;
    case TxKind::kTransfer: return std::nullopt;
  }
  return std::nullopt;
}

bool isOfKinds(const InOutCome& tx, const std::vector<KindGroup>& groups) {
  if (groups.empty()) return true;
  const std::optional<TxKind> kind = kindOf(tx);
  const std::optional<KindGroup> group = kind ? kindGroupOf(*kind) : std::nullopt;
  return group && std::find(groups.begin(), groups.end(), *group) != groups.end();
}

bool containsText(const InOutCome& tx, const std::string& text) {
  if (text.empty()) return true;
  return containsFolded(tx.Content.value_or(""), text) || containsFolded(tx.memo.value_or(""), text);
}

void CommonFilter::setFilter(std::vector<std::string> incomeCategories,
                             std::vector<std::string> expenseCategories,
                             std::vector<std::string> accounts,
                             std::vector<std::string> transferItems) {
  incomeCategories_ = std::move(incomeCategories);
  expenseCategories_ = std::move(expenseCategories);
  accounts_ = std::move(accounts);
  transferItems_ = std::move(transferItems);
}

bool CommonFilter::isFilter() const {
  return !incomeCategories_.empty() || !expenseCategories_.empty() || !accounts_.empty() ||
         !transferItems_.empty();
}

void CommonFilter::removeFilter() {
  incomeCategories_.clear();
  expenseCategories_.clear();
  accounts_.clear();
  transferItems_.clear();
}

std::vector<InOutCome> CommonFilter::getArrayInOutFilter(const std::vector<InOutCome>& txs) const {
  const Selection sel = selection(incomeCategories_, expenseCategories_, transferItems_);
  const UidSet &expense = sel.expense, &income = sel.income, &into = sel.into, &outOf = sel.outOf;

  std::vector<Rule<InOutCome>> kindRules;
  if (!expense.empty()) {
    kindRules.push_back([&](const InOutCome& t) {
      return contains(expense, t.categoryUid) && isKind(t, TxKind::kExpense);
    });
  }
  if (!income.empty()) {
    kindRules.push_back([&](const InOutCome& t) {
      return contains(income, t.categoryUid) && isKind(t, TxKind::kIncome);
    });
  }
  if (!into.empty()) {
    kindRules.push_back([&](const InOutCome& t) {
      return contains(into, t.toAssetUid) && isKind(t, TxKind::kTransferOut);
    });
  }
  if (!outOf.empty()) {
    kindRules.push_back([&](const InOutCome& t) {
      return contains(outOf, t.assetUid) && isKind(t, TxKind::kTransferOut);
    });
  }

  std::vector<Rule<InOutCome>> accountRules;
  const UidSet accounts(accounts_.begin(), accounts_.end());
  if (!accounts.empty()) {
    accountRules.push_back([&](const InOutCome& t) {
      return contains(accounts, t.assetUid) || contains(accounts, t.toAssetUid);
    });
  }
  return narrow(narrow(txs, kindRules), accountRules);
}

std::vector<FilterInOut> CommonFilter::getArrayInOutFilterForCalendar(
    const std::vector<FilterInOut>& rows) const {
  const CommonData& cache = ledger_.commonData();
  const bool cashBook = cache.app().cardCashbookStr == "1";
  const Selection sel = selection(incomeCategories_, expenseCategories_, transferItems_);
  const UidSet &expense = sel.expense, &income = sel.income, &into = sel.into, &outOf = sel.outOf;

  std::vector<Rule<FilterInOut>> kindRules;
  if (!expense.empty()) {
    kindRules.push_back([&](const FilterInOut& r) {
      return contains(expense, r.inOutCome.categoryUid) && isKind(r.inOutCome, TxKind::kExpense) &&
             !(cashBook && r.isCardOutMoney);
    });
  }
  if (!income.empty()) {
    kindRules.push_back([&](const FilterInOut& r) {
      return contains(income, r.inOutCome.categoryUid) && isKind(r.inOutCome, TxKind::kIncome);
    });
  }
  if (!into.empty()) {
    kindRules.push_back([&](const FilterInOut& r) {
      return contains(into, r.inOutCome.toAssetUid) && isKind(r.inOutCome, TxKind::kTransferOut);
    });
  }
  if (!outOf.empty()) {
    kindRules.push_back([&](const FilterInOut& r) {
      return contains(outOf, r.inOutCome.assetUid) && isKind(r.inOutCome, TxKind::kTransferOut);
    });
  }

  std::vector<Rule<FilterInOut>> accountRules;
  for (const std::string& uid : accounts_) {
    auto asset = cache.assetByUid(uid);
    const bool cardDay =
        cashBook && asset && cache.getAssetGroupTypeAsset(*asset) == kCreditCardGroupType;
    accountRules.push_back([uid, cardDay](const FilterInOut& r) {
      const InOutCome& t = r.inOutCome;
      if (t.assetUid == uid) return true;
      return t.toAssetUid == uid && isKind(t, TxKind::kTransferOut) && (!cardDay || r.isCardDayPayment);
    });
  }
  return narrow(narrow(rows, kindRules), accountRules);
}

std::vector<InOutCome> CommonFilter::txListByFilter(std::optional<double> start,
                                                    std::optional<double> end,
                                                    const std::vector<std::string>& accounts,
                                                    const std::vector<std::string>& categories,
                                                    const std::vector<std::string>& transferItems) const {
  const SqlFilter filter =
      PeriodTotals(ledger_).inOutFilter(start, end, accounts, categories, transferItems);
  // The conditions name the table "t"; the record columns are unqualified.
  const std::string sql = record_io::selectSql<InOutCome>() + " t" + filter.clause() +
                          " ORDER BY t.ZDATE, t.Z_PK";
  std::vector<InOutCome> out;
  try {
    auto st = ledger_.store().prepare(sql);
    filter.bind(st);
    while (st.executeStep()) out.push_back(record_io::readRecord<InOutCome>(st));
  } catch (const SQLite::Exception& e) {
    ledger_.store().readFailed(sql, e);
  }
  return out;
}

}  // namespace varnel
