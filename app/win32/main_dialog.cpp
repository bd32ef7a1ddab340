#include "app/win32/main_dialog.h"

#include <cstdio>

#include "app/upgrade_tool_dlg.h"
#include "app/win32/small_dialogs.h"
#include "platform/platform.h"
#include "res/resource.h"

namespace ramtune::win32 {

MainDialog::MainDialog()
    : Dialog(IDD_RAMTUNE_DIALOG),
      uiThread_(GetCurrentThreadId()),
      icon_(LoadIconA(ResourceModule(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

MainDialog::~MainDialog() {
  if (picture_ != nullptr) DeleteObject(picture_);
}

// ---- window events -----------------------------------------------------------

bool MainDialog::OnInitDialog() {
  AddAboutToSystemMenu();
  SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  if (std::optional<Ending> ended = RunStartup(*dlg_, system_)) EndProgram(*ended);
  if (dlg_->settings.EngineeringMode) OfferScriptRunner();
  return true;
}

// The RUN SCRIPT button stays hidden; in engineering mode the script runner
// is reached through the system menu instead. The template gives the window
// no system-menu box, so engineering mode adds one first (a window without
// it may have no system menu to add to), and with it the About entry can be
// opened too. In normal mode the window stays as the template has it.
void MainDialog::OfferScriptRunner() {
  SetWindowLongPtrA(hwnd(), GWL_STYLE, GetWindowLongPtrA(hwnd(), GWL_STYLE) | WS_SYSMENU);
  SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  AddAboutToSystemMenu();
  HMENU menu = GetSystemMenu(hwnd(), FALSE);
  if (menu == nullptr) return;
  AppendMenuA(menu, MF_STRING, IDM_RUNSCRIPT, "Run &Script...");
}

// Once: start-up may have found no system menu to add it to.
void MainDialog::AddAboutToSystemMenu() {
  char caption[256] = "";
  LoadStringA(ResourceModule(), IDS_ABOUTBOX, caption, sizeof caption);
  if (caption[0] == '\0') return;
  HMENU menu = GetSystemMenu(hwnd(), FALSE);
  if (menu == nullptr) return;
  if (GetMenuState(menu, IDM_ABOUTBOX, MF_BYCOMMAND) != static_cast<UINT>(-1)) return;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, IDM_ABOUTBOX, caption);
}

bool MainDialog::OnCommand(int id, int notifyCode) {
  if (notifyCode != BN_CLICKED) return false;
  if (id == kButtonExit) {
    // Also Esc, the close box and the close command, which arrive even
    // while the button is disabled (during a run): then they do nothing.
    if (!ButtonEnabled(kButtonExit)) return true;
    dlg_->OnCancel();
    platform::ExitProcess(1);  // Exit ends the program with code 1, whatever ended before
  }
  if (id == kButtonRetry) {
    dlg_->OnRetry();
    return true;
  }
  if (id == kButtonRunScript) {
    if (dlg_->CanRunScript()) dlg_->RunScript();
    return true;
  }
  return false;
}

bool MainDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  switch (message) {
    case WM_TIMER:
      if (std::optional<Ending> ended = dlg_->OnTimer(static_cast<int>(wParam))) {
        if (ended->final) EndProgram(*ended);
      }
      *result = TRUE;
      return true;
    case WM_INITMENUPOPUP:
      // The system menu opens: the script runner only when nothing runs.
      if (HIWORD(lParam) != 0 && dlg_->settings.EngineeringMode) {
        EnableMenuItem(reinterpret_cast<HMENU>(wParam), IDM_RUNSCRIPT,
                       MF_BYCOMMAND | (dlg_->CanRunScript() ? MF_ENABLED : MF_GRAYED));
      }
      return false;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == IDM_RUNSCRIPT && dlg_->settings.EngineeringMode) {
        // A greyed entry sends nothing, but the command can be posted.
        if (dlg_->CanRunScript()) dlg_->RunScript();
        *result = TRUE;
        return true;
      }
      if ((wParam & 0xFFF0) != IDM_ABOUTBOX) return false;
      CAboutDlg().DoModal(hwnd());
      *result = TRUE;
      return true;
    case WM_PAINT:
      if (!IsIconic(hwnd())) return false;
      PaintIcon();
      *result = TRUE;
      return true;
    case WM_QUERYENDSESSION:
      // A dialog answers through its message result.
      SetWindowLongPtrA(hwnd(), DWLP_MSGRESULT, shutdownBlocked_ ? FALSE : TRUE);
      *result = TRUE;
      return true;
    case WM_QUERYDRAGICON:
      *result = reinterpret_cast<INT_PTR>(icon_);
      return true;
    default:
      return false;
  }
}

// ---- RunObserver ------------------------------------------------------------------

void MainDialog::UnitChanged(const upgrade::ChangedUnit& /*unit*/) { BlockShutdown(true); }

void MainDialog::Ended(const upgrade::RunResult& /*result*/) { BlockShutdown(false); }

void MainDialog::BlockShutdown(bool block) {
  if (block == shutdownBlocked_) return;
  shutdownBlocked_ = block;
  // Vista and later show the reason; XP has neither function and only asks.
  using ReasonCreate = BOOL(WINAPI*)(HWND, LPCWSTR);
  using ReasonDestroy = BOOL(WINAPI*)(HWND);
  HMODULE user = GetModuleHandleA("user32.dll");
  if (user == nullptr) return;
  if (block) {
    const auto create = reinterpret_cast<ReasonCreate>(
        reinterpret_cast<void*>(GetProcAddress(user, "ShutdownBlockReasonCreate")));
    if (create != nullptr) create(hwnd(), L"A router is being upgraded: its values are being written back.");
  } else {
    const auto destroy = reinterpret_cast<ReasonDestroy>(
        reinterpret_cast<void*>(GetProcAddress(user, "ShutdownBlockReasonDestroy")));
    if (destroy != nullptr) destroy(hwnd());
  }
}

void MainDialog::PaintIcon() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd(), &paint);
  SendMessageA(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(hwnd(), &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, icon_);
  EndPaint(hwnd(), &paint);
}

// ---- Clock ----------------------------------------------------------------------

int64_t MainDialog::PerformanceCounter() { return platform::PerformanceCounter(); }
int64_t MainDialog::PerformanceFrequency() { return platform::PerformanceFrequency(); }
int64_t MainDialog::ProcessClockMs() { return platform::ProcessClockMs(); }
void MainDialog::Sleep(int ms) { platform::SleepMs(ms); }
std::string MainDialog::LocalTimeStamp() { return platform::LocalTimeStamp(); }

// The pump of every wait inside a timer event. Like the modal loop it
// translates and dispatches, but without the dialog manager: keys go to the
// focused control, so Esc does not reach the Exit action while a run holds
// the timer event (the run has Exit disabled then). Between events the
// modal loop is in charge and Esc works as usual.
bool MainDialog::DispatchOneMessage() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) return true;  // removed and dropped
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

// The system's timer ticks every 10 to 16 ms, so a wait may end that much
// late. The last stretch of a pause is left to the caller's polling (with a
// yield), so that pauses end on time as they did when they only polled.
void MainDialog::WaitForMessage(int ms) {
  constexpr int kTimerSlackMs = 16;
  if (ms <= kTimerSlackMs) {
    ::Sleep(0);
    return;
  }
  MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(ms - kTimerSlackMs), QS_ALLINPUT,
                              MWMO_INPUTAVAILABLE);
}

// ---- Display ----------------------------------------------------------------------

void MainDialog::SetProgress(int position) {
  SendMessageA(Item(kProgressBar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void MainDialog::SetProgressRange(int low, int high, int step) {
  HWND bar = Item(kProgressBar);
  SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(low, high));
  SendMessageA(bar, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void MainDialog::SetPicture(int resourceId) {
  HBITMAP bitmap = LoadBitmapA(ResourceModule(), MAKEINTRESOURCEA(resourceId));
  auto previous = reinterpret_cast<HBITMAP>(SendMessageA(
      Item(kStatusPicture), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
  // The control may have drawn from a copy of the bitmap it was given; the
  // copy and the original are both ours to delete once replaced.
  if (previous != nullptr && previous != picture_) DeleteObject(previous);
  if (picture_ != nullptr) DeleteObject(picture_);
  picture_ = bitmap;
}

void MainDialog::SetLabel(int controlId, const std::string& text) {
  SetDlgItemTextA(hwnd(), controlId, text.c_str());
}

void MainDialog::EnableButton(int controlId, bool enabled) {
  EnableWindow(Item(controlId), enabled ? TRUE : FALSE);
}

bool MainDialog::ButtonEnabled(int controlId) { return IsWindowEnabled(Item(controlId)) != FALSE; }

bool MainDialog::ReadIpAddress(std::string* dotted) {
  HWND field = Item(kIpAddressField);
  if (SendMessageA(field, IPM_ISBLANK, 0, 0) != 0) return false;
  DWORD address = 0;
  // The number of fields that are not blank.
  const LRESULT filled = SendMessageA(field, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
  if (filled != 4) return false;
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(FIRST_IPADDRESS(address)),
                static_cast<unsigned>(SECOND_IPADDRESS(address)),
                static_cast<unsigned>(THIRD_IPADDRESS(address)),
                static_cast<unsigned>(FOURTH_IPADDRESS(address)));
  *dotted = text;
  return true;
}

void MainDialog::SetIpAddress(uint32_t address) {
  SendMessageA(Item(kIpAddressField), IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
}

HWND MainDialog::BoxOwner() const {
  return GetCurrentThreadId() == uiThread_ ? hwnd() : nullptr;
}

void MainDialog::MessageBox(const std::string& text) {
  MessageBoxA(BoxOwner(), text.c_str(), kApplicationName, MB_OK | MB_ICONEXCLAMATION);
}

bool MainDialog::AskYesNo(const std::string& question) {
  return MessageBoxA(BoxOwner(), question.c_str(), kApplicationName, MB_YESNO | MB_ICONQUESTION) ==
         IDYES;
}

void MainDialog::LogListAdd(const std::string& line) {
  HWND list = Item(kLogList);
  SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);
  UpdateWindow(list);
}

void MainDialog::LogListClear() { SendMessageA(Item(kLogList), LB_RESETCONTENT, 0, 0); }

void MainDialog::RunWarningDialog(WarningDialogModel& dialog) {
  CWarningDlg(dialog).DoModal(hwnd());
}

void MainDialog::RunSelectDeviceDialog(SelectDeviceModel& dialog) {
  CSelectDeviceDlg(dialog).DoModal(hwnd());
}

std::string OpenFileFilter(const std::string& barSeparated) {
  std::string filter = barSeparated;
  for (char& c : filter) {
    if (c == '|') c = '\0';
  }
  // One NUL more; the string's own terminator makes the second.
  if (filter.empty() || filter.back() != '\0') filter.push_back('\0');
  return filter;
}

std::string MainDialog::ChooseFile(const std::string& filter, const std::string& initialFolder) {
  const std::string filterList = OpenFileFilter(filter);
  char file[MAX_PATH] = "";
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = hwnd();
  dialog.lpstrFilter = filterList.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
  // The run's logs and the tool folder are found from the current directory:
  // browsing elsewhere must not move it.
  dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameA(&dialog)) return std::string();
  return file;
}

void MainDialog::SetTimer(int timerId, int ms) {
  ::SetTimer(hwnd(), static_cast<UINT_PTR>(timerId), static_cast<UINT>(ms), nullptr);
}

void MainDialog::KillTimer(int timerId) { ::KillTimer(hwnd(), static_cast<UINT_PTR>(timerId)); }

void MainDialog::SetTitle(const std::string& title) { SetWindowTextA(hwnd(), title.c_str()); }

// ---- Host ------------------------------------------------------------------------------

void MainDialog::EndProgram(const Ending& ending) { platform::ExitProcess(ending.ProgramCode()); }

intptr_t MainDialog::FindTopLevelWindow(const std::string& title) {
  return platform::FindTopLevelWindow(title);
}

void MainDialog::CloseWindowSync(intptr_t window) { platform::CloseWindowSync(window); }

}  // namespace ramtune::win32
