#include "model/etc_repository.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <regex>

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <spdlog/spdlog.h>

#include "model/common_data.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "model/number_input.h"

namespace varnel {

namespace {

int toInt(const Text& text) {
  if (!text) return 0;
  int value = 0;
  const char* begin = text->data();
  std::from_chars(begin, begin + text->size(), value);
  return value;
}

// The eleven message filter texts of a new ledger: (language, text).
const std::vector<std::pair<std::string, std::string>>& basicSmsFilters() {
  static const std::vector<std::pair<std::string, std::string>> kFilters = {
      {"pt", "Informa:"},
      {"pt", "Pagamento com cartão de débito"},
      {"pt", "Pagamento com boleto"},
      {"pt", "Transferencia entre contas"},
      {"zh_CN", "的账户于"},
      {"zh_CN", "的卡于"},
      {"zh_CN", "您尾号"},
      {"ko", "승인"},
      {"ko", "감사합니다"},
      {"ko", "내역"},
      {"ko", "사용"},
  };
  return kFilters;
}

// The kinds a person sets, with the values each takes.
struct SettableKind {
  int kind;
  int64_t low, high;
  std::vector<int64_t> only = {};  // when given, the accepted values
};

// Screen codes whose meaning belongs to the screens; any whole number from 0
// up to this is kept.
constexpr int64_t kMaxScreenCode = 1000000;

const std::vector<SettableKind>& settableKinds() {
  using namespace etc_kind;
  static const std::vector<SettableKind> kKinds = {
      {kStartDay, 1, 31},
      {kWeekStartDay, 0, 6},
      {kDefaultPeriodType, 0, 8, {0, 4, 6, 8}},  // calendar month, all time, month from the start day, week
      {kMonthStartWeekendType, 0, 2},  // 0 leaves a month start on a weekend, 1 moves it back, 2 on
      {kTimeDisplayOrder, 0, kMaxScreenCode},
      {kRepeatReflectType, 0, kMaxScreenCode},
      {kMainTabFirstView, 0, kMaxScreenCode},
      {kMainTabScrollType, 0, kMaxScreenCode},
      {kInputFormOrder, 0, kMaxScreenCode},
      {kMoneyColor, 0, 1},  // 0 expenses in red, 1 in blue
      {kCardAccountingType, 0, 1},
      {kCarryOver, 0, 1},
      {kUseInstallment, 0, 1},
      {kSmsUseCopyPaste, 0, 1},
      {kShowTxMemoOnDayList, 0, 1},
      {kMemoBtnOnDaily, 0, 1},
      {kUseSubCategory, 0, 1},
      {kUseAutoComplete, 0, 1},
      {kShowFullMessage, 0, 1},
  };
  return kKinds;
}

}  // namespace

void EtcRepository::checkUserSetting(int dataType, const std::string& value) {
  using namespace etc_kind;
  if (dataType == kSmsRemoveText) {
    throw InputError("kind 100 holds several message filter texts; change them with their own operations");
  }
  if (dataType == kPassword) {
    static const std::regex kPasscode("[0-9]{4}");
    if (!value.empty() && !std::regex_match(value, kPasscode)) {
      throw InputError("the passcode (kind -8457) must be four digits, or \"\" for none");
    }
    return;
  }
  const auto& kinds = settableKinds();
  const auto it = std::find_if(kinds.begin(), kinds.end(), [dataType](const SettableKind& k) { return k.kind == dataType; });
  if (it == kinds.end()) {
    if (keyedKinds().count(dataType) > 0 || dataType == kMainCurrencyOld || dataType == kOldTransferOption ||
        dataType == kOldTransferTotal || dataType == kOldStartScreen || dataType == kAndroid2192 ||
        dataType == kMigration2192Version) {
      throw InputError(fmt::format("kind {} is kept by the ledger itself; it cannot be set", dataType));
    }
    throw InputError(fmt::format("kind {} is not a setting kind", dataType));
  }
  const std::string what = fmt::format("the value of kind {}", dataType);
  const int64_t v = parseIntegerText(value, what, it->low, it->high);
  if (!it->only.empty() && std::find(it->only.begin(), it->only.end(), v) == it->only.end()) {
    throw InputError(fmt::format("{} must be one of {}: '{}'", what, fmt::join(it->only, ", "), value));
  }
}

Status EtcRepository::updateUserSetting(int dataType, const std::string& value) {
  checkUserSetting(dataType, value);
  if (dataType == etc_kind::kPassword) return updatePassword(value);
  // Kept in the plain form ("01" as "1"): some readers compare the text
  // itself, and carry-over "01" would read as off.
  const int64_t number =
      parseIntegerText(value, "the value", std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
  return updateEtcUserSettingByType(dataType, std::to_string(number));
}

const std::map<int, std::string>& EtcRepository::keyedKinds() {
  using namespace etc_kind;
  static const std::map<int, std::string> kKeys = {
      {kCardAccountingType, "card_accounting_type"},
      {kStartDay, "start_day"},
      {kMoneyColor, "money_color"},
      {kCarryOver, "carry_over"},
      {kSmsRemoveText, "sms_remove_text"},
      {kDbVersion, "ios_db_version"},
      {kDefaultPeriodType, "default_period_type"},
      {kUseInstallment, "use_installment"},
      {kSmsUseCopyPaste, "sms_use_copy_paste"},
      {kWeekStartDay, "week_start_day"},
      {kMainTabFirstView, "main_tab_first_view"},
      {kTimeDisplayOrder, "time_display_order"},
      {kMonthStartWeekendType, "month_start_weekend_type"},
      {kRepeatReflectType, "repeat_reflect_type"},
      {kShowTxMemoOnDayList, "show_tx_memo_on_day_list"},
      {kMainTabScrollType, "main_tab_scroll_type"},
      {kMemoBtnOnDaily, "memo_btn_on_daily"},
      {kInputFormOrder, "input_form_order"},
      {kUseSubCategory, "use_sub_category"},
      {kUseAutoComplete, "use_auto_complete"},
      {kInitDbVersion, "init_db_version"},
  };
  return kKeys;
}

std::string EtcRepository::datayTypeKeyByDataType(int dataType) {
  auto it = keyedKinds().find(dataType);
  return it == keyedKinds().end() ? std::string() : it->second;
}

std::vector<Etc> EtcRepository::liveOfKind(int dataType) {
  return fetch<Etc>(" WHERE ZDATATYPE = ? AND " + live::recordSql() + " ORDER BY Z_PK", dataType);
}

void EtcRepository::reload() { ledger_.commonData().ReloadAppDataEtc(); }

std::optional<Etc> EtcRepository::getEtcUserSettingByType(int dataType) {
  return getFirst(
      fetch<Etc>(" WHERE ZDATATYPE = ? AND " + live::recordSql() + " ORDER BY Z_PK LIMIT 1",
                 dataType));
}

Status EtcRepository::updateEtcUserSettingByType(int dataType, const std::string& data) {
  Status ok = inTransaction([&]() -> Status {
    std::vector<Etc> records = liveOfKind(dataType);
    Etc keep;
    if (records.empty()) {
      keep = newObjectForEntity<Etc>();
      keep.DataType = dataType;
      keep.isDel = 0;
    } else {
      auto newest = std::max_element(records.begin(), records.end(), [](const Etc& a, const Etc& b) {
        return a.utime.value_or(0) < b.utime.value_or(0);
      });
      keep = *newest;
      for (auto& r : records) {
        if (r.pk != keep.pk) VARNEL_RETURN_IF_ERROR(deleteRecord(r, "updateEtc"));
      }
    }
    keep.Data = data;
    keep.datayTypeKey = datayTypeKeyByDataType(dataType);
    return saveStamped(keep, "updateEtc");
  }, "updateEtc");
  if (ok) log().info("updateEtc success");
  reload();
  return ok;
}

Status EtcRepository::updateEtcUserSettingByType(int dataType, const ZData& zData) {
  auto record = getEtcUserSettingByType(dataType);
  if (!record) return Status::notFound("no setting of kind " + std::to_string(dataType));
  record->zData = zData.text;
  record->datayTypeKey = datayTypeKeyByDataType(dataType);
  Status ok = saveStamped(*record, "updateEtc");
  reload();
  return ok;
}

Status EtcRepository::addEtcUserSettingByType(int dataType, const std::string& data,
                                            const std::optional<std::string>& zData) {
  Etc record = newObjectForEntity<Etc>();
  record.DataType = dataType;
  record.Data = data;
  record.zData = zData;
  record.isDel = 0;
  record.datayTypeKey = datayTypeKeyByDataType(dataType);
  Status ok = saveStamped(record, "updateEtc");
  reload();
  return ok;
}

Status EtcRepository::updateOnlyOneEtc(int dataType, const std::string& data) {
  Status ok = inTransaction([&]() -> Status {
    std::vector<Etc> records = liveOfKind(dataType);
    Etc keep;
    if (records.empty()) {
      keep = newObjectForEntity<Etc>();
      keep.DataType = dataType;
      keep.isDel = 0;
    } else {
      keep = records.front();
      for (size_t i = 1; i < records.size(); ++i) {
        assignNumber(records[i].isDel, 1);
        VARNEL_RETURN_IF_ERROR(save(records[i], "updateEtc"));
      }
    }
    keep.Data = data;
    keep.datayTypeKey = datayTypeKeyByDataType(dataType);
    return save(keep, "updateEtc");
  }, "updateEtc");
  reload();
  return ok;
}

std::vector<Etc> EtcRepository::listSmsFilter() { return liveOfKind(etc_kind::kSmsRemoveText); }

Result<Etc> EtcRepository::addSmsFilter(const std::string& text, const std::string& language) {
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) throw InputError("a filter text must not be blank");
  static const std::regex kLanguage("[a-z]{2,3}(_[A-Z]{2})?");
  if (!std::regex_match(language, kLanguage)) {
    throw InputError("a language is a code like ko, en or zh_CN: '" + language + "'");
  }
  for (const Etc& r : listSmsFilter()) {
    if (r.Data == text) throw InputError("'" + text + "' is already a filter text");
  }
  Etc record = newObjectForEntity<Etc>();
  record.DataType = etc_kind::kSmsRemoveText;
  record.Data = text;
  record.zData = language;
  record.isDel = 0;
  record.datayTypeKey = datayTypeKeyByDataType(etc_kind::kSmsRemoveText);
  Status ok = saveStamped(record, "updateEtc");
  reload();
  if (!ok) return ok;
  return record;
}

Result<std::vector<Etc>> EtcRepository::removeSmsFilter(const std::string& textOrUid) {
  std::vector<Etc> gone;
  for (Etc& r : listSmsFilter()) {
    if (r.uid == textOrUid || r.Data == textOrUid) gone.push_back(std::move(r));
  }
  if (gone.empty()) throw InputError("no filter text is '" + textOrUid + "'");
  for (Etc& r : gone) assignNumber(r.isDel, 1);
  Status ok = saveAll(gone, "updateEtc", true);
  reload();
  if (!ok) return ok;
  return gone;
}

bool EtcRepository::getUseSubCategory() {
  auto record = getEtcUserSettingByType(etc_kind::kUseSubCategory);
  return record && toInt(record->Data) == 1;
}

bool EtcRepository::getShowFullMessage() {
  auto record = getEtcUserSettingByType(etc_kind::kShowFullMessage);
  return record && toInt(record->Data) == 1;
}

Status EtcRepository::updateUseSubCategory(bool use) {
  return updateEtcUserSettingByType(etc_kind::kUseSubCategory, use ? "1" : "0");
}

int EtcRepository::getDBVersion() {
  auto record = getEtcUserSettingByType(etc_kind::kDbVersion);
  return record ? toInt(record->Data) : 0;
}

Status EtcRepository::updateDBVersion() {
  return updateEtcUserSettingByType(etc_kind::kDbVersion, std::to_string(kCurrentDataVersion));
}

Status EtcRepository::checkDBVersion() {
  std::vector<Etc> records = liveOfKind(etc_kind::kDbVersion);
  if (records.size() < 2) return Status::ok();
  // Keeping the highest version: keeping an older one would run migrations
  // again over data they already converted.
  std::stable_sort(records.begin(), records.end(),
                   [](const Etc& a, const Etc& b) { return toInt(a.Data) > toInt(b.Data); });
  std::vector<Etc> extra(records.begin() + 1, records.end());
  for (auto& r : extra) assignNumber(r.isDel, 1);
  Status ok = saveAll(extra, "updateEtc", true);
  reload();
  return ok;
}

std::string EtcRepository::getFistInstallVersion() {
  auto record = getEtcUserSettingByType(etc_kind::kInitDbVersion);
  return record && record->Data ? *record->Data : std::string();
}

Status EtcRepository::updateFistInstallVersion() {
  return updateEtcUserSettingByType(etc_kind::kInitDbVersion, VARNEL_VERSION);
}

Status EtcRepository::updatePassword(const std::string& password) {
  return inTransaction([&]() -> Status {
    VARNEL_RETURN_IF_ERROR(updateEtcUserSettingByType(etc_kind::kPassword, password));
    if (password.empty()) return updateEtcUserSettingByType(etc_kind::kPassword, ZData{"0"});
    return Status::ok();
  }, "updateEtc");
}

Status EtcRepository::saveBasicEtc(int variant) {
  using namespace etc_kind;
  const std::string& language = ledger_.env().language();
  const bool installments =
      language == "ko" || language == "ja" || language == "pt" || language == "zh_CN";
  const std::vector<std::pair<int, std::string>> values = {
      {kCardAccountingType, "0"},
      {kStartDay, "1"},
      {kMoneyColor, "0"},
      {kCarryOver, "0"},
      {kShowFullMessage, "0"},
      {kDefaultPeriodType, "6"},
      {kUseInstallment, installments ? "1" : "0"},
      {kSmsUseCopyPaste, language == "ko" ? "1" : "0"},
      {kWeekStartDay, "0"},
      {kMainTabFirstView, "0"},
      {kTimeDisplayOrder, "5"},
      {kMonthStartWeekendType, "0"},
      {kRepeatReflectType, "0"},
      {kShowTxMemoOnDayList, "0"},
      {kMainTabScrollType, "1"},
      {kMemoBtnOnDaily, variant == 7 ? "1" : "0"},
      {kInputFormOrder, "1"},
      {kUseSubCategory, "0"},
      {kUseAutoComplete, "1"},
      {kDbVersion, std::to_string(kCurrentDataVersion)},
      {kInitDbVersion, VARNEL_VERSION},
  };
  std::vector<Etc> records;
  for (const auto& [kind, value] : values) {
    Etc r = newObjectForEntity<Etc>();
    r.DataType = kind;
    r.Data = value;
    r.isDel = 0;
    r.datayTypeKey = datayTypeKeyByDataType(kind);
    records.push_back(std::move(r));
  }
  if (liveOfKind(kSmsRemoveText).empty()) {
    for (const auto& [lang, text] : basicSmsFilters()) {
      Etc r = newObjectForEntity<Etc>();
      r.DataType = kSmsRemoveText;
      r.Data = text;
      r.zData = lang;
      r.isDel = 0;
      r.datayTypeKey = datayTypeKeyByDataType(kSmsRemoveText);
      records.push_back(std::move(r));
    }
  }
  Status ok = inTransaction([&]() -> Status {
    // A kind that already has a record keeps it (single-valued kinds only).
    std::vector<Etc> missing;
    for (auto& r : records) {
      if (*r.DataType == kSmsRemoveText || liveOfKind(static_cast<int>(*r.DataType)).empty()) {
        missing.push_back(std::move(r));
      }
    }
    return saveAll(missing, "updateEtc", true);
  }, "updateEtc");
  if (ok && (variant == 6 || variant == 7)) {
    ledger_.preferences().setString("main_tab_add_memo_btn", variant == 7 ? "show" : "none");
  }
  reload();
  return ok;
}

void EtcRepository::updateEtc(Etc& record, bool isAdd, bool isRequestSync,
                              const std::function<void(bool ok)>& completion) {
  if (isAdd) record.isDel = 0;
  if (record.DataType) record.datayTypeKey = datayTypeKeyByDataType(static_cast<int>(*record.DataType));
  if (!isRequestSync || isAdd) {
    const bool ok = saveStamped(record, "updateEtc").isOk();
    reload();
    if (completion) completion(ok);
    return;
  }
  // The change is undone unless the cloud confirms it: keep the stored copy.
  std::optional<Etc> stored = record.pk ? dataByUid<Etc>(record.uid.value_or("")) : std::nullopt;
  auto undo = [this, stored, &record]() {
    if (stored) {
      record = *stored;
      // A failed undo is logged by the save; the completion reports failure
      // either way.
      (void)save(record, "updateEtc");
    }
    reload();
  };
  if (!saveStamped(record, "updateEtc")) {
    reload();
    if (completion) completion(false);
    return;
  }
  CloudSyncRequester* cloud = ledger_.cloudSync();
  if (!cloud) {
    undo();
    if (completion) completion(false);
    return;
  }
  cloud->requestSyncAndUpload([this, undo, completion](bool ok) {
    if (!ok) undo();
    else reload();
    if (completion) completion(ok);
  });
}

std::vector<Etc> EtcRepository::getListAll() { return fetch<Etc>(" ORDER BY Z_PK"); }

Status EtcRepository::migration2192(const std::map<int, std::string>& olderValues) {
  using namespace etc_kind;
  static const int kKinds[] = {kCardAccountingType, kOldTransferOption, kStartDay,
                               kShowFullMessage,    kPassword,          kMoneyColor,
                               kCarryOver,          kDbVersion,         kDefaultPeriodType,
                               kWeekStartDay,       kTimeDisplayOrder,  kUseAutoComplete};
  Status ok = inTransaction([&]() -> Status {
    for (int kind : kKinds) {
      auto it = olderValues.find(kind);
      if (it != olderValues.end()) VARNEL_RETURN_IF_ERROR(updateOnlyOneEtc(kind, it->second));
    }
    std::vector<Etc> all = getListAll();
    for (auto& r : all) {
      if (!r.uid || r.uid->empty()) r.uid = newUid();
      r.datayTypeKey = datayTypeKeyByDataType(static_cast<int>(r.DataType.value_or(0)));
    }
    return saveAll(all, "updateEtc", false);
  }, "updateEtc");
  reload();
  return ok;
}

Status EtcRepository::startScreenTypeFix() {
  std::vector<Etc> records = liveOfKind(etc_kind::kOldStartScreen);
  if (records.empty()) return Status::ok();
  records.front().DataType = etc_kind::kMainTabFirstView;
  records.front().datayTypeKey = datayTypeKeyByDataType(etc_kind::kMainTabFirstView);
  for (size_t i = 1; i < records.size(); ++i) assignNumber(records[i].isDel, 1);
  Status ok = saveAll(records, "updateEtc", true);
  reload();
  return ok;
}

Status EtcRepository::autoCompleteMigration() {
  auto record = getEtcUserSettingByType(etc_kind::kUseAutoComplete);
  if (record && toInt(record->Data) == 1) return Status::ok();
  return updateEtcUserSettingByType(etc_kind::kUseAutoComplete, "1");
}

}  // namespace varnel
