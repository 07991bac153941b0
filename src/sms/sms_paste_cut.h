// Splitting a paste that holds several bank or card messages: the marker
// lists that tell where a message starts (the Web-sender header, the senders'
// own prefixes, the deposit/withdrawal tags) and, failing those, the sender
// names of the macros. Only the first message is cut out; the rest of the
// paste is handed back later, one message at a time (sms_parsing_multi.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// The outcome of splitting a paste.
struct ResultSmsStrCut {
  // A marker list recognised the paste as several messages.
  bool isCut = false;
  // The paste after the bank-specific clean-ups.
  std::string pasteStr;
  // The paste exactly as received.
  std::string orgPasteStr;
  // The first message of the paste: the text that is parsed.
  std::string severalStr;
  // Messages found: 0 when splitting was given up, 1 for one message.
  int collectCount = 0;
  // A bank-specific clean-up changed the text.
  bool isException = false;
};

// The sender texts the last resort of the split looks for: the user macros'
// texts first, then the built-in macros' names, each in the order tried.
struct PasteSenderNames {
  std::vector<std::string> userTexts;
  std::vector<std::string> macroNames;
};

// The account marker lists, in the order they are tried, each as one text
// with ":" between markers (a list of senders whose messages start with a
// numbered prefix carries the ten forms "우리0" … "우리9").
const std::vector<std::string>& accountMarkerLists();

// Splits `paste` at the markers of `markerList` (":"-separated). Fewer than
// two markers found: `isCut` false and nothing else set. Otherwise `isCut` is
// true, `collectCount` the number of markers and `severalStr` the first
// message, or, when that message or what follows it is shorter than 12
// characters, the whole paste with `collectCount` 0.
ResultSmsStrCut checkSMSpasteStr(std::string_view markerList, const std::string& paste);

// Splits a paste: by the Web-sender header and by the account marker lists
// (the one that finds more messages wins), else by the deposit/withdrawal
// tags, else by how often a sender name of `senders` occurs. Sets `isCut`,
// `severalStr` and `collectCount`; the caller fills in the other fields.
ResultSmsStrCut collectPasteAnalySis(const std::string& paste, const PasteSenderNames& senders);

}  // namespace varnel
