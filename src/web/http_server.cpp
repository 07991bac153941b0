#include "web/http_server.h"

#include <algorithm>

#include <asio/error.hpp>
#include <spdlog/spdlog.h>

namespace varnel::web {

uint16_t HTTPServer::nextPort(uint16_t port) const {
  const auto& list = settings_.portList;
  if (list.empty()) return port;
  const auto found = std::find(list.begin(), list.end(), port);
  if (found == list.end() || found + 1 == list.end()) return list.front();
  return *(found + 1);
}

HTTPServer::HTTPServer(asio::io_context& io, HTTPServerSettings settings,
                       std::shared_ptr<spdlog::logger> log)
    : io_(io),
      settings_(std::move(settings)),
      log_(log ? std::move(log) : std::make_shared<spdlog::logger>("http", spdlog::sinks_init_list{})),
      acceptor_(io),
      acceptRetry_(io) {
  setConnectionClass<HTTPConnection>();
}

HTTPServer::~HTTPServer() { stop(); }

bool HTTPServer::start(std::error_code& error) {
  if (isRunning()) stop();
  error.clear();
  const auto fail = [&](const std::error_code& reason) {
    std::error_code ignored;
    acceptor_.close(ignored);
    error = reason;
    log_->error("Failed to start HTTP Server: {}", reason.message());
    return false;
  };

  asio::ip::tcp::endpoint endpoint;
  bool dualStack = false;
  if (settings_.interface.empty()) {
    // Every interface: IPv6 also takes IPv4 connections, where there is IPv6.
    endpoint = asio::ip::tcp::endpoint(asio::ip::tcp::v6(), settings_.port);
    acceptor_.open(endpoint.protocol(), error);
    if (error) {
      endpoint = asio::ip::tcp::endpoint(asio::ip::tcp::v4(), settings_.port);
      acceptor_.open(endpoint.protocol(), error);
    } else {
      dualStack = true;
    }
  } else {
    const auto address = asio::ip::make_address(settings_.interface, error);
    if (error) return fail(error);
    endpoint = asio::ip::tcp::endpoint(address, settings_.port);
    acceptor_.open(endpoint.protocol(), error);
  }
  if (error) return fail(error);
  if (dualStack) acceptor_.set_option(asio::ip::v6_only(false), error);
  // A restart may take the port back while old connections linger in TIME_WAIT.
  acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true), error);
  acceptor_.bind(endpoint, error);
  if (error) return fail(error);
  acceptor_.listen(asio::socket_base::max_listen_connections, error);
  if (error) return fail(error);
  listeningPort_ = acceptor_.local_endpoint(error).port();
  if (error) return fail(error);

  log_->info("Started HTTP server on port {}", listeningPort_);
  if (!settings_.type.empty()) {
    announcement_ = std::make_shared<ServiceAnnouncement>(io_, log_, settings_.announcementTool);
    announcement_->publish(settings_.domain, settings_.type, settings_.name, listeningPort_,
                           settings_.TXTRecordDictionary);
  }
  acceptNext();
  return true;
}

bool HTTPServer::startOnFirstFreePort(std::error_code& error) {
  const std::vector<uint16_t> ports = settings_.portList;
  for (const uint16_t port : ports) {
    settings_.port = port;
    if (start(error)) return true;
    if (error != asio::error::address_in_use) return false;
  }
  if (ports.empty()) error = asio::error::invalid_argument;
  return false;
}

bool HTTPServer::stop() {
  if (announcement_) {
    announcement_->withdraw();
    announcement_.reset();
  }
  acceptRetry_.cancel();
  if (acceptor_.is_open()) {
    std::error_code ignored;
    acceptor_.close(ignored);
    log_->info("Stopped HTTP server on port {}", listeningPort_);
  }
  listeningPort_ = 0;
  // Each connection takes itself off the list as it closes.
  const auto live = std::move(connections_);
  connections_.clear();
  for (const auto& connection : live) connection->stop();
  return true;
}

bool HTTPServer::changePort(std::error_code& error) {
  settings_.port = nextPort(listeningPort_ != 0 ? listeningPort_ : settings_.port);
  stop();
  return start(error);
}

void HTTPServer::acceptNext() {
  acceptor_.async_accept([this](const std::error_code& error, asio::ip::tcp::socket socket) {
    // Checked first: after a stop the server itself may be gone.
    if (error == asio::error::operation_aborted) return;
    if (!acceptor_.is_open()) return;
    if (error) {
      // Out of file descriptors and the like: try again shortly instead of
      // spinning on an error that persists.
      log_->warn("Accepting a connection failed: {}", error.message());
      acceptRetry_.expires_after(std::chrono::milliseconds(100));
      acceptRetry_.async_wait([this](const std::error_code& waited) {
        if (!waited && acceptor_.is_open()) acceptNext();
      });
      return;
    }
    acceptConnection(std::make_unique<TcpTransport>(std::move(socket)));
    acceptNext();
  });
}

void HTTPServer::acceptConnection(std::unique_ptr<HTTPTransport> socket) {
  if (connections_.size() >= settings_.maxConnections) {
    log_->warn("{} refused: {} connections are open", socket->remoteAddress(), connections_.size());
    socket->close();
    return;
  }
  auto connection = connectionClass_(std::move(socket), *this);
  connections_.push_back(connection);
  connection->start();
}

void HTTPServer::connectionDidDie(HTTPConnection& connection) {
  const auto found = std::find_if(connections_.begin(), connections_.end(),
                                  [&](const auto& live) { return live.get() == &connection; });
  if (found != connections_.end()) connections_.erase(found);
}

const std::string& HTTPServer::currentDate() {
  const auto now = settings_.clock();
  const std::time_t second = std::chrono::system_clock::to_time_t(now);
  if (second != dateSecond_) {
    date_ = dateAsString(now);
    dateSecond_ = second;
  }
  return date_;
}

}  // namespace varnel::web
