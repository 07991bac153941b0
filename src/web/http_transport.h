// The byte stream under one connection: a TCP socket, or bytes in memory
// for tests that must control exactly how a request is split across reads.
// Completions run on the transport's executor, never inside the call.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include <asio/any_io_executor.hpp>
#include <asio/buffer.hpp>
#include <asio/ip/address.hpp>
#include <asio/ip/tcp.hpp>

namespace varnel::web {

using IoHandler = std::function<void(const std::error_code& error, std::size_t bytes)>;
// A write sends the first buffer and then the second; either may be empty.
using WriteBuffers = std::array<asio::const_buffer, 2>;

class HTTPTransport {
 public:
  virtual ~HTTPTransport() = default;
  virtual asio::any_io_executor executor() = 0;
  // Reads at least one byte into `buffer` (or fails: end of stream, closed).
  virtual void asyncReadSome(asio::mutable_buffer buffer, IoHandler handler) = 0;
  // Writes every byte of both buffers, which must stay valid until then.
  virtual void asyncWrite(WriteBuffers buffers, IoHandler handler) = 0;
  // Ends our sending side; reading goes on.
  virtual void shutdownSend() = 0;
  // Closes at once; pending operations fail.
  virtual void close() = 0;
  // The peer's address, for the log.
  virtual std::string remoteAddress() const = 0;
  // The address of ours the peer reached, when known.
  virtual std::optional<asio::ip::address> localAddress() const = 0;
};

class TcpTransport : public HTTPTransport {
 public:
  explicit TcpTransport(asio::ip::tcp::socket socket);
  asio::any_io_executor executor() override { return socket_.get_executor(); }
  void asyncReadSome(asio::mutable_buffer buffer, IoHandler handler) override;
  void asyncWrite(WriteBuffers buffers, IoHandler handler) override;
  void shutdownSend() override;
  void close() override;
  std::string remoteAddress() const override { return remote_; }
  std::optional<asio::ip::address> localAddress() const override { return local_; }

 private:
  asio::ip::tcp::socket socket_;
  std::string remote_;
  std::optional<asio::ip::address> local_;
};

// Serves scripted input: each read returns bytes from the current input
// piece only, so a request split into pieces arrives in exactly those reads;
// after the last piece reads end with end-of-stream. What is written is kept
// in the shared record, which outlives the connection.
class MemoryTransport : public HTTPTransport {
 public:
  struct Record {
    std::string output;
    bool sendShutdown = false;
    bool closed = false;
    // Writes beyond this many bytes fail, so a connection that never stops
    // replying ends instead of filling the memory.
    std::size_t outputLimit = std::size_t{64} << 20;
  };

  MemoryTransport(asio::any_io_executor executor, std::deque<std::string> input,
                  std::shared_ptr<Record> record, std::string remote = "memory");
  asio::any_io_executor executor() override { return executor_; }
  void asyncReadSome(asio::mutable_buffer buffer, IoHandler handler) override;
  void asyncWrite(WriteBuffers buffers, IoHandler handler) override;
  void shutdownSend() override { record_->sendShutdown = true; }
  void close() override { record_->closed = true; }
  std::string remoteAddress() const override { return remote_; }
  std::optional<asio::ip::address> localAddress() const override { return std::nullopt; }

 private:
  asio::any_io_executor executor_;
  std::deque<std::string> input_;
  std::shared_ptr<Record> record_;
  std::string remote_;
};

}  // namespace varnel::web
