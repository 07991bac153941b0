// Damaged stores for the duplicate-identifier repair: identifier tables in
// which many identifiers stand on several rows, written straight with SQL so
// that stores of hundreds of thousands of rows are made in a moment.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <SQLiteCpp/SQLiteCpp.h>

namespace varnel::bench {

// The identifier of every row, uids[i] for Z_PK i + 1: `distinct` identifiers
// "<prefix><n>", of which the first `duplicated` stand on `copies` rows each
// and the rest on one, spread over the row keys in an order fixed by `seed`.
std::vector<std::string> duplicatedUids(const std::string& prefix, int distinct, int duplicated,
                                        int copies, uint32_t seed);

// Creates `table` (Z_PK, ZUID, ZISDEL) and writes one live row per
// identifier, Z_PK i + 1 for uids[i], in one transaction.
void writeUidTable(SQLite::Database& db, const std::string& table,
                   const std::vector<std::string>& uids);

}  // namespace varnel::bench
