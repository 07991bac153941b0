// Reply heads and body layouts, byte for byte, without a connection.
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "web/http_reply.h"

namespace varnel::web {
namespace {

using std::chrono::seconds;
using std::chrono::system_clock;

std::string serialized(ReplyPlan plan) {
  finishHead(plan.head, "Sun, 06 Nov 1994 08:49:37 GMT", nullptr);
  return plan.head.serialize();
}

TEST(DateAsStringTest, EnglishNamesInGmt) {
  EXPECT_EQ(dateAsString(system_clock::time_point(seconds(784111777))), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(dateAsString(system_clock::time_point(seconds(1709629623))), "Tue, 05 Mar 2024 09:07:03 GMT");
  EXPECT_EQ(dateAsString(system_clock::time_point(seconds(0))), "Thu, 01 Jan 1970 00:00:00 GMT");
}

TEST(PlanReplyTest, WholeBodyCarriesWhatTheHandlerAskedFor) {
  HTTPDataResponse plain(std::string(1000, 'x'));
  EXPECT_EQ(serialized(planReply(plain, {}, "")),
            "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
            "Accept-Ranges: bytes\r\n\r\n");

  HTTPDataResponse typed("{success:true}");
  typed.setReplyContentType("text/plain; charset=UTF-8");
  EXPECT_EQ(serialized(planReply(typed, {}, "")),
            "HTTP/1.1 200 OK\r\nContent-Length: 14\r\nContent-Type: text/plain; charset=UTF-8\r\n"
            "Expires: 0\r\nPragma: no-cache\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
            "Accept-Ranges: bytes\r\n\r\n");

  HTTPDataResponse download("PK");
  download.setReplyContentType("application/octet-stream; charset=UTF-8");
  download.setDownloadFileName("varnel.sqlite");
  EXPECT_EQ(serialized(planReply(download, {}, "")),
            "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Type: application/octet-stream; charset=UTF-8\r\n"
            "Content-Disposition: attachment; filename=varnel.sqlite\r\nExpires: 0\r\nPragma: no-cache\r\n"
            "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\nAccept-Ranges: bytes\r\n\r\n");

  HTTPDataResponse unnamed("PK");
  unnamed.setDownloadFileName("");
  EXPECT_EQ(planReply(unnamed, {}, "").head.fields().at(1).second, "attachment; filename=cashbookExcel.xls");
}

TEST(PlanReplyTest, AFileNameCannotAddHeaderLines) {
  HTTPDataResponse download("PK");
  download.setDownloadFileName("a.xlsx\r\nSet-Cookie: session=1");
  const std::string head = serialized(planReply(download, {}, ""));
  EXPECT_NE(head.find("Content-Disposition: attachment; filename=a.xlsxSet-Cookie: session=1\r\n"),
            std::string::npos);
  EXPECT_EQ(head.find("\r\nSet-Cookie"), std::string::npos);
}

TEST(PlanReplyTest, SingleRange) {
  HTTPDataResponse response(std::string(1000, 'x'));
  const ReplyPlan plan = planReply(response, {{0, 100}}, "");
  EXPECT_EQ(serialized(plan),
            "HTTP/1.1 206 Partial Content\r\nContent-Length: 100\r\nContent-Range: bytes 0-99/1000\r\n"
            "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\nAccept-Ranges: bytes\r\n\r\n");
  ASSERT_EQ(plan.segments.size(), 1u);
  EXPECT_EQ(plan.segments[0].start, 0u);
  EXPECT_EQ(plan.segments[0].length, 100u);
}

TEST(PlanReplyTest, MultipleRangesAsMultipartByteranges) {
  HTTPDataResponse response(std::string(1000, 'x'));
  const ReplyPlan plan = planReply(response, {{0, 10}, {20, 10}}, "B0UND");
  std::string body;
  for (const auto& segment : plan.segments) body += segment.prefix + std::string(segment.length, '.');
  body += plan.trailer;
  EXPECT_EQ(body,
            "\r\n--B0UND\r\nContent-Range: bytes 0-9/1000\r\n\r\n.........."
            "\r\n--B0UND\r\nContent-Range: bytes 20-29/1000\r\n\r\n.........."
            "\r\n--B0UND--\r\n");
  EXPECT_EQ(plan.bodyLength, body.size());
  EXPECT_EQ(serialized(plan), "HTTP/1.1 206 Partial Content\r\nContent-Length: " + std::to_string(body.size()) +
                                  "\r\nContent-Type: multipart/byteranges; boundary=B0UND\r\n"
                                  "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\nAccept-Ranges: bytes\r\n\r\n");
}

TEST(PlanReplyTest, ErrorHeads) {
  for (const auto& [status, line] : std::vector<std::pair<int, std::string>>{
           {400, "400 Bad Request"}, {404, "404 Not Found"}, {405, "405 Method Not Allowed"},
           {505, "505 HTTP Version Not Supported"}}) {
    ReplyHead head = errorHead(status);
    finishHead(head, "Sun, 06 Nov 1994 08:49:37 GMT", nullptr);
    EXPECT_EQ(head.serialize(), "HTTP/1.1 " + line +
                                    "\r\nContent-Length: 0\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                                    "Accept-Ranges: bytes\r\n\r\n");
  }
}

TEST(PlanReplyTest, TheResponsesOwnFieldsComeLastAndNeverTwice) {
  HTTPDataResponse response("x");
  response.setReplyContentType("text/plain");
  ReplyHead head = planReply(response, {}, "").head;
  head.addMissing({{"content-type", "text/html"}, {"X-Frame-Options", "DENY"}});
  ASSERT_EQ(head.fields().size(), 5u);
  EXPECT_EQ(head.fields().back().first, "X-Frame-Options");
}

}  // namespace
}  // namespace varnel::web
