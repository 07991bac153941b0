#include "sms/sms_paste_text.h"

namespace varnel::paste_text {

std::vector<sms::UString> split(const sms::UString& text, const sms::UString& separator) {
  std::vector<sms::UString> pieces;
  if (separator.isEmpty()) {
    pieces.push_back(text);
    return pieces;
  }
  int32_t start = 0;
  for (int32_t at = text.indexOf(separator); at >= 0; at = text.indexOf(separator, start)) {
    pieces.emplace_back(text, start, at - start);
    start = at + separator.length();
  }
  pieces.emplace_back(text, start, text.length() - start);
  return pieces;
}

}  // namespace varnel::paste_text
