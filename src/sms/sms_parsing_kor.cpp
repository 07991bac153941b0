#include "sms/sms_parsing_kor.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <mutex>
#include <unordered_map>

#include <fmt/format.h>

#include "ledger/currency_conversion.h"
#include "ledger/currency_repository.h"
#include "model/ledger.h"
#include "sms/sms_parsing_kor_patterns.h"

namespace varnel {

using namespace kor_patterns;
using sms::contains;
using sms::cutAfter;
using sms::lit;
using sms::Pattern;
using sms::removeAll;
using sms::replaceAll;
using sms::Span;
using sms::UString;

namespace {

// The largest amount a message can name: beyond it a run of digits is not a
// price (and would lose its last digits as a double).
constexpr double kMaxAmount = 1e15;

// The pattern of one of the constant pattern texts, made once per process
// and found again by the text's address, without hashing the text.
const Pattern& cached(const char16_t* text) {
  static std::mutex mutex;
  static auto* patterns = new std::unordered_map<const char16_t*, std::unique_ptr<Pattern>>();
  std::lock_guard lock(mutex);
  std::unique_ptr<Pattern>& slot = (*patterns)[text];
  if (slot) return *slot;
  // The biggest patterns are searched only in texts that hold one of the
  // words every branch of theirs needs.
  if (text == kRewardPoints) {
    slot = std::make_unique<Pattern>(text, sms::Keywords{{
                                               u"적립", u"잔여", u"&", u"캐시", u"사용", u"point", u"캐쉬백주", u"포인트"}});
  } else if (text == kMaskedNames) {
    slot = std::make_unique<Pattern>(text, sms::Keywords{{u"님", u"*", u"＊", u"메시지"}});
  } else if (text == kBalance) {
    slot = std::make_unique<Pattern>(text, sms::Keywords{{
                                               u"잔", u"가능", u"예정", u"청구", u"충전", u"할인", u"top", u"한도", u"남은"}});
  } else {
    slot = std::make_unique<Pattern>(text);
  }
  return *slot;
}

UString removeAllMatches(const UString& text, const char16_t* pattern) {
  return sms::removeAll(text, cached(pattern));
}

UString removeFirstMatch(const UString& text, const char16_t* pattern) {
  return sms::removeFirst(text, cached(pattern));
}

bool any(const UString& text, std::initializer_list<const char16_t*> words) {
  return std::any_of(words.begin(), words.end(), [&text](const char16_t* w) { return contains(text, w); });
}

void removeEach(UString& text, std::initializer_list<const char16_t*> words) {
  for (const char16_t* w : words) removeAll(text, w);
}

// Text with `span` cut out.
UString without(const UString& text, const Span& span) {
  UString out(text, 0, span.start);
  out.append(text, span.end, text.length() - span.end);
  return out;
}

// Every occurrence of `part`, ignoring case.
void removeAllIgnoringCase(UString& text, const UString& part) {
  if (part.isEmpty()) return;
  const Pattern p(sms::quoted(part));
  text = sms::removeAll(text, p);
}

void removeFirstIgnoringCase(UString& text, const UString& part) {
  if (part.isEmpty()) return;
  const Pattern p(sms::quoted(part));
  text = sms::removeFirst(text, p);
}

bool containsIgnoringCase(const UString& text, const UString& part) {
  if (part.isEmpty()) return false;
  return sms::lowered(text).indexOf(sms::lowered(part)) >= 0;
}

// A decimal number written with "." as the decimal mark and no grouping.
std::optional<double> readNumber(const UString& text) {
  const std::string digits = sms::toUtf8(text);
  double value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  if (!std::isfinite(value) || std::fabs(value) >= kMaxAmount) return std::nullopt;
  return value;
}

std::string formatAmount(double amount, int decimals) {
  const double rounded = roundMoney(amount, decimals);
  return fmt::format("{:.{}f}", rounded == 0 ? 0.0 : rounded, decimals);
}

int decimalsOf(const std::optional<Currency>& currency) {
  const int64_t point = currency ? currency->point.value_or(0) : 0;
  return point >= 1 && point <= 3 ? static_cast<int>(point) : 0;
}

// The digits of `text` as a number; -1 without digits or with too many.
int numberIn(const UString& text) {
  int value = 0;
  int count = 0;
  for (int32_t i = 0; i < text.length(); ++i) {
    const char16_t c = text.charAt(i);
    if (c < u'0' || c > u'9') continue;
    if (++count > 6) return -1;
    value = value * 10 + (c - u'0');
  }
  return count == 0 ? -1 : value;
}

int daysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// ---- Bank clean-ups ----------------------------------------------------------------
// Each one knows one sender's wording and otherwise returns its text.

UString MGCheckCardException(UString t) {
  if (contains(t, u"MG스마트알림") && contains(t, u"MG체크카드")) removeAll(t, u"MG스마트알림");
  return t;
}

UString HanaCardException(UString t) {
  if (!contains(t, u"하나카드")) return t;
  replaceAll(t, u"[하나카드] 승인 안내", u"[하나카드] 승인");
  removeEach(t, {u"안내드립니다.", u"이용카드 : 하나", u"이용카드 : MG+ 하나", u"◆ 사용금액 :", u"◆ 이용현황",
                 u"거래종류 :", u"거래구분 :", u"거래시간 :"});
  return t;
}

UString hyunDaeCardPasteStrException(UString t) {
  replaceAll(t, u"현대카드 디지털러버", u"현대카드");
  if (contains(t, u"현대ZERO")) removeAll(t, u"현대카드");
  removeEach(t, {u"회원님", u"승인 안내입니다", u"*Bit.ly/앱_명세서"});
  return t;
}

UString kakaoPayPasteStrException(UString t) {
  if (contains(t, u"카카오페이머니")) {
    t = removeAllMatches(t, kKakaoProductName);
    t = removeAllMatches(t, kKakaoPurchases);
    t = removeAllMatches(t, kKakaoDetails);
    cutAfter(t, u"가맹점 주문번호");
  }
  removeEach(t, {u"현금영수증 발행정보는 카카오페이 이용내역에서 확인해주세요", u"페이머니 충전 후 정기결제 등록이 완료되었습니다",
                 u"페이머니 충전 후 결제가 완료되었습니다", u"페이머니 충전 후 결제가 완료되었어요",
                 u"※ 현금영수증 발행정보는 카카오페이 이용내역에서 확인해주세요",
                 u"선불전자영수증 발행정보는 카카오페이 이용내역에서 확인해주세요", u"자세한 내용은 구매처에서 확인하세요",
                 u"[카카오페이 자동결제]", u"카카오페이머니", u"[카카오페이 카드 간편결제]", u"[페이증권] 주간 수익 안내"});
  replaceAll(t, u"지난 주 페이증권 잔액에 대한 수익금이 입금되었습니다", u"수익금");
  removeEach(t, {u"자세한 내역은 페이홈 > 내역보기에서 확인할 수 있습니다", u"현금영수증 발행정보는 가맹점을 통해 확인해주세요",
                 u"상세 항목은 '앱스토어 > 계정 > 구입내역'에서 확인 가능합니다.", u"결제가 완료되었어요"});
  cutAfter(t, u"받기 완료!받은");
  removeAll(t, u"수수료 : 무료");
  return t;
}

UString kakaoBankException(UString t) {
  if (contains(t, u"[카카오뱅크]")) replaceAll(t, u"[카카오뱅크] 카드결제", u"[카카오뱅크]");
  removeAll(t, u"결제가 완료되었어요");
  return t;
}

UString disasterSubsidyException(UString t) {
  removeEach(t, {u"힘내라 우리국민", u"힘내라 우리경제", u"정부 긴급재난지원금",
                 u"페이북App을 통해 포인트 잔액 및 내역조회가 가능합니다", u"문의 : 비씨카드 콜센터", u"문의 : 우리카드"});
  return t;
}

UString IBKKiupException(UString t) {
  if (!contains(t, u"IBK기업")) return t;
  replaceAll(t, u"IBK기업", u"기업");
  removeAll(t, u"BC카드");
  return t;
}

UString KeyumException(UString t) {
  if (!contains(t, u"키움")) return t;
  removeEach(t, {u"[키움] 해외증권 배당금 입금 안내", u"[키움]배당금이 입금되었습니다.", u"배당금이 입금되었습니다.",
                 u"거래내역을 확인해주시기 바랍니다.", u"종목코드:", u"종목명:", u"(문의) 키움금융센터"});
  if (contains(t, u"배당입금") && contains(t, u"세전") && contains(t, u"세후")) {
    t = removeAllMatches(t, kKiwoomDividend);
    removeEach(t, {u"세전", u"세후"});
  }
  return t;
}

UString SinhanExcption(UString t) {
  if (contains(t, u"신한온누리")) cutAfter(t, u"거래내역 및 잔액확인은");
  return t;
}

UString SinhanInvestException(UString t) {
  if (any(t, {u"신한금융투자", u"신한투자증권"})) {
    removeEach(t, {u"[신한금융투자] 해외증권 배당금 입금 안내", u"계좌번호 :", u"종목 :", u"해외배당금 :", u"입금 완료",
                   u"고객지원센터 해외주식팀 ☎ 02-3772-2525", u"은행이체입금", u"상대계좌명 : "});
    if (contains(t, u"최종")) t = removeAllMatches(t, kSinhanInvestFinal);
  }
  // The account holder's name follows this label in every sender's text.
  if (contains(t, u"계좌명")) t = removeAllMatches(t, kAccountHolderName);
  return t;
}

UString ChaiPayException(UString t) {
  removeAll(t, u"취소나 반품 및 교환은 구매하신 판매처에 문의해주세요");
  return t;
}

UString AppleContentsException(UString t) {
  removeEach(t, {u"[Apple]콘텐츠이용료 결제가 완료되었습니다.", u"이용내역 문의처 :"});
  if (contains(t, u"서비스업체")) t = removeFirstMatch(t, kAppleServiceCompany);
  return t;
}

UString SinhanCardException(UString t) {
  removeEach(t, {u"‘제2차 경기도 재난기본소득’ [차감 안내]", u"재난기본소득 차감"});
  cutAfter(t, u"☞경기도 재난기본소득이란?");
  return t;
}

UString JeonjuLoveException(UString t) {
  if (contains(t, u"전주사랑상품권") && contains(t, u"승인")) {
    cutAfter(t, u"(캐시백");
    cutAfter(t, u"캐시백");
  }
  return t;
}

UString smilePayException(UString t) {
  cutAfter(t, u"스마일페이 기본 적립 :");
  return t;
}

UString SinhanBankException(UString t) {
  if (!contains(t, u"신한은행")) return t;
  removeEach(t, {u"대출이자 당일안내", u"은 고객님의", u"납입일 입니다", u"이자금액"});
  if (contains(t, u"금리")) t = removeAllMatches(t, kSinhanRate);
  return t;
}

UString GS25Exception(UString t) {
  // Keeps the shop's name from being read as a day of the month.
  replaceAll(t, u"(GS)25일", u"(GS)25");
  return t;
}

UString hansalimException(UString t) {
  if (!containsIgnoringCase(t, lit(u"hansalim"))) return t;
  t = removeAllMatches(t, kHansalimLines);
  removeEach(t, {u"물품명 :", u"살림포인트 "});
  return t;
}

UString kakaoReceipt(UString t) {
  if (!contains(t, u"영수증이 발행되었습니다")) return t;
  removeEach(t, {u"에서 결제한 영수증이 발행되었습니다. 영수증을 열어 상세 정보를 확인하세요.", u"카드:"});
  return t;
}

UString SCJeilException(UString t) {
  removeAll(t, u"[ 카드 사용 안내 ]");
  return t;
}

UString OnnuriException(UString t) {
  removeAll(t, u"[온누리상품권 결제 승인]");
  return t;
}

UString BCCardException(UString t) {
  if (contains(t, u"BC바로")) removeAll(t, u"BC 바로 K-패스");
  cutAfter(t, u"휴대폰메시지 표준약관");
  cutAfter(t, u"문자(부고, 택배 등)");
  return t;
}

UString KTSmallPayment(UString t) {
  if (!contains(t, u"KT")) return t;
  if (contains(t, u"휴대폰 소액결제")) cutAfter(t, u"참고사항");
  if (contains(t, u"휴대폰 휴대폰결제")) {
    removeAll(t, u"[KT] 휴대폰 휴대폰결제  완료 안내");
    cutAfter(t, u"휴대폰결제 관련");
  }
  return t;
}

UString mireaAssetException(UString t) {
  if (contains(t, u"미래에셋증권")) t = removeAllMatches(t, kMiraeMaskedAccount);
  return t;
}

UString KBPayException(UString t) {
  replaceAll(t, u"[KB Pay 사용 알림]", u"사용 알림");
  return t;
}

UString EtcException(UString t) {
  if (contains(t, u"정액권 사용내역")) {
    removeEach(t, {u"정액권 사용내역 안내문자입니다", u"이용날짜", u"남은금액", u"결제가 완료되었어요"});
  }
  return t;
}

UString bankCleanUps(UString t) {
  for (UString (*cleanUp)(UString) :
       {HanaCardException, hyunDaeCardPasteStrException, kakaoPayPasteStrException, kakaoBankException,
        disasterSubsidyException, IBKKiupException, KeyumException, SinhanExcption, SinhanInvestException,
        ChaiPayException, AppleContentsException, SinhanCardException, JeonjuLoveException, smilePayException,
        SinhanBankException, GS25Exception, hansalimException, kakaoReceipt, SCJeilException, OnnuriException,
        BCCardException, KTSmallPayment, mireaAssetException, KBPayException, EtcException}) {
    t = cleanUp(std::move(t));
  }
  return t;
}

// ---- Foreign currencies ----------------------------------------------------------------

struct ForeignCurrency {
  const char16_t* code;     // as written in messages
  const char* iso;          // the ledger's code
  double rate;              // won per unit, when the ledger holds no such currency
};

// Won per unit of each currency, for a ledger that does not hold it. The
// Australian dollar and the hryvnia stand at their market order of magnitude
// (the first is worth about twenty lira, the second about forty won).
constexpr double kRateEUR = 1338.1286, kRateJPY = 11.3031, kRateCNY = 173.5622, kRateVND = 0.0519,
                 kRateUSD = 1204.6088;
constexpr ForeignCurrency kWholeOrDecimal[] = {
    {u"TWD", "TWD", 38.2842}, {u"IDR", "IDR", 0.0846}, {u"THB", "THB", 39.1653}};
constexpr ForeignCurrency kDecimalOnly[] = {
    {u"GBP", "GBP", 1463.7478}, {u"SGD", "SGD", 874.8486}, {u"HKD", "HKD", 153.8693}, {u"INR", "INR", 17.2889},
    {u"AED", "AED", 327.9795},  {u"CHF", "CHF", 1225.8428}, {u"TRY", "TRY", 44.669},   {u"AUD", "AUD", 838.0},
    {u"NZD", "NZD", 786.4362},  {u"RUB", "RUB", 18.4539},   {u"MYR", "MYR", 281.6792}, {u"ARS", "ARS", 12.84401},
    {u"CAD", "CAD", 912.0234},  {u"RM", "MYR", 281.6792},   {u"KHR", "KHR", 1.0},      {u"SAR", "SAR", 350.8},
    {u"UYU", "UYU", 32.9},      {u"UAH", "UAH", 40.0},      {u"CZK", "CZK", 58.04}};

double fallbackRateOf(const std::string& iso) {
  if (iso == "KRW") return 1;
  if (iso == "EUR") return kRateEUR;
  if (iso == "JPY") return kRateJPY;
  if (iso == "CNY") return kRateCNY;
  if (iso == "VND") return kRateVND;
  if (iso == "USD") return kRateUSD;
  for (const ForeignCurrency& c : kWholeOrDecimal) {
    if (iso == c.iso) return c.rate;
  }
  for (const ForeignCurrency& c : kDecimalOnly) {
    if (iso == c.iso) return c.rate;
  }
  return 0;
}

UString withCode(const char16_t* pattern, const UString& code) {
  UString p = lit(pattern);
  p.findAndReplace(lit(u"%@"), code);
  return p;
}

}  // namespace

// ---- The pipeline ----------------------------------------------------------------------

void SmsParsingKor::parsing(const std::string& text, const std::string& findMacroName,
                            const std::string& findUserMacroName) {
  const UString message = MGCheckCardException(sms::fromUtf8(text));
  SmsParsing::parsing(sms::toUtf8(message), findMacroName, findUserMacroName);
  const UString N = sms::fromUtf8(findMacroName);
  const UString U = sms::fromUtf8(findUserMacroName);

  oriStr = removeWordNotNecessary(removeLineChange(sms::toUtf8(message)));
  const UString origin = sms::fromUtf8(oriStr);
  UString t = bankCleanUps(origin);
  t = timerFilterU(t);

  // Running totals, balances, limits and points look like amounts; they go
  // before the amount is read.
  for (const char16_t* lookAlike : {kSupplyValue, kRunningTotal, kAvailableAmount, kBalance}) {
    t = removeAllMatches(t, lookAlike);
  }
  if (region_ == "US") t = removeAllMatches(t, kUsRemainingLimit);
  for (const char16_t* lookAlike :
       {kCollectionTotal, kRewardPoints, uR"re(대출금[0-9]{1,3}(,[0-9]{1,3})*(.[0-9]{1,2})?원)re"}) {
    t = removeAllMatches(t, lookAlike);
  }

  t = sms::fromUtf8(moneyMainStrFilter(sms::toUtf8(t)));
  if (moneyMainStr != "0") t = removeAllMatches(t, kPaymentAmountLabel);

  t = removeFirstMatch(t, kTax);
  t = sms::replaceFirst(t, cached(kSubsidy), lit(u"보조금"));
  t = removeFirstMatch(t, kServiceCharge);
  t = removeFirstMatch(t, kTotal);
  if (contains(t, u"잔여리터")) t = removeAllMatches(t, uR"re(잔여리터[0-9]{1,5})re");
  t = removeAllMatches(t, kRewardDate);

  t = sms::fromUtf8(dateFilter(sms::toUtf8(t)));
  t = removeAllMatches(t, kLumpSumDate);
  t = installmentFilterU(t);

  if (U.isEmpty() && contains(N, u"롯데")) {
    t = sms::removeAll(t, Pattern(UString(sms::quoted(N)).append(lit(uR"re(\*\d\*)re"))));
  }
  t = sms::fromUtf8(accountFilter(sms::toUtf8(t), findMacroName, findUserMacroName));

  // Approval numbers and masked card numbers.
  t = removeFirstMatch(t, kApprovalWithName);
  if (const std::optional<Span> masked = cached(kMaskedApproval).find(t)) {
    t = without(t, *masked);
  } else {
    t = removeAllMatches(t, kApprovalNumbers);
  }
  t = removeAllMatches(t, kMaskedNames);

  if (any(origin, {u"비씨카드", u"우리카드", u"우리체크카드"})) t = sms::fromUtf8(addressStringFilter(sms::toUtf8(t)));

  // Service numbers, telephone numbers, account and card numbers.
  t = removeAllMatches(t, kDanalNumber);
  t = removeAllMatches(t, kServiceNumbers);
  t = removeAllMatches(t, kPhoneLabel);
  t = removeFirstMatch(t, kCustomerNumber);
  t = removeFirstMatch(t, kStorePhone);
  t = removeFirstMatch(t, kMobileNumber);
  t = removeAllMatches(t, kAccountNumbers);
  t = sms::fromUtf8(filterUrl(sms::toUtf8(t)));
  t = removeAllMatches(t, kLeftovers);
  if (contains(t, u"입출금통장")) removeAll(t, u"→");

  std::string content = lastWordsFilter(sms::toUtf8(t));
  if (region_ == "US") content = lastWordsFilterUS(content);
  t = sms::fromUtf8(content);
  if (contains(t, u"은행업무마감시간이후") && contains(origin, u"우리카드")) cutAfter(t, u"은행업무마감시간이후");
  t = sms::fromUtf8(emptyStringFilter(sms::toUtf8(t)));
  if (!contains(t, u"1000CC")) t = removeAllMatches(t, kLongDigits);
  t = sms::fromUtf8(ectSpeciallCharFilter(sms::toUtf8(t)));

  if (contains(origin, u"네이버페이") && t.isEmpty()) t = lit(u"네이버페이");
  if (contains(origin, u"토스뱅크") && contains(t, u"카드")) removeAll(t, u"카드");
  for (const std::string& word : data_->stripWords) removeAll(t, sms::fromUtf8(word));
  mainContentStr = sms::toUtf8(sms::trimmed(t));

  UString second;
  if (!N.isEmpty()) {
    second = origin;
    removeAll(second, N);
  }
  if (!U.isEmpty()) removeAll(second, U);
  findCategoryFromSMSKo(mainContentStr, sms::toUtf8(second));
  checkDpDate();
}

// ---- Amounts ----------------------------------------------------------------------------

std::string SmsParsingKor::moneyMainStrFilter(const std::string& input) {
  moneyMainStr = "0";
  std::string text = input;
  const UString u = sms::fromUtf8(text);
  auto tryCurrency = [&](bool mentioned, const UString& pattern, const std::string& iso, double rate) {
    if (moneyMainStr == "0" && mentioned) text = currencyMoneyFilter(text, sms::toUtf8(pattern), iso, rate);
  };

  // The euro with the separators of the device's locale as well as with the
  // ones Korean messages use.
  const UString grouping = sms::quoted(sms::fromUtf8(groupingSeparator));
  const UString decimal = sms::quoted(sms::fromUtf8(decimalSeparator));
  auto localised = [&](const char16_t* pattern) {
    UString p = lit(pattern);
    const int32_t first = p.indexOf(lit(u"%@"));
    // In order: the grouping separator, then the decimal separator for the
    // remaining "%@" marks ("\%@" with the backslash already escaping it).
    if (first >= 0) p.replace(first, 2, grouping);
    UString marker = lit(u"\\%@");
    int32_t at = p.indexOf(marker);
    while (at >= 0) {
      p.replace(at, marker.length(), decimal);
      at = p.indexOf(marker, at + decimal.length());
    }
    return p;
  };
  UString euro = lit(kEuro);
  {
    const int32_t first = euro.indexOf(lit(u"%@"));
    if (first >= 0) {
      euro.replace(first, 2, localised(kEuroSignBefore));
      const int32_t second = euro.indexOf(lit(u"%@"), first);
      if (second >= 0) euro.replace(second, 2, localised(kEuroSignAfter));
    }
  }
  tryCurrency(any(u, {u"€", u"EUR", u"유로"}), euro, "EUR", kRateEUR);
  tryCurrency(any(u, {u"JPY", u" 엔 "}), lit(kYen), "JPY", kRateJPY);
  tryCurrency(any(u, {u" 위안", u"CNY"}), lit(kYuan), "CNY", kRateCNY);
  tryCurrency(contains(u, u"VND"), lit(kDong), "VND", kRateVND);
  for (const ForeignCurrency& c : kWholeOrDecimal) {
    tryCurrency(contains(u, c.code), withCode(kWholeOrDecimalCode, lit(c.code)), c.iso, c.rate);
  }
  for (const ForeignCurrency& c : kDecimalOnly) {
    tryCurrency(contains(u, c.code), withCode(kDecimalCode, lit(c.code)), c.iso, c.rate);
  }
  tryCurrency(any(u, {u"USD", u"US$", u"달러", u"$"}), lit(kDollar), "USD", kRateUSD);
  if (moneyMainStr != "0") return text;

  UString t = sms::fromUtf8(text);
  // Won written with "KRW" in an overseas approval: the amount charged in
  // won, next to the amount in the foreign currency.
  if (contains(t, u"KRW") && (any(t, {u"신용해외", u"해외승인", u"삼성카드"}) ||
                              (contains(t, u"KB국민카드") && contains(t, u"미국")))) {
    if (const std::optional<Span> span = cached(kOverseasWon).find(t)) {
      UString number = sms::slice(t, *span);
      removeEach(number, {u"원", u"KRW", u" ", u"(", u")", u","});
      if (const std::optional<double> amount = readNumber(number)) {
        moneyMainStr = formatAmount(*amount, 0);
        t = without(t, *span);
        // Held apart from the main currency only in a ledger kept in another one.
        if (!appCurrency || appCurrency->iso.value_or("") != "KRW") {
          if (std::optional<Currency> won = CurrencyRepository(ledger_).getCurrencyBySubIso("KRW")) currency = won;
        }
      }
    }
  }
  if (moneyMainStr == "0" && contains(t, u"기일출금")) {
    t = sms::fromUtf8(krwMoneyFilter(sms::toUtf8(t), sms::toUtf8(lit(kDueDateWithdrawal)), {}));
  }
  replaceAll(t, u"，", u",");
  if (moneyMainStr == "0") t = sms::fromUtf8(krwMoneyFilter(sms::toUtf8(t), sms::toUtf8(lit(kWon)), {"NH카드대금"}));
  if (moneyMainStr == "0") {
    t = sms::fromUtf8(krwMoneyFilter(sms::toUtf8(t), sms::toUtf8(lit(kWonFallback)), {"NH카드대금"}));
  }
  if (moneyMainStr != "0") t = removeFirstMatch(t, kLeftoverWon);
  return sms::toUtf8(t);
}

std::string SmsParsingKor::krwMoneyFilter(const std::string& input, const std::string& pattern,
                                          const std::vector<std::string>& keep) {
  UString t = sms::fromUtf8(input);
  if (contains(t, u"하나 알리미")) t = removeAllMatches(t, kHanaAlarmHeader);
  const std::optional<Span> span = Pattern(sms::fromUtf8(pattern)).find(t);
  if (!span) return sms::toUtf8(t);
  const UString found = sms::slice(t, *span);
  const std::optional<Span> numberSpan = cached(kWonNumber).find(found);
  if (!numberSpan) return sms::toUtf8(t);
  UString number = sms::slice(found, *numberSpan);
  removeAll(number, u",");
  std::optional<double> amount = readNumber(number);
  // A run of digits too long to be a price is not the amount.
  if (!amount) return sms::toUtf8(t);

  UString rest = without(t, *span);
  if (found.endsWith(lit(u"이"))) removeAll(rest, UString(found, 0, found.length() - 1));
  const UString origin = sms::fromUtf8(oriStr);
  if (*amount < 0 && contains(origin, u"웰컴저축은행") && contains(origin, u"계좌 출금")) *amount = -*amount;

  bool cancelled = false;
  if (doTypeStr == kSmsExpense) {
    if (contains(rest, u"취소")) {
      if (!contains(rest, u"기존에 승인된 예상 요금은 자동 취소")) {
        removeAll(rest, u"취소");
        cancelled = true;
      }
    } else if (contains(rest, u"캐시백") && !contains(rest, u"입금")) {
      cancelled = true;
    }
  } else if (contains(rest, u"매출취소")) {
    removeAll(rest, u"매출취소");
    cancelled = true;
  }
  if (cancelled && *amount > 0) *amount = -*amount;
  moneyMainStr = formatAmount(*amount, 0);
  for (const std::string& word : keep) {
    const UString w = sms::fromUtf8(word);
    if (contains(found, w)) rest.append(u' ').append(w);
  }
  return sms::toUtf8(rest);
}

std::string SmsParsingKor::currencyMoneyFilter(const std::string& input, const std::string& pattern,
                                               const std::string& iso, double rate) {
  const UString t = sms::fromUtf8(input);
  const std::optional<Span> span = Pattern(sms::fromUtf8(pattern)).find(t);
  if (!span) return input;
  UString found = sms::slice(t, *span);
  UString rest = without(t, *span);
  static const Pattern kBlankDecimal(kUsdBlankDecimal);
  if (kBlankDecimal.find(found)) replaceAll(found, u" ", u"0");

  const UString grouping = sms::fromUtf8(groupingSeparator);
  const UString decimal = sms::fromUtf8(decimalSeparator);
  UString numberPattern = lit(kLocaleNumber);
  const int32_t first = numberPattern.indexOf(lit(u"%@"));
  if (first >= 0) numberPattern.replace(first, 2, sms::quoted(grouping));
  const int32_t second = numberPattern.indexOf(lit(u"\\%@"));
  if (second >= 0) numberPattern.replace(second, 3, sms::quoted(decimal));
  const std::optional<Span> numberSpan = Pattern(numberPattern).find(found);
  if (!numberSpan) return input;
  UString number = sms::slice(found, *numberSpan);
  removeAll(number, grouping);
  if (decimal != lit(u".")) replaceAll(number, decimal, lit(u"."));
  std::optional<double> amount = readNumber(number);
  if (!amount) return input;

  const std::string mainIso = appCurrency ? appCurrency->iso.value_or("") : "";
  std::optional<Currency> held;
  if (iso == mainIso) {
    held = appCurrency;
  } else {
    held = CurrencyRepository(ledger_).getCurrencyBySubIso(iso);
  }
  double converted = *amount;
  int decimals = decimalsOf(appCurrency);
  if (held) {
    currency = held;
    decimals = decimalsOf(held);
  } else if (!mainIso.empty() && mainIso != "KRW") {
    // The fallback rates are in won: a ledger kept in another currency gets
    // the amount through its won rate when it has one, else through the
    // rates of both currencies against the won.
    std::optional<Currency> won = CurrencyRepository(ledger_).getCurrencyBySubIso("KRW");
    const double mainRate = fallbackRateOf(mainIso);
    if (won && isUsableRate(won->rate)) {
      converted = enteredToMain(decimalProduct(*amount, rate), *won->rate, decimals);
    } else if (mainRate > 0) {
      converted = decimalQuotient(decimalProduct(*amount, rate), mainRate);
    } else {
      converted = decimalProduct(*amount, rate);
    }
  } else {
    converted = decimalProduct(*amount, rate);
  }
  if (contains(rest, u"취소")) {
    if (converted > 0) converted = -converted;
    removeAll(rest, u"취소");
  }
  if (!std::isfinite(converted) || std::fabs(converted) >= kMaxAmount) {
    currency.reset();
    return input;
  }
  moneyMainStr = formatAmount(converted, decimals);
  return sms::toUtf8(rest);
}

// ---- Date --------------------------------------------------------------------------------

std::string SmsParsingKor::dateFilter(const std::string& input) {
  UString t = sms::fromUtf8(input);
  // "3/5일" is written " 03/05 " so that the day patterns read it.
  {
    static const Pattern kSuffix(kMonthDaySuffix);
    const std::vector<Span> spans = kSuffix.findAll(t);
    if (!spans.empty()) {
      UString out;
      int32_t at = 0;
      for (const Span& span : spans) {
        out.append(t, at, span.start - at);
        UString m = sms::slice(t, span);
        removeAll(m, u"일");
        const int32_t slash = m.indexOf(u'/');
        UString month(m, 0, slash);
        UString day(m, slash + 1);
        if (month.length() == 1) month.insert(0, u'0');
        if (day.length() == 1) day.insert(0, u'0');
        out.append(u' ').append(month).append(u'/').append(day).append(u' ');
        at = span.end;
      }
      out.append(t, at, t.length() - at);
      t = out;
    }
  }

  enum class Format { kYearMonthDay, kDayMonthYear, kMonthDayYear, kDayMonthShortYear, kShortYearMonthDay, kMonthDay };
  struct DatePattern {
    const Pattern* pattern;
    Format format;
  };
  static const Pattern kYearFirst(kDateYearFirst);
  static const Pattern kDayMonthYear(kDateDayMonthYear);
  static const Pattern kMonthDayYear(kDateMonthDayYear);
  static const Pattern kUsShortYear(kDateUsShortYear);
  static const Pattern kShortYear(kDateShortYear);
  static const Pattern kMonthDayWithDay(kDateMonthDayWithDay);
  static const Pattern kMonthDay(kDateMonthDay);
  static const Pattern kShortMonthDay(kDateShortMonthDay);
  const bool us = region_ == "US";
  const DatePattern patterns[] = {
      {&kYearFirst, Format::kYearMonthDay},
      {&kDayMonthYear, Format::kDayMonthYear},
      {&kMonthDayYear, Format::kMonthDayYear},
      {us ? &kUsShortYear : &kShortYear, us ? Format::kDayMonthShortYear : Format::kShortYearMonthDay},
      {&kMonthDayWithDay, Format::kMonthDay},
      {&kMonthDay, Format::kMonthDay},
      {&kShortMonthDay, Format::kMonthDay},
  };

  int year = -1;
  int month = -1;
  int day = -1;
  bool found = false;
  for (const DatePattern& candidate : patterns) {
    const std::vector<Span> spans = candidate.pattern->findAll(t);
    if (spans.empty()) continue;
    std::vector<UString> matches;
    for (const Span& span : spans) matches.push_back(sms::slice(t, span));
    if (matches.size() == 2 && contains(matches[1], u"일")) std::swap(matches[0], matches[1]);
    for (const UString& m : matches) {
      if (m.isEmpty()) continue;
      for (const char16_t* weekday : {u"(월)", u"(화)", u"(수)", u"(목)", u"(금)", u"(토)", u"(일)"}) {
        removeAll(t, UString(m).append(lit(weekday)));
      }
      removeAll(t, m);
    }
    UString first = sms::fromUtf8(emptyStringFilter(sms::toUtf8(matches[0])));
    std::vector<UString> parts;
    auto split = [&parts](const UString& text, char16_t separator) {
      int32_t at = 0;
      while (true) {
        const int32_t next = text.indexOf(separator, at);
        if (next < 0) {
          parts.emplace_back(text, at);
          break;
        }
        parts.emplace_back(text, at, next - at);
        at = next + 1;
      }
    };
    if (contains(first, u"/")) {
      if (first.endsWith(lit(u"/"))) first.truncate(first.length() - 1);
      split(first, u'/');
    } else if (contains(first, u"-")) {
      split(first, u'-');
    } else if (contains(first, u"년") && contains(first, u"월") && contains(first, u"일")) {
      const int32_t y = first.indexOf(u'년');
      const int32_t m = first.indexOf(u'월');
      const int32_t d = first.indexOf(u'일');
      if (y < m && m < d) {
        parts = {UString(first, 0, y), UString(first, y + 1, m - y - 1), UString(first, m + 1, d - m - 1)};
      }
    } else if (contains(first, u"월") && contains(first, u"일")) {
      const int32_t m = first.indexOf(u'월');
      const int32_t d = first.indexOf(u'일');
      if (m < d) parts = {UString(first, 0, m), UString(first, m + 1, d - m - 1)};
    } else if (!contains(first, u"일")) {
      if (first.endsWith(lit(u"."))) first.truncate(first.length() - 1);
      split(first, u'.');
    } else {
      UString dayOnly = first;
      removeEach(dayOnly, {u")", u"일"});
      parts = {UString(), dayOnly};
    }

    const bool threeParts = candidate.format != Format::kMonthDay;
    if (threeParts) {
      if (parts.size() >= 3 && first.length() >= 5) {
        const int a = numberIn(parts[0]);
        const int b = numberIn(parts[1]);
        const int c = numberIn(parts[2]);
        switch (candidate.format) {
          case Format::kYearMonthDay:
          case Format::kShortYearMonthDay:
            year = a, month = b, day = c;
            break;
          case Format::kDayMonthYear:
          case Format::kDayMonthShortYear:
            day = a, month = b, year = c;
            break;
          case Format::kMonthDayYear:
            month = a, day = b, year = c;
            break;
          case Format::kMonthDay:
            break;
        }
        if (year >= 0 && year < 999) year += 2000;
      }
    } else if (parts.size() >= 2) {
      month = parts[0].isEmpty() ? today_.month : numberIn(parts[0]);
      day = numberIn(parts[1]);
    }
    found = true;
    break;
  }

  // A bare "1215" or "]3/15" of SC Bank and Galleria card messages.
  if ((!found || month < 0) && (contains(t, u"SC은행") || contains(t, u"갤러리아카드"))) {
    static const Pattern kScDate(kScGalleriaDate);
    if (const std::optional<Span> span = kScDate.find(t)) {
      const UString m = sms::slice(t, *span);
      t = without(t, *span);
      const int32_t slash = m.indexOf(u'/');
      if (slash >= 0) {
        month = numberIn(UString(m, 0, slash));
        day = numberIn(UString(m, slash + 1));
      } else {
        const int mmdd = numberIn(m);
        if (mmdd >= 0) month = mmdd / 100, day = mmdd % 100;
      }
      year = -1;
    }
  }

  if (month >= 1 && month <= 12 && day >= 1) {
    if (year < 0) {
      // A message of May or later read in January or February is of last year.
      year = today_.year;
      if (today_.month <= 2 && month >= 5) year -= 1;
    }
    year = std::min(year, today_.year + 5);
    if (year >= 1900 && day <= daysInMonth(year, month)) {
      const LocalDateTime when = ledger_.env().dates().toLocal(ledger_.env().dates().fromLocal(year, month, day));
      dpDate = LocalDateTime{year, month, day, 0, 0, 0, when.weekday};
    }
  }
  return sms::toUtf8(t);
}

// ---- Account name, address, English words ---------------------------------------------------

std::string SmsParsingKor::accountFilter(const std::string& input, const std::string& findMacroName,
                                         const std::string& findUserMacroName) {
  UString t = sms::fromUtf8(input);
  const UString N = sms::fromUtf8(findMacroName);
  const UString U = sms::fromUtf8(findUserMacroName);
  if (!N.isEmpty() && !U.isEmpty() && contains(N, U)) removeAll(t, N);
  if (!U.isEmpty() && containsIgnoringCase(t, U)) removeAllIgnoringCase(t, U);

  UString name = U;
  if (name.isEmpty()) {
    const UString trimmedText = sms::trimmed(t);
    for (const MessageMacro2& macro : arrayMacro()) {
      const UString macroName = sms::fromUtf8(macro.macroAssetName.value_or(""));
      if (macroName.isEmpty()) continue;
      const bool toss = macroName == lit(u"토스머니") && containsIgnoringCase(t, macroName);
      const bool tail = isSmsTailAssetName(sms::toUtf8(macroName)) && trimmedText.endsWith(macroName);
      if (toss || tail) {
        name = macroName;
        break;
      }
    }
    if (name.isEmpty()) {
      for (const MessageMacro2& macro : arrayMacro()) {
        const UString macroName = sms::fromUtf8(macro.macroAssetName.value_or(""));
        if (containsIgnoringCase(t, macroName)) {
          name = macroName;
          break;
        }
      }
    }
  }
  if (name.isEmpty() || !containsIgnoringCase(t, name)) return sms::toUtf8(t);

  const bool firstOnly = name == lit(u"롯데") || name == lit(u"삼성") || name == lit(u"하나");
  if (!firstOnly) {
    if (name == lit(u"우리(")) name = lit(u"우리");
    if ((name == lit(u"토스") && contains(t, u"이삭토스트")) || (name == lit(u"차이") && contains(t, u"차이나"))) {
      return sms::toUtf8(t);
    }
    if (!(name == lit(u"신한") && contains(t, u"신한라이프생"))) removeAllIgnoringCase(t, name);
    if (name == lit(u"삼성카드") && !contains(t, u"삼성화재해상")) removeAll(t, u"삼성");
    if (contains(name, u"현대카드 X") || (contains(name, u"현대카드 M") && contains(t, u"BOOST"))) {
      removeAll(t, u"BOOST");
    }
    return sms::toUtf8(t);
  }
  if (name == lit(u"롯데") && any(t, {u"롯데마트", u"롯데프레시", u"롯데백화점", u"롯데리아", u"롯데물산"})) {
    return sms::toUtf8(t);
  }
  removeFirstIgnoringCase(t, name);
  return sms::toUtf8(t);
}

std::string SmsParsingKor::addressStringFilter(const std::string& input) {
  UString t = sms::fromUtf8(input);
  removeEach(t, {u"특별시 ", u"광역시 ", u"특별자치시 ", u"특별자치도 "});
  static const char16_t* const kRegions[] = {
      u"서울시", u"서울", u"부산", u"부산시", u"대구", u"대구시", u"인천", u"인천시", u"광주", u"광주시", u"대전", u"대전시",
      u"울산", u"울산시", u"세종", u"세종시", u"경기", u"경기도", u"강원", u"강원도", u"충북", u"충청북도", u"충남",
      u"충청남도", u"전북", u"전라북도", u"전남", u"전라남도", u"경북", u"경상북도", u"경남", u"경상남도", u"제주",
      u"제주도"};
  for (const char16_t* region : kRegions) {
    if (!contains(t, region)) continue;
    const Pattern address(UString(lit(uR"re((\(\s)?)re")).append(lit(region)).append(lit(uR"re(\s\D{1,4}(구|군|시))re")));
    if (const std::optional<Span> span = address.find(t)) t.truncate(span->start);
    break;
  }
  return sms::toUtf8(t);
}

std::string SmsParsingKor::lastWordsFilterUS(const std::string& input) {
  UString t = sms::fromUtf8(input);
  static const char16_t* const kWords[] = {
      u"By:", u"At:", u"On:", u"POS Purchase", u"Amount:", u"For history : text LAST", u" in ", u"was used at",
      u"For history: text LAST", u"was more than the", u"From BB&T", u"recent", u"Deposit posted on", u"your",
      u"Your", u"in your Alerts settings", u"is greater than", u"posted", u"to", u"deducted", u"charge", u"bill",
      u"payment", u"at", u"Online", u"for", u"made", u"credit", u"card", u"of", u"Credit", u"Purchase", u"from",
      u"credited", u"account", u"deposit", u" on", u"Direct", u"received", u"Transaction", u"deduction", u"was",
      u"Debit", u"ATM", u"info", u"STOP to quit", u"STOP", u"Text", u"HELP", u"Stop-txt", u"Visit", u"Help-txt",
      u"Go online for recent activity", u"Go online for details", u"Go online or call", u"length"};
  for (const char16_t* word : kWords) removeAll(t, word);
  return sms::toUtf8(t);
}

}  // namespace varnel
