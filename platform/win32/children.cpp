// The runs of a bench are a Linux console feature: on Windows nothing of it
// starts, and the checks say so.
#include "platform/platform.h"

namespace ramtune::platform {

bool CanTieSocketToDevice(const std::string&, std::string* error) {
  if (error != nullptr) *error = "not available on Windows";
  return false;
}

bool StartChildInGroup(const std::string&, const ChildArguments&, ChildProcess* out, std::string* error) {
  *out = ChildProcess{};
  if (error != nullptr) *error = "not available on Windows";
  return false;
}

bool ReadPipe(intptr_t*, std::string*) { return false; }
void ClosePipe(intptr_t* fd) { *fd = -1; }
void WaitForPipes(const std::vector<intptr_t>&, int timeoutMs) { SleepMs(timeoutMs); }
bool ChildEnded(ChildProcess*, int*, int*) { return false; }
void SignalChild(const ChildProcess&, ChildSignal) {}
bool WriteAll(intptr_t, const std::string&) { return false; }
void CatchInterrupts() {}
void ReleaseInterrupts() {}
int InterruptCount() { return 0; }
bool TerminationRequested() { return false; }
bool OpenParentChannel(const std::string&, intptr_t*, std::string* error) {
  if (error != nullptr) *error = "not available on Windows";
  return false;
}
bool StopRequested() { return false; }

}  // namespace ramtune::platform
