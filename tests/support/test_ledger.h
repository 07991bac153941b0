// A small ledger in a temporary folder with a fixed clock, time zone and
// locale, and a log that tests can read.
#pragma once

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "model/ledger.h"

namespace varnel::testing {

class TempDir {
 public:
  TempDir();
  // A folder inside `parent` instead of the system's temporary folder.
  explicit TempDir(const std::filesystem::path& parent);
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct TestLedgerOptions {
  std::string now = "2026-12-10T09:00:00";
  std::string tz = "Asia/Seoul";
  std::string locale = "ko_KR";
  std::string lang = "ko";
  std::string region = "KR";
};

// A folder whose files live in memory (/dev/shm) where the system has one,
// else the system's temporary folder: there a sync costs nothing, which tests
// that kill processes (whose written data survives them, synced or not) and
// make thousands of commits need to stay fast.
std::filesystem::path memoryBackedFolder();

// The whole content of a file, and a file made of `bytes` (replaced).
std::string readBytes(const std::filesystem::path& p);
void writeBytes(const std::filesystem::path& p, const std::string& bytes);

// The environment of a test ledger whose home is `home`.
Environment testEnvironment(const std::filesystem::path& home, const TestLedgerOptions& o = {});

class LedgerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  // Opens (again) the ledger of this test's home.
  void reopen(const TestLedgerOptions& o = {});
  std::string logText() const { return logStream_->str(); }

  TempDir dir_;
  std::shared_ptr<std::ostringstream> logStream_ = std::make_shared<std::ostringstream>();
  std::shared_ptr<spdlog::logger> log_;
  std::unique_ptr<Ledger> ledger_;
};

}  // namespace varnel::testing
