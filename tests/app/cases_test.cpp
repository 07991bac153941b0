// Runs the `varnel` program over the case files in tests/app/cases. A case
// file is a script: "$ varnel …" runs the program in a fresh data folder of
// its own (with a fixed clock, time zone and locale unless the line gives
// them), the lines after it are the expected standard output, "! exit N"
// the expected exit code (0 otherwise) and "! stderr TEXT" the expected
// standard error. "{HOME}" stands for the data folder and "{UID}" for any
// new record identifier. Commands other than varnel run as shell commands. Lines starting "#" are
// comments.
#include <array>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "support/test_ledger.h"

namespace varnel {
namespace {

struct Step {
  std::string command;
  std::string expectedOut;
  std::string expectedErr;
  int expectedExit = 0;
  int line = 0;
};

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size()) {
    s.replace(pos, from.size(), to);
  }
  return s;
}

std::vector<Step> parseCase(const std::filesystem::path& file) {
  std::vector<Step> steps;
  std::ifstream in(file);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.rfind("$ ", 0) == 0) {
      steps.push_back({line.substr(2), "", "", 0, number});
    } else if (steps.empty() || line.rfind("#", 0) == 0) {
      continue;
    } else if (line.rfind("! exit ", 0) == 0) {
      steps.back().expectedExit = std::stoi(line.substr(7));
    } else if (line.rfind("! stderr ", 0) == 0) {
      steps.back().expectedErr += line.substr(9) + "\n";
    } else {
      steps.back().expectedOut += line + "\n";
    }
  }
  // A blank line before the next step or comment only separates.
  for (auto& step : steps) {
    while (step.expectedOut.size() >= 2 && step.expectedOut.ends_with("\n\n")) step.expectedOut.pop_back();
    if (step.expectedOut == "\n") step.expectedOut.clear();
  }
  return steps;
}

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class CaseFiles : public ::testing::TestWithParam<std::string> {};

TEST_P(CaseFiles, ProduceTheirExpectedOutput) {
  testing::TempDir dir;
  const std::string home = (dir.path() / "home").string();
  const auto file = std::filesystem::path(VARNEL_CASES_DIR) / GetParam();
  for (const Step& step : parseCase(file)) {
    std::string command = replaceAll(step.command, "{HOME}", home);
    std::string globals;
    if (command.find("--home") == std::string::npos) globals += " --home '" + home + "'";
    if (command.find("--now") == std::string::npos) globals += " --now 2026-12-10T09:00:00";
    if (command.find("--tz") == std::string::npos) globals += " --tz Asia/Seoul";
    if (command.find("--locale") == std::string::npos) globals += " --locale en_US";
    // Other commands (sqlite3, mkdir) prepare files and run as they stand.
    if (command.rfind("varnel", 0) == 0) {
      command = std::string("'") + VARNEL_BINARY + "'" + globals + command.substr(6);
    }
    const auto out = dir.path() / "out", err = dir.path() / "err";
    const int status = std::system(("( " + command + " ) >'" + out.string() + "' 2>'" + err.string() + "'").c_str());
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const std::string where = GetParam() + ":" + std::to_string(step.line) + ": " + step.command;
    EXPECT_EQ(code, step.expectedExit) << where << "\nstderr: " << slurp(err);
    // Fresh identifiers differ from run to run.
    static const std::regex kUid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
    EXPECT_EQ(std::regex_replace(slurp(out), kUid, "{UID}"),
              replaceAll(step.expectedOut, "{HOME}", home))
        << where;
    EXPECT_EQ(slurp(err), replaceAll(step.expectedErr, "{HOME}", home)) << where;
  }
}

std::vector<std::string> caseNames() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(VARNEL_CASES_DIR)) {
    if (entry.path().extension() == ".test") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Varnel, CaseFiles, ::testing::ValuesIn(caseNames()),
                         [](const auto& info) {
                           std::string name = info.param.substr(0, info.param.size() - 5);
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace varnel
