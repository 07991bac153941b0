// Small text helpers shared by the record code: trimming white space,
// splitting the ";"-separated records of the bundled lists, and checking and
// showing text that came from outside (arguments, files, older stores).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// `text` without leading and trailing ASCII white space (space, tab, line
// breaks, vertical tab, form feed).
std::string trimmed(std::string_view text);

// Splits at every `separator`, keeping empty pieces ("a;;b" gives three).
std::vector<std::string> splitFields(std::string_view text, char separator = ';');

// The code point of the UTF-8 sequence starting at `pos`, advancing `pos`
// past it; none (and `pos` past the first byte only) when the bytes there are
// not a well-formed sequence: overlong forms, surrogates and code points
// above U+10FFFF are not.
std::optional<char32_t> decodeUtf8(std::string_view text, size_t& pos);

// Appends the UTF-8 form of the code point `c` (at most U+10FFFF).
void appendUtf8(std::string& out, char32_t c);

// Whether `text` is well-formed UTF-8: every sequence in its shortest form,
// no UTF-16 surrogate (U+D800 … U+DFFF) and nothing above U+10FFFF. The empty
// text is valid.
bool isValidUtf8(std::string_view text);

// `text` made safe for one line of a terminal or a line-per-record listing:
// line breaks and tabs as "\n", "\r", "\t", every other control character
// (U+0000 … U+001F, U+007F, U+0080 … U+009F) as "\xHH" or "\u00HH", and each
// byte that does not belong to well-formed UTF-8 as U+FFFD. Everything else,
// the backslash included, is kept as it is.
std::string escapedForLine(std::string_view text);

}  // namespace varnel
