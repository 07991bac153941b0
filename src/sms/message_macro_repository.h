// Message macros: the built-in sender rules (`MessageMacro2` records loaded
// from the bundled list and refreshed from downloaded copies of it) and the
// user macros derived on every use from the accounts' `smsString` texts.
// Owns the macro list format, the longest-first matching order and the merge.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/base_repository.h"

namespace varnel {

// Rule types (`macroType`) of the bundled list: what kind of sender writes
// the messages, so that the parser can pick its rules.
namespace macro_type {
inline constexpr int kUnknown = 0;
inline constexpr int kCard = 1;        // card company: approvals, cancellations
inline constexpr int kBank = 2;        // bank: deposits, withdrawals, transfers
inline constexpr int kSecurities = 3;  // securities firm: cash account movements
inline constexpr int kPayApp = 4;      // payment app or e-money
}  // namespace macro_type

// Device preference keys of the macro refresh.
inline constexpr const char* kPrefLastUpdateMacroVersion = "LastUpdateMacroVersion";
inline constexpr const char* kPrefMacroLastUpdateDate = "MacroLastUpdateDate";
inline constexpr const char* kPrefReloadMessageMacro = "ReloadMessageMacro";

// Message keys shown when a refresh fails.
inline constexpr const char* kMacroRefreshFailKey = "macro_refresh_fail";
inline constexpr const char* kMacroRefreshFailButtonKey = "ok_text";

// Name of the bundled list among the embedded resources.
inline constexpr const char* kMessageMacroResource = "message_macro.xml";

// One record of a macro list ("item" text: uid;sender;rule type;number;
// modification date;in-use flag[;application name[;application package]]),
// every field trimmed. Absent optional fields are empty.
struct MacroListRecord {
  std::string uid;
  std::string senderText;
  int64_t ruleType = 0;
  std::string smsTel;
  std::string modiDate;
  std::string useYN;  // "Y" or "N"
  std::string appName;
  std::string appPackage;
};

// Reads the records of a macro list: the text of every "item" element, in
// document order. Skipped: records with fewer than six fields, records
// whose identifier does not read as a non-zero number (an empty identifier
// would make an anonymous macro; "0" is cleared by the identifier repair),
// and records without a sender text (it would match every message).
// The rule type is read like a leading integer (0 when there is none) and
// held to the 16-bit range of `macroType`; the in-use flag is "N" for "N"/"n"
// and "Y" otherwise. Returns nothing when the text is not well-formed XML.
std::optional<std::vector<MacroListRecord>> parseMacroList(std::string_view xml);
// The same for a list a person hands in: throws InputError naming the fault
// when the text is not UTF-8, not XML or holds no valid record.
std::vector<MacroListRecord> readMacroList(std::string_view xml);

// A macro as the message parser uses it. A user macro has `smsString` and
// `conAsset` only; a built-in macro copied for a match also has its `uid`
// and rule fields.
struct MessageMacroData {
  Text uid;
  std::string smsString;
  int64_t macroType = 0;
  Text smsTel;
  Text appPackage;
  Text appName;
  Text useYN;
  Text modiDate;
  std::optional<Asset> conAsset;
};

// Outcome of matching a message text against the macros.
struct MacroMatch {
  std::optional<MessageMacro2> macro;          // built-in macro, when it won
  std::optional<MessageMacroData> userMacro;   // user macro, when it won
  std::string macroName;
  std::string userMacroName;
  bool found() const { return macro.has_value() || userMacro.has_value(); }
};

// Outcome of merging a list.
struct MacroMergeResult {
  bool saved = false;  // false: nothing was written (logged; the reason in `status`)
  Status status;
  int added = 0;       // identifiers new to the store
  int updated = 0;     // identifiers already stored (live or not)
};

// Outcome of a refresh from a downloaded list.
struct MacroRefreshResult {
  bool ok = false;
  MacroMergeResult merge;
  // On a download or parse failure the key of the message to show (its
  // button reads `kMacroRefreshFailButtonKey`); empty otherwise.
  std::string messageKey;
};

class MessageMacroRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // `isAll` clear: the macros the parser tries, in the order it tries them:
  // every built-in macro in use (`useYN` not "N") with a non-empty sender
  // text, except "제일", longest sender text first (equal lengths in store
  // order). `isAll` set: every built-in macro, in use or not, in store order.
  std::vector<MessageMacro2> listAll(bool isAll);
  // Every built-in macro with a sender text, in use or not (so that a list of
  // them can turn one back on), longest sender text first; without "제일"
  // when `withoutJeil`.
  std::vector<MessageMacro2> listOfUpdate(bool withoutJeil);
  // One user macro per non-empty ";"-separated piece of the `smsString` of
  // every live account (live::isLiveAccount), trimmed of blanks and
  // line breaks, linked to its account; longest text first, then account
  // order, so that the most specific text is tried first.
  std::vector<MessageMacroData> listOfUserCustom();

  // The built-in macro with this identifier (in use or not), or nothing.
  std::optional<MessageMacro2> messageMacro2WithUid(const std::string& uid);
  // The first built-in macro with exactly this sender text; one in use is
  // preferred over one that is off.
  std::optional<MessageMacro2> firstWithMacroAssetName(const std::string& macroAssetName);
  // The first built-in macro with this linked account and sender text; one
  // in use is preferred.
  std::optional<MessageMacro2> firstWithConAssetUid(const std::string& conAssetUid,
                                                    const std::string& macroAssetName);

  // The macros whose sender text occurs in `text`: user macros first, then
  // the built-in macros in `listAll(false)` order. This is the plain
  // occurrence rule; the message pipeline layers its sender-specific
  // exceptions on top of the same order.
  MacroMatch findBySenderText(const std::string& text);

  // Stamps `utime` (and `isSynced` 1 when `isSync`) and saves. Logs
  // "update messageMacro2 update", or "update messageMacro2 update fail …"
  // and leaves the record's stamp as it was. Returns the outcome.
  Status update(MessageMacro2& record, bool isSync);

  // Merges list records into the store in one transaction: a record finds
  // the macro with its identifier (in use or not) or creates it (next
  // `orderSeq`); sender text, rule type, number and modification date come
  // from the list; application name and package only when the list gives
  // them; `utime` is now. The user's linked account is kept, and so is a
  // macro the user turned off: the list can switch a macro off ("N") but
  // never back on. Macros missing from the list stay as they are. A later
  // record with the same identifier overrides an earlier one. Logs
  // "updateList messageMacro update" or "updateList messageMacro update fail
  // …"; a failed save writes nothing.
  MacroMergeResult updateByMacroDataList(const std::vector<MacroListRecord>& records);

  // Merges the bundled list.
  MacroMergeResult saveBasicMessageMacro();
  // Merges the bundled list only when the store holds no macro at all (not
  // even one turned off). Returns whether it wrote the list, or the failure
  // when the list could not be written.
  Result<bool> initMessageMacroSetting();
  // Whether the store holds any macro record.
  bool hasAnyMacro();

  // Merges a list brought in from outside (a refresh or a file the user
  // chose) like updateByMacroDataList; once saved, sets the device
  // preferences "MacroLastUpdateDate" (now, milliseconds) and
  // "ReloadMessageMacro" ("YES") so that the screens reload their macros.
  MacroMergeResult mergeList(const std::vector<MacroListRecord>& records);

  // Whether the automatic refresh is due: the device preference
  // "LastUpdateMacroVersion" differs from the application's short version.
  bool needsVersionRefresh(const std::string& appVersion);
  // Applies a downloaded copy of the hosted list. A text that is not XML or
  // holds no valid record is a failure: nothing is written and the result
  // carries `kMacroRefreshFailKey`. Otherwise the records are merged; once
  // saved, "MacroLastUpdateDate" and "ReloadMessageMacro" are set and
  // "LastUpdateMacroVersion" becomes `appVersion`. The caller then runs the
  // application's sync request like after any other change.
  MacroRefreshResult refreshFromDownloadedList(std::string_view xml,
                                               const std::string& appVersion);
};

}  // namespace varnel
