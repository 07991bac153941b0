// The server over loopback with a raw socket client: replies byte for byte,
// ranges, keep-alive, HEAD, the error replies and their close rules, the
// limits, bodies, and starting and stopping.
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <asio/post.hpp>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include "support/http_test_client.h"
#include "support/test_ledger.h"
#include "web/http_server.h"

namespace varnel::web {
namespace {

namespace fs = std::filesystem;
using varnel::testing::getRequest;
using varnel::testing::HttpReply;
using varnel::testing::HttpTestClient;

constexpr const char* kDate = "Sun, 06 Nov 1994 08:49:37 GMT";

std::string patternBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
  return bytes;
}

// A response of `length` bytes that makes them up as they are read and
// counts how many it was asked for; with `giveUpAfter` it stops early.
class CountingResponse : public HTTPResponse {
 public:
  CountingResponse(uint64_t length, uint64_t* bytesRead, uint64_t giveUpAfter = UINT64_MAX)
      : length_(length), bytesRead_(bytesRead), giveUpAfter_(giveUpAfter) {}
  uint64_t contentLength() const override { return length_; }
  uint64_t offset() const override { return offset_; }
  void setOffset(uint64_t offset) override { offset_ = offset; }
  std::size_t readData(char* into, std::size_t size) override {
    if (offset_ >= length_ || *bytesRead_ >= giveUpAfter_) return 0;
    const std::size_t count = std::min<uint64_t>({size, length_ - offset_, giveUpAfter_ - *bytesRead_});
    for (std::size_t i = 0; i < count; ++i) into[i] = static_cast<char>('a' + (offset_ + i) % 26);
    offset_ += count;
    *bytesRead_ += count;
    return count;
  }

 private:
  uint64_t length_;
  uint64_t offset_ = 0;
  uint64_t* bytesRead_;
  uint64_t giveUpAfter_;
};

// Takes POST bodies and answers with what it received; /throw throws;
// /count serves a made-up 10 MB response and /count-read tells how many of
// its bytes were read; /short promises 1000 bytes and gives 100.
class TestConnection : public HTTPConnection {
 public:
  using HTTPConnection::HTTPConnection;

 protected:
  bool supportsMethod(std::string_view method, std::string_view path) override {
    return method == "POST" || HTTPConnection::supportsMethod(method, path);
  }
  bool prepareForBodyWithSize(uint64_t contentLength) override {
    announced_ = contentLength;
    body_.clear();
    chunks_ = 0;
    largestChunk_ = 0;
    return contentLength <= 1'000'000;
  }
  void processDataChunk(std::string_view chunk) override {
    body_.append(chunk);
    ++chunks_;
    largestChunk_ = std::max(largestChunk_, chunk.size());
  }
  std::unique_ptr<HTTPResponse> httpResponseForMethod(std::string_view method, std::string_view uri) override {
    if (uri == "/throw") throw std::runtime_error("the handler broke");
    if (uri == "/count") return std::make_unique<CountingResponse>(10'000'000, &bytesRead_);
    if (uri == "/count-read") return std::make_unique<HTTPDataResponse>(std::to_string(bytesRead_));
    if (uri == "/short") return std::make_unique<CountingResponse>(1000, &bytesRead_, 100);
    if (method == "POST") {
      return std::make_unique<HTTPDataResponse>(
          fmt::format("{} {} {} {}", announced_, body_.size(), largestChunk_, body_ == expectedBody() ? "same" : "different"));
    }
    return HTTPConnection::httpResponseForMethod(method, uri);
  }

 public:
  static std::string expectedBody() { return patternBytes(100'000); }

 private:
  uint64_t announced_ = 0;
  std::string body_;
  int chunks_ = 0;
  std::size_t largestChunk_ = 0;
  uint64_t bytesRead_ = 0;
};

class HttpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.path() / "www";
    fs::create_directories(root_ / "sub");
    std::ofstream(root_ / "index.html") << "home";
    std::ofstream(root_ / "data.bin", std::ios::binary) << patternBytes(1000);
    std::ofstream(root_ / "big.bin", std::ios::binary) << patternBytes(1 << 20);
    std::ofstream(root_ / "empty.txt");
    std::ofstream(dir_.path() / "secret.txt") << "secret";
  }

  void TearDown() override { stopServer(); }

  HTTPServerSettings settings() {
    HTTPServerSettings settings;
    settings.documentRoot = root_;
    settings.interface = "127.0.0.1";
    settings.clock = [] { return std::chrono::system_clock::time_point(std::chrono::seconds(784111777)); };
    settings.boundary = [] { return std::string("B0UND"); };
    return settings;
  }

  // Starts the server on its own thread, as the program runs it on its main one.
  void startServer(HTTPServerSettings settings) {
    auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(logText_);
    server_ = std::make_unique<HTTPServer>(io_, std::move(settings), std::make_shared<spdlog::logger>("test", sink));
    server_->setConnectionClass<TestConnection>();
    std::error_code error;
    ASSERT_TRUE(server_->start(error)) << error.message();
    port_ = server_->listeningPort();
    thread_ = std::thread([this] { io_.run(); });
  }
  void startServer() { startServer(settings()); }

  void stopServer() {
    if (!thread_.joinable()) return;
    asio::post(io_, [this] { server_->stop(); });
    thread_.join();
  }

  // Runs `body` on the server's thread and waits for its result.
  template <class Body>
  auto onServer(Body body) {
    std::packaged_task<decltype(body())()> task(body);
    auto result = task.get_future();
    asio::post(io_, [&task] { task(); });
    return result.get();
  }

  std::string log() {
    stopServer();
    return logText_.str();
  }

  static std::string head(const std::string& statusLine, const std::string& fields) {
    return "HTTP/1.1 " + statusLine + "\r\n" + fields + "Date: " + kDate + "\r\nAccept-Ranges: bytes\r\n";
  }

  testing::TempDir dir_;
  fs::path root_;
  asio::io_context io_;
  std::ostringstream logText_;
  std::unique_ptr<HTTPServer> server_;
  std::thread thread_;
  uint16_t port_ = 0;
};

TEST_F(HttpServerTest, WholeFileAndNotFoundByteForByteOnOneConnection) {
  startServer();
  HttpTestClient client(port_);
  client.send(getRequest("/data.bin"));
  const std::string expected200 =
      head("200 OK", "Content-Length: 1000\r\n") + "Content-Type: application/octet-stream\r\n\r\n" +
      patternBytes(1000);
  EXPECT_EQ(client.readBytes(expected200.size()), expected200);

  client.send(getRequest("/missing.html"));
  const std::string expected404 = head("404 Not Found", "Content-Length: 0\r\n") + "\r\n";
  EXPECT_EQ(client.readBytes(expected404.size()), expected404);

  // An empty file is "no response" as well.
  client.send(getRequest("/empty.txt"));
  EXPECT_EQ(client.readReply()->status, 404);

  client.send(getRequest("/"));
  const auto index = client.readReply();
  ASSERT_TRUE(index);
  EXPECT_EQ(index->body, "home");
  EXPECT_EQ(index->fields.at("content-type"), "text/html; charset=UTF-8");

  const std::string lines = log();
  EXPECT_NE(lines.find("127.0.0.1 \"GET /data.bin HTTP/1.1\" 200 1000\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("127.0.0.1 \"GET /missing.html HTTP/1.1\" 404 0\n"), std::string::npos) << lines;
}

TEST_F(HttpServerTest, RangesOnOneKeepAliveConnection) {
  startServer();
  const std::string data = patternBytes(1000);
  const std::string whole = head("200 OK", "Content-Length: 1000\r\n") +
                            "Content-Type: application/octet-stream\r\n\r\n" + data;
  const auto partial = [&](uint64_t first, uint64_t last) {
    return head("206 Partial Content", fmt::format("Content-Length: {}\r\nContent-Range: bytes {}-{}/1000\r\n",
                                                   last - first + 1, first, last)) +
           "Content-Type: application/octet-stream\r\n\r\n" + data.substr(first, last - first + 1);
  };
  const std::string parts = "\r\n--B0UND\r\nContent-Range: bytes 0-9/1000\r\n\r\n" + data.substr(0, 10) +
                            "\r\n--B0UND\r\nContent-Range: bytes 20-29/1000\r\n\r\n" + data.substr(20, 10) +
                            "\r\n--B0UND--\r\n";
  const std::string multipart =
      head("206 Partial Content", fmt::format("Content-Length: {}\r\nContent-Type: multipart/byteranges; "
                                              "boundary=B0UND\r\n",
                                              parts.size())) +
      "\r\n" + parts;
  std::string tooMany = "bytes=";
  for (int i = 0; i < 101; ++i) tooMany += fmt::format("{}{}-{}", i ? "," : "", i * 3, i * 3 + 1);

  const std::vector<std::pair<std::string, std::string>> cases = {
      {"bytes=0-99", partial(0, 99)},
      {"bytes=-100", partial(900, 999)},
      {"bytes=990-5000", partial(990, 999)},  // clipped to the end
      {"bytes=999", partial(999, 999)},
      {"bytes=0-9,20-29", multipart},
      {"bytes=1000-", whole},                 // unsatisfiable
      {"bytes=0-99,50-150", whole},           // overlapping
      {tooMany, whole},
      {"bytes=18446744073709551616-", whole},  // overflows
      {"items=0-9", whole},
  };
  HttpTestClient client(port_);
  for (const auto& [range, expected] : cases) {
    client.send(getRequest("/data.bin", "Range: " + range + "\r\n"));
    EXPECT_EQ(client.readBytes(expected.size()), expected) << range.substr(0, 40);
  }
  // Two Range fields: which one is meant is unclear, so neither is.
  client.send(getRequest("/data.bin", "Range: bytes=0-1\r\nRange: bytes=2-3\r\n"));
  EXPECT_EQ(client.readBytes(whole.size()), whole);
}

TEST_F(HttpServerTest, LargeBodiesAndRangesAcrossChunks) {
  startServer();
  const std::string data = patternBytes(1 << 20);
  HttpTestClient client(port_);
  client.send(getRequest("/big.bin"));
  auto reply = client.readReply();
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->body == data);
  client.send(getRequest("/big.bin", "Range: bytes=131000-400000,1000000-\r\n"));
  reply = client.readReply();
  ASSERT_TRUE(reply);
  const std::string expected = "\r\n--B0UND\r\nContent-Range: bytes 131000-400000/1048576\r\n\r\n" +
                               data.substr(131000, 269001) +
                               "\r\n--B0UND\r\nContent-Range: bytes 1000000-1048575/1048576\r\n\r\n" +
                               data.substr(1000000) + "\r\n--B0UND--\r\n";
  EXPECT_TRUE(reply->body == expected);
}

TEST_F(HttpServerTest, ARangeReadsOnlyItsPartOfTheResponse) {
  startServer();
  HttpTestClient client(port_);
  client.send(getRequest("/count", "Range: bytes=5000000-5000009\r\n"));
  const auto reply = client.readReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 206);
  EXPECT_EQ(reply->body, "stuvwxyzab");  // 5000000 % 26 == 18
  client.send(getRequest("/count-read"));
  EXPECT_EQ(client.readReply()->body, "10");
}

TEST_F(HttpServerTest, HeadSendsOnlyTheHeadAndTheConnectionGoesOn) {
  startServer();
  HttpTestClient client(port_);
  client.send(getRequest("/data.bin", "", "HEAD"));
  const auto reply = client.readReply(true);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->head, head("200 OK", "Content-Length: 1000\r\n") + "Content-Type: application/octet-stream\r\n\r\n");
  // Had body bytes followed the head, they would come before this reply.
  client.send(getRequest("/index.html"));
  const auto next = client.readReply();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->status, 200);
  EXPECT_EQ(next->body, "home");
}

TEST_F(HttpServerTest, PipelinedRequestsAreAnsweredInOrder) {
  startServer();
  HttpTestClient client(port_);
  client.send(getRequest("/index.html") + getRequest("/missing") + getRequest("/data.bin", "Range: bytes=0-1\r\n"));
  EXPECT_EQ(client.readReply()->body, "home");
  EXPECT_EQ(client.readReply()->status, 404);
  EXPECT_EQ(client.readReply()->status, 206);
}

TEST_F(HttpServerTest, ErrorRepliesAndWhetherTheConnectionStaysOpen) {
  startServer();
  struct Case {
    std::string request;
    int status;
    bool closes;
  };
  const std::vector<Case> cases = {
      {"GET / HTTP/1.0\r\n\r\n", 505, false},
      {"GET /missing HTTP/1.1\r\nHost: localhost\r\n\r\n", 404, false},
      {"GET /../secret.txt HTTP/1.1\r\nHost: localhost\r\n\r\n", 404, false},
      {"GET /%2e%2e/secret.txt HTTP/1.1\r\nHost: localhost\r\n\r\n", 404, false},
      {"DELETE / HTTP/1.1\r\nHost: localhost\r\n\r\n", 405, true},
      {"get / HTTP/1.1\r\nHost: localhost\r\n\r\n", 405, true},
      {"GET / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 5\r\n\r\nhello", 400, true},
      {"GET / HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc", 400, true},
      {"POST / HTTP/1.1\r\nHost: localhost\r\n\r\n", 400, true},
      {"POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 99999999999999999999\r\n\r\n", 400, true},
      {"POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 2000000\r\n\r\n", 413, true},
      {"POST / HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc", 505, true},
      {"GET / HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400, true},
      {"GET / HTTP/1.1\r\n\r\n", 400, true},
      {"GET / HTTP/1.1\r\nHost: localhost\r\nHost: localhost\r\n\r\n", 400, true},
      {"GET / HTTP/1.1\r\nHost: evil.example:8888\r\n\r\n", 421, true},
      {"GET / HTTP/1.1\nHost: localhost\n\n", 400, true},
      {std::string("GET /\0 HTTP/1.1\r\nHost: localhost\r\n\r\n", 36), 400, true},
      {"GARBAGE\r\n\r\n", 400, true},
      {"GET /throw HTTP/1.1\r\nHost: localhost\r\n\r\n", 500, true},
      {"GET / HTTP/1.1\r\nHost: localhost\r\nConnection: keep-alive, Close\r\n\r\n", 200, true},
  };
  for (const auto& c : cases) {
    HttpTestClient client(port_);
    client.send(c.request);
    const auto reply = client.readReply();
    ASSERT_TRUE(reply) << c.request;
    EXPECT_EQ(reply->status, c.status) << c.request;
    if (c.status != 200) {
      EXPECT_EQ(reply->fields.at("content-length"), "0") << c.request;
    }
    EXPECT_EQ(reply->fields.at("date"), kDate);
    EXPECT_EQ(reply->fields.at("accept-ranges"), "bytes");
    if (c.closes) {
      EXPECT_TRUE(client.closedByServer()) << c.request;
    } else {
      client.send(getRequest("/index.html"));
      const auto next = client.readReply();
      ASSERT_TRUE(next) << c.request;
      EXPECT_EQ(next->body, "home") << c.request;
    }
  }
}

TEST_F(HttpServerTest, HeadLimitsCloseTheConnectionWithoutAReply) {
  startServer();
  const auto withField = [](std::size_t lineLength) {
    // "X: " + value + CRLF is the whole line.
    return getRequest("/index.html", "X: " + std::string(lineLength - 5, 'v') + "\r\n");
  };
  const auto withFields = [](int count) {
    std::string fields;
    for (int i = 0; i < count; ++i) fields += fmt::format("X-{}: {}\r\n", i, i);
    return getRequest("/index.html", fields);
  };
  {
    HttpTestClient client(port_);
    client.send(withField(8190));
    EXPECT_EQ(client.readReply()->status, 200);
  }
  {
    HttpTestClient client(port_);
    client.send(withField(8191));
    EXPECT_TRUE(client.closedByServer());
  }
  {
    // Without any CRLF the server stops reading at the limit.
    HttpTestClient client(port_);
    client.send("GET /" + std::string(100000, 'a'));
    EXPECT_TRUE(client.closedByServer());
  }
  {
    // Request line, Host, 98 fields and the empty line: 101 lines.
    HttpTestClient client(port_);
    client.send(withFields(98));
    EXPECT_EQ(client.readReply()->status, 200);
  }
  {
    HttpTestClient client(port_);
    client.send(withFields(99));
    EXPECT_TRUE(client.closedByServer());
  }
}

TEST_F(HttpServerTest, BodiesArriveInChunks) {
  startServer();
  const std::string body = TestConnection::expectedBody();
  {
    HttpTestClient client(port_);
    client.send(getRequest("/upload", "Content-Length: 100000\r\n", "POST") + body);
    EXPECT_EQ(client.readReply()->body, "100000 100000 32768 same");
    client.send(getRequest("/index.html"));
    EXPECT_EQ(client.readReply()->body, "home");
  }
  {
    HttpTestClient client(port_);
    client.send(getRequest("/upload", "Content-Length: 100000\r\nExpect: 100-continue\r\n", "POST"));
    EXPECT_EQ(client.readBytes(25), "HTTP/1.1 100 Continue\r\n\r\n");
    client.send(body);
    EXPECT_EQ(client.readReply()->body, "100000 100000 32768 same");
  }
  {
    // The handler refuses a body before it is sent.
    HttpTestClient client(port_);
    client.send(getRequest("/upload", "Content-Length: 1000001\r\nExpect: 100-continue\r\n", "POST"));
    EXPECT_EQ(client.readReply()->status, 413);
    EXPECT_TRUE(client.closedByServer());
  }
}

TEST_F(HttpServerTest, AResponseShorterThanItsLengthEndsTheConnection) {
  startServer();
  HttpTestClient client(port_);
  client.send(getRequest("/short"));
  const auto reply = client.readReply(true);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->fields.at("content-length"), "1000");
  EXPECT_EQ(client.readUntilClosed().size(), 100u);
}

TEST_F(HttpServerTest, IdleConnectionsTimeOut) {
  auto quick = settings();
  quick.idleTimeout = std::chrono::milliseconds(200);
  startServer(quick);
  {
    HttpTestClient client(port_);
    EXPECT_TRUE(client.closedByServer());
  }
  {
    // A head that never ends.
    HttpTestClient client(port_);
    client.send("GET / HTTP/1.1\r\nHost: localhost\r\n");
    EXPECT_TRUE(client.closedByServer());
  }
  {
    // A body that never comes.
    HttpTestClient client(port_);
    client.send(getRequest("/upload", "Content-Length: 10\r\n", "POST") + "12345");
    EXPECT_TRUE(client.closedByServer());
  }
  {
    // Kept alive after a reply, then idle.
    HttpTestClient client(port_);
    client.send(getRequest("/index.html"));
    EXPECT_EQ(client.readReply()->body, "home");
    EXPECT_TRUE(client.closedByServer());
  }
}

TEST_F(HttpServerTest, ConnectionsBeyondTheLimitAreClosed) {
  auto two = settings();
  two.maxConnections = 2;
  startServer(two);
  HttpTestClient first(port_), second(port_);
  first.send(getRequest("/index.html"));
  second.send(getRequest("/index.html"));
  EXPECT_EQ(first.readReply()->body, "home");
  EXPECT_EQ(second.readReply()->body, "home");
  HttpTestClient third(port_);
  EXPECT_TRUE(third.closedByServer());
  EXPECT_EQ(onServer([this] { return server_->numberOfHTTPConnections(); }), 2u);
}

TEST_F(HttpServerTest, StopClosesEveryConnection) {
  startServer();
  HttpTestClient client(port_);
  client.send(getRequest("/index.html"));
  EXPECT_EQ(client.readReply()->body, "home");
  EXPECT_EQ(onServer([this] { return server_->numberOfHTTPConnections(); }), 1u);
  stopServer();
  EXPECT_TRUE(client.closedByServer());
  EXPECT_EQ(server_->numberOfHTTPConnections(), 0u);
  EXPECT_FALSE(server_->isRunning());
}

// A port that nobody listens on right now, and one that is taken.
class PortTaker {
 public:
  PortTaker() : acceptor_(io_, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {}
  uint16_t port() const { return acceptor_.local_endpoint().port(); }
  static uint16_t freePort() { return PortTaker().port(); }

 private:
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
};

TEST_F(HttpServerTest, PortListChangePortAndATakenPort) {
  const PortTaker taken;
  const uint16_t free1 = PortTaker::freePort();
  const uint16_t free2 = PortTaker::freePort();
  auto list = settings();
  list.portList = {taken.port(), free1, free2};
  auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(logText_);
  HTTPServer server(io_, list, std::make_shared<spdlog::logger>("test", sink));

  EXPECT_EQ(server.nextPort(taken.port()), free1);
  EXPECT_EQ(server.nextPort(free2), taken.port());
  EXPECT_EQ(server.nextPort(1), taken.port());
  EXPECT_EQ(HTTPServer(io_, HTTPServerSettings{}).nextPort(8080), 8888);
  EXPECT_EQ(HTTPServer(io_, HTTPServerSettings{}).nextPort(8888), 9999);

  std::error_code error;
  ASSERT_TRUE(server.startOnFirstFreePort(error)) << error.message();
  EXPECT_EQ(server.listeningPort(), free1);
  ASSERT_TRUE(server.changePort(error)) << error.message();
  EXPECT_EQ(server.listeningPort(), free2);
  // Round to the first again, which is taken.
  EXPECT_FALSE(server.changePort(error));
  EXPECT_EQ(error, asio::error::address_in_use);
  EXPECT_FALSE(server.isRunning());
  EXPECT_NE(logText_.str().find(fmt::format("Started HTTP server on port {}\n", free1)), std::string::npos);
  EXPECT_NE(logText_.str().find("Failed to start HTTP Server: Address already in use\n"), std::string::npos);
}

}  // namespace
}  // namespace varnel::web
