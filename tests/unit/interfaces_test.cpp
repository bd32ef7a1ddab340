// Several interfaces on the PC: where each request leaves, which interface
// a router is kept on, the uploader's interface and what is said when
// nothing answers. Through the scripted network in virtual time.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/rig.h"

namespace ramtune::test {
namespace {

constexpr uint16_t kDiscovery = 31;

uint16_t Operation(const Bytes& request) { return static_cast<uint16_t>(request[2] | request[3] << 8); }

platform::NetInterface Link(unsigned index, const std::string& name, const std::string& address) {
  return platform::NetInterface{index, name, address, "255.255.255.0", true, true};
}

// Requests of one kind on one link.
int Count(const ScriptedNetwork& network, unsigned link, bool discovery) {
  int n = 0;
  for (size_t i = 0; i < network.requests.size(); ++i) {
    if (network.links[i] == link && (Operation(network.requests[i]) == kDiscovery) == discovery) ++n;
  }
  return n;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A complete run with the router on the link of `routerLink`; link 1 holds
// the default route, so what the system routes by itself leaves there.
TEST(Interfaces, CompleteRunLeavesOnlyByTheRouterLink) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> setUp;
    unsigned routerLink;       // where the run's requests must go
    bool named;                // requests name their interface (SendVia)
    std::string uploaderOption;  // the uploader's --interface, empty: none
  };
  const std::string eth1 = platform::kUploaderInterfaceByName ? "eth1" : "10.77.0.5";
  const Case cases[] = {
      {"one interface: as it always was", [](Rig&) {}, 1, false, ""},
      {"router on the second of two links in one subnet",
       [](Rig& rig) {
         rig.network.interfaces.push_back(Link(2, "eth1", "10.77.0.5"));
         rig.router().link = 2;
       },
       2, true, " --interface " + eth1},
      {"router on the first of two: still named",
       [](Rig& rig) { rig.network.interfaces.push_back(Link(2, "eth1", "10.77.0.5")); }, 1, true,
       std::string(" --interface ") + (platform::kUploaderInterfaceByName ? "eth0" : "10.77.0.1")},
      {"system without arrival index: found by the source's subnet",
       [](Rig& rig) {
         rig.network.reportsArrival = false;
         rig.network.interfaces.push_back(Link(2, "eth1", "10.78.0.1"));
         rig.router().link = 2;
         rig.router().ip = "10.78.0.2";
       },
       2, true, std::string(" --interface ") + (platform::kUploaderInterfaceByName ? "eth1" : "10.78.0.1")},
      {"the router's link comes back under another index after the reboot",
       [](Rig& rig) {
         rig.network.interfaces.push_back(Link(2, "eth1", "10.77.0.5"));
         rig.router().link = 2;
         rig.router().afterReboot = [&rig](RouterModel& router, int) {
           rig.network.interfaces[1].index = 7;
           router.link = 7;
         };
       },
       7, true, " --interface " + eth1},
  };
  for (const Case& c : cases) {
    Rig rig;
    c.setUp(rig);
    EXPECT_EQ(rig.SearchAndRun(), -1) << c.name;
    EXPECT_EQ(rig.display.picture, kPicturePass) << c.name;
    // Discovery goes out on every link until the router answers; each
    // command of the run only where the router is.
    for (const platform::NetInterface& other : rig.network.interfaces) {
      if (other.index == c.routerLink) continue;
      EXPECT_EQ(Count(rig.network, other.index, false), 0) << c.name << " on " << other.name;
    }
    EXPECT_GT(Count(rig.network, c.routerLink, false), 0) << c.name;
    EXPECT_EQ(rig.network.links.back(), c.routerLink) << c.name;
    EXPECT_EQ(std::count(rig.network.viaUsed.begin(), rig.network.viaUsed.end(), !c.named),
              0) << c.name;
    ASSERT_EQ(rig.processes.captured.size(), 2u) << c.name;
    for (const auto& upload : rig.processes.captured) {
      EXPECT_EQ(upload.commandLine.substr(0, upload.commandLine.find(" -T ")),
                platform::kUploaderName + c.uploaderOption)
          << c.name;
    }
  }
}

TEST(Interfaces, DiscoveryGoesOutOncePerLinkPerRoundUntilAnAnswer) {
  Rig rig;
  rig.network.interfaces.push_back(Link(2, "eth1", "10.77.0.5"));
  rig.network.interfaces.push_back(Link(3, "wlan0", "192.168.8.20"));
  rig.network.interfaces.push_back({4, "eth2", "", "", true, true});           // no IPv4 address
  rig.network.interfaces.push_back({5, "eth3", "10.9.0.1", "255.255.0.0", true, false});  // no link
  rig.router().answersDiscovery = false;
  EXPECT_FALSE(rig.dlg->link.SearchRouter());
  for (unsigned link : {1u, 2u, 3u}) EXPECT_EQ(Count(rig.network, link, true), 20) << link;
  EXPECT_EQ(rig.network.requests.size(), 60u);
  // Nothing answered: every interface is named, with why it was not searched.
  const std::vector<std::string> hints = rig.dlg->link.NothingFoundHints();
  for (const char* line : {"[System]-Searched on eth0 10.77.0.1/255.255.255.0, link up",
                           "[System]-Searched on wlan0 192.168.8.20/255.255.255.0, link up",
                           "[System]-Not searched: eth2 (no IPv4 address), link up",
                           "[System]-Not searched: eth3 10.9.0.1/255.255.0.0, no link",
                           "[System]-Check that the PC's firewall lets this program receive UDP port 9999."}) {
    EXPECT_TRUE(Has(hints, line)) << line;
  }
}

TEST(Interfaces, NothingFoundHintsSayWhatTheProgramCanTell) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> setUp;
    std::vector<std::string> expected;  // the hint lines, in order
  };
  const Case cases[] = {
      {"chosen link without the router",
       [](Rig& rig) {
         rig.network.interfaces.push_back(Link(2, "eth1", "10.77.0.5"));
         rig.router().link = 2;
         rig.dlg->link.ChooseInterface("eth0");
       },
       {"[System]-Searched on eth0 10.77.0.1/255.255.255.0, link up",
        "[System]-Not searched: eth1 10.77.0.5/255.255.255.0, link up (not the chosen interface)",
        "[System]-Check that the PC's firewall lets this program receive UDP port 9999.",
        "[System]-The router may still be starting: wait a minute and press Retry.",
        "[System]-Check that the PC's address is in the router's network."}},
      {"no link anywhere",
       [](Rig& rig) {
         rig.network.interfaces[0].hasLink = false;
         rig.router().answersDiscovery = false;
       },
       {"[System]-Not searched: eth0 10.77.0.1/255.255.255.0, no link",
        "[System]-No network interface has a link: check the cable (or the Wi-Fi connection)."}},
      {"a link without an IPv4 address",
       [](Rig& rig) {
         rig.network.interfaces[0].address.clear();
         rig.router().answersDiscovery = false;
       },
       {"[System]-Not searched: eth0 (no IPv4 address), link up",
        "[System]-No interface with a link has an IPv4 address: give the PC an address in the router's "
        "network."}},
      {"service port held by another program",
       [](Rig& rig) {
         rig.router().answersDiscovery = false;
         rig.network.bindFailures = 1000;
       },
       {"[System]-Searched on eth0 10.77.0.1/255.255.255.0, link up",
        "[System]-UDP port 9999 is held by another program: close it and press Retry."}},
  };
  for (const Case& c : cases) {
    Rig rig;
    c.setUp(rig);
    EXPECT_FALSE(rig.dlg->link.SearchRouter()) << c.name;
    EXPECT_EQ(rig.dlg->link.NothingFoundHints(), c.expected) << c.name;
    // Nothing went out where the program did not search.
    for (size_t i = 0; i < rig.network.requests.size(); ++i) {
      EXPECT_EQ(rig.network.links[i], 1u) << c.name;
    }
  }
}

TEST(Interfaces, ARouterAnsweringOnTwoLinksIsKeptOnTheFirstAndTheLogSaysSo) {
  Rig rig;
  rig.dlg->settings.EngineeringMode = true;
  rig.network.interfaces.push_back(Link(2, "eth1", "10.77.0.5"));
  rig.router().link = 2;
  rig.router().discoveryDelayMs = 10;
  RouterModel again = rig.router();
  again.link = 1;
  again.discoveryDelayMs = 40;
  rig.network.routers.push_back(again);
  ASSERT_TRUE(rig.dlg->link.SearchRouter());
  const auto table = rig.dlg->link.DeviceTable();
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].InterfaceName, "eth1");
  EXPECT_EQ(table[0].LocalAddress, "10.77.0.5");
  EXPECT_TRUE(Has(rig.display.listLines, "[System]-The router 001122AABBCC answered on eth0 too; it is kept on eth1"));
  rig.dlg->link.SendCommand("nvram get odmpid", 1000);
  EXPECT_EQ(rig.router(0).commands.size(), 1u);
  EXPECT_TRUE(rig.router(1).commands.empty());
}

TEST(Interfaces, WithoutAWayToTieAUnicastTheSharedSubnetIsSaidBeforeTheFirstCommand) {
  for (bool shared : {true, false}) {
    Rig rig;
    rig.network.canChoose = false;
    rig.network.interfaces.push_back(Link(2, "eth1", shared ? "10.77.0.5" : "10.78.0.1"));
    rig.router().link = 2;
    if (!shared) rig.router().ip = "10.78.0.2";
    ASSERT_TRUE(rig.dlg->link.SearchRouter()) << shared;
    const bool warned = !rig.display.boxes.empty() &&
                        rig.display.boxes.back().find("eth0 is in the router's network too") != std::string::npos;
    EXPECT_EQ(warned, shared);
    EXPECT_TRUE(rig.router().commands.empty());
  }
}

}  // namespace
}  // namespace ramtune::test
