#include "reports/account_overview.h"

#include <chrono>
#include <set>

#include <spdlog/spdlog.h>

#include "ledger/card.h"
#include "ledger/money.h"
#include "model/liveness.h"
#include "reports/period_totals.h"

namespace varnel {

namespace {

bool listedGroup(const AssetGroup& g) { return live::isListedGroup(g) && g.uid && !g.uid->empty(); }

}  // namespace

AccountOverview sumAssetAll(Ledger& ledger, const std::optional<std::string>& assetUid) {
  const auto started = std::chrono::steady_clock::now();
  // Accounts and card bills are summed by separate queries.
  StoreSnapshot snapshot(ledger.store());
  const CommonData& cache = ledger.commonData();
  PeriodTotals totals(ledger);

  std::optional<Asset> only;
  if (assetUid) {
    only = cache.assetByUid(*assetUid);
    if (!only) return {};
  }
  auto groupType = [&](const Asset& a) { return cache.getAssetGroupTypeAsset(a); };

  // Ordinary accounts: all-time sums; debit cards: the current month's.
  std::vector<std::string> ordinary, debit;
  if (only) {
    const int64_t type = groupType(*only);
    if (type == kDebitCardGroupType) {
      debit.push_back(*assetUid);
    } else if (type != kCreditCardGroupType) {
      ordinary.push_back(*assetUid);
    }
  } else {
    for (const auto& a : cache.assetList()) {
      if (!a.uid || a.uid->empty()) continue;
      const int64_t type = groupType(a);
      auto group = cache.assetGroupByUid(a.groupUid.value_or(""));
      if (type == kDebitCardGroupType) {
        debit.push_back(*a.uid);
      } else if (type != kCreditCardGroupType && group && listedGroup(*group) && live::isLiveAccount(a)) {
        ordinary.push_back(*a.uid);
      }
    }
  }
  std::map<std::string, InOutSum> allTime, thisMonth;
  if (!ordinary.empty()) {
    for (const auto& s : totals.normalAssetSumAmount(ordinary, std::nullopt, std::nullopt)) {
      allTime[s.assetUid] = {s.inAmount, s.outAmount};
    }
  }
  if (!debit.empty()) {
    const auto month = totals.rules().getStartEndDate(ledger.env().nowStoreSeconds(), 6,
                                                      cache.app().appStartDay, true);
    std::optional<double> start, end;
    if (month) {
      start = month->first;
      end = month->second;
    }
    for (const auto& s : totals.normalAssetSumAmount(debit, start, end)) {
      thisMonth[s.assetUid] = {s.inAmount, s.outAmount};
    }
  }

  // The accounts shown, by group; the credit cards' bills are summed
  // together, since a query per card costs a pass over its rows each.
  std::vector<std::pair<AssetGroup, std::vector<Asset>>> shown;
  std::vector<Asset> cards;
  for (const auto& group : cache.assetGroupList()) {
    if (!listedGroup(group)) continue;
    if (only && only->groupUid != group.uid) continue;
    auto& accounts = shown.emplace_back(group, std::vector<Asset>{}).second;
    for (auto& a : cache.getAssetListByGroupId(*group.uid, false)) {
      if (!a.uid || a.uid->empty()) continue;
      if (only && a.uid != only->uid) continue;
      if (group.Status.value_or(0) == kCreditCardGroupType) cards.push_back(a);
      accounts.push_back(std::move(a));
    }
  }
  std::map<std::string, CardSettlement> bills;
  if (!cards.empty()) {
    std::vector<CardSettlement> settlements = cardSettlements(ledger, cards);
    for (size_t i = 0; i < cards.size(); ++i) bills[*cards[i].uid] = std::move(settlements[i]);
  }

  AccountOverview overview;
  for (const auto& [group, accounts] : shown) {
    const int64_t type = group.Status.value_or(0);
    for (const auto& a : accounts) {
      AccountOverviewEntry e;
      e.currency = cache.currencyByUid(a.currencyUid.value_or(""));
      if (!e.currency) e.currency = cache.mainCurrency();
      const int point = e.currency ? static_cast<int>(e.currency->point.value_or(0)) : 0;
      if (type == kCreditCardGroupType) {
        const CardSettlement& f = bills.at(*a.uid);
        e.displayPastPayAmount = f.displayPastPayAmount;
        e.LastMonthMoney = f.LastMonthMoney;
        e.ThisMonthMoney = f.ThisMonthMoney;
        e.datePastEnd = f.datePastEnd;
        e.dateWillEnd = f.dateWillEnd;
        if (only) {
          const InOutSum s = totals.sumInOutAmount("amountAccount", true, {*a.uid}, std::nullopt,
                                                   std::nullopt);
          e.Money = s.inAmount - s.outAmount +
                    totals.sumCheckCardByDate(*a.uid, std::nullopt, std::nullopt);
        }
      } else if (type == kDebitCardGroupType) {
        const InOutSum s = thisMonth[*a.uid];
        e.Money = s.inAmount - s.outAmount;
      } else {
        const InOutSum s = allTime[*a.uid];
        e.Money = s.inAmount - s.outAmount +
                  totals.sumCheckCardByDate(*a.uid, std::nullopt, std::nullopt);
      }
      e.Money = getAmountByMaximumFractionDigits(e.Money, point);
      e.displayPastPayAmount = getAmountByMaximumFractionDigits(e.displayPastPayAmount, point);
      e.LastMonthMoney = getAmountByMaximumFractionDigits(e.LastMonthMoney, point);
      e.ThisMonthMoney = getAmountByMaximumFractionDigits(e.ThisMonthMoney, point);
      e.assetName = a.NicName.value_or("");
      e.Key = *a.uid;
      e.order = a.Order.value_or(0);
      e.groupOrder = group.Order.value_or(0);
      e.asset = a;
      e.assetGroup = group;
      overview[*a.uid] = std::move(e);
    }
  }
  ledger.log().info("sumAssertAll executionTime3 = {:f}",
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  return overview;
}

}  // namespace varnel
