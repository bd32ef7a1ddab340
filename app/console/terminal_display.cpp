// The console's display: what the dialog shows, drawn as lines on the
// terminal (with the progress line at the bottom of a live one), and its
// dialogs asked at the prompt.
#include "app/console/front_end.h"

#include <cstdio>

#include "app/bench/child_channel.h"
#include "core/dialogs.h"
#include "platform/platform.h"

namespace ramtune::console {
namespace {

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

ShownState FrontEnd::Shown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_;
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
  if (bench_ != nullptr) return;  // a bench's run: the bench shows it, told by its channel
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
  // Called between messages; the clock on the line shows seconds.
  if (!screen_.Live() || platform::ProcessClockMs() - tickedMs_ < kTickMs) return;
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
  return answers_->YesNo();
}

bool FrontEnd::AskYesNoInPerson(const std::string& question) {
  PrintBlock("Question", question);
  return answers_->YesNoInPerson();
}

void FrontEnd::LogListAdd(const std::string& line) { Print(line); }

// The terminal keeps what it printed: a clear takes nothing away.
void FrontEnd::LogListClear() {}
void FrontEnd::LogListShowAgain(const std::vector<std::string>& /*lines*/) {}

void FrontEnd::RunWarningDialog(WarningDialogModel& dialog) {
  PrintBlock(std::string(kWindowTitle) + " - Warnings",
             WarningDialogModel::Text1() + "\n\n" + WarningDialogModel::Text2() + "\n\n" +
                 WarningDialogModel::Prompt());
  answers_->Warning(dialog);
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
  answers_->Selection(dialog);
}

std::string FrontEnd::ChooseFile(const std::string& filter, const std::string& initialFolder) {
  PrintBlock("Open", "Files: " + filter + "\nFolder: " + initialFolder);
  return answers_->File();
}

}  // namespace ramtune::console
