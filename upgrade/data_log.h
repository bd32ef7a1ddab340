// The Data log: the owner's copy of a unit's values, one line per value in
// the order of the item table, then the model name. Each line is the item's
// write-back command without its command words ("MacAddr_2G 00:11:...",
// "0:pa2ga0=...", "odmpid=LM-7210A"), ended by CR LF.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "core/logs.h"
#include "upgrade/calibration_items.h"

namespace ramtune::upgrade {

// The 29 items and the model name.
inline constexpr size_t kDataLogLineCount = kCalibrationItemCount + 1;

// The values a Data log holds.
struct DataLogValues {
  std::array<std::string, kCalibrationItemCount> Values;
  std::string ModelName;
};

// Whether the backup accepts `value` for `item`: its length rule.
bool ValueLengthAccepted(const CalibrationItem& item, const std::string& value);

// The write-back command of an item's value, and its Data log line.
std::string WriteCommand(size_t item, const std::string& value);
std::string DataLogLine(size_t item, const std::string& value);
// The model name's write-back command and Data log line.
std::string ModelWriteCommand(const std::string& modelName);
std::string ModelDataLogLine(const std::string& modelName);
// Every line of a complete Data log, in file order.
std::array<std::string, kDataLogLineCount> DataLogLines(const DataLogValues& values);

// Puts the Data log at `path` on the disk and reads it back. Empty when its
// last lines are those of `values` (the lines before them belong to a run
// that started in the same second), else why not.
std::string CheckDataLogOnDisk(const std::string& path, const DataLogValues& values);

}  // namespace ramtune::upgrade
