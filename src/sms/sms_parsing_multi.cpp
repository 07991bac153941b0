#include "sms/sms_parsing_multi.h"

#include <algorithm>

#include <nlohmann/json.hpp>
#include <spdlog/spdlog.h>

#include "model/ledger.h"
#include "sms/sms_patterns.h"

namespace varnel {

namespace {

int32_t characters(const std::string& text) { return sms::fromUtf8(text).length(); }

// What is left of a batch entry after its first message, when that is only
// a Web-sender header, holds nothing.
bool isOnlyWebHeader(const std::string& text) {
  sms::UString rest = sms::fromUtf8(text);
  sms::removeAll(rest, u"\n");
  sms::removeAll(rest, u"\r");
  return sms::trimmed(rest) == sms::lit(u"[Web발신]");
}

// An entry or a clipboard text holds at least the message it shows, also
// when its split was given up.
int messagesIn(const ResultSmsStrCut& cut) { return std::max(cut.collectCount, 1); }

}  // namespace

std::string remainderAfterFirstMessage(const ResultSmsStrCut& cut) {
  const std::string& paste = cut.pasteStr;
  const std::string& first = cut.severalStr;
  if (first.empty()) return "";
  const size_t at = paste.find(first);
  if (at == std::string::npos) return "";
  std::string rest = paste.substr(at + first.size());
  bool droppedNewline = false, droppedReturn = false;
  for (int i = 0; i < 2 && !rest.empty(); ++i) {
    if (!droppedNewline && rest[0] == '\n') {
      rest.erase(0, 1);
      droppedNewline = true;
    } else if (!droppedReturn && rest[0] == '\r') {
      rest.erase(0, 1);
      droppedReturn = true;
    }
  }
  return rest;
}

SmsParsingMulti::SmsParsingMulti(Ledger& ledger, Clipboard& clipboard) : ledger_(ledger), clipboard_(clipboard) {}

std::vector<std::string> SmsParsingMulti::readBatch() const {
  std::vector<std::string> texts;
  const auto stored = ledger_.preferences().getString(kPrefTextClipMulti);
  if (!stored) return texts;
  const auto list = nlohmann::json::parse(*stored, nullptr, false);
  if (!list.is_array()) return texts;
  for (const auto& item : list) {
    if (item.is_string() && !item.get_ref<const std::string&>().empty()) texts.push_back(item.get<std::string>());
  }
  return texts;
}

void SmsParsingMulti::writeBatch() {
  bool written = true;
  if (batch.empty()) {
    written = ledger_.preferences().remove(kPrefTextClipMulti);
  } else {
    written = ledger_.preferences().setString(kPrefTextClipMulti, nlohmann::json(batch).dump());
  }
  // The batch in memory goes on either way; the next start reads the file.
  if (!written) ledger_.log().error("sms textClipMulti write fail");
}

void SmsParsingMulti::writeClipboard(const std::string& text) {
  clipboard_.setText(text);
  if (!ledger_.preferences().setString(kPrefTextClip, text)) ledger_.log().error("sms textClip write fail");
}

void SmsParsingMulti::clearClipboard() {
  clipboard_.setText("");
  if (!ledger_.preferences().remove(kPrefTextClip)) ledger_.log().error("sms textClip write fail");
}

void SmsParsingMulti::resetData() {
  smsParsingType = kSmsPasteNone;
  countSmsMulti = 0;
  countSms = 0;
  batch.clear();
  shownHelper_.reset();
  shownParse_.reset();
  clipboardFirst_ = false;
  firstCut_ = ResultSmsStrCut{};
}

void SmsParsingMulti::end() {
  shownHelper_.reset();
  shownParse_.reset();
  countSms = 0;
}

void SmsParsingMulti::parsing() {
  resetData();
  // The macros and the parsers' data are read once per paste and shared by
  // every message of it.
  data_ = SmsPasteData::load(ledger_);
  batch = readBatch();
  parseCurrent();
}

void SmsParsingMulti::parseCurrent() {
  // From here on the batch in memory and the clipboard are what counts: a
  // preferences file that cannot be written must not bring a message back.
  smsParsingType = kSmsPasteNone;
  countSmsMulti = 0;
  countSms = 0;
  shownHelper_.reset();
  shownParse_.reset();
  clipboardFirst_ = false;
  firstCut_ = ResultSmsStrCut{};
  const std::string clip = clipboard_.text();

  if (batch.empty()) {
    smsParsingType = kSmsPasteSingle;
    shownHelper_ = std::make_unique<SmsParsingHelper>(ledger_, data_);
    shownParse_ = shownHelper_->methodForPaste(clip);
    firstCut_ = shownHelper_->resultSmsStrCut;
    countSms = clip.empty() ? 0 : messagesIn(firstCut_);
    countSmsMulti = countSms;
    // A cleaned paste of several messages goes back to the clipboard, so
    // that the messages handed on later are cut from the cleaned text.
    if (firstCut_.isException && firstCut_.collectCount >= 2) writeClipboard(firstCut_.pasteStr);
    checkShownStored();
    return;
  }

  smsParsingType = kSmsPasteBatch;
  int total = 0;
  if (!clip.empty()) {
    if (std::find(batch.begin(), batch.end(), clip) != batch.end()) {
      // The clipboard still holds a message the batch already has.
      clearClipboard();
    } else {
      auto helper = std::make_unique<SmsParsingHelper>(ledger_, data_);
      auto parse = helper->methodForPaste(clip);
      if (parse && parse->moneyMainStr != "0") {
        clipboardFirst_ = true;
        firstCut_ = helper->resultSmsStrCut;
        writeClipboard(firstCut_.pasteStr);
        total += messagesIn(firstCut_);
        shownHelper_ = std::move(helper);
        shownParse_ = std::move(parse);
      }
    }
  }
  bool rewritten = false;
  for (size_t i = 0; i < batch.size(); ++i) {
    const int position = static_cast<int>(i) + (clipboardFirst_ ? 1 : 0);
    auto helper = std::make_unique<SmsParsingHelper>(ledger_, data_);
    helper->multiIndex = position;
    auto parse = helper->methodForPaste(batch[i]);
    const ResultSmsStrCut& cut = helper->resultSmsStrCut;
    total += messagesIn(cut);
    if (cut.isException && cut.pasteStr != batch[i]) {
      batch[i] = cut.pasteStr;
      rewritten = true;
    }
    if (position == 0) {
      firstCut_ = cut;
      shownHelper_ = std::move(helper);
      shownParse_ = std::move(parse);
    }
  }
  if (rewritten) writeBatch();
  countSms = total;
  countSmsMulti = total;
  checkShownStored();
}

void SmsParsingMulti::checkShownStored() {
  // As the input screen does once it shows a message: is it stored already?
  if (shownParse_) shownParse_->getIsPastOverlap(shownParse_->smsOrigine);
}

void SmsParsingMulti::next() {
  if (smsParsingType == kSmsPasteSingle) {
    if (firstCut_.collectCount <= 1) return end();
    const std::string rest = remainderAfterFirstMessage(firstCut_);
    if (characters(rest) <= kShortestRemainder) return end();
    writeClipboard(rest);
    return parseCurrent();
  }
  if (smsParsingType != kSmsPasteBatch) return end();

  if (clipboardFirst_) {
    const std::string rest = firstCut_.collectCount > 1 ? remainderAfterFirstMessage(firstCut_) : "";
    if (characters(rest) <= kShortestRemainder) {
      clearClipboard();
    } else {
      writeClipboard(rest);
    }
    return parseCurrent();
  }
  if (countSms <= 1 || batch.empty()) {
    batch.clear();
  } else if (firstCut_.collectCount > 1) {
    const std::string rest = remainderAfterFirstMessage(firstCut_);
    if (rest.empty() || isOnlyWebHeader(rest)) {
      batch.erase(batch.begin());
    } else {
      batch.front() = rest;
    }
  } else {
    batch.erase(batch.begin());
  }
  writeBatch();
  // A batch with nothing left ends the paste; the clipboard, which was
  // read or cleared when the batch began, is not taken up again.
  if (batch.empty()) return end();
  parseCurrent();
}

}  // namespace varnel
