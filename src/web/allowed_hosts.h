// The names a request may give in its Host header. A web page on another
// site can point its own host name at this machine (DNS rebinding) and then
// read our replies as its own; the browser still sends that foreign name,
// so a request naming neither this machine nor its addresses is refused.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <asio/ip/address.hpp>

namespace varnel::web {

class AllowedHosts {
 public:
  // Allows "localhost" (and names under ".localhost") and loopback
  // addresses only.
  AllowedHosts() = default;
  // Also allows each of `namesAndAddresses`: host names (case ignored, a
  // trailing dot ignored) and IPv4 or IPv6 addresses.
  explicit AllowedHosts(const std::vector<std::string>& namesAndAddresses);

  // This machine's host name, that name under ".local" (its local-network
  // name), and the addresses of its network interfaces.
  static AllowedHosts forThisMachine();

  void add(std::string_view nameOrAddress);

  // Whether a request whose Host header is `hostField` ("name", "name:port",
  // "1.2.3.4:port", "[::1]:port") may be answered. `localAddress`, the
  // address the request came in on, is always this machine's. A missing or
  // malformed field is never allowed.
  bool allows(std::string_view hostField,
              const std::optional<asio::ip::address>& localAddress = std::nullopt) const;

  const std::vector<std::string>& names() const { return names_; }
  const std::vector<asio::ip::address>& addresses() const { return addresses_; }

 private:
  std::vector<std::string> names_;  // lower case, without a trailing dot
  std::vector<asio::ip::address> addresses_;
};

// The host part of a Host field, without its port and brackets, or none
// when the field is malformed (empty host, a port that is not a number up to
// 65535, stray characters).
std::optional<std::string> hostOfHostField(std::string_view hostField);

}  // namespace varnel::web
