// Receiving an uploaded file from a multipart body as it streams in: every
// way of splitting the body gives the same file, and a body that ends
// early, holds no file or is too big never counts as whole.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/test_ledger.h"
#include "web/store_upload.h"

namespace varnel::web {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A file whose bytes look like pieces of the delimiter, to catch a search
// that forgets what the previous chunk ended with.
const std::string kFile = std::string("SQLite format 3") + '\0' + "\r\n--Bound\r\n--BoundaryX\r\n-tail";
const std::string kBody =
    "--BoundaryXYZ\r\n"
    "Content-Disposition: form-data; name=\"note\"\r\n\r\n"
    "hello\r\n"
    "--BoundaryXYZ\r\n"
    "Content-Disposition: form-data; name=\"file\"; filename=\"C:\\Users\\me\\varnel.sqlite\"\r\n"
    "Content-Type: application/octet-stream\r\n\r\n" +
    kFile +
    "\r\n--BoundaryXYZ--\r\n";

TEST(StoreUploadTest, FileNamesLoseEveryPathPart) {
  struct Case {
    std::string given;
    std::string name;
  } cases[] = {
      {"varnel.sqlite", "varnel.sqlite"},
      {"../../Documents/varnel.sqlite", "varnel.sqlite"},
      {"C:\\Users\\me\\backup.vnbak", "backup.vnbak"},
      {"..", "upload"},
      {"a/..", "upload"},
      {"", "upload"},
      {std::string("evil\0.sqlite", 12), "evil.sqlite"},
      {"line\r\nbreak", "linebreak"},
  };
  for (const auto& c : cases) EXPECT_EQ(uploadFileName(c.given), c.name) << c.given;
}

TEST(StoreUploadTest, EverySplitOfTheBodyGivesTheSameFile) {
  // Every finish syncs the file: in memory that costs nothing.
  testing::TempDir dir(testing::memoryBackedFolder());
  const fs::path target = dir.path() / "upload";
  for (std::size_t first = 0; first <= kBody.size(); ++first) {
    for (const std::size_t second : {first, std::min(kBody.size(), first + 3)}) {
      MultipartFileReceiver receiver(target, 1000);
      receiver.feed(std::string_view(kBody).substr(0, first));
      receiver.feed(std::string_view(kBody).substr(first, second - first));
      receiver.feed(std::string_view(kBody).substr(second));
      ASSERT_TRUE(receiver.finish()) << first << " " << receiver.failure();
      EXPECT_EQ(receiver.fileName(), "varnel.sqlite");
      ASSERT_EQ(readFile(target), kFile) << first;
    }
  }
  // Byte by byte as well.
  MultipartFileReceiver receiver(target, 1000);
  for (const char c : kBody) receiver.feed(std::string_view(&c, 1));
  ASSERT_TRUE(receiver.finish()) << receiver.failure();
  EXPECT_EQ(readFile(target), kFile);
}

TEST(StoreUploadTest, IncompleteEmptyOrOversizedUploadsAreNeverWhole) {
  testing::TempDir dir;
  const fs::path target = dir.path() / "upload";
  struct Case {
    std::string body;
    uint64_t limit;
    const char* failure;
  } cases[] = {
      {kBody.substr(0, kBody.size() - 20), 1000, "the upload ended before its file did"},
      {kBody.substr(0, kBody.find("\r\n--BoundaryXYZ--")), 1000, "the upload ended before its file did"},
      {"--BoundaryXYZ\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nx\r\n--BoundaryXYZ--\r\n", 1000,
       "the upload holds no file"},
      {"not a multipart body at all", 1000, "the upload holds no file"},
      {std::string(300, 'x'), 1000, "the body is not a multipart upload"},
      {kBody, 40, "the file is larger than 40 bytes"},
  };
  for (const auto& c : cases) {
    MultipartFileReceiver receiver(target, c.limit);
    receiver.feed(c.body);
    EXPECT_FALSE(receiver.finish());
    EXPECT_EQ(receiver.failure(), c.failure) << c.body;
  }
}

}  // namespace
}  // namespace varnel::web
