#include "model/text_fold.h"

#include <gtest/gtest.h>
#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <memory>
#include <random>

namespace varnel {
namespace {

std::string utf8(char32_t c) {
  icu::UnicodeString u(static_cast<UChar32>(c));
  std::string out;
  u.toUTF8String(out);
  return out;
}

// The folding's definition, spelled as an ICU transliteration: what
// foldWithIcu computes with faster means.
std::string referenceFold(const std::string& text) {
  UErrorCode status = U_ZERO_ERROR;
  static const std::unique_ptr<icu::Transliterator> kRemover(icu::Transliterator::createInstance(
      "NFD; [:Nonspacing Mark:] Remove; NFC", UTRANS_FORWARD, status));
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
  kRemover->transliterate(u);
  u.foldCase();
  std::string out;
  u.toUTF8String(out);
  return out;
}

TEST(TextFold, FoldsAsTheTransliterationWithoutMarksAndCaseFoldingDoes) {
  std::vector<std::string> marked;
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::string one = utf8(c);
    ASSERT_EQ(detail::foldWithIcu(one), referenceFold(one)) << "U+" << std::hex << static_cast<uint32_t>(c);
    const auto code = static_cast<UChar32>(c);
    if (u_getCombiningClass(code) != 0 || u_charType(code) == U_NON_SPACING_MARK) {
      marked.push_back(one);
    }
  }
  // Letters with the marks that combine, reorder and come off around them,
  // and Hangul letters that compose.
  std::vector<std::string> pool = {"a", "E", "é", "ß", "İ", "가", "\xE1\x84\x80", "\xE1\x85\xA1", "\xE1\x86\xA8",
                                   "が", "ｶ"};
  std::mt19937 random(3);
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    for (int k = 1 + static_cast<int>(random() % 6); k > 0; --k) {
      text += random() % 2 ? marked[random() % marked.size()] : pool[random() % pool.size()];
    }
    ASSERT_EQ(detail::foldWithIcu(text), referenceFold(text)) << text;
  }
}

// The shortcuts (stable text as it is, accented letters by a table of
// their folds) give what ICU gives: on every character alone, and on texts
// mixing the ends of each stable range, the characters just outside them,
// the letters and marks of the table's blocks, and characters that compose,
// reorder or come off with their neighbours.
TEST(TextFold, TheShortcutsFoldAsIcuDoes) {
  for (char32_t c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::string one = utf8(c);
    ASSERT_EQ(foldForSearch(one), detail::foldWithIcu(one)) << "U+" << std::hex << static_cast<uint32_t>(c);
  }
  std::vector<std::string> pool;
  for (const auto& range : foldStableRanges()) {
    for (char32_t c : {range.first, range.last, char32_t(range.first - 1), char32_t(range.last + 1)}) {
      pool.push_back(utf8(c));
    }
  }
  for (char32_t c = 0x80; c < 0x590; c += 7) pool.push_back(utf8(c));
  for (char32_t c = 0x1E00; c < 0x2000; c += 11) pool.push_back(utf8(c));
  for (const char* piece : {"A", "Z", "e", "é", "ß", "\xCC\x81", "\xCC\xA3", "\xCD\x85", "\xE1\x84\x80",
                            "\xE1\x85\xA1", "\xE1\x86\xA8", "가", "が", "\xE3\x82\x99", "µ", "\xE2\x80\x80",
                            "Ａ", "İ", "\xEF\xB8\x8F", "\xE0\xAE\x95", "\xE0\xAE\xBE", "\xFF", "\xE3\x81"}) {
    pool.push_back(piece);
  }
  std::mt19937 random(7);
  for (int i = 0; i < 50000; ++i) {
    std::string text;
    const int length = 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < length; ++k) text += pool[random() % pool.size()];
    ASSERT_EQ(foldForSearch(text), detail::foldWithIcu(text)) << text;
  }
  EXPECT_EQ(foldForSearch(""), "");
  EXPECT_EQ(foldForSearch("Coffee 스타벅스 ☕"), "coffee 스타벅스 ☕");
  EXPECT_EQ(foldForSearch("Café STRAẞE Ελληνικά Йогурт"), "cafe strasse ελληνικα иогурт");
}

}  // namespace
}  // namespace varnel
