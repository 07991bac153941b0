#include "reports/search.h"

#include <algorithm>

#include <fmt/format.h>

#include "model/etc_repository.h"
#include "model/liveness.h"
#include "model/period.h"
#include "model/record_io.h"
#include "model/search_index.h"
#include "model/sql_filter.h"
#include "model/text.h"
#include "model/text_fold.h"
#include "model/tx_kind.h"

namespace varnel {

namespace {

// A trigram index finds only texts of at least three characters.
constexpr size_t kIndexedTextLength = 3;

size_t codePoints(std::string_view utf8) {
  return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// The FTS5 query of one phrase in the given columns: the whole text, quoted,
// so nothing in it is read as query syntax.
std::string phraseQuery(const std::string& text, bool withMessage) {
  std::string quoted;
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return fmt::format("{{{} {}{}}} : \"{}\"", search_index::kContentColumn, search_index::kMemoColumn,
                     withMessage ? std::string(" ") + search_index::kMessageColumn : "", quoted);
}

SqlFilter storeFilter(Ledger& ledger, const SearchCriteria& c) {
  SqlFilter filter;
  filter.where(live::recordSql("t"));
  filter.where("t.ZDO_TYPE IS NULL OR t.ZDO_TYPE != " + kindSql(TxKind::kTransferIn));
  const PeriodRules rules(ledger.env().dates(), ledger.commonData().app());
  if (c.startDate) filter.where("t.ZDATE >= ?", {rules.startOfDay(*c.startDate)});
  if (c.endDate) filter.where("t.ZDATE < ?", {rules.addDays(rules.startOfDay(*c.endDate), 1)});
  if (!c.accounts.empty()) {
    std::vector<SqlFilter::Value> both(c.accounts.begin(), c.accounts.end());
    both.insert(both.end(), c.accounts.begin(), c.accounts.end());
    filter.where(SqlFilter::inList("t.ZASSETUID", c.accounts.size()) + " OR " +
                     SqlFilter::inList("t.ZTOASSETUID", c.accounts.size()),
                 std::move(both));
  }
  if (!c.categories.empty()) {
    std::vector<std::string> uids = c.categories;
    const bool useSubCategory = EtcRepository(ledger).getUseSubCategory();
    for (const std::string& uid : c.categories) {
      for (std::string& sub : ledger.commonData().getSubCategoryIdsByParentId(uid, useSubCategory)) {
        uids.push_back(std::move(sub));
      }
    }
    std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    filter.whereIn("t.ZCATEGORYUID", uids);
    filter.where("t.ZDO_TYPE IN " + kindListSql({TxKind::kIncome, TxKind::kExpense}));
  }
  if (c.minMoney) filter.where("t.ZAMOUNT >= ?", {*c.minMoney});
  if (c.maxMoney) filter.where("t.ZAMOUNT <= ?", {*c.maxMoney});
  return filter;
}

std::vector<InOutCome> readRows(Ledger& ledger, const SqlFilter& filter, const char* order) {
  const std::string sql = record_io::selectSql<InOutCome>() + " t" + filter.clause() + order;
  std::vector<InOutCome> out;
  try {
    auto st = ledger.store().prepare(sql);
    filter.bind(st);
    while (st.executeStep()) out.push_back(record_io::readRecord<InOutCome>(st));
  } catch (const SQLite::Exception& e) {
    ledger.store().readFailed(sql, e);
  }
  return out;
}

}  // namespace

std::vector<InOutCome> TransactionSearch::getListByDateNotMoveIn(const SearchCriteria& criteria) {
  StoreSnapshot snapshot(ledger_.store());
  return readRows(ledger_, storeFilter(ledger_, criteria), " ORDER BY t.ZDATE, t.ZUTIME, t.Z_PK");
}

std::vector<InOutCome> TransactionSearch::search(const std::string& text,
                                                 const SearchCriteria& criteria) {
  constexpr const char* kNewestFirst = " ORDER BY t.ZDATE DESC, t.ZUTIME DESC, t.Z_PK DESC";
  // The settings and the rows are read from one state of the ledger.
  StoreSnapshot snapshot(ledger_.store());
  SqlFilter filter = storeFilter(ledger_, criteria);
  const std::string needle = foldForSearch(trimmed(text));
  if (needle.empty()) return readRows(ledger_, filter, kNewestFirst);

  const bool withMessage = EtcRepository(ledger_).getShowFullMessage();
  try {
    ensureTextFoldFunction(ledger_.store());
  } catch (const SQLite::Exception& e) {
    ledger_.store().readFailed("VNFOLD", e);
  }
  // Whether a row's folded text holds the folded search text: the decisive
  // comparison, on a table alias ("t.") or on none.
  const auto foldedMatch = [&](const std::string& alias) {
    std::string sql = fmt::format("instr(VNFOLD({0}ZCONTENT), ?) > 0 OR instr(VNFOLD({0}ZMEMO), ?) > 0", alias);
    if (withMessage) sql += fmt::format(" OR instr(VNFOLD({}ZSMSORIGINE), ?) > 0", alias);
    return sql;
  };
  const std::vector<SqlFilter::Value> needles(withMessage ? 3 : 2, needle);
  if (codePoints(needle) >= kIndexedTextLength) {
    // Candidates: the rows the trigram index finds, and the rows it cannot
    // judge that match, compared on the partial index's copy of their text.
    // The index folds case only, so on its rows the comparison below decides.
    std::vector<SqlFilter::Value> values = {phraseQuery(needle, withMessage)};
    values.insert(values.end(), needles.begin(), needles.end());
    filter.where(fmt::format("t.Z_PK IN (SELECT rowid FROM {0} WHERE {0} MATCH ? UNION ALL "
                             "SELECT Z_PK FROM ZINOUTCOME INDEXED BY {1} WHERE ({2}) AND ({3}))",
                             search_index::kTable, search_index::kScanIndex,
                             search_index::scanCondition(), foldedMatch("")),
                 std::move(values));
  }
  filter.where(foldedMatch("t."), needles);
  return readRows(ledger_, filter, kNewestFirst);
}

}  // namespace varnel
