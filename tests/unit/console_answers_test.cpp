// The console's dialogs answered by the command line in front of the prompt.
#include "app/console/answers.h"

#include <gtest/gtest.h>

namespace ramtune::console {
namespace {

// The prompt: records that it was asked and answers in its own way.
struct Prompt : Answerer {
  std::string asked;
  bool YesNo() override { return asked += "yesno ", true; }
  bool YesNoInPerson() override { return asked += "in-person ", true; }
  void Warning(WarningDialogModel& dialog) override { asked += "warning ", dialog.OnYes(); }
  void Selection(SelectDeviceModel& dialog) override { asked += "selection ", dialog.OnOk(0); }
  std::string File() override { return asked += "file ", "typed.script"; }
};

struct Case {
  const char* name;
  std::vector<std::string> args;
  // What came of each dialog: the Yes/No answer, the warning, the choice among
  // two routers, the file.
  bool yes;
  bool accepted;
  int selected;
  std::string file;
  bool inPerson;      // the question only the user answers
  std::string asked;  // what went to the prompt
  std::vector<std::string> notes;
};

TEST(ConsoleAnswers, TheCommandLineAnswersWhatItGivesThePromptTheRest) {
  const std::vector<Case> cases = {
      {"nothing given", {}, true, true, 0, "typed.script", true, "yesno warning selection file in-person ", {}},
      {"every answer",
       {"--yes", "--accept-warning", "--select", "1", "--script", "a.script"},
       true, true, 1, "a.script", true, "in-person ",
       {"  answered Yes (--yes)", "  answered Yes (--accept-warning)", "  chose [1] (--select)",
        "  a.script (--script)"}},
      {"--no", {"--no"}, false, true, 0, "typed.script", false, "warning selection file ",
       {"  answered No (--no)", "  answered No (--no)"}},
      {"no such router", {"--select", "2"}, true, true, -1, "typed.script", true, "yesno warning file in-person ",
       {"  --select 2: the list has no such router; closed without a choice"}},
      {"script path asked", {"--script", "-"}, true, true, 0, "typed.script", true,
       "yesno warning selection file in-person ", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ParsedOptions parsed = ParseOptions(c.args);
    ASSERT_EQ(parsed.error, "");
    Prompt prompt;
    std::vector<std::string> notes;
    CommandLineAnswers answers(parsed.options, prompt, [&notes](const std::string& note) { notes.push_back(note); });
    EXPECT_EQ(answers.YesNo(), c.yes);
    WarningDialogModel warning;
    answers.Warning(warning);
    EXPECT_EQ(warning.Accepted, c.accepted);
    SelectDeviceModel selection;
    selection.SetList("10.0.0.2;10.0.0.3");
    answers.Selection(selection);
    EXPECT_EQ(selection.SelectedIndex, c.selected);
    EXPECT_EQ(answers.File(), c.file);
    EXPECT_EQ(answers.YesNoInPerson(), c.inPerson);
    EXPECT_EQ(prompt.asked, c.asked);
    EXPECT_EQ(notes, c.notes);
  }
}

}  // namespace
}  // namespace ramtune::console
