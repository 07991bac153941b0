#include "sms/sms_transaction_save.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <fmt/format.h>

#include "ledger/card_installment.h"
#include "model/errors.h"
#include "model/ledger.h"
#include "sms/message_macro_repository.h"

namespace varnel {

namespace {

// A parse's amount text: plain decimal digits with an optional sign and
// decimals. Anything else reads as no amount.
std::optional<double> amountOf(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

int installmentsOf(const std::string& text) {
  int months = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, months);
  if (ec != std::errc() || ptr != end) return 0;
  // One month is a single payment; a count beyond what a card offers is not
  // an instalment plan the ledger can book.
  return months >= 2 && months <= kMaxInstallments ? months : 0;
}

}  // namespace

SmsEntry smsEntryFor(const SmsParsingHelper& helper, const SmsParsing* parse) {
  SmsEntry entry;
  entry.parserName = helper.parserName;
  entry.macro = helper.theMacroObject;
  TransactionForm& form = entry.form;
  form.mode = kModeExpense;
  if (helper.assetObject) form.account = helper.assetObject->uid.value_or("");
  if (!parse) return entry;

  entry.parsed = true;
  entry.message = parse->smsOrigine;
  entry.isPastOverlap = parse->isPastOverlap;
  form.mode = parse->doTypeStr == kSmsIncome ? kModeIncome : kModeExpense;
  if (const auto amount = amountOf(parse->moneyMainStr); amount && *amount != 0) {
    entry.hasAmount = true;
    form.amount = *amount;
  }
  if (parse->currency) form.currency = parse->currency->uid.value_or("");
  form.date = parse->dpDateTime();
  form.installments = installmentsOf(parse->installment);
  if (parse->cateSubObject) {
    form.category = parse->cateSubObject->uid.value_or("");
  } else if (parse->cateObject) {
    form.category = parse->cateObject->uid.value_or("");
  }
  form.content = parse->mainContentStr;
  form.message.smsOrigine = parse->smsOrigine;
  form.message.smsParseContents = parse->mainContentStr;
  form.message.cardTimeStampStr = parse->timeStampStr;
  return entry;
}

SmsSaveResult SmsTransactionSave::save(const std::vector<SmsEntry>& entries, const SmsSaveChoices& choices) {
  for (size_t i = 0; i < entries.size(); ++i) {
    const SmsEntry& entry = entries[i];
    const std::string which = entries.size() > 1 ? fmt::format("message {}: ", i + 1) : "";
    if (!entry.parsed) {
      throw InputError(which + "the message is one for " + entry.parserName + ", which this version cannot read");
    }
    if (!entry.hasAmount) throw InputError(which + "no amount found in the message");
  }

  SmsSaveResult result;
  MessageMacroRepository macros(ledger_);
  std::vector<const std::string*> savedMessages;
  auto refuse = [&](size_t i, const std::string& key) {
    result.refusal = key;
    result.failedEntry = i;
    return Status::invalidInput(key + ": " + ledger_.texts().text(key));
  };
  Status status = macros.inTransaction([&]() -> Status {
    for (size_t i = 0; i < entries.size(); ++i) {
      const SmsEntry& entry = entries[i];
      const bool savedBefore = std::any_of(savedMessages.begin(), savedMessages.end(),
                                           [&](const std::string* m) { return *m == entry.message; });
      if (!choices.allowDuplicate && (entry.isPastOverlap || savedBefore)) return refuse(i, kSmsAlreadyExistKey);

      TransactionForm form = entry.form;
      if (!choices.account.empty()) form.account = choices.account;
      if (!choices.category.empty()) form.category = choices.category;
      TransactionSaveResult saved = TransactionSave(ledger_).saveTransaction(form);
      if (saved.refusal) return refuse(i, *saved.refusal);
      if (!saved.ok()) {
        result.failedEntry = i;
        return saved.status;
      }
      result.saved.push_back(std::move(saved));
      savedMessages.push_back(&entry.message);

      // The person booked the message to another account than its macro's:
      // from now on the macro brings that account.
      if (!entry.macro || !entry.macro->uid || entry.macro->uid->empty() || form.account.empty()) continue;
      const std::string linked = entry.macro->conAsset ? entry.macro->conAsset->uid.value_or("") : "";
      if (linked == form.account) continue;
      auto stored = macros.messageMacro2WithUid(*entry.macro->uid);
      if (!stored || stored->conAssetUid.value_or("") == form.account) continue;
      stored->conAssetUid = form.account;
      if (Status updated = macros.update(*stored, true); !updated) {
        result.failedEntry = i;
        return updated;
      }
      result.macrosUpdated.push_back(*stored);
    }
    return Status::ok();
  }, "sms save");
  result.status = status;
  if (!status) {
    result.saved.clear();
    result.macrosUpdated.clear();
  }
  return result;
}

}  // namespace varnel
