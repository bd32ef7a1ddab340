// A 32-bit program with each fault the check of the binaries must find: an
// import from Vista (GetTickCount64), a newer-CRT function (strcpy_s), an
// import missing from the reviewed list (Beep), a subsystem version XP
// refuses (linked as 6.0) and, in faulty_probe.rc, a manifest naming amd64
// with a supportedOS entry. It is checked, never run.
#include <windows.h>

#include <cstddef>

extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64(void);
extern "C" __declspec(dllimport) int __cdecl strcpy_s(char* to, std::size_t size, const char* from);

int main() {
  char text[4];
  strcpy_s(text, sizeof text, "x");
  Beep(440, 1);
  return static_cast<int>(GetTickCount64() & 1) + text[0];
}
