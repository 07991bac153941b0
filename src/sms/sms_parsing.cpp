#include "sms/sms_parsing.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include <fmt/format.h>
#include <unicode/dcfmtsym.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>

#include "ledger/in_out_come_repository.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "model/ledger.h"
#include "model/liveness.h"
#include "model/record_io.h"
#include "model/search_index.h"
#include "model/text.h"
#include "sms/message_macro_repository.h"
#include "sms/sms_category.h"

namespace varnel {

using sms::contains;
using sms::lit;
using sms::Pattern;
using sms::Span;
using sms::UString;

namespace {

// The boiler-plate words every parser strips from the content, as they are
// built; removed longest first so that a short word never breaks a longer one.
const std::vector<UString>& lastWords() {
  static const std::vector<UString> kWords = [] {
    static const char16_t* const kList[] = {
        u"주문금액", u"서비스번호", u"납입할금액은", u"에대해", u"Reply HELP for help", u"was made on",
        u"A purchase of", u" at ", u"Pls call the no. at the back of your card for any enquiry",
        u"was charged to your Debit Card on", u"완료 안내", u"카드 소지자", u"결제카드", u"예상 적립(율)",
        u"결제구분", u"카드 이용내역 확인", u"거래정보 승인번호 결제방법", u"체크일시불 금액", u"내 입출금통장",
        u"이번달 내실금액 원금", u"이용내역 상세", u"개인/신용카드", u"공급가액", u"부가세", u"봉사료", u"거래유형",
        u"카드종류", u"이용구분", u"전표매입", u"매입상태", u"세후금액", u"종목명", u"배당금액",
        u"입금이 완료되었습니다", u"배당금 입금 안내", u"반영", u"사용액", u"납부금액", u"접수", u"결제상품",
        u"구매하신 곳:카드", u"구매하신 곳", u"사 용 처", u"문 의", u"카드승인금액", u"사용일자", u"합계", u"거래일시",
        u"(SE)", u"결제", u"잔여금액", u"구입 항목", u"SOL알리미", u"사용일 :", u"사용금액", u"사용처 :", u"충전계좌",
        u"처리 완료", u"충전금액", u"자동결제완료", u"(자동)", u"이용카드", u"이용일자", u"이용가맹점", u"입니다",
        u"잔여", u"(광고) 결제 할 때 마다 100% 당첨", u"[이번 달] 이용 내역 안내", u"결제 대행사", u"요청 금액",
        u"요청 사이트", u"요청 일시", u"휴대폰결제가 완료되었습니다", u"다날/SKT", u"휴대폰결제 성공 안내", u"(RF)",
        u"거래일자", u"카드명", u"(주)네이버", u"카드 사용 안내", u"카드 해외승인 안내", u"카드 승인 안내",
        u"전자상거래이용", u"알림톡", u"입출금알림", u"(금액)", u"결제 금액", u"결제 수단", u"나의 알파 에듀 카드",
        u"i-ONE 알림", u"(주*", u"결제 완료", u"결제완료", u"받는 사람", u"제목", u"Transaction", u"페이머니",
        u"코드", u"TOP1", u"송금이 완료되었습니다.", u"예약송금이 완료되었습니다.", u"정상적으로 결제되었습니다.",
        u"옥션에서", u"[스마일페이] 거래 관련 정보 알림", u"결제가 정상적으로 완료되었습니다.", u"미래에셋",
        u"상점 :", u"결제가 완료되었습니다.", u"참! 좋은 친구카드", u"IBK ONE 알림", u"스마트폰뱅킹", u"보낸금액",
        u"원터치 알림", u"승인일자", u"(1건)", u"자동결제", u"이번 달", u"스마일캐시", u"적립 예정일", u"적립 예정",
        u"기아레드 ", u"SMS알림", u"FBS", u"인출 예정입니다", u"없음", u"제목없음", u"메모", u"오후", u"날짜:",
        u"거래처", u"결제수단", u"결제금액", u"결제일시", u"상품명", u"결제 후", u"금액:", u"출금액:", u"구매처:",
        u"카드출금", u"가맹점명", u"일시", u"승인금액", u"자동출금", u"계좌에서", u"연락요망", u"미사용시",
        u"원화결제", u"신용", u"계좌", u" 법인", u"이체하셨습니다", u"계좌별금액을확인하세요", u"출금가능액",
        u"출금가능금액", u"입금액", u" 후불 ", u"입니다.", u"이용 요금합계", u"카드승인", u"되었습니다", u"총한도",
        u"이용금액", u"이용금액은 총", u"내 계좌", u"내계좌", u"계좌에", u"기준", u"매출접수", u"신용카드결제",
        u"가맹입금", u"입출금통지수", u"계좌에서***로 이체", u"교통카드안내", u"캐시백", u"전자금융입금",
        u"공동CMS출", u"정상처리", u"출잔", u"입잔", u"체크카드", u"체크", u"일요일", u"잔여한도", u"금요일",
        u"토요일", u"수요일", u"목요일", u"월요일", u"화요일", u"입금", u"본인", u"일시불", u"자동입금", u" 지급",
        u"적요", u"정상", u"지급 ", u"[승인]", u"승인", u"[]", u"[.승인]", u"체크결제", u"결제예정", u"해외거래",
        u"해외", u"[해외승인]", u"해외승인", u"해외정상승인", u"_일반(인증)", u"[체크.승인]", u"[해외정상승인",
        u"입출금", u"출금", u"입출금내역", u"출금완료", u"입출금안내", u"입출금내역 안내", u"-승인", u"기일출금",
        u"누적", u"누계", u"잔액", u"누적금액", u"통장잔액", u"했습니다", u"지급가능액", u"계좌잔액", u"상대계좌명",
        u"체크카드출금", u"사용가능액", u"신용카드", u"자동출금처리", u"자동납부", u"Auth. of KRW", u"상대기관",
        u"CARD]Auth. of KRW", u"CARD]Auth. of ", u"WEB발신", u"Web", u"[EB발신]", u"FW", u"Web발신", u"[FW]",
        u"아래 링크를 눌러 바로 확인하세요", u"본 매장은 가맹점 정책으로 매장에서 직접 발행해드립니다",
        u"현금영수증 발행 요청 잊지마세요", u"기존에 승인된 예상 요금은 자동 취소되며, 실제 택시 요금만 결제됩니다."};
    std::vector<UString> words;
    for (const char16_t* w : kList) words.push_back(lit(w));
    std::stable_sort(words.begin(), words.end(),
                     [](const UString& a, const UString& b) { return a.length() > b.length(); });
    return words;
  }();
  return kWords;
}

bool isBlank(UChar32 c) { return u_isWhitespace(c) || u_isspace(c); }

// Reads the leading decimal digits of `text` (blanks before them skipped);
// -1 when there are none or more than four.
int digitsOf(const UString& text) {
  int value = 0;
  int count = 0;
  int32_t i = 0;
  while (i < text.length() && isBlank(text.charAt(i))) ++i;
  for (; i < text.length() && count < 5; ++i) {
    const char16_t c = text.charAt(i);
    if (c < u'0' || c > u'9') break;
    value = value * 10 + (c - u'0');
    ++count;
  }
  return count == 0 || count > 4 ? -1 : value;
}

// The digits of `text` in order, whatever stands between them.
UString onlyDigits(const UString& text) {
  UString out;
  for (int32_t i = 0; i < text.length(); ++i) {
    const char16_t c = text.charAt(i);
    if (c >= u'0' && c <= u'9') out.append(c);
  }
  return out;
}

bool startsWith(const UString& text, const char16_t* prefix) { return text.startsWith(lit(prefix)); }

// Sub-categories carry the status 2 and their parent's identifier.
bool isSubCategory(const Category& c) { return c.Status.value_or(0) == 2 && c.pUid && !c.pUid->empty(); }

LocalDateTime dayOf(const LocalDateTime& t) { return LocalDateTime{t.year, t.month, t.day, 0, 0, 0, t.weekday}; }

}  // namespace

// ---- The ledger's part ---------------------------------------------------------

std::shared_ptr<const SmsParsingData> SmsParsingData::load(Ledger& ledger) {
  auto data = std::make_shared<SmsParsingData>();
  data->macros = MessageMacroRepository(ledger).listAll(false);
  EtcRepository settings(ledger);
  for (const Etc& word : settings.listSmsFilter()) {
    if (word.Data && !word.Data->empty()) data->stripWords.push_back(*word.Data);
  }
  data->useSubCategory = settings.getUseSubCategory();
  return data;
}

SmsParsing::SmsParsing(Ledger& ledger, std::shared_ptr<const SmsParsingData> data)
    : ledger_(ledger), data_(data ? std::move(data) : SmsParsingData::load(ledger)) {
  const Environment& env = ledger_.env();
  const LocalDateTime now = env.dates().toLocal(env.nowStoreSeconds());
  today_ = dayOf(now);
  pastDate = today_;
  timeStampStr = fmt::format("{:02d}:{:02d}", now.hour, now.minute);
  region_ = env.region();
  language_ = env.language();
  appCurrency = ledger_.commonData().mainCurrency();
  UErrorCode status = U_ZERO_ERROR;
  const icu::DecimalFormatSymbols symbols(icu::Locale(env.locale().c_str()), status);
  if (U_SUCCESS(status)) {
    const std::string grouping =
        sms::toUtf8(symbols.getSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol));
    const std::string decimal = sms::toUtf8(symbols.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));
    if (!grouping.empty() && !decimal.empty() && grouping != decimal) {
      groupingSeparator = grouping;
      decimalSeparator = decimal;
    }
  }
}

SmsParsing::~SmsParsing() = default;

void SmsParsing::parsing(const std::string& text, const std::string&, const std::string&) {
  smsOrigine = removeLineChange(text);
  doTypeStr = isInCome(smsOrigine) ? kSmsIncome : kSmsExpense;
}

std::string SmsParsing::dpDateKey() const {
  const LocalDateTime& d = dpDate ? *dpDate : pastDate;
  return fmt::format("{:04d}-{:02d}-{:02d}", d.year, d.month, d.day);
}

double SmsParsing::dpDateTime() const {
  const LocalDateTime& d = dpDate ? *dpDate : pastDate;
  int hour = 0;
  int minute = 0;
  const size_t colon = timeStampStr.find(':');
  if (colon != std::string::npos) {
    hour = digitsOf(sms::fromUtf8(timeStampStr.substr(0, colon)));
    minute = digitsOf(sms::fromUtf8(timeStampStr.substr(colon + 1)));
  }
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) hour = minute = 0;
  return ledger_.env().dates().fromLocal(d.year, d.month, d.day, hour, minute);
}

// ---- Text filters ----------------------------------------------------------------

std::string SmsParsing::removeLineChange(const std::string& text) {
  UString t = sms::fromUtf8(text);
  sms::replaceAll(t, u"\r\n", u" ");
  sms::replaceAll(t, u"\n", u" ");
  sms::replaceAll(t, u"\r", u" ");
  sms::replaceAll(t, u"\t", u" ");
  sms::replaceAll(t, u"\b", u" ");
  int32_t start = 0;
  int32_t end = t.length();
  while (start < end && t.charAt(start) == u' ') ++start;
  while (end > start && t.charAt(end - 1) == u' ') --end;
  return sms::toUtf8(UString(t, start, end - start));
}

std::string SmsParsing::emptyStringFilter(const std::string& text) {
  const UString t = sms::fromUtf8(text);
  UString out;
  for (int32_t i = 0; i < t.length();) {
    const UChar32 c = t.char32At(i);
    if (!isBlank(c)) out.append(c);
    i = t.moveIndex32(i, 1);
  }
  return sms::toUtf8(out);
}

std::string SmsParsing::removeWordNotNecessary(const std::string& text) {
  UString t = sms::fromUtf8(text);
  for (const char16_t* header : {u"[Web발신]", u"[Web 발신]", u"[WEB발신]", u"[WEB 발신]", u"[web발신]", u"[web 발신]"}) {
    const UString h = lit(header);
    sms::replaceAll(t, UString(h).append(u'\n'), UString());
    sms::replaceAll(t, UString(h).append(u' '), UString());
    sms::replaceAll(t, h, UString());
  }
  if (contains(t, u"토스카드")) {
    sms::replaceAll(t, u"토스카드 결제", u"토스");
    sms::replaceAll(t, u"토스카드", u"토스");
    sms::removeAll(t, u"토스머니");
  }
  return sms::toUtf8(t);
}

bool SmsParsing::isSmsTailAssetName(const std::string& name) {
  return name == "기업" || name == "KB스타알림" || name == "씨티 카드";
}

bool SmsParsing::isInCome(const std::string& message) {
  const UString m = sms::fromUtf8(message);
  auto all = [&m](std::initializer_list<const char16_t*> words) {
    return std::all_of(words.begin(), words.end(), [&m](const char16_t* w) { return contains(m, w); });
  };
  auto any = [&m](std::initializer_list<const char16_t*> words) {
    return std::any_of(words.begin(), words.end(), [&m](const char16_t* w) { return contains(m, w); });
  };
  // Messages that read like a deposit but take money out: paying into a
  // card, a tax, a refund that is spent.
  if (all({u"써니뱅크", u"입금계좌"}) || all({u"위비모바일페이", u"입금되었습니다"}) ||
      all({u"카카오뱅크", u"입금완료", u"받으셨습니다"}) || all({u"신한은행", u"계좌로", u"입금완료"}) ||
      all({u"결제 완료", u"결제가 완료되었습니다", u"캐시백", u"내 캐시 잔액"}) || all({u"체크취소", u"카드입금"}) ||
      all({u"[KB]", u"캐쉬백", u"현금IC"}) || any({u"지방세입금", u"지자체세입금", u"취소나 반품 및 교환은"})) {
    return false;
  }
  if (all({u"캐시백", u"다음 기회에"}) || (all({u"토스머니", u"캐시백"}) && !contains(m, u"입금")) ||
      all({u"출금", u"세입금"}) || all({u"온통대전", u"캐시백"}) ||
      (all({u"전주사랑상품권", u"캐시백"}) && any({u"결제했습니다", u"승인"})) ||
      (all({u"출금", u"급여"}) && any({u"SOL알리미", u"하나", u"부산", u"KDB"}))) {
    return false;
  }
  if (all({u"카카오페이", u"송금", u"보낸", u"도착했습니다"})) return true;
  if (!any({u"입금", u" 출취", u"캐시백 ", u"캐쉬백", u" 받기완료 ", u"원을 받으세요", u"충전이 완료되었습니다"})) {
    return (contains(m, u"급여") && !contains(m, u"월급여통장")) || all({u"포인트 적립 캐시", u"월급여통장"}) ||
           all({u"토스머니카드", u"포인트", u"적립"}) || any({u"]입      ", u" Direct Deposit ", u"deposit on "});
  }
  if (contains(m, u"OK캐쉬백Pro카드")) return false;
  return !contains(m, u"휴대폰결제가 완료되었습니다.");
}

std::string SmsParsing::filterPastStr(const std::string& pattern, const std::string& text) {
  return sms::toUtf8(sms::removeFirst(sms::fromUtf8(text), Pattern(sms::fromUtf8(pattern))));
}

std::string SmsParsing::removeAllFilter(const std::string& pattern, const std::string& text) {
  return sms::toUtf8(sms::removeAll(sms::fromUtf8(text), Pattern(sms::fromUtf8(pattern))));
}

std::string SmsParsing::lastWordsFilter(const std::string& text) {
  UString t = sms::fromUtf8(text);
  for (const UString& word : lastWords()) sms::removeAll(t, word);
  return sms::toUtf8(t);
}

std::string SmsParsing::lastWordsFilterSelective(const std::string& text) {
  const std::string compact = emptyStringFilter(text);
  if (compact.empty()) return text;
  UString rest = sms::fromUtf8(compact);
  sms::removeAll(rest, u"스마일페이");
  return rest.isEmpty() ? compact : sms::toUtf8(rest);
}

std::string SmsParsing::ectSpeciallCharFilter(const std::string& text) {
  UString t = sms::fromUtf8(text);
  // "( (" is the only mark longer than one character, so it goes first.
  sms::removeAll(t, u"( (");
  for (const char16_t* mark : {u"*", u"▶", u":", u"!", u".", u",", u"\u00A0", u"<", u">", u"-", u"_", u"\\", u"￦",
                               u"/", u"\"", u"[", u"]", u"※", u"|", u"★", u"@", u"°", u"♣", u"”", u"“", u"☞",
                               u"■", u"，", u"。", u"◆", u"®", u"→", u"【", u"】"}) {
    sms::removeAll(t, mark);
  }
  sms::replaceAll(t, u"（", u"(");
  sms::replaceAll(t, u"）", u")");
  sms::removeAll(t, u"()");
  if (t.indexOf(u')') < 0) sms::removeAll(t, u"(");
  if (t.indexOf(u'(') < 0) sms::removeAll(t, u")");
  if (t.indexOf(u')') == 0) t.remove(0, 1);
  if (t.indexOf(u'(') == 0 && t.indexOf(u')') == t.length() - 1) {
    sms::removeAll(t, u"(");
    sms::removeAll(t, u")");
  }
  if (t.length() < 5) return sms::toUtf8(t);
  if (!startsWith(t, u"(주)") && t.charAt(0) == u'(' && t.charAt(t.length() - 1) == u')') {
    t = UString(t, 1, t.length() - 2);
  }
  return sms::toUtf8(t);
}

std::string SmsParsing::filterUrl(const std::string& text) {
  UString t = sms::fromUtf8(text);
  for (const char16_t* part : {u"WWW.", u"www.", u".COM", u".com", u".DE", u".NET", u".net", u".ae"}) {
    sms::removeAll(t, part);
  }
  static const Pattern kUrl(uR"re((https|http):\/\/([a-z0-9-]+\.)+[a-z0-9]{2,4}.*$)re");
  return sms::toUtf8(sms::removeFirst(t, kUrl));
}

std::string SmsParsing::hyunDaeCardPasteStrException(const std::string& text) {
  UString t = sms::fromUtf8(text);
  sms::replaceAll(t, u"현대카드 디지털러버", u"현대카드");
  return sms::toUtf8(t);
}

// ---- Time and instalment -----------------------------------------------------------

bool SmsParsing::setTime(int hour, int minute) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return false;
  timeStampStr = fmt::format("{:02d}:{:02d}", hour, minute);
  return true;
}

std::string SmsParsing::timerFilter(const std::string& text) {
  return sms::toUtf8(timerFilterU(sms::fromUtf8(text)));
}

UString SmsParsing::timerFilterU(const UString& input) {
  static const Pattern kTimes(
      uR"re([0-2]\d:[0-5]\d:[0-5]\d(\.[0-9]\d)?(\s(PM|AM))?(\sEDT)?|(오전|오후)\s?[0-2]\d:[0-5]\d|[0-2]\d:[0-5]\d((\s)?(PM|AM)\s)?|[0-9][0-9]시(\s)?[0-9][0-9]분|([0-1]{1})?\d:[0-5]\d(\s)?(PM|AM)|[0-2]\dh[0-5]\d|[0-2]{1}[0-9]{1}:[0-5]{1}[0-9]{1}(\s)?(PM|AM)?|[0-9]{1}:[0-5]{1}[0-9]{1}(\s)|([0-2])?[0-9]时(\s)?([0-5])?[0-9]分(向)?)re",
      sms::Keywords{{u":", u"시", u"h", u"时"}});
  static const Pattern kShortTimes(uR"re((\s[0-9]|[0-2][0-9]):[0-5]\d((\s)?(PM|AM)\s)?)re");
  static const Pattern kDottedTime(uR"re(\d{2}.\d{2}.\d{2}\s([0-2])?[0-9]\.([0-5])?[0-9])re");

  UString text = input;
  if (contains(text, u"AM") || contains(text, u"PM")) text.append(u' ');
  std::vector<UString> found;
  for (const Span& span : kTimes.findAll(text)) found.push_back(sms::slice(text, span));
  if (found.empty()) {
    for (const Span& span : kShortTimes.findAll(text)) found.push_back(sms::trimmed(sms::slice(text, span)));
  }
  if (found.empty()) {
    const std::optional<Span> span = kDottedTime.find(text);
    if (!span) return text;
    // The date part is "dd.dd.dd " (nine characters); the time follows it.
    const UString time(text, span->start + 9, span->length() - 9);
    const int32_t dot = time.indexOf(u'.');
    setTime(digitsOf(UString(time, 0, dot)), digitsOf(UString(time, dot + 1)));
    sms::removeAll(text, time);
    return text;
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const UString& a, const UString& b) { return a.length() > b.length(); });
  const UString& longest = found.front();
  // The hour and the minutes are the digits around the separator; "오후"
  // and "PM" move an hour before noon into the afternoon, "오전" and "AM"
  // move 12 o'clock to midnight.
  int hour = -1;
  int minute = -1;
  int32_t separator = -1;
  for (const char16_t* mark : {u":", u"시", u"时", u"h", u"H"}) {
    separator = longest.indexOf(lit(mark));
    if (separator >= 0) break;
  }
  if (separator > 0) {
    const UString before(longest, 0, separator);
    hour = digitsOf(onlyDigits(before));
    minute = digitsOf(UString(longest, separator + 1));
    if (hour >= 0) {
      const UString lower = sms::lowered(longest);
      const bool pm = contains(lower, u"pm") || contains(longest, u"오후");
      const bool am = contains(lower, u"am") || contains(longest, u"오전");
      if (pm && hour < 12) hour += 12;
      if (am && hour == 12) hour = 0;
    }
  }
  setTime(hour, minute);
  for (const UString& time : found) sms::removeAll(text, time);
  return text;
}

std::string SmsParsing::installmentFilter(const std::string& text) {
  return sms::toUtf8(installmentFilterU(sms::fromUtf8(text)));
}

UString SmsParsing::installmentFilterU(const UString& text) {
  if (contains(text, u"제주은행") && contains(text, u"급여")) return text;
  static const Pattern kInstallment(
      uR"re(\s([0-9]{1,2}개월)할부|(할부)?([0-9]{1,2}개월|\([0-9]{1,2}개월\))|할부\([0-9]{1,2}\))re");
  static const Pattern kMonthInParentheses(uR"re((\([0-9]{1,2}월\)))re");
  static const Pattern kNumber(uR"re(([0-9]{1,2}))re");
  installment = "0";
  std::optional<Span> span = kInstallment.find(text);
  if (!span && doTypeStr == kSmsExpense) span = kMonthInParentheses.find(text);
  if (!span) return text;
  const UString phrase = sms::slice(text, *span);
  if (const std::optional<Span> number = kNumber.find(phrase)) {
    // The months as the message writes them ("03" for a card that pads them).
    const UString months = sms::slice(phrase, *number);
    if (digitsOf(months) >= 0) installment = sms::toUtf8(months);
  }
  UString rest(text, 0, span->start);
  rest.append(text, span->end, text.length() - span->end);
  return rest;
}

// ---- Category guess -------------------------------------------------------------------

bool SmsParsing::isValidCategory(const InOutCome& tx) {
  const std::string kind = tx.Do_Type.value_or("");
  if ((kind != kSmsIncome && kind != kSmsExpense) || kind != doTypeStr) return false;
  const int doType = kind == kSmsIncome ? 0 : 1;
  const CommonData& common = ledger_.commonData();
  const std::optional<Category> category = common.getCategory(tx);
  if (!category || !isLive(*category) || category->doType.value_or(-1) != doType) return false;
  cateObject = category;
  cateSubObject.reset();
  const std::optional<Category> sub = common.getSubCategory(tx);
  if (sub && isLive(*sub) && sub->doType.value_or(-1) == doType) cateSubObject = sub;
  return true;
}

bool SmsParsing::categoryFromTransactions(const std::string& sql, const std::string& key,
                                          const std::function<bool(const InOutCome&)>& accept) {
  // Pages of the newest rows: nearly always the first row answers, and a
  // merchant visited a thousand times is never read in full for it.
  constexpr int kPage = 32;
  Store& store = ledger_.store();
  for (int offset = 0;; offset += kPage) {
    std::vector<InOutCome> rows;
    try {
      auto st = store.prepare(sql);
      st.bind(1, key);
      st.bind(2, doTypeStr);
      st.bind(3, kPage);
      st.bind(4, offset);
      while (st.executeStep()) rows.push_back(record_io::readRecord<InOutCome>(st));
    } catch (const SQLite::Exception& e) {
      store.readFailed(sql, e);
    }
    for (const InOutCome& row : rows) {
      if (accept(row) && isValidCategory(row)) return true;
    }
    if (static_cast<int>(rows.size()) < kPage) return false;
  }
}

bool SmsParsing::categoryFromKeywords(const std::string& text) {
  const int doType = doTypeStr == kSmsIncome ? 0 : 1;
  const SmsCategory& table = SmsCategory::shared();
  const CommonData& common = ledger_.commonData();
  auto liveOfKind = [doType](const Category& c) { return isLive(c) && c.doType.value_or(-1) == doType; };
  auto isMain = [](const Category& c) { return !isSubCategory(c); };
  auto findMain = [&](const std::vector<std::string>& names) -> std::optional<Category> {
    for (const std::string& name : names) {
      for (const Category& c : common.categoryList()) {
        if (liveOfKind(c) && isMain(c) && c.Name && trimmed(*c.Name) == name) return c;
      }
    }
    return std::nullopt;
  };
  for (const SmsCategory::Item* item : table.itemsIn(text)) {
    if (data_->useSubCategory && !item->subCategory.empty()) {
      std::vector<std::string> names = table.namesFor(item->subCategory);
      for (std::string& older : table.olderNamesFor(item->subCategory)) names.push_back(std::move(older));
      for (const std::string& name : names) {
        for (const Category& sub : common.categoryList()) {
          if (!liveOfKind(sub) || isMain(sub) || !sub.pUid || !sub.Name || trimmed(*sub.Name) != name) continue;
          const std::optional<Category> parent = common.categoryByUid(*sub.pUid);
          if (!parent || !liveOfKind(*parent)) continue;
          cateObject = parent;
          cateSubObject = sub;
          return true;
        }
      }
    }
    // A ledger set up with the older lists has a main category for some of
    // the current sub-categories ("택시" is "교통비" there).
    std::optional<Category> main = findMain(table.olderNamesFor(item->subCategory));
    if (!main) main = findMain(table.namesFor(item->category));
    if (!main) main = findMain(table.olderNamesFor(item->category));
    if (main) {
      cateObject = main;
      cateSubObject.reset();
      return true;
    }
  }
  return false;
}

void SmsParsing::findCategoryFromSMSKo(const std::string& content, const std::string& secondText) {
  cateObject.reset();
  cateSubObject.reset();
  const std::string key = trimmed(content);
  if (!key.empty()) {
    // One read of the store for the lookups below, instead of a lock taken
    // and released for each.
    StoreSnapshot snapshot(ledger_.store());
    const std::string live = live::recordSql();
    const std::string order = " ORDER BY ZDATE DESC, Z_PK DESC LIMIT ?3 OFFSET ?4";
    const UString lowerKey = sms::lowered(sms::fromUtf8(key));
    auto equalIgnoringCase = [&lowerKey](const Text& field) {
      return field && sms::lowered(sms::fromUtf8(*field)) == lowerKey;
    };
    // Each lookup reads its own index (by parsed content, by content, by the
    // memo's text index), never the whole table.
    if (categoryFromTransactions("SELECT * FROM ZINOUTCOME WHERE ZSMSPARSECONTENTS = ?1 COLLATE NOCASE AND "
                                 "ZDO_TYPE = ?2 AND " + live + order,
                                 key, [&](const InOutCome& tx) { return equalIgnoringCase(tx.smsParseContents); })) {
      return;
    }
    if (categoryFromTransactions("SELECT * FROM ZINOUTCOME WHERE ZCONTENT = ?1 COLLATE NOCASE AND ZDO_TYPE = ?2 AND " +
                                     live + order,
                                 key, [&](const InOutCome& tx) { return equalIgnoringCase(tx.Content); })) {
      return;
    }
    // The text index finds pieces of three characters and more; a shorter
    // content would be found in too many memos to tell anything.
    if (sms::codePointCount(lowerKey) >= 3) {
      std::string phrase = "\"";
      for (char c : key) phrase += c == '"' ? std::string("\"\"") : std::string(1, c);
      phrase += "\"";
      const std::string match = std::string(search_index::kMemoColumn) + " : " + phrase;
      const std::string sql = std::string("SELECT * FROM ZINOUTCOME WHERE Z_PK IN (SELECT rowid FROM ") +
                              search_index::kTable + " WHERE " + search_index::kTable +
                              " MATCH ?1) AND ZDO_TYPE = ?2 AND " + live + order;
      if (categoryFromTransactions(sql, match, [&](const InOutCome& tx) {
            return tx.memo && sms::lowered(sms::fromUtf8(*tx.memo)).indexOf(lowerKey) >= 0;
          })) {
        return;
      }
    }
  }
  if (categoryFromKeywords(content) || categoryFromKeywords(secondText)) return;
  if (doTypeStr != kSmsIncome && doTypeStr != kSmsExpense) return;
  const int doType = doTypeStr == kSmsIncome ? 0 : 1;
  for (const Category& c : ledger_.commonData().categoryList()) {
    if (isLive(c) && c.doType.value_or(-1) == doType && !isSubCategory(c)) {
      cateObject = c;
      return;
    }
  }
}

// ---- Already stored ------------------------------------------------------------------

void SmsParsing::getIsPastOverlap(const std::string& message) {
  isPastOverlap = false;
  if (message.empty()) return;
  const std::vector<InOutCome> stored = InOutComeRepository(ledger_).getInOutComeBySmsOringine(message);
  if (stored.empty()) return;
  const LocalDateTime& day = dpDate ? *dpDate : pastDate;
  const bool datedToday = day.year == today_.year && day.month == today_.month && day.day == today_.day;
  if (!datedToday) {
    isPastOverlap = true;
    return;
  }
  // A message dated today that matches a transaction of long ago is a
  // repeated message (the same monthly bill), not the same one pasted again.
  const DateUtil& dates = ledger_.env().dates();
  const double todayStart = dates.fromLocal(today_.year, today_.month, today_.day);
  for (const InOutCome& tx : stored) {
    const LocalDateTime when = dates.toLocal(tx.Date.value_or(0));
    const double txStart = dates.fromLocal(when.year, when.month, when.day);
    const double days = std::fabs(std::round((txStart - todayStart) / 86400.0));
    if (days <= 20) {
      isPastOverlap = true;
      return;
    }
  }
}

void SmsParsing::checkDpDate() {
  if (!dpDate) dpDate = pastDate;
}

}  // namespace varnel
