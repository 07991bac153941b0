#include "sms/sms_parsing_helper.h"

#include <spdlog/spdlog.h>

#include "model/errors.h"
#include "model/ledger.h"
#include "model/liveness.h"
#include "sms/sms_parsing_kor.h"
#include "sms/sms_paste_cleanup.h"
#include "sms/sms_patterns.h"

namespace varnel {

namespace {

// Short sender names that are also parts of ordinary words: they count only
// when a blank follows them.
bool needsTrailingBlank(const std::string& name) {
  return name == "롯데" || name == "삼성" || name == "하나" || name == "부산";
}

// A candidate of the macro search: where its name occurs and how long the
// name is, so that the earliest and then the longest wins.
struct Hit {
  size_t position = std::string::npos;
  size_t length = 0;
  bool beats(const Hit& other) const {
    if (position == std::string::npos) return false;
    if (other.position == std::string::npos) return true;
    return position < other.position || (position == other.position && length > other.length);
  }
};

size_t earliest(const std::string& text, std::initializer_list<std::string_view> parts) {
  size_t best = std::string::npos;
  for (std::string_view part : parts) best = std::min(best, text.find(part));
  return best;
}

// The first place where `name` is followed directly by a digit.
size_t followedByDigit(const std::string& text, const std::string& name) {
  for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
    const size_t next = at + name.size();
    if (next < text.size() && text[next] >= '0' && text[next] <= '9') return at;
  }
  return std::string::npos;
}

std::unique_ptr<SmsParsing> makeParser(SmsParserKind kind, Ledger& ledger,
                                       std::shared_ptr<const SmsParsingData> data) {
  // The other countries' parsers are not part of this version: a message
  // routed to one of them is reported by name, without a result.
  if (kind == SmsParserKind::kKor) return std::make_unique<SmsParsingKor>(ledger, std::move(data));
  return nullptr;
}

}  // namespace

std::shared_ptr<const SmsPasteData> SmsPasteData::load(Ledger& ledger) {
  auto data = std::make_shared<SmsPasteData>();
  data->userMacros = MessageMacroRepository(ledger).listOfUserCustom();
  data->parsing = SmsParsingData::load(ledger);
  return data;
}

SmsParsingHelper::SmsParsingHelper(Ledger& ledger) : ledger_(ledger) {}

SmsParsingHelper::SmsParsingHelper(Ledger& ledger, std::shared_ptr<const SmsPasteData> data)
    : ledger_(ledger), data_(std::move(data)) {}

const SmsPasteData& SmsParsingHelper::data() {
  if (!data_) data_ = SmsPasteData::load(ledger_);
  return *data_;
}

FindMacro SmsParsingHelper::findMacroFromSMS(const std::string& sms) {
  std::string message = sms;
  for (char& c : message) {
    if (c == '\n' || c == '\r' || c == '\t' || c == '\b') c = ' ';
  }
  FindMacro found;
  const SmsPasteData& set = data();

  const MessageMacroData* user = nullptr;
  Hit userHit;
  for (const auto& candidate : set.userMacros) {
    if (candidate.smsString.empty()) continue;
    const Hit hit{message.find(candidate.smsString), candidate.smsString.size()};
    if (hit.beats(userHit)) {
      userHit = hit;
      user = &candidate;
    }
  }
  if (user) {
    found.userMacro = *user;
    found.userMacroName = user->smsString;
    return found;
  }

  message = SmsParsing::removeWordNotNecessary(message);
  // NongHyup's shops carry the bank's name ("농협하나로마트"): in their
  // card messages the bank is not the sender.
  const bool nongHyupShop =
      message.find("농협하나로") != std::string::npos || message.find("농협로컬푸드") != std::string::npos;
  const bool china = message.find("차이나") != std::string::npos;
  auto searched = [&](const std::string& name) {
    return !name.empty() && !(name == "농협" && nongHyupShop) && !(name == "차이" && china);
  };

  const MessageMacro2* best = nullptr;
  Hit bestHit;
  for (const auto& macro : set.macros()) {
    const std::string name = macro.macroAssetName.value_or("");
    if (!searched(name)) continue;
    Hit hit{std::string::npos, name.size()};
    if (name == "하나") {
      hit.position = earliest(message, {"하나(", "하나,"});
    } else {
      hit.position = message.find(needsTrailingBlank(name) ? name + " " : name);
    }
    if (hit.beats(bestHit)) {
      bestHit = hit;
      best = &macro;
    }
  }
  if (!best) {
    for (const auto& macro : set.macros()) {
      const std::string name = macro.macroAssetName.value_or("");
      if (!searched(name)) continue;
      const Hit hit{followedByDigit(message, name), name.size()};
      if (hit.beats(bestHit)) {
        bestHit = hit;
        best = &macro;
      }
    }
  }
  if (best) {
    found.macro = *best;
    found.macroName = best->macroAssetName.value_or("");
  }
  return found;
}

std::unique_ptr<SmsParsing> SmsParsingHelper::methodForPaste(const Clipboard& clipboard) {
  return methodForPaste(clipboard.text());
}

std::unique_ptr<SmsParsing> SmsParsingHelper::methodForPaste(const std::string& text) {
  findMacro = FindMacro{};
  parserName.clear();
  if (text.empty()) {
    resultSmsStrCut = ResultSmsStrCut{};
    return nullptr;
  }

  const CleanedPaste cleaned = cleanPaste(text);
  PasteSenderNames senders;
  for (const auto& user : data().userMacros) senders.userTexts.push_back(user.smsString);
  for (const auto& macro : data().macros()) senders.macroNames.push_back(macro.macroAssetName.value_or(""));
  resultSmsStrCut = collectPasteAnalySis(cleaned.text, senders);
  resultSmsStrCut.pasteStr = cleaned.text;
  resultSmsStrCut.orgPasteStr = text;
  resultSmsStrCut.isException = cleaned.isException;
  if (multiIndex != 0) return nullptr;

  const std::string& message = resultSmsStrCut.severalStr;
  findMacro = findMacroFromSMS(message);
  theMacroObject.reset();
  assetObject.reset();
  const CommonData& cache = ledger_.commonData();
  if (findMacro.userMacro) {
    theMacroObject = *findMacro.userMacro;
  } else if (findMacro.macro) {
    const MessageMacro2& macro = *findMacro.macro;
    MessageMacroData copy;
    copy.uid = macro.uid;
    copy.smsString = macro.macroAssetName.value_or("");
    copy.macroType = macro.macroType;
    copy.smsTel = macro.smsTel;
    copy.appPackage = macro.appPackage;
    copy.appName = macro.appName;
    copy.useYN = macro.useYN;
    copy.modiDate = macro.modiDate;
    copy.conAsset = cache.assetByUid(macro.conAssetUid.value_or(""));
    theMacroObject = std::move(copy);
  }
  if (theMacroObject && theMacroObject->conAsset) {
    const Asset& account = *theMacroObject->conAsset;
    const auto group = cache.assetGroupByUid(account.groupUid.value_or(""));
    if (live::isLiveAccount(account) && !(group && !live::isListedGroup(*group))) assetObject = account;
  }

  // The parser is chosen by the whole paste, before the senders' clean-ups
  // took words out of it.
  const std::string lower = sms::toUtf8(sms::lowered(sms::fromUtf8(cleaned.headersCollapsed)));
  const Environment& env = ledger_.env();
  const SmsParserKind kind = chooseParser(lower, env.region(), env.language());
  parserName = std::string(parserClassName(kind));
  std::unique_ptr<SmsParsing> parser = makeParser(kind, ledger_, data().parsing);
  if (!parser) return nullptr;
  if (pastDate) parser->pastDate = *pastDate;
  try {
    parser->parsing(message, findMacro.macroName, findMacro.userMacro ? findMacro.userMacro->smsString : "");
  } catch (const StoreError&) {
    throw;
  } catch (const std::exception& e) {
    // The input screen goes on with what the parser had set.
    ledger_.log().error("sms parsing fail {}", e.what());
  }
  return parser;
}

}  // namespace varnel
