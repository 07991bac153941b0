// Import of tab-separated transaction files: the file read in the encoding
// chosen for it, each line resolved against the ledger's accounts, categories
// and currencies with the problems that keep it from being saved, the good
// lines saved through the transaction save in one store transaction, and the
// file rewritten with its header and the lines left unsaved.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/entities.h"
#include "model/status.h"
#include "model/tx_kind.h"

namespace varnel {

class Ledger;

// The order in which a file writes the day, month and year of its dates.
enum class ImportDateOrder {
  kYearMonthDay,  // "yyyyMMdd"
  kYearDayMonth,  // "yyyyddMM"
  kDayMonthYear,  // "ddMMyyyy"
  kMonthDayYear,  // "MMddyyyy"
};

// The order named by one of the four format names. Throws InputError for
// any other text.
ImportDateOrder importDateOrder(const std::string& name);
std::string importDateOrderName(ImportDateOrder order);

struct ImportDay {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int intDate() const { return year * 10000 + month * 100 + day; }
  bool operator==(const ImportDay&) const = default;
};

// Reads a date field: percent-escapes decoded, white space trimmed, "/" and
// "-" read as ".", three parts in the given order (or eight digits without
// separators). A two-digit year below 70 is 20yy, any other 19yy; a year has
// two or four digits and lies within kFirstYear … kLastYear. None when the
// parts do not form a day of the calendar.
std::optional<ImportDay> readImportDate(const std::string& text, ImportDateOrder order);

// The kind of a line as its kind text gives it, in the numbers of TxKind.
enum ImportKind : int {
  kImportUnknown = -1,
  kImportIncome = static_cast<int>(TxKind::kIncome),
  kImportExpense = static_cast<int>(TxKind::kExpense),
  // A whole transfer, saved from its sending line with its receiving side.
  kImportTransferOut = static_cast<int>(TxKind::kTransfer),
  // The receiving side's line: never saved on its own.
  kImportTransferIn = static_cast<int>(TxKind::kTransferIn),
};

// Problem kinds (`menuId`) of a line that cannot be saved yet.
namespace import_problem {
inline constexpr const char* kDate = "1";         // the date cannot be read
inline constexpr const char* kKind = "2";         // the kind text is not one of ours
inline constexpr const char* kCategory = "3";     // no category of that name and kind
inline constexpr const char* kAccount = "4";      // no account of that name
inline constexpr const char* kSubCategory = "5";  // no sub-category of that name under the category
inline constexpr const char* kCurrency = "9";     // no currency row for the ISO code
inline constexpr const char* kAmount = "10";      // an amount cannot be read as a number
inline constexpr const char* kRefused = "11";     // the transaction save refuses the line
}  // namespace import_problem

struct ImportProblem {
  std::string menuId;
  std::string text;  // for the person, in the interface language
  std::string name;  // the name from the file that did not resolve
};

// One line of the file as read and resolved.
struct RecoveryData {
  int lineNumber = 0;         // in the file, the header being line 1
  std::string recoverStrOrg;  // the line as read (written back when it stays)
  std::string recoverStr;     // the line without double quotes, as its fields are read
  std::vector<std::string> fields;
  std::optional<double> date;  // store seconds of the local midnight
  int intDate = 0;             // yyyyMMdd; 0 when the date cannot be read
  int doTypeInt = kImportUnknown;
  std::string assetUid;     // the account of field 1
  std::string categoryUid;  // the category (its sub-category when one was named); for a transfer the other account
  std::string currency;     // ISO code
  std::string currencyUid;  // the currency row
  std::string content;
  std::string memo;
  std::optional<double> amount;         // in the main currency (field 5)
  std::optional<double> amountSub;      // in the line's currency (field 8, else field 5)
  // In the account's currency: field 10, else the line's own amount when the
  // line is in its account's currency; none leaves it to the conversion.
  std::optional<double> amountAccount;
  std::string fileName;
  std::vector<ImportProblem> problems;  // in the order they were found; empty for a good line

  bool isGood() const { return problems.empty(); }
  // Field `i`, or "" when the line has fewer fields.
  const std::string& field(size_t i) const;
};

// How a file was read, so that it is written back the same way.
struct ImportEncoding {
  std::string name;            // the converter's name ("UTF-8", "UTF-16LE", "EUC-KR", "windows-949-2000")
  bool byteOrderMark = false;  // the file began with one (written back with it)
  std::string lineEnding = "\n";  // "\r\n" when the header line ended so
  bool finalLineEnding = false;    // the text ended with a line break (the rewrite does too)
};

struct ImportFile {
  std::filesystem::path path;
  ImportEncoding encoding;
  std::string header;  // the first line, kept unchanged
  std::vector<RecoveryData> lines;
  std::string title;  // the localised "New Entry" and the number of lines: "%@(%ld)"
};

// Decodes `bytes` in `encoding` (an ICU converter name or alias; "CP949",
// "MS949" and "UHC" name the Windows Korean code page). A byte-order mark
// decides the encoding when none is given and is checked against the one
// given; without either the text is UTF-8. Throws InputError, naming the line
// and the byte offset, for bytes that are not valid in the encoding and for
// control characters other than tab and line breaks (what a file read in the
// wrong encoding shows), never substituting anything. Returns UTF-8 text
// without the byte-order mark.
std::string decodeImportText(const std::string& bytes, const std::string& encoding, ImportEncoding& used,
                             const std::string& what = "the file");
// UTF-8 text in `encoding`, its byte-order mark first when it has one.
// Throws InputError for a character the encoding cannot hold.
std::string encodeImportText(const std::string& utf8, const ImportEncoding& encoding);

// The outcome of saving a file's good lines.
struct ImportSaveResult {
  // A failure: the store refused or the file could not be written, and
  // neither the ledger nor the file changed. (When the file could not be
  // replaced after the ledger committed, the failure says so and names the
  // file that holds the lines left.)
  Status status;
  bool ok() const { return status.isOk(); }
  int saved = 0;                   // lines saved (a transfer with its receiving line counts once)
  int left = 0;                    // lines left in the file
  std::vector<InOutCome> records;  // every record written, in file order
  std::vector<Asset> addedAccounts;
  std::vector<Category> addedCategories;
  // Every line as the save resolved it (after adding what was missing; a
  // line the save refused carries problem "11"), and the numbers of the
  // lines that left the file: those saved and the receiving lines of saved
  // transfers.
  std::vector<RecoveryData> lines;
  std::vector<int> savedLines;
};

class TextImport {
 public:
  // Takes the locale's separators for amounts from the ledger's environment.
  TextImport(Ledger& ledger, ImportDateOrder order);

  // Reads and resolves the file. Throws InputError for a file that cannot be
  // read or is not valid text in `encoding` (see decodeImportText).
  ImportFile read(const std::filesystem::path& path, const std::string& encoding = "");
  // Splits UTF-8 text into the header and resolved lines (no file behind it).
  ImportFile parse(const std::string& text);

  // The kind of a kind text (`getDoType`): the shown income word or "Income"
  // 0; the shown expense word, "Expenses" or "Expense" 1; the text of
  // "dotype_3", "Transfer out" or "Transfer-Out" 2; the text of "dotype_4",
  // "Transfer in" or "Transfer-In" 4; anything else -1.
  int getDoType(const std::string& text) const;

  // Resolves the line again against the ledger as it is now, replacing its
  // problems.
  void resolve(RecoveryData& line);

  // Saves every good line in one store transaction: an income or expense as
  // itself, a transfer from its sending line together with its receiving
  // side, whose amount in the receiving account's currency comes from the
  // matching transfer-in line when the file has one. With `addMissing` the
  // accounts (in the first account group that is not a card group, in the
  // main currency) and categories the file names but the ledger lacks are
  // created first, in the same transaction. Once the transaction committed,
  // the file is replaced by its header and the lines not saved (a receiving
  // line used by a saved transfer goes with it), written in full beside it
  // first. A line the save refuses stays, with problem "11". On failure
  // nothing in the ledger, its caches or the file changed, and `file` stays
  // as it was; otherwise `file` becomes the file as rewritten. Throws
  // InputError when accounts are to be added and every account group is a
  // card group (nothing is then changed).
  ImportSaveResult save(ImportFile& file, bool addMissing);

  // An amount as the file writes it (`getMoneyCheckDot`): line breaks, the
  // locale's grouping separator, spaces and, unless it is the locale's
  // decimal separator, the comma removed; the decimal separator read as ".".
  // None when what is left is not an amount the ledger keeps.
  std::optional<double> readAmount(const std::string& text) const;

 private:
  Status addMissing(ImportFile& file, ImportSaveResult& result);
  Status saveLine(const RecoveryData& line, const RecoveryData* receiving, std::vector<InOutCome>& records,
                  std::string& refusal);

  Ledger& ledger_;
  ImportDateOrder order_;
  std::string groupingSeparator_;
  std::string decimalSeparator_ = ".";
};

}  // namespace varnel
