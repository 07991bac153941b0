#include "sms/sms_paste_cut.h"

#include <optional>

#include "sms/sms_parsing.h"
#include "sms/sms_paste_text.h"
#include "sms/sms_patterns.h"

namespace varnel {

namespace {

using sms::UString;

// What replaces a marker in the working copy of the paste; a sender whose
// name ends its messages leaves a mark of its own, so that the walk over the
// lines knows the message is complete there.
const UString kCut = sms::lit(u"|&|");
const UString kCutTail = sms::lit(u"|&|tail");

// Headers that start a new card message even where no marker stands.
constexpr const char16_t* kMessageHeads[] = {u"[체크.승인]", u"[체크승인]", u"[일시불.승인]",
                                            u"Web발신",     u"[일시불]",   u"[해외승인]"};

// A first message longer than this may end at a card-message header.
constexpr int32_t kHeadedMessageLength = 30;
// A first message, or the rest of the paste after it, shorter than this is
// not a message of its own: the paste is then taken whole.
constexpr int32_t kShortestMessage = 12;
// Two occurrences of a sender name closer than this belong to one message
// (a name repeated in its own message's text).
constexpr int32_t kSameMessageDistance = 15;

std::string withDigits(std::string list, const std::string& prefix) {
  for (char digit = '0'; digit <= '9'; ++digit) list += ":" + prefix + digit;
  return list;
}

bool isShortForm(const std::string& name) {
  static const char* const kSkipped[] = {"롯데", "삼성", "부산", "W", "농협", "카카오뱅크", "우리", "신한"};
  for (const char* skipped : kSkipped) {
    if (name == skipped) return true;
  }
  return false;
}

// The matches of `name` that stand for separate messages: the first one and
// every later one starting at least kSameMessageDistance characters after
// the one counted before it.
int senderOccurrences(const UString& paste, const UString& name) {
  const sms::Pattern pattern(sms::quoted(name));
  int count = 0;
  int32_t lastEnd = -1;
  for (const sms::Span& match : pattern.findAll(paste)) {
    if (count == 0 || match.start - lastEnd >= kSameMessageDistance) {
      ++count;
      lastEnd = match.end;
    }
  }
  return count;
}

// The last resort: a sender name that occurs in the paste more than once
// (far enough apart) marks where each message begins.
ResultSmsStrCut cutBySenderName(const std::string& paste, const PasteSenderNames& senders) {
  ResultSmsStrCut cut;
  std::string name;
  for (const auto& text : senders.userTexts) {
    if (!text.empty() && paste.find(text) != std::string::npos) {
      name = text;
      break;
    }
  }
  if (name.empty()) {
    for (std::string macroName : senders.macroNames) {
      if (macroName.empty() || isShortForm(macroName)) continue;
      // The post office's name also starts other words ("우체국택배"); its
      // messages write it with a blank after it.
      if (macroName == "우체국") macroName += " ";
      if (paste.find(macroName) != std::string::npos) {
        name = macroName;
        break;
      }
    }
  }
  cut.collectCount = 1;
  cut.severalStr = paste;
  if (name.empty()) return cut;
  const UString text = sms::fromUtf8(paste);
  const int count = senderOccurrences(text, sms::fromUtf8(name));
  if (count < 2) return cut;
  const std::vector<UString> lines = paste_text::split(text, u"\n");
  if (lines.size() <= static_cast<size_t>(count) + 2) {
    cut.severalStr = sms::toUtf8(lines[0]);
    cut.collectCount = lines.size() == 1 ? 0 : count;
    return cut;
  }
  const UString uname = sms::fromUtf8(name);
  std::optional<size_t> first, second;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!sms::contains(lines[i], uname)) continue;
    if (!first) {
      first = i;
    } else {
      second = i;
      break;
    }
  }
  if (!second) {
    // Every occurrence on one line: the messages cannot be told apart by
    // lines, and an empty first message would parse to nothing.
    cut.severalStr = paste;
    cut.collectCount = 0;
    return cut;
  }
  UString several;
  for (size_t i = 0; i < *second - *first; ++i) {
    if (i > 0) several.append(u'\n');
    several.append(lines[i]);
  }
  cut.severalStr = sms::toUtf8(several);
  cut.collectCount = count;
  return cut;
}

bool holdsMessageHead(const UString& line) {
  for (const char16_t* head : kMessageHeads) {
    if (sms::contains(line, head)) return true;
  }
  return false;
}

}  // namespace

const std::vector<std::string>& accountMarkerLists() {
  static const std::vector<std::string> kLists = {
      "[동양]0:[동양]1:[동양]2:[동양]3:[동양]4:[동양]5:[동양]6:[동양]7:[동양]8:[동양]9",
      "제일0:제일1:제일2:제일3:제일4:제일5:제일6:제일7:제일8:제일9",
      "[KB]:KB인터넷뱅킹:KB모바일뱅킹:KB01/:KB02/:KB03/:KB04/:KB05/:KB06/:KB07/:KB08/:KB09/:KB10/:KB11/:KB12/"
      ":KB증권CMA",
      "신한01/:신한02/:신한03/:신한04/:신한05/:신한06/:신한07/:신한08/:신한09/:신한10/:신한11/:신한12/:신한 "
      ":신한해외:신한카드:신한법인:신한체크:신한BC:신한smail:신한(",
      withDigits("우리 0:우리 1:우리*:우리은행:우리스마트뱅킹:우리(:우리카드:우리BC:우리투자", "우리"),
      "광주 0:광주 1:광주[",
      withDigits("신협)0:신협)1:신협)2:신협)3:신협)4:신협)5:신협)6:신협)7:신협)8:신협)9", "신협"),
      withDigits("농협0:농협1:농협 ", "농협 "),
      "BC카드:기업BC:SC은행BC",
      withDigits("SC은행", "SC "),
      "Citi 1:Citi 0",
      "KB국민카드:KB국민체크:KB듀얼체크:KB국민비씨:KB카드:KB체크:KB비씨:KBBC",
      "하나,:",
      "하나SK:KEB하나:하나체크카드:하나카드(:구KEB:[KEB]:하나1:하나2:하나3:하나4:하나5:하나6:하나7:하나8:하나9"
      ":하나10:하나취소:[하나카드]",
      "하나(:",
      withDigits(withDigits("삼성카드:삼성법인:삼성체크카드:삼성가족:삼성카드가족", "삼성"), "삼성체크"),
      " 현대카드 :[현대카드:[MY COMPANY]:현대백화점카드:현대법인:현대ZERO:현대카드 ZERO:코스트코현대카드"
      ":현대카드 블루멤버스:현대카드 M2:현대카드Z family:현대카드 the Purple:The Platinum:MY BUSINESS M",
      "외환카드",
      "부산은행:부산0:부산1",
      "씨티BC:씨티카드",
      "NH카드:농협BC:NH체크:NH농협카드:NH농협체크",
      "[NH투자]",
      "제주카드",
      "[한국투자]",
      "[삼성증권]",
      withDigits("롯데카드:롯데 ", "롯데"),
      "기업은행:기업",
      "대구BC",
      "(KDB)",
      "[유안타]",
      "우체국,:우체국 ",
      "현대증권",
      "대우증권:DGB",
      "한화투자",
      "주머니카드",
      "경남 ",
      "HMC투자",
      "갤러리아카드",
      "[카카오뱅크]",
      "AXA)",
      "케이뱅크",
      "SOL알리미",
      "수협01:수협02:수협03:수협04:수협05:수협06:수협07:수협08:수협09:수협10:수협11:수협12",
      "미래에셋증권",
  };
  return kLists;
}

namespace {

// A marker list read once: its markers, and which of them end a message.
struct MarkerList {
  UString text;
  std::vector<UString> markers;
  std::vector<bool> tail;
  bool lotte = false;
};

MarkerList markerList(std::string_view text) {
  MarkerList list;
  list.text = sms::fromUtf8(text);
  for (const UString& marker : paste_text::split(list.text, u":")) {
    if (marker.isEmpty()) continue;
    list.markers.push_back(marker);
    list.tail.push_back(SmsParsing::isSmsTailAssetName(sms::toUtf8(marker)));
  }
  list.lotte = sms::contains(list.text, u"롯데");
  return list;
}

int32_t occurrences(const UString& text, const UString& part) {
  int32_t count = 0;
  for (int32_t at = text.indexOf(part); at >= 0; at = text.indexOf(part, at + part.length())) ++count;
  return count;
}

ResultSmsStrCut cutAt(const MarkerList& list, const UString& original, const std::string& paste) {
  ResultSmsStrCut cut;
  // Replacing a marker never makes another one, so the markers found in the
  // paste as it is bound what the replacements find: fewer than two, no cut.
  int32_t found = 0;
  for (const UString& marker : list.markers) {
    found += occurrences(original, marker);
    if (found >= 2) break;
  }
  if (found < 2) return cut;
  UString marked = original;
  for (size_t i = 0; i < list.markers.size(); ++i) {
    sms::replaceAll(marked, list.markers[i], list.tail[i] ? kCutTail : kCut);
  }
  const size_t pieces = paste_text::split(marked, kCut).size();
  if (pieces < 3) return cut;
  cut.collectCount = static_cast<int>(pieces - 1);

  // The first message is put together from the paste's own lines with the
  // separator they were split at, so that it stays the paste's beginning and
  // the rest can be handed on as it was.
  UString separator = sms::lit(u"\n");
  std::vector<UString> markedLines = paste_text::split(marked, separator);
  if (markedLines.size() == 1) {
    separator = sms::lit(u"\r");
    markedLines = paste_text::split(marked, separator);
  }
  if (markedLines.size() == 1) {
    // One line: split where the list occurs as a whole, which keeps a paste
    // of one-line messages in one piece unless a list of a single marker
    // separates them.
    separator = list.text;
    markedLines = paste_text::split(marked, separator);
  }
  const std::vector<UString> lines = paste_text::split(original, separator);

  const bool lotte = list.lotte;
  UString first;
  int markedSoFar = 0;
  for (size_t i = 0; i < markedLines.size(); ++i) {
    const UString& markedLine = markedLines[i];
    const UString line = i < lines.size() ? lines[i] : UString();
    if (markedLine.isEmpty()) {
      if (i > 0) first.append(separator);
      continue;
    }
    if (sms::contains(markedLine, kCut)) ++markedSoFar;
    if (i == 0) {
      first = line;
    } else {
      if (markedSoFar > 1) break;
      if (holdsMessageHead(markedLine) && first.length() > kHeadedMessageLength) break;
      first.append(separator).append(line);
    }
    if (sms::contains(markedLine, kCutTail) && markedSoFar > 0) break;
    // A Lotte card message ends with its running total.
    if (lotte && sms::contains(markedLine, u"누적")) break;
  }

  cut.isCut = true;
  UString rest = original;
  if (!first.isEmpty()) sms::replaceAll(rest, first, UString());
  sms::removeAll(rest, u"\n");
  sms::removeAll(rest, u"\r");
  rest = sms::trimmed(rest);
  if (rest.length() < kShortestMessage || first.length() < kShortestMessage) {
    cut.severalStr = paste;
    cut.collectCount = 0;
  } else {
    cut.severalStr = sms::toUtf8(first);
  }
  return cut;
}

}  // namespace

ResultSmsStrCut checkSMSpasteStr(std::string_view markers, const std::string& paste) {
  return cutAt(markerList(markers), sms::fromUtf8(paste), paste);
}

ResultSmsStrCut collectPasteAnalySis(const std::string& paste, const PasteSenderNames& senders) {
  static const MarkerList kWeb = markerList("Web발신");
  static const MarkerList kKind = markerList("[입금]:[출금]");
  static const std::vector<MarkerList> kAccounts = [] {
    std::vector<MarkerList> lists;
    for (const std::string& list : accountMarkerLists()) lists.push_back(markerList(list));
    return lists;
  }();
  const UString text = sms::fromUtf8(paste);
  const ResultSmsStrCut web = cutAt(kWeb, text, paste);
  ResultSmsStrCut account;
  for (const MarkerList& list : kAccounts) {
    account = cutAt(list, text, paste);
    if (account.isCut) break;
  }
  if (web.isCut && account.isCut) return web.collectCount < account.collectCount ? account : web;
  if (web.isCut) return web;
  if (account.isCut) return account;
  ResultSmsStrCut kind = cutAt(kKind, text, paste);
  if (kind.isCut) return kind;
  return cutBySenderName(paste, senders);
}

}  // namespace varnel
