#include "web/http_connection.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "web/file_lookup.h"
#include "web/http_server.h"

namespace varnel::web {

namespace {

// Big enough for a whole body chunk besides the start of the next request.
constexpr std::size_t kReadBufferSize = 48 * 1024;
// After a reply that ends the connection we read on for a while before
// closing: closing with unread request bytes makes the system reset the
// connection, which can destroy the reply before the client reads it.
constexpr std::size_t kLingerLimit = 1 << 20;
constexpr std::chrono::seconds kLingerTime{2};
constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

std::string forLog(std::string_view text) {
  if (text.empty()) return "-";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f || c == '"' || c == '\\') {
      out += fmt::format("\\x{:02x}", byte);
    } else {
      out += c;
    }
  }
  return out;
}

// Whether a header's comma-separated list holds `token` (case ignored).
bool listHas(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    const auto comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    if (equalsIgnoringCase(item, token)) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

HTTPConnection::HTTPConnection(std::unique_ptr<HTTPTransport> socket, HTTPServer& server)
    : socket_(std::move(socket)),
      server_(server),
      remote_(socket_->remoteAddress()),
      timer_(socket_->executor()),
      delayTimer_(socket_->executor()) {}

HTTPConnection::~HTTPConnection() { socket_->close(); }

void HTTPConnection::start() {
  if (state_ != State::kNotStarted) return;
  in_.resize(kReadBufferSize);
  timer_.expires_at(Clock::time_point::max());
  waitForDeadline();
  startNextRequest();
}

void HTTPConnection::stop() { closeConnection(""); }

bool HTTPConnection::supportsMethod(std::string_view method, std::string_view /*path*/) {
  return method == "GET" || method == "HEAD";
}

bool HTTPConnection::expectsRequestBodyFromMethod(std::string_view method, std::string_view /*path*/) {
  return method == "POST" || method == "PUT";
}

std::unique_ptr<HTTPResponse> HTTPConnection::httpResponseForMethod(std::string_view /*method*/,
                                                                    std::string_view uri) {
  const auto path = filePathForURI(uri);
  if (!path) return nullptr;
  return HTTPFileResponse::open(*path);
}

bool HTTPConnection::prepareForBodyWithSize(uint64_t /*contentLength*/) { return true; }

void HTTPConnection::processDataChunk(std::string_view /*chunk*/) {}

std::optional<std::filesystem::path> HTTPConnection::filePathForURI(std::string_view uri) const {
  return web::filePathForURI(server_.settings().documentRoot, uri);
}

template <class Body>
bool HTTPConnection::guarded(Body&& body) {
  try {
    body();
    return true;
  } catch (const std::exception& e) {
    server_.log().error("{} \"{} {}\" handler failed: {}", remote_, forLog(request().method),
                        forLog(request().uri), e.what());
  } catch (...) {
    server_.log().error("{} \"{} {}\" handler failed", remote_, forLog(request().method),
                        forLog(request().uri));
  }
  replyError(500, true);
  return false;
}

// Reading ---------------------------------------------------------------

void HTTPConnection::startNextRequest() {
  parser_.reset();
  requestContentLength_ = 0;
  requestContentLengthReceived_ = 0;
  closeAfterResponse_ = false;
  state_ = State::kReadingHead;
  // The whole head must arrive in time, however slowly its bytes trickle in.
  setDeadline(Clock::now() + server_.settings().idleTimeout);
  processInput();
}

void HTTPConnection::readMore() {
  if (reading_ || state_ == State::kClosed) return;
  if (inStart_ > 0) {
    std::memmove(in_.data(), in_.data() + inStart_, inEnd_ - inStart_);
    inEnd_ -= inStart_;
    inStart_ = 0;
  }
  reading_ = true;
  socket_->asyncReadSome(asio::buffer(in_.data() + inEnd_, in_.size() - inEnd_),
                         [self = shared_from_this()](const std::error_code& error, std::size_t bytes) {
                           self->onRead(error, bytes);
                         });
}

void HTTPConnection::onRead(const std::error_code& error, std::size_t bytes) {
  reading_ = false;
  if (state_ == State::kClosed) return;
  if (error) {
    const bool betweenRequests = state_ == State::kReadingHead && parser_.numHeaderLines() == 0 &&
                                 inStart_ == inEnd_;
    closeConnection(betweenRequests || state_ == State::kLingering ? "" : "the peer left mid-request");
    return;
  }
  if (state_ == State::kLingering) {
    lingeringBytes_ += bytes;
    if (lingeringBytes_ > kLingerLimit) {
      closeConnection("");
      return;
    }
    readMore();
    return;
  }
  inEnd_ += bytes;
  if (state_ == State::kReadingBody) setDeadline(Clock::now() + server_.settings().idleTimeout);
  processInput();
}

void HTTPConnection::processInput() {
  if (state_ == State::kReadingHead) {
    readHead();
  } else if (state_ == State::kReadingBody) {
    readBody();
  }
}

void HTTPConnection::readHead() {
  while (state_ == State::kReadingHead) {
    const auto scan = LineScanner::next(std::string_view(in_.data() + inStart_, inEnd_ - inStart_));
    switch (scan.outcome) {
      case LineScanner::Outcome::kNeedMore:
        readMore();
        return;
      case LineScanner::Outcome::kTooLong:
        closeConnection("header line too long");
        return;
      case LineScanner::Outcome::kBadBytes:
        replyError(400, true);
        return;
      case LineScanner::Outcome::kLine:
        break;
    }
    inStart_ += scan.consumed;
    switch (parser_.appendLine(scan.line)) {
      case HTTPRequestParser::Outcome::kMalformed:
        replyError(400, true);
        return;
      case HTTPRequestParser::Outcome::kComplete:
        onHeadComplete();
        return;
      case HTTPRequestParser::Outcome::kNeedMore:
        if (parser_.numHeaderLines() > kMaxHeaderLines) {
          closeConnection("too many header lines");
          return;
        }
        break;
    }
  }
}

void HTTPConnection::onHeadComplete() {
  const HTTPRequest& head = request();
  bool expectsBody = false;
  if (!guarded([&] { expectsBody = expectsRequestBodyFromMethod(head.method, head.uri); })) return;
  const HTTPServerSettings& settings = server_.settings();
  const BodyFraming framing = checkBodyFraming(head, expectsBody, settings.maxRequestBodyLength);
  if (framing.verdict == BodyFraming::Verdict::kBadRequest) {
    replyError(400, true);
    return;
  }
  bool supported = false;
  if (!guarded([&] { supported = supportsMethod(head.method, head.uri); })) return;
  if (!supported) {
    replyError(405, true);
    return;
  }
  if (framing.verdict == BodyFraming::Verdict::kTooLarge) {
    replyError(413, true);
    return;
  }
  requestContentLength_ = framing.contentLength;
  if (head.version != "HTTP/1.1") {
    // Without reading the body, the connection cannot go on after it.
    replyError(505, requestContentLength_ > 0);
    return;
  }
  // Before any handler sees the request, so a page of another site that
  // got its name pointed at us reaches nothing, not even an upload.
  if (head.headerCount("Host") != 1) {
    replyError(400, true);
    return;
  }
  if (!settings.allowedHosts.allows(*head.headerField("Host"), socket_->localAddress())) {
    server_.log().warn("{} refused: Host '{}' is not this machine", remote_,
                       forLog(*head.headerField("Host")));
    replyError(421, true);
    return;
  }
  if (const auto connection = head.headerField("Connection")) {
    closeAfterResponse_ = listHas(*connection, "close");
  }
  if (requestContentLength_ == 0) {
    replyToHTTPRequest();
    return;
  }
  bool accepted = false;
  refusalStatus_ = 0;
  if (!guarded([&] { accepted = prepareForBodyWithSize(requestContentLength_); })) return;
  if (!accepted) {
    replyError(refusalStatus_ != 0 ? refusalStatus_ : 413, true);
    return;
  }
  const auto expect = head.headerField("Expect");
  if (expect && equalsIgnoringCase(*expect, "100-continue")) {
    // The client holds the body back until told to send it.
    state_ = State::kWriting;
    setDeadline(Clock::now() + settings.idleTimeout);
    socket_->asyncWrite({asio::buffer(kContinue), asio::const_buffer()},
                        [self = shared_from_this()](const std::error_code& error, std::size_t) {
                          if (self->state_ == State::kClosed) return;
                          if (error) {
                            self->closeConnection("write failed");
                            return;
                          }
                          self->beginBody();
                        });
    return;
  }
  beginBody();
}

void HTTPConnection::beginBody() {
  state_ = State::kReadingBody;
  setDeadline(Clock::now() + server_.settings().idleTimeout);
  processInput();
}

void HTTPConnection::readBody() {
  while (requestContentLengthReceived_ < requestContentLength_) {
    const std::size_t available = inEnd_ - inStart_;
    if (available == 0) {
      readMore();
      return;
    }
    const std::size_t count = static_cast<std::size_t>(std::min<uint64_t>(
        {available, requestContentLength_ - requestContentLengthReceived_, kBodyChunkSize}));
    const std::string_view chunk(in_.data() + inStart_, count);
    inStart_ += count;
    requestContentLengthReceived_ += count;
    if (!guarded([&] { processDataChunk(chunk); })) return;
  }
  replyToHTTPRequest();
}

// Replying ---------------------------------------------------------------

void HTTPConnection::replyToHTTPRequest() {
  const HTTPRequest& head = request();
  std::unique_ptr<HTTPResponse> response;
  refusalStatus_ = 0;
  replyDelay_ = std::chrono::milliseconds(0);
  if (!guarded([&] { response = httpResponseForMethod(head.method, head.uri); })) return;
  if (refusalStatus_ != 0) {
    httpResponse_.reset();
    ReplyPlan plan;
    plan.head = errorHead(refusalStatus_);
    finishHead(plan.head, server_.currentDate(), nullptr);
    sendReplyAfterDelay(std::move(plan), true);
    return;
  }
  if (!response || response->contentLength() == 0) {
    replyError(404, false);
    return;
  }
  std::vector<ByteRange> ranges;
  if (head.headerCount("Range") == 1) {
    ranges = parseRangeRequest(*head.headerField("Range"), response->contentLength());
  }
  httpResponse_ = std::move(response);
  ReplyPlan plan = planReply(*httpResponse_, ranges, ranges.size() > 1 ? server_.settings().boundary() : "");
  finishHead(plan.head, server_.currentDate(), httpResponse_.get());
  sendReplyAfterDelay(std::move(plan), head.method == "HEAD");
}

void HTTPConnection::sendReplyAfterDelay(ReplyPlan plan, bool headOnly) {
  if (replyDelay_.count() <= 0) {
    sendReply(std::move(plan), headOnly);
    return;
  }
  state_ = State::kWriting;
  setDeadline(Clock::now() + replyDelay_ + server_.settings().idleTimeout);
  delayTimer_.expires_after(replyDelay_);
  replyDelay_ = std::chrono::milliseconds(0);
  delayTimer_.async_wait([self = shared_from_this(), plan = std::move(plan), headOnly](const std::error_code& error) mutable {
    if (error || self->state_ == State::kClosed) return;
    self->sendReply(std::move(plan), headOnly);
  });
}

void HTTPConnection::replyError(int status, bool closeAfter) {
  httpResponse_.reset();
  closeAfterResponse_ = closeAfterResponse_ || closeAfter;
  ReplyPlan plan;
  plan.head = errorHead(status);
  finishHead(plan.head, server_.currentDate(), nullptr);
  sendReply(std::move(plan), true);
}

void HTTPConnection::sendReply(ReplyPlan plan, bool headOnly) {
  logRequest(plan.head.status(), headOnly ? 0 : plan.bodyLength);
  plan_ = std::move(plan);
  headOnly_ = headOnly;
  pendingText_ = plan_.head.serialize();
  segmentIndex_ = 0;
  segmentStarted_ = false;
  segmentRemaining_ = 0;
  trailerSent_ = false;
  bodyBroken_ = false;
  state_ = State::kWriting;
  writeNext();
}

void HTTPConnection::writeNext() {
  std::size_t dataBytes = 0;
  if (!headOnly_ && !bodyBroken_) {
    while (segmentIndex_ < plan_.segments.size()) {
      BodySegment& segment = plan_.segments[segmentIndex_];
      if (!segmentStarted_) {
        pendingText_ += segment.prefix;
        httpResponse_->setOffset(segment.start);
        segmentRemaining_ = segment.length;
        segmentStarted_ = true;
      }
      if (segmentRemaining_ == 0) {
        ++segmentIndex_;
        segmentStarted_ = false;
        continue;
      }
      if (chunk_.empty()) chunk_.resize(kResponseChunkSize);
      const std::size_t wanted =
          static_cast<std::size_t>(std::min<uint64_t>(kResponseChunkSize, segmentRemaining_));
      std::size_t got = 0;
      try {
        got = std::min(httpResponse_->readData(chunk_.data(), wanted), wanted);
      } catch (const std::exception& e) {
        server_.log().error("{} reading the response failed: {}", remote_, e.what());
      }
      if (got == 0) {
        bodyBroken_ = true;
        break;
      }
      segmentRemaining_ -= got;
      dataBytes = got;
      if (segmentRemaining_ == 0) {
        ++segmentIndex_;
        segmentStarted_ = false;
      }
      break;
    }
    if (dataBytes == 0 && !bodyBroken_ && segmentIndex_ == plan_.segments.size() && !trailerSent_) {
      pendingText_ += plan_.trailer;
      trailerSent_ = true;
    }
  }
  if (pendingText_.empty() && dataBytes == 0) {
    if (bodyBroken_) {
      // The head promised more bytes than the response gave: only closing
      // tells the client the body is incomplete.
      closeConnection("the response ended before its length");
    } else {
      onResponseComplete();
    }
    return;
  }
  headText_.swap(pendingText_);
  pendingText_.clear();
  setDeadline(Clock::now() + server_.settings().idleTimeout);
  socket_->asyncWrite({asio::buffer(headText_), asio::buffer(chunk_.data(), dataBytes)},
                      [self = shared_from_this()](const std::error_code& error, std::size_t) {
                        self->onWritten(error);
                      });
}

void HTTPConnection::onWritten(const std::error_code& error) {
  if (state_ == State::kClosed) return;
  if (error) {
    closeConnection("write failed: " + error.message());
    return;
  }
  writeNext();
}

void HTTPConnection::onResponseComplete() {
  httpResponse_.reset();
  if (closeAfterResponse_) {
    lingerAndClose();
    return;
  }
  startNextRequest();
}

void HTTPConnection::lingerAndClose() {
  state_ = State::kLingering;
  socket_->shutdownSend();
  setDeadline(Clock::now() + std::min<Clock::duration>(server_.settings().idleTimeout, kLingerTime));
  lingeringBytes_ = inEnd_ - inStart_;
  inStart_ = inEnd_ = 0;
  readMore();
}

void HTTPConnection::closeConnection(std::string_view reason) {
  if (state_ == State::kClosed) return;
  if (!reason.empty()) server_.log().info("{} closed: {}", remote_, reason);
  state_ = State::kClosed;
  socket_->close();
  timer_.cancel();
  delayTimer_.cancel();
  httpResponse_.reset();
  server_.connectionDidDie(*this);
}

// Deadlines ------------------------------------------------------------------

void HTTPConnection::setDeadline(Clock::time_point deadline) {
  deadline_ = deadline;
  // A later deadline is picked up when the timer fires; an earlier one
  // needs the timer moved.
  if (deadline < timer_.expiry()) {
    timer_.expires_at(deadline);
    waitForDeadline();
  }
}

void HTTPConnection::waitForDeadline() {
  timer_.async_wait([self = shared_from_this()](const std::error_code& error) {
    if (error == asio::error::operation_aborted || self->state_ == State::kClosed) return;
    if (Clock::now() < self->deadline_) {
      self->timer_.expires_at(self->deadline_);
      self->waitForDeadline();
      return;
    }
    const bool idle = self->state_ == State::kReadingHead && self->parser_.numHeaderLines() == 0 &&
                      self->inStart_ == self->inEnd_;
    self->closeConnection(idle || self->state_ == State::kLingering ? "" : "timed out");
  });
}

void HTTPConnection::logRequest(int status, uint64_t bodyLength) {
  const HTTPRequest& head = request();
  server_.log().info("{} \"{} {} {}\" {} {}", remote_, forLog(head.method), forLog(head.uri),
                     forLog(head.version), status, bodyLength);
}

}  // namespace varnel::web
