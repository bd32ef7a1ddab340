// Clock, sleep and time stamp for Windows.
#include "platform/platform.h"

#include <windows.h>

#include <ctime>

namespace ramtune::platform {
namespace {

int64_t ReadCounter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// Taken while the program is loaded, so ProcessClockMs counts from the
// start of the process rather than from its first call.
const int64_t gProcessStartCounter = ReadCounter();

}  // namespace

int64_t PerformanceCounter() { return ReadCounter(); }

int64_t PerformanceFrequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

int64_t ProcessClockMs() {
  const int64_t elapsed = ReadCounter() - gProcessStartCounter;
  const int64_t frequency = PerformanceFrequency();
  // Split the division so that the multiplication cannot overflow.
  return elapsed / frequency * 1000 + elapsed % frequency * 1000 / frequency;
}

void SleepMs(int ms) { Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0); }

std::string LocalTimeStamp() {
  time_t now = time(nullptr);
  tm local{};
  localtime_s(&local, &now);
  char text[32];
  size_t n = strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
  return std::string(text, n);
}

}  // namespace ramtune::platform
