#include "support/workbook_reader.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "support/test_ledger.h"

namespace varnel::testing {

namespace {

std::string quoted(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

nlohmann::json readWorkbook(const std::filesystem::path& file) {
  TempDir scratch;
  const auto errors = scratch.path() / "stderr";
  const std::string command = quoted(VARNEL_PYTHON3) + " " + quoted(VARNEL_WORKBOOK_READER) + " " +
                              quoted(file.string()) + " 2>" + quoted(errors.string());
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot run " + command);
  std::string out;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = ::pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::ifstream in(errors);
    std::stringstream message;
    message << in.rdbuf();
    throw std::runtime_error("reading " + file.string() + " with " + VARNEL_PYTHON3 + " and openpyxl failed (status " +
                             std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "): " + message.str());
  }
  return nlohmann::json::parse(out);
}

}  // namespace varnel::testing
