// The request head readers on bytes in memory: line limits, forbidden
// bytes, the request line and header grammar, and the body framing rules.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "web/http_request.h"

namespace varnel::web {
namespace {

TEST(LineScannerTest, LinesEndOnlyAtCrlfWithinTheLimit) {
  using O = LineScanner::Outcome;
  const std::string longest(kMaxHeaderLineLength - 2, 'a');
  struct Case {
    std::string bytes;
    O outcome;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"GET / HTTP/1.1\r\nHost: x\r\n", O::kLine, "GET / HTTP/1.1"},
      {"\r\n", O::kLine, ""},
      {"GET / HTTP/1.1", O::kNeedMore, ""},
      {"GET / HTTP/1.1\r", O::kNeedMore, ""},
      {"GET / HTTP/1.1\n", O::kBadBytes, ""},
      {"GET /\r HTTP/1.1\r\n", O::kBadBytes, ""},
      {std::string("GET /\0 HTTP/1.1\r\n", 18), O::kBadBytes, ""},
      // The longest line, its CRLF included, is 8190 bytes.
      {longest + "\r\n", O::kLine, longest},
      {longest + "a\r\n", O::kTooLong, ""},
      {longest + "a\r", O::kTooLong, ""},
      {std::string(kMaxHeaderLineLength, 'a'), O::kTooLong, ""},
      {longest + "\r", O::kNeedMore, ""},
  };
  for (const auto& c : cases) {
    const auto scan = LineScanner::next(c.bytes);
    EXPECT_EQ(scan.outcome, c.outcome) << c.bytes.substr(0, 40);
    EXPECT_EQ(std::string(scan.line), c.line) << c.bytes.substr(0, 40);
    if (c.outcome == O::kLine) {
      EXPECT_EQ(scan.consumed, c.line.size() + 2);
    }
  }
}

HTTPRequestParser::Outcome parseLines(HTTPRequestParser& parser, const std::vector<std::string>& lines) {
  HTTPRequestParser::Outcome outcome = HTTPRequestParser::Outcome::kNeedMore;
  for (const auto& line : lines) {
    outcome = parser.appendLine(line);
    if (outcome != HTTPRequestParser::Outcome::kNeedMore) break;
  }
  return outcome;
}

TEST(HTTPRequestParserTest, AcceptsAWellFormedHeadAndKeepsItsRawText) {
  HTTPRequestParser parser;
  ASSERT_EQ(parseLines(parser, {"", "POST /varnelBook/login?x=1 HTTP/1.1", "Host: example:8888",
                                "Content-Length:  5 ", "X-Empty:", ""}),
            HTTPRequestParser::Outcome::kComplete);
  const HTTPRequest& request = parser.request();
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.uri, "/varnelBook/login?x=1");
  EXPECT_EQ(request.path(), "/varnelBook/login");
  EXPECT_EQ(request.version, "HTTP/1.1");
  EXPECT_EQ(request.headerField("content-length"), "5");
  EXPECT_EQ(request.headerField("X-EMPTY"), "");
  EXPECT_FALSE(request.headerField("Range"));
  // The skipped empty line before the request line still counts.
  EXPECT_EQ(parser.numHeaderLines(), 6);
  EXPECT_EQ(request.rawHead,
            "POST /varnelBook/login?x=1 HTTP/1.1\r\nHost: example:8888\r\nContent-Length:  5 \r\n"
            "X-Empty:\r\n\r\n");
}

TEST(HTTPRequestParserTest, RefusesHeadsThatAreNotHttp) {
  const std::vector<std::vector<std::string>> malformed = {
      {"GET /"},                           // no version
      {"GET  / HTTP/1.1"},                 // two spaces
      {"GET / HTTP/1.1 extra"},            // four parts
      {"GET / HTTP/11"},                   // not a version
      {"GET / http/1.1"},                  // the version is case-sensitive
      {"G@T / HTTP/1.1"},                  // not a method token
      {"GET http://evil/ HTTP/1.1"},       // absolute target
      {"GET * HTTP/1.1"},                  // asterisk target
      {"GET /a\x7f HTTP/1.1"},             // DEL in the target
      {"GET / HTTP/1.1", "NoColon"},       // header without a colon
      {"GET / HTTP/1.1", "Bad Name: x"},   // space in the name
      {"GET / HTTP/1.1", "Name : x"},      // space before the colon
      {"GET / HTTP/1.1", ": x"},           // empty name
      {"GET / HTTP/1.1", "A: b", " folded"},  // a folded line
      {"GET / HTTP/1.1", "A: b\x01"},      // a control character in a value
  };
  for (const auto& lines : malformed) {
    HTTPRequestParser parser;
    EXPECT_EQ(parseLines(parser, lines), HTTPRequestParser::Outcome::kMalformed) << lines.back();
  }
}

TEST(HTTPRequestParserTest, OtherVersionsParseSoTheyCanBeAnswered505) {
  HTTPRequestParser parser;
  ASSERT_EQ(parseLines(parser, {"GET / HTTP/1.0", ""}), HTTPRequestParser::Outcome::kComplete);
  EXPECT_EQ(parser.request().version, "HTTP/1.0");
  parser.reset();
  ASSERT_EQ(parseLines(parser, {"BREW /pot HTTP/2.0", ""}), HTTPRequestParser::Outcome::kComplete);
  EXPECT_EQ(parser.request().method, "BREW");
}

TEST(ParseUnsigned64Test, OnlyWholeDecimalNumbersThatFit) {
  EXPECT_EQ(parseUnsigned64("0"), 0u);
  EXPECT_EQ(parseUnsigned64("007"), 7u);
  EXPECT_EQ(parseUnsigned64("18446744073709551615"), UINT64_MAX);
  for (const char* bad : {"", "18446744073709551616", "99999999999999999999999", "-1", "+1", " 1",
                          "1 ", "0x10", "1e3", "１"}) {
    EXPECT_FALSE(parseUnsigned64(bad)) << bad;
  }
}

TEST(BodyFramingTest, LengthRulesByMethod) {
  using V = BodyFraming::Verdict;
  struct Case {
    std::vector<std::pair<std::string, std::string>> headers;
    bool expectsBody;
    V verdict;
    uint64_t length;
  };
  const std::vector<Case> cases = {
      {{}, false, V::kOk, 0},
      {{{"Content-Length", "5"}}, false, V::kBadRequest, 0},  // GET with a length
      {{}, true, V::kBadRequest, 0},                          // POST without one
      {{{"Content-Length", "5"}}, true, V::kOk, 5},
      {{{"content-length", "0"}}, true, V::kOk, 0},
      {{{"Content-Length", "18446744073709551615"}}, true, V::kTooLarge, UINT64_MAX},
      {{{"Content-Length", "18446744073709551616"}}, true, V::kBadRequest, 0},
      {{{"Content-Length", "-1"}}, true, V::kBadRequest, 0},
      {{{"Content-Length", "5, 5"}}, true, V::kBadRequest, 0},
      {{{"Content-Length", "5"}, {"Content-Length", "5"}}, true, V::kBadRequest, 0},
      {{{"Content-Length", "1001"}}, true, V::kTooLarge, 1001},
      {{{"Content-Length", "1000"}}, true, V::kOk, 1000},
      // A chunked body is never taken: its bytes would be read as a request.
      {{{"Transfer-Encoding", "chunked"}}, true, V::kBadRequest, 0},
      {{{"Transfer-Encoding", "chunked"}}, false, V::kBadRequest, 0},
      {{{"Content-Length", "5"}, {"Transfer-Encoding", "chunked"}}, true, V::kBadRequest, 0},
  };
  for (const auto& c : cases) {
    HTTPRequest request;
    request.headers = c.headers;
    const BodyFraming framing = checkBodyFraming(request, c.expectsBody, 1000);
    const std::string label = c.headers.empty() ? "(none)" : c.headers.front().second;
    EXPECT_EQ(framing.verdict, c.verdict) << label << " expectsBody " << c.expectsBody;
    if (c.verdict != V::kBadRequest) {
      EXPECT_EQ(framing.contentLength, c.length) << label;
    }
  }
}

}  // namespace
}  // namespace varnel::web
