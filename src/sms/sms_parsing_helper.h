// The paste driver: cleans a pasted text, cuts out its first message, finds
// the macro (and with it the account) of that message, chooses the country
// parser and runs it. One helper serves one message.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/dates.h"
#include "model/entities.h"
#include "sms/message_macro_repository.h"
#include "sms/sms_parser_choice.h"
#include "sms/sms_parsing.h"
#include "sms/sms_paste_cut.h"

namespace varnel {

class Ledger;

// The outcome of the macro search: the built-in macro or the user macro that
// matched, with the name each matched by (empty when none did).
using FindMacro = MacroMatch;

// The system clipboard, as plain text.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual std::string text() const = 0;
  virtual void setText(const std::string& text) = 0;
};

// A clipboard of this process only: the program's text arguments, and tests.
class MemoryClipboard : public Clipboard {
 public:
  explicit MemoryClipboard(std::string text = {}) : text_(std::move(text)) {}
  std::string text() const override { return text_; }
  void setText(const std::string& text) override { text_ = text; }

 private:
  std::string text_;
};

// What the messages of a paste are read with, read from the store once and
// shared by the helpers and parsers of one paste (or of a whole batch): the
// user macros and the parsers' data (the built-in macros in the order they
// are tried, the user's words to strip).
struct SmsPasteData {
  // User macros, longest sender text first.
  std::vector<MessageMacroData> userMacros;
  std::shared_ptr<const SmsParsingData> parsing;

  const std::vector<MessageMacro2>& macros() const { return parsing->macros; }

  // Reads them. Throws StoreError when the store cannot be read.
  static std::shared_ptr<const SmsPasteData> load(Ledger& ledger);
};

class SmsParsingHelper {
 public:
  // The macros are read from the store at the first paste.
  explicit SmsParsingHelper(Ledger& ledger);
  // Shares what was read for the paste already.
  SmsParsingHelper(Ledger& ledger, std::shared_ptr<const SmsPasteData> data);

  // Parses the first message of a paste. Returns the country parser holding
  // the result, or none when the text is empty, when this helper serves a
  // later message of a batch (`multiIndex` not 0), or when the message goes
  // to a country parser this version does not have (`parserName` then names
  // it). Always leaves `resultSmsStrCut` set; for a non-empty text also
  // `findMacro`, `theMacroObject` and `assetObject` (first message only).
  // Failures inside a parser are logged and leave the result as far as it
  // got; a store that cannot be read throws StoreError.
  std::unique_ptr<SmsParsing> methodForPaste(const std::string& text);
  // The same for the clipboard's text.
  std::unique_ptr<SmsParsing> methodForPaste(const Clipboard& clipboard);

  // The macro of a message: the user macro whose text occurs in it, else the
  // built-in macro found by name (with the rules of the short bank names),
  // else a name followed directly by a digit. When several match, the one
  // whose name occurs first in the message wins, the longer name on a tie.
  FindMacro findMacroFromSMS(const std::string& message);

  // The date the parser falls back to (the input screen's date); the
  // environment's today when none.
  std::optional<LocalDateTime> pastDate;
  // The macro that matched, with its linked account.
  std::optional<MessageMacroData> theMacroObject;
  // The account to preselect: the macro's account unless it or its group is
  // deleted.
  std::optional<Asset> assetObject;
  ResultSmsStrCut resultSmsStrCut;
  // Position of the message in a batch; 0 for the first.
  int multiIndex = 0;

  // What the last paste found: the macro search's outcome and the parser
  // chosen (empty for an empty paste or a later batch message).
  FindMacro findMacro;
  std::string parserName;

 private:
  const SmsPasteData& data();

  Ledger& ledger_;
  std::shared_ptr<const SmsPasteData> data_;
};

}  // namespace varnel
