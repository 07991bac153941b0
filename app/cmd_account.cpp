#include "app/cli.h"

namespace varnel::cli {

void addAccountCommands(CLI::App& /*app*/, Context& /*ctx*/) {}

}  // namespace varnel::cli
