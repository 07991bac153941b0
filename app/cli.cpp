#include "app/cli.h"

#include <charconv>

#include "model/errors.h"
#include "setup/initial_data.h"

namespace varnel::cli {

std::unique_ptr<Ledger> Context::openLedger() const {
  auto ledger = Ledger::open(environment());
  settingDefaultData(*ledger);
  return ledger;
}

void printJson(const nlohmann::json& value) { std::cout << value.dump(2) << '\n'; }

long long parseInteger(const std::string& text, const std::string& what) {
  long long value = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  auto [ptr, ec] = std::from_chars(begin, end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    throw InputError(what + " must be a whole number: '" + text + "'");
  }
  return value;
}

}  // namespace varnel::cli
