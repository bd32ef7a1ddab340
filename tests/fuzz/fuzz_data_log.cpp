// libFuzzer target: a Data log chosen for a restore run is untrusted. What
// the reader accepts must come back unchanged through the lines the program
// writes; what it refuses carries a reason and a line of the text. And the
// other way round: values that the backup's rule accepts, written as the
// backup writes them, are read back to the same values.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/logs.h"
#include "upgrade/data_log_reader.h"

using namespace ramtune::upgrade;

namespace {

bool Same(const DataLogValues& a, const DataLogValues& b) { return a.Values == b.Values && a.ModelName == b.ModelName; }

// Plausible values, for the items whose value the input does not give.
DataLogValues Defaults() {
  DataLogValues v;
  v.Values[kMac2G] = "00:11:22:AA:BB:CC";
  v.Values[kMac5G] = "00:11:22:AA:BB:CD";
  v.Values[kCcode2G] = v.Values[kCcode5G] = "US";
  v.Values[kRegrev2G] = v.Values[kRegrev5G] = "0";
  v.Values[kWpsPin] = "12345670";
  for (size_t i = kPa2ga0; i < kCalibrationItemCount; ++i) v.Values[i] = std::string(kCalibrationItems[i].length, 'f');
  v.ModelName = "LM-7210A";
  return v;
}

// Line i of the input is the value of item i (the model name after the 29
// items); each one the rule refuses keeps its default, as the backup would
// never keep it.
void RoundTripOfAcceptedValues(const std::string& text) {
  DataLogValues values = Defaults();
  size_t at = 0;
  for (size_t i = 0; i < kDataLogLineCount && at <= text.size(); ++i) {
    const size_t end = text.find('\n', at);
    const std::string field = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() + 1 : end + 1;
    if (i < kCalibrationItemCount && ValueAccepted(i, field)) values.Values[i] = field;
    if (i == kCalibrationItemCount && ModelNameDefect(field).empty()) values.ModelName = field;
  }
  // What the backup hands to the Data log, one line each, ended by CR LF.
  std::string written;
  for (size_t i = 0; i < kCalibrationItemCount; ++i) {
    written += ramtune::DataLogLineOf(WriteCommand(i, values.Values[i])) + "\r\n";
  }
  written += ramtune::DataLogLineOf(ModelWriteCommand(values.ModelName)) + "\r\n";
  DataLogValues read;
  DataLogDefect defect;
  if (!ParseDataLog(written, &read, &defect) || !Same(read, values)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RoundTripOfAcceptedValues(text);
  DataLogValues values;
  DataLogDefect defect;
  if (ParseDataLog(text, &values, &defect)) {
    if (defect.line != 0 || !defect.what.empty()) __builtin_trap();
    std::string written;
    for (const std::string& line : DataLogLines(values)) written += line + "\r\n";
    DataLogValues again;
    if (!ParseDataLog(written, &again, &defect)) __builtin_trap();
    if (!Same(again, values)) __builtin_trap();
  } else {
    size_t lines = 1;
    for (char c : text) lines += c == '\n';
    if (defect.line < 0 || static_cast<size_t>(defect.line) > lines + 1 || defect.what.empty()) __builtin_trap();
  }
  return 0;
}
