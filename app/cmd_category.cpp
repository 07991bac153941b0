#include "app/cli.h"

namespace varnel::cli {

void addCategoryCommands(CLI::App& /*app*/, Context& /*ctx*/) {}

}  // namespace varnel::cli
