// The application object of Ramtune.exe: it builds the main dialog and its
// services and runs the dialog modally. Every way out of the dialog ends the
// process from inside; the end of InitInstance is never reached in practice.
#include <cstdlib>
#include <string>
#include <vector>

#include "app/history.h"
#include "app/startup.h"
#include "app/upgrade_tool_dlg.h"
#include "app/win32/main_dialog.h"
#include "app/win32/options.h"
#include "app/win32/station_child.h"
#include "core/platform_processes.h"
#include "link/udp_transport.h"
#include "platform/platform.h"

namespace ramtune::win32 {

class CUpgradeToolApp {
 public:
  [[noreturn]] void InitInstance();
};

// The command line, as the C runtime split it (quoted paths with spaces are
// one argument). A help request or a command line that makes no sense is an
// OK box, and the program ends with code 0 before anything else happens.
Options CheckCommandLine() {
  const ParsedOptions parsed = ParseOptions(std::vector<std::string>(__argv + 1, __argv + __argc));
  if (parsed.error.empty() && !parsed.options.help) return parsed.options;
  const std::string text = parsed.error.empty() ? HelpText() : parsed.error + "\n\n" + HelpText();
  MessageBoxA(nullptr, text.c_str(), kApplicationName, MB_OK | (parsed.error.empty() ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
  platform::ExitProcess(0);
}

// /history FILE: every unit of the unit ledger as CSV, without the dialog
// and without the network. Code 0 once the file is written; otherwise an
// OK box says why, and code 1.
[[noreturn]] void WriteHistory(const Options& options) {
  const std::string path = LedgerPathFor(options.ledger, platform::ExecutableFolder());
  std::vector<upgrade::LedgerUnit> units;
  std::string error;
  if (ReadHistory(path, &units, &error, true)) {
    if (platform::ReplaceFileDurably(options.historyFile, HistoryCsv(units), &error)) platform::ExitProcess(0);
    error = "/history: " + options.historyFile + " cannot be written (" + error + ").";
  }
  MessageBoxA(nullptr, error.c_str(), kApplicationName, MB_OK | MB_ICONEXCLAMATION);
  platform::ExitProcess(1);
}

void RequestRun(const Options& options, CUpgradeToolDlg& dlg) {
  dlg.settings.RestoreCommand = RestoreCommandStyle{true, "/restore", "/interface", true};
  if (!options.ledger.empty()) dlg.settings.LedgerPath = options.ledger;
  if (options.restore) {
    upgrade::RunMode restore = upgrade::RunMode::RestoreFrom(options.restorePath);
    restore.intoMac = options.intoMac;
    dlg.Request(restore);
  }
  if (options.backup) dlg.Request(upgrade::RunMode::Backup());
  if (options.verify) dlg.Request(upgrade::RunMode::CheckAgainst(options.verifyPath));
}

void CUpgradeToolApp::InitInstance() {
  const Options options = CheckCommandLine();
  if (!options.historyFile.empty()) WriteHistory(options);
  // Started by a station for one adapter: no window, no person to ask.
  if (options.benchChild.Active()) RunStationChild(options);
  if (options.all) RunStationWindow(options);
  // The control classes the templates use: progress bar, IP address field.
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_INTERNET_CLASSES};
  InitCommonControlsEx(&controls);

  MainDialog window;
  link::UdpTransport transport;
  PlatformProcesses processes;
  // Construction measures the cost of one performance-counter read.
  CUpgradeToolDlg dlg(AppServices{window, window, transport, processes, window});
  window.Attach(&dlg);
  dlg.Observe(window);
  RequestRun(options, dlg);
  if (!options.interfaceAddress.empty()) {
    const std::vector<platform::NetInterface> interfaces = platform::ListInterfaces();
    if (!link::FindInterface(interfaces, options.interfaceAddress, nullptr)) {
      const std::string text = "/interface: no network adapter has the address " + options.interfaceAddress +
                               ". The adapters are:\n" + link::InterfaceListText(interfaces);
      MessageBoxA(nullptr, text.c_str(), kApplicationName, MB_OK | MB_ICONEXCLAMATION);
      platform::ExitProcess(0);
    }
    dlg.ChooseInterface(options.interfaceAddress);
  }
  window.DoModal(nullptr);
  // Should the modal loop ever return: what the Exit button does.
  dlg.OnCancel();
  platform::ExitProcess(1);
}

}  // namespace ramtune::win32

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  ramtune::win32::CUpgradeToolApp app;
  app.InitInstance();
}
