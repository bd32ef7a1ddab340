// The system's own time as a Clock, for code that runs without a window
// (no messages to dispatch): a station's windowless run, real-socket tests.
#pragma once

#include <string>

#include "core/seams.h"
#include "platform/platform.h"

namespace ramtune {

class SystemTime : public Clock {
 public:
  int64_t PerformanceCounter() override { return platform::PerformanceCounter(); }
  int64_t PerformanceFrequency() override { return platform::PerformanceFrequency(); }
  int64_t ProcessClockMs() override { return platform::ProcessClockMs(); }
  void Sleep(int ms) override { platform::SleepMs(ms); }
  bool DispatchOneMessage() override { return false; }
  std::string LocalTimeStamp() override { return platform::LocalTimeStamp(); }
};

}  // namespace ramtune
