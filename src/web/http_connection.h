// One connection's request/response cycle: read a request head line by
// line under the limits, check its framing, hand its body to the handler in
// chunks, ask the handler for a response and send it (whole, one range or
// several), then read the next request on the same connection.
//
// The desktop API derives from HTTPConnection and overrides the protected
// choices (supportsMethod, expectsRequestBodyFromMethod,
// httpResponseForMethod, prepareForBodyWithSize, processDataChunk); the rest
// stays here. Everything runs on the server's one event loop, so the
// handlers may use the ledger directly.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio/steady_timer.hpp>

#include "web/http_reply.h"
#include "web/http_request.h"
#include "web/http_response.h"
#include "web/http_transport.h"

namespace varnel::web {

class HTTPServer;

class HTTPConnection : public std::enable_shared_from_this<HTTPConnection> {
 public:
  HTTPConnection(std::unique_ptr<HTTPTransport> socket, HTTPServer& server);
  virtual ~HTTPConnection();
  HTTPConnection(const HTTPConnection&) = delete;
  HTTPConnection& operator=(const HTTPConnection&) = delete;

  // Starts reading the first request. The server calls it once the
  // connection is in its list.
  void start();
  // Closes the connection at once, dropping any reply in progress; the
  // server takes it off its list.
  void stop();
  bool isClosed() const { return state_ == State::kClosed; }

 protected:
  // Whether `method` is answered for the target `path` (path and query);
  // otherwise the reply is 405 and the connection closes. The base answers
  // "GET" and "HEAD".
  virtual bool supportsMethod(std::string_view method, std::string_view path);
  // Whether `method` carries a body, which must then be announced by a
  // Content-Length; other methods must not announce one. The base expects
  // bodies of "POST" and "PUT".
  virtual bool expectsRequestBodyFromMethod(std::string_view method, std::string_view path);
  // The response to the request, or none for 404 (a response of no bytes
  // is a 404 too). The base serves the file filePathForURI names. May
  // throw: the reply is then 500 and the connection closes.
  virtual std::unique_ptr<HTTPResponse> httpResponseForMethod(std::string_view method,
                                                              std::string_view uri);
  // Called before a body of `contentLength` bytes (at least 1) is read;
  // returning false refuses it with 413 (or the status given to
  // refuseRequest) and closes the connection. The base accepts every body.
  virtual bool prepareForBodyWithSize(uint64_t contentLength);
  // Called with each piece of the body in order, at most kBodyChunkSize
  // bytes each. The base ignores them.
  virtual void processDataChunk(std::string_view chunk);

  // For httpResponseForMethod: answer this request with a head-only error
  // reply of `status` (403, say) instead of a response; the connection
  // stays open for the next request. For prepareForBodyWithSize: the
  // status of the refusal when it returns false.
  void refuseRequest(int status) { refusalStatus_ = status; }
  // For httpResponseForMethod: hold the reply back for `delay` without
  // blocking the event loop (other connections are served meanwhile); the
  // connection reads nothing more until the reply has gone out.
  void delayReply(std::chrono::milliseconds delay) { replyDelay_ = delay; }

  // The file of the document root that `uri` names (see file_lookup.h).
  std::optional<std::filesystem::path> filePathForURI(std::string_view uri) const;
  // The head of the request being handled.
  const HTTPRequest& request() const { return parser_.request(); }
  HTTPServer& server() { return server_; }
  const std::string& remoteAddress() const { return remote_; }

 private:
  enum class State { kNotStarted, kReadingHead, kReadingBody, kWriting, kLingering, kClosed };
  using Clock = std::chrono::steady_clock;

  void readMore();
  void onRead(const std::error_code& error, std::size_t bytes);
  void processInput();
  void readHead();
  void onHeadComplete();
  void beginBody();
  void readBody();
  void replyToHTTPRequest();
  void replyError(int status, bool closeAfter);
  void sendReply(ReplyPlan plan, bool headOnly);
  // sendReply once the delay the handler asked for has passed.
  void sendReplyAfterDelay(ReplyPlan plan, bool headOnly);
  void writeNext();
  void onWritten(const std::error_code& error);
  void onResponseComplete();
  void startNextRequest();
  void lingerAndClose();
  void closeConnection(std::string_view reason);
  void setDeadline(Clock::time_point deadline);
  void waitForDeadline();
  void logRequest(int status, uint64_t bodyLength);
  // Runs a handler; on an exception logs it, replies 500 and closes.
  template <class Body>
  bool guarded(Body&& body);

  std::unique_ptr<HTTPTransport> socket_;
  HTTPServer& server_;
  std::string remote_;
  State state_ = State::kNotStarted;

  // Received bytes not yet used: in_[inStart_, inEnd_).
  std::vector<char> in_;
  std::size_t inStart_ = 0;
  std::size_t inEnd_ = 0;
  bool reading_ = false;

  HTTPRequestParser parser_;
  uint64_t requestContentLength_ = 0;
  uint64_t requestContentLengthReceived_ = 0;
  bool closeAfterResponse_ = false;

  // The reply in progress.
  std::unique_ptr<HTTPResponse> httpResponse_;
  ReplyPlan plan_;
  std::string headText_;
  std::string pendingText_;
  std::size_t segmentIndex_ = 0;
  bool segmentStarted_ = false;
  uint64_t segmentRemaining_ = 0;
  bool headOnly_ = false;
  bool trailerSent_ = false;
  bool bodyBroken_ = false;
  std::vector<char> chunk_;

  std::size_t lingeringBytes_ = 0;
  asio::steady_timer timer_;
  // What the handler asked of the reply to the current request.
  int refusalStatus_ = 0;
  std::chrono::milliseconds replyDelay_{0};
  asio::steady_timer delayTimer_;
  Clock::time_point deadline_ = Clock::time_point::max();
};

}  // namespace varnel::web
