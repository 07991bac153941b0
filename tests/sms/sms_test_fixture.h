// A ledger for the message pipeline's tests: the default ledger of a Korean
// device (won, the default categories, accounts and message macros), with
// helpers to add accounts, macros and stored transactions.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "model/base_repository.h"
#include "model/ledger.h"
#include "setup/app_start.h"
#include "sms/message_macro_repository.h"
#include "support/test_ledger.h"

namespace varnel::testing {

class SmsTest : public LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    ledger_->store().db().exec("PRAGMA synchronous = OFF");
    ASSERT_TRUE(startLedger(*ledger_).isOk());
    ASSERT_TRUE(MessageMacroRepository(*ledger_).initMessageMacroSetting().isOk());
    ledger_->commonData().ReloadTheData();
  }

  // A built-in macro; returns its identifier.
  std::string addMacro(const std::string& uid, const std::string& name, const std::string& account = "") {
    MessageMacroRepository repo(*ledger_);
    MessageMacro2 m = repo.newObjectForEntity<MessageMacro2>(uid);
    m.macroAssetName = name;
    m.useYN = "Y";
    m.macroType = macro_type::kCard;
    if (!account.empty()) m.conAssetUid = account;
    EXPECT_TRUE(repo.save(m, "test"));
    return uid;
  }
  // Links the built-in macro named `name` to an account.
  void linkMacro(const std::string& name, const std::string& account) {
    MessageMacroRepository repo(*ledger_);
    auto m = repo.firstWithMacroAssetName(name);
    ASSERT_TRUE(m) << name;
    m->conAssetUid = account;
    ASSERT_TRUE(repo.save(*m, "test"));
  }
  void addGroup(const std::string& uid, const std::string& name, int64_t isDel = 0) {
    BaseRepository repo(*ledger_);
    AssetGroup g = repo.newObjectForEntity<AssetGroup>(uid);
    g.AssetGroupName = name;
    g.Status = 1;
    g.isDel = isDel;
    ASSERT_TRUE(repo.save(g, "test"));
    ledger_->commonData().ReloadTheData();
  }
  void addAccount(const std::string& uid, const std::string& name, const std::string& group = "1",
                  const std::string& smsString = "", int64_t isDel = 0) {
    BaseRepository repo(*ledger_);
    Asset a = repo.newObjectForEntity<Asset>(uid);
    a.NicName = name;
    a.groupUid = group;
    a.currencyUid = "KRW_KRW";
    a.smsString = smsString;
    a.isDel = isDel;
    a.Order = 50;
    ASSERT_TRUE(repo.save(a, "test"));
    ledger_->commonData().ReloadTheData();
  }
  int64_t transactionCount() {
    return ledger_->store().db().execAndGet("SELECT COUNT(*) FROM ZINOUTCOME").getInt64();
  }
};

}  // namespace varnel::testing
