// The main window (template 102) and what the core drives through it: the
// clock with the window message pump, the run display and the host.
//
// Every event of the window goes to the core's CUpgradeToolDlg; every
// change the core wants to see becomes one Win32 call here. Nothing in this
// class decides anything about a run.
#pragma once

#include "core/seams.h"
#include "app/startup.h"
#include "app/win32/dialog_base.h"
#include "upgrade/run_observer.h"

namespace ramtune {
class CUpgradeToolDlg;
}

namespace ramtune::win32 {

// The caption of every message box.
inline const char* const kApplicationName = "Ramtune";

// As a run observer: while a run that changed its unit is active, the PC is
// not shut down or logged off under it.
class MainDialog : public Dialog, public Clock, public Display, public Host, public upgrade::RunObserver {
 public:
  MainDialog();
  ~MainDialog() override;

  // The core's dialog, which gets the window's events. Set before DoModal.
  void Attach(CUpgradeToolDlg* dlg) { dlg_ = dlg; }

  // Clock
  int64_t PerformanceCounter() override;
  int64_t PerformanceFrequency() override;
  int64_t ProcessClockMs() override;
  void Sleep(int ms) override;
  bool DispatchOneMessage() override;
  void WaitForMessage(int ms) override;
  std::string LocalTimeStamp() override;

  // Display
  void SetProgress(int position) override;
  void SetPicture(int resourceId) override;
  void SetLabel(int controlId, const std::string& text) override;
  void EnableButton(int controlId, bool enabled) override;
  bool ButtonEnabled(int controlId) override;
  bool ReadIpAddress(std::string* dotted) override;
  void SetIpAddress(uint32_t address) override;
  void MessageBox(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;
  void LogListAdd(const std::string& line) override;
  void LogListClear() override;
  void RunWarningDialog(WarningDialogModel& dialog) override;
  void RunSelectDeviceDialog(SelectDeviceModel& dialog) override;
  std::string ChooseFile(const std::string& filter, const std::string& initialFolder) override;
  void SetTimer(int timerId, int ms) override;
  void KillTimer(int timerId) override;
  void SetTitle(const std::string& title) override;
  void SetProgressRange(int low, int high, int step) override;

  // RunObserver
  void UnitChanged(const upgrade::ChangedUnit& unit) override;
  void Ended(const upgrade::RunResult& result) override;

  // Host
  intptr_t FindTopLevelWindow(const std::string& title) override;
  void CloseWindowSync(intptr_t window) override;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

 private:
  // The session ended: the program ends with the ending's code.
  [[noreturn]] void EndProgram(const Ending& ending);
  void AddAboutToSystemMenu();
  void OfferScriptRunner();
  // The owner of a modal box: this window on its own thread, none on
  // another (the listener thread shows the result-class boxes).
  HWND BoxOwner() const;
  void PaintIcon();
  // Holds off a shutdown or log-off (with its reason shown, on Vista and later) or lets it go.
  void BlockShutdown(bool block);

  CUpgradeToolDlg* dlg_ = nullptr;
  StartupSystem system_;
  const DWORD uiThread_;
  HICON icon_ = nullptr;
  HBITMAP picture_ = nullptr;  // the status picture now shown
  bool shutdownBlocked_ = false;
};

// The "A|b|" filter form of the core as the open-file dialog wants it:
// every "|" a NUL, and the list ended by two NULs.
std::string OpenFileFilter(const std::string& barSeparated);

}  // namespace ramtune::win32
