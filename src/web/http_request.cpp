#include "web/http_request.h"

#include <cstring>

namespace varnel::web {

namespace {

// The characters of a method or header name ("token" of HTTP).
bool isTokenChar(unsigned char c) {
  if (c >= '0' && c <= '9') return true;
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return true;
  return std::strchr("!#$%&'*+-.^_`|~", c) != nullptr && c != 0;
}

bool isToken(std::string_view text) {
  if (text.empty()) return false;
  for (unsigned char c : text) {
    if (!isTokenChar(c)) return false;
  }
  return true;
}

std::string_view trimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool isVersion(std::string_view text) {
  return text.size() == 8 && text.substr(0, 5) == "HTTP/" && text[5] >= '0' && text[5] <= '9' &&
         text[6] == '.' && text[7] >= '0' && text[7] <= '9';
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::optional<uint64_t> parseUnsigned64(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<std::string_view> HTTPRequest::headerField(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (equalsIgnoringCase(key, name)) return std::string_view(value);
  }
  return std::nullopt;
}

int HTTPRequest::headerCount(std::string_view name) const {
  int count = 0;
  for (const auto& header : headers) {
    if (equalsIgnoringCase(header.first, name)) ++count;
  }
  return count;
}

std::string_view HTTPRequest::path() const {
  std::string_view target = uri;
  return target.substr(0, target.find('?'));
}

void HTTPRequestParser::reset() {
  request_.method.clear();
  request_.uri.clear();
  request_.version.clear();
  request_.headers.clear();
  request_.rawHead.clear();
  numHeaderLines_ = 0;
  haveRequestLine_ = false;
}

HTTPRequestParser::Outcome HTTPRequestParser::appendLine(std::string_view line) {
  ++numHeaderLines_;
  if (!haveRequestLine_) {
    if (line.empty()) return Outcome::kNeedMore;
    if (!parseRequestLine(line)) return Outcome::kMalformed;
    haveRequestLine_ = true;
  } else if (line.empty()) {
    request_.rawHead += "\r\n";
    return Outcome::kComplete;
  } else if (!parseHeaderLine(line)) {
    return Outcome::kMalformed;
  }
  request_.rawHead.append(line);
  request_.rawHead += "\r\n";
  return Outcome::kNeedMore;
}

bool HTTPRequestParser::parseRequestLine(std::string_view line) {
  const auto firstSpace = line.find(' ');
  if (firstSpace == std::string_view::npos) return false;
  const auto secondSpace = line.find(' ', firstSpace + 1);
  if (secondSpace == std::string_view::npos) return false;
  const std::string_view method = line.substr(0, firstSpace);
  const std::string_view target = line.substr(firstSpace + 1, secondSpace - firstSpace - 1);
  const std::string_view version = line.substr(secondSpace + 1);
  if (!isToken(method) || !isVersion(version)) return false;
  // Only the origin form ("/path?query"): an absolute target would name a
  // host of its own beside the Host header, and we are nobody's proxy.
  if (target.empty() || target.front() != '/') return false;
  for (unsigned char c : target) {
    if (c <= 0x20 || c == 0x7f) return false;
  }
  request_.method.assign(method);
  request_.uri.assign(target);
  request_.version.assign(version);
  return true;
}

bool HTTPRequestParser::parseHeaderLine(std::string_view line) {
  // A line folded onto the previous one (leading space) is refused: readers
  // disagree on whether it continues the previous field.
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view name = line.substr(0, colon);
  if (!isToken(name)) return false;
  const std::string_view value = trimSpaces(line.substr(colon + 1));
  for (unsigned char c : value) {
    if ((c < 0x20 && c != '\t') || c == 0x7f) return false;
  }
  request_.headers.emplace_back(std::string(name), std::string(value));
  return true;
}

LineScanner::Scan LineScanner::next(std::string_view bytes, std::size_t maxLength) {
  // Only the first maxLength bytes can hold the end of an acceptable line.
  const std::size_t window = bytes.size() < maxLength ? bytes.size() : maxLength;
  for (std::size_t i = 0; i < window; ++i) {
    const char c = bytes[i];
    if (c == '\n') return {Outcome::kBadBytes, {}, 0};
    if (c == '\0') return {Outcome::kBadBytes, {}, 0};
    if (c != '\r') continue;
    if (i + 1 >= bytes.size()) {
      // The CR may be the first half of a CRLF still on its way, unless the
      // LF would push the line past the limit.
      return i + 2 > maxLength ? Scan{Outcome::kTooLong, {}, 0} : Scan{Outcome::kNeedMore, {}, 0};
    }
    if (bytes[i + 1] != '\n') return {Outcome::kBadBytes, {}, 0};
    if (i + 2 > maxLength) return {Outcome::kTooLong, {}, 0};
    return {Outcome::kLine, bytes.substr(0, i), i + 2};
  }
  if (bytes.size() >= maxLength) return {Outcome::kTooLong, {}, 0};
  return {Outcome::kNeedMore, {}, 0};
}

BodyFraming checkBodyFraming(const HTTPRequest& request, bool expectsBody, uint64_t maxBodyLength) {
  BodyFraming framing;
  if (request.headerCount("Transfer-Encoding") > 0) {
    framing.verdict = BodyFraming::Verdict::kBadRequest;
    return framing;
  }
  const int lengths = request.headerCount("Content-Length");
  if (!expectsBody) {
    if (lengths > 0) framing.verdict = BodyFraming::Verdict::kBadRequest;
    return framing;
  }
  if (lengths != 1) {
    framing.verdict = BodyFraming::Verdict::kBadRequest;
    return framing;
  }
  const auto length = parseUnsigned64(*request.headerField("Content-Length"));
  if (!length) {
    framing.verdict = BodyFraming::Verdict::kBadRequest;
    return framing;
  }
  framing.contentLength = *length;
  if (*length > maxBodyLength) framing.verdict = BodyFraming::Verdict::kTooLarge;
  return framing;
}

}  // namespace varnel::web
