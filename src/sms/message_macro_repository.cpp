#include "sms/message_macro_repository.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include <pugixml.hpp>
#include <spdlog/spdlog.h>

#include "model/text.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "model/resources.h"

namespace varnel {

namespace {

// The sender text the parser never tries: the short form of a bank name that
// also occurs in ordinary words of Korean messages.
constexpr const char* kJeil = "제일";

// A macro is off when `useYN` is "N"; null counts as in use.
constexpr const char* kInUse = "(ZUSEYN IS NULL OR ZUSEYN != 'N')";
constexpr const char* kNamed = "ZMACROASSETNAME IS NOT NULL AND ZMACROASSETNAME != ''";
constexpr const char* kLongestFirst = " ORDER BY LENGTH(ZMACROASSETNAME) DESC, Z_PK";

// Reads a leading integer the way list files have always been read: an
// optional sign and digits, anything after them ignored, 0 without digits.
// The value is held to [low, high].
int64_t leadingInteger(std::string_view s, int64_t low, int64_t high) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  int64_t value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > high - low) break;  // already past either bound
  }
  if (negative) value = -value;
  return std::clamp(value, low, high);
}

bool readsAsZero(std::string_view s) {
  return leadingInteger(s, -1, 1) == 0;
}

// Characters, not bytes, so that Korean and Latin names compare fairly.
size_t characterCount(const std::string& s) {
  return static_cast<size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

void collectItems(const pugi::xml_node& node, std::vector<std::string>& out) {
  for (auto child : node.children()) {
    if (child.type() != pugi::node_element) continue;
    if (std::string_view(child.name()) == "item") out.emplace_back(child.text().get());
    collectItems(child, out);
  }
}

std::vector<MacroListRecord> recordsOf(const pugi::xml_document& doc) {
  std::vector<std::string> items;
  collectItems(doc, items);
  std::vector<MacroListRecord> records;
  for (const auto& item : items) {
    const auto fields = splitFields(trimmed(item));
    if (fields.size() < 6) continue;
    MacroListRecord r;
    r.uid = trimmed(fields[0]);
    r.senderText = trimmed(fields[1]);
    if (readsAsZero(r.uid) || r.senderText.empty()) continue;
    r.ruleType = leadingInteger(trimmed(fields[2]), INT16_MIN, INT16_MAX);
    r.smsTel = trimmed(fields[3]);
    r.modiDate = trimmed(fields[4]);
    const std::string flag = trimmed(fields[5]);
    r.useYN = (flag == "N" || flag == "n") ? "N" : "Y";
    if (fields.size() > 6) r.appName = trimmed(fields[6]);
    if (fields.size() > 7) r.appPackage = trimmed(fields[7]);
    records.push_back(std::move(r));
  }
  return records;
}

}  // namespace

std::optional<std::vector<MacroListRecord>> parseMacroList(std::string_view xml) {
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size())) return std::nullopt;
  return recordsOf(doc);
}

std::vector<MacroListRecord> readMacroList(std::string_view xml) {
  // The XML reader passes any bytes through, and names that are not UTF-8
  // would break every listing of the macros.
  if (!isValidUtf8(xml)) throw InputError("the macro list is not valid UTF-8");
  pugi::xml_document doc;
  const auto parsed = doc.load_buffer(xml.data(), xml.size());
  if (!parsed) {
    throw InputError(std::string("not a well-formed XML macro list (") + parsed.description() +
                     " at byte " + std::to_string(parsed.offset) + ")");
  }
  auto records = recordsOf(doc);
  if (records.empty()) {
    throw InputError(
        "the macro list holds no valid record (uid;sender;type;number;date;in-use flag)");
  }
  return records;
}

std::vector<MessageMacro2> MessageMacroRepository::listAll(bool isAll) {
  if (isAll) return fetch<MessageMacro2>(" ORDER BY Z_PK");
  return fetch<MessageMacro2>(std::string(" WHERE ") + kInUse + " AND " + kNamed +
                                  " AND ZMACROASSETNAME != ?" + kLongestFirst,
                              std::string(kJeil));
}

std::vector<MessageMacro2> MessageMacroRepository::listOfUpdate(bool withoutJeil) {
  if (withoutJeil) {
    return fetch<MessageMacro2>(std::string(" WHERE ") + kNamed + " AND ZMACROASSETNAME != ?" +
                                    kLongestFirst,
                                std::string(kJeil));
  }
  return fetch<MessageMacro2>(std::string(" WHERE ") + kNamed + kLongestFirst);
}

std::vector<MessageMacroData> MessageMacroRepository::listOfUserCustom() {
  std::vector<MessageMacroData> out;
  forEach<Asset>(
      " WHERE ZSMSSTRING IS NOT NULL AND ZSMSSTRING != '' AND " + live::accountSql() + " ORDER BY ZORDER, Z_PK",
      [&](const Asset& asset) {
        for (const auto& piece : splitFields(*asset.smsString)) {
          std::string text = trimmed(piece);
          if (text.empty()) continue;
          MessageMacroData data;
          data.smsString = std::move(text);
          data.conAsset = asset;
          out.push_back(std::move(data));
        }
      });
  std::stable_sort(out.begin(), out.end(), [](const MessageMacroData& a, const MessageMacroData& b) {
    return characterCount(a.smsString) > characterCount(b.smsString);
  });
  return out;
}

std::optional<MessageMacro2> MessageMacroRepository::messageMacro2WithUid(const std::string& uid) {
  return dataByUid<MessageMacro2>(uid);
}

std::optional<MessageMacro2> MessageMacroRepository::firstWithMacroAssetName(
    const std::string& macroAssetName) {
  return getFirst(fetch<MessageMacro2>(
      " WHERE ZMACROASSETNAME = ? ORDER BY (ZUSEYN IS NOT NULL AND ZUSEYN = 'N'), Z_PK LIMIT 1",
      macroAssetName));
}

std::optional<MessageMacro2> MessageMacroRepository::firstWithConAssetUid(
    const std::string& conAssetUid, const std::string& macroAssetName) {
  return getFirst(fetch<MessageMacro2>(
      " WHERE ZCONASSETUID = ? AND ZMACROASSETNAME = ?"
      " ORDER BY (ZUSEYN IS NOT NULL AND ZUSEYN = 'N'), Z_PK LIMIT 1",
      conAssetUid, macroAssetName));
}

MacroMatch MessageMacroRepository::findBySenderText(const std::string& text) {
  // Messages arrive with their line layout; a sender text split over two
  // lines must still match.
  std::string message = text;
  for (char& c : message) {
    if (c == '\n' || c == '\r' || c == '\t' || c == '\b') c = ' ';
  }
  MacroMatch match;
  for (auto& user : listOfUserCustom()) {
    if (message.find(user.smsString) != std::string::npos) {
      match.userMacroName = user.smsString;
      match.userMacro = std::move(user);
      return match;
    }
  }
  for (auto& macro : listAll(false)) {
    if (message.find(*macro.macroAssetName) != std::string::npos) {
      match.macroName = *macro.macroAssetName;
      match.macro = std::move(macro);
      return match;
    }
  }
  return match;
}

Status MessageMacroRepository::update(MessageMacro2& record, bool isSync) {
  const MessageMacro2 before = record;
  record.utime = nowMs();
  if (isSync) record.isSynced = 1;
  Status saved = save(record, "update messageMacro2 update");
  if (!saved) {
    record.utime = before.utime;
    record.isSynced = before.isSynced;
    return saved;
  }
  log().info("update messageMacro2 update");
  return saved;
}

MacroMergeResult MessageMacroRepository::updateByMacroDataList(
    const std::vector<MacroListRecord>& records) {
  struct Pending {
    MessageMacro2 macro;
    bool stored;  // the identifier was in the store before this merge
  };
  MacroMergeResult result;
  std::vector<Pending> batch;
  std::unordered_map<std::string, size_t> byUid;
  int64_t nextOrder = nextAvailble<MessageMacro2>("orderSeq");
  const int64_t now = nowMs();
  for (const auto& r : records) {
    auto it = byUid.find(r.uid);
    if (it == byUid.end()) {
      if (auto stored = dataByUid<MessageMacro2>(r.uid)) {
        batch.push_back({std::move(*stored), true});
        ++result.updated;
      } else {
        MessageMacro2 created = newObjectForEntity<MessageMacro2>(r.uid);
        created.orderSeq = nextOrder++;
        batch.push_back({std::move(created), false});
        ++result.added;
      }
      it = byUid.emplace(r.uid, batch.size() - 1).first;
    }
    Pending& pending = batch[it->second];
    MessageMacro2& m = pending.macro;
    m.macroAssetName = r.senderText;
    m.macroType = r.ruleType;
    m.smsTel = r.smsTel;
    m.modiDate = r.modiDate;
    // A macro the user switched off stays off: the list may retire a macro
    // but must not undo the user's choice.
    if (!pending.stored || r.useYN == "N" || !m.useYN) m.useYN = r.useYN;
    if (!r.appName.empty()) m.appName = r.appName;
    if (!r.appPackage.empty()) m.appPackage = r.appPackage;
    m.utime = now;
  }
  std::vector<MessageMacro2> macros;
  macros.reserve(batch.size());
  for (auto& p : batch) macros.push_back(std::move(p.macro));
  result.status = saveAll(macros, "updateList messageMacro update", false);
  if (!result.status) return {false, result.status, 0, 0};
  log().info("updateList messageMacro update");
  result.saved = true;
  return result;
}

MacroMergeResult MessageMacroRepository::saveBasicMessageMacro() {
  const auto text = resource(kMessageMacroResource);
  const auto records = text ? parseMacroList(*text) : std::nullopt;
  if (!records) {
    log().error("updateList messageMacro update fail {}", "the bundled macro list cannot be read");
    return {false, Status::systemFailure("the bundled macro list cannot be read"), 0, 0};
  }
  return updateByMacroDataList(*records);
}

bool MessageMacroRepository::hasAnyMacro() {
  return !fetch<MessageMacro2>(" LIMIT 1").empty();
}

Result<bool> MessageMacroRepository::initMessageMacroSetting() {
  if (hasAnyMacro()) return false;
  const MacroMergeResult merged = saveBasicMessageMacro();
  if (!merged.status) return merged.status;
  return true;
}

MacroMergeResult MessageMacroRepository::mergeList(const std::vector<MacroListRecord>& records) {
  MacroMergeResult result = updateByMacroDataList(records);
  if (result.saved) {
    auto& prefs = ledger_.preferences();
    prefs.setString(kPrefMacroLastUpdateDate, std::to_string(nowMs()));
    prefs.setString(kPrefReloadMessageMacro, "YES");
  }
  return result;
}

bool MessageMacroRepository::needsVersionRefresh(const std::string& appVersion) {
  return ledger_.preferences().getString(kPrefLastUpdateMacroVersion) != appVersion;
}

MacroRefreshResult MessageMacroRepository::refreshFromDownloadedList(std::string_view xml,
                                                                     const std::string& appVersion) {
  MacroRefreshResult result;
  const auto records = parseMacroList(xml);
  if (!records || records->empty()) {
    log().error("macro list refresh: the downloaded list cannot be read");
    result.messageKey = kMacroRefreshFailKey;
    return result;
  }
  result.merge = mergeList(*records);
  result.ok = result.merge.saved;
  if (result.ok) ledger_.preferences().setString(kPrefLastUpdateMacroVersion, appVersion);
  return result;
}

}  // namespace varnel
