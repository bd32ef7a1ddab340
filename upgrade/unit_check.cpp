#include "upgrade/unit_check.h"

#include <algorithm>

#include "core/settings.h"
#include "core/text.h"
#include "upgrade/restore_verify_tables.h"

namespace ramtune::upgrade {
namespace {

// Long enough for the longest value of the table (83 characters).
constexpr size_t kShownLength = 100;

const char* const kCheckLine = "[System]-Check: ";
const char* const kTableLine = "[System]-  ";

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string UnitText(const ReadValue& read) {
  const std::string value = ShowText(read.value, kShownLength);
  return read.accepted() ? value : value + " [" + read.defect + "]";
}

}  // namespace

std::string NormalMac(const std::string& text) {
  link::MacAddress mac{};
  return link::ParseMacText(text, &mac) ? link::MacDigits(mac) : std::string();
}

std::string ItemName(size_t item) { return item < kModelItem ? kCalibrationItems[item].key : "model id"; }

std::vector<std::string> UnitCheck::DifferingItems() const {
  std::vector<std::string> names;
  for (const CheckedValue& value : values) {
    const std::string name = ItemName(value.item);
    if (!value.Same() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

std::string UnitCheck::UnitMac() const {
  for (const CheckedValue& value : values) {
    if (value.item == kMac2G && value.unit.accepted()) return NormalMac(value.unit.value);
  }
  return NormalMac(searchMac);
}

std::string UnitCheck::LogMac() const {
  for (const CheckedValue& value : values) {
    if (value.item == kMac2G) return NormalMac(value.logValue);
  }
  return "";
}

UnitCheck ReadForCheck(UnitReader& reader, const DataLogValues& log, const UnitReader::Versions& versions,
                       const std::string& searchMac) {
  UnitCheck check;
  check.versions = versions;
  check.searchMac = searchMac;
  const bool fromBootPartition = versions.imageInBootPartition;
  for (size_t item = 0; item <= kModelItem; ++item) {
    const std::string& logValue = item < kModelItem ? log.Values[item] : log.ModelName;
    for (const ReadPlace& place : ReadPlaces(item, fromBootPartition)) {
      check.values.push_back({item, DescribePlace(place), logValue, reader.Read(item, place)});
    }
  }
  if (!fromBootPartition) return check;
  for (const VerifyRow& row : kVerifyRows) {
    if (row.read != ReadFrom::Running) continue;
    const std::string expected = row.expect == Expect::ImageVersion ? kBootImageVersion : row.text;
    const std::string value = reader.Ask(std::string("nvram get ") + row.key, 1000);
    check.information.push_back(std::string("nvram get ") + row.key + ": " + ShowText(value) + " (the image's " +
                                expected + ")");
  }
  check.information.push_back("boot partition bl_version: " + ShowText(versions.bootPartition));
  return check;
}

std::vector<std::string> CheckLines(const UnitCheck& check, const std::string& dataLogPath) {
  std::vector<std::string> lines;
  const std::vector<std::string> differing = check.DifferingItems();
  lines.push_back(kCheckLine + std::string("the unit against the Data log ") + dataLogPath);
  lines.push_back(kCheckLine + std::string("bootloader running ") + ShowText(check.versions.running) +
                  ", boot partition " + ShowText(check.versions.bootPartition) +
                  (check.versions.imageInBootPartition ? ": the values are read from the boot partition"
                                                       : ": the values are read where the backup reads them"));
  if (check.OtherUnit()) {
    const std::string unitMac = check.UnitMac().empty() ? "unreadable" : check.UnitMac();
    lines.push_back(kCheckLine + std::string("this unit's 2.4 GHz MAC is ") + unitMac +
                    ", the Data log holds the values of the unit " + check.LogMac() +
                    " (another unit, or one whose values were wiped)");
  }
  if (differing.empty()) {
    lines.push_back(kCheckLine + std::string("all 29 items and the model id are the Data log's"));
  } else {
    std::string names;
    for (const std::string& name : differing) names += (names.empty() ? "" : ", ") + name;
    lines.push_back(kCheckLine + std::to_string(differing.size()) + " of 30 values differ: " + names);
  }

  // The differing rows first, each group in read order.
  std::vector<const CheckedValue*> rows;
  for (const CheckedValue& value : check.values) rows.push_back(&value);
  std::stable_partition(rows.begin(), rows.end(), [](const CheckedValue* row) { return !row->Same(); });
  size_t widths[4] = {4, 9, 8, 4};
  for (const CheckedValue* row : rows) {
    const std::string cells[4] = {ItemName(row->item), row->where, ShowText(row->logValue, kShownLength),
                                  UnitText(row->unit)};
    for (size_t c = 0; c < 4; ++c) widths[c] = std::max(widths[c], cells[c].size());
  }
  auto tableLine = [&](const std::string (&cells)[4], const char* verdict) {
    std::string line = kTableLine;
    for (size_t c = 0; c < 4; ++c) line += Padded(cells[c], widths[c]) + "  ";
    return line + verdict;
  };
  lines.push_back(tableLine({"item", "read from", "Data log", "unit"}, ""));
  for (const CheckedValue* row : rows) {
    lines.push_back(tableLine({ItemName(row->item), row->where, ShowText(row->logValue, kShownLength),
                               UnitText(row->unit)},
                              row->Same() ? "same" : "DIFFERENT"));
  }
  for (const std::string& info : check.information) lines.push_back(kCheckLine + std::string("for information, ") + info);
  return lines;
}

}  // namespace ramtune::upgrade
