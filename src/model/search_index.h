// The text search index of transactions: an SQLite FTS5 trigram index over
// the content, memo and full message text of ZINOUTCOME, kept in step with the
// table by triggers, and a partial index of the rows whose text the trigram
// tokenizer cannot fold the way foldForSearch does (model/text_fold.h).
//
// The index holds the text as stored, folded only by the tokenizer's own case
// rule, and the triggers use SQLite built-ins alone: any connection that can
// write the ledger (another process, the sqlite3 shell, the identifier
// repair) keeps the index right, with no function of ours registered on it.
// The tokenizer's options are those SQLite 3.34 and later all accept, so a
// ledger written with a newer SQLite stays writable with an older one.
#pragma once

#include <string>

#include <SQLiteCpp/SQLiteCpp.h>

namespace varnel::search_index {

// The FTS5 table; its columns are named as the ZINOUTCOME columns it indexes,
// and its row ids are their Z_PK.
inline constexpr const char* kTable = "ZINOUTCOME_SEARCH";
inline constexpr const char* kContentColumn = "ZCONTENT";
inline constexpr const char* kMemoColumn = "ZMEMO";
inline constexpr const char* kMessageColumn = "ZSMSORIGINE";

// The partial index on ZINOUTCOME of the rows that hold, in any of the three
// columns, a character outside foldStableRanges() (model/text_fold.h). On
// text made of those characters the tokenizer folds case as foldForSearch
// does, character for character, so the trigram index finds every row whose
// folded text holds a folded search text. On other text it may not (it
// keeps accents, for one), so a search reads the rows of this index too; it
// holds the three columns, so they are read without the table.
inline constexpr const char* kScanIndex = "ZINOUTCOME_SEARCH_SCAN";

// The condition (on the unqualified ZINOUTCOME columns) that holds for the
// rows of kScanIndex, exactly as that index is declared, so that a query
// written with it can read the index.
std::string scanCondition();

// Creates whatever of the index, its triggers and the partial index is
// missing, and fills the index from the rows already stored when anything
// was missing. Meant to run inside the schema upgrade's transaction. Throws
// SQLite::Exception (for example when the SQLite in use lacks FTS5 or its
// trigram tokenizer).
void createSearchIndex(SQLite::Database& db);

// Removes the index, its triggers and the partial index. For measuring what
// they cost: a store without them is not a current ledger until
// createSearchIndex has run again. Throws SQLite::Exception.
void dropSearchIndex(SQLite::Database& db);

}  // namespace varnel::search_index
