#include <gtest/gtest.h>

#include "model/text.h"

namespace varnel {
namespace {

struct Utf8Case {
  const char* name;
  std::string bytes;
  bool valid;
};

TEST(Text, IsValidUtf8AcceptsWellFormedSequencesOnly) {
  const std::vector<Utf8Case> cases = {
      {"empty", "", true},
      {"ASCII with controls", std::string("a\tb\n\0c", 7), true},
      {"two bytes (é)", "caf\xC3\xA9", true},
      {"three bytes (원)", "\xEC\x9B\x90", true},
      {"four bytes (U+1F4B0)", "\xF0\x9F\x92\xB0", true},
      {"last code point U+10FFFF", "\xF4\x8F\xBF\xBF", true},
      {"U+FFFF", "\xEF\xBF\xBF", true},
      {"just below the surrogates U+D7FF", "\xED\x9F\xBF", true},
      {"Latin-1 byte", "caf\xE9", false},
      {"lone 0xFF", "Bad\xFFName", false},
      {"lone continuation byte", "\x80", false},
      {"overlong NUL (C0 80)", "\xC0\x80", false},
      {"overlong slash (C1 AF)", "\xC1\xAF", false},
      {"overlong three bytes (E0 80 AF)", "\xE0\x80\xAF", false},
      {"overlong four bytes (F0 80 80 AF)", "\xF0\x80\x80\xAF", false},
      {"surrogate U+D800", "\xED\xA0\x80", false},
      {"surrogate U+DFFF", "\xED\xBF\xBF", false},
      {"above U+10FFFF (F4 90)", "\xF4\x90\x80\x80", false},
      {"F5 lead byte", "\xF5\x80\x80\x80", false},
      {"truncated at the end", "\xEC\x9B", false},
      {"truncated before ASCII", "\xEC\x9B" "a", false},
      {"continuation missing in four bytes", "\xF0\x9F\x92" "a", false},
  };
  for (const auto& c : cases) EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.name;
}

TEST(Text, EscapedForLineKeepsOneRecordOnOneLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Plain name", "Plain name"},
      {"Two\nLines", "Two\\nLines"},
      {"a\r\nb\tc", "a\\r\\nb\\tc"},
      {"red \x1b[31m", "red \\x1b[31m"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"del\x7f", "del\\x7f"},
      {"C1 \xC2\x9B" "2J", "C1 \\u009b2J"},               // U+009B is a terminal's CSI
      {"Bad\xFFName", "Bad\xEF\xBF\xBDName"},               // not UTF-8: U+FFFD
      {"caf\xC3\xA9 \xEC\x9B\x90 C:\\tmp", "caf\xC3\xA9 \xEC\x9B\x90 C:\\tmp"},  // kept as typed
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(escapedForLine(in), out) << in;
}

}  // namespace
}  // namespace varnel
