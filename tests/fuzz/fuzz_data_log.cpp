// libFuzzer target: a Data log chosen for a restore run is untrusted. What
// the reader accepts must come back unchanged through the lines the program
// writes; what it refuses carries a reason and a line of the text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "upgrade/data_log_reader.h"

using namespace ramtune::upgrade;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  DataLogValues values;
  DataLogDefect defect;
  if (ParseDataLog(text, &values, &defect)) {
    if (defect.line != 0 || !defect.what.empty()) __builtin_trap();
    std::string written;
    for (const std::string& line : DataLogLines(values)) written += line + "\r\n";
    DataLogValues again;
    if (!ParseDataLog(written, &again, &defect)) __builtin_trap();
    if (again.Values != values.Values || again.ModelName != values.ModelName) __builtin_trap();
  } else {
    size_t lines = 1;
    for (char c : text) lines += c == '\n';
    if (defect.what.empty() || defect.line < 0 || static_cast<size_t>(defect.line) > lines + 1) __builtin_trap();
  }
  return 0;
}
