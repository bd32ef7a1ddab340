// A stand-in for a program that Ramtune must, or must not, start (arp.exe,
// QARV_SSID.exe), planted under that name in a folder: every start appends
// its command line to "ran.txt" in its own folder and ends at once.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  if (n == 0 || n >= sizeof self) return 1;
  std::string record(self, n);
  record.erase(record.find_last_of('\\') + 1);
  record += "ran.txt";
  std::FILE* file = std::fopen(record.c_str(), "ab");
  if (file == nullptr) return 1;
  std::fprintf(file, "%s\r\n", GetCommandLineA());
  std::fclose(file);
  return 0;
}
