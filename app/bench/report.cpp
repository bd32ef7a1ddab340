// The bench's report file: JSON, for the shop's own collection of reports.
#include <nlohmann/json.hpp>

#include "app/bench/bench.h"

namespace ramtune::bench {

std::string ReportJson(const std::vector<UnitRecord>& units, const std::vector<SkippedLink>& skipped,
                       const std::string& startTime, const std::string& endTime, int exitStatus) {
  nlohmann::ordered_json report;
  report["started"] = startTime;
  report["ended"] = endTime;
  report["exit_status"] = exitStatus;
  report["units"] = nlohmann::ordered_json::array();
  for (const UnitRecord& record : units) {
    nlohmann::ordered_json unit;
    unit["link"] = record.unit.link;
    unit["slot"] = record.unit.slot.empty() ? record.unit.link : record.unit.slot;
    unit["mac"] = record.unit.mac;
    unit["model"] = record.unit.model;
    unit["ip"] = record.unit.ip;
    unit["bootloader_before"] = record.blBefore;
    unit["bootloader_after"] = record.blAfter;
    unit["ending"] = EndingText(record);
    unit["exit_status"] = EffectiveStatus(record);
    unit["up_to_date"] = EffectiveStatus(record) == kStatusUpToDate;
    // Status 6 is a changed unit, whoever changed it.
    unit["unit_changed"] = record.changed || EffectiveStatus(record) == kStatusChanged;
    unit["started"] = record.startTime;
    unit["ended"] = record.endTime;
    unit["process_log"] = record.processLog;
    unit["data_log"] = record.dataLog;
    unit["restore_log"] = record.restoreLog;
    // The unit's state in the unit ledger; null when the ledger knows it not.
    unit["ledger_state"] = nlohmann::ordered_json();
    if (!record.ledgerState.empty()) unit["ledger_state"] = record.ledgerState;
    if (!record.checkedAgainst.empty()) {
      unit["checked_against"] = record.checkedAgainst;
      nlohmann::ordered_json differing = nlohmann::ordered_json::array();
      for (size_t start = 0; start < record.differing.size();) {
        const size_t comma = record.differing.find(", ", start);
        const size_t end = comma == std::string::npos ? record.differing.size() : comma;
        differing.push_back(record.differing.substr(start, end - start));
        start = end + 2;
      }
      unit["differing"] = differing;
    }
    report["units"].push_back(unit);
  }
  report["skipped"] = nlohmann::ordered_json::array();
  for (const SkippedLink& link : skipped) {
    report["skipped"].push_back({{"link", link.link}, {"reason", link.reason}, {"routers", link.routers}});
  }
  // Texts from a router are bytes, not always UTF-8: replaced, never thrown.
  return report.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace ramtune::bench
