// Times the desktop API's transaction list of one month (getDataByPeriod)
// over HTTP, from the request leaving the client to the last byte of the
// dataset arriving, against the bare SQL fetch of the same rows (the same
// columns, conditions and order, every column read), in the same run on the
// same store, and prints the ratio (ours / bare).
//
//   desktop_bench --ledger FILE [--month yyyy-mm] [--rounds R] [--tz Z] [--locale L] [--now ISO]
// FILE is a store written by make-ledger; the month defaults to the one
// before --now's, a whole month of rows.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <fmt/format.h>

#include "bench/bench_support.h"
#include "model/liveness.h"
#include "web/http_server.h"
#include "web/my_http_connection.h"

using namespace varnel;
using bench::median;
using bench::timeIt;

namespace {

// A keep-alive connection that reads whole replies.
class Client {
 public:
  explicit Client(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot connect");
    }
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  ~Client() { ::close(fd_); }

  // Sends the request and returns the body of its reply once every byte is in.
  std::string get(const std::string& target) {
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
    if (::send(fd_, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) {
      throw std::runtime_error("send failed");
    }
    std::string in;
    std::size_t headEnd;
    while ((headEnd = in.find("\r\n\r\n")) == std::string::npos) fill(in);
    const auto at = in.find("Content-Length: ");
    if (at == std::string::npos || at > headEnd) throw std::runtime_error("no Content-Length");
    const std::size_t length = std::stoull(in.substr(at + 16));
    while (in.size() < headEnd + 4 + length) fill(in);
    return in.substr(headEnd + 4, length);
  }

 private:
  void fill(std::string& in) {
    char buffer[1 << 16];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) throw std::runtime_error("the server closed the connection");
    in.append(buffer, static_cast<std::size_t>(n));
  }
  int fd_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"desktop_bench: a month's transaction list over HTTP against the bare SQL fetch"};
  bench::LedgerOptions opt;
  bench::addLedgerOptions(app, opt);
  std::string month;
  app.add_option("--month", month, "The month listed, yyyy-mm (default: the month before --now's)");
  CLI11_PARSE(app, argc, argv);

  std::unique_ptr<Ledger> ledger = bench::openLedger(opt, "desktop_bench");
  const DateUtil& dates = ledger->env().dates();
  if (month.empty()) {
    const LocalDateTime now = dates.toLocal(ledger->env().nowStoreSeconds());
    month = now.month == 1 ? fmt::format("{}-12", now.year - 1) : fmt::format("{}-{:02d}", now.year, now.month - 1);
  }
  const double start = ledger->env().parseDay(month + "-01", "--month");
  const LocalDateTime first = dates.toLocal(start);
  const double next = dates.fromLocal(first.year, first.month + 1, 1);
  const std::string last = dates.dayKey(next - 12 * 3600);
  const std::string target = "/varnelBook/getDataByPeriod?startDate=" + month + "-01&endDate=" + last;

  // The bare fetch: the same rows, columns and order, every column read.
  const std::string bare =
      "SELECT t.ZUID, t.ZDATE, t.ZDO_TYPE, t.ZASSETUID, t.ZTOASSETUID, t.ZCATEGORYUID, t.ZCONTENT, "
      "t.ZCARDDIVIDEMONTHSTR, t.ZMEMO, t.ZAMOUNT, t.ZASSET_NAME, t.ZASSET_NIC, t.ZCATEGORY_NAME FROM ZINOUTCOME t "
      "WHERE " + live::recordSql("t") + " AND t.ZDATE >= ? AND t.ZDATE < ? AND (t.ZDO_TYPE IS NULL OR t.ZDO_TYPE != '4') "
      "ORDER BY t.ZDATE DESC, t.ZUTIME DESC";
  SQLite::Database db(opt.file, SQLite::OPEN_READONLY);
  int64_t bareRows = 0;
  std::size_t bareBytes = 0;
  const auto fetch = [&] {
    SQLite::Statement st(db, bare);
    st.bind(1, start);
    st.bind(2, next);
    bareRows = 0;
    bareBytes = 0;
    while (st.executeStep()) {
      ++bareRows;
      for (int c = 0; c < st.getColumnCount(); ++c) bareBytes += st.getColumn(c).getString().size();
    }
  };

  // The server on its own thread, as the program runs it on its main one.
  asio::io_context io;
  web::HTTPServerSettings settings;
  settings.interface = "127.0.0.1";
  settings.documentRoot = std::filesystem::temp_directory_path();
  web::DesktopService service(ledger, web::DesktopAccess(std::nullopt));
  web::HTTPServer server(io, settings);
  service.installOn(server);
  std::error_code error;
  if (!server.start(error)) {
    std::fprintf(stderr, "desktop_bench: cannot listen: %s\n", error.message().c_str());
    return 1;
  }
  std::thread thread([&] { io.run(); });

  std::vector<double> ours, theirs;
  std::size_t replyBytes = 0;
  std::string results;
  {
    Client client(server.listeningPort());
    // One of each first, so that both sides find the pages in the cache.
    fetch();
    client.get(target);
    for (int r = 0; r < opt.rounds; ++r) {
      ours.push_back(timeIt([&] {
        const std::string body = client.get(target);
        replyBytes = body.size();
        const auto from = body.find("<results>") + 9;
        results = body.substr(from, body.find('<', from) - from);
      }));
      theirs.push_back(timeIt(fetch));
    }
  }
  asio::post(io, [&] { server.stop(); });
  thread.join();

  if (results != std::to_string(bareRows)) {
    std::fprintf(stderr, "desktop_bench: the reply lists %s rows, the bare fetch %lld\n", results.c_str(),
                 static_cast<long long>(bareRows));
    return 1;
  }
  std::printf("getDataByPeriod %s: %lld rows, %zu bytes of XML (bare: %zu bytes of values)\n", month.c_str(),
              static_cast<long long>(bareRows), replyBytes, bareBytes);
  std::printf("  over HTTP, to the last byte  median %8.2f ms  (min %.2f)\n", median(ours) * 1e3,
              *std::min_element(ours.begin(), ours.end()) * 1e3);
  std::printf("  bare SQL fetch               median %8.2f ms  (min %.2f)\n", median(theirs) * 1e3,
              *std::min_element(theirs.begin(), theirs.end()) * 1e3);
  std::printf("  ratio (ours / bare)          %.2f\n", median(ours) / median(theirs));
  return 0;
}
