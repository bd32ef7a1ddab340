#include <windows.h>

#include <string>

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

std::string PathInUtf8(const std::string& path) {
  const int wide = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  if (wide <= 0) return path;
  std::wstring text(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &text[0], wide);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return path;
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(bytes) - 1);  // without the terminating zero
  return utf8;
}

}  // namespace ramtune::platform
