#include <gtest/gtest.h>

#include "sms/sms_parsing_helper.h"
#include "sms_test_fixture.h"

namespace varnel {
namespace {

using testing::SmsTest;

class SmsParsingHelperTest : public SmsTest {};

struct MacroCase {
  std::string message;
  std::string macroName;  // the built-in macro's name that matched, or ""
};

TEST_F(SmsParsingHelperTest, MacroSearchFollowsTheShortNameRules) {
  addMacro("900", "롯데");
  addMacro("901", "차이");
  const MacroCase cases[] = {
      {"하나카드 승인 홍*동 5,000원", "하나카드"},
      // "하나" alone is a word; only "하나(" and "하나," name the bank.
      {"오늘 하나 샀어요 5,000원", ""},
      {"하나(1234) 출금 5,000원", "하나"},
      {"하나,홍길동 입금 5,000원", "하나"},
      // NongHyup's own shops are not the bank.
      {"농협 출금 5,000원", "농협"},
      {"농협하나로마트 5,000원 결제", ""},
      // Short names count with a blank after them, or a digit.
      {"롯데 승인 5,000원", "롯데"},
      {"롯데리아 5,000원 결제", ""},
      {"롯데1234승인 5,000원", "롯데"},
      {"차이 결제 3,000원", "차이"},
      {"차이나타운 3,000원 차이 결제", ""},
      // The sender named first wins over a longer name later in the text
      // (the merchant), and at one place the longer name wins.
      {"신한카드(1234)승인 홍*동 12,000원 카카오페이", "신한카드"},
      {"카카오페이 결제 신한카드 12,000원", "카카오페이"},
      {"신한 입금 12,000원", "신한"},
      // Line breaks are blanks.
      {"롯데\n승인 5,000원", "롯데"},
  };
  SmsParsingHelper helper(*ledger_);
  for (const MacroCase& c : cases) {
    const FindMacro found = helper.findMacroFromSMS(c.message);
    EXPECT_EQ(found.macroName, c.macroName) << c.message;
    EXPECT_EQ(found.macro.has_value(), !c.macroName.empty()) << c.message;
    EXPECT_FALSE(found.userMacro) << c.message;
  }
}

TEST_F(SmsParsingHelperTest, UserMacrosComeBeforeBuiltInOnes) {
  addAccount("ACC1", "내 신한", "1", "신한카드(1234)");
  SmsParsingHelper helper(*ledger_);
  const FindMacro found = helper.findMacroFromSMS("[Web발신]\n신한카드(1234)승인 홍*동 12,000원 스타벅스");
  ASSERT_TRUE(found.userMacro);
  EXPECT_EQ(found.userMacroName, "신한카드(1234)");
  EXPECT_EQ(found.macroName, "");
  ASSERT_TRUE(found.userMacro->conAsset);
  EXPECT_EQ(found.userMacro->conAsset->uid.value_or(""), "ACC1");
}

struct AccountCase {
  const char* name;
  int64_t accountIsDel;
  int64_t groupIsDel;
  bool preselected;
};

TEST_F(SmsParsingHelperTest, MacroAccountIsPreselectedUnlessItOrItsGroupIsDeleted) {
  const AccountCase cases[] = {
      {"live account", 0, 0, true},
      {"hidden account", 3, 0, true},
      {"deleted account", 1, 0, false},
      {"account treated as deleted", 2, 0, false},
      {"deleted group", 0, 1, false},
      {"group taken out of the list", 0, 4, false},
  };
  int n = 0;
  for (const AccountCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string group = "G" + std::to_string(n), account = "A" + std::to_string(n++);
    addGroup(group, "group " + group, c.groupIsDel);
    addAccount(account, "account " + account, group, "", c.accountIsDel);
    linkMacro("삼성카드", account);
    SmsParsingHelper helper(*ledger_);
    helper.methodForPaste("삼성카드 승인 홍*동 5,000원 일시불 스타벅스");
    ASSERT_TRUE(helper.theMacroObject);
    EXPECT_EQ(helper.theMacroObject->smsString, "삼성카드");
    ASSERT_TRUE(helper.theMacroObject->conAsset);
    EXPECT_EQ(helper.theMacroObject->conAsset->uid.value_or(""), account);
    EXPECT_EQ(helper.assetObject.has_value(), c.preselected);
  }
}

TEST_F(SmsParsingHelperTest, EmptyPasteResetsTheCut) {
  SmsParsingHelper helper(*ledger_);
  EXPECT_TRUE(helper.methodForPaste("[KB]12/10 13:20 스타벅스 5,000원 출금\n[KB]12/10 14:20 이마트 15,000원 출금"));
  EXPECT_TRUE(helper.resultSmsStrCut.isCut);
  EXPECT_EQ(helper.methodForPaste(""), nullptr);
  EXPECT_FALSE(helper.resultSmsStrCut.isCut);
  EXPECT_FALSE(helper.resultSmsStrCut.isException);
  EXPECT_EQ(helper.resultSmsStrCut.collectCount, 0);
  EXPECT_EQ(helper.resultSmsStrCut.severalStr, "");
  EXPECT_EQ(helper.parserName, "");
}

TEST_F(SmsParsingHelperTest, MessageForAnotherCountryIsRoutedWithoutAResult) {
  reopen({.locale = "en_US", .lang = "en", .region = "US"});
  SmsParsingHelper helper(*ledger_);
  const auto parsed = helper.methodForPaste("Discover Card: A transaction of $25.00 at AMAZON was made on 12/10");
  EXPECT_EQ(parsed, nullptr);
  EXPECT_EQ(helper.parserName, "SmsParsingUSA");
  EXPECT_EQ(helper.resultSmsStrCut.collectCount, 1);
  EXPECT_EQ(helper.resultSmsStrCut.severalStr, "Discover Card: A transaction of $25.00 at AMAZON was made on 12/10");
}

TEST_F(SmsParsingHelperTest, LaterBatchMessagesAreOnlyCut) {
  SmsParsingHelper helper(*ledger_);
  helper.multiIndex = 1;
  const std::string paste = "[KB]12/10 13:20 스타벅스 5,000원 출금\n[KB]12/10 14:20 이마트 15,000원 출금";
  EXPECT_EQ(helper.methodForPaste(paste), nullptr);
  EXPECT_EQ(helper.resultSmsStrCut.collectCount, 2);
  EXPECT_EQ(helper.resultSmsStrCut.orgPasteStr, paste);
  EXPECT_EQ(helper.parserName, "");
  EXPECT_FALSE(helper.theMacroObject);
}

TEST_F(SmsParsingHelperTest, CleanedPasteKeepsTheOriginalBeside) {
  SmsParsingHelper helper(*ledger_);
  const std::string paste = "[Web발신]\n(광고)\n[Web발신]\nKB국민카드 승인 5,000원 송금이 완료되었어요";
  ASSERT_TRUE(helper.methodForPaste(paste));
  EXPECT_TRUE(helper.resultSmsStrCut.isException);
  EXPECT_EQ(helper.resultSmsStrCut.orgPasteStr, paste);
  EXPECT_EQ(helper.resultSmsStrCut.pasteStr, "[Web발신]\nKB국민카드 승인 5,000원 ");
  EXPECT_EQ(helper.parserName, "SmsParsingKor");
  EXPECT_EQ(helper.findMacro.macroName, "KB국민카드");
}

}  // namespace
}  // namespace varnel
