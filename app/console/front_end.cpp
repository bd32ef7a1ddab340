#include "app/console/front_end.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "app/console/bench_child.h"
#include "core/dialogs.h"
#include "app/upgrade_tool_dlg.h"
#include "platform/platform.h"

namespace ramtune::console {
namespace {

const char* PictureName(int resourceId) {
  switch (resourceId) {
    case kPicturePass: return "PASS";
    case kPictureFail: return "FAIL";
    case kPicturePause: return "PAUSE";
    case kPictureLogo: return "logo";
    default: return "unknown";
  }
}

// The endings stand out on a terminal.
bool EndingColour(int resourceId, Colour* colour) {
  switch (resourceId) {
    case kPicturePass: *colour = Colour::Green; return true;
    case kPictureFail: *colour = Colour::Red; return true;
    case kPicturePause: *colour = Colour::Yellow; return true;
    default: return false;
  }
}

}  // namespace

// ---- typed lines --------------------------------------------------------------------

void LineInput::ReadAvailable() {
  char buffer[4096];
  const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
  if (n > 0) {
    pending_.append(buffer, static_cast<size_t>(n));
  } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
    ended_ = true;
  }
}

bool LineInput::Wait(int timeoutMs) {
  if (pending_.find('\n') != std::string::npos || ended_) return true;
  pollfd p{STDIN_FILENO, POLLIN, 0};
  const int ready = poll(&p, 1, timeoutMs);
  if (ready > 0) ReadAvailable();
  return pending_.find('\n') != std::string::npos || ended_;
}

bool LineInput::Take(std::string* line) {
  size_t end = pending_.find('\n');
  if (end == std::string::npos) {
    // The last line of an input that ends without a line end still counts.
    if (!ended_ || pending_.empty()) return false;
    end = pending_.size();
  }
  *line = pending_.substr(0, end);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  pending_.erase(0, end < pending_.size() ? end + 1 : end);
  return true;
}

// ---- front end ------------------------------------------------------------------------

FrontEnd::FrontEnd(const Options& options, bool interactive, TerminalCaps caps)
    : options_(options),
      interactive_(interactive),
      caps_(caps),
      screen_(stdout, caps.live, [] { return TerminalWidth(STDOUT_FILENO); }),
      uiThread_(std::this_thread::get_id()) {}

void FrontEnd::Say(std::FILE* stream, const std::string& text) { screen_.Write(stream, text + "\n"); }

void FrontEnd::Settle() {
  StopClock();
  screen_.Release();
}

void FrontEnd::PrintBlock(const std::string& heading, const std::string& text) {
  std::string block = "+-- " + heading;
  if (heading.size() < 59) block += " " + std::string(59 - heading.size(), '-');
  for (const std::string& line : TextLines(text)) block += "\n| " + line;
  block += "\n+" + std::string(64, '-');
  Print(block);
}

bool FrontEnd::Ask(const std::string& prompt, std::string* line) {
  screen_.BeginPrompt(prompt);
  bool answered = false;
  for (;;) {
    input_.Wait(-1);
    if (input_.Take(line)) {
      answered = true;
      break;
    }
    if (input_.Ended()) {
      Print("");
      break;
    }
  }
  screen_.EndPrompt();
  return answered;
}

ShownState FrontEnd::Shown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_;
}

// ---- clock and event queue -----------------------------------------------------------------

int64_t FrontEnd::PerformanceCounter() { return platform::PerformanceCounter(); }
int64_t FrontEnd::PerformanceFrequency() { return platform::PerformanceFrequency(); }
int64_t FrontEnd::ProcessClockMs() { return platform::ProcessClockMs(); }
void FrontEnd::Sleep(int ms) { platform::SleepMs(ms); }
std::string FrontEnd::LocalTimeStamp() { return platform::LocalTimeStamp(); }

bool FrontEnd::DueTimer(int* timerId) {
  const int64_t now = platform::ProcessClockMs();
  bool found = false;
  int64_t earliest = 0;
  for (const auto& [id, timer] : timers_) {
    if (timer.dueMs <= now && (!found || timer.dueMs < earliest)) {
      found = true;
      earliest = timer.dueMs;
      *timerId = id;
    }
  }
  return found;
}

int FrontEnd::MsToNextTimer() {
  if (timers_.empty()) return -1;
  int64_t earliest = timers_.begin()->second.dueMs;
  for (const auto& entry : timers_) earliest = std::min(earliest, entry.second.dueMs);
  const int64_t wait = earliest - platform::ProcessClockMs();
  return wait < 0 ? 0 : static_cast<int>(wait);
}

bool FrontEnd::DispatchOneMessage() {
  if (bench_ != nullptr && dlg_ != nullptr && bench_->Poll()) {
    Print("[System]-Stopped at the bench (Ctrl+C) before anything was changed on this unit.");
    Finish(kExitRunFailed);
  }
  // Typed lines come before timers, as input comes before WM_TIMER in a
  // window's queue.
  if (Asking()) {
    std::string line;
    input_.Wait(0);
    if (input_.Take(&line)) {
      screen_.LineTyped();
      choicesShown_ = false;
      HandleCommand(line);
      return true;
    }
  }
  int id = 0;
  if (DueTimer(&id)) {
    // Window timers repeat until killed; the handlers kill theirs first.
    Timer& timer = timers_[id];
    timer.dueMs = platform::ProcessClockMs() + timer.periodMs;
    choicesShown_ = false;
    if (dlg_ != nullptr) dlg_->OnTimer(id);
    return true;
  }
  Tick();
  // Nothing waiting. The run's busy waits call this in a tight loop; a short
  // nap here keeps them from burning a whole processor, at the cost of at
  // most a millisecond of lateness.
  if (Asking()) {
    input_.Wait(1);
  } else {
    platform::SleepMs(1);
  }
  return false;
}

int FrontEnd::RunEventLoop() {
  for (;;) {
    if (DispatchOneMessage()) continue;
    if (timers_.empty()) {
      // Idle: the search series or the run has ended. The progress line
      // stays as it ended; the user types below it.
      if (!Asking() && dlg_ != nullptr) Finish(ExitStatusFor(dlg_->LastEnding()));
      Settle();
      ShowChoices();
    }
    const int waitMs = MsToNextTimer();
    if (Asking()) {
      input_.Wait(waitMs);
    } else if (waitMs > 0) {
      platform::SleepMs(waitMs);
    }
  }
}

void FrontEnd::ShowChoices() {
  if (choicesShown_) return;
  choicesShown_ = true;
  const ShownState s = Shown();
  std::string choices;
  if (s.retryEnabled) choices += "[r] Retry  ";
  if (s.exitEnabled) choices += "[e] Exit  ";
  Print(choices + "[?] help");
}

void FrontEnd::HandleCommand(const std::string& line) {
  const ShownState s = Shown();
  switch (ParseCommand(line)) {
    case Command::None:
      ShowChoices();
      break;
    case Command::Retry:
      if (!s.retryEnabled) {
        Print("Retry is disabled now.");
        break;
      }
      if (dlg_ != nullptr) dlg_->OnRetry();
      break;
    case Command::Exit:
      if (!s.exitEnabled) {
        Print("Exit is disabled now.");
        break;
      }
      if (dlg_ == nullptr) break;
      exitTyped_ = true;
      dlg_->OnCancel();
    case Command::Help:
      Print("Type r and Enter for Retry, e and Enter for Exit (each when enabled).");
      ShowChoices();
      break;
    case Command::Invalid:
      Print("Unknown input \"" + line + "\": type r (Retry), e (Exit) or ? (help).");
      break;
  }
}

void FrontEnd::PrintLogPaths() {
  if (dlg_ == nullptr) return;
  if (!dlg_->logs.ProcessLogPath.empty() && platform::FileExists(dlg_->logs.ProcessLogPath)) {
    Print("Process log: " + dlg_->logs.ProcessLogPath);
  }
  if (!dlg_->logs.DataLogPath.empty() && platform::FileExists(dlg_->logs.DataLogPath)) {
    Print("Data log: " + dlg_->logs.DataLogPath);
  }
}

void FrontEnd::FailAndExit(const std::string& message, int status) {
  std::fprintf(stderr, "ramtune: %s\n", message.c_str());
  Finish(status);
}

void FrontEnd::Finish(int status) {
  if (bench_ != nullptr) bench_->Finish(status);
  Settle();
  PrintLogPaths();
  Print("ramtune: exit status " + std::to_string(status) + ": " + ExitMeaning(status));
  platform::ExitProcess(status);
}

// ---- display -----------------------------------------------------------------------------------

void FrontEnd::SetTitle(const std::string& title) {
  if (bench_ == nullptr) Print("=== " + title + " ===");
}

void FrontEnd::SetProgressRange(int low, int high, int /*step*/) {
  std::lock_guard<std::mutex> lock(mutex_);
  view_.low = low;
  view_.high = high;
}

void FrontEnd::SetProgress(int position) {
  RunView view;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.progress = position;
    view_.position = position;
    view = view_;
  }
  if (bench_ != nullptr) {
    bench_->Send(bench::EventKind::Progress, {std::to_string(position), std::to_string(view.high)});
    return;
  }
  if (screen_.Live()) {
    ShowProgressLine();
  } else {
    Print("Progress " + ProgressBar(position, view.low, view.high));
  }
}

void FrontEnd::SetPhase(RunPhase phase, int countdownMs) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    view_.SetPhase(phase, countdownMs, platform::ProcessClockMs());
  }
  if (bench_ != nullptr) bench_->Send(bench::EventKind::Phase, {RunPhaseWords(phase), std::to_string(countdownMs)});
  ShowProgressLine();
}

void FrontEnd::ShowProgressLine() {
  if (!screen_.Live()) return;
  RunView view;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    view = view_;
  }
  const int64_t now = platform::ProcessClockMs();
  tickedMs_ = now;
  screen_.Show([view, now](int width) { return std::vector<std::string>{ProgressLine(view, now, width)}; });
}

void FrontEnd::Tick() {
  // Called between the run's waits, which come every millisecond or so; the
  // clock on the line shows seconds.
  if (!screen_.Live() || platform::ProcessClockMs() - tickedMs_ < 200) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!view_.running) return;
  }
  ShowProgressLine();
}

void FrontEnd::StopClock() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!view_.running) return;
    view_.Stop(platform::ProcessClockMs());
  }
  ShowProgressLine();
}

void FrontEnd::SetPicture(int resourceId) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.picture = resourceId;
  }
  if (bench_ != nullptr && resourceId != kPictureLogo) bench_->Send(bench::EventKind::Picture, {PictureName(resourceId)});
  const std::string line = std::string("Status: ") + PictureName(resourceId);
  Colour colour = Colour::Green;
  Print(caps_.colour && EndingColour(resourceId, &colour) ? Coloured(line, colour) : line);
}

void FrontEnd::SetLabel(int /*controlId*/, const std::string& text) { Print(text); }

void FrontEnd::EnableButton(int controlId, bool enabled) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (controlId == kButtonRetry) shown_.retryEnabled = enabled;
  if (controlId == kButtonExit) shown_.exitEnabled = enabled;
}

bool FrontEnd::ButtonEnabled(int controlId) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (controlId == kButtonRetry) return shown_.retryEnabled;
  if (controlId == kButtonExit) return shown_.exitEnabled;
  return false;
}

bool FrontEnd::ReadIpAddress(std::string* dotted) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!ipSet_) return false;
  *dotted = std::to_string(ipAddress_ >> 24) + "." + std::to_string((ipAddress_ >> 16) & 0xFF) + "." +
            std::to_string((ipAddress_ >> 8) & 0xFF) + "." + std::to_string(ipAddress_ & 0xFF);
  return true;
}

void FrontEnd::SetIpAddress(uint32_t address) {
  std::lock_guard<std::mutex> lock(mutex_);
  ipAddress_ = address;
  ipSet_ = true;
}

void FrontEnd::MessageBox(const std::string& text) {
  PrintBlock("Message", text);
  // A box of the listener thread cannot wait for the user: the run goes on.
  if (std::this_thread::get_id() == uiThread_ && Asking()) {
    std::string line;
    Ask("[Enter] OK ", &line);
  } else {
    Print("  (OK)");
  }
}

bool FrontEnd::AskYesNo(const std::string& question) {
  PrintBlock("Question", question);
  if (options_.yesNo != -1) {
    Print(options_.yesNo == 1 ? "  answered Yes (--yes)" : "  answered No (--no)");
    return options_.yesNo == 1;
  }
  std::string line;
  while (Asking()) {
    if (!Ask("[y] Yes  [n] No: ", &line)) break;
    const Answer answer = ParseYesNo(line);
    if (answer == Answer::Yes) return true;
    if (answer == Answer::No) return false;
    Print("Please type y (Yes) or n (No).");
  }
  Print("  answered No (nobody to ask; --yes answers Yes)");
  return false;
}

void FrontEnd::LogListAdd(const std::string& line) { Print(line); }

// The terminal keeps what it printed: a clear takes nothing away.
void FrontEnd::LogListClear() {}
void FrontEnd::LogListShowAgain(const std::vector<std::string>& /*lines*/) {}

void FrontEnd::RunWarningDialog(WarningDialogModel& dialog) {
  PrintBlock(std::string(kWindowTitle) + " - Warnings",
             WarningDialogModel::Text1() + "\n\n" + WarningDialogModel::Text2() + "\n\n" +
                 WarningDialogModel::Prompt());
  if (options_.acceptWarning) {
    dialog.OnYes();
    Print("  answered Yes (--accept-warning)");
    return;
  }
  std::string line;
  while (Asking()) {
    if (!Ask("[y] Yes  [n] No  [q] close: ", &line)) break;
    switch (ParseYesNo(line)) {
      case Answer::Yes: dialog.OnYes(); return;
      case Answer::No: dialog.OnNo(); return;
      case Answer::Close: return;
      case Answer::Invalid: Print("Please type y (Yes), n (No) or q (close)."); break;
    }
  }
  dialog.OnNo();
  Print("  answered No (nobody to ask; --accept-warning answers Yes)");
}

void FrontEnd::RunSelectDeviceDialog(SelectDeviceModel& dialog) {
  const std::vector<std::string> items = dialog.Items();
  const int current = dialog.InitialSelection();
  std::string text = std::string(SelectDeviceModel::GroupTitle()) + "\nIP Address:";
  for (size_t i = 0; i < items.size(); ++i) {
    text += "\n  [" + std::to_string(i) + "] " + items[i];
    if (static_cast<int>(i) == current) text += "  (selected)";
  }
  PrintBlock(SelectDeviceModel::Title(), text);
  const int count = static_cast<int>(items.size());
  if (options_.select >= 0) {
    if (options_.select < count) {
      dialog.OnOk(options_.select);
      Print("  chose [" + std::to_string(options_.select) + "] (--select)");
    } else {
      Print("  --select " + std::to_string(options_.select) +
            ": the list has no such router; closed without a choice");
    }
    return;
  }
  std::string line;
  const std::string last = count > 0 ? std::to_string(count - 1) : std::string("-");
  while (Asking()) {
    if (!Ask("[Enter] OK  [0-" + last + "] choose  [q] close: ", &line)) break;
    const SelectionAnswer answer = ParseSelection(line, count, current);
    if (answer.kind == SelectionAnswer::Ok) {
      dialog.OnOk(answer.index);
      return;
    }
    if (answer.kind == SelectionAnswer::Close) return;
    Print("Please type a number from 0 to " + last + ", Enter alone for OK, or q to close.");
  }
  Print("  closed without a choice (nobody to ask; --select N chooses)");
}

std::string FrontEnd::ChooseFile(const std::string& filter, const std::string& initialFolder) {
  PrintBlock("Open", "Files: " + filter + "\nFolder: " + initialFolder);
  if (!options_.scriptFile.empty() && options_.scriptFile != "-") {
    Print("  " + options_.scriptFile + " (--script)");
    return options_.scriptFile;
  }
  std::string line;
  if (!Asking() || !Ask("File path (Enter alone = Cancel): ", &line)) {
    Print("  cancelled");
    return "";
  }
  return detail::Trim(line);
}

void FrontEnd::SetTimer(int timerId, int ms) {
  timers_[timerId] = Timer{ms, platform::ProcessClockMs() + ms};
}

void FrontEnd::KillTimer(int timerId) { timers_.erase(timerId); }

// ---- host ------------------------------------------------------------------------------------------

void FrontEnd::EndProcess(int code) {
  if (exitTyped_ && dlg_ != nullptr) Finish(ExitStatusAfterExit(dlg_->LastEnding()));
  if (dlg_ != nullptr && dlg_->LastEnding().kind == Ending::DataLogRefused) {
    Say(stderr, "ramtune: " + dlg_->LastEnding().detail);
    Finish(ExitStatusFor(dlg_->LastEnding()));
  }
  Finish(ExitStatusFor(Ending::Program(code)));
}

intptr_t FrontEnd::FindTopLevelWindow(const std::string& /*title*/) { return 0; }

void FrontEnd::CloseWindowSync(intptr_t /*window*/) {}

}  // namespace ramtune::console
