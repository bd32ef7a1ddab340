// Who answers the dialogs that the console shows: the user at the prompt, or
// the command line (--accept-warning, --select, --yes/--no, --script) in
// front of the user. The terminal shows every dialog the same way either
// way; only the answer comes from elsewhere. Plain logic, no system calls.
#pragma once

#include <functional>
#include <string>

#include "app/console/options.h"
#include "core/dialogs.h"

namespace ramtune::console {

class Answerer {
 public:
  virtual ~Answerer() = default;
  // The Yes/No question just shown.
  virtual bool YesNo() = 0;
  // The same for a question only the user may answer (Display::AskYesNoInPerson).
  virtual bool YesNoInPerson() { return YesNo(); }
  virtual void Warning(WarningDialogModel& dialog) = 0;
  virtual void Selection(SelectDeviceModel& dialog) = 0;
  // The open-file dialog just shown; empty for Cancel.
  virtual std::string File() = 0;
};

// The command line's answers; a dialog it gives no answer for goes to
// `asked` (the prompt). Each answer is noted below its dialog.
class CommandLineAnswers : public Answerer {
 public:
  using Note = std::function<void(const std::string&)>;
  CommandLineAnswers(const Options& options, Answerer& asked, Note note)
      : options_(options), asked_(asked), note_(std::move(note)) {}

  bool YesNo() override {
    if (options_.yesNo == -1) return asked_.YesNo();
    note_(options_.yesNo == 1 ? "  answered Yes (--yes)" : "  answered No (--no)");
    return options_.yesNo == 1;
  }

  // --no answers No; --yes leaves the question to the user.
  bool YesNoInPerson() override {
    if (options_.yesNo != 0) return asked_.YesNoInPerson();
    note_("  answered No (--no)");
    return false;
  }

  void Warning(WarningDialogModel& dialog) override {
    if (!options_.acceptWarning) return asked_.Warning(dialog);
    dialog.OnYes();
    note_("  answered Yes (--accept-warning)");
  }

  void Selection(SelectDeviceModel& dialog) override {
    const int index = options_.select;
    if (index < 0) return asked_.Selection(dialog);
    if (index < static_cast<int>(dialog.Items().size())) {
      dialog.OnOk(index);
      note_("  chose [" + std::to_string(index) + "] (--select)");
    } else {
      note_("  --select " + std::to_string(index) + ": the list has no such router; closed without a choice");
    }
  }

  std::string File() override {
    // "-": the script's path is asked.
    if (options_.scriptFile.empty() || options_.scriptFile == "-") return asked_.File();
    note_("  " + options_.scriptFile + " (--script)");
    return options_.scriptFile;
  }

 private:
  const Options options_;
  Answerer& asked_;
  Note note_;
};

}  // namespace ramtune::console
