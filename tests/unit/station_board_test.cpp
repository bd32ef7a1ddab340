// The station window's model: slots from the PC's adapters, rows, counts,
// Start and Stop, and each row's menu.
#include <gtest/gtest.h>

#include "app/bench/station_board.h"

namespace ramtune::bench {
namespace {

TEST(StationBoard, EveryAdapterIsASlotKeyedByItsMac) {
  std::vector<platform::NetInterface> adapters(3);
  adapters[0] = {11, "USB Ethernet #2", "10.77.0.11", "255.255.255.0", true, true, "0050B6000002"};
  adapters[1] = {12, "USB Ethernet", "", "", true, false, "0050B6000001"};  // an empty port
  adapters[2] = {13, "Onboard", "192.168.1.20", "255.255.255.0", true, true, "D8BBC1000000"};
  // config.ini's keys as a technician types them; the Onboard adapter is not named.
  const std::vector<StationSlot> slots =
      StationSlots(adapters, {{"00-50-b6-00-00-01", "Port 1"}, {"00:50:B6:00:00:02", "Port 2"}});
  ASSERT_EQ(slots.size(), 3u);
  const struct {
    const char* name;
    const char* mac;
    const char* link;
    bool hasLink;
  } expected[] = {{"Port 2", "0050B6000002", "10.77.0.11", true},
                  {"Port 1", "0050B6000001", "USB Ethernet", false},
                  {"Onboard", "D8BBC1000000", "192.168.1.20", true}};
  for (size_t i = 0; i < slots.size(); ++i) {
    EXPECT_EQ(slots[i].name, expected[i].name) << i;
    EXPECT_EQ(slots[i].mac, expected[i].mac) << i;
    EXPECT_EQ(slots[i].link, expected[i].link) << i;
    EXPECT_EQ(slots[i].hasLink, expected[i].hasLink) << i;
  }
}

SlotRecord Slot(SlotState state, UnitLife life, int status, bool changed) {
  SlotRecord slot;
  slot.name = "Port 1";
  slot.state = state;
  slot.unit.unit.mac = "0050B6AA0001";
  slot.unit.unit.model = "LM-7210A";
  slot.unit.life = life;
  slot.unit.status = status;
  slot.unit.changed = changed;
  if (status >= 0) slot.unit.outcome = status == 0 ? upgrade::RunOutcome::Completed : upgrade::RunOutcome::Failed;
  slot.unit.phase = "rebooting";
  slot.unit.progress = 14;
  slot.unit.progressHigh = 20;
  slot.unit.startMs = 1000;
  slot.unit.endMs = 126000;
  slot.unit.processLog = "P.txt";
  slot.unit.dataLog = "D.txt";
  slot.unit.restoreLog = changed ? "D.txt" : "";
  return slot;
}

// Each row as the window draws it, and what its menu offers.
TEST(StationBoard, RowsTellStateProgressResultAndWhatTheMenuMayDo) {
  struct Case {
    const char* name;
    SlotRecord slot;
    const char* elapsed;
    const char* result;
    RowTone tone;
    bool restore;
    bool check;
  };
  SlotRecord waiting;
  waiting.name = "Port 2";
  const Case cases[] = {
      {"running", Slot(SlotState::Running, UnitLife::Running, -1, true), "1:59", "", RowTone::Plain, false, false},
      {"passed", Slot(SlotState::Finished, UnitLife::Ended, 0, false), "2:05", "PASS", RowTone::Pass, false, true},
      {"failed before any change", Slot(SlotState::Finished, UnitLife::Ended, 2, false), "2:05", "FAIL (2)",
       RowTone::Fail, false, true},
      {"left changed", Slot(SlotState::Finished, UnitLife::Ended, 6, true), "2:05", "FAIL, restore it (6)",
       RowTone::Unfinished, true, true},
      {"waiting, no unit", waiting, "", "", RowTone::Plain, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BoardRow row = BoardRows({c.slot}, 120000).at(0);
    EXPECT_EQ(row.slot, c.slot.name);
    EXPECT_EQ(row.state, SlotStateWords(c.slot.state));
    EXPECT_EQ(row.elapsed, c.elapsed);
    EXPECT_EQ(row.result, c.result);
    EXPECT_EQ(row.tone, c.tone);
    EXPECT_EQ(row.bar, c.slot.unit.Started());
    EXPECT_EQ(row.percent, row.bar ? 70 : 0);
    const RowMenu menu = MenuOf(c.slot);
    EXPECT_EQ(menu.restore, c.restore);
    EXPECT_EQ(menu.check, c.check);
    EXPECT_EQ(menu.processLog, !c.slot.unit.processLog.empty());
  }
  EXPECT_EQ(CountsLine(SessionCounts{3, 1, 0, 2, 14.2}),
            "3 completed, 1 failed, 0 unfinished, 2 running, 14.2 units per hour");
}

// Start, then Stop once (nothing new starts), then again (every run ends).
TEST(StationBoard, StopTakesTwoStepsAndStartComesBackWhenTheStationHasEnded) {
  StationStage stage = StationStage::Ready;
  EXPECT_TRUE(ControlsOf(stage).start && ControlsOf(stage).slotsTickable && !ControlsOf(stage).stop);
  EXPECT_EQ(AfterStop(stage), StationStage::Ready);
  stage = StationStage::Running;
  EXPECT_TRUE(!ControlsOf(stage).start && ControlsOf(stage).stop && !ControlsOf(stage).slotsTickable);
  stage = AfterStop(stage);
  EXPECT_EQ(stage, StationStage::Stopping);
  EXPECT_STREQ(ControlsOf(stage).stopText, "Stop now");
  stage = AfterStop(stage);
  EXPECT_EQ(stage, StationStage::Ending);
  EXPECT_FALSE(ControlsOf(stage).start || ControlsOf(stage).stop);
  EXPECT_EQ(AfterStop(stage), StationStage::Ending);
  EXPECT_TRUE(ControlsOf(StationStage::Ended).start);
}

}  // namespace
}  // namespace ramtune::bench
