// Reading an HTTP/1.1 request head, one CRLF-terminated line at a time, and
// the rules its framing must pass before any body byte is read. Everything
// here works on bytes in memory, so the parsers are tested without sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnel::web {

// A request line may be at most this long, its CRLF included.
inline constexpr std::size_t kMaxHeaderLineLength = 8190;
// A head that is still incomplete after this many lines ends the connection.
inline constexpr int kMaxHeaderLines = 100;
// Request bodies reach the handler in chunks of at most this many bytes.
inline constexpr std::size_t kBodyChunkSize = 32768;

// One request head as it was received.
struct HTTPRequest {
  std::string method;
  std::string uri;      // the request target as sent: path and query
  std::string version;  // "HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;  // in order, values trimmed
  std::string rawHead;  // every line of the head with its CRLF, the empty line included

  // The value of the first header field named `name` (case ignored).
  std::optional<std::string_view> headerField(std::string_view name) const;
  // How many header fields are named `name` (case ignored).
  int headerCount(std::string_view name) const;
  // The target before any "?".
  std::string_view path() const;
};

// Assembles one request head from its lines (each without its CRLF).
class HTTPRequestParser {
 public:
  enum class Outcome {
    kNeedMore,   // read the next line
    kComplete,   // the empty line ended a well-formed head
    kMalformed,  // the head cannot be an HTTP request head (reply 400)
  };

  // Takes the next line. Empty lines before the request line are skipped
  // (clients may send a CRLF after a body), but still counted.
  Outcome appendLine(std::string_view line);
  int numHeaderLines() const { return numHeaderLines_; }
  const HTTPRequest& request() const { return request_; }
  HTTPRequest& request() { return request_; }
  void reset();

 private:
  bool parseRequestLine(std::string_view line);
  bool parseHeaderLine(std::string_view line);

  HTTPRequest request_;
  int numHeaderLines_ = 0;
  bool haveRequestLine_ = false;
};

// Splits received bytes into CRLF-terminated lines. A line is refused when
// it holds a NUL, a bare CR or a bare LF: those are read differently by
// different parsers, which is how requests get smuggled past a proxy.
class LineScanner {
 public:
  enum class Outcome {
    kLine,      // `line` is set; `consumed` bytes (the CRLF included) were used
    kNeedMore,  // no complete line yet, and the limit is not reached
    kTooLong,   // the line exceeds kMaxHeaderLineLength: close without a reply
    kBadBytes,  // a NUL, bare CR or bare LF: reply 400
  };
  struct Scan {
    Outcome outcome;
    std::string_view line;
    std::size_t consumed = 0;
  };
  // Looks for one line at the start of `bytes`.
  static Scan next(std::string_view bytes, std::size_t maxLength = kMaxHeaderLineLength);
};

// What the head's framing says about the body.
struct BodyFraming {
  enum class Verdict {
    kOk,
    kBadRequest,  // a missing, malformed, repeated or forbidden length (reply 400)
    kTooLarge,    // a length beyond the server's limit (reply 413)
  };
  Verdict verdict = Verdict::kOk;
  uint64_t contentLength = 0;
};

// A method that expects a body must give its length in exactly one
// Content-Length of decimal digits that fits in 64 bits; any other method
// must not carry one. Transfer-Encoding is refused outright: its body would
// otherwise be read as the next request on the connection.
BodyFraming checkBodyFraming(const HTTPRequest& request, bool expectsBody, uint64_t maxBodyLength);

// Parses a whole decimal number of at most 64 bits: digits only, no sign,
// no spaces. Empty when the text is anything else or overflows.
std::optional<uint64_t> parseUnsigned64(std::string_view text);

// True when `a` and `b` are equal ignoring ASCII case.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace varnel::web
