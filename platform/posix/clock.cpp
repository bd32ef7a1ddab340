// Clock, sleep and time stamp for POSIX systems.
#include "platform/platform.h"

#include <time.h>

#include <cerrno>

namespace ramtune::platform {
namespace {

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Taken while the program is loaded, so ProcessClockMs counts from the
// start of the process rather than from its first call.
const int64_t gProcessStartNs = MonotonicNs();

}  // namespace

int64_t PerformanceCounter() { return MonotonicNs(); }

int64_t PerformanceFrequency() { return 1000000000; }

int64_t ProcessClockMs() { return (MonotonicNs() - gProcessStartNs) / 1000000; }

void SleepMs(int ms) {
  if (ms <= 0) return;
  timespec request{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  // nanosleep is cut short by signals; go on sleeping for what remains.
  while (nanosleep(&request, &request) != 0 && errno == EINTR) {
  }
}

std::string LocalTimeStamp() {
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char text[32];
  size_t n = strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
  return std::string(text, n);
}

}  // namespace ramtune::platform
