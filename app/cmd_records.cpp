#include "app/cli.h"

namespace varnel::cli {

void addRecordCommands(CLI::App& /*app*/, Context& /*ctx*/) {}

}  // namespace varnel::cli
