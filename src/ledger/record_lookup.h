// Records named the way people name them: by identifier, else by exact name
// among the records that are not deleted. Every front end resolves names
// through these, so the same text always picks the same record, and "deleted"
// means what the ledger's own predicates say.
#pragma once

#include <string>

#include "model/common_data.h"
#include "model/ledger.h"

namespace varnel {

// The account whose identifier is `text` (a deleted one too: its
// transactions still carry it), else the one account not deleted
// (live::isLiveAccount) named exactly `text`; hidden accounts count as not
// deleted. Throws InputError when nothing or several match.
Asset resolveAccount(const CommonData& cache, const std::string& text);

// The account group whose identifier is `text` (deleted or not), else the one
// group in the group list (live::isListedGroup) named exactly `text`. Throws
// InputError when nothing or several match.
AssetGroup resolveAssetGroup(const CommonData& cache, const std::string& text);

// The live category whose identifier is `text`, else whose full name
// ("Parent/Child") is exactly `text`, else whose name is. The
// pseudo-categories "-2" and "-4" are refused: no record stands behind them.
// Throws InputError when nothing or several match.
Category resolveCategory(const CommonData& cache, const std::string& text);

// The currency row whose identifier is `text`, else the row of the ISO code
// `text` (any case) against the main currency: the main row for the main
// currency's code, else the live row offered for entry. Throws InputError
// when there is none.
Currency resolveCurrency(Ledger& ledger, const std::string& text);

// The tag whose identifier is `text`, else the one live tag named exactly
// `text`. Throws InputError when nothing or several match.
Tag resolveTag(Ledger& ledger, const std::string& text);

}  // namespace varnel
