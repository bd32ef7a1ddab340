// The progress of a search or run as the console shows it: one scrolled
// line per step when the output is not a terminal, otherwise one line at the
// bottom, redrawn, with the phase, the elapsed time and the countdown. Plain
// text handling only: what goes in the line is a function of what the core
// told and of the time and width given.
#pragma once

#include <cstdint>
#include <string>

#include "app/bench/bench.h"
#include "app/console/terminal.h"
#include "core/seams.h"

namespace ramtune::console {

namespace detail {

// "[######------]" with `cells` cells, filled in the share of low..high that
// `position` has reached.
inline std::string Bar(int position, int low, int high, int cells) {
  const int shown = position < low ? low : position > high ? high : position;
  const int filled = static_cast<int>(static_cast<int64_t>(shown - low) * cells / (high - low));
  return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(cells - filled), '-') +
         "]";
}

// " 6/20": the position right-aligned to the width of the end.
inline std::string Step(int position, int high) {
  const std::string number = std::to_string(position);
  const std::string total = std::to_string(high);
  return std::string(number.size() < total.size() ? total.size() - number.size() : 0, ' ') + number + "/" + total;
}

}  // namespace detail

// "[######--------------]  6/20" for a position in low..high.
inline std::string ProgressBar(int position, int low, int high) {
  if (high <= low) high = low + 1;
  return detail::Bar(position, low, high, high - low) + " " + detail::Step(position, high);
}

// What the bottom line knows of the search or run it shows.
struct RunView {
  int position = 0;
  int low = 0;
  int high = 20;
  bool phaseKnown = false;
  RunPhase phase = RunPhase::Searching;
  bool running = false;    // the clock runs; it stops when the run or the series ends
  int64_t startMs = 0;     // the first phase after the clock was stopped
  int64_t stopMs = 0;
  int64_t phaseStartMs = 0;
  int countdownMs = 0;     // the fixed wait that started with the phase

  void SetPhase(RunPhase next, int countdown, int64_t nowMs) {
    if (!running) {
      running = true;
      startMs = nowMs;
    }
    if (phaseKnown && next == phase && countdown == 0) return;  // the same phase goes on
    phaseKnown = true;
    phase = next;
    phaseStartMs = nowMs;
    countdownMs = countdown;
  }

  void Stop(int64_t nowMs) {
    if (!running) return;
    running = false;
    stopMs = nowMs;
  }
};

// "m:ss"
using bench::ElapsedText;

// The bottom line at `nowMs` for a terminal of `width` columns:
//   "[######--------------]  6/20  rebooting  2:41  35 s left"
// When it does not fit, the bar gets fewer cells; below kMinBarCells it is
// left out, and what remains is cut to the width.
inline constexpr int kMinBarCells = 5;
inline std::string ProgressLine(const RunView& view, int64_t nowMs, int width) {
  const int high = view.high > view.low ? view.high : view.low + 1;
  std::string tail = " " + detail::Step(view.position, high);
  if (view.phaseKnown) {
    tail += std::string("  ") + RunPhaseWords(view.phase) + "  " +
            ElapsedText((view.running ? nowMs : view.stopMs) - view.startMs);
    const int64_t leftMs = view.phaseStartMs + view.countdownMs - nowMs;
    if (view.running && view.countdownMs > 0 && leftMs > 0) {
      tail += "  " + std::to_string((leftMs + 999) / 1000) + " s left";
    }
  }
  const int room = width - 1;
  const int fullCells = high - view.low;
  const int spare = room - 2 - static_cast<int>(tail.size());
  const int cells = spare < fullCells ? spare : fullCells;
  if (cells < kMinBarCells) return FitToWidth(tail.substr(1), width);
  return detail::Bar(view.position, view.low, high, cells) + tail;
}

}  // namespace ramtune::console
