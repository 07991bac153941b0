// What "live" means for transactions, accounts and account groups, decided
// once in C++ and once in SQL: for every deletion code a store can hold, both
// must pick the same rows, and the lists and balances built on them must
// follow.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ledger/asset_repository.h"
#include "ledger/in_out_come_repository.h"
#include "model/base_repository.h"
#include "model/liveness.h"
#include "model/tx_kind.h"
#include "reports/account_overview.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

class LivenessTest : public testing::LedgerTest {
 protected:
  // Rows of `table` with this identifier that `condition` keeps.
  int64_t selected(const std::string& table, const std::string& condition, const std::string& uid) {
    auto st = ledger_->store().prepare("SELECT COUNT(*) FROM " + table + " WHERE ZUID = ? AND " + condition);
    st.bind(1, uid);
    EXPECT_TRUE(st.executeStep());
    return st.getColumn(0).getInt64();
  }
  void addGroup(const std::string& uid, Int isDel) {
    BaseRepository repo(*ledger_);
    AssetGroup g = repo.newObjectForEntity<AssetGroup>(uid);
    g.AssetGroupName = uid;
    g.Status = 1;  // bank: balances are all-time sums
    g.isDel = isDel;
    ASSERT_TRUE(repo.save(g, "updateAssetGroup"));
  }
  void addAccount(const std::string& uid, const std::string& group, Int isDel) {
    BaseRepository repo(*ledger_);
    Asset a = repo.newObjectForEntity<Asset>(uid);
    a.NicName = uid;
    a.groupUid = group;
    a.isDel = isDel;
    ASSERT_TRUE(repo.save(a, "updateAsset"));
  }
  void addIncome(const std::string& uid, const std::string& account, double amount, Int isDel) {
    BaseRepository repo(*ledger_);
    InOutCome t = repo.newObjectForEntity<InOutCome>(uid);
    setKind(t, TxKind::kIncome);
    t.assetUid = account;
    t.Date = 818208000;
    t.amount = t.amountSub = t.amountAccount = amount;
    t.isDel = isDel;
    ASSERT_TRUE(repo.save(t, "updateInOutCome"));
  }
};

TEST_F(LivenessTest, CppAndSqlAgreeForEveryDeletionCode) {
  struct Case {
    Int isDel;
    bool transactionLive;  // counted in its account's balance
    bool accountLive;      // listed, and its balance shown and counted
    bool accountHidden;    // live, but out of the lists of accounts to book on
    bool groupListed;      // in the group list, with its accounts
  };
  const Case cases[] = {
      {std::nullopt, true, true, false, true},
      {0, true, true, false, true},
      {1, false, false, false, false},
      {2, true, false, false, false},
      {3, true, true, true, true},
      {4, true, true, false, false},
  };

  addGroup("LIVE", 0);
  for (const Case& c : cases) {
    const std::string code = c.isDel ? std::to_string(*c.isDel) : "null";
    // A transaction of the code on a live account; an account of the code
    // with a live income; a group of the code holding a live account.
    addAccount("HOLDER_" + code, "LIVE", 0);
    addIncome("T_" + code, "HOLDER_" + code, 10, c.isDel);
    addAccount("A_" + code, "LIVE", c.isDel);
    addIncome("A_INCOME_" + code, "A_" + code, 100, 0);
    addGroup("G_" + code, c.isDel);
    addAccount("IN_G_" + code, "G_" + code, 0);
    addIncome("IN_G_INCOME_" + code, "IN_G_" + code, 1, 0);
  }
  ledger_->commonData().ReloadTheData();

  BaseRepository repo(*ledger_);
  InOutComeRepository transactions(*ledger_);
  AssetRepository accounts(*ledger_);
  const std::vector<Asset> accountList = accounts.getAssetList(false);
  const std::vector<AssetGroup> groupList = accounts.assetGroupList(false);
  const std::vector<Asset> usable = ledger_->commonData().getUseAssetList();
  const AccountOverview overview = sumAssetAll(*ledger_);
  auto listed = [](const auto& list, const std::string& uid) {
    return std::any_of(list.begin(), list.end(), [&uid](const auto& r) { return r.uid == uid; });
  };

  for (const Case& c : cases) {
    const std::string code = c.isDel ? std::to_string(*c.isDel) : "null";
    SCOPED_TRACE("isDel " + code);

    const InOutCome t = *repo.dataByUid<InOutCome>("T_" + code);
    EXPECT_EQ(isLive(t), c.transactionLive);
    EXPECT_EQ(selected("ZINOUTCOME", live::recordSql(), "T_" + code), isLive(t) ? 1 : 0);
    EXPECT_EQ(listed(transactions.inOutComeByAssetUid("HOLDER_" + code), "T_" + code), c.transactionLive);
    EXPECT_DOUBLE_EQ(overview.at("HOLDER_" + code).Money, c.transactionLive ? 10 : 0);

    const Asset a = *repo.dataByUid<Asset>("A_" + code);
    EXPECT_EQ(live::isLiveAccount(a), c.accountLive);
    EXPECT_EQ(live::isHiddenAccount(a), c.accountHidden);
    EXPECT_EQ(selected("ZASSET", live::accountSql(), "A_" + code), live::isLiveAccount(a) ? 1 : 0);
    EXPECT_EQ(listed(accountList, "A_" + code), c.accountLive);
    EXPECT_EQ(listed(usable, "A_" + code), c.accountLive && !c.accountHidden);
    ASSERT_EQ(overview.count("A_" + code), c.accountLive ? 1u : 0u);
    if (c.accountLive) {
      EXPECT_DOUBLE_EQ(overview.at("A_" + code).Money, 100);
    }

    const AssetGroup g = *repo.dataByUid<AssetGroup>("G_" + code);
    EXPECT_EQ(live::isListedGroup(g), c.groupListed);
    EXPECT_EQ(selected("ZASSETGROUP", live::groupSql(), "G_" + code), live::isListedGroup(g) ? 1 : 0);
    EXPECT_EQ(listed(groupList, "G_" + code), c.groupListed);
    EXPECT_EQ(listed(usable, "IN_G_" + code), c.groupListed);
    EXPECT_EQ(overview.count("IN_G_" + code), c.groupListed ? 1u : 0u);
  }
}

}  // namespace
}  // namespace varnel
