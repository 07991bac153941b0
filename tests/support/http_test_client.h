// A blocking HTTP client on a raw TCP socket, for tests that must see every
// byte a server sends and when it closes. Every read gives up after ten
// seconds, so a server that hangs fails the test instead of stalling it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace varnel::testing {

struct HttpReply {
  int status = 0;
  std::string head;  // status line and fields, the empty line included
  std::string body;
  std::map<std::string, std::string> fields;  // names in lower case
};

class HttpTestClient {
 public:
  // Connects to 127.0.0.1:port; throws std::runtime_error when it cannot.
  explicit HttpTestClient(uint16_t port);
  ~HttpTestClient();
  HttpTestClient(const HttpTestClient&) = delete;
  HttpTestClient& operator=(const HttpTestClient&) = delete;

  void send(const std::string& bytes);
  // Reads one reply: its head, then Content-Length bytes of body (none when
  // `headOnly`). None when the connection ends before a whole head.
  std::optional<HttpReply> readReply(bool headOnly = false);
  // Reads until the server closes; what arrived (after any reply already
  // read). Empty when the connection ended without another byte.
  std::string readUntilClosed();
  // Reads exactly `count` bytes, or what arrived before the connection ended.
  std::string readBytes(std::size_t count);
  // True when the server has closed the connection without sending more.
  bool closedByServer() { return readUntilClosed().empty() && closed_; }

 private:
  bool fill();

  int fd_ = -1;
  std::string buffer_;
  bool closed_ = false;
};

// "GET <target> HTTP/1.1" with "Host: localhost" and `extra` fields (each
// ending in CRLF).
std::string getRequest(const std::string& target, const std::string& extra = "",
                       const std::string& method = "GET");

}  // namespace varnel::testing
