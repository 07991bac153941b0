// Ledger-wide settings: one `Etc` record per setting kind (kind 100, the
// message filter texts, has several). Every write stamps the record, keeps
// its text key in step with its kind and reloads the application values.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/base_repository.h"

namespace varnel {

// Setting kinds (`DataType`).
namespace etc_kind {
inline constexpr int kCardAccountingType = -30009;
inline constexpr int kOldTransferOption = -29898;
inline constexpr int kMainCurrencyOld = -25159;
inline constexpr int kStartDay = -23459;
inline constexpr int kShowFullMessage = -12649;
inline constexpr int kPassword = -8457;
inline constexpr int kMoneyColor = -6179;
inline constexpr int kCarryOver = -5457;
inline constexpr int kSmsRemoveText = 100;
inline constexpr int kDbVersion = 273;
inline constexpr int kDefaultPeriodType = 2123;
inline constexpr int kUseInstallment = 2791;
inline constexpr int kSmsUseCopyPaste = 7758;
inline constexpr int kWeekStartDay = 10002;
inline constexpr int kMainTabFirstView = 10003;
inline constexpr int kTimeDisplayOrder = 10004;
inline constexpr int kMonthStartWeekendType = 10008;
inline constexpr int kRepeatReflectType = 10009;
inline constexpr int kShowTxMemoOnDayList = 10011;
inline constexpr int kOldTransferTotal = 10012;
inline constexpr int kOldStartScreen = 10013;
inline constexpr int kMainTabScrollType = 10014;
inline constexpr int kMemoBtnOnDaily = 10016;
inline constexpr int kInputFormOrder = 10017;
inline constexpr int kUseSubCategory = 19810;
inline constexpr int kUseAutoComplete = 23274;
inline constexpr int kInitDbVersion = 20181211;
inline constexpr int kAndroid2192 = 2192000;
inline constexpr int kMigration2192Version = 2192001;
}  // namespace etc_kind

// Marks the second text argument of updateEtcUserSettingByType as `zData`.
struct ZData {
  std::string text;
};

class EtcRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // The text key of a kind ("start_day" for -23459), "" for kinds without one.
  static std::string datayTypeKeyByDataType(int dataType);
  // The kinds that have a text key, with it.
  static const std::map<int, std::string>& keyedKinds();

  // Throws InputError unless `kind` is one a person sets and `value` one it
  // takes: the month start day 1 to 31, the week start 0 to 6, the default
  // period 0, 4, 6 or 8, the weekend rule of the month start 0 to 2, the
  // switches and the money colour 0 or 1, the screen codes (display order,
  // first tab, scrolling, input form order, repeat reflection) whole numbers
  // from 0, and the passcode four digits or "" (none). The ledger's own kinds
  // (data versions, the message filter texts, values of older releases) and
  // unknown kinds are refused.
  static void checkUserSetting(int dataType, const std::string& value);
  // Sets a kind a person sets, after checkUserSetting; the passcode goes
  // through updatePassword. Throws InputError for what checkUserSetting
  // refuses; nothing is then written.
  Status updateUserSetting(int dataType, const std::string& value);

  // The first live record of the kind, or nothing.
  std::optional<Etc> getEtcUserSettingByType(int dataType);
  // Makes the kind single-valued (the newest record stays, the others are
  // deleted), creates it when missing and sets `Data`. Stamped; logs
  // "updateEtc success" or "updateEtc fail <error>". Returns the outcome;
  // on failure nothing is changed.
  Status updateEtcUserSettingByType(int dataType, const std::string& data);
  // Sets `zData` of the first record of the kind when there is one.
  Status updateEtcUserSettingByType(int dataType, const ZData& zData);
  // Always adds a record of the kind (for the multi-record kind 100).
  Status addEtcUserSettingByType(int dataType, const std::string& data,
                               const std::optional<std::string>& zData = std::nullopt);
  // Like updateEtcUserSettingByType but keeps the first record in fetch order
  // and saves without the change stamp.
  Status updateOnlyOneEtc(int dataType, const std::string& data);

  // Live message filter texts (kind 100), in store order.
  std::vector<Etc> listSmsFilter();
  // Adds a message filter text with its language (`zData`, "ko", "pt",
  // "zh_CN" …). Throws InputError for a blank text, a text already among the
  // live filter texts, or a language that is not a code like "ko" or "zh_CN".
  Result<Etc> addSmsFilter(const std::string& text, const std::string& language);
  // Deletes (soft, stamped) the live filter texts whose identifier or text is
  // `textOrUid`, in one transaction, and returns them. Throws InputError when
  // none is.
  Result<std::vector<Etc>> removeSmsFilter(const std::string& textOrUid);

  bool getUseSubCategory();
  Status updateUseSubCategory(bool use);
  // Whether the full message text shows with a parsed transaction (kind
  // -12649 is 1); searches then look into that text too.
  bool getShowFullMessage();

  // Data version of the ledger (kind 273); 0 when missing.
  int getDBVersion();
  // Writes the current data version.
  Status updateDBVersion();
  // Leaves one kind-273 record: the highest version.
  Status checkDBVersion();

  std::string getFistInstallVersion();
  Status updateFistInstallVersion();

  // Sets the passcode; an empty text clears it (`zData` "0").
  Status updatePassword(const std::string& password);

  // Writes the settings of a new ledger, in one transaction. `variant` is the
  // set-up choice: 7 turns the daily memo button on; 6 and 7 also set the
  // device preference "main_tab_add_memo_btn".
  Status saveBasicEtc(int variant);

  // The stamped save of one record. With `isRequestSync` (for an existing
  // record) the change must also be confirmed through the cloud; when the
  // cloud refuses, the upload fails or there is no cloud client, the record
  // is put back as it was and `completion(false)` is called.
  void updateEtc(Etc& record, bool isAdd, bool isRequestSync,
                 const std::function<void(bool ok)>& completion);

  // Every settings record, deleted ones included.
  std::vector<Etc> getListAll();
  std::vector<Etc> getListEtc() { return getListAll(); }

  // Rewrites the values read from the older settings layout (kind → value),
  // then gives every record without an identifier one and every record its
  // text key; saved once.
  Status migration2192(const std::map<int, std::string>& olderValues);
  // Folds the older start-screen kind 10013 into 10003.
  Status startScreenTypeFix();
  // Turns auto-complete on when its record is missing or not 1.
  Status autoCompleteMigration();

 private:
  std::vector<Etc> liveOfKind(int dataType);
  void reload();
};

}  // namespace varnel
