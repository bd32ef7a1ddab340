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
  return platform::NetInterface{index, name, address, "255.255.255.0", true, true, ""};
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
      {"one interface at the choice, a second one comes up during the reboot: as it always was",
       [](Rig& rig) {
         rig.router().afterReboot = [&rig](RouterModel&, int) {
           rig.network.interfaces.push_back(Link(2, "eth1", "10.77.0.5"));
         };
       },
       1, false, ""},
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
  rig.network.interfaces.push_back({4, "eth2", "", "", true, true, ""});           // no IPv4 address
  rig.network.interfaces.push_back({5, "eth3", "10.9.0.1", "255.255.0.0", true, false, ""});  // no link
  rig.router().answersDiscovery = false;
  EXPECT_FALSE(rig.dlg->link.discovery.SearchRouter({}));
  for (unsigned link : {1u, 2u, 3u}) EXPECT_EQ(Count(rig.network, link, true), 20) << link;
  EXPECT_EQ(rig.network.requests.size(), 60u);
  // Nothing answered: every interface is named, with why it was not searched.
  const std::vector<std::string> hints = rig.dlg->link.discovery.NothingFoundHints();
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
         rig.dlg->link.discovery.ChooseInterface("eth0");
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
    EXPECT_FALSE(rig.dlg->link.discovery.SearchRouter({})) << c.name;
    EXPECT_EQ(rig.dlg->link.discovery.NothingFoundHints(), c.expected) << c.name;
    // Nothing went out where the program did not search.
    for (size_t i = 0; i < rig.network.requests.size(); ++i) {
      EXPECT_EQ(rig.network.links[i], 1u) << c.name;
    }
  }
}

// Two units with the router's address, one on each link; the second answers
// a little later, so the selection lists the first link's unit first.
void TwoUnits(Rig& rig, bool sameMac) {
  rig.network.interfaces.push_back(Link(2, "eth1", "10.77.0.5"));
  RouterModel second = HealthyRouter();
  second.link = 2;
  second.discoveryDelayMs = 60;
  if (!sameMac) second.mac[5] = 0x01;
  rig.network.routers.push_back(second);
}

// Commands a unit got that are not of the identification before the choice.
int CommandsAfterTheChoice(const RouterModel& router) {
  int n = 0;
  for (const std::string& command : router.commands) {
    n += command != "ATE Get_FwReadyStatus" && command != "ATE Get_FWVersion";
  }
  return n;
}

TEST(Interfaces, TwoUnitsOnTwoLinksAreBothListedAndTheChosenOneAloneIsUpgraded) {
  struct Case {
    const char* name;
    bool sameMac;  // two units reset to the factory
    int choice;
  };
  const Case cases[] = {
      {"other MACs, the second chosen", false, 1},
      {"one factory MAC, the second chosen", true, 1},
      {"one factory MAC, the first chosen", true, 0},
  };
  for (const Case& c : cases) {
    Rig rig;
    TwoUnits(rig, c.sameMac);
    rig.display.selectIndex = c.choice;
    // Both answer within the round of the first answer: no longer a search.
    ASSERT_TRUE(rig.dlg->link.discovery.SearchRouter({})) << c.name;
    EXPECT_EQ(Count(rig.network, 1, true), 1) << c.name;
    EXPECT_EQ(rig.dlg->link.discovery.DeviceTable().size(), 2u) << c.name;
    rig.dlg->RunUpgrade();
    EXPECT_EQ(rig.display.picture, kPicturePass) << c.name;
    EXPECT_EQ(rig.display.Of("select"), std::vector<std::string>{"10.77.0.2 (eth0);10.77.0.2 (eth1)"}) << c.name;
    const RouterModel& chosen = rig.router(c.choice);
    const RouterModel& other = rig.router(1 - c.choice);
    EXPECT_EQ(chosen.flashes, 1) << c.name;
    EXPECT_EQ(CommandsAfterTheChoice(other), 0) << c.name;
    EXPECT_EQ(other.reboots, 0) << c.name;
    // Before the choice, commands go where their target answered: the unit
    // that answered last.
    EXPECT_TRUE(c.choice == 0 || rig.router(0).commands.empty()) << c.name;
    // The upload leaves by the chosen unit's link.
    const std::string option = platform::kUploaderInterfaceByName ? (c.choice == 1 ? "eth1" : "eth0")
                                                                   : (c.choice == 1 ? "10.77.0.5" : "10.77.0.1");
    for (const auto& upload : rig.processes.captured) {
      EXPECT_NE(upload.commandLine.find(" --interface " + option + " "), std::string::npos) << c.name;
    }
  }
}

// The second unit is chosen; what happens to the links during its reboot.
TEST(Interfaces, TheSearchAfterTheRebootStaysOnTheChosenLink) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> atReboot;
    unsigned link;  // the chosen link's index after the reboot
  };
  const Case cases[] = {
      {"the links come back in another order, the chosen one under another index",
       [](Rig& rig) {
         std::swap(rig.network.interfaces[0], rig.network.interfaces[1]);
         rig.network.interfaces[0].index = 9;
         rig.router(1).link = 9;
       },
       9},
      {"another link comes up, and a unit there keeps answering",
       [](Rig& rig) {
         rig.network.interfaces.push_back(Link(3, "eth2", "10.77.0.7"));
         std::array<uint8_t, 6> other = rig.router(1).mac;
         other[5] ^= 0x0F;
         for (int s = 1; s < 120; ++s) {
           rig.network.Deliver(DiscoveryResponse(other, "LM-7210A", "LM-7210A"), "10.77.0.9", s * 1000, 3);
         }
       },
       2},
      {"the other link goes away: one interface is left",
       [](Rig& rig) { rig.network.interfaces.erase(rig.network.interfaces.begin()); }, 2},
      {"the chosen link is gone until the search has begun, and another adapter takes its index",
       [](Rig& rig) {
         rig.network.interfaces[1] = Link(2, "eth3", "10.77.0.8");
         RouterModel intruder = rig.router(1);
         intruder.commands.clear();
         intruder.afterReboot = nullptr;
         rig.network.routers.push_back(intruder);
         rig.router(1).link = 12;
         rig.clock.Schedule(110 * 1000 * 1000,
                            [&rig] { rig.network.interfaces.push_back(Link(12, "eth1", "10.77.0.5")); });
       },
       12},
  };
  for (const Case& c : cases) {
    Rig rig;
    TwoUnits(rig, true);
    rig.display.selectIndex = 1;
    size_t fromReboot = 0;
    rig.router(1).afterReboot = [&](RouterModel&, int reboot) {
      fromReboot = rig.network.requests.size();
      if (reboot == 1) rig.clock.Schedule(1000, [&] { c.atReboot(rig); });
    };
    EXPECT_EQ(rig.SearchAndRun(), -1) << c.name;
    EXPECT_EQ(rig.display.picture, kPicturePass) << c.name;
    EXPECT_EQ(CommandsAfterTheChoice(rig.router(0)), 0) << c.name;
    ASSERT_GT(fromReboot, 0u) << c.name;
    for (size_t i = fromReboot; i < rig.network.requests.size(); ++i) {
      EXPECT_EQ(rig.network.links[i], c.link) << c.name << ": request " << i;
      EXPECT_TRUE(rig.network.viaUsed[i]) << c.name << ": request " << i;
    }
    // Only the chosen link's answers were taken after the reboot.
    for (const link::DeviceEntry& entry : rig.dlg->link.discovery.DeviceTable()) {
      EXPECT_EQ(entry.Via.name + " " + entry.Ip, "eth1 10.77.0.2") << c.name;
    }
  }
}

TEST(Interfaces, OnceTheRouteIsFixedOnlyCommandAnswersOnItsLinkCount) {
  struct Case {
    unsigned arrival;  // 0: the system does not tell
    bool counts;
  };
  for (const Case& c : {Case{1, false}, Case{2, true}, Case{0, true}}) {
    Rig rig;
    TwoUnits(rig, true);
    ASSERT_TRUE(rig.dlg->link.discovery.SearchRouter({}));
    const link::DeviceEntry chosen = rig.dlg->link.discovery.DeviceTable().at(1);
    ASSERT_EQ(rig.dlg->link.discovery.RouteRefusal(chosen), "");
    rig.router(1).script = [](const std::string&, Reply& reply) { return reply.drop = true; };
    rig.dlg->link.commands.SendCommand(link::Target::Chosen(chosen), "nvram get x", 0);
    const Bytes& request = rig.network.requests.back();
    const uint32_t sequence = static_cast<uint32_t>(request[4] | request[5] << 8 | request[6] << 16 | request[7] << 24);
    rig.network.Deliver(CommandResponse(sequence, rig.router(1).mac, "answer\n"), "10.77.0.2", 5, c.arrival);
    rig.dlg->waits.PumpingDelay(100);
    EXPECT_EQ(rig.dlg->link.commands.ResponseText(), c.counts ? "answer\n" : "") << c.arrival;
  }
}

TEST(Interfaces, WithoutAWayToTieAUnicastASharedSubnetEndsTheRunAtTheChoice) {
  struct Case {
    const char* name;
    std::function<void(Rig&)> setUp;
    bool refused;
  };
  const Case cases[] = {
      {"the other link in the router's subnet",
       [](Rig& rig) { rig.network.interfaces.push_back(Link(2, "eth1", "10.77.0.5")); }, true},
      {"the router's link chosen, the other one in its subnet",
       [](Rig& rig) {
         rig.network.interfaces.push_back(Link(2, "eth1", "10.77.0.5"));
         rig.dlg->link.discovery.ChooseInterface("eth1");
       },
       true},
      {"the other link in another subnet",
       [](Rig& rig) {
         rig.network.interfaces.push_back(Link(2, "eth1", "10.78.0.1"));
         rig.router().ip = "10.78.0.2";
       },
       false},
      {"one interface", [](Rig&) {}, false},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.network.canChoose = false;
    c.setUp(rig);
    rig.router().link = rig.network.interfaces.back().index;
    EXPECT_EQ(rig.SearchAndRun(), -1) << c.name;
    EXPECT_EQ(rig.display.picture, c.refused ? kPicturePause : kPicturePass) << c.name;
    if (!c.refused) continue;
    EXPECT_EQ(rig.display.boxes, std::vector<std::string>{
                                     "The router answered on eth1, but eth0 is in the router's network too, "
                                     "and this version of Windows cannot send the commands through one interface "
                                     "only. Disconnect eth0 for the upgrade, then press Retry."})
        << c.name;
    EXPECT_EQ(CommandsAfterTheChoice(rig.router()), 0) << c.name;
    // No unit was chosen: Retry's search is broadcast again.
    const size_t before = rig.network.destinations.size();
    rig.dlg->OnRetry();
    rig.RunMessages();
    ASSERT_GT(rig.network.destinations.size(), before) << c.name;
    EXPECT_EQ(rig.network.destinations[before], "255.255.255.255") << c.name;
  }
}

}  // namespace
}  // namespace ramtune::test
