#include "app/cli.h"

namespace varnel::cli {

void addMacroCommands(CLI::App& /*app*/, Context& /*ctx*/) {}

}  // namespace varnel::cli
