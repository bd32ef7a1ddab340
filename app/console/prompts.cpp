// The console's prompts: lines typed at standard input, and the answers the
// user types to the dialogs the terminal shows (see Answerer).
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "app/console/front_end.h"

namespace ramtune::console {

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

// ---- the user's answers -----------------------------------------------------------------

bool FrontEnd::Ask(const std::string& prompt, std::string* line) {
  screen_.BeginPrompt(prompt);
  bool answered = false;
  for (;;) {
    // While a changed unit's run waits for an answer, a Ctrl+C is said (and a
    // second one ends the program) as at any other time, not once the
    // prompt has closed.
    input_.Wait(guard_ != nullptr ? kStopLookMs : -1);
    if (guard_ != nullptr) PollGuard();
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

bool FrontEnd::TypedYesNo(const char* nobodyNote) {
  std::string line;
  while (Asking()) {
    if (!Ask("[y] Yes  [n] No: ", &line)) break;
    const Answer answer = ParseYesNo(line);
    if (answer == Answer::Yes) return true;
    if (answer == Answer::No) return false;
    Print("Please type y (Yes) or n (No).");
  }
  Print(nobodyNote);
  return false;
}

bool FrontEnd::YesNo() { return TypedYesNo("  answered No (nobody to ask; --yes answers Yes)"); }
bool FrontEnd::YesNoInPerson() { return TypedYesNo("  answered No (nobody to ask; --yes does not answer this question)"); }

void FrontEnd::Warning(WarningDialogModel& dialog) {
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

void FrontEnd::Selection(SelectDeviceModel& dialog) {
  const int count = static_cast<int>(dialog.Items().size());
  const int current = dialog.InitialSelection();
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

std::string FrontEnd::File() {
  std::string line;
  if (!Asking() || !Ask("File path (Enter alone = Cancel): ", &line)) {
    Print("  cancelled");
    return "";
  }
  return detail::Trim(line);
}

}  // namespace ramtune::console
