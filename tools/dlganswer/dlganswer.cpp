// Test helper for Ramtune.exe under Wine: finds the program's dialogs and
// message boxes from outside (same Wine prefix), answers them like a user
// would and reports what it saw on standard output, one line each.
//
//   dlganswer probe
//       prints "dlganswer ready" (proves that a 64-bit program runs).
//   dlganswer version
//       prints what GetVersionExA reports to a program without a manifest:
//       "VERSION <major>.<minor> platform <id> <service pack>".
//   dlganswer watch [--warning yes|no|leave] [--question yes|no|leave]
//                   [--select ok|cancel|leave] [--ok-delay MS] [--caption TEXT]
//                   [--seconds N]
//       answers until N seconds (default 900) have passed:
//         warning dialog (template 134)   "WARNING yes|no"
//         Yes/No box of the program       "QUESTION <text> -> yes|no"
//         OK box of the program           "MESSAGE <text>" (OK pressed after MS ms)
//         device selection (138)          "SELECT <items> -> ok|cancel"
//       "leave" leaves that kind of dialog alone (still reported once, with
//       "-> left"). Message boxes are recognised by their caption (default
//       "Ramtune"). In texts, CR and LF are written as \r and \n.
//   dlganswer wait-warning [--seconds N]
//       exit code 0 as soon as the warning dialog is visible, 1 after N s.
//   dlganswer state
//       prints the main dialog's controls: title, whether it has a system
//       menu box, progress, buttons, labels, log list; exit code 1 when
//       there is no main dialog.
//   dlganswer click ID
//       presses button ID of the main dialog, or of the station window when
//       there is no main dialog (BM_CLICK); exit code 1 when it is missing or
//       disabled.
//   dlganswer station
//       prints the station window's title, counts and note lines, its
//       buttons, and one "row" line per slot with the cells joined by " | ";
//       exit code 1 when there is no station window.
//   dlganswer station --wait PATTERN [--seconds N]
//       the same once one of those lines begins with PATTERN, where a "*"
//       stands for any text within one cell (no "|"), looking every half
//       second; after N s (default 30) the last lines seen ("no station
//       window" when there was none) and exit code 1.
//   dlganswer about
//       opens the About box through the system menu command, prints
//       "ABOUT <title>: <texts>" and closes it again.
//   dlganswer menu-last
//       opens the main dialog's system menu as Alt+Space does (it opens only
//       on a window with a system-menu box), prints "SYSMENU opened" once the
//       menu is up and chooses its last entry (End, Enter); exit code 1 and
//       "SYSMENU none" when no menu came up.
//   dlganswer answer-open PATH [--seconds N]
//       waits for an open-file dialog, prints "OPEN <title> [<first filter>]",
//       enters PATH as the file name and presses Open; exit code 1 when no
//       such dialog came up within N s (default 30).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// Ids of the program's templates (res/resource.h).
constexpr int kProgress = 1008;
constexpr int kLogList = 1000;
constexpr int kWarningText = 1006;
constexpr int kWarningYes = 1010;
constexpr int kWarningNo = 1011;
constexpr int kIpList = 1015;
constexpr int kStationList = 1020;
constexpr int kStationCounts = 1021;
constexpr int kStationNote = 1022;
constexpr int kStationColumns = 8;
constexpr UINT kAboutCommand = 0x0010;
// Controls of the open-file dialog: the file types and the file name (an
// edit of its own in older templates, a combo box in the Explorer one).
constexpr int kFileTypes = 0x470;     // cmb1
constexpr int kFileNameCombo = 0x47C; // cmb13
constexpr int kFileNameEdit = 0x480;  // edt1

constexpr UINT kSendTimeoutMs = 5000;

std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[4096] = "";
  DWORD_PTR copied = 0;
  if (SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                          SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied) &&
      copied > 0) {
    return std::string(text, copied);
  }
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// Window enumeration callbacks are named functions: on x86 they must be
// stdcall (CALLBACK), which a lambda's conversion does not give.
// LIST: the std::vector<HWND> that collects the windows.
BOOL CALLBACK CollectAny(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// The visible top-level windows of WINDOW_CLASS. FindWindowEx lets Wine pick
// them by class (one request each) where EnumWindows asks after every
// top-level window's class and style: in the emulated PC a watcher
// enumerating every 100 ms took 40% of a processor with no dialog up.
std::vector<HWND> VisibleTopLevel(const char* windowClass) {
  std::vector<HWND> found;
  for (HWND w = FindWindowExA(nullptr, nullptr, windowClass, nullptr); w != nullptr;
       w = FindWindowExA(nullptr, w, windowClass, nullptr)) {
    if (IsWindowVisible(w)) found.push_back(w);
  }
  return found;
}

std::vector<HWND> TopLevelDialogs() { return VisibleTopLevel("#32770"); }

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> found;
  EnumChildWindows(parent, CollectAny, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Sends a message that carries no pointer, with a time limit.
LRESULT Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) {
    return -1;
  }
  return static_cast<LRESULT>(result);
}

// Item `index` of a list box or combo box in another process. The wide
// messages are used because Wine hands the text of the narrow ones over
// to another process in UTF-16, overrunning a buffer sized for narrow text.
std::string ItemText(HWND control, UINT lengthMessage, UINT textMessage, int index) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(control, lengthMessage, static_cast<WPARAM>(index), 0, SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &length) ||
      static_cast<LONG_PTR>(length) < 0) {
    return std::string();
  }
  std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(control, textMessage, static_cast<WPARAM>(index),
                           reinterpret_cast<LPARAM>(&wide[0]), SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &copied)) {
    return std::string();
  }
  wide.resize(wcsnlen(wide.c_str(), wide.size()));
  std::string narrow(wide.size() * 2 + 1, '\0');
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), &narrow[0],
                                    static_cast<int>(narrow.size()), nullptr, nullptr);
  narrow.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return narrow;
}

bool IsWarning(HWND d) {
  return GetDlgItem(d, kWarningYes) && GetDlgItem(d, kWarningNo) && GetDlgItem(d, kWarningText);
}
bool IsSelect(HWND d) { return GetDlgItem(d, kIpList) != nullptr; }
bool IsMain(HWND d) { return GetDlgItem(d, kProgress) != nullptr; }

bool IsStation(HWND d) { return GetDlgItem(d, kStationList) != nullptr; }

HWND FindMain() {
  for (HWND d : TopLevelDialogs()) {
    if (IsMain(d)) return d;
  }
  return nullptr;
}

HWND FindStation() {
  for (HWND d : TopLevelDialogs()) {
    if (IsStation(d)) return d;
  }
  return nullptr;
}

// Cell (row, column) of a list view in another process: the item and its
// text buffer have to live in that process's memory.
std::string CellText(HWND list, int row, int column) {
  DWORD pid = 0;
  GetWindowThreadProcessId(list, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (process == nullptr) return std::string();
  constexpr int kChars = 256;
  char* remote = static_cast<char*>(
      VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + kChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
  std::string text;
  if (remote != nullptr) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
    item.cchTextMax = kChars;
    wchar_t wide[kChars] = L"";
    SIZE_T moved = 0;
    DWORD_PTR copied = 0;
    if (WriteProcessMemory(process, remote, &item, sizeof item, &moved) &&
        SendMessageTimeoutW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote),
                            SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied) &&
        ReadProcessMemory(process, remote + sizeof(LVITEMW), wide, sizeof wide, &moved)) {
      wide[kChars - 1] = L'\0';
      char narrow[kChars * 2] = "";
      WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
      text = narrow;
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  }
  CloseHandle(process);
  return text;
}

// The text of a message box: its longest static text (the icon has none).
std::string BoxText(HWND box) {
  std::string best;
  for (HWND child : Children(box)) {
    if (ClassOf(child) != "Static") continue;
    std::string text = TextOf(child);
    if (text.size() > best.size()) best = text;
  }
  return best;
}

bool Press(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (button == nullptr || !IsWindowEnabled(button)) return false;
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
  return true;
}

std::string ArgValue(int argc, char** argv, const char* name, const char* fallback) {
  for (int i = 2; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  }
  return fallback;
}

struct WatchOptions {
  std::string warning, question, select, caption;
  DWORD okDelayMs = 0;
  DWORD seconds = 900;
};

// A button pressed (or still to press) on a dialog that is still up: under
// load a press can be lost (BM_CLICK fails while the dialog is not yet the
// active window), so it is pressed again while the dialog stays visible.
struct Pressing {
  int button;
  DWORD due;  // tick count of the next press
};
constexpr DWORD kPressAgainMs = 3000;

int Watch(const WatchOptions& o) {
  const DWORD start = GetTickCount();
  // Reported once (answered or left alone), or nothing to answer (the main
  // dialog, the station window, another caption's box): a dialog is complete
  // once visible, so each is looked at once.
  std::set<HWND> done;
  std::map<HWND, Pressing> pressing;   // answered, until the dialog is gone
  while (GetTickCount() - start < o.seconds * 1000) {
    for (HWND d : TopLevelDialogs()) {
      if (done.count(d) != 0) continue;
      if (IsWarning(d)) {
        if (o.warning == "leave") {
          Say("WARNING -> left");
        } else {
          pressing[d] = {o.warning == "yes" ? kWarningYes : kWarningNo, GetTickCount()};
          Say("WARNING " + o.warning);
        }
        done.insert(d);
      } else if (IsSelect(d)) {
        HWND list = GetDlgItem(d, kIpList);
        const int count = static_cast<int>(Ask(list, CB_GETCOUNT));
        std::string items;
        for (int i = 0; i < count; ++i) {
          items += (i ? ";" : "") + ItemText(list, CB_GETLBTEXTLEN, CB_GETLBTEXT, i);
        }
        if (o.select == "ok") {
          pressing[d] = {IDOK, GetTickCount()};
        } else if (o.select == "cancel") {
          PostMessageA(d, WM_COMMAND, IDCANCEL, 0);
        }
        Say("SELECT " + items + " -> " + (o.select == "leave" ? "left" : o.select));
        done.insert(d);
      } else if (!IsMain(d) && TextOf(d) == o.caption) {
        const std::string text = Escape(BoxText(d));
        if (GetDlgItem(d, IDYES) != nullptr) {
          if (o.question == "yes") pressing[d] = {IDYES, GetTickCount()};
          if (o.question == "no") pressing[d] = {IDNO, GetTickCount()};
          Say("QUESTION " + text + " -> " + (o.question == "leave" ? "left" : o.question));
          done.insert(d);
        } else {
          Say("MESSAGE " + text);
          pressing[d] = {IDOK, GetTickCount() + o.okDelayMs};
          done.insert(d);
        }
      } else {
        done.insert(d);
      }
    }
    for (auto it = pressing.begin(); it != pressing.end();) {
      if (!IsWindow(it->first) || !IsWindowVisible(it->first)) {
        it = pressing.erase(it);
        continue;
      }
      if (static_cast<LONG>(GetTickCount() - it->second.due) >= 0) {
        Press(it->first, it->second.button);
        it->second.due = GetTickCount() + kPressAgainMs;
      }
      ++it;
    }
    Sleep(100);
  }
  return 0;
}

int WaitWarning(DWORD seconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < seconds * 1000) {
    for (HWND d : TopLevelDialogs()) {
      if (IsWarning(d)) {
        Say("warning visible");
        return 0;
      }
    }
    Sleep(100);
  }
  Say("no warning dialog");
  return 1;
}

int State() {
  HWND main = FindMain();
  if (main == nullptr) {
    Say("no main dialog");
    return 1;
  }
  Say("title " + TextOf(main));
  Say(std::string("system-menu ") + ((GetWindowLongA(main, GWL_STYLE) & WS_SYSMENU) ? "yes" : "no"));
  HWND bar = GetDlgItem(main, kProgress);
  std::printf("progress %d\n", static_cast<int>(Ask(bar, PBM_GETPOS)));
  std::printf("range %d %d\n", static_cast<int>(Ask(bar, PBM_GETRANGE, TRUE)),
              static_cast<int>(Ask(bar, PBM_GETRANGE, FALSE)));
  for (int id : {1, 2}) {
    HWND b = GetDlgItem(main, id);
    std::printf("button %d %s\n", id, b && IsWindowEnabled(b) ? "enabled" : "disabled");
  }
  for (int id : {1001, 1002, 1003}) {
    std::printf("label %d %s\n", id, Escape(TextOf(GetDlgItem(main, id))).c_str());
  }
  HWND list = GetDlgItem(main, kLogList);
  const int count = static_cast<int>(Ask(list, LB_GETCOUNT));
  std::printf("list %d\n", count);
  for (int i = 0; i < count; ++i) {
    std::printf("item %s\n", Escape(ItemText(list, LB_GETTEXTLEN, LB_GETTEXT, i)).c_str());
  }
  std::fflush(stdout);
  return 0;
}

// The station window's lines as "dlganswer station" prints them; empty when
// there is no station window.
std::vector<std::string> StationLines() {
  HWND station = FindStation();
  if (station == nullptr) return {};
  std::vector<std::string> lines;
  lines.push_back("title " + TextOf(station));
  lines.push_back("counts " + Escape(TextOf(GetDlgItem(station, kStationCounts))));
  lines.push_back("note " + Escape(TextOf(GetDlgItem(station, kStationNote))));
  for (int id : {1023, 1024, 2}) {
    HWND b = GetDlgItem(station, id);
    lines.push_back("button " + std::to_string(id) + " " + (b && IsWindowEnabled(b) ? "enabled" : "disabled") +
                    " " + TextOf(b));
  }
  HWND list = GetDlgItem(station, kStationList);
  const int rows = static_cast<int>(Ask(list, LVM_GETITEMCOUNT));
  for (int row = 0; row < rows; ++row) {
    std::string line = "row";
    for (int column = 0; column < kStationColumns; ++column) {
      line += (column == 0 ? " " : " | ") + CellText(list, row, column);
    }
    lines.push_back(line);
  }
  return lines;
}

void SayLines(const std::vector<std::string>& lines) {
  if (lines.empty()) Say("no station window");
  for (const std::string& line : lines) Say(line);
}

int Station() {
  const std::vector<std::string> lines = StationLines();
  SayLines(lines);
  return lines.empty() ? 1 : 0;
}

// Whether LINE begins with PATTERN, a "*" in it standing for any text
// without "|" (within one cell of a row).
bool BeginsWith(const char* pattern, const char* line) {
  for (; *pattern != '\0'; ++pattern, ++line) {
    if (*pattern == '*') {
      for (;; ++line) {
        if (BeginsWith(pattern + 1, line)) return true;
        if (*line == '\0' || *line == '|') return false;
      }
    }
    if (*pattern != *line) return false;
  }
  return true;
}

// Looks at the station window every half second, within this one process
// (a Wine process's start costs an emulated processor seconds), until one
// of its lines begins with PATTERN; prints the lines it matched in, or the
// last ones seen after SECONDS with exit code 1.
int StationWait(const std::string& pattern, DWORD seconds) {
  const DWORD start = GetTickCount();
  std::vector<std::string> lines;
  for (;;) {
    lines = StationLines();
    for (const std::string& line : lines) {
      if (BeginsWith(pattern.c_str(), line.c_str())) {
        SayLines(lines);
        return 0;
      }
    }
    if (GetTickCount() - start >= seconds * 1000) break;
    Sleep(500);
  }
  SayLines(lines);
  return 1;
}

int Click(int id) {
  HWND main = FindMain();
  if (main == nullptr) main = FindStation();
  if (main == nullptr) {
    Say("no main dialog");
    return 1;
  }
  if (!Press(main, id)) {
    Say("button " + std::to_string(id) + " missing or disabled");
    return 1;
  }
  Say("clicked " + std::to_string(id));
  return 0;
}

int About() {
  HWND main = FindMain();
  if (main == nullptr) {
    Say("no main dialog");
    return 1;
  }
  PostMessageA(main, WM_SYSCOMMAND, kAboutCommand, 0);
  for (int i = 0; i < 50; ++i) {
    Sleep(100);
    for (HWND d : TopLevelDialogs()) {
      if (d == main || IsWarning(d) || GetDlgItem(d, IDOK) == nullptr) continue;
      if (TextOf(d).compare(0, 6, "About ") != 0) continue;
      std::string texts;
      for (HWND child : Children(d)) {
        const LONG kind = GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK;
        const bool picture = kind == SS_ICON || kind == SS_BITMAP;
        if (ClassOf(child) == "Static" && !picture && !TextOf(child).empty()) texts += " " + TextOf(child);
      }
      Say("ABOUT " + TextOf(d) + ":" + texts);
      Press(d, IDOK);
      return 0;
    }
  }
  Say("no About box");
  return 1;
}

std::vector<HWND> MenuPopups() { return VisibleTopLevel("#32768"); }

// Keys go to the main window's queue, where the menu's own loop reads them.
void Key(HWND window, WPARAM key) {
  PostMessageA(window, WM_KEYDOWN, key, 1);
  PostMessageA(window, WM_KEYUP, key, 0xC0000001);
  Sleep(200);
}

int MenuLast() {
  HWND main = FindMain();
  if (main == nullptr) {
    Say("no main dialog");
    return 1;
  }
  PostMessageA(main, WM_SYSCOMMAND, SC_KEYMENU, ' ');
  for (int i = 0; i < 30; ++i) {
    Sleep(100);
    if (MenuPopups().empty()) continue;
    Say("SYSMENU opened");
    Key(main, VK_END);
    Key(main, VK_RETURN);
    return 0;
  }
  Say("SYSMENU none");
  return 1;
}

int AnswerOpen(const std::string& path, DWORD seconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < seconds * 1000) {
    for (HWND d : TopLevelDialogs()) {
      HWND name = GetDlgItem(d, kFileNameCombo);
      if (name == nullptr) name = GetDlgItem(d, kFileNameEdit);
      HWND types = GetDlgItem(d, kFileTypes);
      if (name == nullptr || types == nullptr || GetDlgItem(d, IDOK) == nullptr) continue;
      Sleep(300);  // let the dialog finish filling itself
      Say("OPEN " + TextOf(d) + " [" + ItemText(types, CB_GETLBTEXTLEN, CB_GETLBTEXT, 0) + "]");
      DWORD_PTR ignored = 0;
      SendMessageTimeoutA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), SMTO_ABORTIFHUNG,
                          kSendTimeoutMs, &ignored);
      Press(d, IDOK);
      return 0;
    }
    Sleep(100);
  }
  Say("no open-file dialog");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "probe") {
    Say("dlganswer ready");
    return 0;
  }
  if (command == "version") {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return 1;
    std::printf("VERSION %lu.%lu platform %lu %s\n", info.dwMajorVersion, info.dwMinorVersion,
                info.dwPlatformId, info.szCSDVersion);
    std::fflush(stdout);
    return 0;
  }
  if (command == "watch") {
    WatchOptions o;
    o.warning = ArgValue(argc, argv, "--warning", "leave");
    o.question = ArgValue(argc, argv, "--question", "leave");
    o.select = ArgValue(argc, argv, "--select", "leave");
    o.caption = ArgValue(argc, argv, "--caption", "Ramtune");
    o.okDelayMs = static_cast<DWORD>(std::atoi(ArgValue(argc, argv, "--ok-delay", "0").c_str()));
    o.seconds = static_cast<DWORD>(std::atoi(ArgValue(argc, argv, "--seconds", "900").c_str()));
    return Watch(o);
  }
  if (command == "wait-warning") {
    return WaitWarning(static_cast<DWORD>(std::atoi(ArgValue(argc, argv, "--seconds", "30").c_str())));
  }
  if (command == "state") return State();
  if (command == "station") {
    const std::string pattern = ArgValue(argc, argv, "--wait", "");
    if (pattern.empty()) return Station();
    return StationWait(pattern,
                       static_cast<DWORD>(std::atoi(ArgValue(argc, argv, "--seconds", "30").c_str())));
  }
  if (command == "click" && argc > 2) return Click(std::atoi(argv[2]));
  if (command == "about") return About();
  if (command == "menu-last") return MenuLast();
  if (command == "answer-open" && argc > 2) {
    return AnswerOpen(argv[2],
                      static_cast<DWORD>(std::atoi(ArgValue(argc, argv, "--seconds", "30").c_str())));
  }
  std::fprintf(stderr,
               "usage: dlganswer probe|version|watch|wait-warning|state|station [--wait PATTERN]|click ID|"
               "about|menu-last|"
               "answer-open PATH\n");
  return 2;
}
