#include "web/desktop_access.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include <openssl/crypto.h>
#include <openssl/rand.h>

namespace varnel::web {

namespace {

void randomBytes(unsigned char* into, std::size_t count) {
  if (RAND_bytes(into, static_cast<int>(count)) != 1) {
    throw std::runtime_error("the system's random generator failed");
  }
}

bool isWordCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string makeAccessPassword() {
  // Bytes at or above the largest multiple of the alphabet's size are
  // drawn again, so that every position stays equally likely.
  constexpr unsigned kLimit = 256 - 256 % kPasswordAlphabet.size();
  std::string password;
  std::array<unsigned char, 32> bytes{};
  while (password.size() < kPasswordLength) {
    randomBytes(bytes.data(), bytes.size());
    for (const unsigned char byte : bytes) {
      if (byte >= kLimit) continue;
      password += kPasswordAlphabet[byte % kPasswordAlphabet.size()];
      if (password.size() == kPasswordLength) break;
    }
  }
  return password;
}

std::string makeSessionNumber() {
  std::array<unsigned char, kSessionBytes> bytes{};
  randomBytes(bytes.data(), bytes.size());
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const unsigned char byte : bytes) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0xf];
  }
  return text;
}

bool equalsInConstantTime(std::string_view given, std::string_view expected) {
  if (given.size() != expected.size()) return false;
  if (given.empty()) return true;
  return CRYPTO_memcmp(given.data(), expected.data(), given.size()) == 0;
}

// LoginThrottle --------------------------------------------------------------

const LoginThrottle::Entry* LoginThrottle::live(const std::string& address) const {
  const auto found = entries_.find(address);
  if (found == entries_.end()) return nullptr;
  if (settings_.clock() - found->second.lastFailure >= settings_.forget) return nullptr;
  return &found->second;
}

std::chrono::milliseconds LoginThrottle::waitFor(const std::string& address) const {
  const Entry* entry = live(address);
  if (!entry) return std::chrono::milliseconds(0);
  const auto now = settings_.clock();
  if (entry->until <= now) return std::chrono::milliseconds(0);
  // Rounded up, so that a wait never ends before the penalty does.
  return std::chrono::ceil<std::chrono::milliseconds>(entry->until - now);
}

int LoginThrottle::failures(const std::string& address) const {
  const Entry* entry = live(address);
  return entry ? entry->failures : 0;
}

std::chrono::milliseconds LoginThrottle::recordFailure(const std::string& address) {
  const auto now = settings_.clock();
  prune(now);
  const int before = failures(address);
  Entry& entry = entries_[address];
  entry.failures = before + 1;
  entry.lastFailure = now;
  auto delay = settings_.first;
  for (int i = 1; i < entry.failures && delay < settings_.longest; ++i) delay *= 2;
  delay = std::min(delay, settings_.longest);
  entry.until = now + delay;
  return delay;
}

void LoginThrottle::recordSuccess(const std::string& address) { entries_.erase(address); }

void LoginThrottle::prune(Clock::time_point now) {
  if (entries_.size() < settings_.maxAddresses) return;
  std::erase_if(entries_, [&](const auto& item) { return now - item.second.lastFailure >= settings_.forget; });
  while (entries_.size() >= settings_.maxAddresses) {
    const auto oldest = std::min_element(entries_.begin(), entries_.end(), [](const auto& a, const auto& b) {
      return a.second.lastFailure < b.second.lastFailure;
    });
    entries_.erase(oldest);
  }
}

// DesktopAccess -------------------------------------------------------------

DesktopAccess::DesktopAccess(std::optional<std::string> password, LoginThrottle::Settings throttle)
    : password_(std::move(password)), throttle_(std::move(throttle)) {}

DesktopAccess::LoginOutcome DesktopAccess::login(const std::string& address, std::string_view given) {
  LoginOutcome outcome;
  if (const auto wait = throttle_.waitFor(address); wait.count() > 0) {
    outcome.delay = wait;
    return outcome;
  }
  // With the password off there is nothing to guess: any login succeeds.
  if (!password_ || equalsInConstantTime(given, *password_)) {
    throttle_.recordSuccess(address);
    session_ = makeSessionNumber();
    outcome.session = session_;
    return outcome;
  }
  outcome.delay = throttle_.recordFailure(address);
  return outcome;
}

bool DesktopAccess::admits(std::string_view rawHead) const {
  if (!password_) return true;
  if (session_.empty()) return false;
  bool found = false;
  std::size_t i = 0;
  while (i < rawHead.size()) {
    if (!isWordCharacter(rawHead[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < rawHead.size() && isWordCharacter(rawHead[end])) ++end;
    // Every word of the session's length is compared whole, so the time
    // taken tells nothing about how much of a guess was right.
    if (end - i == session_.size()) found |= equalsInConstantTime(rawHead.substr(i, end - i), session_);
    i = end;
  }
  return found;
}

}  // namespace varnel::web
