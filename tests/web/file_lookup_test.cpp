// The file lookup never leaves the document root, whatever the target says.
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_ledger.h"
#include "web/file_lookup.h"
#include "web/http_response.h"

namespace varnel::web {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// root/ holds index.html, a.txt, "b c.txt", sub/index.html, sub/page.html,
// a link to a.txt and links that point out of it; root2/ beside it shares
// its name's prefix; secret.txt lies beside both.
class FileLookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.path() / "root";
    write(root_ / "index.html", "home");
    write(root_ / "a.txt", "a");
    write(root_ / "b c.txt", "bc");
    write(root_ / "sub" / "index.html", "sub home");
    write(root_ / "sub" / "page.html", "page");
    write(dir_.path() / "root2" / "x.txt", "x");
    write(dir_.path() / "secret.txt", "secret");
    fs::create_symlink(root_ / "a.txt", root_ / "inside-link.txt");
    fs::create_symlink(dir_.path() / "secret.txt", root_ / "outside-link.txt");
    fs::create_directory_symlink(dir_.path(), root_ / "up");
  }

  std::string lookup(const std::string& uri) {
    const auto file = filePathForURI(root_, uri);
    if (!file) return "none";
    return fs::relative(*file, dir_.path()).string();
  }

  testing::TempDir dir_;
  fs::path root_;
};

TEST_F(FileLookupTest, FindsFilesInsideTheRoot) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/", "root/index.html"},
      {"/index.html", "root/index.html"},
      {"//a.txt", "root/a.txt"},
      {"/a.txt?x=1&y=/../../secret.txt", "root/a.txt"},
      {"/b%20c.txt", "root/b c.txt"},
      {"/sub/", "root/sub/index.html"},
      {"/sub/page.html", "root/sub/page.html"},
      {"/sub/./page.html", "root/sub/page.html"},
      {"/inside-link.txt", "root/a.txt"},
      // Judged by where the links lead: out and back in is inside.
      {"/up/root/a.txt", "root/a.txt"},
  };
  for (const auto& [uri, file] : cases) EXPECT_EQ(lookup(uri), file) << uri;
}

TEST_F(FileLookupTest, NeverLeavesTheRoot) {
  for (const char* uri : {"/../secret.txt", "/sub/../../secret.txt", "/%2e%2e/secret.txt", "/%2E%2E%2Fsecret.txt",
                          "/sub/..%2f..%2fsecret.txt", "/..", "/../root2/x.txt", "/outside-link.txt",
                          "/up/secret.txt", "/a.txt%00.html", "/a.txt%", "/a.txt%4",
                          "/a.txt%zz", "/sub", "/missing.html", "/sub/missing/"}) {
    EXPECT_EQ(lookup(uri), "none") << uri;
  }
  EXPECT_FALSE(filePathForURI("", "/index.html"));
  EXPECT_FALSE(filePathForURI(dir_.path() / "no-such-root", "/index.html"));
}

TEST_F(FileLookupTest, AFileResponseServesTheFileItOpened) {
  auto response = HTTPFileResponse::open(root_ / "sub" / "page.html");
  ASSERT_TRUE(response);
  // Replaced after opening: the reply keeps the bytes and length it announced.
  fs::remove(root_ / "sub" / "page.html");
  write(root_ / "sub" / "page.html", "a longer page");
  EXPECT_EQ(response->contentLength(), 4u);
  response->setOffset(1);
  EXPECT_EQ(response->readDataOfLength(100), "age");
  EXPECT_EQ(response->readDataOfLength(100), "");
  EXPECT_EQ(response->httpHeaders().at(0).second, "text/html; charset=UTF-8");
  EXPECT_FALSE(HTTPFileResponse::open(root_ / "sub"));
  EXPECT_FALSE(HTTPFileResponse::open(root_ / "missing"));
}

}  // namespace
}  // namespace varnel::web
