// `varnel init`, `varnel settings …`.
#include <algorithm>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "app/cli.h"
#include "model/record_json.h"
#include "model/errors.h"
#include "ledger/transaction_save.h"
#include "model/etc_repository.h"
#include "model/period.h"
#include "setup/initial_data.h"

namespace varnel::cli {

namespace {

// Kinds are stored as 32-bit numbers.
constexpr long long kMinKind = -2147483648LL;
constexpr long long kMaxKind = 2147483647LL;

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

void printFilters(const std::vector<Etc>& records, const Ledger& ledger, bool json) {
  if (json) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& r : records) out.push_back(recordJson(r, ledger.env().dates()));
    printJson(out);
    return;
  }
  for (const auto& r : records) {
    printLine(fmt::format("{:<6} {}  {}{}", r.zData.value_or(""), r.Data.value_or(""), r.uid.value_or(""),
                          isLive(r) ? "" : "  (removed)"));
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
    EtcRepository::checkUserSetting(kind, setValue);
    auto ledger = ctx.openLedger();
    EtcRepository etc(*ledger);
    check(etc.updateUserSetting(kind, setValue));
    auto record = etc.getEtcUserSettingByType(kind);
    if (ctx.json) {
      printJson(recordJson(*record, ledger->env().dates()));
    } else {
      printSettings({*record}, *ledger, false);
    }
  });

  // --- message filter texts (kind 100) ---
  auto* filter = settings->add_subcommand("filter", "The texts removed from bank and card messages before reading them");
  filter->require_subcommand(1);
  auto* filterList = filter->add_subcommand("list", "The live filter texts");
  filterList->callback([&ctx] {
    auto ledger = ctx.openLedger();
    printFilters(EtcRepository(*ledger).listSmsFilter(), *ledger, ctx.json);
  });
  auto* filterAdd = filter->add_subcommand("add", "Add a filter text");
  static std::string addText, addLang;
  filterAdd->add_option("TEXT", addText, "Text to remove from messages")->required();
  filterAdd->add_option("--lang", addLang, "Language of the text, such as ko or zh_CN (default: the interface's)");
  filterAdd->callback([&ctx] {
    auto ledger = ctx.openLedger();
    const std::string lang = addLang.empty() ? ledger->env().language() : addLang;
    printFilters({check(EtcRepository(*ledger).addSmsFilter(addText, lang))}, *ledger, ctx.json);
  });
  auto* filterRemove = filter->add_subcommand("remove", "Remove a filter text, named by its text or uid");
  static std::string removeWhich;
  filterRemove->add_option("TEXT_OR_UID", removeWhich, "The text, or the record's uid")->required();
  filterRemove->callback([&ctx] {
    auto ledger = ctx.openLedger();
    printFilters(check(EtcRepository(*ledger).removeSmsFilter(removeWhich)), *ledger, ctx.json);
  });

  // --- the device preference that fills an empty content ---
  auto* emptyContent = settings->add_subcommand(
      "empty-content", "Whether a transaction saved without content gets the category or account names");
  static std::string emptyChoice;
  emptyContent->add_option("CHOICE", emptyChoice, "fill or keep (without it: show the current behaviour)");
  emptyContent->callback([&ctx] {
    if (!emptyChoice.empty() && emptyChoice != "fill" && emptyChoice != "keep") {
      throw InputError("the choice must be fill or keep: '" + emptyChoice + "'");
    }
    auto ledger = ctx.openLedger();
    TransactionSave saver(*ledger);
    if (!emptyChoice.empty()) check(saver.setAutoSaveTxContent(emptyChoice == "keep"));
    const bool keep = saver.autoSaveTxContent() == 1;
    const bool byPreference = saver.autoSaveTxContentFollowsPreference();
    const auto preference = ledger->preferences().getString(kTxAddCategoryToEmptyContentKey);
    if (ctx.json) {
      printJson({{"emptyContent", keep ? "keep" : "fill"},
                 {"decidedBy", byPreference ? "preference" : "first version"},
                 {kTxAddCategoryToEmptyContentKey, preference ? nlohmann::json(*preference) : nlohmann::json(nullptr)}});
      return;
    }
    std::cout << (keep ? "keep: an empty content stays empty" : "fill: an empty content gets the category or account names")
              << (byPreference ? " (device preference " + std::string(kTxAddCategoryToEmptyContentKey) + " " +
                                     preference.value_or("unset") + ")"
                               : std::string(" (the ledger was first set up with version 2.5.0 or later)"))
              << '\n';
  });
}

}  // namespace varnel::cli
