// `varnel init`, `varnel settings …`.
#include <fmt/format.h>

#include "app/cli.h"
#include "app/record_json.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "setup/initial_data.h"

namespace varnel::cli {

namespace {

// Values some kinds accept; other kinds take any text.
void validateSetting(int kind, const std::string& value) {
  using namespace etc_kind;
  auto range = [&](long long low, long long high) {
    const long long v = parseInteger(value, fmt::format("the value of kind {}", kind));
    if (v < low || v > high) {
      throw InputError(fmt::format("the value of kind {} must be from {} to {}: '{}'", kind, low,
                                   high, value));
    }
  };
  switch (kind) {
    case kStartDay: range(1, 31); break;
    case kWeekStartDay: range(0, 6); break;
    case kDefaultPeriodType:
    case kTimeDisplayOrder:
    case kMonthStartWeekendType:
    case kRepeatReflectType:
    case kMainTabFirstView:
    case kMainTabScrollType:
    case kInputFormOrder:
    case kMoneyColor: range(0, 1000000); break;
    case kCardAccountingType:
    case kCarryOver:
    case kUseInstallment:
    case kSmsUseCopyPaste:
    case kShowTxMemoOnDayList:
    case kMemoBtnOnDaily:
    case kUseSubCategory:
    case kUseAutoComplete:
    case kShowFullMessage: range(0, 1); break;
    default: break;
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
    std::cout << fmt::format("{:>9}  {:<26} {}{}\n", r.DataType.value_or(0),
                             r.datayTypeKey.value_or(""), r.Data.value_or(""),
                             r.zData ? " [" + *r.zData + "]" : "");
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
    const int kind = static_cast<int>(parseInteger(getKind, "KIND"));
    auto ledger = ctx.openLedger();
    EtcRepository etc(*ledger);
    auto record = etc.getEtcUserSettingByType(kind);
    if (!record) throw InputError(fmt::format("kind {} has no setting record", kind));
    if (ctx.json) {
      printJson(recordJson(*record, ledger->env().dates()));
    } else {
      std::cout << record->Data.value_or("") << '\n';
    }
  });

  auto* set = settings->add_subcommand("set", "Set a single-valued setting kind");
  static std::string setKind, setValue;
  set->add_option("KIND", setKind, "Setting kind (DataType)")->required();
  set->add_option("VALUE", setValue, "New value")->required();
  set->callback([&ctx] {
    const int kind = static_cast<int>(parseInteger(setKind, "KIND"));
    if (kind == etc_kind::kSmsRemoveText) {
      throw InputError("kind 100 holds several message filter texts; it cannot be set as one value");
    }
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
