// Threads and locks on Windows: CreateThread and critical sections, both
// there since the first Win32 systems.
#include "platform/platform.h"

#include <windows.h>

#include <memory>
#include <new>

namespace ramtune::platform {
namespace {

DWORD WINAPI ThreadStart(void* parameter) {
  std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
  (*body)();
  return 0;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
  auto* handed = new std::function<void()>(std::move(body));
  HANDLE thread = CreateThread(nullptr, 0, ThreadStart, handed, 0, nullptr);
  if (thread == nullptr) {
    delete handed;
    return false;
  }
  CloseHandle(thread);  // detached: nobody waits for it
  return true;
}

static_assert(sizeof(CRITICAL_SECTION) <= 64 && alignof(CRITICAL_SECTION) <= 8,
              "Lock::storage_ does not fit a critical section");

Lock::Lock() { InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
Lock::~Lock() { DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void Lock::Acquire() { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void Lock::Release() { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

}  // namespace ramtune::platform
