#include "web/allowed_hosts.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "web/http_request.h"

namespace varnel::web {

namespace {

std::string lowerWithoutTrailingDot(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  if (!lower.empty() && lower.back() == '.') lower.pop_back();
  return lower;
}

// An IPv4 address seen through an IPv6 socket is the IPv4 address.
asio::ip::address unmapped(const asio::ip::address& address) {
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
  }
  return address;
}

std::optional<asio::ip::address> parseAddress(std::string_view text) {
  std::error_code error;
  auto address = asio::ip::make_address(std::string(text), error);
  if (error) return std::nullopt;
  return unmapped(address);
}

bool isHostNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

}  // namespace

std::optional<std::string> hostOfHostField(std::string_view field) {
  std::string_view host;
  std::string_view rest;
  if (!field.empty() && field.front() == '[') {
    const auto close = field.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = field.substr(1, close - 1);
    rest = field.substr(close + 1);
    if (!parseAddress(host) || host.find('%') != std::string_view::npos) return std::nullopt;
  } else {
    const auto colon = field.find(':');
    host = field.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : field.substr(colon);
    if (!std::all_of(host.begin(), host.end(), isHostNameChar)) return std::nullopt;
  }
  if (host.empty()) return std::nullopt;
  if (!rest.empty()) {
    if (rest.front() != ':') return std::nullopt;
    const auto port = parseUnsigned64(rest.substr(1));
    if (!port || *port > 65535) return std::nullopt;
  }
  return std::string(host);
}

AllowedHosts::AllowedHosts(const std::vector<std::string>& namesAndAddresses) {
  for (const auto& name : namesAndAddresses) add(name);
}

void AllowedHosts::add(std::string_view nameOrAddress) {
  if (auto address = parseAddress(nameOrAddress)) {
    if (std::find(addresses_.begin(), addresses_.end(), *address) == addresses_.end()) {
      addresses_.push_back(*address);
    }
    return;
  }
  std::string name = lowerWithoutTrailingDot(nameOrAddress);
  if (name.empty()) return;
  if (std::find(names_.begin(), names_.end(), name) == names_.end()) names_.push_back(std::move(name));
}

AllowedHosts AllowedHosts::forThisMachine() {
  AllowedHosts hosts;
  char hostName[HOST_NAME_MAX + 1] = {};
  if (::gethostname(hostName, sizeof hostName - 1) == 0 && hostName[0] != '\0') {
    const std::string name = lowerWithoutTrailingDot(hostName);
    hosts.add(name);
    // The local-network name that the service announcement gives out.
    const auto dot = name.find('.');
    hosts.add(name.substr(0, dot) + ".local");
  }
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) == 0) {
    for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
      if (entry->ifa_addr == nullptr) continue;
      if (entry->ifa_addr->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
        asio::ip::address_v4::bytes_type bytes;
        std::memcpy(bytes.data(), &in->sin_addr, bytes.size());
        hosts.add(asio::ip::address_v4(bytes).to_string());
      } else if (entry->ifa_addr->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
        asio::ip::address_v6::bytes_type bytes;
        std::memcpy(bytes.data(), &in6->sin6_addr, bytes.size());
        // Link-local addresses need a zone, which a Host header cannot carry.
        const asio::ip::address_v6 address(bytes);
        if (!address.is_link_local()) hosts.add(address.to_string());
      }
    }
    ::freeifaddrs(list);
  }
  return hosts;
}

bool AllowedHosts::allows(std::string_view hostField,
                          const std::optional<asio::ip::address>& localAddress) const {
  const auto host = hostOfHostField(hostField);
  if (!host) return false;
  // Only the full dotted form is an address: "127.1" is a name, and no
  // name of ours.
  if (auto address = parseAddress(*host)) {
    if (address->is_loopback()) return true;
    if (localAddress && unmapped(*localAddress) == *address) return true;
    return std::find(addresses_.begin(), addresses_.end(), *address) != addresses_.end();
  }
  const std::string name = lowerWithoutTrailingDot(*host);
  if (name == "localhost") return true;
  if (name.size() > 10 && name.compare(name.size() - 10, 10, ".localhost") == 0) return true;
  return std::find(names_.begin(), names_.end(), name) != names_.end();
}

}  // namespace varnel::web
