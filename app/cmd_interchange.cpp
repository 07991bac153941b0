// `varnel interchange export`: the whole ledger as an interchange database,
// the file the app on the other phone platform and the cloud backups read.
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include <fmt/format.h>

#include "app/cli.h"
#include "backup/interchange_schema.h"
#include "backup/interchange_writer.h"
#include "model/errors.h"

namespace varnel::cli {

namespace {

// Whether `a` and `b` name the same file, existing or not.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec, ea, eb;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  const auto ca = std::filesystem::weakly_canonical(a, ea);
  const auto cb = std::filesystem::weakly_canonical(b, eb);
  return !ea && !eb && ca == cb;
}

// One line on the terminal, rewritten in place as the export goes on.
class TerminalProgress {
 public:
  ~TerminalProgress() {
    if (shown_) std::fprintf(stderr, "\r\x1b[K");
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
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec)) throw InputError("--out names a folder: " + target.string());
    auto ledger = ctx.openLedger();
    if (sameFile(target, ledger->store().path()) || sameFile(target, ledger->env().storePath())) {
      throw InputError("--out names the ledger's store file: " + target.string());
    }
    InterchangeExportOptions options;
    options.gzip = gzip;
    TerminalProgress progress;
    if (!ctx.json && ::isatty(STDERR_FILENO)) {
      options.progress = [&progress](const InterchangeProgress& p) { progress(p); };
    }
    MyDBCopyAndroid writer(ledger->env(), ledger->log());
    const InterchangeExport written = check(writer.myDBCopyAndroid(ledger->store().path(), target, options));
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
}

}  // namespace varnel::cli
