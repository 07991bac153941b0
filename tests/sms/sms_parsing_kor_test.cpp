#include <random>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ledger/currency_repository.h"
#include "setup/initial_data.h"
#include "sms/sms_parsing_kor.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;
using testing::TestLedgerOptions;

class SmsParsingKorTest : public LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    ASSERT_TRUE(settingDefaultData(*ledger_, 0));
  }
  void reopenAt(const TestLedgerOptions& options) {
    reopen(options);
  }
  std::unique_ptr<SmsParsingKor> parse(const std::string& message, const std::string& macro = "",
                                       const std::string& userMacro = "") {
    auto p = std::make_unique<SmsParsingKor>(*ledger_);
    p->parsing(message, macro, userMacro);
    return p;
  }
};

struct Expected {
  const char* message;
  const char* macro;  // the built-in macro that matched
  const char* amount;
  const char* kind;
  const char* date;
  const char* time;
  const char* installment;
  const char* content;
};

// The test ledger's today is 2026-12-10, 09:00 in Seoul.
TEST_F(SmsParsingKorTest, CardAndBankMessages) {
  const Expected cases[] = {
      // A running total after the purchase is not the amount.
      {"[Web발신]\n신한카드(1234)승인 홍*동 12,500원(일시불)12/09 13:45 스타벅스강남점 누적1,234,560원", "신한카드",
       "12500", "1", "2026-12-09", "13:45", "0", "스타벅스강남점"},
      // A cancellation is a negative expense without "취소" in the content.
      {"[Web발신]\n신한카드(1234)취소 홍*동 12,500원(일시불)12/09 13:50 스타벅스강남점", "신한카드", "-12500", "1",
       "2026-12-09", "13:50", "0", "스타벅스강남점"},
      // The taxi app's notice about its estimate is no cancellation.
      {"카카오T 택시 결제 15,300원 기존에 승인된 예상 요금은 자동 취소되며, 실제 택시 요금만 결제됩니다.", "", "15300",
       "1", "2026-12-10", "09:00", "0", "카카오T택시"},
      // The card's name leaves the content, "삼성" with it.
      {"[Web발신]\n삼성카드 승인 이*희 8,900원 일시불 12/10 08:15 삼성전자서비스", "삼성카드", "8900", "1",
       "2026-12-10", "08:15", "0", "전자서비스"},
      {"[Web발신]\n삼성카드 승인 이*희 98,900원 일시불 12/10 08:15 삼성화재해상보험", "삼성카드", "98900", "1",
       "2026-12-10", "08:15", "0", "삼성화재해상보험"},
      // The account "롯데" leaves a Lotte shop's name alone.
      {"[Web발신]\n롯데 2*1*승인 한*영 27,800원 일시불 12/02 19:44 롯데마트 잠실점", "롯데", "27800", "1",
       "2026-12-02", "19:44", "0", "롯데롯데마트잠실점"},
      // Four digits or more leave a merchant's name, unless it is a motorbike's.
      {"신한카드(1234)승인 홍*동 5,000원(일시불)12/09 13:45 세븐일레븐1234점", "신한카드", "5000", "1", "2026-12-09",
       "13:45", "0", "세븐일레븐점"},
      {"신한카드(1234)승인 홍*동 5,000원(일시불)12/09 13:45 1000CC바이크", "신한카드", "5000", "1", "2026-12-09",
       "13:45", "0", "1000CC바이크"},
      {"KB국민카드4*5*승인 홍*동 3개월 120,000원 12/05 10:00 쿠팡 누적1,500,000원", "KB국민카드", "120000", "1",
       "2026-12-05", "10:00", "3", "쿠팡"},
      {"우리카드(1234)승인 홍*동 10,000원 일시불 12/09 3:05 PM 이디야", "우리카드", "10000", "1", "2026-12-09",
       "15:05", "0", "이디야"},
      {"[Web발신]\n하나카드 승인 정*우 15,000원 일시불 2026.12.05 18:30 CGV 용산", "하나카드", "15000", "1",
       "2026-12-05", "18:30", "0", "CGV용산"},
      {"농협 입금12,000원 12/08 10:15 123-****-4567-89 홍길동 잔액 1,234,000원", "농협", "12000", "0", "2026-12-08",
       "10:15", "0", "홍길동"},
      // Without grouping the amount is read after "입금".
      {"신한 12/28 10:00 입금 500000 홍길동", "신한", "500000", "0", "2026-12-28", "10:00", "0", "홍길동"},
      {"[Web발신]\nIBK기업 12/03 09:00 출금 50,000원 한국전력공사 잔액 100,000원", "기업", "50000", "1",
       "2026-12-03", "09:00", "0", "한국전력공사"},
      {"NH농협카드 승인 홍*동 25,000원 일시불 12/06 12:30 김밥천국 NH포인트 250적립예정", "NH농협카드", "25000", "1",
       "2026-12-06", "12:30", "0", "김밥천국"},
      // A bare "MMDD" of SC Bank.
      {"[Web발신] SC은행 1209 출금 33,000원 도시가스", "SC은행", "33000", "1", "2026-12-09", "09:00", "0", "도시가스"},
      {"신한 12월25일 출금 30,000원 관리비", "신한", "30000", "1", "2026-12-25", "09:00", "0", "관리비"},
      // The won amount of an overseas approval written with "KRW".
      {"신한카드 해외승인 홍*동 KRW 52,000 12/01 AGODA", "신한카드", "52000", "1", "2026-12-01", "09:00", "0",
       "AGODA"},
      // Senders' labels and notices leave the content.
      {"[Web발신]\n[하나카드] 승인 안내 홍*동님 이용카드 : 하나 ◆ 사용금액 : 22,000원 거래시간 : 12/04 19:00 교촌치킨",
       "하나카드", "22000", "1", "2026-12-04", "19:00", "0", "교촌치킨"},
      {"[키움]배당금이 입금되었습니다. 종목명:삼성전자 배당금액 12,340원 12/08", "", "12340", "0", "2026-12-08", "09:00",
       "0", "삼성전자"},
      // A date of a day the calendar lacks is no date.
      {"신한카드(1234)승인 홍*동 5,000원(일시불)02/30 13:45 이마트", "신한카드", "5000", "1", "2026-12-10", "13:45",
       "0", "이마트"},
  };
  for (const Expected& c : cases) {
    auto p = parse(c.message, c.macro);
    EXPECT_EQ(p->moneyMainStr, c.amount) << c.message;
    EXPECT_EQ(p->doTypeStr, c.kind) << c.message;
    EXPECT_EQ(p->dpDateKey(), c.date) << c.message;
    EXPECT_EQ(p->timeStampStr, c.time) << c.message;
    EXPECT_EQ(p->installment, c.installment) << c.message;
    EXPECT_EQ(p->mainContentStr, c.content) << c.message;
    EXPECT_FALSE(p->currency) << c.message;
  }
}

TEST_F(SmsParsingKorTest, TheGuessedCategoryFollowsTheContent) {
  auto p = parse("[Web발신]\n신한카드(1234)승인 홍*동 12,500원(일시불)12/09 13:45 스타벅스강남점", "신한카드");
  ASSERT_TRUE(p->cateObject);
  EXPECT_EQ(p->cateObject->Name.value_or(""), "식비");
  p = parse("[Web발신]\nIBK기업 12/03 09:00 출금 50,000원 한국전력공사 잔액 100,000원", "기업");
  EXPECT_EQ(p->cateObject->Name.value_or(""), "주거/공과금");
}

// Every foreign currency with the rate it takes in a ledger that does not
// hold it (the main currency is the won here).
TEST_F(SmsParsingKorTest, ForeignCurrenciesAtTheirFallbackRates) {
  const std::pair<const char*, const char*> cases[] = {
      {"EUR 12.50", "16727"}, {"JPY 1,500", "16955"}, {"CNY 12.50", "2170"},  {"VND 250,000", "12975"},
      {"TWD 12.50", "479"},   {"IDR 12.50", "1"},     {"THB 12.50", "490"},   {"GBP 12.50", "18297"},
      {"SGD 12.50", "10936"}, {"HKD 12.50", "1923"},  {"INR 12.50", "216"},   {"AED 12.50", "4100"},
      {"CHF 12.50", "15323"}, {"TRY 12.50", "558"},   {"AUD 12.50", "10475"}, {"NZD 12.50", "9830"},
      {"RUB 12.50", "231"},   {"MYR 12.50", "3521"},  {"ARS 12.50", "161"},   {"CAD 12.50", "11400"},
      {"RM 12.50", "3521"},   {"KHR 12.50", "13"},    {"SAR 12.50", "4385"},  {"UYU 12.50", "411"},
      {"UAH 12.50", "500"},   {"CZK 12.50", "726"},   {"USD 12.50", "15058"}, {"€ 12.50", "16727"},
      {"12.50 유로", "16727"}, {"$12.50", "15058"},   {"12.50달러", "15058"},  {"USD .50", "602"},
  };
  for (const auto& [amount, won] : cases) {
    const std::string message = std::string("신한카드 해외승인 홍*동 ") + amount + " 12/01 SHOP";
    auto p = parse(message, "신한카드");
    EXPECT_EQ(p->moneyMainStr, won) << message;
    EXPECT_FALSE(p->currency) << message;
    EXPECT_EQ(p->mainContentStr, "SHOP") << message;
  }
}

TEST_F(SmsParsingKorTest, AHeldCurrencyKeepsTheAmountAsWritten) {
  ASSERT_TRUE(CurrencyRepository(*ledger_).addCurrencyRate("KRW", "USD", 1300, true));
  auto p = parse("[Web발신]\n우리카드(9876)해외승인 최*수 USD 12.50 12/06 10:11 NETFLIX.COM", "우리카드");
  EXPECT_EQ(p->moneyMainStr, "12.50");
  ASSERT_TRUE(p->currency);
  EXPECT_EQ(p->currency->iso.value_or(""), "USD");
  EXPECT_EQ(p->mainContentStr, "NETFLIX");

  p = parse("우리카드(9876)해외취소 최*수 USD 12.50 12/06 10:11 NETFLIX.COM", "우리카드");
  EXPECT_EQ(p->moneyMainStr, "-12.50");
}

// The fallback rates are won per unit: a ledger kept in dollars gets a euro
// amount through both rates, in its own decimals.
TEST_F(SmsParsingKorTest, FallbackRatesInALedgerKeptInAnotherCurrency) {
  testing::TempDir dir;
  TestLedgerOptions options;
  options.locale = "en_US";
  options.lang = "en";
  options.region = "KR";
  auto ledger = Ledger::open(testing::testEnvironment(dir.path(), options));
  ASSERT_TRUE(settingDefaultData(*ledger, 0));
  ASSERT_EQ(ledger->commonData().mainCurrency()->iso.value_or(""), "USD");
  SmsParsingKor p(*ledger);
  p.parsing("신한카드 해외승인 홍*동 EUR 30.00 12/01 SHOP", "신한카드", "");
  EXPECT_EQ(p.moneyMainStr, "33.33");
  EXPECT_FALSE(p.currency);
}

TEST_F(SmsParsingKorTest, AYearIsGuessedFromTodayWhenTheMessageHasNone) {
  TestLedgerOptions options;
  options.now = "2027-01-05T10:00:00";
  reopen(options);
  struct Case {
    const char* day;
    const char* date;
  };
  for (const Case& c : {Case{"12/28", "2026-12-28"}, Case{"04/01", "2027-04-01"}, Case{"05/01", "2026-05-01"}}) {
    auto p = parse(std::string("신한카드(1234)승인 홍*동 12,500원(일시불)") + c.day + " 13:45 스타벅스", "신한카드");
    EXPECT_EQ(p->dpDateKey(), c.date) << c.day;
  }
  // Without any date the caller's date stands.
  auto p = std::make_unique<SmsParsingKor>(*ledger_);
  p->pastDate = LocalDateTime{2026, 11, 3};
  p->parsing("출금 5,000원 홍길동", "", "");
  EXPECT_EQ(p->dpDateKey(), "2026-11-03");
}

// ---- Randomised mutations ------------------------------------------------------------

std::string utf8Of(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// Pieces the mutations insert: what the patterns look for, and bytes that
// are not UTF-8 at all.
const std::vector<std::string>& pieces() {
  static const std::vector<std::string> kPieces = {
      "0", "1", "9", ",", ".", "/", ":", "-", "*", "(", ")", "[", "]", " ", "\n", "원", "님", "승인", "취소", "입금",
      "출금", "누적", "잔액", "일시불", "개월", "할부", "USD", "$", "€", "KRW", "JPY", "오후", "PM", "12/31", "23:59",
      "2026.12.31", "1,234,567", "12.50", "롯데", "삼성", "우리카드", "하나", "\\", "|", "?", "+", "{", "\xff", "\xc3",
      "\xe2\x82", "\t", "\r", "토스", "카드", "(주)", "1000CC", "100%", "㈜", "\u00A0"};
  return kPieces;
}

std::string mutate(std::mt19937& random, const std::vector<std::string>& seeds) {
  std::string text = seeds[random() % seeds.size()];
  const int steps = 1 + static_cast<int>(random() % 6);
  for (int i = 0; i < steps; ++i) {
    const size_t at = text.empty() ? 0 : random() % (text.size() + 1);
    switch (random() % 6) {
      case 0:  // insert
        text.insert(at, pieces()[random() % pieces().size()]);
        break;
      case 1:  // delete (any byte: a cut through a character is fine)
        if (!text.empty()) text.erase(at % text.size(), 1 + random() % 4);
        break;
      case 2: {  // repeat a stretch
        const size_t length = std::min<size_t>(text.size() - std::min(at, text.size()), 1 + random() % 12);
        const std::string stretch = text.substr(std::min(at, text.size()), length);
        for (int r = static_cast<int>(random() % 5); r >= 0; --r) text.insert(at, stretch);
        break;
      }
      case 3: {  // splice with another message
        const std::string& other = seeds[random() % seeds.size()];
        text = text.substr(0, at) + other.substr(random() % (other.size() + 1));
        break;
      }
      case 4:  // a Hangul syllable
        text.insert(at, utf8Of(0xAC00 + random() % 11172));
        break;
      default:  // an ASCII character
        text.insert(at, 1, static_cast<char>(0x20 + random() % 95));
        break;
    }
  }
  return text;
}

// Parses `message` and checks that every field is one a caller can use.
void expectWellFormed(Ledger& ledger, const std::shared_ptr<const SmsParsingData>& data,
                      const std::string& message) {
  static const std::regex kAmount(R"(-?(0|[1-9][0-9]{0,15})(\.[0-9]{1,3})?)");
  static const std::regex kTime(R"(([01][0-9]|2[0-3]):[0-5][0-9])");
  static const std::regex kMonths(R"([0-9]{1,2})");
  SmsParsingKor p(ledger, data);
  p.parsing(message, "신한카드", "");
  const std::string shown = message.substr(0, 200);
  EXPECT_TRUE(std::regex_match(p.moneyMainStr, kAmount)) << p.moneyMainStr << " from " << shown;
  EXPECT_TRUE(p.doTypeStr == "0" || p.doTypeStr == "1") << shown;
  EXPECT_TRUE(std::regex_match(p.timeStampStr, kTime)) << p.timeStampStr << " from " << shown;
  EXPECT_TRUE(std::regex_match(p.installment, kMonths)) << p.installment << " from " << shown;
  ASSERT_TRUE(p.dpDate) << shown;
  EXPECT_GE(p.dpDate->month, 1);
  EXPECT_LE(p.dpDate->month, 12);
  EXPECT_GE(p.dpDate->day, 1);
  EXPECT_LE(p.dpDate->day, 31);
  EXPECT_LE(p.dpDate->year, 2026 + 5);
  EXPECT_EQ(p.mainContentStr, sms::toUtf8(sms::trimmed(sms::fromUtf8(p.mainContentStr)))) << shown;
  if (p.currency) {
    EXPECT_TRUE(p.currency->iso) << shown;
  }
}

// Random edits of real messages, splices and long runs: no crash, no hang
// (every pattern gives up within its limits), every field well-formed, and
// no keyword list of a pattern that rules out a text the pattern matches.
TEST_F(SmsParsingKorTest, MutatedMessagesGiveWellFormedResults) {
  const std::vector<std::string> seeds = {
      "[Web발신]\n신한카드(1234)승인 홍*동 12,500원(일시불)12/09 13:45 스타벅스강남점 누적1,234,560원",
      "KB국민카드4*5*승인 홍*동 3개월 120,000원 12/05 10:00 쿠팡 누적1,500,000원",
      "농협 입금12,000원 12/08 10:15 123-****-4567-89 홍길동 잔액 1,234,000원",
      "[Web발신]\n우리카드(9876)해외승인 최*수 USD 12.50 12/06 10:11 NETFLIX.COM",
      "[KB]12/09 14:22\n123456**789\n급여\n3,200,000\n잔액4,512,330",
      "[카카오페이머니] 결제가 완료되었어요 - 상품명 : 카카오 이모티콘 플러스 월 구독권; 4,900원 가맹점 주문번호 1234",
      "하나카드 승인 안내 ◆ 사용금액 : 15,000원 거래시간 : 2026.12.05 18:30 CGV 용산 [하나카드] 승인 안내",
      "[Web발신] SC은행 1209 출금 33,000원 도시가스 수수료: 무료 www.example.com",
      "신한카드 해외승인 EUR 30.00 (KRW 40,144) 12/02 22:10 ZARA PARIS 12월25일 3/5일",
  };
  const auto data = SmsParsingData::load(*ledger_);
  sms::setKeywordCheck(true);
  const int64_t misses = sms::keywordMissCount();
  std::mt19937 random(20261210);
  for (int i = 0; i < 500; ++i) expectWellFormed(*ledger_, data, mutate(random, seeds));

  // Long runs of what amounts and names are made of.
  std::vector<std::string> longOnes = {std::string(6000, '9'), std::string(6000, ',')};
  std::string hangul;
  for (int i = 0; i < 3000; ++i) hangul += utf8Of(0xAC00 + random() % 11172);
  longOnes.push_back(hangul);
  std::string numbers;
  for (int i = 0; i < 1500; ++i) numbers += "1,234 ";
  longOnes.push_back(numbers + "원 누적 " + numbers);
  std::string stars;
  for (int i = 0; i < 1500; ++i) stars += "홍*동님 ";
  longOnes.push_back(stars);
  for (const std::string& message : longOnes) expectWellFormed(*ledger_, data, message);
  EXPECT_EQ(sms::keywordMissCount(), misses);
  sms::setKeywordCheck(false);
}

}  // namespace
}  // namespace varnel
