#include <cmath>
#include <map>

#include <gtest/gtest.h>

#include "bench/ledger_generator.h"
#include "model/base_repository.h"
#include "reports/account_overview.h"
#include "model/period.h"
#include "setup/initial_data.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

class AccountOverviewTest : public testing::LedgerTest {};

// Every balance of the overview against a recomputation from every row.
TEST_F(AccountOverviewTest, MatchesASlowRecomputationOnAGeneratedLedger) {
  ASSERT_TRUE(settingDefaultData(*ledger_, 0));
  bench::generateLedger(*ledger_, {.transactions = 6000, .years = 3, .seed = 11});
  const CommonData& cache = ledger_->commonData();

  BaseRepository repo(*ledger_);
  const std::vector<InOutCome> all = repo.fetch<InOutCome>("");
  auto net = [&](const std::string& account, std::optional<double> from, std::optional<double> to,
                 bool mainAmount) {
    double sum = 0;
    for (const auto& t : all) {
      if (!isLive(t) || t.assetUid != account) continue;
      if (from && *t.Date < *from) continue;
      if (to && *t.Date >= *to) continue;
      const double v = mainAmount ? t.amount.value_or(0) : t.amountAccount.value_or(0);
      const std::string k = t.Do_Type.value_or("");
      if (k == "0" || k == "4" || k == "7") sum += v;
      if (k == "1" || k == "3" || k == "8") sum -= v;
    }
    return sum;
  };
  const PeriodRules rules(ledger_->env().dates(), cache.app());
  const auto month = rules.getStartEndDate(ledger_->env().nowStoreSeconds(), 6, cache.app().appStartDay, true);
  const double monthStart = month->first, monthEnd = rules.addDays(month->second, 1);

  const AccountOverview overview = sumAssetAll(*ledger_);
  int ordinary = 0, debit = 0, cards = 0;
  for (const auto& a : cache.assetList()) {
    const int64_t type = cache.getAssetGroupTypeAsset(a);
    const int64_t del = a.isDel.value_or(0);
    auto it = overview.find(*a.uid);
    if (del == 1 || del == 2) {
      EXPECT_EQ(it, overview.end()) << *a.uid;
      continue;
    }
    ASSERT_NE(it, overview.end()) << *a.uid;
    const int point = static_cast<int>(it->second.currency->point.value_or(0));
    const double scale = std::pow(10.0, point);
    double expected = 0;
    if (type == 2) {
      ++cards;
      EXPECT_EQ(it->second.Money, 0) << "cards show their bills, not a balance";
      EXPECT_TRUE(it->second.dateWillEnd.has_value());
      continue;
    }
    if (type == 3) {
      ++debit;
      expected = net(*a.uid, monthStart, monthEnd, false);
    } else {
      ++ordinary;
      expected = net(*a.uid, std::nullopt, std::nullopt, false);
      for (const auto& card : cache.assetList()) {
        if (card.cardAssetUid == a.uid && cache.getAssetGroupTypeAsset(card) == 3) {
          expected += card.currencyUid == a.currencyUid ? net(*card.uid, std::nullopt, std::nullopt, false)
                                                        : net(*card.uid, std::nullopt, std::nullopt, true);
        }
      }
    }
    EXPECT_NEAR(it->second.Money, std::round(expected * scale) / scale, 0.5 / scale) << *a.uid;
    EXPECT_EQ(it->second.Key, *a.uid);
    EXPECT_EQ(it->second.assetName, a.NicName.value_or(""));
  }
  EXPECT_GE(ordinary, 20);
  EXPECT_GE(debit, 4);
  EXPECT_GE(cards, 8);

  // Asking for one account gives the same figure.
  const std::string bank = "GEN-1-0";
  EXPECT_EQ(sumAssetAll(*ledger_, bank).at(bank).Money, overview.at(bank).Money);
}

}  // namespace
}  // namespace varnel
