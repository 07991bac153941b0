// `varnel export xlsx`: a period's transactions as a spreadsheet, named as
// the desktop download names it unless the person names the file.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "app/cli.h"
#include "model/errors.h"
#include "reports/xlsx_export.h"

namespace varnel::cli {

namespace {

// libxlsxwriter reports its own failures on standard error. While it writes,
// that goes to the ledger's log instead, so that a failure still ends in
// one line on standard error: ours, with the reason.
class LibraryMessagesToLog {
 public:
  explicit LibraryMessagesToLog(spdlog::logger& log) : log_(log), capture_(std::tmpfile()) {
    if (!capture_) return;
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    if (saved_ >= 0 && ::dup2(::fileno(capture_), STDERR_FILENO) < 0) {
      ::close(saved_);
      saved_ = -1;
    }
  }
  ~LibraryMessagesToLog() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
    }
    if (!capture_) return;
    std::rewind(capture_);
    char line[1024];
    while (std::fgets(line, sizeof line, capture_)) {
      std::string text = line;
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      if (!text.empty()) log_.warn("xlsxwriter: {}", text);
    }
    std::fclose(capture_);
  }
  LibraryMessagesToLog(const LibraryMessagesToLog&) = delete;
  LibraryMessagesToLog& operator=(const LibraryMessagesToLog&) = delete;

 private:
  spdlog::logger& log_;
  FILE* capture_;
  int saved_ = -1;
};

}  // namespace

void addExportCommands(CLI::App& app, Context& ctx) {
  auto* exportCommand = app.add_subcommand("export", "Write the ledger's transactions to a file");
  exportCommand->require_subcommand(1);

  auto* xlsx = exportCommand->add_subcommand("xlsx", "A period's transactions as a spreadsheet (.xlsx)");
  static std::string from, to, out;
  xlsx->add_option("--from", from, "First day YYYY-MM-DD")->required();
  xlsx->add_option("--to", to, "Last day YYYY-MM-DD, included")->required();
  auto* outOption =
      xlsx->add_option("--out", out, "File to write (default: CASHBOOK_<from>~<to>.xlsx in the current folder)");
  xlsx->callback([&ctx, outOption] {
    auto ledger = ctx.openLedger();
    const double start = ledger->env().parseDay(from, "--from");
    const double end = ledger->env().parseDay(to, "--to");
    if (end < start) throw InputError("--to is before --from");
    if (outOption->count() > 0 && out.empty()) throw InputError("--out must name a file");
    // The download's name carries the dates as they were typed.
    const std::filesystem::path target =
        out.empty() ? std::filesystem::current_path() / excelDownloadName(false, from, to) : std::filesystem::path(out);
    checkOutputFile(target, *ledger);
    Result<int64_t> written = Status::systemFailure("not written");
    {
      LibraryMessagesToLog messages(ledger->log());
      written = getExcelData(*ledger, start, end, target);
    }
    const int64_t rows = check(std::move(written));
    if (ctx.json) {
      printJson({{"file", target.string()}, {"rows", rows}});
    } else {
      printLine(fmt::format("Wrote {} transaction{} to {}", rows, rows == 1 ? "" : "s", target.string()));
    }
  });
}

}  // namespace varnel::cli
