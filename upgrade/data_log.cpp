#include "upgrade/data_log.h"

#include <algorithm>
#include <vector>

#include "core/text.h"
#include "link/packets.h"
#include "platform/platform.h"
#include "upgrade/data_log_reader.h"
#include "upgrade/restore_verify_tables.h"

namespace ramtune::upgrade {

namespace {

// The characters a value may hold: they pass a router's shell unquoted.
bool Allowed(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ':' || c == ',' ||
         c == '.' || c == '-' || c == '_';
}

std::string CharacterName(unsigned char c) {
  if (c == ' ') return "blank";
  if (c < 0x20 || c == 0x7f) return Format("control character 0x%02X", c);
  if (c >= 0x80) return Format("byte 0x%02X (not ASCII)", c);
  return Format("character '%c'", c);
}

std::string CharacterDefect(const std::string& value) {
  for (char c : value) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (!Allowed(u)) return CharacterName(u) + " not allowed in a value";
  }
  return std::string();
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

std::string MacDefect(const std::string& value) {
  bool wellFormed = value.size() == 17;
  for (size_t i = 0; wellFormed && i < value.size(); ++i) {
    wellFormed = i % 3 == 2 ? value[i] == ':' : IsHex(value[i]);
  }
  if (!wellFormed) return "not six hex pairs separated by ':'";
  if (value.find_first_not_of("0:") == std::string::npos) return "all-zero address";
  const char second = value[1];
  const int low = second >= '0' && second <= '9' ? second - '0' : (second | 0x20) - 'a' + 10;
  if (low & 1) return "multicast address (lowest bit of the first octet set)";
  return std::string();
}

}  // namespace

bool ValueLengthAccepted(const CalibrationItem& item, const std::string& value) {
  return item.atLeast ? value.size() >= item.length : value.size() == item.length;
}

std::string ValueDefect(size_t item, const std::string& value) {
  std::string what = CharacterDefect(value);
  if (!what.empty()) return what;
  if (!value.empty() && value[0] == '-') return "starts with '-', which a command takes for an option";
  const CalibrationItem& entry = kCalibrationItems[item];
  if (item == kMac2G || item == kMac5G) {
    what = MacDefect(value);
  } else if (!ValueLengthAccepted(entry, value)) {
    what = std::to_string(value.size()) + (value.size() == 1 ? " character" : " characters") +
           ", the backup accepts " + (entry.atLeast ? "at least " : "exactly ") + std::to_string(entry.length);
  }
  if (!what.empty()) return what;
  const size_t bytes = WriteCommand(item, value).size();
  if (bytes > link::kTextFieldSize) {
    return "its write-back command has " + std::to_string(bytes) + " bytes, a command carries at most " +
           std::to_string(link::kTextFieldSize);
  }
  return std::string();
}

std::string ModelNameDefect(const std::string& modelName) {
  const std::string what = CharacterDefect(modelName);
  if (!what.empty()) return what;
  std::string names;
  for (const char* name : kModelNames) {
    if (modelName == name) return std::string();
    names += names.empty() ? name : std::string(", ") + name;
  }
  return "unknown model name " + ShowText(modelName) + " (expected one of " + names + ")";
}

std::string ShowText(const std::string& text, size_t limit) {
  if (text.empty()) return "(empty)";
  std::string out;
  for (size_t i = 0; i < text.size() && i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    out += c >= 0x20 && c < 0x7f ? std::string(1, static_cast<char>(c)) : Format("\\x%02X", c);
  }
  if (text.size() > limit) out += "...";
  return out;
}

std::string WriteCommand(size_t item, const std::string& value) {
  return FillIn(kCalibrationItems[item].writeCommand, value);
}

std::string DataLogLine(size_t item, const std::string& value) { return DataLogLineOf(WriteCommand(item, value)); }

std::string ModelWriteCommand(const std::string& modelName) { return FillIn(kModelNameWrite, modelName); }

std::string ModelDataLogLine(const std::string& modelName) { return DataLogLineOf(ModelWriteCommand(modelName)); }

std::array<std::string, kDataLogLineCount> DataLogLines(const DataLogValues& values) {
  std::array<std::string, kDataLogLineCount> lines;
  for (size_t i = 0; i < kCalibrationItemCount; ++i) lines[i] = DataLogLine(i, values.Values[i]);
  lines[kCalibrationItemCount] = ModelDataLogLine(values.ModelName);
  return lines;
}

std::string CheckDataLogOnDisk(const std::string& path, const DataLogValues& values, bool restorable) {
  // What a restore reads back: a larger file could not be restored.
  constexpr size_t kReadLimit = kDataLogMaxBytes;
  std::string error;
  if (!platform::FlushToDisk(path, &error)) return error;
  std::string text;
  if (!platform::ReadFilePrefix(path, kReadLimit + 1, &text)) return "it cannot be read back";
  if (text.size() > kReadLimit) return "it is too large to be restored from";
  if (restorable) {
    DataLogValues read;
    DataLogDefect defect;
    if (!ParseDataLog(text, &read, &defect)) {
      return "a restore would refuse it" + (defect.line == 0 ? std::string() : Format(", line %d", defect.line)) +
             ": " + defect.what;
    }
    if (read.Values != values.Values || read.ModelName != values.ModelName) {
      return "a restore would read other values from it than this run read";
    }
  }
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start != text.size()) return "its last line is incomplete";
  const std::array<std::string, kDataLogLineCount> expected = DataLogLines(values);
  if (lines.size() < expected.size()) return "it holds fewer lines than the run wrote";
  if (!std::equal(expected.begin(), expected.end(), lines.end() - static_cast<long>(expected.size()))) {
    return "it does not hold the values this run read";
  }
  return "";
}

}  // namespace ramtune::upgrade
