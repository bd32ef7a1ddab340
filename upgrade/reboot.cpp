// Reboot after the write-back, the fixed wait while the router restarts, and
// the reconnection: readiness polls, the SSID tool for a PC on Wi-Fi, and the
// search that finds the router again.
#include "core/text.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {
namespace {

// One row of the reboot countdown, done in field order.
struct CountdownRow {
  bool setDeviceIp;     // point the transfer address at the chosen router
  const char* line;     // or nullptr
  int positions[2];     // progress positions, 0 for none
  bool setSelectedIp;   // point the service requests at the chosen router
  int pauseMs;          // 0 for none
};

// The pauses add up to 65 s.
constexpr CountdownRow kCountdown[] = {
    {false, nullptr, {6, 0}, false, 5500},
    {false, "[System]-Please wait...1", {7, 0}, false, 5500},
    {false, "[System]-Please wait...2", {8, 0}, false, 5500},
    {false, "[System]-Please wait...3", {9, 0}, false, 3500},
    {true, nullptr, {10, 0}, false, 3000},
    {false, "[System]-Please wait...4", {0, 0}, false, 6000},
    {false, "[System]-Please wait...5", {0, 0}, false, 6000},
    {false, "[System]-Please wait...6", {11, 0}, false, 5000},
    {false, "[System]-Please wait...7", {0, 0}, false, 5000},
    {false, "[System]-Please wait...8", {0, 0}, false, 5000},
    {false, "[System]-Please wait...9", {12, 0}, false, 5000},
    {false, "[System]-Please wait...10", {0, 0}, false, 5000},
    {false, "[System]-Please wait...11", {0, 0}, false, 5000},
    {false, "[System]-Please wait...12", {13, 14}, true, 0},
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
  s_.link.SendCommand("reboot", 500);
  Log("[System]-Rebooting LM-7210A/LM-7210B...");
  EnterPhase(RunPhase::Rebooting, CountdownMs());

  for (const CountdownRow& row : kCountdown) {
    if (row.setDeviceIp) s_.link.SetDeviceIp(state_.ChosenAddress);
    if (row.line != nullptr) Log(row.line);
    for (int position : row.positions) {
      if (position != 0) SetProgress(position);
    }
    if (row.setSelectedIp) s_.link.SetSelectedIp(state_.ChosenAddress);
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
  const link::MacAddress macBefore = s_.link.Current().TargetMac;
  if (restoredMacKnown) s_.link.AcceptTargetAlsoAs(restoredMac);

  // One more search after the first failure, with a hint for a PC on Wi-Fi.
  int rescans = 1;
  for (;;) {
    Log("Ping Success");
    Log("Search Device, Waiting a few seconds...");
    s_.link.ClearDeviceTable();
    s_.waits.PumpMessages(1);
    if (s_.link.SearchRounds(kSearchRounds)) break;
    if (rescans == 1) s_.display.MessageBox(kWifiHint);
    if (rescans == 0) {
      EndRun(kPictureFail, "", "Complete");
      return false;
    }
    Log("Re-Scan devices again....");
    --rescans;
  }
  Log("Search Model:" + s_.link.Current().CurrentModel + "......OK!");
  if (restoredMacKnown) {
    const link::MacAddress now = s_.link.Current().TargetMac;
    const char* which = now == macBefore ? "its MAC" : "the restored MAC";
    Log("[System]-Restore: the unit is addressed under " + std::string(which) + " " + link::MacDigits(now));
  }

  if (!WaitUntilReady(30, "")) {
    ReportInfoFailure();
    return false;
  }
  return true;
}

}  // namespace ramtune::upgrade
