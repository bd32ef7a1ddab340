#include "app/console/bench_lines.h"

#include <algorithm>
#include <cstdio>

#include "app/console/progress_line.h"

namespace ramtune::console {
namespace {

constexpr int kBarCells = 10;

std::string Padded(const std::string& text, size_t width) {
  return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

Colour EndingColourOf(const bench::UnitRecord& unit) {
  const int status = bench::EffectiveStatus(unit);
  if (status == bench::kStatusCompleted || status == bench::kStatusUpToDate) return Colour::Green;
  if (unit.StoppedByBench() && status != bench::kStatusChanged) return Colour::Yellow;
  return Colour::Red;
}

// The last field: the ending, or the time left of the wait under way.
std::string LastField(const bench::UnitRecord& unit, int64_t nowMs) {
  if (unit.Over()) return bench::EndingText(unit);
  const int64_t leftMs = unit.phaseMs + unit.countdownMs - nowMs;
  if (unit.Started() && unit.countdownMs > 0 && leftMs > 0) return std::to_string((leftMs + 999) / 1000) + " s left";
  return "";
}

}  // namespace

std::vector<std::string> UnitLines(const std::vector<bench::UnitRecord>& units, int64_t nowMs, int width,
                                   bool colour) {
  size_t columns[4] = {0, 0, 0, 0};
  auto phaseOf = [](const bench::UnitRecord& unit) { return unit.phase.empty() ? std::string("-") : unit.phase; };
  for (const bench::UnitRecord& unit : units) {
    columns[0] = std::max(columns[0], unit.unit.link.size());
    columns[1] = std::max(columns[1], unit.unit.mac.size());
    columns[2] = std::max(columns[2], unit.unit.model.size());
    columns[3] = std::max(columns[3], phaseOf(unit).size());
  }
  const size_t room = static_cast<size_t>(width > 1 ? width - 1 : 1);
  std::vector<std::string> lines;
  for (const bench::UnitRecord& unit : units) {
    const std::string head = Padded(unit.unit.link, columns[0]) + "  " + Padded(unit.unit.mac, columns[1]) + "  " +
                             Padded(unit.unit.model, columns[2]) + "  " + Padded(phaseOf(unit), columns[3]) + "  ";
    const int high = unit.progressHigh > 0 ? unit.progressHigh : 1;
    const std::string step = detail::Step(unit.progress, high);
    const std::string elapsed =
        unit.Started() ? ElapsedText((unit.Over() ? unit.endMs : nowMs) - unit.startMs) : std::string("-");
    const std::string last = LastField(unit, nowMs);
    const std::string tail = "  " + elapsed + (last.empty() ? "" : "  ");
    std::string line = head + detail::Bar(unit.progress, 0, high, kBarCells) + " " + step + tail;
    if (line.size() + last.size() > room) line = head + step + tail;
    if (line.size() + last.size() > room) {
      lines.push_back(FitToWidth(line + last, width));
    } else {
      const bool paint = colour && unit.Over() && !last.empty();
      lines.push_back(line + (paint ? Coloured(last, EndingColourOf(unit)) : last));
    }
  }
  return lines;
}

std::vector<std::string> StationLines(const std::vector<bench::SlotRecord>& slots,
                                      const bench::SessionCounts& counts, int64_t nowMs, int width, bool colour) {
  char rate[32] = "-";
  if (counts.perHour > 0) std::snprintf(rate, sizeof rate, "%.1f", counts.perHour);
  std::vector<std::string> lines = {FitToWidth(
      "Station: " + std::to_string(counts.completed) + " completed, " + std::to_string(counts.failed) + " failed, " +
          std::to_string(counts.unfinished) + " unfinished, " + std::to_string(counts.running) + " in progress, " +
          rate + " units/h",
      width)};
  size_t columns[2] = {0, 0};
  std::vector<bench::UnitRecord> drawn;  // the units of running and finished slots, drawn as a bench draws them
  for (const bench::SlotRecord& slot : slots) {
    columns[0] = std::max(columns[0], slot.name.size());
    columns[1] = std::max(columns[1], std::string(bench::SlotStateWords(slot.state)).size());
    if (slot.state != bench::SlotState::Running && slot.state != bench::SlotState::Finished) continue;
    drawn.push_back(slot.unit);
    drawn.back().unit.link.clear();
  }
  const size_t headWidth = columns[0] + columns[1] + 4;
  const int unitWidth = width > static_cast<int>(headWidth) ? width - static_cast<int>(headWidth) + 2 : 1;
  const std::vector<std::string> plain = UnitLines(drawn, nowMs, unitWidth, false);
  const std::vector<std::string> painted = UnitLines(drawn, nowMs, unitWidth, colour);
  size_t next = 0;
  for (const bench::SlotRecord& slot : slots) {
    const std::string head = Padded(slot.name, columns[0]) + "  " + Padded(bench::SlotStateWords(slot.state), columns[1]);
    if (slot.state != bench::SlotState::Running && slot.state != bench::SlotState::Finished) {
      std::string rest = slot.unit.unit.mac.empty() ? "-" : slot.unit.unit.mac + "  " + slot.unit.unit.model;
      if (!slot.note.empty()) rest += "  " + slot.note;
      lines.push_back(FitToWidth(head + "  " + rest, width));
      continue;
    }
    // UnitLines leaves the (empty) link column in front: two blanks.
    const std::string& unit = painted[next];
    const size_t shown = head.size() + plain[next].size();
    ++next;
    const bool noteFits = !slot.note.empty() && shown + 2 + slot.note.size() < static_cast<size_t>(width);
    lines.push_back(head + unit + (noteFits ? "  " + slot.note : ""));
  }
  return lines;
}

}  // namespace ramtune::console
