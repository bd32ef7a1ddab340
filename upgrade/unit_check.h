// A unit's values against a Data log's: what a check reads, how it compares
// and the table it shows. Nothing here writes to the unit.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "upgrade/data_log.h"
#include "upgrade/unit_reads.h"

namespace ramtune::upgrade {

// Twelve upper-case hex digits, or empty when `text` is not a MAC.
std::string NormalMac(const std::string& text);

// The name of an item (or of the model id, kModelItem) in the check's table.
std::string ItemName(size_t item);

// One value of the unit beside the Data log's.
struct CheckedValue {
  size_t item;           // an item's index, or kModelItem
  std::string where;     // DescribePlace of the read
  std::string logValue;  // the Data log's
  ReadValue unit;        // what the unit answered, with its defect under the value rule
  // Only a value the rule accepts can be the same: a unit that answers
  // nothing or something unusable never matches.
  bool Same() const { return unit.accepted() && unit.value == logValue; }
};

struct UnitCheck {
  std::vector<CheckedValue> values;      // in read order
  std::vector<std::string> information;  // reads shown, not compared ("clkfreq: 800,666")
  UnitReader::Versions versions;
  std::string searchMac;  // the MAC the unit answered the search under (as the link shows it)

  // The names of the items that differ, each once, in read order.
  std::vector<std::string> DifferingItems() const;
  // The unit's 2.4 GHz MAC (or, when it answered none, its search MAC)
  // against the Data log's, both as NormalMac.
  std::string UnitMac() const;
  std::string LogMac() const;
  bool OtherUnit() const { return UnitMac() != LogMac(); }
};

// Reads each of the 29 items and the model id where they are (the boot
// partition when `versions` says it holds the image's bootloader), leniently:
// a value that cannot be read or breaks the value rule is kept with its
// defect and the reads go on. On such a unit the board settings of the
// verification are read once for information.
UnitCheck ReadForCheck(UnitReader& reader, const DataLogValues& log, const UnitReader::Versions& versions,
                       const std::string& searchMac);

// The check's lines for the log list and the Process log, every one shown in
// normal mode: the Data log, both bootloader versions, another unit's MAC
// first, the differing items, then the table (differing rows first) and the
// reads for information.
std::vector<std::string> CheckLines(const UnitCheck& check, const std::string& dataLogPath);

}  // namespace ramtune::upgrade
