#include "support/test_ledger.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>

#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

namespace varnel::testing {

TempDir::TempDir() : TempDir(std::filesystem::temp_directory_path()) {}

TempDir::TempDir(const std::filesystem::path& parent) {
  std::random_device rd;
  path_ = parent / ("varnel-test-" + std::to_string(rd()) + std::to_string(rd()));
  std::filesystem::create_directories(path_);
}

std::string readBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeBytes(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

std::filesystem::path memoryBackedFolder() {
  std::error_code ec;
  const std::filesystem::path shm = "/dev/shm";
  if (std::filesystem::is_directory(shm, ec) && ::access(shm.c_str(), W_OK) == 0) return shm;
  return std::filesystem::temp_directory_path();
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

Environment testEnvironment(const std::filesystem::path& home, const TestLedgerOptions& o) {
  EnvironmentOptions options;
  options.home = home.string();
  options.now = o.now;
  options.tz = o.tz;
  options.locale = o.locale;
  options.lang = o.lang;
  options.region = o.region;
  return Environment::make(options);
}

void LedgerTest::SetUp() {
  auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(*logStream_);
  log_ = std::make_shared<spdlog::logger>("test", sink);
  log_->set_pattern("%v");
  reopen();
}

void LedgerTest::reopen(const TestLedgerOptions& o) {
  ledger_.reset();
  ledger_ = Ledger::open(testEnvironment(dir_.path() / "home", o), log_);
}

}  // namespace varnel::testing
