// `varnel backup`, `varnel backup auto`, `varnel backups`, `varnel restore`.
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "app/cli.h"
#include "backup/backup_util.h"
#include "backup/restore.h"
#include "model/dates.h"
#include "model/errors.h"
#include "model/preferences.h"
#include "model/safety_copy.h"

namespace varnel::cli {

namespace {

// Progress of long work on standard error, only when that is a terminal and
// the output is not JSON: a script reading the output never sees it.
class TerminalProgress {
 public:
  explicit TerminalProgress(const Context& ctx) : on_(!ctx.json && ::isatty(STDERR_FILENO) == 1) {}
  ~TerminalProgress() { finish(); }
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  // Clears the progress line, so that what is printed next starts on a
  // clean line.
  void finish() {
    if (shown_) std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
  }

  Progress callback() {
    if (!on_) return {};
    return [this](std::string_view stage, uint64_t done, uint64_t total) {
      const int percent = total == 0 ? -1 : static_cast<int>(done * 100 / total);
      if (stage == stage_ && percent == percent_) return;
      stage_ = std::string(stage);
      percent_ = percent;
      shown_ = true;
      if (percent < 0) {
        std::fprintf(stderr, "\r\033[K%s…", stage_.c_str());
      } else {
        std::fprintf(stderr, "\r\033[K%s… %d%%", stage_.c_str(), percent);
      }
      std::fflush(stderr);
    };
  }

 private:
  bool on_;
  bool shown_ = false;
  std::string stage_;
  int percent_ = -2;
};

std::string localTime(const Environment& env, int64_t ms) {
  return env.dates().format(msToStoreSeconds(ms), "yyyy-MM-dd HH:mm:ss");
}

nlohmann::json amountRepairJson(const BackupReport& report) {
  if (!report.repair) return {{"failed", report.repairFailure}};
  const MainCurrencyAmountRepair& r = *report.repair;
  return {{"currenciesSet", r.currenciesSet},
          {"amountsSet", r.amountsSet},
          {"accountCurrenciesSet", r.accountCurrenciesSet},
          {"accountAmountsSet", r.accountAmountsSet}};
}

void printAmountRepair(const BackupReport& report) {
  if (!report.repair) {
    std::cout << "The amounts were not checked first: " << report.repairFailure << '\n';
    return;
  }
  const MainCurrencyAmountRepair& r = *report.repair;
  if (r.changes() == 0) return;
  std::cout << fmt::format(
      "Repaired first: {} transaction currencies, {} main-currency amounts, {} account currencies, {} account "
      "amounts\n",
      r.currenciesSet, r.amountsSet, r.accountCurrenciesSet, r.accountAmountsSet);
}

std::string rowsText(const ReceivedFileInfo& info) {
  const bool store = info.kind == ReceivedKind::kLedgerStore;
  const struct {
    const char* table;
    const char* what;
  } shown[] = {{store ? "ZINOUTCOME" : "INOUTCOME", "transactions"},
               {store ? "ZASSET" : "ASSETS", "accounts"},
               {"ZCATEGORY", "categories"}};
  std::string text;
  for (const auto& s : shown) {
    const auto it = info.rows.find(s.table);
    if (it == info.rows.end()) continue;
    text += fmt::format("{}{} {}", text.empty() ? "" : ", ", it->second, s.what);
  }
  return text.empty() ? "none" : text;
}

nlohmann::json foundJson(const ReceivedFileInfo& info) {
  return {{"kind", receivedKindName(info.kind)},
          {"gzip", info.gzip},
          {"schemaVersion", info.schemaVersion},
          {"dataVersion", info.dataVersion},
          {"rows", info.rows}};
}

nlohmann::json interchangeJson(const RestoreReport& report) {
  if (!report.interchange) return nullptr;
  nlohmann::json tables = nlohmann::json::array();
  for (const auto& t : report.interchange->tables) {
    if (t.absent) continue;
    tables.push_back({{"fileTable", t.fileTable}, {"storeTable", t.storeTable}, {"rows", t.rows}, {"skipped", t.skipped}});
  }
  return {{"schemaVersion", report.interchange->schemaVersion},
          {"dataVersion", report.interchange->dataVersion},
          {"tables", tables}};
}

int renamedRows(const RepairReport& repair) {
  int renamed = 0;
  for (const auto& t : repair.tables) renamed += t.rowsRenamed;
  return renamed;
}

}  // namespace

void addBackupCommands(CLI::App& app, Context& ctx) {
  auto* backup = app.add_subcommand("backup", "Back up the ledger (on demand, or the daily automatic backup)");
  backup->require_subcommand(0, 1);
  static std::string out;
  static bool gzip = false;
  backup->add_option("--out", out,
                     "File to write (default: Documents/InternalData/<yyyyMMdd_HHmmss>.vnbak in the data folder)");
  backup->add_flag("--gzip", gzip, "Compress with gzip (.vnbak.gz)");

  auto* automatic = backup->add_subcommand("auto", "The daily automatic backup into a synchronised folder");
  static std::string folder, device;
  static bool force = false;
  automatic->add_option("--folder", folder, "The synchronised documents folder; backups go to its InternalData")
      ->required();
  automatic->add_option("--device", device, "Device model for the backup's name (default: this machine's)");
  automatic->add_flag("--force", force, "Back up even when today's backup was made");
  automatic->callback([&ctx] {
    auto ledger = ctx.openLedger();
    const std::string model = device.empty() ? machineDeviceModel() : device;
    const AutoBackupReport report = check(iCloudAutoBackup(*ledger, folder, model, std::nullopt, force));
    if (ctx.json) {
      nlohmann::json removed = nlohmann::json::array();
      for (const auto& p : report.removed) removed.push_back(p.string());
      printJson({{"due", report.due},
                 {"file", report.file ? nlohmann::json(report.file->string()) : nlohmann::json(nullptr)},
                 {"removed", removed}});
      return;
    }
    if (!report.file) {
      std::cout << "Not due: today's automatic backup was made already\n";
      return;
    }
    printLine("Automatic backup: " + report.file->string());
    for (const auto& p : report.removed) printLine("Removed (keeping " + std::to_string(kAutoBackupsKept) + "): " + p.string());
  });

  backup->callback([&ctx, automatic] {
    if (automatic->parsed()) return;
    auto ledger = ctx.openLedger();
    const Environment& env = ledger->env();
    std::filesystem::path target =
        out.empty() ? internalDataDir(env) / (createBackFileName(env) + (gzip ? ".gz" : "")) : std::filesystem::path(out);
    TerminalProgress progress(ctx);
    BackupOptions options;
    options.gzip = gzip || target.extension() == ".gz";
    options.progress = progress.callback();
    const BackupReport report = check(backupDB(*ledger, target, options));
    progress.finish();
    if (ctx.json) {
      printJson({{"file", report.file.string()},
                 {"bytes", report.bytes},
                 {"gzip", options.gzip},
                 {"repair", amountRepairJson(report)}});
      return;
    }
    printAmountRepair(report);
    printLine(fmt::format("Backup: {} ({})", report.file.string(), byteCountText(report.bytes)));
  });

  app.add_subcommand("backups", "The backups in the data folder, newest first, with size and date")->callback([&ctx] {
    const Environment env = ctx.environment();
    const std::vector<BackupFile> files = check(getBackupFiles(env));
    if (ctx.json) {
      nlohmann::json list = nlohmann::json::array();
      for (const auto& f : files) {
        list.push_back({{"fileName", f.fileName},
                        {"displayFileName", f.displayFileName},
                        {"filePath", f.filePath},
                        {"byte", f.byte},
                        {"size", f.size},
                        {"date", localTime(env, f.dateMs)}});
      }
      printJson(list);
      return;
    }
    if (files.empty()) {
      std::cout << "No backups\n";
      return;
    }
    for (const auto& f : files) {
      printLine(fmt::format("{}  {:>10}  {}", localTime(env, f.dateMs), f.byte, f.displayFileName));
    }
  });

  auto* restore = app.add_subcommand(
      "restore",
      "Replace the ledger with a backup (.vnbak, .vnbak.gz), a copy of a ledger store or an interchange file");
  static std::string file;
  restore->add_option("file", file, "The file to restore from")->required();
  restore->callback([&ctx] {
    const Environment env = ctx.environment();
    auto log = Ledger::makeFileLogger(env);
    Preferences preferences(env.appSupportDir() / "preferences.json");
    TerminalProgress progress(ctx);
    RestoreOptions options;
    options.progress = progress.callback();
    const RestoreReport report =
        check(restoreReceivedFile(env, *log, preferences, env.storePath(), file, false, options));
    progress.finish();
    const ReceivedFileInfo& found = report.found;
    // Opened as every start opens it: a ledger of an older data version is
    // migrated now, after its own safety copy.
    MigrationReport migration;
    try {
      ctx.openLedger(nullptr, &migration);
    } catch (const StoreError& e) {
      throw StoreError("the ledger was restored from " + file + ", but it does not start: " + e.what());
    }
    if (ctx.json) {
      nlohmann::json steps = nlohmann::json::array();
      for (const auto& step : migration.steps) steps.push_back({{"step", step.number}, {"name", step.name}});
      printJson({{"found", foundJson(found)},
                 {"safetyCopy", report.swap.safetyCopy ? nlohmann::json(report.swap.safetyCopy->string())
                                                        : nlohmann::json(nullptr)},
                 {"uidRowsRenamed", renamedRows(report.uidRepair)},
                 {"interchange", interchangeJson(report)},
                 {"migration", {{"dataVersionBefore", migration.dataVersionBefore},
                                {"dataVersionAfter", migration.dataVersionAfter},
                                {"steps", steps}}},
                 {"restored", true}});
      return;
    }
    if (found.kind == ReceivedKind::kInterchange) {
      printLine(fmt::format("Found: {}{}, version {}", receivedKindName(found.kind), found.gzip ? " (gzip)" : "",
                            found.schemaVersion));
    } else {
      printLine(fmt::format("Found: {}{}, store schema {}, data version {}", receivedKindName(found.kind),
                            found.gzip ? " (gzip)" : "", found.schemaVersion, found.dataVersion));
    }
    printLine("Rows: " + rowsText(found));
    printLine("Safety copy: " +
              (report.swap.safetyCopy ? report.swap.safetyCopy->string() : std::string("(none: there was no ledger)")));
    if (const int renamed = renamedRows(report.uidRepair)) {
      std::cout << "Identifiers made unique: " << renamed << " row(s) renamed\n";
    }
    if (report.interchange) {
      printLine("Loaded with the rules of version " + std::to_string(report.interchange->schemaVersion) +
                ", data version " + report.interchange->dataVersion);
    }
    printLine("Restored the ledger from " + file);
    if (migration.migrated) {
      printLine(fmt::format("Migrated from data version {} to {} in {} step(s)", migration.dataVersionBefore,
                            migration.dataVersionAfter, migration.steps.size()));
    }
  });
}

}  // namespace varnel::cli
