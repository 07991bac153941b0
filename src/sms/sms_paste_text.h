// Small text helpers of the paste driver that the parsers' helpers
// (sms_patterns.h) do not offer: splitting at a separator the way the
// paste rules count pieces.
#pragma once

#include <vector>

#include "sms/sms_patterns.h"

namespace varnel::paste_text {

// The pieces of `text` between occurrences of `separator`, empty pieces
// kept: "a|b" and "|b" give two each, "" gives one empty piece. An empty
// separator gives `text` whole.
std::vector<sms::UString> split(const sms::UString& text, const sms::UString& separator);
inline std::vector<sms::UString> split(const sms::UString& text, const char16_t* separator) {
  return split(text, sms::lit(separator));
}

}  // namespace varnel::paste_text
