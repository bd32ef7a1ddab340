// Reboot after the write-back, the fixed wait while the router restarts, and
// the reconnection: readiness polls, the SSID tool for a PC on Wi-Fi, and the
// search that finds the router again.
#include "core/text.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {
namespace {

// One row of the reboot countdown, done in field order. The run's unit
// keeps its address through it: an answer of another router during the wait
// moves neither the upload nor the requests.
struct CountdownRow {
  const char* line;  // or nullptr
  int positions[2];  // progress positions, 0 for none
  int pauseMs;       // 0 for none
};

// The pauses add up to 65 s.
constexpr CountdownRow kCountdown[] = {
    {nullptr, {6, 0}, 5500},
    {"[System]-Please wait...1", {7, 0}, 5500},
    {"[System]-Please wait...2", {8, 0}, 5500},
    {"[System]-Please wait...3", {9, 0}, 3500},
    {nullptr, {10, 0}, 3000},
    {"[System]-Please wait...4", {0, 0}, 6000},
    {"[System]-Please wait...5", {0, 0}, 6000},
    {"[System]-Please wait...6", {11, 0}, 5000},
    {"[System]-Please wait...7", {0, 0}, 5000},
    {"[System]-Please wait...8", {0, 0}, 5000},
    {"[System]-Please wait...9", {12, 0}, 5000},
    {"[System]-Please wait...10", {0, 0}, 5000},
    {"[System]-Please wait...11", {0, 0}, 5000},
    {"[System]-Please wait...12", {13, 14}, 0},
};

const char* const kWifiHint =
    "Unable to connect to the LM-7210A/LM-7210B!!\nIf you updated the bootloader wirelessly, "
    "please manually connect to LM-7210A/LM-7210B WiFi network now.";

constexpr int kSearchRounds = 70;

constexpr int CountdownMs() {
  int total = 0;
  for (const CountdownRow& row : kCountdown) total += row.pauseMs;
  return total;
}

}  // namespace

bool UpgradeRun::RebootAndReconnect() {
  Log(">> Reboot Device...Please Wait...");
  Send("reboot", 500);
  Log("[System]-Rebooting LM-7210A/LM-7210B...");
  EnterPhase(RunPhase::Rebooting, CountdownMs());

  for (const CountdownRow& row : kCountdown) {
    if (row.line != nullptr) Log(row.line);
    for (int position : row.positions) {
      if (position != 0) SetProgress(position);
    }
    if (row.pauseMs != 0) s_.waits.PumpingDelay(row.pauseMs);
  }

  // Neither poll decides anything; the poll after the search does.
  if (!WaitUntilReady(5, "FwReadyStatus:")) {
    Log(s_.runner.RunSsidTool("/SET", 5000) ? "Exec QARV_SSID SET Success"
                                            : "Exec QARV_SSID SET Fail");
    s_.waits.PumpingDelay(2000);
    if (!WaitUntilReady(10, "FwReadyStatus:")) Log("After SSID setting,GetFwReadyStatus timeout");
  }

  // A restored unit may answer under the MAC just written to it.
  link::MacAddress restoredMac{};
  const bool restoredMacKnown =
      mode_.IsRestore() && link::ParseMacText(mode_.source.values.Values[kMac2G], &restoredMac);

  // One more search after the first failure, with a hint for a PC on Wi-Fi.
  int rescans = 1;
  for (;;) {
    Log("Ping Success");
    Log("Search Device, Waiting a few seconds...");
    s_.link.discovery.ClearDeviceTable();
    s_.waits.PumpMessages(1);
    if (s_.link.discovery.SearchRounds(kSearchRounds, state_.Unit)) break;
    if (rescans == 1) s_.display.MessageBox(kWifiHint);
    if (rescans == 0) {
      EndRun(kPictureFail, "", "Complete");
      return false;
    }
    Log("Re-Scan devices again....");
    --rescans;
  }
  // The unit as it answers now; its commands stay addressed to its MAC, or
  // to the restored one when it answers from its address under that.
  const link::DeviceEntry found = s_.link.discovery.LastFound();
  state_.Unit.model = found.Model;
  state_.Unit.macText = found.MacText;
  Log("Search Model:" + found.Model + "......OK!");
  if (restoredMacKnown) {
    const link::MacAddress before = state_.Unit.mac;
    for (const link::DeviceEntry& entry : s_.link.discovery.DeviceTable()) {
      if (entry.Mac == restoredMac && entry.Ip == state_.Unit.ip) state_.Unit.mac = restoredMac;
    }
    const char* which = state_.Unit.mac == before ? "its MAC" : "the restored MAC";
    Log("[System]-Restore: the unit is addressed under " + std::string(which) + " " +
        link::MacDigits(state_.Unit.mac));
  }
  observer_.UnitAddressed(state_.Unit);

  if (!WaitUntilReady(30, "")) {
    ReportInfoFailure();
    return false;
  }
  return true;
}

}  // namespace ramtune::upgrade
