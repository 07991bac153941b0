#include "web/http_reply.h"

#include <ctime>

#include <fmt/format.h>

#include "model/base_repository.h"
#include "web/http_request.h"

namespace varnel::web {

std::string_view reasonPhrase(int status) {
  switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 421: return "Misdirected Request";
    case 500: return "Internal Server Error";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
  }
}

std::string dateAsString(std::chrono::system_clock::time_point time) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  return fmt::format("{}, {:02d} {} {} {:02d}:{:02d}:{:02d} GMT", kDays[parts.tm_wday], parts.tm_mday,
                     kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour, parts.tm_min,
                     parts.tm_sec);
}

void ReplyHead::add(std::string_view name, std::string_view value) {
  std::string clean;
  clean.reserve(value.size());
  for (char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) clean += c;
  }
  fields_.emplace_back(std::string(name), std::move(clean));
}

void ReplyHead::addMissing(const HeaderFields& fields) {
  for (const auto& [name, value] : fields) {
    if (!has(name)) add(name, value);
  }
}

bool ReplyHead::has(std::string_view name) const {
  for (const auto& field : fields_) {
    if (equalsIgnoringCase(field.first, name)) return true;
  }
  return false;
}

std::string ReplyHead::serialize() const {
  std::string text = fmt::format("HTTP/1.1 {} {}\r\n", status_, reasonPhrase(status_));
  for (const auto& [name, value] : fields_) {
    text += name;
    text += ": ";
    text += value;
    text += "\r\n";
  }
  text += "\r\n";
  return text;
}

ReplyPlan planReply(const HTTPResponse& response, const std::vector<ByteRange>& ranges,
                    std::string_view boundary) {
  ReplyPlan plan;
  const uint64_t total = response.contentLength();
  if (ranges.empty()) {
    plan.head = ReplyHead(200);
    plan.bodyLength = total;
    plan.head.add("Content-Length", std::to_string(total));
    if (response.replyContentType()) plan.head.add("Content-Type", *response.replyContentType());
    if (response.downloadFileName()) {
      const std::string& name = *response.downloadFileName();
      plan.head.add("Content-Disposition",
                    "attachment; filename=" + (name.empty() ? std::string("cashbookExcel.xls") : name));
    }
    if (response.replyContentType() || response.downloadFileName()) {
      plan.head.add("Expires", "0");
      plan.head.add("Pragma", "no-cache");
    }
    plan.segments.push_back({"", 0, total});
    return plan;
  }

  plan.head = ReplyHead(206);
  if (ranges.size() == 1) {
    const ByteRange& range = ranges.front();
    plan.bodyLength = range.length;
    plan.head.add("Content-Length", std::to_string(range.length));
    plan.head.add("Content-Range", fmt::format("bytes {}-{}/{}", range.start, range.last(), total));
    plan.segments.push_back({"", range.start, range.length});
    return plan;
  }

  for (const ByteRange& range : ranges) {
    std::string prefix = fmt::format("\r\n--{}\r\nContent-Range: bytes {}-{}/{}\r\n\r\n", boundary,
                                     range.start, range.last(), total);
    plan.bodyLength += prefix.size() + range.length;
    plan.segments.push_back({std::move(prefix), range.start, range.length});
  }
  plan.trailer = fmt::format("\r\n--{}--\r\n", boundary);
  plan.bodyLength += plan.trailer.size();
  plan.head.add("Content-Length", std::to_string(plan.bodyLength));
  plan.head.add("Content-Type", fmt::format("multipart/byteranges; boundary={}", boundary));
  return plan;
}

ReplyHead errorHead(int status) {
  ReplyHead head(status);
  head.add("Content-Length", "0");
  return head;
}

void finishHead(ReplyHead& head, std::string_view date, const HTTPResponse* response) {
  head.add("Date", date);
  head.add("Accept-Ranges", "bytes");
  if (response) head.addMissing(response->httpHeaders());
}

std::string newBoundary() { return BaseRepository::newUid(); }

}  // namespace varnel::web
