#include "app/win32/station_window.h"

#include <shellapi.h>

#include "app/bench/station.h"
#include "app/win32/main_dialog.h"
#include "platform/platform.h"
#include "res/resource.h"

namespace ramtune::win32 {
namespace {

// What the station's thread tells the window.
constexpr UINT kSlotsChanged = WM_APP + 1;   // posted: the slots or the counts changed
constexpr UINT kConfirm = WM_APP + 2;        // sent: lParam a Question
constexpr UINT kUnitEnded = WM_APP + 3;      // posted: a unit's run ended
constexpr UINT kStationEnded = WM_APP + 4;   // posted: wParam the station's exit status
constexpr UINT kLineTold = WM_APP + 5;       // posted: the station's last line changed
constexpr UINT_PTR kClockTimer = 1;          // redraws the elapsed times
constexpr int kMenuProcessLog = 41001;
constexpr int kMenuDataLog = 41002;
constexpr int kMenuRestore = 41003;
constexpr int kMenuCheck = 41004;

struct Question {
  const std::string* text;
  bool answer;
};

}  // namespace

// The station's stop requests come from the Stop button, not from Ctrl+C.
// A row's restore or check goes to the station through here.
class StationWindow::System : public bench::BenchSystem {
 public:
  explicit System(StationWindow& window) : window_(window) {}
  int Interrupts() override { return static_cast<int>(InterlockedCompareExchange(&stops_, 0, 0)); }
  bool TerminationRequested() override { return false; }
  bool TakeSlotRequest(bench::SlotRequest* request) override {
    platform::LockGuard guard(window_.lock_);
    if (window_.requests_.empty()) return false;
    *request = window_.requests_.front();
    window_.requests_.erase(window_.requests_.begin());
    return true;
  }
  void PressStop() { InterlockedIncrement(&stops_); }
  void Reset() { InterlockedExchange(&stops_, 0); }

 private:
  StationWindow& window_;
  volatile LONG stops_ = 0;
};

StationWindow::StationWindow(bench::Setup setup, std::vector<bench::StationSlot> slots, bool beep)
    : Dialog(IDD_STATION),
      setup_(std::move(setup)),
      slots_(std::move(slots)),
      beep_(beep),
      system_(new System(*this)),
      icon_(LoadIconA(ResourceModule(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

StationWindow::~StationWindow() { delete system_; }

// ---- the station's thread ---------------------------------------------------------------

void StationWindow::Line(const std::string& text) {
  platform::AppendToFile(logPath_, text + "\r\n");
  {
    platform::LockGuard guard(lock_);
    line_ = text;
  }
  PostMessageA(hwnd(), kLineTold, 0, 0);
}

void StationWindow::UnitMessage(const bench::UnitRecord& unit, const std::string& line) {
  platform::AppendToFile(logPath_, unit.unit.slot + " " + unit.unit.mac + "| " + line + "\r\n");
}

bool StationWindow::Confirm(const std::string& question) {
  Question asked{&question, false};
  SendMessageA(hwnd(), kConfirm, 0, reinterpret_cast<LPARAM>(&asked));
  return asked.answer;
}

void StationWindow::Slots(const std::vector<bench::SlotRecord>& slots, const bench::SessionCounts& counts,
                          int64_t) {
  {
    platform::LockGuard guard(lock_);
    told_ = slots;
    counts_ = counts;
  }
  PostMessageA(hwnd(), kSlotsChanged, 0, 0);
}

void StationWindow::UnitEnded(const bench::UnitRecord&) { PostMessageA(hwnd(), kUnitEnded, 0, 0); }

// ---- the window ------------------------------------------------------------------------------

bool StationWindow::OnInitDialog() {
  SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  list_ = Item(IDC_STATION_LIST);
  InsertRows();
  SetStage(bench::StationStage::Ready);
  Redraw();
  return true;
}

void StationWindow::SetStage(bench::StationStage stage) {
  stage_ = stage;
  const bench::Controls controls = bench::ControlsOf(stage);
  EnableWindow(Item(IDC_STATION_START), controls.start ? TRUE : FALSE);
  EnableWindow(Item(IDC_STATION_STOP), controls.stop ? TRUE : FALSE);
  SetDlgItemTextA(hwnd(), IDC_STATION_STOP, controls.stopText);
}

void StationWindow::SetNote(const std::string& text) { SetDlgItemTextA(hwnd(), IDC_STATION_NOTE, text.c_str()); }

void StationWindow::Start() {
  setup_.links.clear();
  setup_.slotNames.clear();
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (ListView_GetCheckState(list_, static_cast<int>(i)) == FALSE) continue;
    setup_.links.push_back(slots_[i].link);
    setup_.slotNames[slots_[i].link] = slots_[i].name;
  }
  if (setup_.links.empty()) {
    MessageBoxA(hwnd(), "Tick at least one slot, then press Start.", kApplicationName, MB_OK | MB_ICONINFORMATION);
    return;
  }
  setup_.session = platform::LocalTimeStamp();
  std::string folder;
  platform::CurrentDirectory(&folder);
  setup_.reportPath = bench::DefaultReportPath(folder + "\\", setup_.session);
  logPath_ = folder + "\\ramtune_station_" + setup_.session + ".txt";
  {
    platform::LockGuard guard(lock_);
    told_.clear();
  }
  shown_.clear();
  system_->Reset();
  SetStage(bench::StationStage::Running);
  SetNote("Plug a unit into a ticked slot: it is upgraded as soon as it answers.");
  ::SetTimer(hwnd(), kClockTimer, 1000, nullptr);
  const HWND window = hwnd();
  if (!platform::StartDetachedThread([this, window] {
        const int status = bench::RunStation(setup_, *this, *system_);
        PostMessageA(window, kStationEnded, static_cast<WPARAM>(status), 0);
      })) {
    StationEnded(bench::kStatusFailed);
    SetNote("The station could not start its thread; nothing was started.");
  }
}

void StationWindow::Stop() {
  const bench::StationStage next = bench::AfterStop(stage_);
  if (next == stage_) return;
  system_->PressStop();
  SetStage(next);
  SetNote(next == bench::StationStage::Stopping
              ? "Stopping: no new unit starts; units that were changed finish. Stop again ends every run now."
              : "Ending every run now; a changed unit's row says how to restore it.");
}

void StationWindow::Close() {
  if (stage_ == bench::StationStage::Ready || stage_ == bench::StationStage::Ended) {
    End(IDCANCEL);
    return;
  }
  if (closeWhenEnded_) return;
  if (MessageBoxA(hwnd(),
                  "Units are running. Stop the station and close this window once they have ended?\n\n"
                  "No new unit starts; a unit that was changed is written back first.",
                  kApplicationName, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  closeWhenEnded_ = true;
  if (stage_ == bench::StationStage::Running) Stop();
  SetNote("Closing once the running units have ended...");
}

void StationWindow::StationEnded(int status) {
  status_ = status;
  ::KillTimer(hwnd(), kClockTimer);
  {
    platform::LockGuard guard(lock_);
    shown_ = told_;
  }
  Redraw();
  SetStage(bench::StationStage::Ended);
  SetNote("The station has stopped (exit status " + std::to_string(status) + "). Its report: " + setup_.reportPath +
          "; every line: " + logPath_);
  if (closeWhenEnded_) End(IDOK);
}

void StationWindow::ShowRowMenu(int x, int y) {
  const int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
  const bench::SlotRecord* record = RecordOf(row);
  if (record == nullptr) return;
  const bench::RowMenu menu = bench::MenuOf(*record);
  HMENU popup = CreatePopupMenu();
  AppendMenuA(popup, MF_STRING | (menu.processLog ? 0 : MF_GRAYED), kMenuProcessLog, "Open its &Process log");
  AppendMenuA(popup, MF_STRING | (menu.dataLog ? 0 : MF_GRAYED), kMenuDataLog, "Open its &Data log");
  AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(popup, MF_STRING | (menu.restore ? 0 : MF_GRAYED), kMenuRestore, "&Restore its values...");
  AppendMenuA(popup, MF_STRING | (menu.check ? 0 : MF_GRAYED), kMenuCheck, "&Check it against its Data log");
  const int chosen = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, hwnd(), nullptr);
  DestroyMenu(popup);
  const bench::UnitRecord& unit = record->unit;
  if (chosen == kMenuRestore || chosen == kMenuCheck) {
    Ask(*record, chosen == kMenuRestore);
    return;
  }
  const std::string& file = chosen == kMenuProcessLog ? unit.processLog : unit.dataLog;
  if (chosen == 0 || file.empty()) return;
  ShellExecuteA(hwnd(), "open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// A restore writes one unit's values into the unit on the slot: only a
// person who sees that unit says it is the right one.
void StationWindow::Ask(const bench::SlotRecord& record, bool restore) {
  const bench::UnitRecord& unit = record.unit;
  bench::SlotRequest request{record.link, unit.unit.mac, restore,
                             restore || unit.dataLog.empty() ? unit.restoreLog : unit.dataLog};
  if (restore) {
    const std::string question =
        "Write the values of\n" + request.dataLog + "\nback into the unit " + unit.unit.mac + " on " + record.name +
        "?\n\nSay Yes only if this is the unit that Data log was read from (the one left changed on this slot): "
        "one unit's values written into another give two units the same MAC.";
    if (MessageBoxA(hwnd(), question.c_str(), kApplicationName, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
      return;
    }
  }
  platform::LockGuard guard(lock_);
  requests_.push_back(request);
}

bool StationWindow::OnCommand(int id, int notifyCode) {
  if (notifyCode != BN_CLICKED) return false;
  switch (id) {
    case IDC_STATION_START: Start(); return true;
    case IDC_STATION_STOP: Stop(); return true;
    case IDCANCEL: Close(); return true;
    default: return false;
  }
}

bool StationWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  switch (message) {
    case kSlotsChanged: {
      platform::LockGuard guard(lock_);
      shown_ = told_;
    }
      Redraw();
      return true;
    case kLineTold: {
      std::string line;
      {
        platform::LockGuard guard(lock_);
        line = line_;
      }
      if (!closeWhenEnded_) SetNote(line);
      return true;
    }
    case kConfirm: {
      Question* asked = reinterpret_cast<Question*>(lParam);
      asked->answer = MessageBoxA(hwnd(), asked->text->c_str(), kApplicationName, MB_YESNO | MB_ICONQUESTION) == IDYES;
      return true;
    }
    case kUnitEnded:
      if (beep_) MessageBeep(MB_OK);
      return true;
    case kStationEnded:
      StationEnded(static_cast<int>(wParam));
      return true;
    case WM_TIMER:
      if (wParam == kClockTimer) Redraw();
      return true;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wParam) != list_) return false;
      ShowRowMenu(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
      return true;
    case WM_QUERYENDSESSION: {
      // Windows is not shut down nor the user logged off under a changed unit.
      bool changedRunning = false;
      for (const bench::SlotRecord& record : shown_) {
        changedRunning |= record.state == bench::SlotState::Running && record.unit.changed;
      }
      SetWindowLongPtrA(hwnd(), DWLP_MSGRESULT, changedRunning ? FALSE : TRUE);
      *result = TRUE;
      return true;
    }
    case WM_NOTIFY: {
      const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->hwndFrom != list_) return false;
      if (header->code == NM_CUSTOMDRAW) {
        SetWindowLongPtrA(hwnd(), DWLP_MSGRESULT, CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam)));
        *result = TRUE;
        return true;
      }
      if (header->code == LVN_ITEMCHANGING) {
        // The ticks are the slots' choice before Start; later they stay as they are.
        const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
        const bool tick = (change->uChanged & LVIF_STATE) != 0 &&
                          ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) != 0;
        SetWindowLongPtrA(hwnd(), DWLP_MSGRESULT, tick && !bench::ControlsOf(stage_).slotsTickable);
        *result = TRUE;
        return true;
      }
      if (header->code == LVN_ITEMCHANGED) {
        const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
        if (((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) != 0 && rows_.size() == slots_.size()) {
          Redraw();
        }
      }
      return false;
    }
    default:
      return false;
  }
}

}  // namespace ramtune::win32
