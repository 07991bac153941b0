// Card instalment purchases: the split of one purchase into monthly rows
// (amounts, dates, "(i/n)" position, group identifier) and their saving
// through the ordinary transaction save, which the caller supplies.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/dates.h"
#include "model/entities.h"
#include "model/status.h"

namespace varnel {

class Ledger;

// `cardDivideMonth` of every instalment row.
inline constexpr const char* kInstallmentMark = "10001";
// More monthly rows than this are refused as a typing mistake.
inline constexpr int kMaxInstallments = 120;

// The amount of instalment `index` (1 … count) of `total`, in a currency with
// `point` decimals: total / count truncated toward zero to those decimals;
// instalment 1 also takes the remainder, so the rows add up to the total.
// Throws InputError when count < 1 or index is not within 1 … count.
double installmentAmount(double total, int count, int point, int index);
// The main-currency amount of each instalment: mainTotal / count, not cut
// (the save rounds it to the main currency's decimals).
double installmentMainAmount(double mainTotal, int count);

// The date of instalment `k` (1 for the purchase itself): `entered` moved
// k − 1 calendar months on (back for k < 1) at the same time of day; a day
// the month lacks becomes its last day (31 January → 28 or 29 February,
// 30 April …).
double installmentDate(const DateUtil& dates, double entered, int k);

// "(i/n)" as stored in `cardDivideMonthStr`.
std::string installmentMonthStr(int index, int count);
// The instalment position of a row from its "(i/n)" text: brackets removed,
// split at "/"; 1 when there is no row or text, when the text does not split
// into exactly two parts, or when the first part is not a positive number.
int getInstallIndex(const std::optional<InOutCome>& tx);
int getInstallIndex(const Text& cardDivideMonthStr);

// A purchase as the entry screen holds it.
struct InstallmentEntry {
  // The row as entered: `amountSub` as typed in its currency (`currencyUid`),
  // `amount` the same in the main currency, `Date` the entered date. When an
  // existing row is being changed it carries that row's `uid` and fields.
  InOutCome tx;
  int count = 1;          // instalments; 1 saves the purchase unsplit
  bool isChange = false;  // `tx` is an existing row being changed
};

// One ordinary save asked of the transaction save path.
struct InstallmentSaveRequest {
  InOutCome row;     // a new row arrives with its `uid` already chosen; keep it
  bool isChange = false;
  bool withPhotos = false;  // only the first row saved carries the entered photos
};

// Performs one ordinary save; returns the row as saved, or none when the
// save failed (the whole entry is then given up).
using InstallmentSaveFn = std::function<Result<InOutCome>(const InstallmentSaveRequest&)>;
// Copies the photos of the first saved row to another row of the group.
using InstallmentPhotoCopyFn = std::function<Status(const InOutCome& from, const InOutCome& to)>;

struct InstallmentSaveResult {
  Status status = Status::storeFailure("nothing was written");
  bool ok() const { return status.isOk(); }
  std::vector<InOutCome> saved;   // in the order saved; empty when not ok
  std::vector<int> skipped;       // indexes the group already held
};

// Saves a purchase as `count` monthly rows: the entered row first (with its
// photos; when changing, at its own instalment index), then every index
// from 2 on that the group does not hold yet (for a transfer: no
// transfer-out row with that index) as a new row, dated by installmentDate
// counted from the entered row's index, its photos copied from the first. Rows that already carry an "(i/n)" text keep their amounts
// and group fields. Everything runs in one store transaction: when a save
// fails, nothing of the entry stays. Throws InputError, before anything is
// saved, for a count outside 1 … kMaxInstallments or an entry without a date
// or amount.
InstallmentSaveResult funcSaveCardInstallment(Ledger& ledger, const InstallmentEntry& entry,
                                              const InstallmentSaveFn& save,
                                              const InstallmentPhotoCopyFn& copyPhotos = {});

}  // namespace varnel
