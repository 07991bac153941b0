// Announcing the server on the local network (DNS-SD over multicast DNS),
// so that browsers and phones can find it by name. Avahi does the work: its
// publishing tool runs as our child for as long as the service is to be
// seen. Without the Avahi daemon the announcement is logged and skipped; the
// server works the same, only unannounced.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>

namespace spdlog {
class logger;
}

namespace varnel::web {

// Where Avahi's pieces are (tests point these at stand-ins).
struct AnnouncementTool {
  // The publishing program, looked up on PATH unless it has a folder.
  std::filesystem::path program = "avahi-publish-service";
  // The daemon's socket: the daemon runs when it exists.
  std::filesystem::path daemonSocket = "/run/avahi-daemon/socket";
};

class ServiceAnnouncement : public std::enable_shared_from_this<ServiceAnnouncement> {
 public:
  enum class State { kIdle, kSkipped, kPending, kPublished, kFailed };

  ServiceAnnouncement(asio::io_context& io, std::shared_ptr<spdlog::logger> log, AnnouncementTool tool);
  ~ServiceAnnouncement();
  ServiceAnnouncement(const ServiceAnnouncement&) = delete;
  ServiceAnnouncement& operator=(const ServiceAnnouncement&) = delete;

  // Starts publishing service `type` ("_http._tcp.") named `name` (this
  // machine's name when empty) in `domain` on `port`. The outcome arrives on
  // the event loop and is logged: "Bonjour Service Published: domain(…)
  // type(…) name(…)", or "Failed to Publish Service: domain(…) type(…)
  // name(…)" followed by "Error Dict: <the tool's words>".
  void publish(const std::string& domain, const std::string& type, const std::string& name,
               uint16_t port, const std::map<std::string, std::string>& txtRecord);
  // Withdraws the service: ends the publishing child and waits for it.
  void withdraw();
  State state() const { return state_; }

 private:
  void readOutput();
  void onOutputEnded();
  void endChild();
  void logFailure(const std::string& reason);

  std::shared_ptr<spdlog::logger> log_;
  AnnouncementTool tool_;
  State state_ = State::kIdle;
  pid_t child_ = -1;
  asio::posix::stream_descriptor output_;
  char buffer_[512];
  std::string text_;
  std::string domain_, type_, name_;
};

}  // namespace varnel::web
