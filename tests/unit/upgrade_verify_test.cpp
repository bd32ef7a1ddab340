// Verification after the reboot, in virtual time: the reads and their order,
// completion, the single second pass after a first mismatch, and the failure
// ending of a second mismatch in any row, the bootloader row included.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "core/text.h"
#include "support/lines.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const char* const kModelQuery = "cat /dev/mtd0 |grep odmpid";
const char* const kRetryLine = "============= RETRY ==============";

std::string Partition(const std::string& key) { return "cat /dev/mtd0 | grep " + key; }

// Answers `command`, once the router has rebooted `fromReboot` times, with `text`.
void AnswerAfterReboot(Rig& rig, const std::string& command, const std::string& text, int fromReboot = 1) {
  rig.router().script = [&rig, command, text, fromReboot](const std::string& c, Reply& reply) {
    if (c != command || rig.router().reboots < fromReboot) return false;
    reply.text = text;
    return true;
  };
}

class VerifyTest : public ::testing::Test {
 protected:
  VerifyTest() { rig.dlg->settings.EngineeringMode = true; }
  Rig rig;
};

TEST_F(VerifyTest, CompleteRunReadsEveryRowInOrderAndEndsWithPass) {
  EXPECT_EQ(rig.SearchAndRun(), -1);
  std::vector<std::string> expected;
  for (const char* key : {"clkfreq", "0:tempthresh", "1:tempthresh", "bl_version", "gpio9", "HW_ver"}) {
    expected.push_back(std::string("nvram get ") + key);
  }
  for (const char* key : {"et0macaddr", "0:macaddr", "1:macaddr", "0:ccode", "0:regrev", "1:ccode", "1:regrev",
                          "secret_code", "0:pa2ga0", "0:pa2ga1", "0:pa2ga2", "1:pa5ga0", "1:pa5ga1", "1:pa5ga2",
                          "0:mcsbw202gpo", "0:mcsbw402gpo", "1:mcsbw205glpo", "1:mcsbw405glpo", "1:mcsbw805glpo",
                          "1:mcsbw205gmpo", "1:mcsbw405gmpo", "1:mcsbw805gmpo", "1:mcsbw205ghpo", "1:mcsbw405ghpo",
                          "1:mcsbw805ghpo", "0:rpcal2g", "1:rpcal5gb0", "1:rpcal5gb1", "1:rpcal5gb2", "1:rpcal5gb3"}) {
    expected.push_back(Partition(key));
  }
  expected.push_back(kModelQuery);
  expected.push_back(Partition("bl_version"));
  EXPECT_THAT(Tail(rig.Commands(), expected.size()), ElementsAreArray(expected));

  EXPECT_THAT(Tail(rig.display.events, 6), ElementsAre("progress 20", "picture 130", "list Complete",
                                                       "list [System]-Upgrade completed", "enable 1 off",
                                                       "enable 2 on"));
  EXPECT_TRUE(rig.display.boxes.empty());
  EXPECT_FALSE(rig.display.enabled[kButtonRetry]);
  const auto& list = rig.display.listLines;
  const auto compare = std::find(list.begin(), list.end(), "Compare data");
  EXPECT_EQ(*(compare - 2), ">>Compare HW_ver OK!!");
  EXPECT_EQ(*(compare + 2), "[System]-Checking data");
  EXPECT_EQ(Count(list, ">>Compare 2.4G MAC OK!!"), 2);
  const auto blBanner = std::find(list.begin(), list.end(), "Check BL version");
  EXPECT_THAT(std::vector<std::string>(blBanner - 2, list.end() - 2),
              ElementsAre(">>Compare ModelName OK!!", "############################", "Check BL version",
                          "############################", ">> Boot Loader Version: [1.0.1.6]",
                          ">>Compare Bootloader OK!!"));
  EXPECT_EQ(*(std::find(list.begin(), list.end(), ">>Compare 5G REGREV OK!!") + 1), "SetPos(16)");
  EXPECT_EQ(*(std::find(list.begin(), list.end(), ">>Compare 5GBW805GLPO OK!!") + 1), "SetPos(19)");
}

TEST_F(VerifyTest, FirstMismatchInRowOneRepeatsRestoreRebootAndVerification) {
  AnswerAfterReboot(rig, "nvram get clkfreq", "800, 666\n");
  rig.router().afterReboot = [this](RouterModel&, int reboot) {
    if (reboot == 2) rig.router().script = nullptr;  // the second pass reads correct values
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(rig.router().reboots, 2);
  EXPECT_EQ(Count(rig.Commands(), "nvram get clkfreq"), 8 + 1);
  const auto& list = rig.display.listLines;
  const auto retry = std::find(list.begin(), list.end(), kRetryLine);
  ASSERT_NE(retry, list.end());
  EXPECT_EQ(*(retry - 1), "800, 666");  // no Fail line, no box
  EXPECT_TRUE(rig.display.boxes.empty());
  const auto& commands = rig.Commands();
  const auto lastClk = std::find(commands.rbegin(), commands.rend(), "nvram get clkfreq");
  EXPECT_EQ(*(lastClk + 1), "ATE Get_FwReadyStatus");  // verification starts again at row 1
  EXPECT_EQ(rig.display.picture, kPicturePass);
}

// A row that never matches: first pass, then second pass, ends the run.
struct Mismatch {
  const char* name;
  std::string command;
  std::string reply;
  int attempts;
  int picture;
  std::string failLine;
};
const Mismatch kMismatches[] = {
    {"Clkfreq", "nvram get clkfreq", "800, 666\n", 8, 131, ">>Compare clkfreq Fail!!"},
    {"Tempthresh", "nvram get 1:tempthresh", "255 \n", 8, 131, ">>Compare 1:tempthresh Fail!!"},
    {"RunningBootloader", "nvram get bl_version", "1.0.1.5\n", 8, 131, ">>Compare bl_version Fail!!"},
    {"SecondMacRow", Partition("0:macaddr"), "0:macaddr=00:11:22:AA:BB:CD\n", 8, 131, ">>Compare 2.4G MAC Fail!!"},
    {"NoLineFeed", Partition("secret_code"), "secret_code=12345670", 8, 131, ">>Compare PIN CODE Fail!!"},
    {"ShorterThanKey", Partition("0:pa2ga0"), "0:pa2ga\n", 8, 131, ">>Compare PA2GA0 Fail!!"},
    {"TrailingBlank", Partition("1:rpcal5gb3"), "1:rpcal5gb3=0x5678 \n", 8, 131, ">>Compare TXBF5GB3 Fail!!"},
    {"Oversized", Partition("1:pa5ga0"), "1:pa5ga0=" + std::string(600, 'f') + "\n", 8, 131,
     ">>Compare PA5GA0 Fail!!"},
    {"ModelName", kModelQuery, "odmpid=LM-7210B\n", 8, 132, ">>Compare ModelName Fail!!"},
    {"Bootloader", Partition("bl_version"), "bl_version=1.0.1.5\n", 5, 131, ">>Compare Bootloader Fail!!"},
};
void PrintTo(const Mismatch& m, std::ostream* os) { *os << m.name; }

class SecondMismatch : public ::testing::TestWithParam<Mismatch> {};

TEST_P(SecondMismatch, EndsTheRunAsFailed) {
  const Mismatch& m = GetParam();
  Rig rig;
  rig.dlg->settings.EngineeringMode = true;
  AnswerAfterReboot(rig, m.command, m.reply);
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(rig.router().reboots, 2);
  const auto& commands = rig.Commands();
  const auto reboot = std::find(commands.begin(), commands.end(), "reboot");
  EXPECT_EQ(std::count(reboot, commands.end(), m.command), 2 * m.attempts);
  EXPECT_THAT(rig.EventsBeforeRecoveryHint(5),
              ElementsAre("picture " + std::to_string(m.picture), "box >>Found data error, Please try again.",
                          "list " + m.failLine, "enable 1 on", "enable 2 on"));
  EXPECT_EQ(rig.display.boxes.size(), 1u);
  EXPECT_EQ(Count(rig.display.Of("picture"), "130"), 0);
  EXPECT_EQ(Count(rig.display.Of("progress"), "20"), 0);
  EXPECT_EQ(Count(rig.display.listLines, kRetryLine), 1);
}

INSTANTIATE_TEST_SUITE_P(Rows, SecondMismatch, ::testing::ValuesIn(kMismatches),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VerifyTest, SecondMismatchInAnotherRowEndsTheRun) {
  rig.router().afterReboot = [](RouterModel& router, int reboot) {
    router.SetMtd0(reboot == 1 ? "0:pa2ga0" : "1:mcsbw405gmpo", "0x0");
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_THAT(rig.EventsBeforeRecoveryHint(3), ElementsAre("list >>Compare 5GBW405GMPO Fail!!", "enable 1 on", "enable 2 on"));
  EXPECT_EQ(rig.display.picture, kPictureFail);
}

TEST_F(VerifyTest, BootloaderMismatchOnTheFirstPassStartsTheSecondPass) {
  rig.router().afterReboot = [](RouterModel& router, int reboot) {
    router.SetMtd0("bl_version", reboot == 1 ? "1.0.1.5" : "1.0.1.6");
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(Count(rig.display.listLines, ">> Boot Loader Version: [1.0.1.5]"), 5);
  EXPECT_EQ(Count(rig.display.listLines, kRetryLine), 1);
  EXPECT_EQ(rig.display.picture, kPicturePass);
}

TEST_F(VerifyTest, BlanksAreRemovedOnlyInTheGpioAndHardwareRows) {
  rig.router().script = [&](const std::string& command, Reply& reply) {
    if (rig.router().reboots == 0) return false;
    if (command == "nvram get gpio9") reply.text = " usb port1 \n";
    else if (command == "nvram get HW_ver") reply.text = "1 70\n";
    else return false;
    return true;
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_EQ(rig.router().reboots, 1);
  EXPECT_EQ(Count(rig.display.listLines, " usb port1 "), 1);  // logged before the removal
  EXPECT_EQ(rig.display.picture, kPicturePass);
}

TEST(VerifyModelName, AcceptedAnywhereInTheWholeReply) {
  for (const std::string reply : {"LM-7210A", "boot: ok\nodmpid=LM-7210A\n", "xLM-7210Ax\n"}) {
    Rig rig;
    AnswerAfterReboot(rig, kModelQuery, reply);
    EXPECT_EQ(rig.SearchAndRun(), -1);
    EXPECT_EQ(rig.router().reboots, 1) << reply;
    EXPECT_EQ(rig.display.picture, kPicturePass) << reply;
  }
}

}  // namespace
}  // namespace ramtune::test
