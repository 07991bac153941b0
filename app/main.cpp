// The `varnel` command-line program: global options, the subcommands, and the
// exit codes: 0 success, 1 a store or system failure, 2 bad input, each
// failure with a one-line reason on stderr and nothing in the ledger changed.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>

#include <SQLiteCpp/Exception.h>

#include "app/cli.h"
#include "model/errors.h"

namespace {

constexpr int kExitStoreFailure = 1;
constexpr int kExitBadInput = 2;

int fail(int code, const std::string& reason) {
  std::string line = reason;
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::fprintf(stderr, "varnel: %s\n", line.c_str());
  return code;
}

int runCommand(CLI::App& app, int argc, char** argv) {
  using namespace varnel;
  try {
    app.parse(argc, argv);
    if (app.get_subcommands().empty()) return fail(kExitBadInput, "no command given (try --help)");
    return 0;
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ExtrasError& e) {
    return fail(kExitBadInput, std::string("unknown command or argument: ") + e.what());
  } catch (const CLI::ParseError& e) {
    return fail(kExitBadInput, e.what());
  } catch (const InputError& e) {
    return fail(kExitBadInput, e.what());
  } catch (const StoreError& e) {
    return fail(kExitStoreFailure, e.what());
  } catch (const SQLite::Exception& e) {
    return fail(kExitStoreFailure, std::string("ledger store error: ") + e.what());
  } catch (const std::filesystem::filesystem_error& e) {
    return fail(kExitStoreFailure, e.what());
  } catch (const std::bad_alloc&) {
    return fail(kExitStoreFailure, "out of memory");
  } catch (const std::exception& e) {
    // Last resort: an exception nobody expected is still a one-line failure,
    // never an abort.
    return fail(kExitStoreFailure, std::string("internal error: ") + e.what());
  } catch (...) {
    return fail(kExitStoreFailure, "internal error");
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace varnel;
  // Checked before anything is parsed or opened: bytes that are not UTF-8
  // would be stored as they are and break every listing that shows them.
  if (const int bad = cli::firstArgumentNotUtf8(argc, argv)) {
    std::fprintf(stderr, "varnel: argument %d is not valid UTF-8\n", bad);
    return 2;
  }
  CLI::App app{"varnel: a household ledger engine"};
  app.require_subcommand(0, 1);
  // The global options may also follow the command ("varnel search x --json").
  app.fallthrough();
  cli::Context ctx;
  app.add_option("--home", ctx.options.home, "Data folder (default $XDG_DATA_HOME/varnel)");
  app.add_option("--now", ctx.options.now, "Fixed current time, ISO-8601");
  app.add_option("--tz", ctx.options.tz, "Time zone, such as Asia/Seoul");
  app.add_option("--locale", ctx.options.locale, "Locale, such as ko_KR");
  app.add_option("--lang", ctx.options.lang, "Interface language, such as ko or en");
  app.add_option("--region", ctx.options.region, "Region code, such as KR");
  app.add_flag("--json", ctx.json, "Print JSON");

  cli::addInitCommand(app, ctx);
  cli::addSettingsCommands(app, ctx);
  cli::addStoreCommands(app, ctx);
  cli::addCategoryCommands(app, ctx);
  cli::addRecordCommands(app, ctx);
  cli::addCurrencyCommands(app, ctx);
  cli::addAccountCommands(app, ctx);
  cli::addMacroCommands(app, ctx);
  cli::addStatsCommands(app, ctx);
  cli::addBudgetCommands(app, ctx);
  cli::addReportCommands(app, ctx);
  cli::addCardCommands(app, ctx);
  cli::addTransactionCommands(app, ctx);
  cli::addImportCommands(app, ctx);
  cli::addRepeatCommands(app, ctx);
  cli::addExportCommands(app, ctx);
  cli::addSearchCommands(app, ctx);
  cli::addSmsCommands(app, ctx);
  cli::addServeCommands(app, ctx);
  cli::addInterchangeCommands(app, ctx);
  cli::addBackupCommands(app, ctx);

  std::streambuf* const terminal = std::cout.rdbuf();
  int code = runCommand(app, argc, argv);
  std::cout.rdbuf(terminal);
  if (!ctx.staged) return code;

  // A ledger made by this run: published under the store's name only when
  // the command succeeded.
  const auto staged = *ctx.staged;
  const auto target = ctx.environment().storePath();
  std::error_code ec;
  if (code != 0) {
    std::filesystem::remove(staged, ec);
    std::cout << ctx.output.str() << std::flush;
    return code;
  }
  if (::link(staged.c_str(), target.c_str()) == 0) {
    std::filesystem::remove(staged, ec);
    syncFolder(target.parent_path());
    if (ctx.stagedPreferences) {
      Preferences(ctx.environment().appSupportDir() / "preferences.json").apply(*ctx.stagedPreferences);
    }
    std::cout << ctx.output.str() << std::flush;
    return 0;
  }
  const int error = errno;
  std::filesystem::remove(staged, ec);
  if (error == EEXIST) {
    // Another process set up the ledger meanwhile: run the command again on
    // that one, which this run's changes never reached.
    ::execv("/proc/self/exe", argv);
    return fail(kExitStoreFailure, std::string("cannot run again on the new ledger: ") +
                                       std::strerror(errno));
  }
  return fail(kExitStoreFailure,
              "cannot create " + target.string() + ": " + std::strerror(error));
}
