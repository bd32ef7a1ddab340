// The system's message text for a Win32 error code. Internal to platform/win32.
#pragma once

#include <windows.h>

#include <string>

namespace ramtune::platform {

// The text FormatMessage gives for `code`, without its line end.
inline std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
      nullptr);
  std::string message = (n != 0 && text != nullptr) ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  if (message.empty()) message = "system error " + std::to_string(code);
  return message;
}

}  // namespace ramtune::platform
