#include "sms/sms_patterns.h"

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/locid.h>

namespace varnel::sms {

namespace {
std::atomic<bool> gCacheEnabled{true};
std::atomic<int64_t> gLimitExceeded{0};
std::atomic<bool> gKeywordCheck{false};
std::atomic<int64_t> gKeywordMisses{0};

// Patterns built from ledger data (macro names) could grow the cache without
// end in a long-running process; past this many texts they are compiled for
// each use instead.
constexpr size_t kMaxSharedPatterns = 4096;

// The compiled patterns of the process, by flags and text. Entries are never
// removed, so the pointers handed out stay valid until the process ends; a
// text that does not compile is kept as a null entry.
class Registry {
 public:
  // The shared compiled pattern; null when it does not compile. `stored`
  // tells whether the registry keeps it (false once it is full).
  const icu::RegexPattern* get(const UString& text, uint32_t flags, bool& stored) {
    std::u16string key(1, static_cast<char16_t>(u'0' + flags % 64));
    key.append(text.getBuffer(), static_cast<size_t>(text.length()));
    {
      std::shared_lock lock(mutex_);
      auto it = patterns_.find(key);
      if (it != patterns_.end()) {
        stored = true;
        return it->second.get();
      }
    }
    std::unique_lock lock(mutex_);
    auto it = patterns_.find(key);
    if (it != patterns_.end()) {
      stored = true;
      return it->second.get();
    }
    if (patterns_.size() >= kMaxSharedPatterns) {
      stored = false;
      return nullptr;
    }
    stored = true;
    auto& slot = patterns_[key];
    slot = compile(text, flags);
    return slot.get();
  }

  static std::unique_ptr<icu::RegexPattern> compile(const UString& text, uint32_t flags) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::unique_ptr<icu::RegexPattern> pattern(icu::RegexPattern::compile(text, flags, parseError, status));
    if (U_FAILURE(status)) return nullptr;
    return pattern;
  }

 private:
  std::shared_mutex mutex_;
  std::unordered_map<std::u16string, std::unique_ptr<icu::RegexPattern>> patterns_;
};

Registry& registry() {
  static Registry* instance = new Registry();  // lives as long as the process
  return *instance;
}

void applyLimits(icu::RegexMatcher& matcher) {
  UErrorCode status = U_ZERO_ERROR;
  matcher.setTimeLimit(kMatchTimeLimit, status);
  matcher.setStackLimit(kMatchStackLimit, status);
}

// A matcher for one search over `text`: reused per thread for the shared
// patterns (a matcher is not thread-safe, its pattern is), made afresh for the
// others.
class Lease {
 public:
  Lease(const icu::RegexPattern& pattern, bool shared, const UString& text) {
    UErrorCode status = U_ZERO_ERROR;
    if (shared) {
      thread_local std::unordered_map<const icu::RegexPattern*, std::unique_ptr<icu::RegexMatcher>> matchers;
      auto& slot = matchers[&pattern];
      if (!slot) {
        slot.reset(pattern.matcher(text, status));
        if (U_FAILURE(status)) {
          slot.reset();
          return;
        }
        applyLimits(*slot);
      }
      slot->reset(text);
      matcher_ = slot.get();
      return;
    }
    owned_.reset(pattern.matcher(text, status));
    if (U_FAILURE(status)) {
      owned_.reset();
      return;
    }
    applyLimits(*owned_);
    matcher_ = owned_.get();
  }
  icu::RegexMatcher* get() const { return matcher_; }

 private:
  icu::RegexMatcher* matcher_ = nullptr;
  std::unique_ptr<icu::RegexMatcher> owned_;
};

// A search that failed: running out of a limit is counted; either way the
// caller treats it as no match.
void noteFailure(UErrorCode status) {
  if (status == U_REGEX_TIME_OUT || status == U_REGEX_STACK_OVERFLOW) gLimitExceeded.fetch_add(1);
}

}  // namespace

void setPatternCacheEnabled(bool enabled) { gCacheEnabled.store(enabled); }
bool patternCacheEnabled() { return gCacheEnabled.load(); }
int64_t limitExceededCount() { return gLimitExceeded.load(); }
void setKeywordCheck(bool enabled) { gKeywordCheck.store(enabled); }
int64_t keywordMissCount() { return gKeywordMisses.load(); }

UString fromUtf8(std::string_view text) {
  return UString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const UString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

namespace {

// Whether ignoring case can change what `text` matches: only a cased letter
// outside an escape can. Most message patterns are Hangul, digits and
// escapes, and ICU matches them faster without folding every character.
bool hasCasedLetters(const UString& text) {
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    if (c == u'\\') {
      const int32_t next = text.moveIndex32(i, 1);
      if (next >= text.length()) break;
      const UChar32 escaped = text.char32At(next);
      // Property and named-character escapes carry names in braces.
      if (escaped == u'p' || escaped == u'P' || escaped == u'N' || escaped == u'x') return true;
      i = text.moveIndex32(next, 1);
      continue;
    }
    if (u_hasBinaryProperty(c, UCHAR_CASED)) return true;
    i = text.moveIndex32(i, 1);
  }
  return false;
}

}  // namespace

struct Pattern::Handle {
  const icu::RegexPattern* pattern = nullptr;
  bool shared = false;
  std::unique_ptr<icu::RegexPattern> owned;
};

Pattern::Pattern(std::u16string_view text, bool caseInsensitive)
    : Pattern(UString(text.data(), static_cast<int32_t>(text.size())), caseInsensitive) {}

Pattern::Pattern(const UString& text, bool caseInsensitive)
    : text_(text), flags_(caseInsensitive && hasCasedLetters(text) ? UREGEX_CASE_INSENSITIVE : 0) {}

Pattern::Pattern(std::u16string_view text, const Keywords& keywords) : Pattern(text) {
  for (const char16_t* keyword : keywords.anyOf) {
    const UString k = lit(keyword);
    if (hasCasedLetters(k)) {
      casedKeywords_.push_back(lowered(k));
    } else {
      uncasedKeywords_.push_back(k);
    }
  }
}

Pattern::~Pattern() = default;

bool Pattern::keywordsPresent(const UString& text) const {
  for (const UString& k : uncasedKeywords_) {
    if (text.indexOf(k) >= 0) return true;
  }
  if (casedKeywords_.empty()) return false;
  const UString lower = lowered(text);
  for (const UString& k : casedKeywords_) {
    if (lower.indexOf(k) >= 0) return true;
  }
  return false;
}

bool Pattern::mayMatch(const UString& text) const {
  if (uncasedKeywords_.empty() && casedKeywords_.empty()) return true;
  if (keywordsPresent(text)) return true;
  if (gKeywordCheck.load(std::memory_order_relaxed)) {
    Pattern unguarded(text_);
    if (unguarded.find(text)) gKeywordMisses.fetch_add(1);
  }
  return false;
}

Pattern::Handle Pattern::acquire() const {
  Handle handle;
  if (invalid_.load(std::memory_order_relaxed)) return handle;
  if (patternCacheEnabled()) {
    if (const icu::RegexPattern* known = shared_.load(std::memory_order_acquire)) {
      handle.pattern = known;
      handle.shared = true;
      return handle;
    }
    bool stored = false;
    const icu::RegexPattern* compiled = registry().get(text_, flags_, stored);
    if (stored) {
      if (!compiled) {
        invalid_.store(true, std::memory_order_relaxed);
        return handle;
      }
      shared_.store(compiled, std::memory_order_release);
      handle.pattern = compiled;
      handle.shared = true;
      return handle;
    }
  }
  handle.owned = Registry::compile(text_, flags_);
  handle.pattern = handle.owned.get();
  return handle;
}

bool Pattern::valid() const {
  Handle handle = acquire();
  return handle.pattern != nullptr;
}

std::optional<Span> Pattern::find(const UString& text, int32_t from) const {
  if (from < 0 || from > text.length() || !mayMatch(text)) return std::nullopt;
  Handle handle = acquire();
  if (!handle.pattern) return std::nullopt;
  Lease lease(*handle.pattern, handle.shared, text);
  icu::RegexMatcher* matcher = lease.get();
  if (!matcher) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  const bool found = matcher->find(from, status);
  if (U_FAILURE(status)) {
    noteFailure(status);
    return std::nullopt;
  }
  if (!found) return std::nullopt;
  Span span{matcher->start(status), matcher->end(status)};
  if (U_FAILURE(status)) return std::nullopt;
  return span;
}

std::vector<Span> Pattern::findAll(const UString& text) const {
  std::vector<Span> spans;
  if (!mayMatch(text)) return spans;
  Handle handle = acquire();
  if (!handle.pattern) return spans;
  Lease lease(*handle.pattern, handle.shared, text);
  icu::RegexMatcher* matcher = lease.get();
  if (!matcher) return spans;
  UErrorCode status = U_ZERO_ERROR;
  while (true) {
    // The steps count from the matcher's reset, so the whole list shares one
    // budget: a long text full of matches gives up like one long search.
    const bool found = matcher->find(status);
    if (U_FAILURE(status)) {
      noteFailure(status);
      return {};
    }
    if (!found) break;
    Span span{matcher->start(status), matcher->end(status)};
    if (U_FAILURE(status)) return {};
    spans.push_back(span);
  }
  return spans;
}

UString quoted(const UString& text) {
  static const UString kSpecial = lit(u"\\^$.|?*+()[]{}-/#&~:<>=!,'\"@%");
  UString out;
  for (int32_t i = 0; i < text.length(); ++i) {
    const char16_t c = text.charAt(i);
    if (kSpecial.indexOf(c) >= 0 || c == u' ') out.append(u'\\');
    out.append(c);
  }
  return out;
}

bool contains(const UString& text, const char16_t* part) { return text.indexOf(lit(part)) >= 0; }
bool contains(const UString& text, const UString& part) { return !part.isEmpty() && text.indexOf(part) >= 0; }

void replaceAll(UString& text, const char16_t* from, const char16_t* to) {
  text.findAndReplace(lit(from), lit(to));
}
void replaceAll(UString& text, const UString& from, const UString& to) {
  if (!from.isEmpty()) text.findAndReplace(from, to);
}
void removeAll(UString& text, const char16_t* part) { text.findAndReplace(lit(part), UString()); }
void removeAll(UString& text, const UString& part) {
  if (!part.isEmpty()) text.findAndReplace(part, UString());
}

void cutAfter(UString& text, const char16_t* marker) {
  const int32_t at = text.indexOf(lit(marker));
  if (at >= 0) text.truncate(at);
}

UString removeAll(const UString& text, const Pattern& pattern) {
  const std::vector<Span> spans = pattern.findAll(text);
  if (spans.empty()) return text;
  UString out;
  int32_t at = 0;
  for (const Span& span : spans) {
    out.append(text, at, span.start - at);
    at = span.end;
  }
  out.append(text, at, text.length() - at);
  return out;
}

UString removeFirst(const UString& text, const Pattern& pattern) {
  return replaceFirst(text, pattern, UString());
}

UString firstMatch(const UString& text, const Pattern& pattern) {
  const std::optional<Span> span = pattern.find(text);
  return span ? slice(text, *span) : UString();
}

UString replaceFirst(const UString& text, const Pattern& pattern, const UString& replacement) {
  const std::optional<Span> span = pattern.find(text);
  if (!span) return text;
  UString out(text, 0, span->start);
  out.append(replacement);
  out.append(text, span->end, text.length() - span->end);
  return out;
}

UString trimmed(const UString& text) {
  int32_t start = 0;
  int32_t end = text.length();
  auto blank = [](UChar32 c) { return u_isWhitespace(c) || u_isspace(c) || c == 0x200B || c == 0xFEFF; };
  while (start < end && blank(text.char32At(start))) start = text.moveIndex32(start, 1);
  while (end > start) {
    const int32_t before = text.moveIndex32(end, -1);
    if (!blank(text.char32At(before))) break;
    end = before;
  }
  return UString(text, start, end - start);
}

UString lowered(const UString& text) {
  UString out(text);
  out.toLower(icu::Locale::getRoot());
  return out;
}

int32_t codePointCount(const UString& text) { return text.countChar32(); }

}  // namespace varnel::sms
