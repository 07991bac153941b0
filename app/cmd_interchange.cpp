// `varnel interchange export`: the whole ledger as an interchange database,
// the file the app on the other phone platform and the cloud backups read.
// `varnel interchange load`: the ledger replaced by such a file of the
// current format, as a cloud snapshot replaces it.
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include <fmt/format.h>

#include "app/cli.h"
#include "backup/interchange_reader.h"
#include "backup/interchange_schema.h"
#include "backup/interchange_writer.h"
#include "model/errors.h"

namespace varnel::cli {

namespace {

// One line on the terminal, rewritten in place as the export goes on.
class TerminalProgress {
 public:
  ~TerminalProgress() { clear(); }
  // Removes the line, so that what follows starts on a clean one.
  void clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
    shown_ = false;
  }
  void operator()(const InterchangeProgress& p) {
    const int percent = p.total > 0 ? static_cast<int>(p.done * 100 / p.total) : 100;
    if (p.table == table_ && percent == percent_) return;
    table_ = std::string(p.table);
    percent_ = percent;
    shown_ = true;
    std::fprintf(stderr, "\r\x1b[K%s %d%%", table_.c_str(), percent);
    std::fflush(stderr);
  }

 private:
  std::string table_;
  int percent_ = -1;
  bool shown_ = false;
};

}  // namespace

void addInterchangeCommands(CLI::App& app, Context& ctx) {
  auto* interchange =
      app.add_subcommand("interchange", "The interchange database shared with the app on the other phone platform");
  interchange->require_subcommand(1);

  auto* exportCommand = interchange->add_subcommand("export", "Write the whole ledger as an interchange database");
  static std::string out;
  static bool gzip = false;
  exportCommand->add_option("--out", out, "File to write (replaced once the new one is whole)")->required();
  exportCommand->add_flag("--gzip", gzip, "Write it as a gzip stream");
  exportCommand->callback([&ctx] {
    if (out.empty()) throw InputError("--out must name a file");
    const std::filesystem::path target(out);
    auto ledger = ctx.openLedger();
    checkOutputFile(target, *ledger);
    InterchangeExportOptions options;
    options.gzip = gzip;
    TerminalProgress progress;
    if (!ctx.json && ::isatty(STDERR_FILENO)) {
      options.progress = [&progress](const InterchangeProgress& p) { progress(p); };
    }
    MyDBCopyAndroid writer(ledger->env(), ledger->log());
    Result<InterchangeExport> result = writer.myDBCopyAndroid(ledger->store().path(), target, options);
    progress.clear();
    const InterchangeExport written = check(std::move(result));
    if (ctx.json) {
      nlohmann::json tables = nlohmann::json::array();
      for (const auto& t : written.tables) {
        tables.push_back({{"table", t.table}, {"rows", t.rows}, {"dropped", t.dropped}});
      }
      printJson({{"file", written.file.string()},
                 {"gzip", written.gzip},
                 {"userVersion", interchange::kUserVersion},
                 {"tables", tables}});
      return;
    }
    printLine(fmt::format("Wrote the interchange file {}{}", written.file.string(), written.gzip ? " (gzip)" : ""));
    for (const auto& t : written.tables) {
      std::string line = fmt::format("  {:<18} {:>9}", t.table, t.rows);
      if (t.dropped > 0) line += fmt::format("  ({} left out: uid already written)", t.dropped);
      printLine(line);
    }
  });

  auto* loadCommand = interchange->add_subcommand(
      "load", "Replace the ledger with an interchange file of the current format (the replaced ledger is kept)");
  static std::string file;
  loadCommand->add_option("FILE", file, "Interchange file (schema 19)")->required();
  loadCommand->callback([&ctx] {
    const Environment env = ctx.environment();
    auto log = Ledger::makeFileLogger(env);
    TerminalProgress progress;
    InterchangeLoadProgress onProgress;
    if (!ctx.json && ::isatty(STDERR_FILENO)) onProgress = [&progress](const InterchangeProgress& p) { progress(p); };
    const InterchangeReplaceReport done = check(replaceStoreWithInterchange(
        env, log, env.storePath(), file, InterchangeLoadMode::kCurrentFormat, onProgress));
    const auto& copy = done.swap.safetyCopy;
    if (ctx.json) {
      nlohmann::json tables = nlohmann::json::array();
      for (const auto& t : done.load.tables) {
        if (!t.absent) tables.push_back({{"table", t.fileTable}, {"storeTable", t.storeTable}, {"rows", t.rows}});
      }
      printJson({{"file", file},
                 {"userVersion", done.load.schemaVersion},
                 {"dataVersion", done.load.dataVersion},
                 {"tables", tables},
                 {"safetyCopy", copy ? nlohmann::json(copy->string()) : nlohmann::json(nullptr)}});
      return;
    }
    printLine(fmt::format("Loaded the interchange file {} (schema {})", file, done.load.schemaVersion));
    for (const auto& t : done.load.tables) {
      if (!t.absent) printLine(fmt::format("  {:<18} {:>9}", t.fileTable, t.rows));
    }
    printLine("Safety copy: " + (copy ? copy->string() : std::string("(none: there was no ledger)")));
  });
}

}  // namespace varnel::cli
