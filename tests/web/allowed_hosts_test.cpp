// Which Host headers are answered: this machine's names and addresses, and
// nothing a rebinding page could send.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "web/allowed_hosts.h"

namespace varnel::web {
namespace {

TEST(AllowedHostsTest, OnlyThisMachinesNamesAndAddresses) {
  const AllowedHosts hosts({"Desk-PC", "desk-pc.local.", "192.168.1.20", "fd00::20"});
  const auto local = asio::ip::make_address("10.0.0.7");
  struct Case {
    std::string host;
    bool allowed;
  };
  const std::vector<Case> cases = {
      {"localhost", true},
      {"LOCALHOST:8888", true},
      {"localhost.", true},
      {"app.localhost:9999", true},
      {"127.0.0.1:8888", true},
      {"127.8.9.10", true},
      {"[::1]:8888", true},
      {"desk-pc", true},
      {"DESK-PC.local:8888", true},
      {"desk-pc.local.", true},
      {"192.168.1.20:8080", true},
      {"[fd00::20]", true},
      {"[fd00:0:0:0:0:0:0:20]:8888", true},
      {"10.0.0.7:8888", true},  // the address the request came in on
      // Refused: foreign names (what a rebinding page sends) and addresses.
      {"evil.example", false},
      {"evil.example:8888", false},
      {"desk-pc.evil.example", false},
      {"localhost.evil.example", false},
      {"127.0.0.1.nip.io", false},
      {"192.168.1.21", false},
      {"[fd00::21]:8888", false},
      {"127.1", false},
      {"2130706433", false},
      // Refused: malformed fields.
      {"", false},
      {":8888", false},
      {"localhost:", false},
      {"localhost:65536", false},
      {"localhost:88a", false},
      {"localhost:8888:1", false},
      {"user@localhost", false},
      {"local host", false},
      {"fd00::20", false},
      {"[fd00::20", false},
      {"[fd00::20]x", false},
      {"[fe80::1%eth0]", false},
      {"localhost/x", false},
  };
  for (const auto& c : cases) EXPECT_EQ(hosts.allows(c.host, local), c.allowed) << c.host;
}

TEST(AllowedHostsTest, AnIpv4PeerOfADualStackSocketIsMatchedAsIpv4) {
  const AllowedHosts hosts;
  EXPECT_TRUE(hosts.allows("192.168.1.20", asio::ip::make_address("::ffff:192.168.1.20")));
  EXPECT_FALSE(hosts.allows("192.168.1.20"));
}

TEST(AllowedHostsTest, ThisMachineIncludesItsNameAndInterfaceAddresses) {
  const AllowedHosts hosts = AllowedHosts::forThisMachine();
  ASSERT_FALSE(hosts.names().empty());
  EXPECT_TRUE(hosts.allows(hosts.names().front() + ":8888"));
  for (const auto& address : hosts.addresses()) {
    const std::string text = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
    EXPECT_TRUE(hosts.allows(text)) << text;
  }
  EXPECT_FALSE(hosts.allows("evil.example"));
}

}  // namespace
}  // namespace varnel::web
