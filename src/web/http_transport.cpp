#include "web/http_transport.h"

#include <algorithm>
#include <cstring>

#include <asio/error.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>

namespace varnel::web {

namespace {

// An IPv4 peer of a socket that listens on IPv6 as well, as itself.
asio::ip::address unmapped(const asio::ip::address& address) {
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
  }
  return address;
}

}  // namespace

TcpTransport::TcpTransport(asio::ip::tcp::socket socket) : socket_(std::move(socket)) {
  std::error_code error;
  const auto remote = socket_.remote_endpoint(error);
  if (!error) remote_ = unmapped(remote.address()).to_string();
  const auto local = socket_.local_endpoint(error);
  if (!error) local_ = unmapped(local.address());
  // Heads and small replies go out at once instead of waiting for more.
  socket_.set_option(asio::ip::tcp::no_delay(true), error);
}

void TcpTransport::asyncReadSome(asio::mutable_buffer buffer, IoHandler handler) {
  socket_.async_read_some(buffer, std::move(handler));
}

void TcpTransport::asyncWrite(WriteBuffers buffers, IoHandler handler) {
  asio::async_write(socket_, buffers, std::move(handler));
}

void TcpTransport::shutdownSend() {
  std::error_code ignored;
  socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
}

void TcpTransport::close() {
  std::error_code ignored;
  socket_.close(ignored);
}

MemoryTransport::MemoryTransport(asio::any_io_executor executor, std::deque<std::string> input,
                                 std::shared_ptr<Record> record, std::string remote)
    : executor_(std::move(executor)),
      input_(std::move(input)),
      record_(std::move(record)),
      remote_(std::move(remote)) {}

void MemoryTransport::asyncReadSome(asio::mutable_buffer buffer, IoHandler handler) {
  while (!input_.empty() && input_.front().empty()) input_.pop_front();
  if (record_->closed || input_.empty()) {
    const std::error_code error =
        record_->closed ? asio::error::operation_aborted : asio::error::make_error_code(asio::error::eof);
    asio::post(executor_, [handler = std::move(handler), error] { handler(error, 0); });
    return;
  }
  std::string& piece = input_.front();
  const std::size_t count = std::min(buffer.size(), piece.size());
  std::memcpy(buffer.data(), piece.data(), count);
  piece.erase(0, count);
  asio::post(executor_, [handler = std::move(handler), count] { handler({}, count); });
}

void MemoryTransport::asyncWrite(WriteBuffers buffers, IoHandler handler) {
  std::size_t total = 0;
  const bool full = record_->output.size() > record_->outputLimit;
  if (!record_->closed && !record_->sendShutdown && !full) {
    for (const auto& buffer : buffers) {
      record_->output.append(static_cast<const char*>(buffer.data()), buffer.size());
      total += buffer.size();
    }
  }
  const std::error_code error =
      record_->closed || record_->sendShutdown || full ? asio::error::broken_pipe : std::error_code();
  asio::post(executor_, [handler = std::move(handler), error, total] { handler(error, total); });
}

}  // namespace varnel::web
