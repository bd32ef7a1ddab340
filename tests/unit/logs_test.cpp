// Process log and Data log lines, their filter and file names, and the
// two waiting primitives.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/rig.h"

namespace ramtune::test {
namespace {

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

class LogsTest : public ::testing::Test {
 protected:
  RunLogs& logs() { return rig.dlg->logs; }
  void Name() { logs().NameRunLogs("001122AABBCC", "20261208093000"); }
  Rig rig;
};

TEST_F(LogsTest, NamesJoinFolderMacAndTimeWithoutSeparator) {
  Name();
  const std::string folder = rig.dlg->settings.ToolFolderPath;
  EXPECT_EQ(logs().ProcessLogPath, folder + "001122AABBCC_Process_20261208093000.txt");
  EXPECT_EQ(logs().DataLogPath, folder + "001122AABBCC_Data_20261208093000.txt");
}

TEST_F(LogsTest, NormalModeKeepsOnlySystemLinesAndEveryCallPumps) {
  Name();
  const int64_t start = rig.clock.NowMs();
  logs().AppendProcessLog("Search Time: 3.0 s");
  logs().AppendProcessLog("[System]-Writing data");
  logs().AppendProcessLog("before [System] after");
  EXPECT_EQ(rig.clock.NowMs() - start, 300);
  EXPECT_EQ(rig.display.listLines, (std::vector<std::string>{"[System]-Writing data", "before [System] after"}));
  EXPECT_EQ(FileText(logs().ProcessLogPath), "[System]-Writing data\r\nbefore [System] after\r\n");
}

TEST_F(LogsTest, EngineeringModeKeepsEveryLine) {
  rig.dlg->settings.EngineeringMode = true;
  Name();
  logs().AppendProcessLog("SetPos(1)");
  logs().AppendProcessLog("");
  EXPECT_EQ(FileText(logs().ProcessLogPath), "SetPos(1)\r\n\r\n");
}

TEST_F(LogsTest, WithoutNamesLinesAreShownButNoFileIsWritten) {
  logs().AppendProcessLog("[System]-Initializing......");
  logs().AppendDataLog("nvram set qarvcfe0:pa2ga0=1");
  EXPECT_EQ(rig.display.listLines.size(), 1u);
  logs().ProcessLogPath = "notext";
  logs().AppendProcessLog("[System]-x");
  logs().ProcessLogPath = ".txt";  // ".txt" at position 0 does not count
  logs().AppendProcessLog("[System]-y");
  EXPECT_FALSE(platform::FileExists("notext"));
  EXPECT_FALSE(platform::FileExists(".txt"));
}

TEST_F(LogsTest, DataLogDropsTheCommandWordsEverywhereAndAppends) {
  Name();
  logs().AppendDataLog("nvram set qarvcfe0:pa2ga0=0x1");
  logs().AppendDataLog("ATE Set_Regrev_2G 12");
  logs().AppendDataLog("ATE Set_ATE Set_x nvram set qarvcfey");
  EXPECT_EQ(FileText(logs().DataLogPath), "0:pa2ga0=0x1\r\nRegrev_2G 12\r\nx y\r\n");
  EXPECT_TRUE(rig.display.listLines.empty());
}

TEST_F(LogsTest, SameNamesAppendToTheFirstRunsFiles) {
  Name();
  logs().AppendProcessLog("[System]-first");
  Name();
  logs().AppendProcessLog("[System]-second");
  EXPECT_EQ(FileText(logs().ProcessLogPath), "[System]-first\r\n[System]-second\r\n");
}

TEST_F(LogsTest, AnUnwritableLogLosesTheLineButNotTheList) {
  logs().ProcessLogPath = rig.folder + "/no-such-dir/x.txt";
  logs().AppendProcessLog("[System]-kept in the list");
  EXPECT_EQ(rig.display.listLines.size(), 1u);
}

TEST_F(LogsTest, PumpMessagesDispatchesOneMessagePerPass) {
  int dispatched = 0;
  for (int i = 0; i < 3; ++i) rig.clock.Post([&] { ++dispatched; });
  const int64_t start = rig.clock.NowMs();
  rig.dlg->waits.PumpMessages(0);
  EXPECT_EQ(dispatched, 1);
  EXPECT_EQ(rig.clock.NowMs(), start);
  rig.dlg->waits.PumpMessages(1);
  EXPECT_EQ(dispatched, 2);
  EXPECT_EQ(rig.clock.NowMs() - start, 100);
}

TEST_F(LogsTest, PumpingDelayWaitsTheTimeAndKeepsDispatching) {
  Waits& waits = rig.dlg->waits;
  EXPECT_EQ(waits.QpcReadCost, VirtualClock::kReadCostUs);
  const int64_t start = rig.clock.NowUs();
  waits.PumpingDelay(0);
  EXPECT_EQ(rig.clock.NowUs(), start);
  int dispatched = 0;
  for (int i = 0; i < 5; ++i) rig.clock.Post([&] { ++dispatched; });
  waits.PumpingDelay(1000);
  // Never early (the measured read cost aside), at most a millisecond late.
  EXPECT_GE(rig.clock.NowUs() - start, 1000000 - 2 * VirtualClock::kReadCostUs);
  EXPECT_LE(rig.clock.NowUs() - start, 1001000);
  EXPECT_EQ(dispatched, 5);
  EXPECT_EQ(rig.clock.pauses, (std::vector<int>{1000}));
}

// Between messages the pause sleeps instead of polling the counter, and a
// message that arrives meanwhile is dispatched when it arrives.
TEST_F(LogsTest, PumpingDelaySleepsUntilTheNextMessageOrItsEnd) {
  Waits& waits = rig.dlg->waits;
  struct Case {
    int pauseMs;
    int64_t messageAtMs;  // -1: no message during the pause
  };
  for (const Case& c : {Case{5000, -1}, Case{1000, 300}, Case{2000, 1999}}) {
    SCOPED_TRACE(c.pauseMs);
    const int64_t start = rig.clock.NowUs();
    int64_t dispatchedAtUs = -1;
    if (c.messageAtMs >= 0) {
      rig.clock.Schedule(c.messageAtMs * 1000, [&] { rig.clock.Post([&] { dispatchedAtUs = rig.clock.NowUs(); }); });
    }
    const int64_t readsBefore = rig.clock.counterReads;
    waits.PumpingDelay(c.pauseMs);
    const int64_t elapsedUs = rig.clock.NowUs() - start;
    EXPECT_GE(elapsedUs, c.pauseMs * 1000 - 2 * VirtualClock::kReadCostUs);
    EXPECT_LE(elapsedUs, c.pauseMs * 1000 + 1000);
    EXPECT_LE(rig.clock.counterReads - readsBefore, 10);
    if (c.messageAtMs >= 0) {
      EXPECT_GE(dispatchedAtUs - start, c.messageAtMs * 1000);
      EXPECT_LE(dispatchedAtUs - start, c.messageAtMs * 1000 + 2 * VirtualClock::kReadCostUs);
    }
  }
}

}  // namespace
}  // namespace ramtune::test
