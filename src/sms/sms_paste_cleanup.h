// The clean-ups a paste goes through before it is split into messages:
// doubled Web-sender headers, the Samsung shopping-mall name, and the
// boiler-plate of the senders whose texts would otherwise be cut in the wrong
// place or read with the wrong amount or kind.
#pragma once

#include <string>

#include "sms/sms_patterns.h"

namespace varnel {

// A paste after its clean-ups; `isException` tells whether any of them
// changed it.
struct CleanedPaste {
  std::string text;
  bool isException = false;
  // The paste after the first step only (doubled headers collapsed): the
  // text the parser is chosen by.
  std::string headersCollapsed;
};

// The clean-ups in their order: the doubled Web-sender headers collapse into
// one; "삼성카드쇼핑" becomes "쇼핑" (and then no sender clean-up runs);
// otherwise the first sender rule whose test holds; finally the Kakao Pay
// notices are removed. Never fails: a pattern that gives up changes nothing.
CleanedPaste cleanPaste(const std::string& paste);

// The sender clean-ups one by one (text in, text out), for the rules above.
namespace paste_cleanup {
using sms::UString;

// Two "[Web발신]" headers with one short line (at most 7 characters)
// between them become one header.
UString collapseWebHeaders(const UString& text);
UString nongHyupException(const UString& text);
UString smileCardException(const UString& text);
UString wooriCardException(const UString& text);
UString siren24Exception(const UString& text);
UString kakaoPayException(const UString& text);
UString miraeAssetException(const UString& text);
UString rotteException(const UString& text);
UString sinhanCardException(const UString& text);
UString chaiPayException(const UString& text);
UString hanaCardException(const UString& text);
UString hyundaeCardException(const UString& text);
UString samsungStockException(const UString& text);
UString tossBankCardException(const UString& text);
UString nongHyupCardException(const UString& text);

// The web domain by which the carrier's mobile-payment notices are told apart.
inline constexpr const char16_t* kSiren24Domain = u"siren24.com";
}  // namespace paste_cleanup

}  // namespace varnel
