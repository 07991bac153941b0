// Who may use the desktop API: the access password shown where the server
// runs, the session a successful login hands out, and the slowing down of
// password guesses. One DesktopAccess serves every connection of a server.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace varnel::web {

// The characters a password is drawn from: every position of this text is
// equally likely, so digits come up a little more often than letters, which
// keeps passwords easy to type on a phone's number row.
inline constexpr std::string_view kPasswordAlphabet =
    "01234567890123456789abcdefghijklmnopqrstuvwxyz012345678901234567890123456789";
inline constexpr std::size_t kPasswordLength = 6;
// Random bytes in a session (128 bits), written as 32 lower-case hex digits.
inline constexpr std::size_t kSessionBytes = 16;

// A fresh password of kPasswordLength characters of kPasswordAlphabet, from
// OpenSSL's RAND_bytes. Throws std::runtime_error when the generator fails.
std::string makeAccessPassword();
// A fresh session number. Throws std::runtime_error when the generator fails.
std::string makeSessionNumber();
// Whether `given` equals `expected`, in time that depends only on their
// lengths.
bool equalsInConstantTime(std::string_view given, std::string_view expected);

// Slows down password guessing from one client address: each wrong password
// makes that address wait before its refusal is sent, twice as long as the
// time before (from `first` up to `longest`), and a login that arrives
// during the wait is refused unchecked, so parallel connections do not help
// either. An address that makes no mistake for `forget` starts afresh; a
// correct login clears it at once.
class LoginThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  struct Settings {
    std::chrono::milliseconds first{1000};
    std::chrono::milliseconds longest{30000};
    std::chrono::milliseconds forget{15 * 60 * 1000};
    // The addresses remembered at most; beyond it the oldest are forgotten.
    std::size_t maxAddresses = 4096;
    std::function<Clock::time_point()> clock = [] { return Clock::now(); };
  };

  LoginThrottle() : LoginThrottle(Settings{}) {}
  explicit LoginThrottle(Settings settings) : settings_(std::move(settings)) {}

  // How long `address` must still wait before a password from it is looked
  // at; zero when it may try now.
  std::chrono::milliseconds waitFor(const std::string& address) const;
  // Records a wrong password from `address` and returns how long its
  // refusal is held back (the penalty it now serves).
  std::chrono::milliseconds recordFailure(const std::string& address);
  void recordSuccess(const std::string& address);
  // Consecutive failures remembered for `address`.
  int failures(const std::string& address) const;

 private:
  struct Entry {
    int failures = 0;
    Clock::time_point lastFailure;
    Clock::time_point until;
  };
  const Entry* live(const std::string& address) const;
  void prune(Clock::time_point now);

  Settings settings_;
  std::unordered_map<std::string, Entry> entries_;
};

// The password and the session that every connection of one server shares.
class DesktopAccess {
 public:
  // `password` none switches the password off (anyone on the network may use
  // the ledger); otherwise it is the password a login must give.
  explicit DesktopAccess(std::optional<std::string> password,
                         LoginThrottle::Settings throttle = LoginThrottle::Settings{});

  bool passwordOn() const { return password_.has_value(); }
  const std::optional<std::string>& password() const { return password_; }

  // What a login attempt came to.
  struct LoginOutcome {
    std::optional<std::string> session;     // the new session; none when refused
    std::chrono::milliseconds delay{0};     // how long to hold the reply back
  };
  // Checks `given` from `address` (refused unchecked while the address is
  // still waiting). A correct password starts a new session, which replaces
  // the one before (there is one session for all browsers).
  LoginOutcome login(const std::string& address, std::string_view given);

  // Whether a request whose head is `rawHead` carries the current session:
  // always when the password is off; otherwise when the head holds the
  // session number as a whole word (between characters that are not letters
  // or digits: in a cookie, a query or a header of its own). False before
  // the first login.
  bool admits(std::string_view rawHead) const;
  const std::string& session() const { return session_; }

  const LoginThrottle& throttle() const { return throttle_; }

 private:
  std::optional<std::string> password_;
  std::string session_;
  LoginThrottle throttle_;
};

}  // namespace varnel::web
