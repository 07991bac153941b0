// The transaction input screen's operations: saving an income, expense or
// transfer (other side, fee, tags, photos) in one store transaction, copying
// one as a new entry, and deleting one or its whole instalment series.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ledger/card_installment.h"
#include "model/entities.h"

namespace varnel {

class Ledger;
class PreparedPhoto;
struct SavePlan;

// The input screen's three modes; a transfer is stored as kinds "3" and "4".
enum TransactionMode : int {
  kModeIncome = 0,
  kModeExpense = 1,
  kModeTransfer = 2,
};

// Messages the transaction operations answer with (their texts come from the
// "transactions" area).
namespace tx_message {
inline constexpr const char* kMissingCategory = "inout_edit_message1";
inline constexpr const char* kMissingAccount = "inout_edit_message2";
inline constexpr const char* kRepeatDateTooEarly = "inout_edit_message6";
inline constexpr const char* kCopyToday = "copy_today";
inline constexpr const char* kCopyDateAt = "copy_date_at";
inline constexpr const char* kDeleteSeriesTitle = "inout_edit_lable8";
inline constexpr const char* kDeleteAll = "delete_all_text";
inline constexpr const char* kDeleteThis = "delete_text";
inline constexpr const char* kDeleteQuestion = "popup_message8";
inline constexpr const char* kYes = "yes_text";
inline constexpr const char* kNo = "no_text";
inline constexpr const char* kCancel = "cancel_text";
}  // namespace tx_message

// Device preferences of the copy choice.
inline constexpr const char* kLastTxCopyTypeKey = "LastTxCopyType";
inline constexpr const char* kIsToDayTxCopyDateKey = "isToDayTxCopyDate";
// Device preference standing for the remote switch that fills an empty
// content from the category or accounts on installations older than 2.5.0.
inline constexpr const char* kTxAddCategoryToEmptyContentKey = "TX_ADD_CTG_TO_EMPTY_CONTENT";

struct TransactionFee {
  double amount = 0;
  std::string currency;  // currency row `uid`; the main currency when empty
};

// What a pasted bank or card message contributed to the entry.
struct PastedMessage {
  Text smsOrigine;        // the whole message text (kept on new records)
  Text smsParseContents;  // the parsed content
  Text cardTimeStampStr;  // the card message's time stamp
};

// Instalment fields a row of a series carries (set by the instalment save).
struct InstallmentFields {
  std::string cardDivideUid;
  std::string cardDivideMonthStr;  // "(i/n)"
  std::string cardDivideMonth = kInstallmentMark;
};

// The input screen's values for one save.
struct TransactionForm {
  int mode = kModeExpense;
  std::optional<double> date;      // store seconds; now when none
  std::string account;             // `uid`; the sending account of a transfer
  std::string targetAccount;       // `uid` of the receiving account (transfer only)
  std::string category;            // `uid` (income and expense only); "-2" uncategorised
  std::string currency;            // entered currency row `uid`; the main currency when empty
  double amount = 0;               // as entered
  std::optional<double> mainAmount;  // main-currency amount typed for a foreign currency
  std::string content;
  std::string memo;
  int64_t mark = 0;
  std::vector<std::string> tags;   // tag `uid`s chosen: the record's tags become exactly these
  std::vector<std::filesystem::path> photos;  // JPEG files added on the screen
  std::optional<TransactionFee> fee;          // the fee field, when active (transfer only)
  std::string edited;              // `uid` of the record being changed; empty for a new entry
  PastedMessage message;
  int installments = 0;            // card instalment count chosen; 0 for none
  std::optional<int> repeatType;   // repeat setting chosen (a code of ledger/repeat.h); 0 for none
  std::optional<double> repeatEndDate;  // the last day a repeat may fall on (store seconds); none for no end
  std::string repeatTemplate;      // `uid` of the recurring template being changed; empty for a new one
  // Used by the instalment and copy paths: the identifier a new record is to
  // get, the series fields of an instalment row, and a transaction whose
  // photos the saved record receives.
  std::string newUid;
  std::optional<InstallmentFields> installment;
  std::string copyPhotosFrom;
};

// The outcome of a save: the records written (the record; for a transfer its
// receiving side and its fee), or the key of the message that refused it.
struct TransactionSaveResult {
  std::optional<std::string> refusal;
  // A failure with no refusal: the store refused (logged), nothing was written.
  Status status = Status::storeFailure("nothing was written");
  bool ok() const { return status.isOk(); }
  std::optional<InOutCome> record;
  std::optional<InOutCome> opposite;
  std::optional<InOutCome> fee;
  // A card instalment purchase: every monthly row saved, in order (the
  // first is also `record`).
  std::vector<InOutCome> series;
  // An entry saved with a repeat setting: the recurring template saved with it.
  std::optional<RepeatTransaction> repeat;
  // The records written, in that order.
  std::vector<InOutCome> records() const;
};

enum class CopyDate {
  kToday,   // "copy_today"
  kDateAt,  // "copy_date_at": the date given
};

// What the screen asks before deleting a record.
struct DeleteQuestion {
  std::optional<std::string> title;  // "inout_edit_lable8" for a series
  std::string message;               // "popup_message8" for a single record
  std::vector<std::string> choices;  // message keys, in order
  bool isSeries = false;
};

enum class DeleteAnswer {
  kAll,       // "delete_all_text": every record of the series
  kThisOnly,  // "delete_text" / "yes_text": this record (both sides of a transfer)
  kCancel,    // "no_text" / cancel
};

class TransactionSave {
 public:
  explicit TransactionSave(Ledger& ledger) : ledger_(ledger) {}

  // Saves the form. Refusals (nothing written): "inout_edit_message2" for a
  // missing account or target account, "inout_edit_message1" for a missing
  // category on an income or expense, "inout_edit_message6" for a repeat
  // dated on or before the first day of the previous month. Throws
  // InputError, before anything is written, for values the screen cannot
  // produce: an unknown mode, edited record, currency, tag, repeat type or
  // recurring template, a deleted account or category newly chosen, a
  // category of the other kind, a transfer to the same account, a fee
  // outside a transfer, a repeat that is also split into instalments or
  // ends before it starts, a photo that is not a JPEG, a number that is not
  // finite. Each photo file is read and
  // decoded once, before anything is written. Everything is written in one
  // store transaction that stops at the first write the store refuses:
  // nothing is then written (no row, no photo file) and `status` carries the
  // store's reason (logged).
  TransactionSaveResult saveTransaction(const TransactionForm& form);

  // The form the screen opens for an existing record: a "4" opens as its
  // transfer (the "3" side, or, when that is missing, the "4" itself with
  // the accounts the other way round). Throws InputError for an unknown or
  // deleted record and for balance adjustments, which the account screen owns.
  TransactionForm formForRecord(const std::string& uid);

  // Saves a copy of a record as a new entry (a new transfer with its own
  // link, fee and photos copied, no series), dated now or at `date`, and
  // remembers the choice in the device preferences.
  TransactionSaveResult copyTransaction(const std::string& uid, CopyDate choice,
                                        std::optional<double> date = std::nullopt);
  // The copy choice last made: kToday unless "copy_date_at" was.
  CopyDate lastCopyChoice() const;

  // What to ask before deleting the record.
  DeleteQuestion deleteQuestion(const InOutCome& record);
  // Deletes after the person answered: the whole series, the record (both
  // sides of a transfer; its fee stays), or nothing. Returns the records
  // deleted; none when the store refused. Throws InputError for an unknown
  // or deleted record, or kAll on a record that is not in a series.
  Result<std::vector<InOutCome>> deleteTransaction(const std::string& uid, DeleteAnswer answer);

  // Whether an empty content stays empty (1) or is filled from the category
  // or the accounts (0): 1 for installations first made with version 2.5.0 or
  // later, else the device preference "TX_ADD_CTG_TO_EMPTY_CONTENT" ("0" when unset).
  int autoSaveTxContent();
  // Whether the device preference decides that (the ledger was first made
  // with a version before 2.5.0).
  bool autoSaveTxContentFollowsPreference();
  // Sets the device preference: `keepEmpty` leaves an empty content empty
  // (1), else it is filled (0). Throws InputError when the preference does not
  // decide for this ledger; a preferences file that cannot be written is a
  // system failure (nothing changed).
  Status setAutoSaveTxContent(bool keepEmpty);

 private:
  // What checkSave found: a refusal, the path that takes the save over, or
  // (for kOrdinary) the checked save to plan.
  enum class SaveRoute { kOrdinary, kInstallment, kRepeat };
  struct SaveCheck;

  // A save is three steps: checkSave refuses or reads everything the save
  // needs (writing nothing), planSave (transaction_plan.h) decides every
  // record, writePlan writes them. `prepared`, when given, stands for the
  // form's photos, already read and decoded; `writtenFiles`, when given,
  // receives the photo files a successful write left, for an enclosing save
  // that may still roll back.
  TransactionSaveResult saveForm(const TransactionForm& form, const std::vector<PreparedPhoto>* prepared,
                                 std::vector<std::filesystem::path>* writtenFiles);
  SaveCheck checkSave(const TransactionForm& form, const std::vector<PreparedPhoto>* prepared);
  // Writes the plan in one store transaction, stopping at the first write
  // that fails: the store then rolls everything back, the photo files
  // written are removed and the failure is returned.
  TransactionSaveResult writePlan(const SavePlan& plan, std::vector<std::filesystem::path>* writtenFiles);

  // A new card instalment purchase: the entered amount split into
  // `installments` monthly rows saved through the ordinary save, all in one
  // store transaction (see funcSaveCardInstallment). `photos` go to the first row.
  TransactionSaveResult saveInstallmentEntry(const TransactionForm& form, const std::vector<PreparedPhoto>& photos);
  // The ordinary save in the form the card instalment save calls it, one row
  // at a time: `entered` is the form as the person filled it in; each
  // request's row brings its identifier, date, amounts and series fields
  // (a changed row is saved as an edit of that record). Only a request
  // `withPhotos` attaches `photos`. Returns the record saved; the refusal
  // or failure otherwise.
  InstallmentSaveFn installmentRowSaver(const TransactionForm& entered, const std::vector<PreparedPhoto>& photos,
                                        std::vector<std::filesystem::path>& writtenFiles);
  // An entry with a repeat setting: the entry is saved as an ordinary one
  // carrying the repeat type in `cardDivideMonth`, and with it, in the same
  // store transaction, the recurring template (the one being changed, or a
  // new one) whose next occurrence is the one after the entry's date, so
  // that the entry is the series' first occurrence and is never booked a
  // second time by the recurring run.
  TransactionSaveResult saveRepeatEntry(const SaveCheck& check, std::vector<std::filesystem::path>* writtenFiles);

  Ledger& ledger_;
};

}  // namespace varnel
