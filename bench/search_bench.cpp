// Times the transaction search against a bare LIKE scan of the same columns,
// in the same run and on the same store file, and prints for each word the
// ratio (bare / ours; goal: at least 5 for a word of three characters or
// more):
//   - ours: TransactionSearch::search over the whole ledger, with the full
//     message text searched too (setting -12649 set to 1 inside a
//     transaction that is rolled back at the end, so the file is left as it
//     was): the records, newest first;
//   - bare: the same records selected with "ZCONTENT LIKE '%w%' OR ZMEMO LIKE
//     … OR ZSMSORIGINE LIKE …" (live rows, no receiving sides of transfers,
//     newest first), which reads every row in table order; the rows are
//     stepped through, not turned into records.
// LIKE folds ASCII case only, so for words with accents or other cased
// letters the row counts differ: ours also finds the folded forms.
//
//   search_bench --ledger FILE [--rounds R] [--word W]… [--search-only] [--tz Z] [--locale L] [--now ISO]
// FILE is a store written by make-ledger.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "bench/bench_support.h"
#include "model/etc_repository.h"
#include "model/record_io.h"
#include "model/search_index.h"
#include "reports/search.h"

using namespace varnel;
using bench::median;
using bench::timeIt;

int main(int argc, char** argv) {
  CLI::App app{"search_bench: the transaction search against a bare LIKE scan on one ledger"};
  bench::LedgerOptions opt;
  // A merchant and its branch, an accented one (whose rows the index leaves
  // to the folded comparison), an English brand, a memo, a brand found in
  // one row in sixty, and a two-character word (below the trigram index).
  std::vector<std::string> words = {"스타벅스 역삼점", "café mamas 역삼", "blue bottle", "생일 선물", "스타벅스", "커피"};
  bench::addLedgerOptions(app, opt);
  app.add_option("--word", words, "Words to search (repeatable; replaces the default words)");
  bool searchOnly = false;
  app.add_flag("--search-only", searchOnly, "Time only the search (for profiling it)");
  CLI11_PARSE(app, argc, argv);

  auto ledger = bench::openLedger(opt, "search_bench");
  auto& db = ledger->store().db();
  const int64_t rows = db.execAndGet("SELECT COUNT(*) FROM ZINOUTCOME").getInt64();
  const int64_t scanned =
      db.execAndGet(std::string("SELECT COUNT(*) FROM ZINOUTCOME INDEXED BY ") + search_index::kScanIndex +
                    " WHERE " + search_index::scanCondition())
          .getInt64();

  StoreTransaction rolledBack(ledger->store());
  if (!EtcRepository(*ledger).updateEtcUserSettingByType(etc_kind::kShowFullMessage, "1")) {
    std::fprintf(stderr, "search_bench: cannot turn on the full message text\n");
    return 1;
  }
  // Warm the page cache for both sides alike.
  db.execAndGet("SELECT TOTAL(length(ZCONTENT) + length(ZMEMO) + length(ZSMSORIGINE)) FROM ZINOUTCOME");

  std::printf("ledger: %s, %lld transactions (%lld with text the index leaves to a folded scan), "
              "rounds: %d (medians)\n",
              opt.file.c_str(), static_cast<long long>(rows), static_cast<long long>(scanned), opt.rounds);
  TransactionSearch search(*ledger);
  // NOT INDEXED: read in table order and sorted after, the cheapest way
  // through every row; walking the date index instead costs a table seek per
  // row.
  const std::string bareSql = record_io::selectSql<InOutCome>() +
                              " NOT INDEXED WHERE (ZISDEL IS NULL OR ZISDEL != 1) "
                              "AND (ZDO_TYPE IS NULL OR ZDO_TYPE != '4') "
                              "AND (ZCONTENT LIKE ?1 OR ZMEMO LIKE ?1 OR ZSMSORIGINE LIKE ?1) "
                              "ORDER BY ZDATE DESC, ZUTIME DESC, Z_PK DESC";
  for (const std::string& word : words) {
    std::vector<double> ours, bare;
    size_t found = 0, bareFound = 0;
    for (int r = 0; r < opt.rounds; ++r) {
      ours.push_back(timeIt([&] { found = search.search(word, {}).size(); }));
      if (searchOnly) {
        bare.push_back(0);
        continue;
      }
      bare.push_back(timeIt([&] {
        SQLite::Statement st(db, bareSql);
        st.bind(1, "%" + word + "%");
        bareFound = 0;
        while (st.executeStep()) ++bareFound;
      }));
    }
    const auto characters = std::count_if(word.begin(), word.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    std::printf("%-12s search %8.1f ms (%6zu rows)   bare LIKE %8.1f ms (%6zu rows)   ratio %5.1f%s\n",
                word.c_str(), median(ours) * 1e3, found, median(bare) * 1e3, bareFound,
                median(bare) / median(ours),
                characters < 3 ? "  (too short for the index: a folded scan)" : "  (goal >= 5)");
  }
  return 0;
}
