#include "web/http_range.h"

#include <algorithm>
#include <optional>

#include "web/http_request.h"

namespace varnel::web {

namespace {

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::optional<ByteRange> parsePiece(std::string_view piece, uint64_t contentLength) {
  const auto dash = piece.find('-');
  if (dash == std::string_view::npos) {
    const auto n = parseUnsigned64(piece);
    if (!n || *n >= contentLength) return std::nullopt;
    return ByteRange{*n, 1};
  }
  const std::string_view first = piece.substr(0, dash);
  const std::string_view second = piece.substr(dash + 1);
  if (first.empty()) {
    const auto n = parseUnsigned64(second);
    if (!n || *n == 0 || *n > contentLength) return std::nullopt;
    return ByteRange{contentLength - *n, *n};
  }
  const auto start = parseUnsigned64(first);
  if (!start || *start >= contentLength) return std::nullopt;
  if (second.empty()) return ByteRange{*start, contentLength - *start};
  auto last = parseUnsigned64(second);
  if (!last || *last < *start) return std::nullopt;
  // Clipped: the body loop must never wait for bytes the response lacks.
  last = std::min(*last, contentLength - 1);
  return ByteRange{*start, *last - *start + 1};
}

}  // namespace

std::vector<ByteRange> parseRangeRequest(std::string_view header, uint64_t contentLength) {
  const auto equals = header.find('=');
  if (equals == std::string_view::npos) return {};
  if (!equalsIgnoringCase(trim(header.substr(0, equals)), "bytes")) return {};

  std::vector<ByteRange> ranges;
  std::string_view rest = trim(header.substr(equals + 1));
  while (true) {
    const auto comma = rest.find(',');
    if (ranges.size() == kMaxRanges) return {};
    const auto range = parsePiece(trim(rest.substr(0, comma)), contentLength);
    if (!range) return {};
    ranges.push_back(*range);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }

  if (ranges.size() > 1) {
    std::vector<ByteRange> sorted = ranges;
    std::sort(sorted.begin(), sorted.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < sorted.size(); ++i) {
      if (sorted[i].start <= sorted[i - 1].last()) return {};
    }
  }
  return ranges;
}

}  // namespace varnel::web
