// The application object of Ramtune.exe: it builds the main dialog and its
// services and runs the dialog modally. Every way out of the dialog ends the
// process from inside; the end of InitInstance is never reached in practice.
#include "core/platform_processes.h"
#include "app/upgrade_tool_dlg.h"
#include "app/win32/main_dialog.h"
#include "link/udp_transport.h"
#include "platform/platform.h"

namespace ramtune::win32 {

class CUpgradeToolApp {
 public:
  [[noreturn]] void InitInstance();
};

void CUpgradeToolApp::InitInstance() {
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
  window.DoModal(nullptr);
  // Should the modal loop ever return: what the Exit button does.
  dlg.OnCancel();
}

}  // namespace ramtune::win32

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  ramtune::win32::CUpgradeToolApp app;
  app.InitInstance();
}
