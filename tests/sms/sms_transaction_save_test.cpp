#include <gtest/gtest.h>

#include "ledger/in_out_come_repository.h"
#include "model/errors.h"
#include "sms/sms_transaction_save.h"
#include "sms_test_fixture.h"

namespace varnel {
namespace {

using testing::SmsTest;

// Default ledger: account "2" bank, "3" card, and the default categories.
class SmsTransactionSaveTest : public SmsTest {
 protected:
  void SetUp() override {
    SmsTest::SetUp();
    for (const Category& c : ledger_->commonData().categoryList()) {
      if (c.doType.value_or(-1) == 1 && c.pUid && *c.pUid != "0" && !c.pUid->empty()) {
        sub_ = c.uid.value_or("");
        main_ = *c.pUid;
        break;
      }
    }
    ASSERT_FALSE(sub_.empty());
  }
  SmsEntry entry(const std::string& message, double amount = 12000) {
    SmsEntry e;
    e.parserName = "SmsParsingKor";
    e.parsed = true;
    e.hasAmount = true;
    e.message = message;
    e.form.mode = kModeExpense;
    e.form.amount = amount;
    e.form.account = "3";
    e.form.category = sub_;
    e.form.content = "스타벅스";
    e.form.date = ledger_->env().parseIso("2026-12-10T13:20:00");
    e.form.message = {message, "스타벅스", "13:20"};
    return e;
  }
  MessageMacroData builtInMacro(const std::string& name, const std::string& account) {
    auto stored = MessageMacroRepository(*ledger_).firstWithMacroAssetName(name);
    EXPECT_TRUE(stored);
    MessageMacroData macro;
    macro.uid = stored->uid;
    macro.smsString = name;
    macro.conAsset = ledger_->commonData().assetByUid(account);
    return macro;
  }
  // An expense sub-category and its main category.
  std::string sub_, main_;

  std::string macroAccount(const std::string& name) {
    return MessageMacroRepository(*ledger_).firstWithMacroAssetName(name)->conAssetUid.value_or("");
  }
};

TEST_F(SmsTransactionSaveTest, RecordKeepsTheMessage) {
  const SmsSaveResult result = SmsTransactionSave(*ledger_).save({entry("신한카드 승인 12,000원 스타벅스")}, {});
  ASSERT_TRUE(result.ok()) << result.status.message();
  ASSERT_EQ(result.saved.size(), 1u);
  const InOutCome stored = *InOutComeRepository(*ledger_).inOutComeByUid(*result.saved[0].record->uid);
  EXPECT_EQ(stored.smsOrigine.value_or(""), "신한카드 승인 12,000원 스타벅스");
  EXPECT_EQ(stored.smsParseContents.value_or(""), "스타벅스");
  EXPECT_EQ(stored.cardTimeStampStr.value_or(""), "13:20");
  EXPECT_EQ(stored.Content.value_or(""), "스타벅스");
  EXPECT_EQ(stored.assetUid.value_or(""), "3");
  EXPECT_EQ(stored.categoryUid.value_or(""), sub_);
  EXPECT_EQ(stored.amount.value_or(0), 12000);
  EXPECT_EQ(stored.Do_Type.value_or(""), "1");
  EXPECT_EQ(InOutComeRepository(*ledger_).getInOutComeBySmsOringine("신한카드 승인 12,000원 스타벅스").size(), 1u);
}

TEST_F(SmsTransactionSaveTest, StoredMessagesAreRefusedUnlessAllowed) {
  struct Case {
    const char* name;
    bool storedBefore;     // the parse found the message stored
    bool twiceInOnePaste;  // the same message is saved twice in one call
    bool allowDuplicate;
    size_t saved;
  };
  const Case cases[] = {
      {"new message", false, false, false, 1},
      {"stored before", true, false, false, 0},
      {"stored before, allowed", true, false, true, 1},
      // All or none: the first is not kept when the second is refused.
      {"twice in one paste", false, true, false, 0},
      {"twice in one paste, allowed", false, true, true, 2},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string message = "승인 " + std::to_string(++n) + ",000원 스타벅스";
    std::vector<SmsEntry> entries{entry(message)};
    entries[0].isPastOverlap = c.storedBefore;
    if (c.twiceInOnePaste) entries.push_back(entry(message));
    const int64_t before = transactionCount();
    const SmsSaveResult result = SmsTransactionSave(*ledger_).save(entries, {"", "", c.allowDuplicate});
    EXPECT_EQ(result.saved.size(), c.saved);
    EXPECT_EQ(transactionCount() - before, static_cast<int64_t>(c.saved));
    if (c.saved == 0) {
      EXPECT_FALSE(result.ok());
      EXPECT_EQ(result.refusal.value_or(""), kSmsAlreadyExistKey);
      EXPECT_EQ(result.failedEntry, c.twiceInOnePaste ? 1u : 0u);
    }
  }
}

TEST_F(SmsTransactionSaveTest, ChoosingAnotherAccountRelinksTheMacro) {
  linkMacro("신한카드", "3");
  SmsEntry e = entry("신한카드 승인 12,000원 스타벅스");
  e.macro = builtInMacro("신한카드", "3");
  // Booked to the macro's own account: nothing to change.
  ASSERT_TRUE(SmsTransactionSave(*ledger_).save({e}, {}).ok());
  EXPECT_EQ(macroAccount("신한카드"), "3");
  // Booked to the bank account: the macro brings that one from now on.
  e.message = "신한카드 승인 13,000원 스타벅스";
  e.form.message.smsOrigine = e.message;
  const SmsSaveResult result = SmsTransactionSave(*ledger_).save({e}, {"2", "", false});
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(result.saved[0].record->assetUid.value_or(""), "2");
  EXPECT_EQ(macroAccount("신한카드"), "2");
  ASSERT_EQ(result.macrosUpdated.size(), 1u);
  // A user macro is the account's own text: no built-in macro changes.
  SmsEntry user = entry("내카드 승인 14,000원 스타벅스");
  user.macro = MessageMacroData{};
  user.macro->smsString = "내카드";
  user.macro->conAsset = ledger_->commonData().assetByUid("3");
  EXPECT_TRUE(SmsTransactionSave(*ledger_).save({user}, {"1", "", false}).macrosUpdated.empty());
}

TEST_F(SmsTransactionSaveTest, RefusedSaveLeavesTheMacroAsItWas) {
  linkMacro("신한카드", "3");
  SmsEntry first = entry("신한카드 승인 12,000원 스타벅스");
  first.macro = builtInMacro("신한카드", "3");
  SmsEntry second = entry("신한카드 승인 5,000원 GS25");
  second.isPastOverlap = true;
  const SmsSaveResult result = SmsTransactionSave(*ledger_).save({first, second}, {"2", "", false});
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(macroAccount("신한카드"), "3");
  EXPECT_EQ(transactionCount(), 0);
}

TEST_F(SmsTransactionSaveTest, MessagesWithoutAReadingOrAnAmountAreRefusedBeforeWriting) {
  SmsEntry routed;
  routed.parserName = "SmsParsingUSA";
  SmsEntry noAmount = entry("안내 문자");
  noAmount.hasAmount = false;
  for (const SmsEntry& bad : {routed, noAmount}) {
    EXPECT_THROW(SmsTransactionSave(*ledger_).save({entry("승인 1,000원 스타벅스"), bad}, {}), InputError);
    EXPECT_EQ(transactionCount(), 0);
  }
}

TEST_F(SmsTransactionSaveTest, EntryTakesWhatTheParseFound) {
  addAccount("CARD2", "두번째 카드", "2");
  SmsParsingHelper helper(*ledger_);
  helper.parserName = "SmsParsingKor";
  helper.assetObject = ledger_->commonData().assetByUid("CARD2");
  SmsParsing parse(*ledger_);
  parse.smsOrigine = "KB국민카드 홍*동 3개월 36,000원 12/09 19:05 쿠팡";
  parse.moneyMainStr = "36000";
  parse.installment = "3";
  parse.doTypeStr = kSmsExpense;
  parse.timeStampStr = "19:05";
  parse.mainContentStr = "쿠팡";
  parse.dpDate = LocalDateTime{2026, 12, 9};
  parse.cateObject = ledger_->commonData().categoryByUid(main_);
  parse.cateSubObject = ledger_->commonData().categoryByUid(sub_);
  const SmsEntry e = smsEntryFor(helper, &parse);
  EXPECT_TRUE(e.parsed);
  EXPECT_TRUE(e.hasAmount);
  EXPECT_EQ(e.form.mode, kModeExpense);
  EXPECT_EQ(e.form.amount, 36000);
  EXPECT_EQ(e.form.installments, 3);
  EXPECT_EQ(e.form.account, "CARD2");
  EXPECT_EQ(e.form.category, sub_);
  EXPECT_EQ(e.form.content, "쿠팡");
  EXPECT_EQ(ledger_->env().dates().dayKey(*e.form.date), "2026-12-09");
  EXPECT_EQ(e.form.message.cardTimeStampStr.value_or(""), "19:05");

  // Three monthly rows of the card purchase.
  const SmsSaveResult saved = SmsTransactionSave(*ledger_).save({e}, {});
  ASSERT_TRUE(saved.ok()) << saved.status.message();
  EXPECT_EQ(saved.saved[0].series.size(), 3u);

  // No parse (another country's parser): an expense with nothing found.
  const SmsEntry none = smsEntryFor(helper, nullptr);
  EXPECT_FALSE(none.parsed);
  EXPECT_EQ(none.form.mode, kModeExpense);
  // A cancellation keeps its negative amount; income stays income.
  parse.moneyMainStr = "-36000";
  parse.doTypeStr = kSmsIncome;
  parse.installment = "0";
  const SmsEntry cancel = smsEntryFor(helper, &parse);
  EXPECT_EQ(cancel.form.amount, -36000);
  EXPECT_EQ(cancel.form.mode, kModeIncome);
  EXPECT_EQ(cancel.form.installments, 0);
}

}  // namespace
}  // namespace varnel
