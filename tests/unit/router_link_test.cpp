// Router search, device table and command channel against the scripted
// router, in virtual time.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/packets.h"
#include "support/lines.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {


class RouterLinkTest : public ::testing::Test {
 protected:
  RouterLinkTest() { rig.dlg->settings.EngineeringMode = true; }
  link::Discovery& search() { return rig.dlg->link.discovery; }
  link::CommandChannel& commands() { return rig.dlg->link.commands; }
  Rig rig;
  link::Target unit;  // not chosen: broadcast, commands to the last answer
};

TEST_F(RouterLinkTest, FirstSearchSetsUpTheSocketAndRecordsTheRouterOnce) {
  ASSERT_TRUE(search().SearchRouter(unit));
  EXPECT_EQ(rig.network.listenersStarted, 1);
  const auto table = search().DeviceTable();
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].Model, "LM-7210A");
  EXPECT_EQ(table[0].Ip, "10.77.0.2");
  EXPECT_EQ(table[0].MacText, "001122AABBCC");
  const auto last = search().LastFound();
  EXPECT_EQ(last.Model, "LM-7210A");
  EXPECT_EQ(last.Ip, "10.77.0.2");
  EXPECT_EQ(rig.display.listLines.front(), "Start Create Socket...");
  EXPECT_EQ(rig.display.listLines.back(), "Search Model:LM-7210A......OK!");
  // Each search starts with an empty table, so the router is found again.
  EXPECT_TRUE(search().SearchRouter(unit));
  EXPECT_EQ(search().DeviceTable().size(), 1u);
  EXPECT_EQ(rig.network.listenersStarted, 1);
  EXPECT_EQ(rig.processes.detached.size(), 2u);
  EXPECT_EQ(rig.processes.detached.front(), "arp -d");
  // The system's arp, never one from the current directory.
  EXPECT_EQ(rig.processes.detachedApplications.front(), platform::SystemProgramPath("arp"));
}

TEST_F(RouterLinkTest, NoAnswerRunsTwentyCyclesWithFiveProgressLinesInAboutTwentyFourSeconds) {
  rig.router().answersDiscovery = false;
  const int64_t start = rig.clock.NowMs();
  EXPECT_FALSE(search().SearchRouter(unit));
  const int64_t elapsed = rig.clock.NowMs() - start;
  EXPECT_NEAR(elapsed, 20 * 1200 + 5 * 100 + 200, 300);
  for (int k = 1; k <= 5; ++k) {
    EXPECT_EQ(Count(rig.display.listLines, "[System]-Searching for LM-7210A/LM-7210B..." + std::to_string(k)), 1);
  }
  EXPECT_EQ(rig.network.destinations.size(), 20u);
  EXPECT_EQ(rig.network.destinations.front(), "255.255.255.255");
}

TEST_F(RouterLinkTest, TableRules) {
  // Mode byte 2: not recorded, but its MAC becomes the target.
  rig.router().modeByte = 2;
  RouterModel second = HealthyRouter();
  second.ip = "10.77.0.3";
  second.mac[5] = 0x01;
  second.label.clear();  // recorded, but does not end the cycles
  second.discoveryDelayMs = 30;
  rig.network.routers.push_back(second);
  EXPECT_FALSE(search().SearchRouter(unit));
  const auto table = search().DeviceTable();
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].Ip, "10.77.0.3");
  // The last valid answer names the target, recorded or not.
  rig.network.routers[1].answersDiscovery = false;
  search().SearchRounds(1, unit);
  EXPECT_EQ(search().Addressed(unit).mac, rig.router().mac);
}

TEST_F(RouterLinkTest, TwoRoutersAreRecordedInArrivalOrderAndTheLastDescribesCurrent) {
  RouterModel second = HealthyRouter();
  second.ip = "10.77.0.3";
  second.mac[5] = 0x01;
  second.model = "LM-7210B";
  second.discoveryDelayMs = 40;
  rig.network.routers.push_back(second);
  ASSERT_TRUE(search().SearchRouter(unit));
  const auto table = search().DeviceTable();
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].Ip, "10.77.0.2");
  EXPECT_EQ(table[1].Ip, "10.77.0.3");
  EXPECT_EQ(search().LastFound().Model, "LM-7210B");
  EXPECT_EQ(search().LastFound().MacText, "001122AABB01");
}

TEST_F(RouterLinkTest, The256thRouterIsIgnored) {
  search().SearchRounds(1, unit);  // listener up
  for (int i = 0; i < 256; ++i) {
    std::array<uint8_t, 6> mac{0x02, 0, 0, 0, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
    search().OnDatagram(DiscoveryResponse(mac, "LM-7210A", "r").data(), 1024, "10.0.0." + std::to_string(i));
  }
  EXPECT_EQ(search().DeviceTable().size(), 255u);
  EXPECT_EQ(search().LastFound().Ip, "10.0.0.254");
}

TEST_F(RouterLinkTest, AUnicastTargetIsAskedAtItsAddress) {
  unit.ip = "10.77.0.2";
  unit.unicast = true;
  search().SearchRounds(1, unit);
  EXPECT_EQ(rig.network.destinations.back(), "10.77.0.2");
  commands().SendCommand(unit, "x", 0);
  EXPECT_EQ(rig.network.destinations.back(), "10.77.0.2");
}

TEST_F(RouterLinkTest, ListenerDispatchesByModeAndDropsTheRest) {
  ASSERT_TRUE(search().SearchRouter(unit));
  // In command mode a discovery answer is not a command answer.
  rig.router().script = [](const std::string&, Reply& reply) {
    reply.drop = true;
    return true;
  };
  commands().SendCommand(unit, "nvram get x", 300);
  search().OnDatagram(DiscoveryResponse({1, 2, 3, 4, 5, 6}, "LM-7210A", "x").data(), 1024, "10.77.0.9");
  EXPECT_EQ(search().DeviceTable().size(), 1u);
  EXPECT_TRUE(commands().AwaitingResponse());
  // Oversized datagrams never reach a handler.
  std::vector<uint8_t> huge(2000, 0);
  search().OnDatagram(huge.data(), huge.size(), "10.77.0.2");
}

TEST_F(RouterLinkTest, BindIsTriedTwelveTimesWithoutPauseThenGoesOnUnbound) {
  rig.network.bindFailures = 100;
  search().SearchRounds(0, unit);
  EXPECT_TRUE(search().SearchRouter(unit));  // the scripted socket still delivers
  EXPECT_EQ(rig.network.bindAttempts, 12);
  EXPECT_TRUE(rig.display.boxes.empty());
  EXPECT_EQ(rig.host.findCalls.size(), 11u);
}

TEST_F(RouterLinkTest, CompetingUtilityIsClosedOnYesAndEndsTheProgramOnNo) {
  rig.network.bindFailures = 1;
  rig.host.competingWindow = 77;
  EXPECT_TRUE(search().SearchRouter(unit));
  EXPECT_EQ(rig.host.closed, (std::vector<intptr_t>{77}));
  EXPECT_EQ(rig.clock.pauses.front(), 1000);

  Rig refusing;
  refusing.network.bindFailures = 1;
  refusing.host.competingWindow = 77;
  refusing.display.yesNoAnswer = false;
  refusing.display.SetTimer(kSearchTimer, 300);
  EXPECT_EQ(refusing.RunMessages(), 1);
  EXPECT_EQ(refusing.dlg->LastEnding(), std::nullopt);
  EXPECT_EQ(refusing.network.cleanups, 1);
  EXPECT_TRUE(refusing.host.closed.empty());
}

TEST_F(RouterLinkTest, SocketFailuresShowTheirBoxesAndTheSearchGoesOn) {
  rig.network.startOk = false;
  rig.network.createOk = false;
  rig.network.broadcastOk = false;
  search().SearchRounds(0, unit);
  search().SearchRouter(unit);
  EXPECT_EQ(rig.display.boxes, (std::vector<std::string>{"starting windows sockets failed", "Create socket failed",
                                                           "setsockopt failed!!"}));
}

// ---- command channel -------------------------------------------------------------

TEST_F(RouterLinkTest, CommandRoundTripEndsTheWaitAtTheAnswer) {
  ASSERT_TRUE(search().SearchRouter(unit));
  const int64_t start = rig.clock.NowMs();
  commands().SendCommand(unit, "nvram get 0:pa2ga0", 1000);
  EXPECT_EQ(commands().ResponseText(), "0xff2a,0x1b2e,0xfcb4\n");
  EXPECT_LE(rig.clock.NowMs() - start, 250);
  EXPECT_EQ(rig.Commands().back(), "nvram get 0:pa2ga0");
}

TEST_F(RouterLinkTest, LimitZeroReturnsRightAfterTheSend) {
  ASSERT_TRUE(search().SearchRouter(unit));
  rig.router().script = [](const std::string&, Reply& reply) {
    reply.text = "late\n";
    reply.delayMs = 150;
    return true;
  };
  const int64_t start = rig.clock.NowMs();
  commands().SendCommand(unit, "x", 0);
  EXPECT_EQ(rig.clock.NowMs() - start, 100);
  EXPECT_EQ(commands().ResponseText(), "");
}

TEST_F(RouterLinkTest, LateAnswerLandsUntilTheNextCommandAndNeverInIt) {
  ASSERT_TRUE(search().SearchRouter(unit));
  rig.router().script = [](const std::string& command, Reply& reply) {
    reply.text = command + "-answer\n";
    reply.delayMs = command == "first" ? 1250 : 5000;
    return true;
  };
  commands().SendCommand(unit, "first", 1000);
  EXPECT_EQ(commands().ResponseText(), "");
  EXPECT_TRUE(commands().AwaitingResponse());
  rig.dlg->waits.PumpingDelay(300);
  EXPECT_EQ(commands().ResponseText(), "first-answer\n");
  EXPECT_FALSE(commands().AwaitingResponse());

  // An answer to the old command that arrives during the next one is ignored.
  rig.router().script = [](const std::string& command, Reply& reply) {
    reply.text = command + "-answer\n";
    reply.delayMs = command == "second" ? 50 : 5;
    reply.sequenceDelta = command == "second" ? -1 : 0;
    return true;
  };
  commands().SendCommand(unit, "second", 500);
  EXPECT_EQ(commands().ResponseText(), "");
}

// A command that does not fit the text field is refused whole, never cut to
// another command: nothing is sent and the caller finds no answer, not even
// a late one to the command before it.
TEST_F(RouterLinkTest, ACommandLongerThanTheFieldIsNeverSent) {
  ASSERT_TRUE(search().SearchRouter(unit));
  rig.router().script = [](const std::string& command, Reply& reply) {
    reply.text = "ran\n";
    reply.delayMs = command == "slow" ? 1200 : 5;
    return true;
  };
  for (const auto& [length, sent] : std::vector<std::pair<size_t, bool>>{{420, true}, {421, false}, {5000, false}}) {
    SCOPED_TRACE(length);
    commands().SendCommand(unit, "slow", 1000);  // its answer is still due
    const size_t requests = rig.network.requests.size();
    const std::string command = "echo " + std::string(length - 5, 'x');
    commands().SendCommand(unit, command, 1000);
    rig.dlg->waits.PumpingDelay(500);
    EXPECT_EQ(rig.network.requests.size(), requests + (sent ? 1 : 0));
    EXPECT_EQ(commands().ResponseText(), sent ? "ran\n" : "");
    EXPECT_FALSE(commands().AwaitingResponse());
    EXPECT_EQ(rig.Commands().back(), sent ? command : "slow");
    const std::string refusal = "Command not sent: " + std::to_string(length) + " bytes, a command carries at most 420";
    EXPECT_EQ(rig.display.listLines.back() == refusal, !sent);
  }
}

TEST_F(RouterLinkTest, DuplicatedAnswersGiveTheTextOnce) {
  ASSERT_TRUE(search().SearchRouter(unit));
  rig.router().script = [](const std::string&, Reply& reply) {
    reply.text = "once\n";
    reply.copies = 3;
    return true;
  };
  commands().SendCommand(unit, "x", 1000);
  rig.dlg->waits.PumpingDelay(100);
  EXPECT_EQ(commands().ResponseText(), "once\n");
}

TEST_F(RouterLinkTest, ResultClassErrorsShowTheirBoxAndTheWaitRunsToItsLimit) {
  ASSERT_TRUE(search().SearchRouter(unit));
  rig.router().script = [](const std::string& command, Reply& reply) {
    reply.text = "denied\n";
    reply.operation = command == "a" ? 0x0133 : 0x0233;
    return true;
  };
  const int64_t start = rig.clock.NowMs();
  commands().SendCommand(unit, "a", 1000);
  EXPECT_GE(rig.clock.NowMs() - start, 1000);
  commands().SendCommand(unit, "b", 200);
  EXPECT_EQ(rig.display.boxes, (std::vector<std::string>{"NET_RES_ERR_PASSWORD", "NET_RES_ERR_FIELD_UNDEF"}));
  EXPECT_EQ(commands().ResponseText(), "");
}

TEST_F(RouterLinkTest, AnswersOfAnotherRouterAreIgnored) {
  ASSERT_TRUE(search().SearchRouter(unit));
  rig.router().script = [](const std::string&, Reply& reply) {
    reply.text = "impostor\n";
    reply.wrongMac = true;
    return true;
  };
  commands().SendCommand(unit, "x", 300);
  EXPECT_EQ(commands().ResponseText(), "");
  EXPECT_TRUE(rig.display.boxes.empty());
}

TEST_F(RouterLinkTest, EmptyResultEndsTheWaitAtOnce) {
  ASSERT_TRUE(search().SearchRouter(unit));
  const int64_t start = rig.clock.NowMs();
  commands().SendCommand(unit, "nvram set a=b", 1000);
  EXPECT_EQ(commands().ResponseText(), "");
  EXPECT_FALSE(commands().AwaitingResponse());
  EXPECT_LE(rig.clock.NowMs() - start, 250);
}

TEST_F(RouterLinkTest, QueryMtd0ValueCutsKeyAndFirstLine) {
  ASSERT_TRUE(search().SearchRouter(unit));
  commands().QueryMtd0Value(unit, "0:ccode");
  EXPECT_EQ(commands().ResponseText(), "US");
  EXPECT_EQ(rig.Commands().back(), "cat /dev/mtd0 | grep 0:ccode");
  const std::pair<std::string, std::string> cases[] = {
      {"0:ccode=US", ""},  // no line feed
      {"0:cco\n", ""},     // shorter than key and "="
      {"0:ccode=\n", ""},
      {"0:ccode=US\r\n1:ccode=EU\n", "US\r"},
  };
  for (const auto& [reply, expected] : cases) {
    rig.router().script = [reply = reply](const std::string&, Reply& r) {
      r.text = reply;
      return true;
    };
    commands().QueryMtd0Value(unit, "0:ccode");
    EXPECT_EQ(commands().ResponseText(), expected) << reply;
  }
}

TEST_F(RouterLinkTest, CommandsAreAddressedToTheTargetAndPinningHoldsIt) {
  RouterModel second = HealthyRouter();
  second.ip = "10.77.0.3";
  second.mac[5] = 0x01;
  second.discoveryDelayMs = 40;
  rig.network.routers.push_back(second);
  ASSERT_TRUE(search().SearchRouter(unit));
  unit = link::Target::Chosen(search().DeviceTable()[0]);
  unit.unicast = false;
  search().SearchRounds(2, unit);  // the second router answers last again
  commands().SendCommand(unit, "ATE Get_FWVersion", 1000);
  EXPECT_EQ(rig.router(0).commands.back(), "ATE Get_FWVersion");
  EXPECT_TRUE(rig.router(1).commands.empty());
}

}  // namespace
}  // namespace ramtune::test
