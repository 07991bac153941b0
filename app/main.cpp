// The `varnel` command-line program: global options, the subcommands, and the
// exit codes (0 success, 2 bad input with a one-line reason on stderr).
#include <cstdio>

#include <SQLiteCpp/Exception.h>

#include "app/cli.h"
#include "model/errors.h"

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
  cli::addReportCommands(app, ctx);
  cli::addCardCommands(app, ctx);
  cli::addTransactionCommands(app, ctx);

  try {
    app.parse(argc, argv);
    if (app.get_subcommands().empty()) {
      std::fprintf(stderr, "varnel: no command given (try --help)\n");
      return 2;
    }
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ExtrasError& e) {
    std::fprintf(stderr, "varnel: unknown command or argument: %s\n", e.what());
    return 2;
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "varnel: %s\n", e.what());
    return 2;
  } catch (const InputError& e) {
    std::fprintf(stderr, "varnel: %s\n", e.what());
    return 2;
  } catch (const StoreError& e) {
    std::fprintf(stderr, "varnel: %s\n", e.what());
    return 2;
  } catch (const SQLite::Exception& e) {
    std::fprintf(stderr, "varnel: ledger store error: %s\n", e.what());
    return 1;
  }
  return 0;
}
