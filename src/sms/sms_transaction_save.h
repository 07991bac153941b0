// Saving parsed messages as transactions: what the input screen fills in from
// a parse (kind, amount, currency, date and time, instalments, category,
// content, account, the message itself), saved through the ordinary
// transaction save, and the macro's account corrected when the person chose
// another one.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ledger/transaction_save.h"
#include "sms/sms_parsing.h"
#include "sms/sms_parsing_helper.h"

namespace varnel {

class Ledger;

// Message key of the refusal of a message already stored.
inline constexpr const char* kSmsAlreadyExistKey = "sms_already_exist";

// One parsed message as the input screen holds it before saving.
struct SmsEntry {
  // The parser that read it ("SmsParsingKor"); the one it was routed to
  // when this version lacks that parser (then `parsed` is false).
  std::string parserName;
  bool parsed = false;
  // An amount was found (`moneyMainStr` other than "0").
  bool hasAmount = false;
  // The message text kept on the record (the parse's `smsOrigine`).
  std::string message;
  bool isPastOverlap = false;
  // The macro that matched the message, with its account.
  std::optional<MessageMacroData> macro;
  // Kind, amount, currency, date, instalments, category, content and the
  // macro's account (empty when none).
  TransactionForm form;
};

// The entry of a parse, as the input screen fills it in: the kind from
// `doTypeStr` (expense without a parse), `moneyMainStr` as the amount,
// `currency` or the main currency, `dpDate` at `timeStampStr`, `installment`
// months (2 or more split the purchase), the guessed sub-category or
// category, `mainContentStr` and `assetObject`.
SmsEntry smsEntryFor(const SmsParsingHelper& helper, const SmsParsing* parse);

// What the person changes before saving.
struct SmsSaveChoices {
  std::string account;   // account `uid`; empty keeps the macro's account
  std::string category;  // category `uid`; empty keeps the guess
  bool allowDuplicate = false;
};

struct SmsSaveResult {
  // The key of the message that refused the save (nothing was written).
  std::optional<std::string> refusal;
  // Which entry was refused or failed.
  size_t failedEntry = 0;
  Status status = Status::storeFailure("nothing was written");
  bool ok() const { return status.isOk(); }
  // Each entry's save, in order.
  std::vector<TransactionSaveResult> saved;
  // Built-in macros whose account was changed to the one chosen.
  std::vector<MessageMacro2> macrosUpdated;
};

class SmsTransactionSave {
 public:
  explicit SmsTransactionSave(Ledger& ledger) : ledger_(ledger) {}

  // Saves every entry in one store transaction: all of them or none. An
  // entry is refused with "sms_already_exist" when a live transaction keeps
  // its message text (stored before, or saved earlier in this call) unless
  // `allowDuplicate`; with the save's own refusals ("inout_edit_message2"
  // without an account, "inout_edit_message1" without a category). An entry
  // that was not parsed, or has no amount, throws InputError before anything
  // is written, and so do the save's own checks. When the chosen account
  // differs from the account of the built-in macro that matched, the macro
  // is linked to the chosen account (user macros belong to their account's
  // message texts and stay as they are).
  SmsSaveResult save(const std::vector<SmsEntry>& entries, const SmsSaveChoices& choices);

 private:
  Ledger& ledger_;
};

}  // namespace varnel
