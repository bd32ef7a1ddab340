// Reading a Data log back: the values a restore run writes to a unit.
//
// The reader holds every value to the rule the backup keeps values by
// (ValueDefect): the values end up in commands on the router. Anything else
// is refused with the line it was found on and what is wrong with it.
#pragma once

#include <cstddef>
#include <string>

#include "upgrade/data_log.h"

namespace ramtune::upgrade {

// A larger file is not a Data log.
inline constexpr size_t kDataLogMaxBytes = 64 * 1024;

struct DataLogDefect {
  int line = 0;      // 1-based line number in the file; 0: the file as a whole
  std::string what;  // what is wrong, for a person
};

// Parses the text of a Data log: 30 lines in table order (DataLogLine for the
// 29 items, then ModelDataLogLine), each ended by CR LF or LF alone; the last
// line may lack its line end and blank lines after it are ignored. A file
// that holds more than one run (two runs started in the same second append
// to one file) is read from its last 30 lines; the lines before them must be
// runs cut short or complete. Line numbers in defects are those of the file.
// `out` changes only when the text is accepted.
bool ParseDataLog(const std::string& text, DataLogValues* out, DataLogDefect* defect);

// Reads and parses a file: refused when it cannot be read or is over 64 KiB.
bool ReadDataLog(const std::string& path, DataLogValues* out, DataLogDefect* defect);

// "<path>, line N: <what>", or "<path>: <what>" for line 0.
std::string DescribeDefect(const std::string& path, const DataLogDefect& defect);

}  // namespace ramtune::upgrade
