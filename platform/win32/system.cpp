// Names, single-instance mutex, shared libraries, version and process end
// for Windows.
#include "platform/platform.h"

#include <windows.h>

#include <cstdio>

namespace ramtune::platform {

const char kPathSeparator = '\\';
const char* const kUploaderName = "curl.exe";
const char* const kEchoLibraryName = "Echomod.dll";
const char* const kMemberMarkerPath = "c:\\qarv_member.txt";

bool AnotherInstanceRunning(const std::string& name) {
  // The handle is never closed: the mutex lives as long as the process.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  return mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
}

bool LoadLibraryFrom(const std::string& folder, const std::string& fileName,
                     const char* firstSymbol, const char* secondSymbol, LoadedLibrary* out) {
  *out = LoadedLibrary{};
  // A bare file name would go through the system's search, current
  // directory included: refuse it.
  if (folder.empty() || fileName.empty()) return false;
  std::string path = folder;
  if (path.back() != '\\' && path.back() != '/') path += '\\';
  path += fileName;
  // LOAD_WITH_ALTERED_SEARCH_PATH needs a full path; it then also resolves
  // the library's own imports from its folder rather than from ours.
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n >= sizeof full) return false;
  HMODULE module = LoadLibraryExA(full, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr) return false;
  out->handle = reinterpret_cast<void*>(module);
  out->first = firstSymbol != nullptr ? reinterpret_cast<void*>(GetProcAddress(module, firstSymbol))
                                      : nullptr;
  out->second = secondSymbol != nullptr
                    ? reinterpret_cast<void*>(GetProcAddress(module, secondSymbol))
                    : nullptr;
  return true;
}

OsVersion QueryOsVersion() {
  OsVersion v;
  OSVERSIONINFOA info{};
  static_assert(sizeof info == 148, "OSVERSIONINFOA is 148 bytes");
  info.dwOSVersionInfoSize = sizeof info;
  // GetVersionExA is deprecated in newer SDKs, but it is the call whose
  // answer the version gate is defined by.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  BOOL ok = GetVersionExA(&info);
#pragma GCC diagnostic pop
  if (!ok) return v;
  v.platformId = info.dwPlatformId;
  v.major = info.dwMajorVersion;
  v.minor = info.dwMinorVersion;
  info.szCSDVersion[sizeof info.szCSDVersion - 1] = '\0';
  v.servicePack = info.szCSDVersion;
  return v;
}

[[noreturn]] void ExitProcess(int code) {
  std::fflush(nullptr);
  ::ExitProcess(static_cast<UINT>(code));
}

}  // namespace ramtune::platform
