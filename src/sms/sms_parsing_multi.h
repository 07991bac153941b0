// The state of one paste between its messages: the message on screen, how
// many are left, and the texts still to come. A paste is either the
// clipboard's text (one or several messages) or a batch of messages captured
// one by one (kept in the device preferences under "textClipMulti"), possibly
// with the clipboard's text in front.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sms/sms_parsing.h"
#include "sms/sms_parsing_helper.h"

namespace varnel {

class Ledger;

// Device preference keys shared with the capturing extensions: the last
// clipboard text, and the batch of captured texts (a JSON array of strings).
inline constexpr const char* kPrefTextClip = "textClip";
inline constexpr const char* kPrefTextClipMulti = "textClipMulti";

// Kinds of paste (`smsParsingType`).
inline constexpr int kSmsPasteNone = 0;
inline constexpr int kSmsPasteSingle = 1;
inline constexpr int kSmsPasteBatch = 2;

// A remainder this short (or shorter) holds no further message.
inline constexpr int kShortestRemainder = 9;

class SmsParsingMulti {
 public:
  // Works on the ledger's device preferences and on `clipboard`; both must
  // outlive this object. The application keeps one for its input screen.
  SmsParsingMulti(Ledger& ledger, Clipboard& clipboard);

  // Starts on the current paste: the batch when the preferences hold one
  // (with the clipboard's text in front when it has an amount and is not one
  // of the batch's texts), else the clipboard. Shows its first message and
  // checks whether it is stored already (`isPastOverlap`). Writes a text a
  // clean-up changed back where it came from. Throws
  // StoreError when the store cannot be read.
  void parsing();
  // Moves on to the next message of the paste (when there is one) and shows
  // it; with nothing left, nothing is shown and getCountSms() is 0.
  void next();
  // Messages left, the one on screen included; 0 when nothing is left.
  int getCountSms() const { return countSms; }
  // Forgets the paste (the preferences and the clipboard stay as they are).
  void resetData();

  // The message on screen: its helper (cut, macro, account) and its parse;
  // the parse is none when the message goes to a parser this version lacks.
  SmsParsingHelper* smsParsingHelper() const { return shownHelper_.get(); }
  SmsParsing* smsParsing() const { return shownParse_.get(); }
  // Hands the message on screen over (for keeping several parses at once);
  // the object then shows nothing until the next call of next().
  std::unique_ptr<SmsParsingHelper> takeHelper() { return std::move(shownHelper_); }
  std::unique_ptr<SmsParsing> takeParsing() { return std::move(shownParse_); }

  int smsParsingType = kSmsPasteNone;
  // Messages in the whole batch when it was last read.
  int countSmsMulti = 0;
  int countSms = 0;
  // The batch's texts as they stand (clean-ups applied), without the clipboard's.
  std::vector<std::string> batch;

 private:
  // Shows the first message of what is left: the batch in memory (with the
  // clipboard's text in front) or the clipboard.
  void parseCurrent();
  void checkShownStored();
  std::vector<std::string> readBatch() const;
  void writeBatch();
  void writeClipboard(const std::string& text);
  void clearClipboard();
  void end();

  Ledger& ledger_;
  Clipboard& clipboard_;
  std::shared_ptr<const SmsPasteData> data_;
  std::unique_ptr<SmsParsingHelper> shownHelper_;
  std::unique_ptr<SmsParsing> shownParse_;
  // The batch's first message came from the clipboard.
  bool clipboardFirst_ = false;
  // The cut of the first text of the paste (the clipboard's or the batch's
  // first entry), kept for next() even when the helper was handed over.
  ResultSmsStrCut firstCut_;
};

// The text of a paste after its first message, with one leading "\n" and
// one leading "\r" dropped; empty when the first message is the whole paste.
std::string remainderAfterFirstMessage(const ResultSmsStrCut& cut);

}  // namespace varnel
