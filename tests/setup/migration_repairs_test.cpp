#include <regex>

#include <gtest/gtest.h>

#include "ledger/currency_repository.h"
#include "model/base_repository.h"
#include "setup/migration_repairs.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

constexpr int64_t kOldStamp = 1000;

class MigrationRepairTest : public LedgerTest {
 protected:
  // A KRW ledger (no decimals) with USD at 1300.
  void SetUp() override {
    LedgerTest::SetUp();
    CurrencyRepository currencies(*ledger_);
    ASSERT_TRUE(currencies.addMainCurrency("KRW"));
    ASSERT_TRUE(currencies.addCurrencyRate("KRW", "USD", 1300, true));
  }

  std::string account(const std::string& uid, Text currencyUid) {
    BaseRepository base(*ledger_);
    Asset a = base.newObjectForEntity<Asset>(uid);
    a.NicName = uid;
    a.currencyUid = currencyUid;
    a.utime = kOldStamp;
    EXPECT_TRUE(base.save(a, "updateAsset"));
    return uid;
  }

  // Stores `t` as saved long ago and synchronised; its row key.
  int64_t add(InOutCome t) {
    if (!t.utime) t.utime = kOldStamp;
    if (!t.isSynced) t.isSynced = 2;
    EXPECT_TRUE(BaseRepository(*ledger_).save(t, "updateInOutCome"));
    return t.pk;
  }

  template <class T>
  T reread(const std::string& uid) {
    return *BaseRepository(*ledger_).dataByUid<T>(uid);
  }

  double at(int year, int month, int day, int hour = 12, int minute = 0, int second = 0) {
    return ledger_->env().dates().fromLocal(year, month, day, hour, minute, second);
  }

  // A transaction with the fields a repair reads.
  InOutCome tx(const std::string& uid, const char* kind, Text assetUid, Text toAssetUid = std::nullopt) {
    InOutCome t;
    t.uid = uid;
    t.Do_Type = kind;
    t.assetUid = assetUid;
    t.toAssetUid = toAssetUid;
    t.Date = at(2021, 3, 4);
    t.amountSub = t.amount = t.amountAccount = 100;
    return t;
  }

  int64_t changes() { return ledger_->store().db().getTotalChanges(); }
};

bool isCanonicalUid(const Text& uid) {
  static const std::regex kCanonical("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  return uid && std::regex_match(*uid, kCanonical);
}

struct AmountCase {
  const char* name;
  Text currency;         // of the transaction
  Text accountCurrency;  // of its account
  Real amountSub, amount, amountAccount;
  // Expected afterwards.
  const char* currencyAfter;
  Real amountAfter, amountAccountAfter;
  bool stamped;
};

TEST_F(MigrationRepairTest, FixAmountMainCurrencyEqualMakesAmountsOfOneCurrencyAgree) {
  const AmountCase cases[] = {
      {"main, amount drifted", "KRW_KRW", "KRW_KRW", 12, 11.99, 12, "KRW_KRW", 12, 12, true},
      {"main, consistent", "KRW_KRW", "KRW_KRW", 500, 500, 500, "KRW_KRW", 500, 500, false},
      {"foreign, converted", "KRW_USD", "KRW_KRW", 10, 13000, 13000, "KRW_USD", 13000, 13000, false},
      {"foreign account, drifted", "KRW_USD", "KRW_USD", 10, 13000, 9.99, "KRW_USD", 13000, 10, true},
      {"no currency", std::nullopt, "KRW_KRW", 7, 6, 7, "KRW_KRW", 7, 7, true},
      {"empty currency", "", "KRW_USD", 7, 7, 0.01, "KRW_KRW", 7, 0.01, true},
      {"account without currency", "KRW_KRW", std::nullopt, 30, 30, 29, "KRW_KRW", 30, 30, true},
      {"no entered amount", "KRW_KRW", "KRW_KRW", std::nullopt, 40, 40, "KRW_KRW", 40, 40, false},
      {"main amount missing", "KRW_KRW", "KRW_KRW", 50, std::nullopt, 50, "KRW_KRW", 50, 50, true},
  };
  int n = 0;
  for (const auto& c : cases) {
    InOutCome t;
    t.uid = "T" + std::to_string(++n);
    t.assetUid = account("A" + std::to_string(n), c.accountCurrency);
    t.Do_Type = "1";
    t.currencyUid = c.currency;
    t.amountSub = c.amountSub;
    t.amount = c.amount;
    t.amountAccount = c.amountAccount;
    add(t);
  }
  auto report = fixAmountMainCurrencyEqual(*ledger_);
  ASSERT_TRUE(report.isOk()) << report.status().message();
  EXPECT_EQ(report.value().currenciesSet, 2);
  EXPECT_EQ(report.value().amountsSet, 3);
  EXPECT_EQ(report.value().accountCurrenciesSet, 1);
  EXPECT_EQ(report.value().accountAmountsSet, 2);

  n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto t = reread<InOutCome>("T" + std::to_string(++n));
    EXPECT_EQ(t.currencyUid, c.currencyAfter);
    EXPECT_EQ(t.amount, c.amountAfter);
    EXPECT_EQ(t.amountAccount, c.amountAccountAfter);
    EXPECT_EQ(t.utime != kOldStamp, c.stamped);
    EXPECT_EQ(t.isSynced, c.stamped ? 1 : 2);
  }
  const auto repairedAccount = reread<Asset>("A7");
  EXPECT_EQ(repairedAccount.currencyUid, "KRW_KRW");
  EXPECT_EQ(repairedAccount.utime, ledger_->env().nowMs());
  EXPECT_EQ(ledger_->commonData().assetByUid("A7")->currencyUid, "KRW_KRW");  // the cache follows

  const int changes = ledger_->store().db().getTotalChanges();
  auto again = fixAmountMainCurrencyEqual(*ledger_);
  ASSERT_TRUE(again.isOk());
  EXPECT_EQ(again.value().changes(), 0);
  EXPECT_EQ(ledger_->store().db().getTotalChanges(), changes);
}

TEST_F(MigrationRepairTest, FixAmountMainCurrencyEqualRepairsDeletedRecordsAndNeedsAMainCurrency) {
  InOutCome deleted;
  deleted.uid = "GONE";
  deleted.currencyUid = "KRW_KRW";
  deleted.amountSub = 12;
  deleted.amount = 11.99;
  deleted.isDel = 1;
  add(deleted);
  ASSERT_TRUE(fixAmountMainCurrencyEqual(*ledger_).isOk());
  EXPECT_EQ(reread<InOutCome>("GONE").amount, 12);  // a backup and the other devices carry it

  // Without a main currency row there is nothing to repair towards.
  ledger_->store().db().exec("UPDATE ZCURRENCY SET ZISMAINCURRENCY = 0");
  InOutCome bare;
  bare.uid = "BARE";
  bare.amountSub = 3;
  add(bare);
  auto report = fixAmountMainCurrencyEqual(*ledger_);
  ASSERT_TRUE(report.isOk());
  EXPECT_EQ(report.value().changes(), 0);
  EXPECT_FALSE(reread<InOutCome>("BARE").currencyUid);
}

TEST_F(MigrationRepairTest, InOutComeUidFixGivesEveryMissingIdentifierADifferentCanonicalOne) {
  ledger_->store().db().exec(
      "INSERT INTO ZINOUTCOME (ZUID, ZUTIME) VALUES ('0', 1), (NULL, 1), (NULL, 1), ('', 1), ('KEEP', 1)");
  auto fixed = inOutComeUidFix(*ledger_);
  ASSERT_TRUE(fixed.isOk());
  EXPECT_EQ(fixed.value(), 4);
  SQLite::Statement st(ledger_->store().db(), "SELECT ZUID, ZUTIME FROM ZINOUTCOME ORDER BY Z_PK");
  std::set<std::string> seen;
  while (st.executeStep()) {
    const std::string uid = st.getColumn(0).getString();
    if (uid == "KEEP") {
      EXPECT_EQ(st.getColumn(1).getInt64(), 1);
      continue;
    }
    EXPECT_TRUE(isCanonicalUid(uid)) << uid;
    EXPECT_TRUE(seen.insert(uid).second) << uid << " given twice";
  }
  EXPECT_EQ(inOutComeUidFix(*ledger_).value(), 0);
}

struct AccountCase {
  const char* name;
  const char* kind;
  Text assetUid, toAssetUid, assetNic, categoryName;
  const char* assetAfter;
  Text toAfter;
};

TEST_F(MigrationRepairTest, AssetUidFixFindsTheAccountByNameLiveAccountsFirst) {
  BaseRepository base(*ledger_);
  struct Account {
    const char* uid;
    const char* name;
    int64_t isDel, order;
  };
  for (const Account& a : {Account{"CASH", "Cash", 0, 1}, Account{"CARD_OLD", "Card", 1, 0},
                           Account{"CARD", "Card", 0, 5}, Account{"HIDDEN", "Safe", 3, 6},
                           Account{"SAFE_OLD", "Safe", 2, 2}, Account{"GONE", "Old", 1, 3}}) {
    Asset asset = base.newObjectForEntity<Asset>(a.uid);
    asset.NicName = a.name;
    asset.isDel = a.isDel;
    asset.Order = a.order;
    ASSERT_TRUE(base.save(asset, "updateAsset"));
  }
  const AccountCase cases[] = {
      {"missing account, by name", "1", std::nullopt, std::nullopt, "Cash", std::nullopt, "CASH", std::nullopt},
      {"\"0\", live account before a deleted one", "1", "0", std::nullopt, " Card ", std::nullopt, "CARD",
       std::nullopt},
      {"hidden accounts are live", "0", "", std::nullopt, "Safe", std::nullopt, "HIDDEN", std::nullopt},
      {"\"-2\", only a deleted account has the name", "1", "-2", std::nullopt, "Old", std::nullopt, "GONE",
       std::nullopt},
      {"no account has the name", "1", "", std::nullopt, "Nobody", std::nullopt, "-2", std::nullopt},
      {"no name", "1", std::nullopt, std::nullopt, std::nullopt, std::nullopt, "-2", std::nullopt},
      {"transfer out: both accounts by name", "3", "0", std::nullopt, "Cash", "Card", "CASH", "CARD"},
      {"transfer in keeps a usable other account", "4", std::nullopt, "CASH", "Card", "Safe", "CARD", "CASH"},
      {"transfer to an unknown name", "3", "0", "", "Cash", "Nobody", "CASH", "-2"},
      {"expense: the category name is no account", "1", "0", std::nullopt, "Cash", "Card", "CASH", std::nullopt},
      {"usable account untouched", "1", "CASH", std::nullopt, "Card", std::nullopt, "CASH", std::nullopt},
  };
  int n = 0;
  for (const auto& c : cases) {
    InOutCome t = tx("T" + std::to_string(++n), c.kind, c.assetUid, c.toAssetUid);
    t.Asset_Nic = c.assetNic;
    t.Category_Name = c.categoryName;
    add(t);
  }
  auto fixed = assetUidFix(*ledger_);
  ASSERT_TRUE(fixed.isOk()) << fixed.status().message();
  EXPECT_EQ(fixed.value(), 10);  // every one but the usable one
  n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto t = reread<InOutCome>("T" + std::to_string(++n));
    EXPECT_EQ(t.assetUid, c.assetAfter);
    EXPECT_EQ(t.toAssetUid, c.toAfter);
  }
  const auto before = changes();
  EXPECT_EQ(assetUidFix(*ledger_).value(), 0);
  EXPECT_EQ(changes(), before);
}

struct PartnerCase {
  const char* name;
  const char* partnerKind;
  bool swapped;          // the partner's accounts are the orphan's, swapped
  int secondsLater;      // the partner's time against the orphan's
  int daysLater;
  double amountSub;      // the partner's (the orphan has 100.4)
  Text partnerLink;      // "PAIRED" is found on another record too
  int64_t partnerIsDel;
  int64_t orphanIsDel;
  bool linked;
};

TEST_F(MigrationRepairTest, FixMoveInOutComeData2192RelinksAnOrphanWithItsTwin) {
  const PartnerCase cases[] = {
      {"twin", "4", true, 0, 0, 100.4, std::nullopt, 0, 0, true},
      {"only the decimals differ", "4", true, 0, 0, 100.9, "", 0, 0, true},
      {"the partner's own link is an orphan too", "4", true, 0, 0, 100.4, "LONELY", 0, 0, true},
      {"a second later", "4", true, 1, 0, 100.4, std::nullopt, 0, 0, false},
      {"the next day", "4", true, 0, 1, 100.4, std::nullopt, 0, 0, false},
      {"another whole amount", "4", true, 0, 0, 101.4, std::nullopt, 0, 0, false},
      {"accounts not swapped", "4", false, 0, 0, 100.4, std::nullopt, 0, 0, false},
      {"the same kind", "3", true, 0, 0, 100.4, std::nullopt, 0, 0, false},
      {"the partner is paired already", "4", true, 0, 0, 100.4, "PAIRED", 0, 0, false},
      {"the partner is deleted", "4", true, 0, 0, 100.4, std::nullopt, 1, 0, false},
      {"the orphan is deleted", "4", true, 0, 0, 100.4, std::nullopt, 0, 1, false},
  };
  InOutCome pairedElsewhere = tx("PAIRED_OTHER", "3", "X", "Y");
  pairedElsewhere.txUidTrans = "PAIRED";
  add(pairedElsewhere);
  int n = 0;
  for (const auto& c : cases) {
    ++n;
    const std::string a = "A" + std::to_string(n), b = "B" + std::to_string(n);
    InOutCome orphan = tx("O" + std::to_string(n), "3", a, b);
    orphan.Date = at(2021, 3, 4, 10, 20, 30);
    orphan.amountSub = orphan.amount = 100.4;
    orphan.txUidTrans = "L" + std::to_string(n);
    orphan.isDel = c.orphanIsDel;
    add(orphan);
    InOutCome partner = tx("P" + std::to_string(n), c.partnerKind, c.swapped ? b : a, c.swapped ? a : b);
    partner.Date = at(2021, 3, 4 + c.daysLater, 10, 20, 30 + c.secondsLater);
    partner.amountSub = c.amountSub;
    partner.amount = 100.2;
    partner.txUidTrans = c.partnerLink;
    partner.isDel = c.partnerIsDel;
    add(partner);
  }
  auto fixed = fixMoveInOutComeData2192(*ledger_);
  ASSERT_TRUE(fixed.isOk()) << fixed.status().message();
  EXPECT_EQ(fixed.value(), 3);
  n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ++n;
    const auto partner = reread<InOutCome>("P" + std::to_string(n));
    EXPECT_EQ(partner.txUidTrans == "L" + std::to_string(n), c.linked);
    EXPECT_EQ(partner.isSynced, c.linked ? 1 : 2);
  }
  EXPECT_EQ(fixMoveInOutComeData2192(*ledger_).value(), 0);
}

TEST_F(MigrationRepairTest, FixMoveInOutComeData2192GivesOneTwinToOneOrphanOnly) {
  for (const char* uid : {"O1", "O2"}) {
    InOutCome orphan = tx(uid, "3", "A", "B");
    orphan.txUidTrans = std::string("L") + uid;
    add(orphan);
  }
  add(tx("P", "4", "B", "A"));
  ASSERT_EQ(fixMoveInOutComeData2192(*ledger_).value(), 1);
  EXPECT_EQ(reread<InOutCome>("P").txUidTrans, "LO1");  // the earlier orphan
}

TEST_F(MigrationRepairTest, InOutComeTransToAssetUidFixSplitsASharedIdentifierAndMirrorsThePair) {
  // A pair both of whose sides were saved under "X_3"; the duplicate repair
  // on open renamed the later copy "X_3_<row key>".
  InOutCome x3 = tx("X_3", "3", "A", "A");
  x3.txUidTrans = "LX";
  add(x3);
  InOutCome copy = tx("X_3_0", "4", "B", "C");
  copy.txUidTrans = "LX";
  const int64_t copyKey = add(copy);
  ledger_->store().db().exec("UPDATE ZINOUTCOME SET ZUID = 'X_3_" + std::to_string(copyKey) +
                             "' WHERE Z_PK = " + std::to_string(copyKey));
  // Shared "_4": the sending side is renamed.
  InOutCome y4 = tx("Y_4", "3", "A", "B");
  y4.txUidTrans = "LY";
  add(y4);
  InOutCome y4copy = tx("Y_4_0", "4", "B", "A");
  y4copy.txUidTrans = "LY";
  const int64_t yKey = add(y4copy);
  ledger_->store().db().exec("UPDATE ZINOUTCOME SET ZUID = 'Y_4_" + std::to_string(yKey) +
                             "' WHERE Z_PK = " + std::to_string(yKey));
  // The new identifier is taken: only the accounts are mirrored.
  add(tx("Z_4", "1", "A"));
  InOutCome z3 = tx("Z_3", "3", "A", "Q");
  z3.txUidTrans = "LZ";
  add(z3);
  InOutCome z3copy = tx("Z_3_0", "4", "B", "A");
  z3copy.txUidTrans = "LZ";
  const int64_t zKey = add(z3copy);
  ledger_->store().db().exec("UPDATE ZINOUTCOME SET ZUID = 'Z_3_" + std::to_string(zKey) +
                             "' WHERE Z_PK = " + std::to_string(zKey));
  // Before 2019-12-01, or not a pair: left alone.
  InOutCome early = tx("E_3", "3", "A", "Q");
  early.Date = at(2019, 11, 30, 23, 59, 59);
  early.txUidTrans = "LE";
  add(early);
  InOutCome earlyIn = tx("E_4", "4", "B", "Q");
  earlyIn.Date = early.Date;
  earlyIn.txUidTrans = "LE";
  add(earlyIn);
  for (const char* uid : {"T1", "T2", "T3"}) {
    InOutCome t = tx(uid, uid == std::string("T2") ? "4" : "3", "A", "Q");
    t.txUidTrans = "LT";
    add(t);
  }

  auto fixed = inOutComeTransToAssetUidFix(*ledger_);
  ASSERT_TRUE(fixed.isOk()) << fixed.status().message();
  auto byKey = [&](int64_t pk) {
    return BaseRepository(*ledger_).fetch<InOutCome>(" WHERE Z_PK = ?", pk).front();
  };
  const auto x4 = byKey(copyKey);
  EXPECT_EQ(x4.uid, "X_4");
  EXPECT_EQ(x4.toAssetUid, "A");
  EXPECT_EQ(reread<InOutCome>("X_3").toAssetUid, "B");
  EXPECT_EQ(reread<InOutCome>("Y_3").assetUid, "A");  // the sending side took "_3"
  EXPECT_FALSE(BaseRepository(*ledger_).dataByUid<InOutCome>("Y_4"));
  EXPECT_EQ(byKey(zKey).uid, "Z_3_" + std::to_string(zKey));
  EXPECT_EQ(reread<InOutCome>("Z_3").toAssetUid, "B");
  EXPECT_EQ(reread<InOutCome>("E_3").toAssetUid, "Q");
  EXPECT_EQ(reread<InOutCome>("E_4").toAssetUid, "Q");
  EXPECT_EQ(reread<InOutCome>("T1").toAssetUid, "Q");
  EXPECT_EQ(fixed.value(), 4);  // both sides of X, the sending sides of Y and Z

  const auto before = changes();
  EXPECT_EQ(inOutComeTransToAssetUidFix(*ledger_).value(), 0);
  EXPECT_EQ(changes(), before);
}

TEST_F(MigrationRepairTest, InOutComeTransDoTypeFixGivesEachSideTheKindItsIdentifierNames) {
  struct Pair {
    const char* outUid;
    const char* outKind;
    const char* inUid;
    const char* inKind;
    int year, month, day;
    const char* outKindAfter;
    const char* inKindAfter;
  };
  const Pair pairs[] = {
      {"A_3", "4", "A_4", "4", 2020, 5, 26, "3", "4"},
      {"B_4", "3", "B_3", "3", 2021, 1, 1, "4", "3"},
      {"C_3", "4", "C_3x", "4", 2021, 1, 1, "4", "4"},  // does not name one side each
      {"D_3", "4", "D_4", "4", 2020, 5, 25, "4", "4"},  // before the date
  };
  int n = 0;
  for (const Pair& p : pairs) {
    const std::string link = "L" + std::to_string(++n);
    InOutCome out = tx(p.outUid, p.outKind, "A", "B");
    out.Date = at(p.year, p.month, p.day, 0, 0, 0);
    out.txUidTrans = link;
    add(out);
    InOutCome in = tx(p.inUid, p.inKind, "B", "A");
    in.Date = out.Date;
    in.txUidTrans = link;
    add(in);
  }
  auto fixed = inOutComeTransDoTypeFix(*ledger_);
  ASSERT_TRUE(fixed.isOk());
  EXPECT_EQ(fixed.value(), 2);
  for (const Pair& p : pairs) {
    SCOPED_TRACE(p.outUid);
    EXPECT_EQ(reread<InOutCome>(p.outUid).Do_Type, p.outKindAfter);
    EXPECT_EQ(reread<InOutCome>(p.inUid).Do_Type, p.inKindAfter);
  }
  EXPECT_EQ(inOutComeTransDoTypeFix(*ledger_).value(), 0);
}

TEST_F(MigrationRepairTest, InstallMentFixLinksInstalmentsToTheFirstRecordOfTheirSeries) {
  struct Row {
    const char* uid;
    Int aId, cardDividId;
    Text cardDivideUid;
    const char* after;  // expected cardDivideUid ("" for none)
  };
  const Row rows[] = {
      {"8E1F0C7A-0000-4000-8000-000000000001", 501, 501, std::nullopt, "8E1F0C7A-0000-4000-8000-000000000001"},
      {"T2", 502, 501, "", "8E1F0C7A-0000-4000-8000-000000000001"},
      {"T3", 503, 501, "SET", "SET"},
      {"T4", 504, 777, std::nullopt, "777"},  // the series' first record is not in the ledger
      {"T5", 505, 0, std::nullopt, ""},
      {"T6", 506, std::nullopt, std::nullopt, ""},
  };
  for (const Row& r : rows) {
    InOutCome t = tx(r.uid, "1", "A");
    t.aId = r.aId;
    t.CardDividId = r.cardDividId;
    t.cardDivideUid = r.cardDivideUid;
    add(t);
  }
  auto fixed = installMentFix(*ledger_);
  ASSERT_TRUE(fixed.isOk()) << fixed.status().message();
  EXPECT_EQ(fixed.value(), 3);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.uid);
    EXPECT_EQ(reread<InOutCome>(r.uid).cardDivideUid.value_or(""), r.after);
  }
  EXPECT_EQ(installMentFix(*ledger_).value(), 0);
}

}  // namespace
}  // namespace varnel
