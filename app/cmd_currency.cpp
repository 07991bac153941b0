#include "app/cli.h"

namespace varnel::cli {

void addCurrencyCommands(CLI::App& /*app*/, Context& /*ctx*/) {}

}  // namespace varnel::cli
