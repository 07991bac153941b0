#include "backup/gzip_file.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

#include <gtest/gtest.h>

#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::readBytes;
using testing::writeBytes;

// Text that compresses like a ledger does, with random stretches between.
std::string sample(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string bytes;
  bytes.reserve(size);
  while (bytes.size() < size) {
    if (random() % 4 == 0) {
      for (int i = 0; i < 64 && bytes.size() < size; ++i) bytes += static_cast<char>(random());
    } else {
      const std::string row = "2026-12-" + std::to_string(random() % 28 + 1) + "|Food|" + std::to_string(random() % 100000) + "\n";
      bytes += row.substr(0, size - bytes.size());
    }
  }
  return bytes;
}

std::string systemGunzip(const std::filesystem::path& file) {
  const std::string command = "gzip -dc '" + file.string() + "' 2>/dev/null";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return "<no gzip>";
  std::string out;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  return ::pclose(pipe) == 0 ? out : "<gzip failed>";
}

TEST(GzipFile, WhatIsWrittenIsReadBackByUsAndByGzip) {
  const testing::TempDir dir;
  // Around the slice size, where the slices meet, and several slices long.
  for (const size_t size : {size_t{0}, size_t{1}, size_t{32768}, size_t{1} << 20, (size_t{1} << 20) + 1,
                            (size_t{5} << 20) + 123}) {
    SCOPED_TRACE(size);
    const std::string bytes = sample(size, static_cast<uint32_t>(size));
    writeBytes(dir.path() / "in", bytes);
    ASSERT_TRUE(gzipFile(dir.path() / "in", dir.path() / "in.gz"));
    ASSERT_TRUE(gunzipFile(dir.path() / "in.gz", dir.path() / "out"));
    EXPECT_TRUE(readBytes(dir.path() / "out") == bytes);
    EXPECT_TRUE(systemGunzip(dir.path() / "in.gz") == bytes);
    if (size > 4096) {
      EXPECT_LT(std::filesystem::file_size(dir.path() / "in.gz"), size);
    }
  }
}

TEST(GzipFile, ReadsEveryMemberOfAConcatenatedFile) {
  const testing::TempDir dir;
  writeBytes(dir.path() / "a", sample(3000, 1));
  writeBytes(dir.path() / "b", sample(5000, 2));
  ASSERT_TRUE(gzipFile(dir.path() / "a", dir.path() / "a.gz"));
  ASSERT_TRUE(gzipFile(dir.path() / "b", dir.path() / "b.gz"));
  writeBytes(dir.path() / "ab.gz", readBytes(dir.path() / "a.gz") + readBytes(dir.path() / "b.gz"));
  ASSERT_TRUE(gunzipFile(dir.path() / "ab.gz", dir.path() / "ab"));
  EXPECT_EQ(readBytes(dir.path() / "ab"), sample(3000, 1) + sample(5000, 2));
}

TEST(GzipFile, RefusesAFileThatIsNotWholeAndLeavesNothingBehind) {
  const testing::TempDir dir;
  writeBytes(dir.path() / "in", sample(3 << 20, 7));
  ASSERT_TRUE(gzipFile(dir.path() / "in", dir.path() / "in.gz"));
  const std::string whole = readBytes(dir.path() / "in.gz");
  auto flipped = [&](size_t at) {
    std::string bytes = whole;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
    return bytes;
  };
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"empty", "", "empty"},
      {"not gzip", "SQLite format 3", "does not start as gzip"},
      {"header only", whole.substr(0, 10), "cut short"},
      {"cut in the middle", whole.substr(0, whole.size() / 2), "cut short"},
      {"trailer missing", whole.substr(0, whole.size() - 8), "cut short"},
      {"trailer cut short", whole.substr(0, whole.size() - 1), "cut short"},
      {"a bit flipped in the data", flipped(whole.size() / 2), "damaged"},
      {"a bit flipped in the checksum", flipped(whole.size() - 6), "incorrect data check"},
      {"a bit flipped in the length", flipped(whole.size() - 2), "incorrect length check"},
      {"garbage after the end", whole + "garbage", "data follows the end"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(dir.path() / "bad.gz", c.bytes);
    const Status status = gunzipFile(dir.path() / "bad.gz", dir.path() / "bad");
    ASSERT_FALSE(status.isOk());
    EXPECT_EQ(status.code(), StatusCode::kInvalidInput);
    EXPECT_NE(status.message().find(c.reason), std::string::npos) << status.message();
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "bad"));
  }
}

}  // namespace
}  // namespace varnel
