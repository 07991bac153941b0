#include <gtest/gtest.h>

#include "sms/sms_paste_cleanup.h"
#include "sms/sms_paste_cut.h"

namespace varnel {
namespace {

struct CleanCase {
  const char* name;
  std::string paste;
  std::string cleaned;
  bool isException;
};

TEST(SmsPasteCleanup, PastesComeOutCleanedInOrder) {
  const CleanCase cases[] = {
      {"nothing to clean", "신협 입금 5,000원 홍길동", "신협 입금 5,000원 홍길동", false},
      // Two headers with one short line between them collapse into one.
      {"doubled web header", "[Web발신]\n(광고)\n[Web발신]\n국민카드 승인 5,000원", "[Web발신]\n국민카드 승인 5,000원", true},
      {"doubled web header, CRLF", "[Web발신]\r\n(광고)\r\n[Web발신]\r\n국민카드 승인 5,000원",
       "[Web발신]\r\n국민카드 승인 5,000원", true},
      // More than seven characters between them: two headers stay.
      {"long line between headers", "[Web발신]\n안내 말씀 드립니다\n[Web발신]\n국민카드 승인", "[Web발신]\n안내 말씀 드립니다\n[Web발신]\n국민카드 승인",
       false},
      // The mall's name holds the card company's; no sender rule runs after it.
      {"samsung shopping", "삼성카드 승인 홍*동 10,000원 삼성카드쇼핑 신한카드 1544-7000",
       "삼성카드 승인 홍*동 10,000원 쇼핑 신한카드 1544-7000", true},
      // Only the first sender rule that applies runs.
      {"first rule only", "[신한카드 1544-7000] 승인 홍*동 9,000원 롯데 프리미엄 푸드", " 승인 홍*동 9,000원 롯데 프리미엄 푸드", true},
      {"lotte", "KB국민카드 승인 9,000원 롯데 프리미엄 푸드", "KB국민카드 승인 9,000원 프리미엄 푸드", true},
      {"lotte mall is left", "KB국민카드 승인 9,000원 롯데몰 롯데 프리미엄 푸드", "KB국민카드 승인 9,000원 롯데몰 롯데 프리미엄 푸드", false},
      {"kakao bank", "[카카오뱅크] 카카오뱅크스마트 입금 3,000원", "[카카오뱅크] 트 입금 3,000원", true},
      {"kb underscore", "KB국민카드_1*2*승인 5,000원", "1*2*승인 5,000원", true},
      {"mg", "MG스마트알림 MG체크카드 승인 3,000원", " MG체크카드 승인 3,000원", true},
      {"nonghyup", "농협 잔액 10,000원 원예농협", "잔액 10,000원 원예", true},
      {"smile card", "스마일카드 승인 ▶ 회원명 : 홍길동 12,000원 (단, 무이자할부 및 청구할인 시 적립 제외)", "스마일카드 승인 12,000원 ", true},
      {"sinhan card", "신한카드 콜센터 ☎1522-7777 신한카드캐시백 신한체크교통", " 캐시백 체크교통", true},
      {"chai", "차이머니 3,000원 결제되었어요", "차이머니 3,000원 ", true},
      {"hana card", "하나카드 자동납부 요금 정상승인 안내 SKT 55,000원", "하나카드  SKT 55,000원", true},
      {"hyundai card", "현대카드 승인 안내입니다. 홍*동 3,000원", " 홍*동 3,000원", true},
      {"toss bank card", "토스뱅크카드 국내 결제 체크카드 국내 결제 5,000원", " 체크카드 5,000원", true},
      {"siren24", "[KT] 휴대폰 소액결제 완료 안내 9,900원 siren24.com ♣ 참고사항 문의", "소액결제 9,900원 siren24.com ", true},
      // The Kakao Pay notices go in every case, after any sender rule.
      {"kakao pay always", "국민카드 5,000원 송금이 완료되었어요", "국민카드 5,000원 ", true},
  };
  for (const CleanCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CleanedPaste cleaned = cleanPaste(c.paste);
    EXPECT_EQ(cleaned.text, c.cleaned);
    EXPECT_EQ(cleaned.isException, c.isException);
  }
}

TEST(SmsPasteCleanup, ParserChoiceSeesTheTextBeforeTheSenderRules) {
  const CleanedPaste cleaned = cleanPaste("[Web발신]\n(광고)\n[Web발신]\n신한카드 1544-7000 승인");
  EXPECT_EQ(cleaned.headersCollapsed, "[Web발신]\n신한카드 1544-7000 승인");
  EXPECT_EQ(cleaned.text, "[Web발신]\n 승인");
}

TEST(SmsPasteCleanup, WooriNameRepeatedCloseToItselfGoes) {
  using paste_cleanup::wooriCardException;
  // The card's name and the company's name close together in an approval
  // notice: the first goes. Far apart, both stay.
  const auto close = sms::fromUtf8("[ 카드 승인 안내 ] 우리카드 우리카드(1234) 12,000원 스타벅스");
  EXPECT_EQ(sms::toUtf8(wooriCardException(close)), "[ 카드 승인 안내 ]  우리카드(1234) 12,000원 스타벅스");
  const auto apart = sms::fromUtf8("[ 카드 승인 안내 ] 우리카드 홍*동님 12,000원 일시불 스타벅스 우리카드");
  EXPECT_EQ(sms::toUtf8(wooriCardException(apart)), sms::toUtf8(apart));
  // Outside an approval notice the names stay.
  const auto other = sms::fromUtf8("우리카드 우리카드(1234) 12,000원");
  EXPECT_EQ(sms::toUtf8(wooriCardException(other)), sms::toUtf8(other));
  // The receiver's bank in a transfer line, and the customer centre.
  EXPECT_EQ(sms::toUtf8(wooriCardException(sms::fromUtf8("받는사람 : 홍길동/ 우리 / 50,000원 우리카드 고객센터"))),
            " : 홍길동 50,000원 고객센터");
  EXPECT_EQ(sms::toUtf8(wooriCardException(sms::fromUtf8("우리은행 출금 5,000원 고객센터: 1588-5000"))),
            "우리은행 출금 5,000원 ");
}

TEST(SmsPasteCleanup, MiraeAssetHeaderRepeatedUnderItselfGoes) {
  using paste_cleanup::miraeAssetException;
  const std::string first = "[Web발신]\n[미래에셋증권]\n[미래에셋증권] 홍*동님 입금 50,000원";
  const std::string second = "[Web발신]\n[미래에셋증권]\n[미래에셋증권] 홍*동님 출금 20,000원";
  const std::string cleaned = sms::toUtf8(miraeAssetException(sms::fromUtf8(first + "\n" + second)));
  EXPECT_EQ(cleaned, "[Web발신]\n[미래에셋증권]\n 홍*동님 입금 50,000원\n[Web발신]\n[미래에셋증권]\n 홍*동님 출금 20,000원");
  // The time after the firm's name tells the app notification's layout.
  EXPECT_EQ(sms::toUtf8(miraeAssetException(sms::fromUtf8("미래에셋증권 09:30 입금 5,000원"))), "09:30 입금 5,000원");
}

TEST(SmsPasteCleanup, SamsungSecuritiesWithdrawalKeepsItsAmountAndLosesTheWordDeposit) {
  const std::string paste =
      "[Web발신]\n[삼성증권] <체크카드 입금/출금 안내>\n홍길동 고객님, 체크카드에서 12,000원이 출금됐습니다.\n"
      "※ 입금내역의 세부사항은 앱에서 확인하세요\n[Web발신]\n[삼성증권] <실시간 출금 안내>\n홍길동 고객님, 계좌에서 3,000원이 "
      "출금됐습니다.\n";
  const CleanedPaste cleaned = cleanPaste(paste);
  EXPECT_EQ(cleaned.text,
            "[Web발신]\n[삼성증권]\n체크카드 출금 12,000원.\n\n[Web발신]\n[삼성증권]\n계좌 출금 3,000원.\n");
  EXPECT_EQ(cleaned.text.find("입금"), std::string::npos);
}

TEST(SmsPasteCleanup, NongHyupCardPasteHasOneMessagePerHeader) {
  // The app's layout puts the card below the customer's name; the text
  // layout puts it first. Pasted together, each message starts with its
  // header, and the split then finds two.
  const std::string paste =
      "[Web발신]\n홍*동님\nNH농협카드 승인\n12,000원 일시불\n12/10 13:20\n스타벅스\n"
      "[Web발신]\nNH카드3*3*승인\n홍*동\n4,500원 일시불\n12/10 14:00\nGS25\n총누적 456,000원";
  const CleanedPaste cleaned = cleanPaste(paste);
  EXPECT_EQ(cleaned.text,
            "[Web발신]\nNH농협카드 승인\n홍*동님\n12,000원 일시불\n12/10 13:20\n스타벅스\n"
            "[Web발신]\nNH카드3*3*승인\n홍*동\n4,500원 일시불\n12/10 14:00\nGS25\n총누적 456,000원");
  const ResultSmsStrCut cut = collectPasteAnalySis(cleaned.text, {});
  EXPECT_EQ(cut.collectCount, 2);
  EXPECT_EQ(cut.severalStr, "[Web발신]\nNH농협카드 승인\n홍*동님\n12,000원 일시불\n12/10 13:20\n스타벅스");
}

}  // namespace
}  // namespace varnel
