// The embedded HTTP server: one listening socket, the live connections and
// the local-network announcement, all driven by one Asio event loop that the
// caller runs on the thread owning the ledger. No other thread touches the
// server or its connections, so they need no locks.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/steady_timer.hpp>

#include "web/allowed_hosts.h"
#include "web/http_connection.h"
#include "web/service_announcement.h"

namespace spdlog {
class logger;
}

namespace varnel::web {

struct HTTPServerSettings {
  // Where the base connection finds its files.
  std::filesystem::path documentRoot;
  // The address to listen on; empty listens on every interface (IPv6 and
  // IPv4 where the system has IPv6, else IPv4).
  std::string interface;
  // 0 lets the system choose; `listeningPort()` tells the one in use.
  uint16_t port = 0;
  // The ports the desktop access offers, in order: the first is the
  // default, and each change of port moves to the next, after the last to
  // the first.
  std::vector<uint16_t> portList{8888, 9999, 9090, 8080};
  // The announcement on the local network: skipped while `type` is empty.
  std::string domain = "local.";
  std::string type;
  std::string name;  // empty: this machine's name
  std::map<std::string, std::string> TXTRecordDictionary;
  AnnouncementTool announcementTool;

  // A connection waiting longer than this for the rest of a request head
  // (from the end of the previous reply), for the next bytes of a body, or
  // for a write to complete, is closed.
  std::chrono::milliseconds idleTimeout{30000};
  // Connections beyond this many are closed as soon as they are accepted.
  std::size_t maxConnections = 256;
  // A body announced larger than this is refused (413) before any of it is read.
  uint64_t maxRequestBodyLength = uint64_t{4} << 30;
  // The Host names answered (see allowed_hosts.h).
  AllowedHosts allowedHosts;
  // The clock of the "Date" header.
  std::function<std::chrono::system_clock::time_point()> clock = [] {
    return std::chrono::system_clock::now();
  };
  // The separator of a multipart reply's parts.
  std::function<std::string()> boundary = newBoundary;
};

class HTTPServer {
 public:
  // The port after `port` in the settings' port list; the first for a port
  // not in it.
  uint16_t nextPort(uint16_t port) const;

  using ConnectionFactory =
      std::function<std::shared_ptr<HTTPConnection>(std::unique_ptr<HTTPTransport>, HTTPServer&)>;

  // `log` takes one line per request; none logs nothing.
  HTTPServer(asio::io_context& io, HTTPServerSettings settings,
             std::shared_ptr<spdlog::logger> log = nullptr);
  ~HTTPServer();
  HTTPServer(const HTTPServer&) = delete;
  HTTPServer& operator=(const HTTPServer&) = delete;

  // The connection type made for each accepted socket (HTTPConnection
  // unless set).
  void setConnectionClass(ConnectionFactory factory) { connectionClass_ = std::move(factory); }
  template <class Connection>
  void setConnectionClass() {
    connectionClass_ = [](std::unique_ptr<HTTPTransport> socket, HTTPServer& server) {
      return std::make_shared<Connection>(std::move(socket), server);
    };
  }

  // The settings; changes to the listening ones take effect at the next start.
  HTTPServerSettings& settings() { return settings_; }
  const HTTPServerSettings& settings() const { return settings_; }

  // Listens on the settings' port and interface, logs "Started HTTP server
  // on port N" and starts the announcement. On failure logs "Failed to start
  // HTTP Server: <reason>", sets `error` and returns false; nothing is left
  // listening.
  [[nodiscard]] bool start(std::error_code& error);
  // Starts on the first port of the port list that is free; fails with the
  // last port's error when none is.
  [[nodiscard]] bool startOnFirstFreePort(std::error_code& error);
  // Withdraws the announcement, stops listening and closes every
  // connection. Returns true.
  bool stop();
  // Stops, then starts on the next port of the port list.
  [[nodiscard]] bool changePort(std::error_code& error);

  bool isRunning() const { return acceptor_.is_open(); }
  uint16_t listeningPort() const { return listeningPort_; }
  std::size_t numberOfHTTPConnections() const { return connections_.size(); }

  // Serves a stream that did not come through the listening socket (tests
  // script one in memory).
  void acceptConnection(std::unique_ptr<HTTPTransport> socket);

  // For connections: the log, today's "Date" text, and the end of one.
  spdlog::logger& log() { return *log_; }
  const std::string& currentDate();
  void connectionDidDie(HTTPConnection& connection);
  asio::io_context& ioContext() { return io_; }

 private:
  void acceptNext();

  asio::io_context& io_;
  HTTPServerSettings settings_;
  std::shared_ptr<spdlog::logger> log_;
  ConnectionFactory connectionClass_;
  asio::ip::tcp::acceptor acceptor_;
  asio::steady_timer acceptRetry_;
  uint16_t listeningPort_ = 0;
  std::vector<std::shared_ptr<HTTPConnection>> connections_;
  std::shared_ptr<ServiceAnnouncement> announcement_;
  std::time_t dateSecond_ = -1;
  std::string date_;
};

}  // namespace varnel::web
