// The window timers of a front end without a window: each repeats with its
// period until it is killed, and the earliest due one goes first, as
// WM_TIMER does. Plain logic: the caller gives the time.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>

namespace ramtune {

class TimerQueue {
 public:
  void Set(int id, int periodMs, int64_t nowMs) { timers_[id] = Timer{periodMs, nowMs + periodMs}; }
  void Kill(int id) { timers_.erase(id); }
  bool Empty() const { return timers_.empty(); }

  // The earliest timer due at `nowMs`, armed again for its next period;
  // false when none is due.
  bool TakeDue(int64_t nowMs, int* id) {
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.dueMs <= nowMs && (due == timers_.end() || it->second.dueMs < due->second.dueMs)) due = it;
    }
    if (due == timers_.end()) return false;
    due->second.dueMs = nowMs + due->second.periodMs;
    *id = due->first;
    return true;
  }

  // Milliseconds until the next timer is due (0 when one is); -1 when there is none.
  int MsToNext(int64_t nowMs) const {
    if (timers_.empty()) return -1;
    int64_t earliest = timers_.begin()->second.dueMs;
    for (const auto& entry : timers_) earliest = std::min(earliest, entry.second.dueMs);
    return earliest <= nowMs ? 0 : static_cast<int>(earliest - nowMs);
  }

 private:
  struct Timer {
    int periodMs;
    int64_t dueMs;
  };
  std::map<int, Timer> timers_;
};

}  // namespace ramtune
