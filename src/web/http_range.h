// Byte ranges of a "Range" request header, checked against the length of
// the response they apply to.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace varnel::web {

// A request may ask for at most this many ranges; more are refused, since
// each one costs a part header and a seek.
inline constexpr std::size_t kMaxRanges = 100;

struct ByteRange {
  uint64_t start = 0;
  uint64_t length = 0;  // at least 1
  uint64_t last() const { return start + length - 1; }
  bool operator==(const ByteRange&) const = default;
};

// The ranges of `header` ("bytes=0-99,200-" and the like) for a response
// of `contentLength` bytes, in the order asked. Empty when the header is to
// be ignored and the whole response sent: another unit than "bytes", a
// number that is not decimal or does not fit in 64 bits, an end before its
// start, a start at or past the end, a suffix longer than the response (or
// of zero bytes), more than kMaxRanges ranges, or two ranges that overlap.
// A range whose end lies past the last byte is clipped to it.
std::vector<ByteRange> parseRangeRequest(std::string_view header, uint64_t contentLength);

}  // namespace varnel::web
