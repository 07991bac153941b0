#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "sms/sms_parsing_multi.h"
#include "sms_test_fixture.h"

namespace varnel {
namespace {

using testing::SmsTest;

const std::string kKb1 = "[KB]12/10 13:20\n123456**789\n스타벅스\n체크카드출금\n5,000\n잔액100,000";
const std::string kKb2 = "[KB]12/10 14:20\n123456**789\n이마트\n체크카드출금\n15,000\n잔액85,000";
const std::string kKb3 = "[KB]12/10 15:20\n123456**789\n올리브영\n체크카드출금\n9,000\n잔액76,000";

class SmsParsingMultiTest : public SmsTest {
 protected:
  void setBatch(const std::vector<std::string>& texts) {
    ASSERT_TRUE(ledger_->preferences().setString(kPrefTextClipMulti, nlohmann::json(texts).dump()));
  }
  std::vector<std::string> storedBatch() {
    const auto stored = ledger_->preferences().getString(kPrefTextClipMulti);
    if (!stored) return {};
    return nlohmann::json::parse(*stored).get<std::vector<std::string>>();
  }
  // The first message of every step until nothing is left.
  std::vector<std::string> walk(SmsParsingMulti& multi) {
    std::vector<std::string> shown;
    multi.parsing();
    for (int guard = 0; multi.getCountSms() > 0 && multi.smsParsingHelper() && guard < 20; ++guard) {
      shown.push_back(multi.smsParsingHelper()->resultSmsStrCut.severalStr);
      multi.next();
    }
    return shown;
  }
};

TEST_F(SmsParsingMultiTest, SinglePasteShowsItsMessagesInOrder) {
  MemoryClipboard clipboard(kKb1 + "\n" + kKb2 + "\n" + kKb3);
  SmsParsingMulti multi(*ledger_, clipboard);
  multi.parsing();
  EXPECT_EQ(multi.smsParsingType, kSmsPasteSingle);
  EXPECT_EQ(multi.getCountSms(), 3);
  ASSERT_TRUE(multi.smsParsing());
  EXPECT_EQ(multi.smsParsingHelper()->resultSmsStrCut.severalStr, kKb1);

  multi.next();
  EXPECT_EQ(multi.getCountSms(), 2);
  EXPECT_EQ(multi.smsParsingHelper()->resultSmsStrCut.severalStr, kKb2);
  // The rest of the paste is what the clipboard holds now.
  EXPECT_EQ(clipboard.text(), kKb2 + "\n" + kKb3);
  EXPECT_EQ(ledger_->preferences().getString(kPrefTextClip).value_or(""), kKb2 + "\n" + kKb3);

  multi.next();
  EXPECT_EQ(multi.smsParsingHelper()->resultSmsStrCut.severalStr, kKb3);
  multi.next();
  EXPECT_EQ(multi.getCountSms(), 0);
  EXPECT_EQ(multi.smsParsing(), nullptr);
}

TEST_F(SmsParsingMultiTest, EmptyClipboardShowsNothing) {
  MemoryClipboard clipboard("");
  SmsParsingMulti multi(*ledger_, clipboard);
  multi.parsing();
  EXPECT_EQ(multi.getCountSms(), 0);
  EXPECT_EQ(multi.smsParsing(), nullptr);
}

TEST_F(SmsParsingMultiTest, ShortRemainderEndsThePaste) {
  // Cut in two by the Web-sender header, but what follows the first message
  // is no message of its own.
  MemoryClipboard clipboard("[Web발신]\n신한카드(1234)승인 홍*동 12,000원 일시불 12/10 13:20 스타벅스\n[Web발신]\n광고");
  SmsParsingMulti multi(*ledger_, clipboard);
  multi.parsing();
  EXPECT_EQ(multi.getCountSms(), 1);
  multi.next();
  EXPECT_EQ(multi.getCountSms(), 0);
}

TEST_F(SmsParsingMultiTest, CleanedPasteOfSeveralMessagesGoesBackToTheClipboard) {
  const std::string paste = "[Web발신]\n(광고)\n[Web발신]\n" + kKb1 + "\n" + kKb2;
  MemoryClipboard clipboard(paste);
  SmsParsingMulti multi(*ledger_, clipboard);
  multi.parsing();
  EXPECT_EQ(clipboard.text(), "[Web발신]\n" + kKb1 + "\n" + kKb2);
  EXPECT_EQ(ledger_->preferences().getString(kPrefTextClip).value_or(""), clipboard.text());
}

TEST_F(SmsParsingMultiTest, BatchWalksEveryMessageOfEveryEntry) {
  setBatch({kKb1 + "\n" + kKb2, "", kKb3});
  MemoryClipboard clipboard("");
  SmsParsingMulti multi(*ledger_, clipboard);
  multi.parsing();
  EXPECT_EQ(multi.smsParsingType, kSmsPasteBatch);
  EXPECT_EQ(multi.getCountSms(), 3);
  EXPECT_EQ(walk(multi), (std::vector<std::string>{kKb1, kKb2, kKb3}));
  EXPECT_TRUE(storedBatch().empty());
  EXPECT_FALSE(ledger_->preferences().getString(kPrefTextClipMulti));
}

TEST_F(SmsParsingMultiTest, BatchEntryRemainderIsKeptForTheNextStart) {
  setBatch({kKb1 + "\n" + kKb2, kKb3});
  MemoryClipboard clipboard("");
  SmsParsingMulti multi(*ledger_, clipboard);
  multi.parsing();
  multi.next();
  EXPECT_EQ(storedBatch(), (std::vector<std::string>{kKb2, kKb3}));
  // An entry ending in a Web-sender header: the header counts as a message
  // until the entry is walked down to it, and then the entry is done.
  setBatch({"[Web발신]\n" + kKb1 + "\n[Web발신]\n" + kKb2 + "\n[Web발신]\n", kKb3});
  multi.parsing();
  EXPECT_EQ(multi.getCountSms(), 4);
  multi.next();
  EXPECT_EQ(storedBatch(), (std::vector<std::string>{"[Web발신]\n" + kKb2 + "\n[Web발신]\n", kKb3}));
  multi.next();
  EXPECT_EQ(storedBatch(), (std::vector<std::string>{kKb3}));
}

TEST_F(SmsParsingMultiTest, ClipboardHoldingABatchTextIsCleared) {
  setBatch({kKb1, kKb2});
  MemoryClipboard clipboard(kKb2);
  ASSERT_TRUE(ledger_->preferences().setString(kPrefTextClip, kKb2));
  SmsParsingMulti multi(*ledger_, clipboard);
  multi.parsing();
  EXPECT_EQ(clipboard.text(), "");
  EXPECT_FALSE(ledger_->preferences().getString(kPrefTextClip));
  EXPECT_EQ(multi.getCountSms(), 2);
  EXPECT_EQ(multi.smsParsingHelper()->resultSmsStrCut.severalStr, kKb1);
}

TEST_F(SmsParsingMultiTest, ClipboardWithAnAmountGoesInFrontOfTheBatch) {
  setBatch({kKb3});
  // Cleaned (the Kakao Pay notice goes) and written back where it came from.
  MemoryClipboard clipboard(kKb1 + "\n" + kKb2 + "\n송금이 완료되었어요");
  SmsParsingMulti multi(*ledger_, clipboard);
  multi.parsing();
  EXPECT_EQ(multi.getCountSms(), 3);
  ASSERT_TRUE(multi.smsParsing());
  EXPECT_EQ(multi.smsParsing()->moneyMainStr, "5000");
  EXPECT_EQ(clipboard.text(), kKb1 + "\n" + kKb2 + "\n");
  EXPECT_EQ(ledger_->preferences().getString(kPrefTextClip).value_or(""), clipboard.text());
  // The clipboard's messages first, then the batch's; the batch stays as it
  // was stored until its own turn.
  multi.next();
  EXPECT_EQ(multi.smsParsingHelper()->resultSmsStrCut.severalStr, kKb2 + "\n");
  EXPECT_EQ(storedBatch(), (std::vector<std::string>{kKb3}));
  multi.next();
  EXPECT_EQ(clipboard.text(), "");
  EXPECT_EQ(multi.smsParsingHelper()->resultSmsStrCut.severalStr, kKb3);
  multi.next();
  EXPECT_EQ(multi.getCountSms(), 0);
  EXPECT_TRUE(storedBatch().empty());

  // A clipboard without an amount is left out of the batch.
  setBatch({kKb3});
  clipboard.setText("안녕하세요 오늘 저녁에 만나요");
  multi.parsing();
  EXPECT_EQ(multi.getCountSms(), 1);
  EXPECT_EQ(multi.smsParsingHelper()->resultSmsStrCut.severalStr, kKb3);
}

}  // namespace
}  // namespace varnel
