// The regular expressions of the message parsers and the text helpers their
// filters are made of. Patterns use ICU's syntax and are matched on UTF-16
// text, so that lengths and positions count characters as the parsers'
// rules do.
//
// Each pattern text is compiled once per process and shared by every thread;
// each match runs with a limit on the engine's steps and on its backtracking
// memory, so that no input can hang or exhaust the parser. A match that runs
// out of either limit counts as no match.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/unistr.h>

U_NAMESPACE_BEGIN
class RegexPattern;
U_NAMESPACE_END

namespace varnel::sms {

using UString = icu::UnicodeString;

// Steps of ICU's match engine one search, or one collection of every match,
// may take (a step is ten thousand operations of the engine, not a clock
// reading, so a run gives the same result on any machine and under any
// instrumentation; one step takes well under a millisecond). A message of
// ordinary length takes a small part of it; a backtracking explosion stops
// here.
inline constexpr int32_t kMatchTimeLimit = 40;
// Bytes of backtracking state one search may hold.
inline constexpr int32_t kMatchStackLimit = 1 << 20;

// Whether compiled patterns are kept and shared (the default). Switched off,
// every match compiles its pattern anew; only the benchmark does this, to
// measure what the cache saves.
void setPatternCacheEnabled(bool enabled);
bool patternCacheEnabled();

// How many searches ran out of a limit since the process started (for
// tests and diagnostics).
int64_t limitExceededCount();

// With the check on, a pattern whose keywords rule a text out searches it
// anyway and counts it when it matches after all: a keyword list that misses
// one of the pattern's branches. For tests.
void setKeywordCheck(bool enabled);
int64_t keywordMissCount();

// UTF-8 ↔ UTF-16. Ill-formed UTF-8 becomes U+FFFD.
UString fromUtf8(std::string_view text);
std::string toUtf8(const UString& text);
// A read-only view of a NUL-terminated literal, with no copy.
inline UString lit(const char16_t* text) { return UString(true, text, -1); }

// Words of which a text must hold one (ignoring case) for a pattern to match
// it; see Pattern.
struct Keywords {
  std::vector<const char16_t*> anyOf;
};

// A match: [start, end) in UTF-16 units.
struct Span {
  int32_t start = 0;
  int32_t end = 0;
  int32_t length() const { return end - start; }
};

class Pattern {
 public:
  // `text` in ICU's syntax; case-insensitive unless `caseInsensitive` is
  // false. Nothing is compiled until the first search.
  explicit Pattern(std::u16string_view text, bool caseInsensitive = true);
  explicit Pattern(const char16_t* text, bool caseInsensitive = true)
      : Pattern(std::u16string_view(text), caseInsensitive) {}
  explicit Pattern(const UString& text, bool caseInsensitive = true);
  // A case-insensitive pattern that can only match a text holding one of
  // `anyOf` (ignoring case): a text without any of them is not searched.
  // Most big patterns of the parsers need a keyword that few messages hold.
  Pattern(std::u16string_view text, const Keywords& keywords);
  ~Pattern();
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;

  // The first match starting at or after `from`; none when there is none,
  // when the pattern does not compile, or when the search ran out of a
  // limit.
  std::optional<Span> find(const UString& text, int32_t from = 0) const;
  // Every match, left to right, as successive searches find them. Empty when
  // any search ran out of a limit (a partial list could remove the wrong
  // text) or the pattern does not compile.
  std::vector<Span> findAll(const UString& text) const;
  // Whether the pattern compiles.
  bool valid() const;

  const UString& text() const { return text_; }

 private:
  struct Handle;
  Handle acquire() const;
  // False when the keywords rule out a match in `text`.
  bool mayMatch(const UString& text) const;
  bool keywordsPresent(const UString& text) const;

  // The keywords: those without case as they are, the others in lower case.
  std::vector<UString> uncasedKeywords_;
  std::vector<UString> casedKeywords_;

  UString text_;
  uint32_t flags_;
  // Set once, on the first search with the cache on: the shared compiled
  // pattern, which lives as long as the process.
  mutable std::atomic<const icu::RegexPattern*> shared_{nullptr};
  mutable std::atomic<bool> invalid_{false};
};

// Escapes every character that has a meaning in a pattern, so that `text`
// matches itself.
UString quoted(const UString& text);

// ---- Text helpers on UTF-16 text ---------------------------------------------
bool contains(const UString& text, const char16_t* part);
bool contains(const UString& text, const UString& part);
// Replaces every occurrence of `from` with `to`.
void replaceAll(UString& text, const char16_t* from, const char16_t* to);
void replaceAll(UString& text, const UString& from, const UString& to);
// Removes every occurrence of `part`.
void removeAll(UString& text, const char16_t* part);
void removeAll(UString& text, const UString& part);
// Removes the text from the first occurrence of `marker` to the end.
void cutAfter(UString& text, const char16_t* marker);
// Removes every match of `pattern` (nothing when the search runs out).
UString removeAll(const UString& text, const Pattern& pattern);
// Removes the first match of `pattern`.
UString removeFirst(const UString& text, const Pattern& pattern);
// The first matching text, or an empty text.
UString firstMatch(const UString& text, const Pattern& pattern);
// Replaces the first match of `pattern` with `replacement` (taken as it is).
UString replaceFirst(const UString& text, const Pattern& pattern, const UString& replacement);
// The text between two positions.
inline UString slice(const UString& text, const Span& span) {
  return UString(text, span.start, span.length());
}
// White space and line breaks trimmed at both ends.
UString trimmed(const UString& text);
// Lower case, in the root locale.
UString lowered(const UString& text);
// Number of code points.
int32_t codePointCount(const UString& text);

}  // namespace varnel::sms
