#include <algorithm>

#include <gtest/gtest.h>

#include "sms/sms_paste_cut.h"

namespace varnel {
namespace {

struct CutCase {
  const char* name;
  std::string markers;
  std::string paste;
  bool isCut;
  int collectCount;
  std::string severalStr;
};

TEST(SmsPasteCut, MarkerListsFindTheFirstMessage) {
  const std::string kb1 = "[KB]12/10 13:20\n123456**789\n스타벅스\n체크카드출금\n5,000\n잔액100,000";
  const std::string kb2 = "[KB]12/10 14:20\n123456**789\n이마트\n체크카드출금\n15,000\n잔액85,000";
  const std::string ibk1 = "[Web발신]\n입금 300,000원\n12/10 09:00\n홍길동\n잔액 1,300,000원\n기업";
  const std::string ibk2 = "[Web발신]\n출금 50,000원\n12/10 10:00\n관리비\n잔액 1,250,000원\n기업";
  const std::string lotte1 = "롯데카드 승인\n홍*동님\n32,000원 일시불\n12/10 12:00\n교보문고\n누적 532,000원";
  const std::string lotte2 = "롯데카드 승인\n홍*동님\n8,000원 일시불\n12/10 12:30\n파리바게뜨\n누적 540,000원";
  const CutCase cases[] = {
      {"two messages each starting with the marker", "[KB]", kb1 + "\n" + kb2, true, 2, kb1},
      {"one marker only is no cut", "[KB]", kb1, false, 0, ""},
      {"no marker at all", "[KB]", "신한카드 승인 5,000원 스타벅스", false, 0, ""},
      // The first message is shorter than 12 characters: the paste is taken whole.
      {"short first message", "[KB]", "[KB]1,000\n[KB]12/10 14:20 이마트 15,000원 출금 잔액85,000", true, 0,
       "[KB]1,000\n[KB]12/10 14:20 이마트 15,000원 출금 잔액85,000"},
      // What follows the first message is shorter than 12 characters.
      {"short remainder", "[KB]", kb1 + "\n[KB]1,000", true, 0, kb1 + "\n[KB]1,000"},
      // A sender that signs at the end of its messages closes the first one there.
      {"tail name ends the message", "기업은행:기업", ibk1 + "\n" + ibk2, true, 2, ibk1},
      // A Lotte card message ends with its running total.
      {"lotte total ends the message", "롯데카드:롯데 ", lotte1 + "\n" + lotte2, true, 2, lotte1},
      // A one-line paste of several messages cannot be told apart by lines.
      {"one line stays whole", "[입금]:[출금]", "[입금] 50,000원 홍길동 [출금] 20,000원 관리비 잔액 1,000", true, 0,
       "[입금] 50,000원 홍길동 [출금] 20,000원 관리비 잔액 1,000"},
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ResultSmsStrCut cut = checkSMSpasteStr(c.markers, c.paste);
    EXPECT_EQ(cut.isCut, c.isCut);
    EXPECT_EQ(cut.collectCount, c.collectCount);
    EXPECT_EQ(cut.severalStr, c.severalStr);
  }
}

TEST(SmsPasteCut, CardHeaderEndsALongFirstMessage) {
  // Two card approvals under one Web-sender header each, but the second
  // message's own header line comes before its marker: past 30 characters
  // the first message ends at the header.
  const std::string first = "[Web발신]\n신한카드(1234)승인 홍*동 12,000원(일시불)12/10 13:20 스타벅스 누적1,234,000원";
  const std::string paste = first + "\n[체크.승인]\n[Web발신]\n신한체크승인 홍*동 4,500원 12/10 14:00 GS25";
  const ResultSmsStrCut cut = checkSMSpasteStr("Web발신", paste);
  EXPECT_TRUE(cut.isCut);
  EXPECT_EQ(cut.collectCount, 2);
  EXPECT_EQ(cut.severalStr, first);
}

TEST(SmsPasteCut, NumberedSenderListsCarryTheirTenDigits) {
  const auto& lists = accountMarkerLists();
  auto listWith = [&](const std::string& marker) {
    return std::any_of(lists.begin(), lists.end(), [&](const std::string& list) {
      return (":" + list + ":").find(":" + marker + ":") != std::string::npos;
    });
  };
  for (const char* marker : {"우리0", "우리9", "신협5", "농협 7", "SC 3", "삼성4", "삼성체크8", "롯데0", "하나,", "신한 "}) {
    EXPECT_TRUE(listWith(marker)) << marker;
  }
  EXPECT_EQ(lists.front(), "[동양]0:[동양]1:[동양]2:[동양]3:[동양]4:[동양]5:[동양]6:[동양]7:[동양]8:[동양]9");
  EXPECT_EQ(lists.back(), "미래에셋증권");
}

TEST(SmsPasteCut, MoreMessagesByAccountMarkersThanByHeadersWin) {
  // One Web-sender header over three KB messages: the account list finds
  // three, the header none to cut.
  const std::string a = "[KB]12/10 13:20\n123456**789\n스타벅스\n체크카드출금\n5,000\n잔액100,000";
  const std::string b = "[KB]12/10 14:20\n123456**789\n이마트\n체크카드출금\n15,000\n잔액85,000";
  const std::string c = "[KB]12/10 15:20\n123456**789\n올리브영\n체크카드출금\n9,000\n잔액76,000";
  const ResultSmsStrCut cut = collectPasteAnalySis("[Web발신]\n" + a + "\n" + b + "\n" + c, {});
  EXPECT_TRUE(cut.isCut);
  EXPECT_EQ(cut.collectCount, 3);
  EXPECT_EQ(cut.severalStr, "[Web발신]\n" + a);
}

TEST(SmsPasteCut, DepositAndWithdrawalTagsCutWhenNothingElseDoes) {
  const std::string in = "[입금] 50,000원\n12/10 09:00\n홍길동\n잔액 1,050,000원";
  const std::string out = "[출금] 20,000원\n12/10 10:00\n관리비\n잔액 1,030,000원";
  const ResultSmsStrCut cut = collectPasteAnalySis(in + "\n" + out, {});
  EXPECT_EQ(cut.collectCount, 2);
  EXPECT_EQ(cut.severalStr, in);
}

struct SenderCase {
  const char* name;
  std::string paste;
  PasteSenderNames senders;
  int collectCount;
  std::string severalStr;
};

TEST(SmsPasteCut, SenderNamesAreTheLastResort) {
  const std::string m1 = "토스뱅크 입금 50,000원\n12/10 09:00 홍길동\n잔액 1,050,000원";
  const std::string m2 = "토스뱅크 출금 20,000원\n12/10 10:00 관리비\n잔액 1,030,000원";
  const PasteSenderNames toss{{}, {"토스뱅크"}};
  const SenderCase cases[] = {
      {"no known sender: one message", m1 + "\n" + m2, {{}, {"카카오페이"}}, 1, m1 + "\n" + m2},
      {"the name twice on separate lines", m1 + "\n" + m2 + "\n끝\n끝", toss, 2, m1},
      {"few lines: the first line is the message", "토스뱅크 입금 50,000원 홍길동\n토스뱅크 출금 20,000원 관리비",
       toss, 2, "토스뱅크 입금 50,000원 홍길동"},
      // Closer than 15 characters after the previous one: the same message.
      {"a repeated name inside one message", "토스뱅크 토스뱅크 입금 50,000원 홍길동", toss, 1,
       "토스뱅크 토스뱅크 입금 50,000원 홍길동"},
      // Far apart, but on one line of a longer paste: no line tells where the
      // second message begins, so the paste is taken whole rather than as an
      // empty message.
      {"every occurrence on one line", "토스뱅크 입금 50,000원 홍길동 또 토스뱅크 출금 2,000원\n잔액\n1,000\n원\n끝", toss,
       0, "토스뱅크 입금 50,000원 홍길동 또 토스뱅크 출금 2,000원\n잔액\n1,000\n원\n끝"},
      // The user's own texts come before the built-in names, and short bank
      // names are never used for this.
      {"user text first", "내통장 입금 50,000원 홍길동\n\n\n내통장 출금 20,000원 관리비 토스뱅크", {{"내통장"}, {"토스뱅크"}},
       2, "내통장 입금 50,000원 홍길동"},
      {"short bank names skipped", "우리 입금 50,000원 홍길동\n\n\n우리 출금 20,000원 관리비", {{}, {"우리"}}, 1,
       "우리 입금 50,000원 홍길동\n\n\n우리 출금 20,000원 관리비"},
  };
  for (const SenderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ResultSmsStrCut cut = collectPasteAnalySis(c.paste, c.senders);
    EXPECT_EQ(cut.collectCount, c.collectCount);
    EXPECT_EQ(cut.severalStr, c.severalStr);
  }
}

}  // namespace
}  // namespace varnel
