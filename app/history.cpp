#include "app/history.h"

#include <algorithm>

#include "platform/platform.h"

namespace ramtune {
namespace {

using upgrade::LedgerUnit;

// "20261208093000" as "2026-12-08 09:30:00" (a spreadsheet reads it as a
// time); other text as it is.
std::string ShownTime(const std::string& stamp) {
  if (stamp.size() != 14 || stamp.find_first_not_of("0123456789") != std::string::npos) return stamp;
  return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + " " + stamp.substr(8, 2) + ":" +
         stamp.substr(10, 2) + ":" + stamp.substr(12, 2);
}

// An open change: the unit was changed and no run has finished it since.
const char* ChangeWords(const LedgerUnit& unit) {
  return unit.state == upgrade::kStateChanged ? "open" : "closed";
}

std::string Status(const LedgerUnit& unit) {
  return unit.last.exitStatus < 0 ? std::string() : std::to_string(unit.last.exitStatus);
}

// A cell of the text table stays on its line.
std::string Cell(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  return text;
}

std::string CsvField(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string CsvRow(const std::vector<std::string>& fields) {
  std::string row;
  for (const std::string& field : fields) row += (row.empty() ? "" : ",") + CsvField(field);
  return row + "\r\n";
}

}  // namespace

bool ReadHistory(const std::string& path, std::vector<LedgerUnit>* units, std::string* error, bool everyRun) {
  units->clear();
  if (path.empty()) {
    *error = "This PC has no folder for the unit ledger; name the ledger's file with --ledger.";
    return false;
  }
  // Listing makes no ledger: a file that is not there holds no unit.
  if (!platform::FileExists(path)) return true;
  upgrade::Ledger ledger;
  if (ledger.Open(path) && ledger.History(units, everyRun)) return true;
  *error = ledger.Error();
  return false;
}

std::string HistoryText(const std::string& path, const std::vector<LedgerUnit>& units) {
  std::string text = "Unit ledger: " + path + "\n";
  if (units.empty()) return text + "No unit has been run on with this ledger.\n";
  std::vector<std::vector<std::string>> rows = {
      {"Last run", "MAC", "Model", "Mode", "Bootloader", "Outcome", "Change", "Data log", "SHA-256"}};
  for (const LedgerUnit& unit : units) {
    const upgrade::LedgerRun& run = unit.last;
    const std::string before = run.bootloaderBefore.empty() ? "?" : run.bootloaderBefore;
    const std::string after = run.bootloaderAfter.empty() ? "?" : run.bootloaderAfter;
    const std::string outcome = run.outcome.empty() ? "not ended" : run.outcome;
    const std::string status = Status(unit);
    rows.push_back({ShownTime(run.started), unit.mac, unit.model.empty() ? "?" : unit.model,
                    run.mode.empty() ? "-" : run.mode, before + " -> " + after,
                    status.empty() ? outcome : outcome + " (" + status + ")", ChangeWords(unit),
                    run.dataLog.empty() ? "-" : run.dataLog, run.dataLogSha256.empty() ? "-" : run.dataLogSha256});
  }
  std::vector<size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  }
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    text += Cell(line) + "\n";
  }
  return text;
}

std::string HistoryCsv(const std::vector<LedgerUnit>& units) {
  std::string csv = CsvRow({"started", "ended", "mac", "model", "mode", "session", "slot", "link",
                            "bootloader_before", "bootloader_after", "outcome", "exit_status", "state", "change",
                            "data_log", "data_log_sha256", "process_log", "other_macs"});
  for (const LedgerUnit& unit : units) {
    const upgrade::LedgerRun& run = unit.last;
    csv += CsvRow({ShownTime(run.started), ShownTime(run.ended), unit.mac, unit.model, run.mode,
                   ShownTime(run.session), run.slot, run.link, run.bootloaderBefore, run.bootloaderAfter,
                   run.outcome, Status(unit), unit.state, ChangeWords(unit), run.dataLog, run.dataLogSha256,
                   run.processLog, unit.otherMacs});
  }
  return csv;
}

}  // namespace ramtune
