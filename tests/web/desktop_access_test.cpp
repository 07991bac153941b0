// The access rules of the desktop API without a server: passwords and
// sessions from the system's generator, the constant-time comparison, the
// growing wait after wrong passwords, and which request heads carry the
// session.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "web/desktop_access.h"

namespace varnel::web {
namespace {

using namespace std::chrono_literals;

// A clock that moves only when the test says so.
struct ManualClock {
  LoginThrottle::Clock::time_point now{std::chrono::hours(1000)};
  LoginThrottle::Settings settings() {
    LoginThrottle::Settings s;
    s.clock = [this] { return now; };
    return s;
  }
};

TEST(DesktopAccessTest, PasswordsKeepTheirTypedFormAndSessionsCarry128Bits) {
  std::set<std::string> passwords, sessions;
  for (int i = 0; i < 200; ++i) {
    const std::string password = makeAccessPassword();
    ASSERT_EQ(password.size(), kPasswordLength);
    for (const char c : password) EXPECT_NE(kPasswordAlphabet.find(c), std::string_view::npos) << password;
    passwords.insert(password);
    const std::string session = makeSessionNumber();
    ASSERT_EQ(session.size(), 32u);
    EXPECT_EQ(session.find_first_not_of("0123456789abcdef"), std::string::npos) << session;
    sessions.insert(session);
  }
  // A generator seeded with the clock would repeat itself within a second.
  EXPECT_GT(passwords.size(), 190u);
  EXPECT_EQ(sessions.size(), 200u);
}

TEST(DesktopAccessTest, ComparisonNeedsTheWholeText) {
  struct Case {
    const char* given;
    const char* expected;
    bool equal;
  } cases[] = {
      {"abc123", "abc123", true}, {"abc124", "abc123", false}, {"abc12", "abc123", false},
      {"abc1234", "abc123", false}, {"", "abc123", false},      {"ABC123", "abc123", false},
  };
  for (const auto& c : cases) EXPECT_EQ(equalsInConstantTime(c.given, c.expected), c.equal) << c.given;
}

TEST(DesktopAccessTest, EachWrongPasswordDoublesTheWaitOfItsAddressUpToTheLongest) {
  ManualClock clock;
  LoginThrottle throttle(clock.settings());
  std::vector<std::chrono::milliseconds> delays;
  for (int i = 0; i < 8; ++i) {
    delays.push_back(throttle.recordFailure("10.0.0.5"));
    clock.now += delays.back();  // the client waited for its reply
  }
  const std::vector<std::chrono::milliseconds> expected = {1s, 2s, 4s, 8s, 16s, 30s, 30s, 30s};
  EXPECT_EQ(delays, expected);
  EXPECT_EQ(throttle.failures("10.0.0.5"), 8);
  // Another address is not held up by the first one's mistakes.
  EXPECT_EQ(throttle.waitFor("10.0.0.6"), 0ms);
  EXPECT_EQ(throttle.recordFailure("10.0.0.6"), 1s);
  // A right password clears the address; a quiet quarter of an hour too.
  throttle.recordSuccess("10.0.0.5");
  EXPECT_EQ(throttle.recordFailure("10.0.0.5"), 1s);
  clock.now += 15min;
  EXPECT_EQ(throttle.failures("10.0.0.6"), 0);
  EXPECT_EQ(throttle.recordFailure("10.0.0.6"), 1s);
}

TEST(DesktopAccessTest, ALoginDuringTheWaitIsRefusedUncheckedUntilTheWaitEnds) {
  ManualClock clock;
  DesktopAccess access(std::string("abc123"), clock.settings());
  auto wrong = access.login("10.0.0.5", "zzz999");
  EXPECT_FALSE(wrong.session);
  EXPECT_EQ(wrong.delay, 1s);
  // A second connection trying at once gets nothing, right password or not,
  // and its refusal waits as long as the penalty lasts.
  clock.now += 400ms;
  auto early = access.login("10.0.0.5", "abc123");
  EXPECT_FALSE(early.session);
  EXPECT_EQ(early.delay, 600ms);
  EXPECT_EQ(access.throttle().failures("10.0.0.5"), 1);
  EXPECT_TRUE(access.session().empty());
  clock.now += 600ms;
  auto right = access.login("10.0.0.5", "abc123");
  ASSERT_TRUE(right.session);
  EXPECT_EQ(right.delay, 0ms);
  EXPECT_EQ(*right.session, access.session());
}

TEST(DesktopAccessTest, TheSessionIsFoundAsAWholeWordAnywhereInTheHead) {
  DesktopAccess access(std::string("abc123"));
  const auto head = [](const std::string& line) { return "GET / HTTP/1.1\r\nHost: localhost\r\n" + line + "\r\n\r\n"; };
  EXPECT_FALSE(access.admits(head("Cookie: conid=")));  // before any login
  const std::string session = *access.login("127.0.0.1", "abc123").session;
  struct Case {
    std::string line;
    bool admitted;
  } cases[] = {
      {"Cookie: conid=" + session, true},
      {"Cookie: theme=dark; conid=" + session + "; lang=ko", true},
      {"X-Session: " + session, true},
      {"Referer: http://localhost/?conid=" + session + "&x=1", true},
      {"Cookie: conid=" + session.substr(0, 31), false},
      {"Cookie: conid=" + session + "0", false},
      {"Cookie: conid=0" + session, false},
      {"Cookie: conid=" + std::string(32, '0'), false},
      {"Accept: */*", false},
  };
  for (const auto& c : cases) EXPECT_EQ(access.admits(head(c.line)), c.admitted) << c.line;
  // A new login ends the session before it: there is one for all browsers.
  const std::string next = *access.login("127.0.0.1", "abc123").session;
  EXPECT_NE(next, session);
  EXPECT_FALSE(access.admits(head("Cookie: conid=" + session)));
  EXPECT_TRUE(access.admits(head("Cookie: conid=" + next)));
}

TEST(DesktopAccessTest, WithThePasswordOffEveryRequestIsAdmitted) {
  DesktopAccess access(std::nullopt);
  EXPECT_FALSE(access.passwordOn());
  EXPECT_TRUE(access.admits("GET / HTTP/1.1\r\nHost: localhost\r\n\r\n"));
}

}  // namespace
}  // namespace varnel::web
