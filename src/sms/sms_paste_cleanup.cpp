#include "sms/sms_paste_cleanup.h"

#include <algorithm>
#include <vector>

#include "sms/sms_paste_text.h"

namespace varnel {

namespace paste_cleanup {

namespace {

using namespace std::string_view_literals;
using sms::lit;
using sms::Pattern;
using sms::Span;

void removeEach(UString& text, std::initializer_list<const char16_t*> parts) {
  for (const char16_t* part : parts) sms::removeAll(text, part);
}

// Removes the spans (left to right, not overlapping) from `text`.
UString withoutSpans(const UString& text, const std::vector<Span>& spans) {
  UString out;
  int32_t at = 0;
  for (const Span& span : spans) {
    out.append(text, at, span.start - at);
    at = span.end;
  }
  out.append(text, at, text.length() - at);
  return out;
}

// The positions of every occurrence of `part`, left to right.
std::vector<Span> occurrences(const UString& text, const UString& part) {
  std::vector<Span> found;
  for (int32_t at = text.indexOf(part); at >= 0; at = text.indexOf(part, at + part.length())) {
    found.push_back({at, at + part.length()});
  }
  return found;
}

// Replaces each match of `pattern` by what `rewrite` makes of its text.
template <class Rewrite>
UString rewriteMatches(const UString& text, const Pattern& pattern, Rewrite rewrite) {
  const std::vector<Span> matches = pattern.findAll(text);
  if (matches.empty()) return text;
  UString out;
  int32_t at = 0;
  for (const Span& match : matches) {
    out.append(text, at, match.start - at);
    out.append(rewrite(sms::slice(text, match)));
    at = match.end;
  }
  out.append(text, at, text.length() - at);
  return out;
}

// A repeated "[미래에셋증권]" header that starts within this many characters
// of the end of the one before it belongs to the same message (the
// notification repeats the sender's name under the Web-sender line).
constexpr int32_t kMiraeHeaderGap = 20;
// Two "우리카드" closer than this belong to one approval notice: the name of
// the card and the name of the company.
constexpr int32_t kWooriNameGap = 18;

// The notice Woori appends to messages of its pay-money service.
constexpr const char16_t* kWooriPayMoneyNotice = u"우리페이 머니 업그레이드 안내";

const UString kWebHeader = lit(u"[Web발신]");
constexpr const char16_t* kNongHyupCardMarkers[] = {u"NH카드", u"농협BC", u"NH체크", u"NH농협카드", u"NH농협체크"};

bool holdsNongHyupMarker(const UString& line) {
  for (const char16_t* marker : kNongHyupCardMarkers) {
    if (sms::contains(line, marker)) return true;
  }
  return false;
}

bool startsWithNongHyupMarker(const UString& line) {
  UString rest = sms::trimmed(line);
  if (rest.startsWith(lit(u"["))) rest.remove(0, 1);
  for (const char16_t* marker : kNongHyupCardMarkers) {
    if (rest.startsWith(lit(marker))) return true;
  }
  return false;
}

bool isBracketsOnly(const UString& line) {
  const UString t = sms::trimmed(line);
  for (int32_t i = 0; i < t.length(); ++i) {
    const char16_t c = t.charAt(i);
    if (c != u'[' && c != u']' && c != u'(' && c != u')') return false;
  }
  return true;
}

}  // namespace

UString collapseWebHeaders(const UString& text) {
  if (!sms::contains(text, kWebHeader)) return text;
  static const Pattern kDoubled(uR"(\[Web발신\].{1,7}\|\^\|\[Web발신\])"sv);
  UString marked = text;
  sms::replaceAll(marked, u"\r\n", u"|^|");
  sms::replaceAll(marked, u"\n", u"|^|");
  UString out = text;
  for (const Span& match : kDoubled.findAll(marked)) {
    const UString found = sms::slice(marked, match);
    for (const char16_t* lineBreak : {u"\n", u"\r\n"}) {
      UString original = found;
      sms::replaceAll(original, u"|^|", lineBreak);
      if (sms::contains(out, original)) {
        sms::replaceAll(out, original, kWebHeader);
        break;
      }
    }
  }
  return out;
}

UString nongHyupException(const UString& text) {
  UString out = text;
  sms::replaceAll(out, u"농협 잔액", u"잔액");
  sms::replaceAll(out, u"원예농협", u"원예");
  return out;
}

UString smileCardException(const UString& text) {
  static const Pattern kBoilerPlate(
      uR"(스마일카드로\s결제하셔서\s([0-9]{1,3}(,[0-9]{3})*)원이\s자동\s적립됩니다|\[스마일페이\]\s결제가\s완료되었습니다|\▶\s회원명\s\:\s.{2,4})"sv);
  UString out = sms::removeAll(text, kBoilerPlate);
  removeEach(out, {u"스마일클럽 회원이 되시면 , G마켓/옥션에서 구매시 스마일캐시 추가 적립됩니다.",
                   u"스마일클럽과 스마일카드로 최고의 혜택 받고 즐거운 쇼핑하세요!",
                   u"(단, 무이자할부 및 청구할인 시 적립 제외)"});
  return out;
}

UString wooriCardException(const UString& text) {
  UString out = text;
  const UString name = lit(u"우리카드");
  if (sms::contains(out, u"[ 카드 승인 안내 ]") || sms::contains(out, u"[ 카드 해외승인 안내 ]")) {
    const std::vector<Span> names = occurrences(out, name);
    if (names.size() >= 2) {
      std::vector<Span> close;
      for (size_t i = 0; i + 1 < names.size(); ++i) {
        if (names[i + 1].start - names[i].end < kWooriNameGap) close.push_back(names[i]);
      }
      out = withoutSpans(out, close);
    }
  }
  sms::removeAll(out, u"[우리은행 원터치 알림]");
  if (sms::contains(out, u"우리 ")) {
    removeEach(out, {u"우리카드결제-0", u"우리카드결제", kWooriPayMoneyNotice});
    sms::replaceAll(out, u"우리 체크카드", u"우리체크카드");
    sms::removeAll(out, u"우리카드 체크");
    if (sms::contains(out, u"충전계좌 : 우리")) sms::removeAll(out, u"받는사람 : 우리");
  }
  if (sms::contains(out, u"우리카드 고객센터")) {
    sms::replaceAll(out, u"우리카드 고객센터", u"고객센터");
  } else {
    const int32_t at = out.lastIndexOf(lit(u"고객센터:"));
    if (at >= 0) out.truncate(at);
  }
  sms::removeAll(out, u"문의 : 우리카드");
  static const Pattern kReceiver(uR"(받는사람\s:\s.{2,10}\/\s우리\s\/\s|우리카드결제\-\d{1,3})"sv);
  out = rewriteMatches(out, kReceiver, [](UString match) {
    removeEach(match, {u"받는사람", u"/ 우리 /"});
    return match;
  });
  removeEach(out, {u"카드 승인 매출 안내", u"[우리카드 이용 안내]"});
  return out;
}

UString siren24Exception(const UString& text) {
  UString out = text;
  int32_t cut = -1;
  for (const char16_t* marker : {u"아래 링크를 통해 한도를 상향하거나 하향 하실 수 있습니다", u"♣ 참고사항"}) {
    const int32_t at = out.indexOf(lit(marker));
    if (at >= 0 && (cut < 0 || at < cut)) cut = at;
  }
  if (cut >= 0) out.truncate(cut);
  sms::replaceAll(out, u"[KT] 휴대폰 소액결제 완료 안내", u"소액결제");
  return out;
}

UString kakaoPayException(const UString& text) {
  UString out = text;
  removeEach(out, {u"페이머니 충전 후 결제가 완료되었습니다", u"페이머니 충전 후  결제가 완료되었습니다",
                   u"현금영수증 발행 정보는 카카오페이 이용내역에서 확인해주세요", u"송금이 완료되었어요",
                   u"*(안내) 남은 잔액에 매일 이자 혜택은 물론, 송금 수수료 무료 업데이트가 가능해요"});
  return out;
}

UString miraeAssetException(const UString& text) {
  static const Pattern kTimed(uR"(미래에셋증권\s\d{2}\:\d{2})"sv);
  UString out = text;
  if (kTimed.find(out)) sms::removeAll(out, u"미래에셋증권 ");
  const std::vector<Span> headers = occurrences(out, lit(u"[미래에셋증권]"));
  std::vector<Span> repeated;
  for (size_t i = 1; i < headers.size(); ++i) {
    if (headers[i].start - headers[i - 1].end < kMiraeHeaderGap) repeated.push_back(headers[i]);
  }
  return withoutSpans(out, repeated);
}

UString rotteException(const UString& text) {
  UString out = text;
  sms::replaceAll(out, u"롯데 프리미엄 푸드", u"프리미엄 푸드");
  return out;
}

UString sinhanCardException(const UString& text) {
  UString out = text;
  // The bracketed numbers first, so that no empty brackets are left behind.
  removeEach(out, {u"신한카드 콜센터 ☎1522-7777", u"[신한카드 1544-7200]", u"[신한카드 1544-7000]",
                   u"신한카드 1544-7200", u"신한카드 1544-7000"});
  sms::replaceAll(out, u"신한카드캐시백", u"캐시백");
  sms::replaceAll(out, u"신한체크교통", u"체크교통");
  return out;
}

UString chaiPayException(const UString& text) {
  UString out = text;
  removeEach(out, {u"결제되었어요", u"은 적립된 차이머니로 자동 사용되었네요!"});
  return out;
}

UString hanaCardException(const UString& text) {
  UString out = text;
  removeEach(out, {u"자동납부 요금 정상승인 안내", u"로 자동납부 서비스를 이용해주셔서 감사드립니다"});
  return out;
}

UString hyundaeCardException(const UString& text) {
  UString out = text;
  sms::removeAll(out, u"현대카드 승인 안내입니다.");
  return out;
}

UString samsungStockException(const UString& text) {
  // A header written twice, once above the Web-sender line and once below
  // it: the one below stays.
  static const Pattern kDoubledHeader(
      uR"(\[삼성증권\]\s\<(.)+\>(\n)?\[Web발신\](\n)?\[삼성증권\]\s\<(.)+\>)"sv);
  // The title in angle brackets names both kinds ("입금/출금") and would
  // make every message read as income.
  static const Pattern kHeaderTitle(uR"(\[Web발신\](\n)?\[삼성증권\]\s\<(.)+\>)"sv);
  static const Pattern kWithdrawn(uR"((.)+\s고객님\,\s(체크카드|계좌)에서\s(.)+원이\s출금됐습니다)"sv);
  UString out = rewriteMatches(text, kDoubledHeader, [](const UString& match) {
    return UString(match, match.indexOf(kWebHeader));
  });
  out = rewriteMatches(out, kHeaderTitle, [](const UString& match) {
    return UString(match, 0, match.indexOf(lit(u"[삼성증권]")) + 6);
  });
  removeEach(out, {u"<체크카드 입금/출금 안내>", u"<실시간 출금 안내>"});
  // "홍길동 고객님, 체크카드에서 12,000원이 출금됐습니다" becomes
  // "체크카드 출금 12,000원": the customer's name goes, the amount and the
  // source stay.
  out = rewriteMatches(out, kWithdrawn, [](const UString& match) {
    const UString greeting = lit(u"고객님, ");
    const int32_t greet = match.indexOf(greeting);
    const int32_t from = match.indexOf(lit(u"에서 "), greet);
    const int32_t amountEnd = match.lastIndexOf(lit(u"원이"));
    if (greet < 0 || from < 0 || amountEnd < from) return match;
    UString kept;
    const int32_t bracket = UString(match, 0, greet).lastIndexOf(u']');
    if (bracket >= 0) kept.append(match, 0, bracket + 1).append(u' ');
    kept.append(match, greet + greeting.length(), from - greet - greeting.length());
    kept.append(lit(u" 출금 "));
    kept.append(match, from + 3, amountEnd - from - 3);
    kept.append(u'원');
    return kept;
  });
  // The closing note ("※ 입금내역의 세부사항은 …") names deposits too; it
  // goes up to the end of its line, so that a following message stays.
  const UString note = lit(u"※ 입금내역의 세부사항은");
  for (int32_t at = out.indexOf(note); at >= 0; at = out.indexOf(note, at)) {
    int32_t end = out.indexOf(u'\n', at);
    if (end < 0) end = out.length();
    out.remove(at, end - at);
  }
  return out;
}

UString tossBankCardException(const UString& text) {
  UString out = text;
  sms::removeAll(out, u"토스뱅크카드 국내 결제");
  sms::replaceAll(out, u"체크카드 국내 결제", u"체크카드");
  return out;
}

UString nongHyupCardException(const UString& text) {
  // NongHyup writes its card approvals in two layouts, the card's name on the
  // first line or below the customer's name; pasted together they must come
  // out as one message per header, each starting with its header, so that
  // the split finds them.
  std::vector<std::vector<UString>> messages(1);
  bool hasMarker = false;
  for (const UString& line : paste_text::split(text, u"\n")) {
    if (sms::trimmed(line).isEmpty() || isBracketsOnly(line)) continue;
    const bool approval = sms::contains(line, u"승인") || sms::contains(line, u"취소");
    const bool starts = sms::contains(line, u"Web발신") || (hasMarker && approval && startsWithNongHyupMarker(line));
    if (starts && !messages.back().empty()) {
      messages.emplace_back();
      hasMarker = false;
    }
    messages.back().push_back(line);
    if (holdsNongHyupMarker(line)) hasMarker = true;
  }
  UString out;
  for (auto& lines : messages) {
    if (lines.empty()) continue;
    const size_t top = sms::contains(lines[0], u"Web발신") ? 1 : 0;
    const auto marker = std::find_if(lines.begin() + static_cast<std::ptrdiff_t>(std::min(top, lines.size())),
                                     lines.end(), holdsNongHyupMarker);
    if (marker != lines.end()) std::rotate(lines.begin() + static_cast<std::ptrdiff_t>(top), marker, marker + 1);
    for (const UString& line : lines) {
      if (!out.isEmpty()) out.append(u'\n');
      out.append(line);
    }
  }
  return out;
}

}  // namespace paste_cleanup

CleanedPaste cleanPaste(const std::string& paste) {
  using namespace paste_cleanup;
  using sms::contains;
  CleanedPaste result;
  UString text = sms::fromUtf8(paste);
  auto apply = [&](UString changed) {
    if (changed != text) {
      result.isException = true;
      text = std::move(changed);
    }
  };

  apply(collapseWebHeaders(text));
  result.headersCollapsed = sms::toUtf8(text);
  bool senderRules = true;
  if (contains(text, u"삼성카드쇼핑")) {
    // The shopping mall's name holds the card company's: no card rule may
    // read it as the sender.
    senderRules = false;
    static const Pattern kSamsungCard(uR"(삼성\d{4}승인|삼성카드(승인)?)"sv);
    if (kSamsungCard.find(text)) {
      UString renamed = text;
      sms::replaceAll(renamed, u"삼성카드쇼핑", u"쇼핑");
      apply(std::move(renamed));
    }
  }
  if (senderRules) {
    auto removed = [&](const char16_t* part) {
      UString out = text;
      sms::removeAll(out, part);
      return out;
    };
    if (contains(text, u"[카카오뱅크]") && contains(text, u"카카오뱅크스마")) {
      apply(removed(u"카카오뱅크스마"));
    } else if (contains(text, u"스마일카드") || contains(text, u"스마일페이")) {
      apply(smileCardException(text));
    } else if (contains(text, u"신한카드") || contains(text, u"슈퍼SOL")) {
      apply(sinhanCardException(text));
    } else if (contains(text, u"미래에셋증권")) {
      apply(miraeAssetException(text));
    } else if (contains(text, u"우리")) {
      apply(wooriCardException(text));
    } else if (contains(text, u"NH카드") && contains(text, u"NH농협카드")) {
      apply(nongHyupCardException(text));
    } else if (contains(text, u"농협 ")) {
      apply(nongHyupException(text));
    } else if (contains(text, u"KB국민카드") && contains(text, u"KB국민카드_")) {
      apply(removed(u"KB국민카드_"));
    } else if (contains(text, kSiren24Domain)) {
      apply(siren24Exception(text));
    } else if (contains(text, u"롯데") && !contains(text, u"롯데몰")) {
      apply(rotteException(text));
    } else if (contains(text, u"차이머니")) {
      apply(chaiPayException(text));
    } else if (contains(text, u"하나카드")) {
      apply(hanaCardException(text));
    } else if (contains(text, u"현대카드")) {
      apply(hyundaeCardException(text));
    } else if (contains(text, u"삼성증권")) {
      apply(samsungStockException(text));
    } else if (contains(text, u"토스뱅크카드") || contains(text, u"[토스뱅크] 체크카드")) {
      apply(tossBankCardException(text));
    } else if (contains(text, u"MG스마트알림") && contains(text, u"MG체크카드")) {
      apply(removed(u"MG스마트알림"));
    }
  }
  apply(kakaoPayException(text));
  result.text = sms::toUtf8(text);
  return result;
}

}  // namespace varnel
