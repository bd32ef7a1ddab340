// Ramtune.exe /all: the station's start-up, as a single run's (the checks,
// the warning), then the Windows XP rule, the slots and the station window.
#include <map>

#include "app/bench/station.h"
#include "app/bench/station_board.h"
#include "app/startup.h"
#include "app/upgrade_tool_dlg.h"
#include "app/win32/main_dialog.h"
#include "app/win32/station_child.h"
#include "app/win32/station_window.h"
#include "core/dialogs.h"
#include "core/platform_processes.h"
#include "link/udp_transport.h"

namespace ramtune::win32 {

void RunStationWindow(const Options& options) {
  {
    // The start-up's boxes and the warning are a single run's.
    MainDialog window;
    link::UdpTransport transport;
    PlatformProcesses processes;
    CUpgradeToolDlg dlg(AppServices{window, window, transport, processes, window});
    window.Attach(&dlg);
    StartupSystem system;
    if (std::optional<Ending> ended = RunStartup(dlg, system)) platform::ExitProcess(ended->ProgramCode());
    WarningDialogModel warning;
    window.RunWarningDialog(warning);
    if (!warning.Accepted) platform::ExitProcess(upgrade::Row(upgrade::RunOutcome::WarningRefused).programCode);
  }
  const std::vector<platform::NetInterface> adapters = platform::ListInterfaces();
  const std::string refusal = bench::StationRefusal(platform::QueryOsVersion(), adapters);
  if (!refusal.empty()) {
    MessageBoxA(nullptr, refusal.c_str(), kApplicationName, MB_OK | MB_ICONEXCLAMATION);
    platform::ExitProcess(upgrade::ExitStatusOf(upgrade::RunOutcome::Failed));
  }
  // config.ini: [Slots] "NAME=the adapter's MAC"; [Station] Beep=0 keeps it quiet.
  const std::string ini = platform::ExecutableFolder() + "config.ini";
  std::map<std::string, std::string> names;
  for (const auto& [name, mac] : platform::ReadProfileSection("Slots", ini)) names[mac] = name;
  const bool beep = platform::ReadProfileString("Station", "Beep", ini) != "0";

  bench::Setup setup;
  setup.program = platform::ExecutablePath();
  setup.acceptWarning = true;  // accepted above, once for the station
  setup.ledgerPath = LedgerPathFor(options.ledger, platform::ExecutableFolder());
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  StationWindow station(setup, bench::StationSlots(adapters, names), beep);
  station.DoModal(nullptr);
  platform::ExitProcess(station.Status());
}

}  // namespace ramtune::win32
