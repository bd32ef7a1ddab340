// Virtual time for the unit tests: a clock that only moves when the program
// waits, an event queue for things that happen later (router answers, timer
// messages) and a message queue that DispatchOneMessage drains.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <deque>
#include <string>
#include <vector>

#include "core/seams.h"

namespace ramtune::test {

class VirtualClock : public Clock {
 public:
  // One counter read costs this much virtual time.
  static constexpr int64_t kReadCostUs = 100;

  int64_t PerformanceCounter() override;
  int64_t PerformanceFrequency() override { return 1000000; }
  int64_t ProcessClockMs() override { return nowUs_ / 1000; }
  void Sleep(int ms) override { AdvanceTo(nowUs_ + static_cast<int64_t>(ms) * 1000); }
  bool DispatchOneMessage() override;
  // Runs the events due within ms, one by one, until one of them queues a
  // message.
  void WaitForMessage(int ms) override;
  std::string LocalTimeStamp() override { return timeStamp; }
  void NotePause(int ms) override { pauses.push_back(ms); }

  int64_t NowUs() const { return nowUs_; }
  int64_t NowMs() const { return nowUs_ / 1000; }

  // Runs `what` once virtual time reaches now + delayMs. Returns an id.
  int Schedule(int64_t delayUs, std::function<void()> what);
  void Cancel(int id);
  // Queues a window message; DispatchOneMessage runs it.
  void Post(std::function<void()> message) { messages_.push_back(std::move(message)); }
  // Runs messages and events until none is left or `until` says stop.
  // Returns false when the time limit was reached first.
  bool RunUntilIdle(int64_t limitMs = 3600 * 1000);

  std::string timeStamp = "20261208093000";
  std::vector<int> pauses;  // every PumpingDelay, in order
  int64_t counterReads = 0;  // PerformanceCounter calls so far

 private:
  void AdvanceTo(int64_t targetUs);
  // Runs the first event if it is due by targetUs; false when none is.
  bool RunFirstEventBy(int64_t targetUs);

  int64_t nowUs_ = 0;
  int nextId_ = 1;
  std::multimap<int64_t, std::pair<int, std::function<void()>>> events_;
  std::deque<std::function<void()>> messages_;
};

}  // namespace ramtune::test
