// `varnel store info`, `varnel store repair`.
#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "app/cli.h"
#include "model/entities.h"
#include "model/etc_repository.h"

namespace varnel::cli {

namespace {

nlohmann::json repairJson(const RepairReport& report,
                          const std::optional<std::filesystem::path>& copy) {
  nlohmann::json tables = nlohmann::json::array();
  for (const auto& t : report.tables) {
    tables.push_back({{"table", t.table},
                      {"zeroUidsCleared", t.zeroUidsCleared},
                      {"duplicateUids", t.duplicateUids},
                      {"rowsRenamed", t.rowsRenamed}});
  }
  return {{"safetyCopy", copy ? nlohmann::json(copy->string()) : nlohmann::json(nullptr)},
          {"columnsAdded", report.columnsAdded},
          {"tables", tables}};
}

void printRepair(const RepairReport& report, const std::optional<std::filesystem::path>& copy) {
  std::cout << "Safety copy: " << (copy ? copy->string() : std::string("(none)")) << '\n';
  for (const auto& c : report.columnsAdded) std::cout << "Added column " << c << '\n';
  int changed = 0;
  for (const auto& t : report.tables) {
    if (t.zeroUidsCleared == 0 && t.rowsRenamed == 0) continue;
    ++changed;
    std::cout << fmt::format("{:<20} {} uid \"0\" cleared, {} duplicated uid(s), {} row(s) renamed\n",
                             t.table, t.zeroUidsCleared, t.duplicateUids, t.rowsRenamed);
  }
  if (changed == 0) std::cout << "Every identifier was already unique; nothing changed\n";
}

}  // namespace

void addStoreCommands(CLI::App& app, Context& ctx) {
  auto* store = app.add_subcommand("store", "The ledger store file");
  store->require_subcommand(1);

  store->add_subcommand("info", "Path, data version and rows per table")->callback([&ctx] {
    auto ledger = ctx.openLedger();
    EtcRepository etc(*ledger);
    nlohmann::json tables = nlohmann::json::object();
    for (const auto& schema : allTableSchemas()) {
      tables[schema.table] =
          ledger->store().db().execAndGet("SELECT COUNT(*) FROM " + schema.table).getInt64();
    }
    const auto path = ledger->env().storePath().string();
    const int version = etc.getDBVersion();
    if (ctx.json) {
      printJson({{"path", path},
                 {"dataVersion", version},
                 {"schemaVersion", Store::kSchemaVersion},
                 {"tables", tables}});
      return;
    }
    std::cout << "Store:        " << path << '\n'
              << "Data version: " << version << '\n'
              << "Schema:       " << Store::kSchemaVersion << '\n';
    for (const auto& [table, count] : tables.items()) {
      std::cout << fmt::format("  {:<20} {:>10}\n", table, count.get<int64_t>());
    }
  });

  store->add_subcommand("repair", "Make every record identifier unique (after a safety copy)")
      ->callback([&ctx] {
        const Environment env = ctx.environment();
        auto log = Ledger::makeFileLogger(env);
        std::optional<std::filesystem::path> copy;
        const RepairReport report = Ledger::repairStoreFile(env, *log, &copy);
        // Opening afterwards brings the schema and its unique indexes up to date.
        auto ledger = Ledger::open(env, log);
        if (ctx.json) {
          printJson(repairJson(report, copy));
        } else {
          printRepair(report, copy);
        }
      });
}

}  // namespace varnel::cli
