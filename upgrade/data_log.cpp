#include "upgrade/data_log.h"

#include <algorithm>
#include <vector>

#include "core/text.h"
#include "platform/platform.h"
#include "upgrade/data_log_reader.h"
#include "upgrade/restore_verify_tables.h"

namespace ramtune::upgrade {

bool ValueLengthAccepted(const CalibrationItem& item, const std::string& value) {
  return item.atLeast ? value.size() >= item.length : value.size() == item.length;
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

std::string CheckDataLogOnDisk(const std::string& path, const DataLogValues& values) {
  // What a restore reads back: a larger file could not be restored.
  constexpr size_t kReadLimit = kDataLogMaxBytes;
  std::string error;
  if (!platform::FlushToDisk(path, &error)) return error;
  std::string text;
  if (!platform::ReadFilePrefix(path, kReadLimit + 1, &text)) return "it cannot be read back";
  if (text.size() > kReadLimit) return "it is too large to be restored from";
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
