// `varnel init`, `varnel settings …`.
#include <algorithm>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "app/cli.h"
#include "app/record_json.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "model/period.h"
#include "setup/initial_data.h"

namespace varnel::cli {

namespace {

// Kinds are stored as 32-bit numbers.
constexpr long long kMinKind = -2147483648LL;
constexpr long long kMaxKind = 2147483647LL;

// The kinds a person sets, with the values each accepts. The other kinds
// the ledger knows are its own bookkeeping (data versions, the passcode, the
// message filter list, values of older releases) and change only through
// their own operations.
struct SettableKind {
  int kind;
  long long low, high;
  std::vector<long long> only = {};  // when given, the accepted values
};

const std::vector<SettableKind>& settableKinds() {
  using namespace etc_kind;
  static const std::vector<SettableKind> kKinds = {
      {kStartDay, 1, 31},
      {kWeekStartDay, 0, 6},
      {kDefaultPeriodType, 0, 8,
       {dp_type::kCalendarMonth, dp_type::kAll, dp_type::kMonthFromStartDay, dp_type::kWeek}},
      {kMonthStartWeekendType, 0, 2},  // 0 leaves a month start on a weekend, 1 moves it back, 2 on
      {kTimeDisplayOrder, 0, 1000000},
      {kRepeatReflectType, 0, 1000000},
      {kMainTabFirstView, 0, 1000000},
      {kMainTabScrollType, 0, 1000000},
      {kInputFormOrder, 0, 1000000},
      {kMoneyColor, 0, 1000000},
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

// Throws InputError unless `kind` is one a person sets and `value` one it accepts.
void validateSetting(int kind, const std::string& value) {
  if (kind == etc_kind::kSmsRemoveText) {
    throw InputError("kind 100 holds several message filter texts; it cannot be set as one value");
  }
  const auto& kinds = settableKinds();
  const auto it = std::find_if(kinds.begin(), kinds.end(), [kind](const SettableKind& k) { return k.kind == kind; });
  if (it == kinds.end()) {
    if (EtcRepository::keyedKinds().count(kind) > 0 || kind == etc_kind::kPassword ||
        kind == etc_kind::kMainCurrencyOld || kind == etc_kind::kOldTransferOption ||
        kind == etc_kind::kOldTransferTotal || kind == etc_kind::kOldStartScreen ||
        kind == etc_kind::kAndroid2192 || kind == etc_kind::kMigration2192Version) {
      throw InputError(fmt::format("kind {} is kept by the ledger itself; it cannot be set", kind));
    }
    throw InputError(fmt::format("kind {} is not a setting kind", kind));
  }
  const std::string what = fmt::format("the value of kind {}", kind);
  const long long v = parseInteger(value, what, it->low, it->high);
  if (!it->only.empty() && std::find(it->only.begin(), it->only.end(), v) == it->only.end()) {
    throw InputError(fmt::format("{} must be one of {}: '{}'", what, fmt::join(it->only, ", "), value));
  }
}

void printSettings(const std::vector<Etc>& records, const Ledger& ledger, bool json) {
  if (json) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& r : records) out.push_back(recordJson(r, ledger.env().dates()));
    printJson(out);
    return;
  }
  for (const auto& r : records) {
    printLine(fmt::format("{:>9}  {:<26} {}{}", r.DataType.value_or(0), r.datayTypeKey.value_or(""),
                          r.Data.value_or(""), r.zData ? " [" + *r.zData + "]" : ""));
  }
}

}  // namespace

void addInitCommand(CLI::App& app, Context& ctx) {
  auto* init = app.add_subcommand("init", "Open or create the ledger and write its defaults");
  init->callback([&ctx] {
    bool wrote = false;
    auto ledger = ctx.openLedger(&wrote);
    const auto path = ledger->env().storePath().string();
    if (ctx.json) {
      printJson({{"path", path},
                 {"created", ledger->openReport().created},
                 {"initialized", wrote}});
    } else if (wrote) {
      std::cout << "Set up a new ledger at " << path << '\n';
    } else {
      std::cout << "The ledger at " << path << " is already set up; nothing changed\n";
    }
  });
}

void addSettingsCommands(CLI::App& app, Context& ctx) {
  auto* settings = app.add_subcommand("settings", "List, read and change the ledger's settings");
  static bool all = false;
  settings->add_flag("--all", all, "Include deleted records");
  settings->callback([&ctx, settings] {
    if (!settings->get_subcommands().empty()) return;
    auto ledger = ctx.openLedger();
    EtcRepository etc(*ledger);
    std::vector<Etc> records;
    for (auto& r : etc.getListAll()) {
      if (all || isLive(r)) records.push_back(std::move(r));
    }
    printSettings(records, *ledger, ctx.json);
  });

  auto* get = settings->add_subcommand("get", "Print the value of a setting kind");
  static std::string getKind;
  get->add_option("KIND", getKind, "Setting kind (DataType)")->required();
  get->callback([&ctx] {
    const int kind = static_cast<int>(parseInteger(getKind, "KIND", kMinKind, kMaxKind));
    auto ledger = ctx.openLedger();
    EtcRepository etc(*ledger);
    auto record = etc.getEtcUserSettingByType(kind);
    if (!record) throw InputError(fmt::format("kind {} has no setting record", kind));
    if (ctx.json) {
      printJson(recordJson(*record, ledger->env().dates()));
    } else {
      printLine(record->Data.value_or(""));
    }
  });

  auto* set = settings->add_subcommand("set", "Set a single-valued setting kind");
  static std::string setKind, setValue;
  set->add_option("KIND", setKind, "Setting kind (DataType)")->required();
  set->add_option("VALUE", setValue, "New value")->required();
  set->callback([&ctx] {
    const int kind = static_cast<int>(parseInteger(setKind, "KIND", kMinKind, kMaxKind));
    validateSetting(kind, setValue);
    auto ledger = ctx.openLedger();
    EtcRepository etc(*ledger);
    check(etc.updateEtcUserSettingByType(kind, setValue));
    auto record = etc.getEtcUserSettingByType(kind);
    if (ctx.json) {
      printJson(recordJson(*record, ledger->env().dates()));
    } else {
      printSettings({*record}, *ledger, false);
    }
  });
}

}  // namespace varnel::cli
