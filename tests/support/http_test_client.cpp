#include "support/http_test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace varnel::testing {

HttpTestClient::HttpTestClient(uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  const timeval timeout{10, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    ::close(fd_);
    throw std::runtime_error(std::string("connect: ") + std::strerror(error));
  }
}

HttpTestClient::~HttpTestClient() { ::close(fd_); }

void HttpTestClient::send(const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the server closed; what it replied is still readable
    sent += static_cast<std::size_t>(n);
  }
}

bool HttpTestClient::fill() {
  if (closed_) return false;
  char chunk[65536];
  ssize_t n;
  do {
    n = ::recv(fd_, chunk, sizeof chunk, 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) {
    // End of stream, a reset, or the ten seconds ran out: no more bytes.
    closed_ = true;
    return false;
  }
  buffer_.append(chunk, static_cast<std::size_t>(n));
  return true;
}

std::optional<HttpReply> HttpTestClient::readReply(bool headOnly) {
  std::size_t end;
  while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
    if (!fill()) return std::nullopt;
  }
  HttpReply reply;
  reply.head = buffer_.substr(0, end + 4);
  buffer_.erase(0, end + 4);
  reply.status = std::atoi(reply.head.substr(9, 3).c_str());
  std::size_t line = reply.head.find("\r\n") + 2;
  while (line < end) {
    const std::size_t next = reply.head.find("\r\n", line);
    const std::string field = reply.head.substr(line, next - line);
    const std::size_t colon = field.find(':');
    std::string name = field.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    reply.fields[name] = field.substr(colon + 2);
    line = next + 2;
  }
  if (!headOnly && reply.status >= 200) {
    const std::size_t length = std::stoull(reply.fields["content-length"]);
    reply.body = readBytes(length);
  }
  return reply;
}

std::string HttpTestClient::readBytes(std::size_t count) {
  while (buffer_.size() < count) {
    if (!fill()) break;
  }
  const std::size_t taken = std::min(count, buffer_.size());
  std::string bytes = buffer_.substr(0, taken);
  buffer_.erase(0, taken);
  return bytes;
}

std::string HttpTestClient::readUntilClosed() {
  while (fill()) {
  }
  std::string rest;
  rest.swap(buffer_);
  return rest;
}

std::string getRequest(const std::string& target, const std::string& extra, const std::string& method) {
  return method + " " + target + " HTTP/1.1\r\nHost: localhost\r\n" + extra + "\r\n";
}

}  // namespace varnel::testing
