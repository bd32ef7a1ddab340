#include "app/bench/station_board.h"

#include <cctype>
#include <cstdio>

namespace ramtune::bench {
namespace {

// Only the hex digits, in upper case: "00-11-22-aa-bb-cc" as "001122AABBCC".
std::string MacKey(const std::string& text) {
  std::string key;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)) != 0) key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return key;
}

RowTone ToneOf(const UnitRecord& unit) {
  if (!unit.Over()) return RowTone::Plain;
  const int status = EffectiveStatus(unit);
  if (status == kStatusCompleted || status == kStatusUpToDate) return RowTone::Pass;
  return status == kStatusChanged ? RowTone::Unfinished : RowTone::Fail;
}

bool UnitBusy(SlotState state) { return state == SlotState::Starting || state == SlotState::Running; }

}  // namespace

std::vector<StationSlot> StationSlots(const std::vector<platform::NetInterface>& adapters,
                                      const std::map<std::string, std::string>& names) {
  std::map<std::string, std::string> byKey;
  for (const auto& [mac, name] : names) byKey[MacKey(mac)] = name;
  std::vector<StationSlot> slots;
  for (const platform::NetInterface& adapter : adapters) {
    StationSlot slot;
    slot.mac = MacKey(adapter.mac);
    const auto named = byKey.find(slot.mac);
    slot.name = named != byKey.end() && !slot.mac.empty() ? named->second : adapter.name;
    slot.link = adapter.address.empty() ? adapter.name : adapter.address;
    slot.hasLink = adapter.hasLink;
    slots.push_back(slot);
  }
  return slots;
}

std::vector<BoardRow> BoardRows(const std::vector<SlotRecord>& slots, int64_t nowMs) {
  std::vector<BoardRow> rows;
  for (const SlotRecord& slot : slots) {
    const UnitRecord& unit = slot.unit;
    BoardRow row;
    row.slot = slot.name;
    row.state = SlotStateWords(slot.state);
    row.mac = unit.unit.mac;
    row.model = unit.unit.model;
    if (unit.Started()) {
      row.phase = unit.phase;
      row.elapsed = ElapsedText((unit.Over() ? unit.endMs : nowMs) - unit.startMs);
      row.bar = true;
      const int high = unit.progressHigh > 0 ? unit.progressHigh : 1;
      row.percent = unit.progress <= 0 ? 0 : unit.progress >= high ? 100 : unit.progress * 100 / high;
    }
    row.result = unit.Over() ? EndingText(unit) : std::string();
    if (!slot.note.empty()) row.result += (row.result.empty() ? "" : ": ") + slot.note;
    row.tone = ToneOf(unit);
    rows.push_back(row);
  }
  return rows;
}

std::string CountsLine(const SessionCounts& counts) {
  char rate[32] = "-";
  if (counts.perHour > 0) std::snprintf(rate, sizeof rate, "%.1f", counts.perHour);
  return std::to_string(counts.completed) + " completed, " + std::to_string(counts.failed) + " failed, " +
         std::to_string(counts.unfinished) + " unfinished, " + std::to_string(counts.running) + " running, " + rate +
         " units per hour";
}

Controls ControlsOf(StationStage stage) {
  Controls controls;
  switch (stage) {
    case StationStage::Ready:
    case StationStage::Ended:
      controls.start = true;
      controls.slotsTickable = true;
      break;
    case StationStage::Running:
      controls.stop = true;
      break;
    case StationStage::Stopping:
      controls.stop = true;
      controls.stopText = "Stop now";
      break;
    case StationStage::Ending:
      break;
  }
  return controls;
}

StationStage AfterStop(StationStage stage) {
  if (stage == StationStage::Running) return StationStage::Stopping;
  if (stage == StationStage::Stopping) return StationStage::Ending;
  return stage;
}

RowMenu MenuOf(const SlotRecord& slot) {
  const UnitRecord& unit = slot.unit;
  RowMenu menu;
  menu.processLog = !unit.processLog.empty();
  menu.dataLog = !unit.dataLog.empty();
  const bool idle = !UnitBusy(slot.state) && slot.state != SlotState::Closed && !unit.unit.mac.empty();
  menu.restore = idle && unit.changed && !unit.restoreLog.empty();
  menu.check = idle && !(unit.dataLog.empty() && unit.restoreLog.empty());
  return menu;
}

std::string StationRefusal(const platform::OsVersion& version, const std::vector<platform::NetInterface>& adapters) {
  constexpr unsigned kWindowsNt = 2;  // VER_PLATFORM_WIN32_NT; Vista is 6.0
  if (version.platformId != kWindowsNt || version.major >= 6) return "";
  std::string linked;
  int count = 0;
  for (const platform::NetInterface& adapter : adapters) {
    if (!adapter.hasLink) continue;
    linked += "\n  " + adapter.name + (adapter.address.empty() ? "" : " (" + adapter.address + ")");
    ++count;
  }
  if (count <= 1) return "";
  return "This PC runs Windows XP, which cannot send a unit's traffic through a chosen network adapter, and " +
         std::to_string(count) + " adapters have a link:" + linked +
         "\n\nOn Windows XP the station works with one adapter that has a link: unplug the others' cables (or "
         "switch them off) and start it again. Windows Vista, 7, 8 and 10 run every slot at once.";
}

}  // namespace ramtune::bench
