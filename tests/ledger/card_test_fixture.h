// A small card ledger for the card tests: the won as main currency (no
// decimals), the dollar at 1300 (two decimals), a bank account, a credit card
// paid from it and the helpers that write transactions and tags directly.
#pragma once

#include <deque>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ledger/asset_repository.h"
#include "ledger/card.h"
#include "ledger/tag_repository.h"
#include "model/base_repository.h"
#include "support/test_ledger.h"

namespace varnel::testing {

class CardTest : public LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    BaseRepository repo(*ledger_);
    Currency krw = repo.newObjectForEntity<Currency>("KRW_KRW");
    krw.iso = krw.mainIso = "KRW";
    krw.rate = 1;
    krw.point = 0;
    krw.isMainCurrency = 1;
    krw.isShow = 1;
    Currency usd = repo.newObjectForEntity<Currency>("KRW_USD");
    usd.iso = "USD";
    usd.mainIso = "KRW";
    usd.rate = 1300;
    usd.point = 2;
    usd.isMainCurrency = 0;
    usd.isShow = 1;
    ASSERT_TRUE(repo.save(krw, "updateCurrency") && repo.save(usd, "updateCurrency"));
    for (const auto& [uid, type] : std::vector<std::pair<std::string, int>>{{"G1", 1}, {"G2", 2}, {"G3", 3}}) {
      AssetGroup g = repo.newObjectForEntity<AssetGroup>(uid);
      g.Status = type;
      g.AssetGroupName = uid;
      g.isDel = 0;
      ASSERT_TRUE(repo.save(g, "updateAssetGroup"));
    }
    addAccount("BANK", "G1");
    Asset& card = addAccount("CARD", "G2");
    card.Card_DayFin = "1";
    card.Card_DayPay = "5";
    card.cardAssetUid = "BANK";
    card.isCardAutoPay = 1;
    card.utime = 1700000000000;
    saveAccounts();
  }

  // A live account in the won; saved by saveAccounts().
  Asset& addAccount(const std::string& uid, const std::string& group, const std::string& currency = "KRW_KRW") {
    Asset a = BaseRepository(*ledger_).newObjectForEntity<Asset>(uid);
    a.NicName = uid;
    a.groupUid = group;
    a.currencyUid = currency;
    a.isDel = 0;
    accounts_.push_back(a);
    return accounts_.back();
  }
  Asset& account(const std::string& uid) {
    for (auto& a : accounts_) {
      if (a.uid == uid) return a;
    }
    throw std::logic_error("no test account " + uid);
  }
  void saveAccounts() {
    BaseRepository repo(*ledger_);
    for (auto& a : accounts_) ASSERT_TRUE(repo.save(a, "updateAsset"));
    ledger_->commonData().ReloadTheData();
  }

  double at(int y, int m, int d, int h = 12) { return ledger_->env().dates().fromLocal(y, m, d, h); }
  std::string day(double date) { return ledger_->env().dates().dayKey(date); }
  void setToday(int y, int m, int d, int h = 9) {
    ledger_->env().setNow(storeSecondsToMs(at(y, m, d, h)));
  }

  // A transaction whose three amounts are `amount`.
  InOutCome add(const std::string& kind, const std::string& asset, double amount, double date,
                std::optional<int> isDel = std::nullopt) {
    BaseRepository repo(*ledger_);
    InOutCome t = repo.newObjectForEntity<InOutCome>();
    t.Do_Type = kind;
    t.assetUid = asset;
    t.amount = t.amountSub = t.amountAccount = amount;
    t.currencyUid = "KRW_KRW";
    t.Date = date;
    t.txDateStr = day(date);
    if (isDel) t.isDel = *isDel;
    EXPECT_TRUE(repo.save(t, "updateInOutCome"));
    return t;
  }
  // Links the system tag to a transaction; `deleted` leaves a dead link.
  void tag(const InOutCome& tx, const std::string& tagUid, bool deleted = false) {
    BaseRepository repo(*ledger_);
    TxTag link = repo.newObjectForEntity<TxTag>();
    link.txUid = tx.uid;
    link.tagUid = tagUid;
    link.objName = "tx";
    link.isDel = deleted ? 1 : 0;
    ASSERT_TRUE(repo.save(link, "addTxTag"));
  }
  int64_t count(const std::string& sql) {
    auto st = ledger_->store().prepare(sql);
    st.executeStep();
    return st.getColumn(0).getInt64();
  }

  std::deque<Asset> accounts_;  // references stay valid as accounts are added
};

}  // namespace varnel::testing
