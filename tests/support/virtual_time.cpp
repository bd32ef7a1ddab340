#include "support/virtual_time.h"

namespace ramtune::test {

int64_t VirtualClock::PerformanceCounter() {
  ++counterReads;
  AdvanceTo(nowUs_ + kReadCostUs);
  return nowUs_;
}

bool VirtualClock::DispatchOneMessage() {
  if (messages_.empty()) return false;
  std::function<void()> message = std::move(messages_.front());
  messages_.pop_front();
  message();
  return true;
}

int VirtualClock::Schedule(int64_t delayUs, std::function<void()> what) {
  const int id = nextId_++;
  events_.emplace(nowUs_ + delayUs, std::make_pair(id, std::move(what)));
  return id;
}

void VirtualClock::Cancel(int id) {
  for (auto it = events_.begin(); it != events_.end(); ++it) {
    if (it->second.first == id) {
      events_.erase(it);
      return;
    }
  }
}

bool VirtualClock::RunFirstEventBy(int64_t targetUs) {
  if (events_.empty() || events_.begin()->first > targetUs) return false;
  auto first = events_.begin();
  if (first->first > nowUs_) nowUs_ = first->first;
  std::function<void()> what = std::move(first->second.second);
  events_.erase(first);
  what();
  return true;
}

void VirtualClock::AdvanceTo(int64_t targetUs) {
  while (RunFirstEventBy(targetUs)) {
  }
  if (targetUs > nowUs_) nowUs_ = targetUs;
}

void VirtualClock::WaitForMessage(int ms) {
  const int64_t targetUs = nowUs_ + static_cast<int64_t>(ms) * 1000;
  while (messages_.empty()) {
    if (!RunFirstEventBy(targetUs)) {
      if (targetUs > nowUs_) nowUs_ = targetUs;
      return;
    }
  }
}

bool VirtualClock::RunUntilIdle(int64_t limitMs) {
  const int64_t limitUs = limitMs * 1000;
  for (;;) {
    if (DispatchOneMessage()) continue;
    if (events_.empty()) return true;
    if (events_.begin()->first > limitUs) return false;
    AdvanceTo(events_.begin()->first);
  }
}

}  // namespace ramtune::test
