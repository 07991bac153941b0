// Runs the built `varnel` program as its own process, the way a script or a
// second terminal would, and keeps what it printed. Safe to call from several
// threads at once.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace varnel::testing {

struct ProgramRun {
  int exitCode = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

// The global options every test run passes: the data folder, a fixed clock,
// time zone and locale. `now` is an ISO-8601 time.
std::vector<std::string> varnelOptions(const std::filesystem::path& home,
                                       const std::string& now = "2026-12-10T09:00:00");

// Runs VARNEL_BINARY with `arguments` (without the program name) and waits
// for it. Throws std::runtime_error when the process cannot be started.
ProgramRun runVarnel(const std::vector<std::string>& arguments);

}  // namespace varnel::testing
