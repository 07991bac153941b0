// The heads of our replies and the layout of their bodies: whole, one
// byte range, or several ranges as multipart/byteranges. Pure functions of
// the response, the ranges and the clock, so every byte is testable.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "web/http_range.h"
#include "web/http_response.h"

namespace varnel::web {

// Response bodies leave in chunks of at most this many bytes.
inline constexpr std::size_t kResponseChunkSize = 131072;

// The reason phrase of a status code we send.
std::string_view reasonPhrase(int status);

// "Tue, 05 Mar 2024 09:07:03 GMT": the HTTP date of `time` in GMT, with
// English day and month names whatever the locale.
std::string dateAsString(std::chrono::system_clock::time_point time);

// A status line and its header fields, in the order they are sent.
class ReplyHead {
 public:
  explicit ReplyHead(int status) : status_(status) {}
  int status() const { return status_; }
  // Appends a field. Control characters are dropped from the value: a name
  // taken from the ledger must not be able to end the head early.
  void add(std::string_view name, std::string_view value);
  // Appends each field whose name the head does not have yet.
  void addMissing(const HeaderFields& fields);
  bool has(std::string_view name) const;
  const HeaderFields& fields() const { return fields_; }
  // "HTTP/1.1 <status> <reason>\r\n", the fields, and the empty line.
  std::string serialize() const;

 private:
  int status_;
  HeaderFields fields_;
};

// One stretch of the body: `prefix` bytes of our own, then `length` bytes
// of the response from `start`.
struct BodySegment {
  std::string prefix;
  uint64_t start = 0;
  uint64_t length = 0;
};

struct ReplyPlan {
  ReplyHead head{200};
  std::vector<BodySegment> segments;
  std::string trailer;      // after the last segment (the closing boundary)
  uint64_t bodyLength = 0;  // the Content-Length of the head
};

// The reply to a request for `response`: 200 with the whole body and the
// fields the handler asked for; 206 with "Content-Range" for one range; 206
// multipart/byteranges separated by `boundary` for several. The head gets
// neither "Date" nor the common fields yet (see finishHead).
ReplyPlan planReply(const HTTPResponse& response, const std::vector<ByteRange>& ranges,
                    std::string_view boundary);

// An error reply: a head only, with "Content-Length: 0".
ReplyHead errorHead(int status);

// Adds what every head carries: "Date", "Accept-Ranges: bytes", then the
// response's own fields (when there is a response).
void finishHead(ReplyHead& head, std::string_view date, const HTTPResponse* response);

// A fresh boundary text for a multipart reply (an upper-case UUID).
std::string newBoundary();

}  // namespace varnel::web
