#include "ledger/memo_repository.h"

#include <fmt/format.h>

#include "model/errors.h"
#include "model/liveness.h"
#include "model/text_fold.h"

namespace varnel {

namespace {

bool blank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

// "#RRGGBB" or "#AARRGGBB" in upper case; none for any other text.
std::optional<std::string> colorText(const std::string& text) {
  if ((text.size() != 7 && text.size() != 9) || text[0] != '#') return std::nullopt;
  std::string out = "#";
  for (char c : text.substr(1)) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return std::nullopt;
    out += c;
  }
  return out;
}

bool allDigits(const std::string& s) {
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return !s.empty();
}

}  // namespace

std::optional<Memo> MemoRepository::memoWithUid(const std::string& uid) {
  return getFirst(fetch<Memo>(" WHERE ZUID = ? LIMIT 1", uid));
}

std::vector<Memo> MemoRepository::fetchWithSearch(std::string where, const std::string& order,
                                                  const std::string& searchText, int64_t from,
                                                  int64_t to, bool window,
                                                  std::optional<int> pinned) {
  if (window) where += " AND ZMEMOTIME >= ? AND ZMEMOTIME < ?";
  if (pinned) {
    // A memo whose pin flag was never written is not pinned; it must not
    // fall out of both lists.
    where += *pinned == 1 ? " AND ZPINNED = 1" : " AND (ZPINNED = 0 OR ZPINNED IS NULL)";
  }
  const std::string needle = foldForSearch(searchText);
  if (!needle.empty()) {
    ensureTextFoldFunction(getContext());
    // Parenthesised: the search must narrow the other conditions, never
    // widen them to deleted memos or other dates.
    where += " AND (instr(VNFOLD(ZTITLE), ?) > 0 OR instr(VNFOLD(ZCONTENT), ?) > 0)";
  }
  const std::string clause = " WHERE " + where + order;
  if (window && !needle.empty()) return fetch<Memo>(clause, from, to, needle, needle);
  if (window) return fetch<Memo>(clause, from, to);
  if (!needle.empty()) return fetch<Memo>(clause, needle, needle);
  return fetch<Memo>(clause);
}

std::vector<Memo> MemoRepository::listAll(const std::string& searchText) {
  return fetchWithSearch(live::recordSql(), " ORDER BY ZORDERSEQ, Z_PK", searchText, 0, 0, false, std::nullopt);
}

std::vector<Memo> MemoRepository::listWithStartEndDate(double startDate, double endDate,
                                                       int listType,
                                                       const std::string& searchText) {
  const DateUtil& dates = ledger_.env().dates();
  const LocalDateTime first = dates.toLocal(startDate);
  const LocalDateTime last = dates.toLocal(endDate);
  const int64_t from = storeSecondsToMs(dates.fromLocal(first.year, first.month, first.day));
  const int64_t to = storeSecondsToMs(dates.fromLocal(last.year, last.month, last.day + 1));
  std::optional<int> pinned;
  if (listType == memo_list::kUnpinned || listType == memo_list::kPinned) pinned = listType;
  return fetchWithSearch(live::recordSql(), " ORDER BY ZMEMOTIME DESC, ZORDERSEQ DESC, Z_PK DESC", searchText,
                         from, to, true, pinned);
}

std::vector<Memo> MemoRepository::listPinned(const std::string& searchText) {
  return fetchWithSearch(live::recordSql(), " ORDER BY ZPINNEDTIME DESC, ZORDERSEQ DESC, Z_PK DESC", searchText,
                         0, 0, false, 1);
}

Status MemoRepository::updateMemo(Memo& memo, bool isAdd, bool isSync) {
  const Memo before = memo;
  if (isAdd) {
    memo.isDel = 0;
    if (!memo.orderSeq) memo.orderSeq = nextAvailble<Memo>("orderSeq");
  }
  memo.utime = nowMs();
  if (isSync) memo.isSynced = 1;
  Status saved = save(memo, "updateMemo");
  if (saved) return saved;
  memo.utime = before.utime;
  memo.isSynced = before.isSynced;
  return saved;
}

Status MemoRepository::deleteMemo(Memo& memo) {
  memo.isDel = 1;
  return updateMemo(memo, false, true);
}

Status MemoRepository::pinMemo(Memo& memo, bool pinned) {
  memo.pinned = pinned ? 1 : 0;
  memo.pinnedTime = pinned ? nowMs() : 0;
  return updateMemo(memo, false, true);
}

Result<Memo> MemoRepository::addMemo(const std::string& title, const std::string& content,
                                            int64_t memoTimeMs) {
  if (blank(title) && blank(content)) throw InputError("a memo needs a title or a content");
  Memo memo = newObjectForEntity<Memo>();
  memo.title = title;
  memo.content = content;
  memo.memoTime = memoTimeMs;
  memo.memoDate = ledger_.env().dates().dayKey(msToStoreSeconds(memoTimeMs));
  memo.pinned = 0;
  memo.pinnedTime = 0;
  VARNEL_RETURN_IF_ERROR(updateMemo(memo, true, true));
  return memo;
}

Result<Memo> MemoRepository::editMemo(const std::string& uid, const MemoEdit& edit) {
  auto found = memoWithUid(uid);
  if (!found || !isLive(*found)) throw InputError("no memo '" + uid + "'");
  Memo memo = *found;
  if (edit.title) memo.title = *edit.title;
  if (edit.content) memo.content = *edit.content;
  if (blank(memo.title.value_or("")) && blank(memo.content.value_or(""))) {
    throw InputError("a memo needs a title or a content");
  }
  if (edit.color) {
    if (edit.color->empty()) {
      memo.color.reset();
    } else if (auto color = colorText(*edit.color)) {
      memo.color = *color;
    } else {
      throw InputError("a colour is written #RRGGBB or #AARRGGBB: '" + *edit.color + "'");
    }
  }
  VARNEL_RETURN_IF_ERROR(updateMemo(memo, false, true));
  return memo;
}

Result<int> MemoRepository::migrationPropertyToMemo() {
  std::vector<Property> properties =
      fetch<Property>(" WHERE ZTYPE = 'MEMO' AND " + live::recordSql() + " ORDER BY Z_PK");
  if (properties.empty()) return 0;
  const DateUtil& dates = ledger_.env().dates();
  std::vector<Memo> memos;
  int64_t order = nextAvailble<Memo>("orderSeq");
  for (Property& p : properties) {
    Memo memo = newObjectForEntity<Memo>();
    memo.content = p.value.value_or("");
    memo.title = "";
    const std::string key = p.key.value_or("");
    if (key.size() == 8 && allDigits(key)) {
      const int year = std::stoi(key.substr(0, 4));
      const int month = std::stoi(key.substr(4, 2));
      const int day = std::stoi(key.substr(6, 2));
      memo.memoDate = fmt::format("{:04d}-{:02d}-{:02d}", year, month, day);
      memo.memoTime = storeSecondsToMs(dates.fromLocal(year, month, day));
    } else {
      // A key that is not a date still keeps its text: the memo gets today.
      memo.memoTime = nowMs();
      memo.memoDate = dates.dayKey(msToStoreSeconds(*memo.memoTime));
    }
    memo.pinned = 0;
    memo.pinnedTime = 0;
    memo.isDel = 0;
    memo.orderSeq = order++;
    memos.push_back(std::move(memo));
    p.isDel = 1;
  }
  Status saved = inTransaction([&]() -> Status {
    VARNEL_RETURN_IF_ERROR(saveAll(memos, "updateMemo", true));
    return saveAll(properties, "updateMemo", false);
  }, "updateMemo");
  if (!saved) return saved;
  return static_cast<int>(memos.size());
}

}  // namespace varnel
