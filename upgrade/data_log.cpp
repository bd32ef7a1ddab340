#include "upgrade/data_log.h"

#include "core/text.h"
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

}  // namespace ramtune::upgrade
