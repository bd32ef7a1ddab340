// The router link over real sockets against the simulator, run inside the
// PC network namespace by run-link.sh. Environment:
//   RAMTUNE_SIM_STATE  the simulator's state directory
//   RAMTUNE_TOOLS      a folder holding curl, mtd-write and the image
//   RAMTUNE_ROUTERS    number of simulated routers (1 or 2)
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/logs.h"
#include "core/platform_processes.h"
#include "core/system_time.h"
#include "link/tool_runner.h"
#include "link/router_link.h"
#include "link/udp_transport.h"
#include "support/doubles.h"

namespace ramtune::test {
namespace {

using RealClock = SystemTime;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

// One process-wide link, as in the program: one socket, one listener.
struct Link {
  Link() : waits(clock), logs(waits, display, settings) {
    settings.EngineeringMode = true;
    settings.ToolFolderPath = Env("RAMTUNE_TOOLS");
    waits.MeasureQpcReadCost();
  }
  VirtualClock unused;
  RealClock clock;
  RecordingDisplay display{unused};
  link::UdpTransport transport;
  PlatformProcesses processes;
  FakeHost host;
  Settings settings;
  Waits waits;
  RunLogs logs;
  link::RouterLink link{link::LinkServices{transport, waits, logs, display, host, processes}};
  link::ToolRunner runner{processes, waits, logs, settings};
  // As before a choice: broadcast, commands to the last answer, uploads to
  // the router recorded last.
  link::Target Found() const { return link::Target::Unchosen(link.discovery.LastFound()); }
};

Link& TheLink() {
  static Link* instance = new Link();  // lives until the process ends, like the listener
  return *instance;
}

bool SingleRouter() { return Env("RAMTUNE_ROUTERS") != "2"; }

TEST(LinkIntegration, SearchFindsTheRouterInTheFirstCyclesAndRecordsItOnce) {
  if (!SingleRouter()) GTEST_SKIP() << "two-router run";
  Link& l = TheLink();
  const int64_t start = platform::ProcessClockMs();
  ASSERT_TRUE(l.link.discovery.SearchRouter({}));
  EXPECT_LT(platform::ProcessClockMs() - start, 4000);
  const auto table = l.link.discovery.DeviceTable();
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].Ip, "10.77.0.2");
  EXPECT_EQ(table[0].MacText, "AABBCCDDEE01");
  EXPECT_EQ(table[0].Model, "LM-7210A");
  // More cycles: the same router is never recorded twice.
  l.link.discovery.SearchRounds(2, {});
  EXPECT_EQ(l.link.discovery.DeviceTable().size(), 1u);
}

TEST(LinkIntegration, TwoRoutersAreBothRecordedInArrivalOrder) {
  if (SingleRouter()) GTEST_SKIP() << "single-router run";
  Link& l = TheLink();
  l.link.discovery.SearchRouter({});
  l.link.discovery.SearchRounds(2, {});  // both answer the same broadcast; let the second arrive
  const auto table = l.link.discovery.DeviceTable();
  ASSERT_EQ(table.size(), 2u);
  EXPECT_NE(table[0].Ip, table[1].Ip);
  EXPECT_EQ(l.link.discovery.LastFound().Ip, table[1].Ip);
}

TEST(LinkIntegration, CommandRoundTripAndBootPartitionQuery) {
  if (!SingleRouter()) GTEST_SKIP();
  Link& l = TheLink();
  const int64_t start = platform::ProcessClockMs();
  l.link.commands.SendCommand(l.Found(), "ATE Get_FWVersion", 1000);
  EXPECT_EQ(l.link.commands.ResponseText(), "3.0.4.118\n");
  EXPECT_LT(platform::ProcessClockMs() - start, 600);
  l.link.commands.QueryMtd0Value(l.Found(), "0:ccode");
  EXPECT_EQ(l.link.commands.ResponseText(), "US");
}

TEST(LinkIntegration, UploadThroughCurlArrivesByteIdentical) {
  if (!SingleRouter()) GTEST_SKIP();
  Link& l = TheLink();
  for (const char* command : {"mkdir /tmp/mnt/cfe", "nvram set enable_ftp=1", "nvram set st_ftp_mode=1",
                              "rc rc_service restart_ftpd"}) {
    l.link.commands.SendCommand(l.Found(), command, 3000);
  }
  l.waits.PumpingDelay(500);
  ASSERT_TRUE(l.runner.UploadBootImage(l.Found()));
  ASSERT_TRUE(l.runner.UploadFlashTool(l.Found()));
  const std::string arrived = Env("RAMTUNE_SIM_STATE") + "/10.77.0.2/tmp/mnt/cfe/";
  for (const char* name : {kBootImageFile, kFlashToolFile}) {
    const std::string sent = FileBytes(l.settings.ToolFolderPath + "/" + name);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(FileBytes(arrived + name), sent) << name;
  }
  l.link.commands.SendCommand(l.Found(), "cat /mnt/cfe/cfe_lm-7210a_1.0.1.6.bin |grep bl_version", 15000);
  EXPECT_NE(l.link.commands.ResponseText().find("1.0.1.6"), std::string::npos);
}

TEST(LinkIntegration, MissingUploaderGivesItsFourLinesAndFalse) {
  if (!SingleRouter()) GTEST_SKIP();
  Link& l = TheLink();
  const std::string saved = l.settings.ToolFolderPath;
  l.settings.ToolFolderPath = saved + "/no-such-folder";
  l.display.LogListClear();
  EXPECT_FALSE(l.runner.UploadBootImage(l.Found()));
  l.settings.ToolFolderPath = saved;
  const auto& lines = l.display.listLines;
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_FALSE(lines[0].empty());  // the system's own words for the error
  EXPECT_EQ(lines[1], "Path: " + saved + "/no-such-folder/curl");
  EXPECT_EQ(lines[2].rfind("command: curl -T \"", 0), 0u);
  EXPECT_EQ(lines[3], "Can not create process!");
  EXPECT_EQ(lines[4], "ExecuteConsoleCommand_Bin fail!");
  EXPECT_EQ(lines[5].rfind("[System]-The upload of cfe_lm-7210a_1.0.1.6.bin did not complete (Can not create process!)", 0), 0u);
}

TEST(LinkIntegration, OneSearchCycleLastsAboutOnePointTwoSeconds) {
  if (!SingleRouter()) GTEST_SKIP();
  Link& l = TheLink();
  // Ask an address nobody has, so that every cycle runs to its end.
  link::Target nobody;
  nobody.ip = "10.77.0.99";
  nobody.unicast = true;
  const int64_t start = platform::ProcessClockMs();
  EXPECT_FALSE(l.link.discovery.SearchRounds(5, nobody));
  const double perCycle = (platform::ProcessClockMs() - start) / 5.0;
  EXPECT_NEAR(perCycle, 1200.0, 120.0);
}

}  // namespace
}  // namespace ramtune::test
