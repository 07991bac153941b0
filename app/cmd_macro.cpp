// `varnel macro list [--user]`, `varnel macro update --file XML`.
#include <fstream>
#include <sstream>
#include <string_view>

#include <fmt/format.h>

#include "app/cli.h"
#include "model/record_json.h"
#include "model/errors.h"
#include "sms/message_macro_repository.h"

namespace varnel::cli {

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("cannot read the file");
  std::stringstream ss;
  ss << in.rdbuf();
  if (in.bad()) throw InputError("cannot read the file");
  return ss.str();
}

std::string accountName(MessageMacroRepository& repo, const Text& assetUid) {
  if (!assetUid || assetUid->empty()) return "";
  auto asset = repo.dataByUid<Asset>(*assetUid);
  return asset ? asset->NicName.value_or("") : "";
}

// One line of the listing, without trailing blanks when a column is empty.
void printMacroLine(std::string_view kind, std::string_view uid, std::string_view name,
                    std::string_view type, std::string_view tel, std::string_view account) {
  std::string line = fmt::format("{:<8} {:<5} {:<16} {:>2} {:<11} {}", kind, uid, name, type, tel,
                                 account);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  printLine(line);
}

void printMacros(MessageMacroRepository& repo, const Ledger& ledger, bool userOnly, bool json) {
  const auto users = repo.listOfUserCustom();
  std::vector<MessageMacro2> builtIns;
  if (!userOnly) builtIns = repo.listAll(false);
  if (json) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& u : users) {
      out.push_back({{"kind", "user"},
                     {"smsString", u.smsString},
                     {"conAssetUid", u.conAsset ? u.conAsset->uid.value_or("") : ""},
                     {"conAssetName", u.conAsset ? u.conAsset->NicName.value_or("") : ""}});
    }
    for (const auto& m : builtIns) {
      auto record = recordJson(m, ledger.env().dates());
      record["kind"] = "built-in";
      record["conAssetName"] = accountName(repo, m.conAssetUid);
      out.push_back(std::move(record));
    }
    printJson(out);
    return;
  }
  // Matching order: user macros are tried before the built-in ones.
  for (const auto& u : users) {
    printMacroLine("user", "-", u.smsString, "", "", u.conAsset ? u.conAsset->NicName.value_or("") : "");
  }
  for (const auto& m : builtIns) {
    printMacroLine("built-in", m.uid.value_or(""), m.macroAssetName.value_or(""),
                   std::to_string(m.macroType), m.smsTel.value_or(""), accountName(repo, m.conAssetUid));
  }
}

}  // namespace

void addMacroCommands(CLI::App& app, Context& ctx) {
  auto* macro = app.add_subcommand("macro", "List the message macros and merge macro lists");
  macro->require_subcommand(1);

  auto* list = macro->add_subcommand(
      "list", "The macros in matching order: user macros, then built-in ones in use");
  static bool userOnly = false;
  list->add_flag("--user", userOnly, "Only the user macros taken from the accounts");
  list->callback([&ctx] {
    auto ledger = ctx.openLedger();
    MessageMacroRepository repo(*ledger);
    // A ledger set up before the macros existed gets the bundled list now,
    // as a first start would have given it.
    check(repo.initMessageMacroSetting());
    printMacros(repo, *ledger, userOnly, ctx.json);
  });

  auto* update = macro->add_subcommand("update", "Merge a macro list file into the ledger");
  static std::string file;
  update->add_option("--file", file, "Macro list (XML, one \"item\" element per record)")
      ->required();
  update->callback([&ctx] {
    // The file is checked before the ledger is touched.
    std::vector<MacroListRecord> records;
    try {
      records = readMacroList(readFile(file));
    } catch (const InputError& e) {
      throw InputError(file + ": " + e.what());
    }
    auto ledger = ctx.openLedger();
    MessageMacroRepository repo(*ledger);
    check(repo.initMessageMacroSetting());
    const auto result = repo.mergeList(records);
    check(result.status);
    if (ctx.json) {
      printJson({{"added", result.added}, {"updated", result.updated}});
    } else {
      std::cout << fmt::format("Message macros: {} added, {} updated\n", result.added,
                               result.updated);
    }
  });
}

}  // namespace varnel::cli
