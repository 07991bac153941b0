// Range headers against a response of 1000 bytes: which are honoured, how
// they are clipped, and which make the reply a plain 200.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "web/http_range.h"

namespace varnel::web {
namespace {

std::string joined(const std::vector<ByteRange>& ranges) {
  std::string text;
  for (const auto& r : ranges) text += (text.empty() ? "" : ",") + std::to_string(r.start) + "+" + std::to_string(r.length);
  return text.empty() ? "whole" : text;
}

std::string manyRanges(int count) {
  std::string header = "bytes=";
  for (int i = 0; i < count; ++i) header += (i ? "," : "") + std::to_string(i * 2) + "-" + std::to_string(i * 2);
  return header;
}

TEST(RangeRequestTest, HonouredClippedOrIgnored) {
  struct Case {
    std::string header;
    std::string ranges;  // start+length,... or "whole" for a plain 200
  };
  const std::vector<Case> cases = {
      {"bytes=0-99", "0+100"},
      {"bytes=-100", "900+100"},
      {"bytes=900-", "900+100"},
      {"bytes=5", "5+1"},
      {"bytes=0-9,20-29", "0+10,20+10"},
      {"bytes=20-29,0-9", "20+10,0+10"},  // kept in the order asked
      {"bytes=0-9,10-19", "0+10,10+10"},  // adjacent is not overlapping
      {" BYTES = 0-0 , 999-999 ", "0+1,999+1"},
      {"bytes=-1000", "0+1000"},
      // Past the end: clipped to the last byte.
      {"bytes=990-5000", "990+10"},
      {"bytes=0-18446744073709551615", "0+1000"},
      // Refused: the whole response is sent.
      {"bytes=0-99,50-150", "whole"},   // overlapping
      {"bytes=0-9,5", "whole"},         // a single byte inside another range
      {"bytes=-100,850-", "whole"},     // suffix overlapping an open range
      {"items=0-9", "whole"},
      {"bytes 0-9", "whole"},
      {"bytes=1000-", "whole"},         // starts at the end
      {"bytes=1000-1005", "whole"},
      {"bytes=1000", "whole"},
      {"bytes=-1001", "whole"},         // suffix longer than the response
      {"bytes=-0", "whole"},            // no bytes at all
      {"bytes=9-5", "whole"},
      {"bytes=", "whole"},
      {"bytes=-", "whole"},
      {"bytes=0-9,", "whole"},
      {"bytes=0-9-10", "whole"},
      {"bytes=a-9", "whole"},
      {"bytes=+1-9", "whole"},
      {"bytes=0x1-9", "whole"},
      {"bytes=18446744073709551616-", "whole"},  // does not fit in 64 bits
      {"bytes=0-18446744073709551616", "whole"},
      {"bytes=-99999999999999999999999", "whole"},
      {std::string("bytes=0-9\0", 10), "whole"},
      {manyRanges(100), ""},            // the most ranges allowed (checked below)
      {manyRanges(101), "whole"},
  };
  for (const auto& c : cases) {
    const auto ranges = parseRangeRequest(c.header, 1000);
    if (c.ranges.empty()) {
      EXPECT_EQ(ranges.size(), kMaxRanges) << c.header.substr(0, 40);
    } else {
      EXPECT_EQ(joined(ranges), c.ranges) << c.header;
    }
  }
}

TEST(RangeRequestTest, NothingIsSatisfiableInAnEmptyResponse) {
  EXPECT_TRUE(parseRangeRequest("bytes=0-0", 0).empty());
  EXPECT_TRUE(parseRangeRequest("bytes=-1", 0).empty());
  EXPECT_TRUE(parseRangeRequest("bytes=0-", 0).empty());
}

}  // namespace
}  // namespace varnel::web
