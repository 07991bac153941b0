// The spreadsheet export: the live transactions of a period as the first
// worksheet of an .xlsx workbook, one row per transaction, with the ledger's
// localised headers, its locale's date format and every amount shown with
// its currency's decimals. Reads the ledger; never changes it.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "model/dates.h"
#include "model/ledger.h"
#include "model/status.h"

namespace varnel {

inline constexpr int kExcelColumnCount = 11;

// Column widths in the spreadsheet's character units, column 0 first.
inline constexpr std::array<double, kExcelColumnCount> kExcelColumnWidths = {18, 20, 13, 13, 40, 12,
                                                                             12, 70, 12, 12, 12};

// The longest text a worksheet cell holds, in UTF-16 code units.
inline constexpr size_t kExcelMaxCellText = 32767;

// The order of the exported rows for the time-entry setting `inputTimeType`:
// by date, then change time, then the older numeric id, all ascending or all
// descending together.
enum class ExcelRowOrder { kOldestFirst, kNewestFirst };
// Newest first for 1, 2 and 5; oldest first for every other value.
ExcelRowOrder sortTxExcel(int inputTimeType);
// Whether the date cells show the time of day: for every setting but 0 and 5.
bool excelShowsTime(int inputTimeType);

// The spreadsheet number format that shows a date as the ICU date pattern
// `pattern` does: pattern letters become their spreadsheet codes (a year of
// other than two letters as "yyyy", months, days, weekdays, 24- and 12-hour
// hours with "AM/PM", minutes, seconds); eras, time zones and fractions of a
// second, which a date cell cannot show, are left out; every other character
// is kept as quoted literal text, except spaces and ":" (so a reader never
// takes "." for a decimal point or "/" for its own date separator).
std::string excelFormatOfDatePattern(std::string_view pattern);
// The format of the date cells for `locale` ("ko_KR"): the locale's pattern
// (Gregorian calendar) for the template "yyyyMMdd HH:mm:ss", or "yyyyMMdd"
// without time, converted by excelFormatOfDatePattern. Falls back to the
// root locale's pattern for a locale ICU does not know.
std::string excelDateFormat(const std::string& locale, bool withTime);

// An amount cell: the stored value (none when the record has none or it is
// not a finite number) and the decimals of the currency it is in.
struct ExcelAmount {
  std::optional<double> value;
  int decimals = 0;
};

// One worksheet row, as written. Texts are ready for a cell: well-formed
// UTF-8 (other bytes as U+FFFD) without the control characters a workbook
// cannot hold, at most kExcelMaxCellText long. They are views, valid only
// during the call that hands the row over.
struct ExcelRow {
  std::optional<LocalDateTime> date;  // local time; none when the record has no date
  std::string_view account;           // the account's name
  std::string_view category;          // category, other account or adjustment label
  std::string_view subCategory;       // income and expense only
  std::string_view content;           // line breaks removed, instalment position appended
  ExcelAmount amount;                 // main currency
  std::string_view kind;              // the kind label
  std::string_view memo;              // line breaks removed
  ExcelAmount amountSub;              // the transaction's own currency
  std::string_view currency;          // ISO code of that currency
  ExcelAmount amountAccount;          // the account's currency
};

// The header row in the ledger's language, column 0 first; column 5 is the
// main currency's ISO code ("" when the ledger has no main currency).
std::array<std::string, kExcelColumnCount> excelHeaders(Ledger& ledger);

// Hands `visit` the row of each live transaction with `startDate` <= Date <
// the day after `endDate` (`endDate` is the last day, included; a missing
// bound does not limit that side), in the order of sortTxExcel for the
// ledger's setting, from one query through the date index (only the rows
// that share one date are held at a time, to order them); stops when
// `visit` returns false. Throws StoreError when the read fails.
void forEachExcelRow(Ledger& ledger, std::optional<double> startDate, std::optional<double> endDate,
                     const std::function<bool(const ExcelRow&)>& visit);

// Writes the workbook of the period (bounds as for forEachExcelRow) to
// `fileName` and returns the number of transaction rows. The workbook is
// written under a temporary name beside `fileName` and takes its name,
// replacing a file there, only when it was written whole; on failure
// nothing is left at either name and the reason is returned (a system
// failure). Throws StoreError when the ledger cannot be read (nothing is
// left then either).
Result<int64_t> getExcelData(Ledger& ledger, std::optional<double> startDate, std::optional<double> endDate,
                             const std::filesystem::path& fileName);

// The name a downloaded export gets: "CASHBOOK_<start>~<end>.xlsx", or
// "Account_…" when the download names an account.
std::string excelDownloadName(bool forAccount, const std::string& startText, const std::string& endText);

}  // namespace varnel
