// Text comparison that ignores case and diacritics, as the ledger's searches
// and name lookups do ("Café" matches "cafe", "ÉLAN" matches "elan"). Owns the
// folding rule and the SQL function VNFOLD that applies it inside queries, so
// that a search filters in the store instead of loading rows to compare.
#pragma once

#include <string>
#include <string_view>

namespace varnel {

class Store;

// `text` with diacritics removed (decomposed, non-spacing marks dropped,
// recomposed) and then case-folded. Invalid UTF-8 is folded as far as ICU
// reads it; an empty text stays empty.
std::string foldForSearch(std::string_view text);

// True when `needle` occurs in `haystack` ignoring case and diacritics. An
// empty needle matches nothing (an empty search is no search).
bool containsFolded(std::string_view haystack, std::string_view needle);
bool equalsFolded(std::string_view a, std::string_view b);

// Makes VNFOLD(text) available on the store's connection (NULL stays NULL).
// Cheap after the first call on a connection.
void ensureTextFoldFunction(Store& store);

}  // namespace varnel
