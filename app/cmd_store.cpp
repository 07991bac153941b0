// `varnel store info`, `varnel store repair`, `varnel migrate`.
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

nlohmann::json migrationJson(const MigrationReport& report) {
  nlohmann::json steps = nlohmann::json::array();
  for (const auto& step : report.steps) {
    nlohmann::json changes = nlohmann::json::array();
    for (const auto& [operation, records] : step.changes) {
      changes.push_back({{"operation", operation}, {"records", records}});
    }
    steps.push_back({{"step", step.number}, {"name", step.name}, {"records", step.changed()}, {"changes", changes}});
  }
  return {{"dataVersionBefore", report.dataVersionBefore},
          {"dataVersionAfter", report.dataVersionAfter},
          {"migrated", report.migrated},
          {"safetyCopy", report.safetyCopy ? nlohmann::json(report.safetyCopy->string()) : nlohmann::json(nullptr)},
          {"steps", steps}};
}

void printMigration(const MigrationReport& report) {
  if (!report.migrated) {
    std::cout << "Data version " << report.dataVersionAfter << ": nothing to migrate\n";
    return;
  }
  std::cout << "Data version: " << report.dataVersionBefore << " -> " << report.dataVersionAfter << '\n';
  std::cout << "Safety copy: " << (report.safetyCopy ? report.safetyCopy->string() : std::string("(none)")) << '\n';
  for (const auto& step : report.steps) {
    printLine(fmt::format("Step {}: {} ({} record{})", step.number, step.name, step.changed(),
                          step.changed() == 1 ? "" : "s"));
    for (const auto& [operation, records] : step.changes) {
      if (records > 0) printLine(fmt::format("  {:<28} {}", operation, records));
    }
  }
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

  app.add_subcommand("migrate", "Bring a ledger of an older data version up to date (after a safety copy)")
      ->callback([&ctx] {
        MigrationReport report;
        auto ledger = ctx.openLedger(nullptr, &report);
        if (ctx.json) {
          printJson(migrationJson(report));
        } else {
          printMigration(report);
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
