// The parse result of one bank, card or payment-app message and the base of
// every country parser: the fields a parser fills, the text filters all
// parsers chain together, the income-or-expense rule, the category guess and
// the check for a message that is already stored on a transaction.
//
// A parser is a chain of text-to-text filters: each recognises one thing,
// records it in a field and removes it from the text; what is left is the
// merchant or content text. Every pattern runs with a time and stack limit
// (sms/sms_patterns.h), so no message can hang the parser: a pattern that
// gives up counts as no match and the message is parsed as far as it goes.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/dates.h"
#include "model/entities.h"
#include "sms/sms_patterns.h"

namespace varnel {

class Ledger;

// What every parser of a paste reads from the ledger besides single lookups,
// read once and shared by the parsers of a paste or a batch (a parser made
// without it reads its own).
struct SmsParsingData {
  // The built-in macros in the order they are tried (longest name first).
  std::vector<MessageMacro2> macros;
  // The user's words to strip from contents (settings of kind 100).
  std::vector<std::string> stripWords;
  // Whether the ledger uses sub-categories.
  bool useSubCategory = false;

  // Reads them. Throws StoreError when the store cannot be read.
  static std::shared_ptr<const SmsParsingData> load(Ledger& ledger);
};

// Transaction kinds as a parse result writes them (`doTypeStr`).
inline constexpr const char* kSmsIncome = "0";
inline constexpr const char* kSmsExpense = "1";

class SmsParsing {
 public:
  // The parser reads the ledger's environment (today, time zone, locale,
  // region, interface language), its caches (categories, accounts, the main
  // currency) and its store (message macros, the category guess, the
  // already-stored check). `pastDate` starts as the environment's today and
  // `timeStampStr` as its current time.
  explicit SmsParsing(Ledger& ledger, std::shared_ptr<const SmsParsingData> data = nullptr);
  virtual ~SmsParsing();
  SmsParsing(const SmsParsing&) = delete;
  SmsParsing& operator=(const SmsParsing&) = delete;

  // The class name that parsed the message ("SmsParsing", "SmsParsingKor").
  virtual const char* parserName() const { return "SmsParsing"; }

  // Parses one message. `findMacroName` is the name of the built-in macro
  // that matched the message and `findUserMacroName` the sender text of the
  // user macro that did (each empty when none did). The base loads the
  // macros, sets `smsOrigine` (removeLineChange) and `doTypeStr` (isInCome);
  // a country parser calls it first and then runs its own pipeline. No text
  // makes it fail: what cannot be recognised is left at its default. Throws
  // StoreError only when the store cannot be read.
  virtual void parsing(const std::string& text, const std::string& findMacroName,
                       const std::string& findUserMacroName);

  // ---- The parse result ----------------------------------------------------
  // The message as parsed, line breaks turned into blanks.
  std::string smsOrigine;
  // The message after the Web-sender headers were removed (set by the
  // country parser); later filters test it for bank names.
  std::string oriStr;
  // The amount as a plain decimal number ("12500", "-3000", "15057.61");
  // "0" when no amount was found.
  std::string moneyMainStr = "0";
  // Instalment months as a decimal; "0" for a single payment.
  std::string installment = "0";
  // Time of day "HH:mm" (24-hour); preset to the environment's current
  // time.
  std::string timeStampStr;
  // "0" income, "1" expense.
  std::string doTypeStr = kSmsExpense;
  // Merchant or content text.
  std::string mainContentStr;
  // The date found in the message (hour, minute and second 0); after
  // parsing, `pastDate` when the message had none (checkDpDate).
  std::optional<LocalDateTime> dpDate;
  // The caller's fallback date (the date of the input screen).
  LocalDateTime pastDate;
  // Guessed category and sub-category.
  std::optional<Category> cateObject;
  std::optional<Category> cateSubObject;
  // The currency found in the message when the ledger holds it; none means
  // the amount is in the main currency (`appCurrency`).
  std::optional<Currency> currency;
  // The ledger's main currency row, when it has one.
  std::optional<Currency> appCurrency;
  // The same message text is already stored on a transaction.
  bool isPastOverlap = false;
  // The locale's number separators.
  std::string groupingSeparator = ",";
  std::string decimalSeparator = ".";

  // The built-in macros in the order they are tried (longest name first).
  const std::vector<MessageMacro2>& arrayMacro() const { return data_->macros; }

  // "yyyy-MM-dd" of `dpDate` (of `pastDate` while no date is set).
  std::string dpDateKey() const;
  // The instant of `dpDate` (or `pastDate`) at `timeStampStr` in the
  // ledger's time zone, on the store's scale.
  double dpDateTime() const;

  // ---- Shared filters (text in, text out) -----------------------------------
  // "\r\n", "\n", "\r", tab and backspace become blanks; trimmed.
  static std::string removeLineChange(const std::string& text);
  // Every white-space character removed.
  static std::string emptyStringFilter(const std::string& text);
  // Web-sender headers in all spellings; "토스카드" spellings shortened.
  static std::string removeWordNotNecessary(const std::string& text);
  // "기업", "KB스타알림" and "씨티 카드": sender names that stand at the end
  // of their messages.
  static bool isSmsTailAssetName(const std::string& name);
  // True for income, false for expense.
  static bool isInCome(const std::string& text);
  // Removes the first / every match of `pattern` (case-insensitive). A
  // pattern that does not compile or runs out of its limits removes nothing.
  static std::string filterPastStr(const std::string& pattern, const std::string& text);
  static std::string removeAllFilter(const std::string& pattern, const std::string& text);
  // The fixed keyword list, longest keyword first.
  static std::string lastWordsFilter(const std::string& text);
  // Removes "스마일페이" only when something is left afterwards.
  static std::string lastWordsFilterSelective(const std::string& text);
  // Punctuation, symbols and unbalanced or wrapping parentheses.
  static std::string ectSpeciallCharFilter(const std::string& text);
  // Web addresses and domain endings.
  static std::string filterUrl(const std::string& text);
  // "현대카드 디지털러버" → "현대카드".
  static std::string hyunDaeCardPasteStrException(const std::string& text);

  // Finds the time of day, sets `timeStampStr` and removes every time found.
  std::string timerFilter(const std::string& text);
  // Finds the instalment months, sets `installment` and removes the phrase.
  std::string installmentFilter(const std::string& text);

  // Guesses `cateObject` / `cateSubObject` for the content `content`: the
  // newest live transaction of kind `doTypeStr` whose parsed content or
  // content equals it (ignoring case) or whose memo holds it, then the
  // keyword table for `content` and then for `secondText`, then the first
  // live category of the kind. Reads the store through its indexes only.
  void findCategoryFromSMSKo(const std::string& content, const std::string& secondText);
  // Whether `tx` can lend its category: kind "0" or "1" equal to
  // `doTypeStr`, a live category of the same kind. Sets `cateObject` (and
  // `cateSubObject` when the category is a sub-category of that kind).
  bool isValidCategory(const InOutCome& tx);
  // Sets `isPastOverlap` when a live transaction keeps exactly `message` as
  // its message text, unless `dpDate` is today and that transaction lies
  // more than 20 days from today. One indexed lookup.
  void getIsPastOverlap(const std::string& message);
  // `dpDate` = `pastDate` when no date was found.
  void checkDpDate();

 protected:
  // The filters above on UTF-16 text, for the parsers' pipelines.
  sms::UString timerFilterU(const sms::UString& text);
  sms::UString installmentFilterU(const sms::UString& text);
  // Sets the time of day from hour and minute texts when they make one.
  bool setTime(int hour, int minute);

  Ledger& ledger_;
  std::shared_ptr<const SmsParsingData> data_;
  // Today in the ledger's time zone.
  LocalDateTime today_;
  // The device region ("KR", "US") and interface language ("ko", "tr").
  std::string region_;
  std::string language_;


 private:
  // The newest transaction found by `sql` (rows of kind `doTypeStr`, newest
  // first, bound to `key`) whose category isValidCategory accepts; `accept`
  // checks each row's text first.
  bool categoryFromTransactions(const std::string& sql, const std::string& key,
                                const std::function<bool(const InOutCome&)>& accept);
  // The category of the first keyword of the table found in `text` that this
  // ledger has for the kind `doTypeStr`.
  bool categoryFromKeywords(const std::string& text);
};

}  // namespace varnel
