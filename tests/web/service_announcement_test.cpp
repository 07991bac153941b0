// The local-network announcement, with shell scripts standing in for
// Avahi's publishing tool and a plain file for the daemon's socket.
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>

#include <asio/io_context.hpp>
#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include "support/test_ledger.h"
#include "web/service_announcement.h"

namespace varnel::web {
namespace {

namespace fs = std::filesystem;

class ServiceAnnouncementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir_.path() / "avahi.socket");
    tool_.daemonSocket = dir_.path() / "avahi.socket";
    log_ = std::make_shared<spdlog::logger>("test", std::make_shared<spdlog::sinks::ostream_sink_st>(text_));
    log_->set_pattern("%v");
  }

  // A stand-in for the tool: records its arguments and its process id, then
  // runs `body`.
  void writeTool(const std::string& body) {
    tool_.program = dir_.path() / "publish";
    std::ofstream(tool_.program) << "#!/bin/sh\necho \"$@\" > '" << (dir_.path() / "arguments").string()
                                 << "'\necho $$ > '" << (dir_.path() / "pid").string() << "'\n"
                                 << body << "\n";
    fs::permissions(tool_.program, fs::perms::owner_all);
  }

  std::string file(const std::string& name) {
    std::ifstream in(dir_.path() / name);
    std::string line;
    std::getline(in, line);
    return line;
  }

  // Runs the loop until the announcement leaves `state`; the bound only
  // keeps a broken test from hanging.
  void runWhile(ServiceAnnouncement& announcement, ServiceAnnouncement::State state) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (announcement.state() == state && std::chrono::steady_clock::now() < giveUp) {
      io_.run_for(std::chrono::milliseconds(20));
      io_.restart();
    }
  }

  testing::TempDir dir_;
  asio::io_context io_;
  AnnouncementTool tool_;
  std::ostringstream text_;
  std::shared_ptr<spdlog::logger> log_;
};

TEST_F(ServiceAnnouncementTest, PublishedWhileTheToolRunsAndWithdrawnByEndingIt) {
  writeTool("echo \"Established under name 'Desk'\" >&2\nexec sleep 600");
  auto announcement = std::make_shared<ServiceAnnouncement>(io_, log_, tool_);
  announcement->publish("local.", "_http._tcp.", "Desk", 8888, {{"path", "/"}});
  EXPECT_EQ(announcement->state(), ServiceAnnouncement::State::kPending);
  runWhile(*announcement, ServiceAnnouncement::State::kPending);
  EXPECT_EQ(announcement->state(), ServiceAnnouncement::State::kPublished);
  EXPECT_EQ(text_.str(), "Bonjour Service Published: domain(local.) type(_http._tcp.) name(Desk)\n");
  EXPECT_EQ(file("arguments"), "--domain=local Desk _http._tcp 8888 path=/");

  const pid_t child = std::stoi(file("pid"));
  announcement->withdraw();
  EXPECT_EQ(announcement->state(), ServiceAnnouncement::State::kIdle);
  // Reaped, not left running or as a zombie.
  EXPECT_NE(::kill(child, 0), 0);
}

TEST_F(ServiceAnnouncementTest, AToolThatGivesUpIsLoggedWithItsWords) {
  writeTool("echo 'Failed to add service: Local name collision' >&2\nexit 1");
  auto announcement = std::make_shared<ServiceAnnouncement>(io_, log_, tool_);
  announcement->publish("local.", "_http._tcp.", "Desk", 8888, {});
  runWhile(*announcement, ServiceAnnouncement::State::kPending);
  EXPECT_EQ(announcement->state(), ServiceAnnouncement::State::kFailed);
  EXPECT_EQ(text_.str(),
            "Failed to Publish Service: domain(local.) type(_http._tcp.) name(Desk)\n"
            "Error Dict: Failed to add service: Local name collision; exit status 1\n");
}

TEST_F(ServiceAnnouncementTest, SkippedWithoutTheDaemonAndFailedWithoutTheTool) {
  tool_.daemonSocket = dir_.path() / "no-daemon";
  auto skipped = std::make_shared<ServiceAnnouncement>(io_, log_, tool_);
  skipped->publish("local.", "_http._tcp.", "Desk", 8888, {});
  EXPECT_EQ(skipped->state(), ServiceAnnouncement::State::kSkipped);
  EXPECT_NE(text_.str().find("Service announcement skipped: the Avahi daemon is not running"), std::string::npos);

  text_.str("");
  tool_.daemonSocket = dir_.path() / "avahi.socket";
  tool_.program = dir_.path() / "no-such-tool";
  auto missing = std::make_shared<ServiceAnnouncement>(io_, log_, tool_);
  missing->publish("local.", "_http._tcp.", "Desk", 8888, {});
  EXPECT_EQ(missing->state(), ServiceAnnouncement::State::kFailed);
  EXPECT_NE(text_.str().find("Error Dict: cannot run " + tool_.program.string() + ": No such file or directory"),
            std::string::npos)
      << text_.str();
}

}  // namespace
}  // namespace varnel::web
