#include "bench/duplicate_uid_store.h"

#include <algorithm>
#include <random>

namespace varnel::bench {

std::vector<std::string> duplicatedUids(const std::string& prefix, int distinct, int duplicated,
                                        int copies, uint32_t seed) {
  std::vector<std::string> uids;
  uids.reserve(static_cast<size_t>(distinct) + static_cast<size_t>(duplicated) * (copies - 1));
  for (int n = 0; n < distinct; ++n) {
    const int count = n < duplicated ? copies : 1;
    for (int c = 0; c < count; ++c) uids.push_back(prefix + std::to_string(n));
  }
  std::mt19937 rng(seed);
  std::shuffle(uids.begin(), uids.end(), rng);
  return uids;
}

void writeUidTable(SQLite::Database& db, const std::string& table,
                   const std::vector<std::string>& uids) {
  SQLite::Transaction transaction(db);
  db.exec("CREATE TABLE " + table + " (Z_PK INTEGER PRIMARY KEY, ZUID VARCHAR, ZISDEL INTEGER)");
  SQLite::Statement insert(db, "INSERT INTO " + table + " (Z_PK, ZUID, ZISDEL) VALUES (?, ?, 0)");
  for (size_t i = 0; i < uids.size(); ++i) {
    insert.bind(1, static_cast<int64_t>(i + 1));
    insert.bind(2, uids[i]);
    insert.exec();
    insert.reset();
  }
  transaction.commit();
}

}  // namespace varnel::bench
