#include "reports/search.h"

#include <algorithm>
#include <tuple>
#include <utility>

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

// The rows by `Date`, then `utime`, then row key, each ascending or each
// descending; a missing date or stamp comes before every other, as in SQL.
// Sorted here rather than by ORDER BY: SQLite's sorter copies whole records,
// and spills them to a temporary file past its small cache.
void sortByDate(std::vector<InOutCome>& rows, bool newestFirst) {
  using Key = std::tuple<bool, double, bool, int64_t, int64_t>;
  // Keys sorted, and the records moved once into place: a record has some
  // fifty fields, and moving them at every step of the sort cost more.
  std::vector<std::pair<Key, size_t>> order;
  order.reserve(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const InOutCome& r = rows[i];
    order.emplace_back(Key(r.Date.has_value(), r.Date.value_or(0), r.utime.has_value(), r.utime.value_or(0), r.pk), i);
  }
  std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
    return newestFirst ? b.first < a.first : a.first < b.first;
  });
  std::vector<InOutCome> sorted;
  sorted.reserve(rows.size());
  for (const auto& entry : order) sorted.push_back(std::move(rows[entry.second]));
  rows = std::move(sorted);
}

std::vector<InOutCome> readRows(Ledger& ledger, const SqlFilter& filter, bool newestFirst) {
  const std::string sql = record_io::selectSql<InOutCome>() + " t" + filter.clause();
  std::vector<InOutCome> out;
  try {
    auto st = ledger.store().prepare(sql);
    filter.bind(st);
    while (st.executeStep()) out.push_back(record_io::readRecord<InOutCome>(st));
  } catch (const SQLite::Exception& e) {
    ledger.store().readFailed(sql, e);
  }
  sortByDate(out, newestFirst);
  return out;
}

}  // namespace

std::vector<InOutCome> TransactionSearch::getListByDateNotMoveIn(const SearchCriteria& criteria) {
  StoreSnapshot snapshot(ledger_.store());
  return readRows(ledger_, storeFilter(ledger_, criteria), false);
}

std::vector<InOutCome> TransactionSearch::search(const std::string& text,
                                                 const SearchCriteria& criteria) {
  // The settings and the rows are read from one state of the ledger.
  StoreSnapshot snapshot(ledger_.store());
  SqlFilter filter = storeFilter(ledger_, criteria);
  const std::string needle = foldForSearch(trimmed(text));
  if (needle.empty()) return readRows(ledger_, filter, true);

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
  // The rows whose text the index cannot judge that match, compared on the
  // partial index's copy of their text (binds `needles`).
  const std::string scanned = fmt::format("SELECT Z_PK FROM ZINOUTCOME INDEXED BY {} WHERE ({}) AND ({})",
                                          search_index::kScanIndex, search_index::scanCondition(),
                                          foldedMatch(""));
  if (codePoints(needle) >= kIndexedTextLength) {
    // Candidates: the rows the trigram index finds, and those. The index
    // folds case only, so on its rows the comparison after decides.
    std::vector<SqlFilter::Value> values = {phraseQuery(needle, withMessage)};
    values.insert(values.end(), needles.begin(), needles.end());
    filter.where(fmt::format("t.Z_PK IN (SELECT rowid FROM {0} WHERE {0} MATCH ? UNION ALL {1})",
                             search_index::kTable, scanned),
                 std::move(values));
    filter.where(foldedMatch("t."), needles);
  } else {
    // Too short for the trigram index: every row is read. Text of
    // fold-stable characters folds by lowering A-Z, which is what LIKE
    // ignores, so LIKE decides for every row but those of the partial index,
    // without folding any text.
    std::string pattern = "%";
    for (char c : needle) {
      if (c == '%' || c == '_' || c == '\\') pattern += '\\';
      pattern += c;
    }
    pattern += '%';
    std::string like = "t.ZCONTENT LIKE ? ESCAPE '\\' OR t.ZMEMO LIKE ? ESCAPE '\\'";
    if (withMessage) like += " OR t.ZSMSORIGINE LIKE ? ESCAPE '\\'";
    std::vector<SqlFilter::Value> values(withMessage ? 3 : 2, pattern);
    values.insert(values.end(), needles.begin(), needles.end());
    filter.where(fmt::format("(({0}) AND t.Z_PK NOT IN (SELECT Z_PK FROM ZINOUTCOME INDEXED BY {1} WHERE {2})) "
                             "OR t.Z_PK IN ({3})",
                             like, search_index::kScanIndex, search_index::scanCondition(), scanned),
                 std::move(values));
  }
  return readRows(ledger_, filter, true);
}

}  // namespace varnel
