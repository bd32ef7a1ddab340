// Write-back and commit after the flash, in virtual time: what is written and
// in which order, the checked identity writes and their ending, and the
// commit confirmation that may come late or never.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>

#include "core/text.h"
#include "support/lines.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;


const char* const kCalibrationKeys[] = {
    "0:pa2ga0",      "0:pa2ga1",      "0:pa2ga2",      "1:pa5ga0",      "1:pa5ga1",      "1:pa5ga2",
    "0:mcsbw202gpo", "0:mcsbw402gpo", "1:mcsbw205glpo", "1:mcsbw405glpo", "1:mcsbw805glpo", "1:mcsbw205gmpo",
    "1:mcsbw405gmpo", "1:mcsbw805gmpo", "1:mcsbw205ghpo", "1:mcsbw405ghpo", "1:mcsbw805ghpo", "0:rpcal2g",
    "1:rpcal5gb0",   "1:rpcal5gb1",   "1:rpcal5gb2",   "1:rpcal5gb3"};
const char* const kBoardSettings[] = {"nvram set clkfreq=800,666", "nvram set 0:tempthresh=255",
                                      "nvram set 1:tempthresh=255", "nvram set bl_version=1.0.1.6",
                                      "nvram set gpio9=usbport1",  "nvram set HW_ver=170"};

// What one pass writes to the healthy router, in order.
std::vector<std::string> ExpectedWrites(bool modeSeven) {
  const RouterModel healthy = HealthyRouter();
  std::vector<std::string> out = {
      "ATE Set_MacAddr_2G 00:11:22:AA:BB:CC", "ATE Set_MacAddr_5G 00:11:22:AA:BB:CD",
      "ATE Set_RegulationDomain_2G US",        "ATE Set_Regrev_2G 12",
      "ATE Set_RegulationDomain_5G US",        "ATE Set_Regrev_5G 0",
      "ATE Set_PINCode 12345670"};
  for (const char* key : kCalibrationKeys) {
    out.push_back(std::string("nvram set qarvcfe") + key + "=" + healthy.Get(key));
  }
  out.push_back("nvram set qarvcfeodmpid=LM-7210A");
  out.push_back("nvram set qarvcfeATEMODE=0");
  if (modeSeven) {
    out.push_back("nvram set qarvcfewlopmode=7");
    out.push_back("ATE Set_Commit");
  }
  out.insert(out.end(), std::begin(kBoardSettings), std::end(kBoardSettings));
  out.push_back("ATE Set_Commit");
  return out;
}

// The commands of pass `pass` (1 or 2): from the first identity write up to the reboot.
std::vector<std::string> PassWrites(const std::vector<std::string>& commands, int pass) {
  auto from = commands.begin();
  for (int p = 0; p < pass; ++p) {
    from = std::find_if(p == 0 ? from : from + 1, commands.end(),
                        [](const std::string& c) { return StartsWith(c, "ATE Set_MacAddr_2G"); });
  }
  return {from, std::find(from, commands.end(), "reboot")};
}

class RestoreTest : public ::testing::Test {
 protected:
  RestoreTest() { rig.dlg->settings.EngineeringMode = true; }
  Rig rig;
};

TEST_F(RestoreTest, HealthyPassWritesEverythingInOrderWithItsPausesAndLines) {
  std::map<std::string, std::string> shownAtSend;  // the last log line when each command went out
  size_t firstPause = 0, lastPause = 0;
  rig.router().script = [&](const std::string& command, Reply&) {
    shownAtSend.emplace(command, rig.display.listLines.back());
    if (StartsWith(command, "ATE Set_MacAddr_2G")) firstPause = rig.clock.pauses.size();
    if (command == "reboot") lastPause = rig.clock.pauses.size();
    return false;
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);
  const std::vector<std::string> writes = ExpectedWrites(true);
  EXPECT_THAT(PassWrites(rig.Commands(), 1), ElementsAreArray(writes));

  std::vector<int> pauses(24, 100);
  pauses.insert(pauses.end(), {100, 1000, 500, 500, 500, 500, 500, 500});
  EXPECT_THAT(std::vector<int>(rig.clock.pauses.begin() + static_cast<long>(firstPause),
                               rig.clock.pauses.begin() + static_cast<long>(lastPause)),
              ElementsAreArray(pauses));

  // Identity writes log the echoed value; the operating mode is logged after
  // its reply, every other write before it is sent.
  std::vector<std::string> lines = {"############################", "Write data to DUT",
                                    "############################", "[System]-Writing data",
                                    "00:11:22:AA:BB:CC", "00:11:22:AA:BB:CD", "US", "12", "US", "0", "12345670"};
  lines.insert(lines.end(), writes.begin() + 7, writes.end());
  lines.push_back("1");
  const auto& list = rig.display.listLines;
  const auto begin = std::find(list.begin(), list.end(), "Write data to DUT") - 1;
  EXPECT_THAT(std::vector<std::string>(begin, begin + static_cast<long>(lines.size())), ElementsAreArray(lines));
  EXPECT_EQ(shownAtSend.at("nvram set qarvcfewlopmode=7"), "nvram set qarvcfeATEMODE=0");
  for (const char* logFirst : {"nvram set qarvcfeATEMODE=0", "nvram set HW_ver=170"}) {
    EXPECT_EQ(shownAtSend.at(logFirst), logFirst);
  }
  EXPECT_EQ(Count(rig.display.listLines, "============= RETRY =============="), 0);
}

TEST_F(RestoreTest, EmptyOperatingModeLeavesOutTheModeWriteAndItsCommit) {
  rig.router().Set("wlopmode", "0");
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_THAT(PassWrites(rig.Commands(), 1), ElementsAreArray(ExpectedWrites(false)));
  EXPECT_EQ(rig.display.picture, kPicturePass);
}

struct IdentityCase {
  const char* prefix;
  const char* message;
};
const IdentityCase kIdentityCases[] = {
    {"ATE Set_MacAddr_2G ", "Set 2.4G MAC Fail!!"},    {"ATE Set_MacAddr_5G ", "Set 5G MAC Fail!!"},
    {"ATE Set_RegulationDomain_2G ", "Set 2G REG CODE Fail!!"}, {"ATE Set_Regrev_2G ", "Set 2G REGREV Fail!!"},
    {"ATE Set_RegulationDomain_5G ", "Set 5G REG CODE Fail!!"}, {"ATE Set_Regrev_5G ", "Set 5G REGREV Fail!!"},
    {"ATE Set_PINCode ", "Set PINCode Fail!!"}};
void PrintTo(const IdentityCase& item, std::ostream* os) { *os << item.prefix; }

// Replies that never equal the value sent: `value` stands for it.
struct BadEcho {
  const char* name;
  std::string format;
  bool drop;
  int delayMs;
};
const BadEcho kBadEchoes[] = {
    {"Other", "XX\n", false, 5},           {"NoLineFeed", "%s", false, 5},
    {"CarriageReturn", "%s\r\n", false, 5}, {"TrailingBlank", "%s \n", false, 5},
    {"Oversized", "%s" + std::string(500, '0') + "\n", false, 5},
    {"Late", "%s\n", false, 1500},         {"None", "", true, 5}};
void PrintTo(const BadEcho& echo, std::ostream* os) { *os << echo.name; }

class IdentityWriteFails : public ::testing::TestWithParam<std::tuple<IdentityCase, BadEcho>> {};

TEST_P(IdentityWriteFails, EndsTheRunAfterEightAttempts) {
  const auto& [item, echo] = GetParam();
  Rig rig;
  rig.dlg->settings.EngineeringMode = true;
  size_t firstPause = SIZE_MAX;
  rig.router().script = [&, item = item, echo = echo](const std::string& command, Reply& reply) {
    if (!StartsWith(command, item.prefix)) return false;
    if (firstPause == SIZE_MAX) firstPause = rig.clock.pauses.size();
    reply.text = FillIn(echo.format.c_str(), command.substr(std::string(item.prefix).size()));
    reply.drop = echo.drop;
    reply.delayMs = echo.delayMs;
    return true;
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_THAT(rig.EventsBeforeRecoveryHint(5),
              ElementsAre("picture 131", std::string("box ") + item.message, std::string("list ") + item.message,
                          "enable 1 on", "enable 2 on"));
  EXPECT_EQ(std::count_if(rig.Commands().begin(), rig.Commands().end(),
                          [&](const std::string& c) { return StartsWith(c, item.prefix); }),
            8);
  EXPECT_THAT(std::vector<int>(rig.clock.pauses.begin() + static_cast<long>(firstPause), rig.clock.pauses.end()),
              ElementsAre(1000, 1000, 1000, 1000, 1000, 1000, 1000));
  EXPECT_EQ(Count(rig.Commands(), "reboot"), 0);
  EXPECT_EQ(rig.display.boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EveryItem, IdentityWriteFails,
                         ::testing::Combine(::testing::ValuesIn(kIdentityCases), ::testing::Values(kBadEchoes[0])),
                         [](const auto& info) { return "Item" + std::to_string(info.index); });
INSTANTIATE_TEST_SUITE_P(EveryReply, IdentityWriteFails,
                         ::testing::Combine(::testing::Values(kIdentityCases[0]), ::testing::ValuesIn(kBadEchoes)),
                         [](const auto& info) { return std::string(std::get<1>(info.param).name); });

// The commit is sent once; its reply is looked at up to ten times, a second
// apart, and the run goes on whether or not it ever confirms.
TEST(RestoreCommit, LateConfirmationCountsAndNoneIsGivenUpAfterTenChecks) {
  for (const Reply& answer : {Reply{"1\n", false, 3500}, Reply{"0\n"}, Reply{"1"}, Reply{"", true}}) {
    const bool confirms = answer.delayMs == 3500;
    Rig rig;
    rig.dlg->settings.EngineeringMode = true;
    rig.router().Set("wlopmode", "0");  // the final commit is the only one
    size_t commitPause = 0, rebootPause = 0;
    rig.router().script = [&](const std::string& command, Reply& reply) {
      if (command == "reboot") rebootPause = rig.clock.pauses.size();
      if (command != "ATE Set_Commit") return false;
      commitPause = rig.clock.pauses.size();
      reply = answer;
      return true;
    };
    EXPECT_EQ(rig.SearchAndRun(), -1);
    EXPECT_EQ(Count(rig.Commands(), "ATE Set_Commit"), 1);
    const std::vector<int> pauses(rig.clock.pauses.begin() + static_cast<long>(commitPause),
                                  rig.clock.pauses.begin() + static_cast<long>(rebootPause));
    EXPECT_THAT(pauses, Each(1000));
    if (confirms) {
      EXPECT_GE(pauses.size(), 2u);
      EXPECT_LT(pauses.size(), 10u);
    } else {
      EXPECT_EQ(pauses.size(), 10u);
    }
    const auto& list = rig.display.listLines;
    const auto reboot = std::find(list.begin(), list.end(), ">> Reboot Device...Please Wait...");
    EXPECT_EQ(*(reboot - 1), confirms ? "1" : "ATE Set_Commit");
    EXPECT_EQ(rig.display.picture, kPicturePass);
  }
}

TEST_F(RestoreTest, SecondPassWritesEverythingAgainAfterTheRetryLine) {
  rig.router().afterReboot = [](RouterModel& router, int reboot) {
    if (reboot == 1) router.SetMtd0("1:rpcal5gb3", "0x0000");
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_THAT(PassWrites(rig.Commands(), 2), ElementsAreArray(ExpectedWrites(true)));
  const auto& list = rig.display.listLines;
  ASSERT_EQ(Count(list, "============= RETRY =============="), 1);
  const auto retry = std::find(list.begin(), list.end(), "============= RETRY ==============");
  EXPECT_THAT(std::vector<std::string>(retry, retry + 5),
              ElementsAre("============= RETRY ==============", "############################", "Write data to DUT",
                          "############################", "[System]-Writing data"));
  EXPECT_EQ(rig.display.picture, kPicturePass);
}

TEST_F(RestoreTest, IdentityFailureOnTheSecondPassEndsTheSameWay) {
  rig.router().afterReboot = [](RouterModel& router, int reboot) {
    if (reboot == 1) router.SetMtd0("secret_code", "00000000");
  };
  rig.router().script = [&](const std::string& command, Reply& reply) {
    if (rig.router().reboots == 0 || !StartsWith(command, "ATE Set_PINCode ")) return false;
    reply.text = "00000000\n";
    return true;
  };
  EXPECT_EQ(rig.SearchAndRun(), -1);
  EXPECT_THAT(rig.EventsBeforeRecoveryHint(5), ElementsAre("picture 131", "box Set PINCode Fail!!",
                                                       "list Set PINCode Fail!!", "enable 1 on", "enable 2 on"));
  EXPECT_EQ(rig.router().reboots, 1);
  EXPECT_EQ(rig.display.boxes.size(), 1u);
}

}  // namespace
}  // namespace ramtune::test
