// Text comparison that ignores case and diacritics, as the ledger's searches
// and name lookups do ("Café" matches "cafe", "ÉLAN" matches "elan"). Owns the
// folding rule and the SQL function VNFOLD that applies it inside queries, so
// that a search filters in the store instead of loading rows to compare.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace varnel {

class Store;

// `text` with diacritics removed (decomposed, non-spacing marks dropped,
// recomposed) and then case-folded. Invalid UTF-8 is folded as far as ICU
// reads it; an empty text stays empty.
std::string foldForSearch(std::string_view text);

// Code points from `first` to `last`, both included.
struct CodePointRange {
  char32_t first;
  char32_t last;
};
// The characters foldForSearch keeps as they are (A-Z becoming a-z), alone
// and inside any text made only of them, in ascending order: ASCII
// printables, tab and line breaks, common Latin-1 signs, punctuation,
// currency signs, enclosed numbers, box drawing, shapes, dingbats, CJK
// punctuation, Hangul syllables and compatibility letters, enclosed CJK, CJK
// ideographs, full-width punctuation and emoji.
// Cased letters other than ASCII, letters with accents, combining marks,
// conjoining Hangul letters and kana (whose voicing marks come off) are out.
const std::vector<CodePointRange>& foldStableRanges();

// True when `needle` occurs in `haystack` ignoring case and diacritics. An
// empty needle matches nothing (an empty search is no search).
bool containsFolded(std::string_view haystack, std::string_view needle);
bool equalsFolded(std::string_view a, std::string_view b);

namespace detail {
// foldForSearch without its shortcuts (fold-stable text, and accented
// letters that fold on their own, folded character by character): always
// through ICU. The two agree on every text; tests hold them to it.
std::string foldWithIcu(std::string_view text);
}  // namespace detail

// Makes VNFOLD(text) available on the store's connection (NULL stays NULL).
// Cheap after the first call on a connection.
void ensureTextFoldFunction(Store& store);

}  // namespace varnel
