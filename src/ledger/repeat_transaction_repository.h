// Recurring transactions: the templates (`RepeatTransaction`) with their
// repeat rule and next occurrence, and the run that books every due
// occurrence as an ordinary transaction. A booked row's identifier is made
// from the template, the day and the kind, so an occurrence is booked at
// most once however often the run is repeated, interrupted, or made again on
// another device.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/base_repository.h"

namespace varnel {

// Setting 10009 ("repeat_reflect_type") with this value books the
// occurrences of the whole current user month at once.
inline constexpr const char* kRepeatReflectWholeMonth = "1";
// Occurrences this many years or more before now are never booked.
inline constexpr int kRepeatHorizonYears = 3;

// One template's share of a run.
struct RepeatBooking {
  std::string templateUid;
  int64_t nextDateBefore = 0;
  int64_t nextDateAfter = 0;           // equal to before when the template did not move
  std::vector<InOutCome> rows;         // rows booked, in date order (a transfer's sides together)
  int occurrencesAlreadyBooked = 0;    // occurrences whose row existed already (left as it is)
};

// A template the run could not book from, and why; its next date stays.
struct RepeatSkip {
  std::string templateUid;
  std::string reason;
};

struct RepeatRun {
  int64_t limit = 0;                    // occurrences before this instant (ms) were due
  int countSave = 0;                    // templates moved on
  std::vector<RepeatBooking> bookings;  // templates that moved or booked
  std::vector<RepeatSkip> skipped;
  // Every row booked, in template order.
  std::vector<InOutCome> rows() const;
};

class RepeatTransactionRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // --- Templates -------------------------------------------------------------

  // The template with this identifier, deleted or not; none for "" and "0".
  std::optional<RepeatTransaction> getRepeatByUId(const std::string& uid);
  // Every template, deleted ones too, by `nextDate` then row key.
  std::vector<RepeatTransaction> getListAll();
  // The live templates by `nextDate` then row key.
  std::vector<RepeatTransaction> getListLive();
  // Live templates with `nextDate` before `limit` (ms), by `nextDate`.
  std::vector<RepeatTransaction> listInputWillRepeat(int64_t limit);

  // Saves the template stamped (`utime` now, `isSynced` 1); adding sets
  // `isDel` 0. A failed save logs "updateRepeat fail <error>", keeps the
  // record's old stamp and returns the failure.
  Status updateRepeat(RepeatTransaction& repeat, bool isAdd);
  // Deletes the live template `uid` (soft, stamped) and returns it; the rows
  // it booked stay. Throws InputError for an unknown or deleted template.
  Result<RepeatTransaction> deleteRepeatByUid(const std::string& uid);

  // --- Booking ---------------------------------------------------------------

  // The instant (ms) before which occurrences are due: the start of
  // tomorrow, or, when setting 10009 is "1", the start of the day after the
  // current user month (the month beginning on the start day, without the
  // weekend shift), in the ledger's time zone.
  int64_t toDayIntRepeatDp_new_2_11_12();

  // Books every due occurrence of the live templates (see repeatDataInput)
  // up to toDayIntRepeatDp_new_2_11_12, in one store transaction.
  Result<RepeatRun> repeatDataInputAll();

  // Books the occurrences before `limit` of each template, by `nextDate`,
  // and moves the templates on, all in one store transaction: on failure
  // nothing is booked or moved, the failure is logged ("repeate save fail
  // …") and returned.
  //
  // For each template (re-read inside the transaction): a template without
  // a repeat type, with an unknown one, whose account (or a transfer's other
  // account) is missing or deleted, whose income or expense category is
  // missing, or whose amount in the main or an account's currency would
  // reach the money limit is skipped and reported; its next date stays.
  // Otherwise each occurrence from `nextDate` before `limit`, up to the end
  // date's day when the template has one, is booked under the identifier
  // "<template uid>_<yyyy-MM-dd>_<kind>" (a transfer: both sides, each with
  // its own kind, sharing a new `txUidTrans`), unless a row with that
  // identifier exists, deleted or not: that occurrence was booked before
  // (by an earlier run, another device, or a run cut short before its
  // template was moved on) and is left as it is. Occurrences at or before
  // now minus three years are passed over without booking. Rows carry the
  // template's amount in its currency (the main currency when its currency
  // is gone), converted by the money module, its memo, mark and payee (the
  // content; an empty one is filled from the category or the accounts when
  // the ledger fills empty contents), the template's `utime`, `isSynced` 1
  // and the repeat type in `cardDivideMonth`. A template that moved gets
  // the next occurrence as `nextDate`, stamped.
  Result<RepeatRun> repeatDataInput(const std::vector<RepeatTransaction>& templates, int64_t limit);
};

}  // namespace varnel
