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

// The model names the backup can settle on, in the order it looks for them.
inline constexpr const char* kModelNames[] = {"QARV", "LM-7210B", "LM-7210A"};

// Whether `value` has the number of characters `item` requires.
bool ValueLengthAccepted(const CalibrationItem& item, const std::string& value);

// The one rule for what a per-unit value may be: the backup keeps nothing
// else, the Data log check before the flash and the restore reader hold the
// file to it. A value ends up in a command line on the router, so it holds
// letters, digits and the separators the items use (": , . - _") and does
// not start with '-' (a command would take it for an option); it has its
// item's length, a MAC is unicast and not all zero, and the value's
// write-back command fits the text field of one command request.
// Empty when `value` is accepted for `item`, else what is wrong, for a person.
std::string ValueDefect(size_t item, const std::string& value);
inline bool ValueAccepted(size_t item, const std::string& value) { return ValueDefect(item, value).empty(); }
// The same for the model name: one of kModelNames.
std::string ModelNameDefect(const std::string& modelName);

// Text from a file or a reply, made safe to show: bytes outside printable
// ASCII as \xNN, cut after `limit` characters; "(empty)" for the empty text.
std::string ShowText(const std::string& text, size_t limit = 40);

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
// that started in the same second) and, when the file is to be `restorable`,
// the restore reader accepts it and reads `values` from it; else why not.
std::string CheckDataLogOnDisk(const std::string& path, const DataLogValues& values, bool restorable);

}  // namespace ramtune::upgrade
