#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/system_message.h"

namespace ramtune::platform {

intptr_t TryLockFile(const std::string& path, bool* busy, std::string* error) {
  *busy = false;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = SystemMessage(GetLastError());
    return -1;
  }
  // A lock of the first byte, refused to every other handle (also one of
  // this process); the system drops it when the process ends.
  OVERLAPPED at = {};
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD code = GetLastError();
    *busy = code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING;
    *error = SystemMessage(code);
    CloseHandle(file);
    return -1;
  }
  return reinterpret_cast<intptr_t>(file);
}

void ReleaseFileLock(intptr_t lock) {
  if (lock != -1) CloseHandle(reinterpret_cast<HANDLE>(lock));
}

}  // namespace ramtune::platform
