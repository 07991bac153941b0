// `varnel export xlsx` as a person runs it: the download's name in the
// current folder, the workbook read back by an independent reader, and a
// write that the system cuts short.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/program_run.h"
#include "support/test_ledger.h"
#include "support/workbook_reader.h"

namespace varnel {
namespace {

using nlohmann::json;

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// `word` as one word of a shell command.
std::string shellWord(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

class ExportProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder());
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"tx", "add", "expense", "--account", "Cash", "--category", "Food", "--amount", "12.5", "--date",
              "2026-12-01T12:30", "--memo", "lunch"},
             {"tx", "add", "transfer", "--account", "Bank Accounts", "--to", "Cash", "--amount", "40", "--date",
              "2026-12-02T08:00", "--content", "cash"},
             {"tx", "add", "income", "--account", "Bank Accounts", "--category", "Salary", "--amount", "2500", "--date",
              "2026-12-03T09:00", "--content", "pay"},
         }) {
      const testing::ProgramRun run = varnel(args);
      ASSERT_EQ(run.exitCode, 0) << run.err;
    }
  }
  testing::ProgramRun varnel(std::vector<std::string> args) {
    std::vector<std::string> all = testing::varnelOptions(home());
    all.insert(all.end(), args.begin(), args.end());
    return testing::runVarnel(all);
  }
  // Runs `varnel export …` through the shell from the output folder, after
  // `prelude` (shell commands that set limits).
  testing::ProgramRun shellExport(const std::string& prelude, const std::string& arguments) {
    std::string command = "cd " + shellWord(folder().string()) + " && " + prelude + " exec " + shellWord(VARNEL_BINARY);
    for (const auto& o : testing::varnelOptions(home())) command += " " + shellWord(o);
    command += " export xlsx " + arguments;
    const auto out = dir_.path() / "stdout", err = dir_.path() / "stderr";
    const int status = std::system(
        ("sh -c " + shellWord(command) + " >" + shellWord(out.string()) + " 2>" + shellWord(err.string())).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
  }
  std::filesystem::path home() const { return dir_.path() / "home"; }
  std::filesystem::path folder() const { return dir_.path() / "downloads"; }

  testing::TempDir dir_;
};

TEST_F(ExportProgramTest, WritesTheDownloadNameInTheCurrentFolderReadableByAnotherProgram) {
  const testing::ProgramRun run = shellExport("", "--from 2026-12-01 --to 2026-12-31");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto file = folder() / "CASHBOOK_2026-12-01~2026-12-31.xlsx";
  EXPECT_EQ(run.out, "Wrote 4 transactions to " + file.string() + "\n");
  EXPECT_EQ(run.err, "");

  // A new ledger shows dates only, newest first, in the US order; the main
  // currency is the dollar, shown with cents.
  const json rows = testing::readWorkbook(file)["rows"];
  ASSERT_EQ(rows.size(), 5u);
  auto cells = [&](size_t row, std::initializer_list<size_t> columns) {
    json out = json::array();
    for (size_t c : columns) out.push_back(rows[row][c].is_null() ? json() : rows[row][c]["value"]);
    return out;
  };
  EXPECT_EQ(cells(0, {0, 1, 5, 6, 7}), json({"Date", "Account", "USD", "Type", "Memo"}));
  EXPECT_EQ(cells(1, {0, 1, 2, 4, 5, 6}),
            json({"2026-12-03T09:00:00", "Bank Accounts", "Salary", "pay", 2500, "Income"}));
  EXPECT_EQ(cells(2, {1, 2, 3, 6}), json({"Cash", "Bank Accounts", nullptr, "Transfer in"}));
  EXPECT_EQ(cells(3, {1, 2, 3, 6}), json({"Bank Accounts", "Cash", nullptr, "Transfer out"}));
  EXPECT_EQ(cells(4, {0, 2, 5, 6, 7, 9}), json({"2026-12-01T12:30:00", "Food", 12.5, "Expense", "lunch", "USD"}));
  EXPECT_EQ(rows[4][0]["format"], R"(mm"/"dd"/"yyyy)");
  EXPECT_EQ(rows[4][5]["format"], "#,##0.00");
}

TEST_F(ExportProgramTest, AWriteCutShortLeavesTheEarlierFileAndNoPartOfTheNewOne) {
  const auto target = folder() / "book.xlsx";
  { std::ofstream(target) << "the export of last month"; }
  // Files may grow to 4 blocks (2 or 4 KiB, as the shell counts them): room
  // for the log, not for the workbook (about 5.5 KiB). A process that passes
  // the limit is told so instead of being stopped.
  const testing::ProgramRun run =
      shellExport("ulimit -f 4; trap '' XFSZ;", "--from 2026-12-01 --to 2026-12-31 --out book.xlsx");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  // One line, ours; the library's own messages went to the log.
  EXPECT_TRUE(run.err.starts_with("varnel: cannot write the spreadsheet book.xlsx: writing the file: ")) << run.err;
  EXPECT_NE(run.err.find("File too large"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_NE(slurp(home() / "Application Support" / "varnel.log").find("xlsxwriter: "), std::string::npos);
  EXPECT_EQ(slurp(target), "the export of last month");
  std::vector<std::string> entries;
  for (const auto& e : std::filesystem::directory_iterator(folder())) entries.push_back(e.path().filename());
  EXPECT_EQ(entries, std::vector<std::string>{"book.xlsx"});
}

}  // namespace
}  // namespace varnel
