// `varnel serve` as a process of its own: it prints where to open it,
// answers over the network, logs each request and stops cleanly on SIGTERM
// and Ctrl-C; a port that is taken is a failure, not a silent hang.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <gtest/gtest.h>

#include "support/http_test_client.h"
#include "support/program_run.h"
#include "support/test_ledger.h"

extern char** environ;

namespace varnel {
namespace {

namespace fs = std::filesystem;

// The program running in the background, its standard output read as it
// comes.
class ServeProcess {
 public:
  explicit ServeProcess(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = {VARNEL_BINARY};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) throw std::runtime_error("cannot start varnel");
    out_ = out[0];
  }

  ~ServeProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
  }

  // Reads the output until it holds `text` or ends (ten seconds at most).
  bool waitFor(const std::string& text) {
    while (output_.find(text) == std::string::npos) {
      pollfd fd{out_, POLLIN, 0};
      if (::poll(&fd, 1, 10000) <= 0) return false;
      char buffer[4096];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) return false;
      output_.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }

  // Sends `signal` and waits for the exit code.
  int stop(int signal) {
    ::kill(pid_, signal);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    waitFor("\x01");  // what is left of the output
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  const std::string& output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
};

std::vector<std::string> serveArguments(const fs::path& home, const fs::path& root,
                                        const std::vector<std::string>& more) {
  auto arguments = testing::varnelOptions(home);
  arguments.insert(arguments.end(), {"serve", "--bind", "127.0.0.1", "--root", root.string()});
  arguments.insert(arguments.end(), more.begin(), more.end());
  return arguments;
}

TEST(ServeCommandTest, ServesPrintsWhereAndStopsCleanly) {
  testing::TempDir dir;
  fs::create_directories(dir.path() / "www");
  std::ofstream(dir.path() / "www" / "hello.html") << "<h1>Varnel</h1>";
  // The first run sets the ledger up, the second serves the same one.
  for (const int signal : {SIGTERM, SIGINT}) {
    ServeProcess serve(serveArguments(dir.path() / "home", dir.path() / "www", {"--port", "0"}));
    ASSERT_TRUE(serve.waitFor("Open in a browser:\n")) << serve.output();
    std::smatch match;
    ASSERT_TRUE(std::regex_search(serve.output(), match, std::regex("on port (\\d+) \\(Ctrl-C stops\\)")));
    const auto port = static_cast<uint16_t>(std::stoi(match[1]));
    ASSERT_TRUE(serve.waitFor("  http://127.0.0.1:" + std::to_string(port) + "/\n")) << serve.output();
    ASSERT_TRUE(serve.waitFor("Password: ")) << serve.output();
    ASSERT_TRUE(serve.waitFor("\n")) << serve.output();
    EXPECT_TRUE(std::regex_search(serve.output(), std::regex("\nPassword: [0-9a-z]{6}\n"))) << serve.output();
    EXPECT_TRUE(fs::exists(dir.path() / "home" / "Documents" / "varnel.sqlite"));

    testing::HttpTestClient client(port);
    client.send(testing::getRequest("/hello.html"));
    auto reply = client.readReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body, "<h1>Varnel</h1>");
    EXPECT_EQ(reply->fields.at("date"), "Thu, 10 Dec 2026 00:00:00 GMT");  // --now, in Seoul
    client.send(testing::getRequest("/varnelBook/test"));
    reply = client.readReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body, "한글테스트");
    EXPECT_EQ(reply->fields.at("content-type"), "text/plain; charset=UTF-8");

    // An open keep-alive connection does not hold the stop up.
    EXPECT_EQ(serve.stop(signal), 0) << serve.output();
    EXPECT_NE(serve.output().find("Stopping\n"), std::string::npos);
    EXPECT_TRUE(client.closedByServer());
  }
  std::ifstream logFile(dir.path() / "home" / "Application Support" / "varnel.log");
  const std::string log((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
  EXPECT_NE(log.find("127.0.0.1 \"GET /hello.html HTTP/1.1\" 200 15\n"), std::string::npos) << log;
  EXPECT_NE(log.find("127.0.0.1 \"GET /varnelBook/test HTTP/1.1\" 200 15\n"), std::string::npos) << log;
}

// Sends one request on a connection of its own.
testing::HttpReply request(uint16_t port, const std::string& method, const std::string& target,
                           const std::string& body = "", const std::string& session = "") {
  testing::HttpTestClient client(port);
  std::string extra = session.empty() ? "" : "Cookie: conid=" + session + "\r\n";
  if (method == "POST") extra += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  client.send(testing::getRequest(target, extra, method) + body);
  auto reply = client.readReply();
  if (!reply) throw std::runtime_error("no reply to " + target);
  return *reply;
}

uint16_t portOf(const std::string& output) {
  std::smatch match;
  if (!std::regex_search(output, match, std::regex("on port (\\d+) \\(Ctrl-C stops\\)"))) return 0;
  return static_cast<uint16_t>(std::stoi(match[1]));
}

TEST(ServeCommandTest, TheLedgerAnswersOnlyAfterALoginWithThePassword) {
  testing::TempDir dir;
  fs::create_directories(dir.path() / "www");
  ServeProcess serve(serveArguments(dir.path() / "home", dir.path() / "www", {"--port", "0", "--password", "s3cret"}));
  ASSERT_TRUE(serve.waitFor("Password: s3cret\n")) << serve.output();
  const uint16_t port = portOf(serve.output());
  ASSERT_NE(port, 0);

  EXPECT_EQ(request(port, "GET", "/varnelBook/getAssetData").status, 403);
  EXPECT_NE(request(port, "GET", "/").body.find("<title>Varnel Desk</title>"), std::string::npos);
  EXPECT_EQ(request(port, "POST", "/varnelBook/login", "pwd=secret").body, "{success:false, sessionid:''}");
  const auto login = request(port, "POST", "/varnelBook/login", "pwd=s3cret").body;
  std::smatch match;
  ASSERT_TRUE(std::regex_match(login, match, std::regex("\\{success:true, conid:'([0-9a-f]{32})'\\}"))) << login;
  const auto accounts = request(port, "GET", "/varnelBook/getAssetData", "", match[1]);
  EXPECT_EQ(accounts.status, 200);
  EXPECT_NE(accounts.body.find("assetType:'group'"), std::string::npos) << accounts.body;
  EXPECT_EQ(serve.stop(SIGTERM), 0) << serve.output();
}

TEST(ServeCommandTest, WithoutAPasswordTheLedgerIsOpenToTheNetwork) {
  testing::TempDir dir;
  fs::create_directories(dir.path() / "www");
  ServeProcess serve(serveArguments(dir.path() / "home", dir.path() / "www", {"--port", "0", "--no-password"}));
  ASSERT_TRUE(serve.waitFor("No password: anyone who reaches this port can read and change the ledger\n"))
      << serve.output();
  const uint16_t port = portOf(serve.output());
  EXPECT_EQ(request(port, "GET", "/varnelBook/getAssetData").status, 200);
  EXPECT_EQ(serve.stop(SIGINT), 0) << serve.output();
}

TEST(ServeCommandTest, PasswordOptionsThatCannotBeUsedAreRefused) {
  testing::TempDir dir;
  fs::create_directories(dir.path() / "www");
  struct Case {
    std::vector<std::string> options;
    const char* error;
  } cases[] = {
      {{"--password", ""}, "varnel: --password must be text of 1 to 256 bytes without control characters\n"},
      {{"--password", "a\tb"}, "varnel: --password must be text of 1 to 256 bytes without control characters\n"},
      {{"--password", "abc", "--no-password"}, nullptr},
      {{"--assets", "ftp://host/desk"}, "varnel: --assets must be an http:// or https:// address: 'ftp://host/desk'\n"},
  };
  for (const auto& c : cases) {
    auto options = c.options;
    options.insert(options.end(), {"--port", "0"});
    const auto run = testing::runVarnel(serveArguments(dir.path() / "home", dir.path() / "www", options));
    EXPECT_EQ(run.exitCode, 2) << run.err;
    if (c.error) {
      EXPECT_EQ(run.err, c.error);
    }
  }
}

TEST(ServeCommandTest, ATakenPortIsAFailure) {
  testing::TempDir dir;
  fs::create_directories(dir.path() / "www");
  asio::io_context io;
  const asio::ip::tcp::acceptor taken(io, {asio::ip::make_address("127.0.0.1"), 0});
  const std::string port = std::to_string(taken.local_endpoint().port());
  const auto run = testing::runVarnel(serveArguments(dir.path() / "home", dir.path() / "www", {"--port", port}));
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "varnel: cannot listen on port " + port + ": Address already in use\n");
}

}  // namespace
}  // namespace varnel
