// `varnel sms parse …` and `varnel sms add …`: bank, card and payment-app
// messages read the way a paste into the transaction input reads them, one
// message at a time, and saved as transactions. Texts come from an argument,
// a file or standard input and are checked before the ledger is opened.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/cli.h"
#include "app/tx_options.h"
#include "ledger/record_lookup.h"
#include "model/errors.h"
#include "model/text.h"
#include "sms/sms_parsing_helper.h"
#include "sms/sms_parsing_multi.h"
#include "sms/sms_transaction_save.h"

namespace varnel::cli {

namespace {

// A paste of several dozen messages stays far below this; longer texts are
// not pastes of messages.
constexpr size_t kMaxPasteBytes = 64 * 1024;
// A batch file: its messages one a line, each at most a paste's size (with
// room for JSON escapes).
constexpr size_t kMaxBatchLineBytes = 6 * kMaxPasteBytes + 64;
constexpr size_t kMaxBatchBytes = 256 * 1024 * 1024;

// Reads at most `limit` bytes and one more, so that an oversized input is
// told apart without reading all of it.
std::string readLimited(std::istream& in, size_t limit, const std::string& what) {
  std::string text;
  char buffer[64 * 1024];
  while (in && text.size() <= limit) {
    in.read(buffer, sizeof buffer);
    text.append(buffer, static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) throw InputError("cannot read " + what);
  if (text.size() > limit) throw InputError(fmt::format("{} is larger than {} bytes", what, limit));
  return text;
}

// Message text as the program accepts it: UTF-8, no NUL, at most a paste's size.
void checkMessage(const std::string& text, const std::string& what) {
  if (text.size() > kMaxPasteBytes) {
    throw InputError(fmt::format("{} is longer than {} bytes", what, kMaxPasteBytes));
  }
  if (!isValidUtf8(text)) throw InputError(what + " is not valid UTF-8");
  if (text.find('\0') != std::string::npos) throw InputError(what + " holds a NUL character");
}

// The paste: the argument, "-" for standard input, or --file.
std::string readPaste(const std::string& argument, CLI::Option* argumentOption, const std::string& file) {
  const bool hasArgument = argumentOption->count() > 0;
  if (hasArgument && !file.empty()) throw InputError("give the text or --file, not both");
  std::string text;
  std::string what = "the text";
  if (!file.empty()) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw InputError(file + ": cannot read the file");
    what = file;
    text = readLimited(in, kMaxPasteBytes, what);
  } else if (hasArgument && argument == "-") {
    what = "standard input";
    text = readLimited(std::cin, kMaxPasteBytes, what);
  } else if (hasArgument) {
    text = argument;
  } else {
    throw InputError("give the message text, - for standard input, or --file");
  }
  checkMessage(text, what);
  return text;
}

// The messages of a batch file (JSON Lines: a JSON string, or an object with
// a "text" string), checked whole before anything is parsed. Blank lines are
// skipped.
std::vector<std::string> readBatchFile(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw InputError(file + ": cannot read the file");
  const std::string content = readLimited(in, kMaxBatchBytes, file);
  std::vector<std::string> messages;
  size_t start = 0;
  for (int number = 1; start < content.size(); ++number) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line = content.substr(start, end - start);
    start = end + 1;
    const std::string where = fmt::format("{} line {}", file, number);
    if (trimmed(line).empty()) continue;
    if (line.size() > kMaxBatchLineBytes) throw InputError(where + " is too long");
    if (!isValidUtf8(line)) throw InputError(where + " is not valid UTF-8");
    const auto value = nlohmann::json::parse(line, nullptr, false);
    std::string text;
    if (value.is_string()) {
      text = value.get<std::string>();
    } else if (value.is_object() && value.contains("text") && value["text"].is_string()) {
      text = value["text"].get<std::string>();
    } else {
      throw InputError(where + ": expected a JSON string or an object with a \"text\" string");
    }
    checkMessage(text, where);
    messages.push_back(std::move(text));
  }
  return messages;
}

// Results keep their keys in the order of the parse result.
using Json = nlohmann::ordered_json;

Json textOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

void printResult(const Json& value, int indent) {
  std::cout << value.dump(indent, ' ', false, Json::error_handler_t::replace) << '\n';
}

Json cutJson(const ResultSmsStrCut& cut) {
  return {{"isCut", cut.isCut},
          {"pasteStr", cut.pasteStr},
          {"orgPasteStr", cut.orgPasteStr},
          {"severalStr", cut.severalStr},
          {"collectCount", cut.collectCount},
          {"isException", cut.isException}};
}

// One message's result, with every key present (null where nothing was found).
Json resultJson(const SmsParsingHelper& helper, const SmsParsing* parse) {
  const std::string& macroName =
      !helper.findMacro.macroName.empty() ? helper.findMacro.macroName : helper.findMacro.userMacroName;
  Json out = {
      {"parser", textOrNull(helper.parserName)},
      {"moneyMainStr", nullptr},
      {"currency", nullptr},
      {"installment", nullptr},
      {"timeStampStr", nullptr},
      {"doTypeStr", nullptr},
      {"mainContentStr", nullptr},
      {"dpDate", nullptr},
      {"category", nullptr},
      {"subCategory", nullptr},
      {"macroName", textOrNull(macroName)},
      {"assetUid", helper.assetObject ? textOrNull(helper.assetObject->uid.value_or("")) : nullptr},
      {"isPastOverlap", nullptr},
      {"smsOrigine", nullptr},
      {"cut", cutJson(helper.resultSmsStrCut)},
  };
  if (!parse) return out;
  if (parse->moneyMainStr != "0") out["moneyMainStr"] = parse->moneyMainStr;
  if (parse->currency) out["currency"] = textOrNull(parse->currency->iso.value_or(""));
  out["installment"] = parse->installment;
  out["timeStampStr"] = textOrNull(parse->timeStampStr);
  out["doTypeStr"] = parse->doTypeStr;
  out["mainContentStr"] = textOrNull(parse->mainContentStr);
  if (parse->dpDate) out["dpDate"] = parse->dpDateKey();
  if (parse->cateObject) out["category"] = textOrNull(parse->cateObject->Name.value_or(""));
  if (parse->cateSubObject) out["subCategory"] = textOrNull(parse->cateSubObject->Name.value_or(""));
  out["isPastOverlap"] = parse->isPastOverlap;
  out["smsOrigine"] = parse->smsOrigine;
  return out;
}

// One message's result on one line.
std::string resultLine(const SmsParsingHelper& helper, const SmsParsing* parse) {
  if (helper.parserName.empty()) return "(no message)";
  if (!parse) return helper.parserName + "  (no reader for these messages in this version)";
  std::string line = fmt::format("{}  {} {}  {}  {}", helper.parserName, parse->dpDateKey(), parse->timeStampStr,
                                 parse->doTypeStr == kSmsIncome ? "income" : "expense",
                                 parse->moneyMainStr == "0" ? "(no amount)" : parse->moneyMainStr);
  if (parse->currency) line += " " + parse->currency->iso.value_or("");
  if (parse->installment != "0") line += fmt::format("  {} months", parse->installment);
  line += fmt::format("  \"{}\"", parse->mainContentStr);
  if (parse->cateObject) {
    line += "  [" + parse->cateObject->Name.value_or("");
    if (parse->cateSubObject) line += "/" + parse->cateSubObject->Name.value_or("");
    line += "]";
  }
  if (helper.assetObject) line += "  account " + helper.assetObject->NicName.value_or("");
  const std::string& macro =
      !helper.findMacro.macroName.empty() ? helper.findMacro.macroName : helper.findMacro.userMacroName;
  if (!macro.empty()) line += "  macro " + macro;
  if (parse->isPastOverlap) line += "  (already stored)";
  return line;
}

}  // namespace

void addSmsCommands(CLI::App& app, Context& ctx) {
  auto* sms = app.add_subcommand("sms", "Bank, card and payment-app messages: parse them, save them");
  sms->require_subcommand(1);

  // --- parse ---
  auto* parse = sms->add_subcommand("parse", "Parse a paste of messages and print what the input would fill in");
  static std::string parseText, parseFile, batchFile;
  static bool parseAll = false;
  CLI::Option* parseTextOption = parse->add_option("TEXT", parseText, "The paste; - reads standard input");
  parse->add_option("--file", parseFile, "Read the paste from a file");
  parse->add_flag("--all", parseAll, "Every message of the paste in order, not only the first");
  parse->add_option("--batch", batchFile,
                    "JSON Lines file: one message a line (a JSON string or an object with a \"text\" string); "
                    "prints one JSON result a line");
  parse->callback([&ctx, parseTextOption] {
    if (!batchFile.empty()) {
      if (parseTextOption->count() > 0 || !parseFile.empty() || parseAll) {
        throw InputError("--batch takes no text, --file or --all");
      }
      const std::vector<std::string> messages = readBatchFile(batchFile);
      auto ledger = ctx.openLedger();
      const auto data = SmsPasteData::load(*ledger);
      for (const std::string& message : messages) {
        SmsParsingHelper helper(*ledger, data);
        std::unique_ptr<SmsParsing> parsed = helper.methodForPaste(message);
        if (parsed) parsed->getIsPastOverlap(parsed->smsOrigine);
        printResult(resultJson(helper, parsed.get()), -1);
      }
      return;
    }
    const std::string text = readPaste(parseText, parseTextOption, parseFile);
    auto ledger = ctx.openLedger();
    MemoryClipboard clipboard(text);
    SmsParsingMulti multi(*ledger, clipboard);
    multi.parsing();
    Json results = Json::array();
    do {
      SmsParsingHelper* helper = multi.smsParsingHelper();
      if (!helper) break;
      if (ctx.json) {
        results.push_back(resultJson(*helper, multi.smsParsing()));
      } else {
        printLine(resultLine(*helper, multi.smsParsing()));
      }
      if (!parseAll) break;
      multi.next();
    } while (multi.getCountSms() > 0);
    if (ctx.json) printResult(parseAll ? results : results.empty() ? Json(nullptr) : results[0], 2);
  });

  // --- add ---
  auto* add = sms->add_subcommand("add", "Save the first message of a paste (or every one) as a transaction");
  static std::string addText, addFile, addAccount, addCategory;
  static bool addAll = false, allowDuplicate = false;
  CLI::Option* addTextOption = add->add_option("TEXT", addText, "The paste; - reads standard input");
  add->add_option("--file", addFile, "Read the paste from a file");
  add->add_option("--account", addAccount, "Account to book on (uid or name); default: the message's macro's");
  add->add_option("--category", addCategory, "Category (uid, full name or name); default: the guessed one");
  add->add_flag("--all", addAll, "Save every message of the paste, all or none");
  add->add_flag("--allow-duplicate", allowDuplicate, "Save a message even when it is stored already");
  add->callback([&ctx, addTextOption] {
    const std::string text = readPaste(addText, addTextOption, addFile);
    auto ledger = ctx.openLedger();
    SmsSaveChoices choices;
    choices.allowDuplicate = allowDuplicate;
    if (!addAccount.empty()) choices.account = *resolveAccount(ledger->commonData(), addAccount).uid;
    if (!addCategory.empty()) choices.category = *resolveCategory(ledger->commonData(), addCategory).uid;

    MemoryClipboard clipboard(text);
    SmsParsingMulti multi(*ledger, clipboard);
    multi.parsing();
    std::vector<SmsEntry> entries;
    while (multi.getCountSms() > 0 && multi.smsParsingHelper()) {
      entries.push_back(smsEntryFor(*multi.smsParsingHelper(), multi.smsParsing()));
      if (!addAll) break;
      multi.next();
    }
    if (entries.empty()) throw InputError("the text holds no message");

    const SmsSaveResult result = SmsTransactionSave(*ledger).save(entries, choices);
    if (result.refusal) {
      const std::string which = entries.size() > 1 ? fmt::format("message {}: ", result.failedEntry + 1) : "";
      throw InputError(which + *result.refusal + ": " + ledger->texts().text(*result.refusal));
    }
    check(result.status);
    std::vector<InOutCome> records;
    for (const auto& saved : result.saved) {
      for (auto& record : saved.records()) records.push_back(std::move(record));
    }
    printRecords(*ledger, records, ctx.json);
  });
}

}  // namespace varnel::cli
