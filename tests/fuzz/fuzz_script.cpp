// libFuzzer target: script files are untrusted. Every command must be a line
// of the file: no line feed inside, and found in the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/script_runner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (const std::string& command : ramtune::SplitScript(text)) {
    if (command.find('\n') != std::string::npos) __builtin_trap();
    if (text.find(command) == std::string::npos) __builtin_trap();
    if (!command.empty() && command[0] == ';') __builtin_trap();
  }
  return 0;
}
