#include "reports/category_statistics.h"

#include <algorithm>
#include <functional>
#include <set>
#include <unordered_map>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "ledger/category_repository.h"
#include "ledger/money.h"
#include "model/liveness.h"
#include "model/tx_kind.h"
#include "reports/classifier.h"
#include "reports/common_filter.h"
#include "reports/period_totals.h"

namespace varnel {

namespace {

constexpr int kSubCategoryStatus = 2;
bool contains(const std::set<std::string>& set, const Text& uid) {
  return uid && set.count(*uid) > 0;
}

void sortByMoney(std::vector<BreakdownItem>& items) {
  std::stable_sort(items.begin(), items.end(),
                   [](const BreakdownItem& a, const BreakdownItem& b) { return a.MONEY > b.MONEY; });
}

}  // namespace

CategoryCalculator::CategoryCalculator(Ledger& ledger)
    : ledger_(ledger), rules_(ledger.env().dates(), ledger.commonData().app()) {}

void CategoryCalculator::addDateRange(SqlFilter& filter, std::optional<double> start,
                                      std::optional<double> end) const {
  filter.where(live::recordSql("t"));
  if (start) filter.where("t.ZDATE >= ?", {*start});
  if (end) filter.where("t.ZDATE < ?", {rules_.addDays(*end, 1)});
}

std::optional<Category> CategoryCalculator::mainCategoryOf(const std::string& uid) const {
  const CommonData& cache = ledger_.commonData();
  auto category = cache.categoryByUid(uid);
  if (!category) return std::nullopt;
  if (category->Status.value_or(0) != kSubCategoryStatus) return category;
  auto parent = cache.categoryByUid(category->pUid.value_or(""));
  // A parent that is itself a sub-category would make a third level; such a
  // row has no main category to count toward.
  if (!parent || parent->Status.value_or(0) == kSubCategoryStatus) return std::nullopt;
  return parent;
}

std::string CategoryCalculator::moneyText(double money) const {
  const auto& main = ledger_.commonData().mainCurrency();
  if (!main) return fmt::format("{:.2f}", money);
  return showMoneyByCurrecy(money, *main, kMoneyNormal, ledger_.env().locale());
}

CategoryBreakdown CategoryCalculator::categoryCalculator3(const std::vector<InOutCome>& txs) const {
  const CommonData& cache = ledger_.commonData();
  CategoryBreakdown result;

  // Step 1 and 3 in one pass: income and expense sums per main category.
  struct Sums {
    double income = 0;
    double expense = 0;
  };
  std::unordered_map<std::string, Sums> byMain;
  std::unordered_map<std::string, std::optional<Category>> mainOf;  // category uid → main
  // Transfer-expense accounts of the shown groups → the group's position.
  std::unordered_map<std::string, size_t> groupOfAccount;
  std::vector<AssetGroup> groups;
  for (const AssetGroup& g : cache.assetGroupList()) {
    if (!g.uid || g.uid->empty() || !live::isListedGroup(g)) continue;
    bool any = false;
    for (const Asset& a : cache.getAssetListByGroupId(*g.uid, true)) {
      if (a.uid && a.transferExpense.value_or(0) != 0) {
        groupOfAccount.emplace(*a.uid, groups.size());
        any = true;
      }
    }
    if (any) groups.push_back(g);
  }
  std::vector<double> net(groups.size(), 0.0);

  for (const InOutCome& tx : txs) {
    if (!isLive(tx)) continue;
    // A row without a known kind is never taken for income.
    const auto kind = kindOf(tx);
    if (!kind) continue;
    const double amount = tx.amount.value_or(0);
    if (kind == TxKind::kIncome || kind == TxKind::kExpense) {
      const std::string uid = tx.categoryUid.value_or("");
      auto found = mainOf.find(uid);
      if (found == mainOf.end()) found = mainOf.emplace(uid, mainCategoryOf(uid)).first;
      if (!found->second) continue;  // no such category: left out
      Sums& sums = byMain[*found->second->uid];
      (kind == TxKind::kIncome ? sums.income : sums.expense) += amount;
    } else if (isTransferSide(tx)) {
      auto group = tx.assetUid ? groupOfAccount.find(*tx.assetUid) : groupOfAccount.end();
      if (group == groupOfAccount.end()) continue;
      // Both sides of a transfer carry the same main-currency amount, so the
      // nets add up with the category sums whatever the account's currency.
      net[group->second] += kind == TxKind::kTransferIn ? amount : -amount;
    }
  }

  // Items in category order, so that equal sums keep a stable order.
  for (const Category& c : cache.categoryList()) {
    if (!c.uid) continue;
    auto sums = byMain.find(*c.uid);
    if (sums == byMain.end()) continue;
    BreakdownItem item{*c.uid, 0, "cate", "0", c.Name.value_or(""), c};
    if (categoryKind(c) == TxKind::kIncome) {
      item.MONEY = sums->second.income;
      result.cateInNum += item.MONEY;
      result.dpInArray.push_back(std::move(item));
    } else {
      item.MONEY = sums->second.expense;
      result.cateOutNum += item.MONEY;
      result.dpOutArray.push_back(std::move(item));
    }
  }

  // A net that only differs from zero by binary rounding is zero: money
  // moved in and back out again gives no item.
  const int point = static_cast<int>(
      cache.mainCurrency() ? cache.mainCurrency()->point.value_or(2) : 2);
  for (size_t i = 0; i < groups.size(); ++i) {
    const double n = getAmountByMaximumFractionDigits(net[i], std::max(point, 2));
    if (n == 0) continue;
    BreakdownItem item{*groups[i].uid, n, "acc", "3", groups[i].AssetGroupName.value_or(""),
                       std::nullopt};
    if (n > 0) {
      result.cateOutNum += n;
      result.dpOutArray.push_back(std::move(item));
    } else {
      result.cateInNum -= n;
      result.dpInArray.push_back(std::move(item));
    }
  }
  sortByMoney(result.dpInArray);
  sortByMoney(result.dpOutArray);
  return result;
}

std::vector<InOutCome> CategoryCalculator::statisticsTxList(std::optional<double> start,
                                                            std::optional<double> end,
                                                            const std::vector<std::string>& accounts) {
  SqlFilter filter;
  filter.where("t.ZDO_TYPE IN " +
               kindListSql({TxKind::kIncome, TxKind::kExpense, TxKind::kTransferOut, TxKind::kTransferIn}));
  if (!accounts.empty()) {
    std::vector<SqlFilter::Value> twice(accounts.begin(), accounts.end());
    twice.insert(twice.end(), accounts.begin(), accounts.end());
    filter.where(SqlFilter::inList("t.ZASSETUID", accounts.size()) + " OR " +
                     SqlFilter::inList("t.ZTOASSETUID", accounts.size()),
                 twice);
  }
  addDateRange(filter, start, end);
  const std::string sql =
      "SELECT t.ZUID, t.ZDO_TYPE, t.ZASSETUID, t.ZTOASSETUID, t.ZCATEGORYUID, t.ZAMOUNT "
      "FROM ZINOUTCOME t" +
      filter.clause() + " ORDER BY t.ZDATE, t.Z_PK";
  std::vector<InOutCome> out;
  auto text = [](const SQLite::Column& c) -> Text {
    if (c.isNull()) return std::nullopt;
    return c.getString();
  };
  try {
    auto st = ledger_.store().prepare(sql);
    filter.bind(st);
    while (st.executeStep()) {
      InOutCome tx;
      tx.uid = text(st.getColumn(0));
      tx.Do_Type = text(st.getColumn(1));
      tx.assetUid = text(st.getColumn(2));
      tx.toAssetUid = text(st.getColumn(3));
      tx.categoryUid = text(st.getColumn(4));
      if (!st.getColumn(5).isNull()) tx.amount = st.getColumn(5).getDouble();
      out.push_back(std::move(tx));
    }
  } catch (const SQLite::Exception& e) {
    ledger_.store().readFailed(sql, e);
  }
  return out;
}

std::vector<CategoryGroupSum> CategoryCalculator::sumTxGroupByCategory(
    const std::vector<std::string>& accounts, const std::vector<TxKind>& kinds,
    std::optional<double> start, std::optional<double> end) {
  SqlFilter filter;
  if (!kinds.empty()) filter.whereIn("t.ZDO_TYPE", kindCodes(kinds));
  if (!accounts.empty()) filter.whereIn("t.ZASSETUID", accounts);
  addDateRange(filter, start, end);
  const std::string sql =
      "SELECT COALESCE(t.ZCATEGORYUID, ''), TOTAL(t.ZAMOUNT), COUNT(*) FROM ZINOUTCOME t" +
      filter.clause() + " GROUP BY COALESCE(t.ZCATEGORYUID, '') ORDER BY 1";
  std::vector<CategoryGroupSum> out;
  try {
    auto st = ledger_.store().prepare(sql);
    filter.bind(st);
    while (st.executeStep()) {
      out.push_back({st.getColumn(0).getString(), st.getColumn(1).getDouble(),
                     st.getColumn(2).getInt64()});
    }
  } catch (const SQLite::Exception& e) {
    ledger_.store().readFailed(sql, e);
  }
  return out;
}

InOutMoney CategoryCalculator::getTotalMoneyByCategoryAsset(
    const std::vector<InOutCome>& txs, const std::vector<std::string>& categories,
    const std::vector<std::string>& filters, const std::vector<std::string>& accounts) const {
  const CommonData& cache = ledger_.commonData();
  const bool cashBook = cache.app().cardCashbookStr == "1";
  const std::set<std::string> categorySet(categories.begin(), categories.end());
  const std::set<std::string> accountSet(accounts.begin(), accounts.end());
  const TransferMarkers markers = TransferMarkers::split(filters);
  const std::set<std::string> outTrans(markers.outTrans.begin(), markers.outTrans.end());
  const std::set<std::string> inTrans(markers.inTrans.begin(), markers.inTrans.end());
  const std::set<std::string> outCard(markers.outCard.begin(), markers.outCard.end());
  std::set<std::string> cards, flaggedShown;
  for (const Asset& a : cache.getArrayCardAsset(true)) {
    if (a.uid) cards.insert(*a.uid);
  }
  for (const Asset& a : cache.assetList()) {
    if (a.uid && a.transferExpense.value_or(0) == 1 && live::isLiveAccount(a) && !live::isHiddenAccount(a)) {
      flaggedShown.insert(*a.uid);
    }
  }
  const bool byCategory = !categorySet.empty();
  const bool byTransfer = !outTrans.empty() || !inTrans.empty() || !outCard.empty();

  const std::function<AccountTraits(const std::string&)> traits =
      [&cache](const std::string& uid) { return accountTraits(cache, uid); };

  InOutMoney money;
  for (const InOutCome& tx : txs) {
    if (!isLive(tx)) continue;
    const auto kind = kindOf(tx);
    if (kind != TxKind::kIncome && kind != TxKind::kExpense && kind != TxKind::kTransferOut) continue;
    const bool transfer = kind == TxKind::kTransferOut;
    if (byCategory || byTransfer) {
      const bool categoryMatch = byCategory && !transfer && contains(categorySet, tx.categoryUid);
      bool transferMatch = false;
      if (transfer) {
        if (cashBook) {
          transferMatch = (contains(outTrans, tx.toAssetUid) && !contains(cards, tx.assetUid)) ||
                          (contains(inTrans, tx.assetUid) && !contains(cards, tx.toAssetUid)) ||
                          (contains(outCard, tx.toAssetUid) && !contains(flaggedShown, tx.assetUid));
        } else {
          transferMatch = contains(outTrans, tx.toAssetUid) || contains(inTrans, tx.assetUid) ||
                          contains(outCard, tx.assetUid);
        }
      }
      if (!categoryMatch && !transferMatch) continue;
    }
    if (!accountSet.empty()) {
      const bool own = contains(accountSet, tx.assetUid);
      if (!(own || (transfer && contains(accountSet, tx.toAssetUid)))) continue;
    }
    const ClassifiedRow row{tx.uid.value_or(""), static_cast<int>(*kind), tx.assetUid.value_or(""),
                            tx.toAssetUid.value_or("")};
    const int c = displayDoTypeByInOutCome(row, 1, cashBook, traits);
    if (c == tx_class::kIncome) money.inmoney += tx.amount.value_or(0);
    if (c == tx_class::kExpense) money.outmoney += tx.amount.value_or(0);
  }
  return money;
}

std::vector<SumCategoryAsset> CategoryCalculator::sumCategoryTransferByDoTypeStartEndDate(
    TxKind kind, std::optional<double> start, std::optional<double> end) {
  const CommonData& cache = ledger_.commonData();
  std::vector<SumCategoryAsset> out;

  // One aggregate over the period gives every category with rows of the kind;
  // a main category's sum is its own rows and those of its sub-categories.
  std::unordered_map<std::string, double> byMain;
  for (const CategoryGroupSum& row : sumTxGroupByCategory({}, {kind}, start, end)) {
    auto main = mainCategoryOf(row.categoryUid);
    if (main) byMain[*main->uid] += row.sum;
  }
  for (const Category& c : cache.categoryList()) {
    if (!c.uid) continue;
    auto sum = byMain.find(*c.uid);
    if (sum == byMain.end()) continue;
    SumCategoryAsset item;
    item.type = SumCategoryAsset::kCategory;
    item.uid = *c.uid;
    item.name = c.Name.value_or("");
    item.money = sum->second;
    item.moneyStr = moneyText(item.money);
    item.TRANSFER = 0;
    item.OBJECT = c;
    out.push_back(std::move(item));
  }

  if (kind != TxKind::kIncome && kind != TxKind::kExpense) return out;
  PeriodTotals totals(ledger_);
  for (const AssetGroup& g : cache.assetGroupList()) {
    if (!g.uid || g.uid->empty() || !live::isListedGroup(g)) continue;
    std::vector<std::string> flagged;
    for (const Asset& a : cache.getAssetListByGroupId(*g.uid, true)) {
      if (a.uid && a.transferExpense.value_or(0) != 0) flagged.push_back(*a.uid);
    }
    if (flagged.empty()) continue;
    // Budgets of income count money moved out of the flagged accounts, of
    // expense money moved into them.
    const TxKind side = kind == TxKind::kExpense ? TxKind::kTransferOut : TxKind::kTransferIn;
    const auto sum = totals.sumTransAmount("amount", flagged, side, start, end, "", 2);
    SumCategoryAsset item;
    item.type = SumCategoryAsset::kAccountGroup;
    item.uid = *g.uid;
    item.name = g.AssetGroupName.value_or("");
    item.money = sum ? sum->sum : 0;
    item.moneyStr = moneyText(item.money);
    item.TRANSFER = 3;
    item.OBJECT = g;
    out.push_back(std::move(item));
  }
  return out;
}

}  // namespace varnel
