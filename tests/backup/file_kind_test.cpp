#include "backup/file_kind.h"

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/test_ledger.h"

namespace varnel {
namespace {

TEST(FileKind, TellsFilesApartByTheirFirstBytes) {
  const struct {
    const char* name;
    std::string bytes;
    FileKind kind;
  } cases[] = {
      {"empty", "", FileKind::kEmpty},
      {"sqlite", std::string("SQLite format 3\0rest", 20), FileKind::kSqlite},
      {"sqlite header cut short", "SQLite format", FileKind::kOther},
      {"gzip", "\x1f\x8b\x08\x00", FileKind::kGzip},
      {"text", "date\tamount\n", FileKind::kOther},
  };
  const testing::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto file = dir.path() / c.name;
    std::ofstream(file, std::ios::binary) << c.bytes;
    const auto kind = sniffFileKind(file);
    ASSERT_TRUE(kind.isOk()) << kind.status().message();
    EXPECT_EQ(*kind, c.kind);
  }
  EXPECT_FALSE(sniffFileKind(dir.path() / "missing").isOk());
}

}  // namespace
}  // namespace varnel
