// A small ledger for the transaction tests: the won as main currency (no
// decimals), the dollar at 1300 (two decimals), the yen at 9 (no decimals)
// and a made-up "ZZZ" at 1300 without decimals; accounts in each of them;
// an income and an expense category with a sub-category; the system tags.
#pragma once

#include <string>
#include <vector>

#include "ledger/in_out_come_repository.h"
#include "ledger/tag_repository.h"
#include "ledger/transaction_save.h"
#include "model/base_repository.h"
#include "support/test_ledger.h"

namespace varnel::testing {

class TransactionTest : public LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    // Thousands of small commits: durability is not what these tests are about.
    ledger_->store().db().exec("PRAGMA synchronous = OFF");
    BaseRepository repo(*ledger_);
    addCurrency("KRW_KRW", "KRW", 1, 0, true);
    addCurrency("KRW_USD", "USD", 1300, 2, false);
    addCurrency("KRW_JPY", "JPY", 9, 0, false);
    addCurrency("KRW_ZZZ", "ZZZ", 1300, 0, false);
    AssetGroup g = repo.newObjectForEntity<AssetGroup>("1");
    g.Status = 1;
    g.AssetGroupName = "Bank";
    g.isDel = 0;
    ASSERT_TRUE(repo.save(g, "updateAssetGroup"));
    addAccount("WON", "Won", "KRW_KRW");
    addAccount("WON2", "Won two", "KRW_KRW");
    addAccount("DOLLAR", "Dollar", "KRW_USD");
    addAccount("YEN", "Yen", "KRW_JPY");
    addAccount("YEN2", "Yen two", "KRW_JPY");
    addAccount("ZZZ", "Zed", "KRW_ZZZ");
    addCategory("SALARY", "Salary", 0);
    addCategory("FOOD", "Food", 1);
    addCategory("LUNCH", "Lunch", 1, "FOOD");
    ASSERT_TRUE(TagRepository(*ledger_).initTag());
    ledger_->commonData().ReloadTheData();
  }

  void addCurrency(const std::string& uid, const std::string& iso, double rate, int point, bool main) {
    BaseRepository repo(*ledger_);
    Currency c = repo.newObjectForEntity<Currency>(uid);
    c.iso = iso;
    c.mainIso = "KRW";
    c.rate = rate;
    c.point = point;
    c.isMainCurrency = main ? 1 : 0;
    c.isShow = 1;
    c.isDel = 0;
    ASSERT_TRUE(repo.save(c, "updateCurrency"));
  }
  void setRate(const std::string& uid, double rate) {
    BaseRepository repo(*ledger_);
    auto c = repo.dataByUid<Currency>(uid);
    ASSERT_TRUE(c);
    c->rate = rate;
    ASSERT_TRUE(repo.save(*c, "updateCurrency"));
    ledger_->commonData().ReloadTheData();
  }
  void addAccount(const std::string& uid, const std::string& name, const std::string& currency) {
    BaseRepository repo(*ledger_);
    Asset a = repo.newObjectForEntity<Asset>(uid);
    a.NicName = name;
    a.groupUid = "1";
    a.currencyUid = currency;
    a.isDel = 0;
    ASSERT_TRUE(repo.save(a, "updateAsset"));
  }
  void addCategory(const std::string& uid, const std::string& name, int doType, const std::string& parent = "") {
    BaseRepository repo(*ledger_);
    Category c = repo.newObjectForEntity<Category>(uid);
    c.Name = name;
    c.doType = doType;
    c.Status = parent.empty() ? 0 : 2;
    c.pUid = parent;
    c.isDel = 0;
    c.Order = repo.nextAvailble<Category>("Order");
    ASSERT_TRUE(repo.save(c, "updateCategory"));
  }

  TransactionForm form(int mode, const std::string& account, double amount, const std::string& categoryOrTarget = "") {
    TransactionForm f;
    f.mode = mode;
    f.account = account;
    f.amount = amount;
    f.date = at(2026, 12, 1);
    if (mode == kModeTransfer) {
      f.targetAccount = categoryOrTarget;
    } else {
      f.category = categoryOrTarget.empty() ? (mode == kModeIncome ? "SALARY" : "FOOD") : categoryOrTarget;
    }
    return f;
  }

  TransactionSaveResult save(const TransactionForm& f) { return TransactionSave(*ledger_).saveTransaction(f); }
  // Saves and expects success.
  TransactionSaveResult saved(const TransactionForm& f) {
    auto r = save(f);
    EXPECT_TRUE(r.ok()) << (r.refusal ? *r.refusal : std::string("store refused")) << "\n" << logText();
    return r;
  }

  InOutCome load(const Text& uid) {
    auto r = InOutComeRepository(*ledger_).inOutComeByUid(uid.value_or(""));
    if (!r) throw std::logic_error("no record " + uid.value_or(""));
    return *r;
  }

  double at(int y, int m, int d, int h = 12) { return ledger_->env().dates().fromLocal(y, m, d, h); }

  int64_t count(const std::string& sql) {
    auto st = ledger_->store().prepare(sql);
    st.executeStep();
    const int64_t n = st.getColumn(0).getInt64();
    st.reset();
    return n;
  }
  int64_t liveCount() { return count("SELECT COUNT(*) FROM ZINOUTCOME WHERE ZISDEL IS NULL OR ZISDEL != 1"); }
};

}  // namespace varnel::testing
