// Randomised requests (fixed seed) through a connection fed from memory,
// so that every read boundary is ours to choose: malformed lines, huge
// numbers, NUL bytes, long lines and random ranges must never crash the
// server, every reply must be well-formed and follow the close rules, and
// how a request is split across reads must not change a single byte of the
// replies.
#include <algorithm>
#include <deque>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <asio/io_context.hpp>
#include <fmt/format.h>
#include <gtest/gtest.h>

#include "support/test_ledger.h"
#include "web/http_range.h"
#include "web/http_server.h"

namespace varnel::web {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDate = "Sun, 06 Nov 1994 08:49:37 GMT";

// Takes POST bodies and answers with their length and a checksum, which do
// not depend on how the body was cut into chunks.
class EchoConnection : public HTTPConnection {
 public:
  using HTTPConnection::HTTPConnection;

 protected:
  bool supportsMethod(std::string_view method, std::string_view path) override {
    return method == "POST" || HTTPConnection::supportsMethod(method, path);
  }
  bool prepareForBodyWithSize(uint64_t) override {
    length_ = 0;
    sum_ = 0;
    return true;
  }
  void processDataChunk(std::string_view chunk) override {
    EXPECT_LE(chunk.size(), kBodyChunkSize);
    EXPECT_FALSE(chunk.empty());
    for (unsigned char c : chunk) sum_ = sum_ * 31 + c;
    length_ += chunk.size();
  }
  std::unique_ptr<HTTPResponse> httpResponseForMethod(std::string_view method, std::string_view uri) override {
    if (method == "POST") return std::make_unique<HTTPDataResponse>(fmt::format("{} {}", length_, sum_));
    return HTTPConnection::httpResponseForMethod(method, uri);
  }

 private:
  uint64_t length_ = 0;
  uint64_t sum_ = 0;
};

struct Outcome {
  std::string output;
  bool ended = false;  // our side was shut down or closed
  bool operator==(const Outcome&) const = default;
};

class HttpFuzzTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = dir_.path() / "www";
    fs::create_directories(root_);
    std::ofstream(root_ / "index.html") << "home";
    std::string data(3000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 253);
    std::ofstream(root_ / "data.bin", std::ios::binary) << data;
  }

  Outcome serve(std::deque<std::string> pieces) {
    asio::io_context io;
    HTTPServerSettings settings;
    settings.documentRoot = root_;
    settings.clock = [] { return std::chrono::system_clock::time_point(std::chrono::seconds(784111777)); };
    settings.boundary = [] { return std::string("B0UND"); };
    HTTPServer server(io, settings);
    server.setConnectionClass<EchoConnection>();
    auto record = std::make_shared<MemoryTransport::Record>();
    record->outputLimit = 1 << 20;
    server.acceptConnection(std::make_unique<MemoryTransport>(io.get_executor(), std::move(pieces), record));
    io.run();
    EXPECT_EQ(server.numberOfHTTPConnections(), 0u);
    return {record->output, record->sendShutdown || record->closed};
  }

  testing::TempDir dir_;
  fs::path root_;
};

// Checks that `output` is a sequence of whole, well-formed replies and that
// nothing follows a reply after which the connection must close. Returns
// what is wrong, or "" when nothing is.
std::string checkReplies(const std::string& output, bool ended) {
  std::size_t at = 0;
  while (at < output.size()) {
    const std::size_t end = output.find("\r\n\r\n", at);
    if (end == std::string::npos) return "a head without its end at " + std::to_string(at);
    const std::string head = output.substr(at, end + 2 - at);
    at = end + 4;
    if (head.compare(0, 9, "HTTP/1.1 ") != 0) return "bad status line: " + head.substr(0, 40);
    const int status = std::atoi(head.substr(9, 3).c_str());
    const std::size_t lineEnd = head.find("\r\n");
    if (head.substr(12, lineEnd - 12) != " " + std::string(reasonPhrase(status))) return "bad reason: " + head;
    if (status == 100) {
      if (head != "HTTP/1.1 100 Continue\r\n") return "bad interim reply";
      continue;
    }
    std::map<std::string, std::string> fields;
    for (std::size_t line = lineEnd + 2; line < head.size();) {
      const std::size_t next = head.find("\r\n", line);
      const std::string field = head.substr(line, next - line);
      const std::size_t colon = field.find(": ");
      if (colon == std::string::npos) return "bad field: " + field;
      if (fields.count(field.substr(0, colon))) return "repeated field: " + field;
      fields[field.substr(0, colon)] = field.substr(colon + 2);
      line = next + 2;
    }
    if (fields["Date"] != kDate || fields["Accept-Ranges"] != "bytes") return "missing common fields: " + head;
    const auto length = parseUnsigned64(fields["Content-Length"]);
    if (!length) return "no Content-Length: " + head;
    if (output.size() - at < *length) return "a body shorter than its Content-Length: " + head;
    const std::string body = output.substr(at, *length);
    at += *length;
    if (status == 206 && fields.count("Content-Range")) {
      uint64_t first = 0, last = 0, total = 0;
      if (std::sscanf(fields["Content-Range"].c_str(), "bytes %lu-%lu/%lu", &first, &last, &total) != 3 ||
          last < first || last >= total || last - first + 1 != *length) {
        return "bad Content-Range: " + head;
      }
    } else if (status == 206) {
      if (fields["Content-Type"] != "multipart/byteranges; boundary=B0UND") return "bad multipart head: " + head;
      if (body.size() < 13 || body.compare(body.size() - 13, 13, "\r\n--B0UND--\r\n") != 0) {
        return "multipart body without its closing boundary";
      }
    } else if (status >= 300 && *length != 0) {
      return "an error reply with a body: " + head;
    }
    const bool mustClose = status == 400 || status == 405 || status == 413 || status == 421 || status == 500;
    if (mustClose && at != output.size()) return "bytes after a closing reply: " + head;
    if (mustClose && !ended) return "the connection stayed open after: " + head;
  }
  return "";
}

std::string get(const std::string& target, const std::string& extra = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n" + extra + "\r\n";
}

std::vector<std::string> baseRequests() {
  return {
      get("/data.bin", "Range: bytes=10-19\r\n"),
      get("/data.bin", "Range: bytes=0-9,100-199,-5\r\n"),
      get("/index.html") + get("/missing") + get("/data.bin", "Range: bytes=2990-9999\r\n"),
      "POST /echo HTTP/1.1\r\nHost: localhost\r\nContent-Length: 40\r\n\r\n" + std::string(40, 'b') +
          get("/index.html"),
      "POST /echo HTTP/1.1\r\nHost: localhost\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\nhello",
      "GET / HTTP/1.0\r\n\r\n" + get("/index.html"),
      get("/index.html", "Content-Length: 3\r\n") + "abc",
      "\r\n" + get("/", "Range: bytes=0-0\r\nX-Long: " + std::string(200, 'x') + "\r\n"),
  };
}

TEST_F(HttpFuzzTest, EverySplitPointGivesTheSameReplies) {
  for (const std::string& request : baseRequests()) {
    const Outcome whole = serve({request});
    ASSERT_EQ(checkReplies(whole.output, whole.ended), "") << request;
    for (std::size_t cut = 1; cut < request.size(); ++cut) {
      ASSERT_EQ(serve({request.substr(0, cut), request.substr(cut)}), whole) << request << " cut at " << cut;
    }
    std::deque<std::string> bytes;
    for (char c : request) bytes.emplace_back(1, c);
    ASSERT_EQ(serve(bytes), whole) << request << " byte by byte";
  }
}

std::string hugeNumber(std::mt19937& random) {
  static const std::vector<std::string> numbers = {"0", "1", "18446744073709551615", "18446744073709551616",
                                                   "99999999999999999999999999", "-1", "+5", "0x10", "4294967296"};
  return numbers[random() % numbers.size()];
}

std::string randomRangeHeader(std::mt19937& random) {
  std::string header = random() % 8 ? "bytes=" : "Bytes =";
  const int count = 1 + static_cast<int>(random() % (random() % 4 ? 4 : 120));
  for (int i = 0; i < count; ++i) {
    if (i) header += random() % 10 ? "," : ", ";
    const auto number = [&] { return random() % 6 ? std::to_string(random() % 3200) : hugeNumber(random); };
    switch (random() % 4) {
      case 0: header += number() + "-" + number(); break;
      case 1: header += number() + "-"; break;
      case 2: header += "-" + number(); break;
      default: header += number(); break;
    }
  }
  return header;
}

std::string mutate(std::string request, std::mt19937& random) {
  const int steps = 1 + static_cast<int>(random() % 4);
  for (int step = 0; step < steps && !request.empty(); ++step) {
    const std::size_t at = random() % request.size();
    switch (random() % 9) {
      case 0: request[at] = static_cast<char>(random() % 256); break;
      case 1: request.insert(at, 1, "\0\r\n :"[random() % 5]); break;
      case 2: request.erase(at, random() % 20); break;
      case 3: request.insert(at, request.substr(at, random() % 60)); break;
      case 4: {
        // A number replaced by a huge or malformed one.
        const std::size_t digit = request.find_first_of("0123456789", at);
        if (digit == std::string::npos) break;
        const std::size_t end = request.find_first_not_of("0123456789", digit);
        request.replace(digit, end - digit, hugeNumber(random));
        break;
      }
      case 5: request.insert(at, std::string(random() % 2 ? 8200 : 300, 'a')); break;
      case 6: {
        const std::size_t line = request.find("\r\n");
        if (line != std::string::npos) request.insert(line + 2, "Range: " + randomRangeHeader(random) + "\r\n");
        break;
      }
      case 7: {
        std::string lines;
        const int count = 90 + static_cast<int>(random() % 20);
        for (int i = 0; i < count; ++i) lines += "X: y\r\n";
        const std::size_t line = request.find("\r\n");
        if (line != std::string::npos) request.insert(line + 2, lines);
        break;
      }
      default: request.resize(at); break;
    }
  }
  return request;
}

TEST_F(HttpFuzzTest, MutatedRequestsGetWellFormedRepliesWhateverTheSplit) {
  std::mt19937 random(20261210);
  const auto bases = baseRequests();
  for (int round = 0; round < 1500; ++round) {
    const std::string request = mutate(bases[random() % bases.size()], random);
    const Outcome whole = serve({request});
    ASSERT_EQ(checkReplies(whole.output, whole.ended), "") << "round " << round << ": " << request.substr(0, 300);
    std::deque<std::string> pieces;
    std::size_t at = 0;
    while (at < request.size()) {
      const std::size_t size = 1 + random() % (random() % 3 ? 40 : 9000);
      pieces.push_back(request.substr(at, size));
      at += size;
    }
    ASSERT_EQ(serve(pieces), whole) << "round " << round << ": " << request.substr(0, 300);
  }
}

TEST(RangeFuzzTest, RandomHeadersGiveOnlyRangesInsideTheResponse) {
  std::mt19937 random(6101);
  for (int round = 0; round < 20000; ++round) {
    std::string header = randomRangeHeader(random);
    if (random() % 10 == 0) header.insert(random() % header.size(), 1, '\0');
    const uint64_t length = random() % 4 ? 3000 : random() % 5;
    const auto ranges = parseRangeRequest(header, length);
    ASSERT_LE(ranges.size(), kMaxRanges) << header;
    auto sorted = ranges;
    std::sort(sorted.begin(), sorted.end(), [](auto& a, auto& b) { return a.start < b.start; });
    for (std::size_t i = 0; i < sorted.size(); ++i) {
      ASSERT_GE(sorted[i].length, 1u) << header;
      ASSERT_LE(sorted[i].start + sorted[i].length, length) << header;
      if (i > 0) {
        ASSERT_GT(sorted[i].start, sorted[i - 1].last()) << header;
      }
    }
  }
}

TEST(RangeFuzzTest, DisjointRangesInsideTheResponseAreHonouredAsAsked) {
  std::mt19937 random(77);
  for (int round = 0; round < 5000; ++round) {
    const uint64_t length = 1 + random() % 100000;
    std::vector<ByteRange> wanted;
    uint64_t next = 0;
    const int count = 1 + static_cast<int>(random() % kMaxRanges);
    for (int i = 0; i < count && next < length; ++i) {
      const uint64_t start = next + random() % 50;
      if (start >= length) break;
      const uint64_t size = 1 + random() % std::min<uint64_t>(length - start, 500);
      wanted.push_back({start, size});
      next = start + size;
    }
    std::shuffle(wanted.begin(), wanted.end(), random);
    std::string header = "bytes=";
    for (std::size_t i = 0; i < wanted.size(); ++i) {
      header += fmt::format("{}{}-{}", i ? "," : "", wanted[i].start, wanted[i].last());
    }
    ASSERT_EQ(parseRangeRequest(header, length), wanted) << header;
  }
}

}  // namespace
}  // namespace varnel::web
