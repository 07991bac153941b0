// Free-standing memos: their date windows (memo times are milliseconds since
// 1970), the pinned list, searching title and content ignoring case and
// diacritics, saving with the change stamp, and the move of the older
// key/value memos into memo records.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/base_repository.h"

namespace varnel {

namespace memo_list {
inline constexpr int kUnpinned = 0;
inline constexpr int kPinned = 1;
inline constexpr int kAny = 3;  // any value other than 0 and 1 puts no pin condition
}  // namespace memo_list

class MemoRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // The memo with this identifier, deleted or not.
  std::optional<Memo> memoWithUid(const std::string& uid);
  // Live memos sorted by `orderSeq`; with a search text only those whose
  // title or content contains it (ignoring case and diacritics).
  std::vector<Memo> listAll(const std::string& searchText = "");
  // Live memos whose `memoTime` lies from the local start of `startDate`'s
  // day up to, not including, the local start of the day after `endDate`'s
  // day (both store dates). `listType` 0: unpinned only, 1: pinned only,
  // other: both. Newest `memoTime` first, then higher `orderSeq`.
  std::vector<Memo> listWithStartEndDate(double startDate, double endDate, int listType,
                                         const std::string& searchText);
  std::vector<Memo> listWithStartEndDate(double startDate, double endDate) {
    return listWithStartEndDate(startDate, endDate, memo_list::kAny, "");
  }
  // Live pinned memos, most recently pinned first, then higher `orderSeq`.
  std::vector<Memo> listPinned(const std::string& searchText = "");

  // Sets `utime` to now and saves; with `isSync` the memo is also flagged for
  // synchronisation (`isSynced` 1). Adding sets `isDel` 0 and, when missing,
  // the next free `orderSeq`. A failed save logs "updateMemo fail <error>",
  // leaves the stamp as it was and returns false.
  Status updateMemo(Memo& memo, bool isAdd, bool isSync = true);
  // Soft deletion, synchronised.
  Status deleteMemo(Memo& memo);
  // Pins (with `pinnedTime` now) or unpins the memo, synchronised.
  Status pinMemo(Memo& memo, bool pinned);
  // A new unpinned memo at `memoTimeMs`. Throws InputError when both title
  // and content are empty. None when the save failed.
  Result<Memo> addMemo(const std::string& title, const std::string& content,
                              int64_t memoTimeMs);

  // What an edit changes: each field given replaces the memo's.
  struct MemoEdit {
    std::optional<std::string> title;
    std::optional<std::string> content;
    // "#RRGGBB" or "#AARRGGBB" (hex digits, either case); "" removes the colour.
    std::optional<std::string> color;
  };
  // Changes the title, content and colour of the live memo `uid`, stamped
  // and synchronised. Throws InputError for an unknown or deleted memo, an
  // edit that leaves both title and content empty, and a colour of another
  // form; nothing is then changed. A colour is kept upper-case.
  Result<Memo> editMemo(const std::string& uid, const MemoEdit& edit);

  // Moves the live older key/value records of type "MEMO" into memos (key
  // "yyyyMMdd" → `memoDate` "yyyy-MM-dd" and `memoTime` at that local
  // midnight; value → content) and marks them deleted so that a second run
  // moves nothing, all in one transaction. Returns the number moved, or the
  // failure (nothing is then changed).
  Result<int> migrationPropertyToMemo();

 private:
  std::vector<Memo> fetchWithSearch(std::string where, const std::string& order,
                                    const std::string& searchText, int64_t from, int64_t to,
                                    bool window, std::optional<int> pinned);
};

}  // namespace varnel
