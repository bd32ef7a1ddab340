// The console front end's command line, typed answers and exit status.
#include "app/console/options.h"
#include "app/console/progress_line.h"
#include "support/lines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace ramtune::console {
namespace {

ParsedOptions Parse(std::vector<std::string> args) { return ParseOptions(args); }

TEST(ConsoleOptions, AcceptsEveryDocumentedOption) {
  const ParsedOptions p = Parse({"--accept-warning", "--select", "2", "--no", "--script", "a b.script"});
  ASSERT_EQ(p.error, "");
  EXPECT_TRUE(p.options.acceptWarning);
  EXPECT_EQ(p.options.select, 2);
  EXPECT_EQ(p.options.yesNo, 0);
  EXPECT_EQ(p.options.scriptFile, "a b.script");
  EXPECT_FALSE(p.options.help);

  EXPECT_EQ(Parse({"--select=0"}).options.select, 0);
  EXPECT_EQ(Parse({"--restore", "x y_Data_1.txt", "--yes"}).options.restoreFile, "x y_Data_1.txt");
  EXPECT_EQ(Parse({"--yes", "--yes"}).options.yesNo, 1);
  EXPECT_TRUE(Parse({"-h"}).options.help);
  EXPECT_EQ(Parse({"--interface", "eth1"}).options.interfaceChoice, "eth1");
  EXPECT_EQ(Parse({"--interface=10.77.0.11"}).options.interfaceChoice, "10.77.0.11");
  EXPECT_TRUE(Parse({"--list-interfaces"}).options.listInterfaces);
  // A bench: every --interface in order, the report, the answers for every unit.
  const Options bench =
      Parse({"--all", "--interface", "eth1", "--interface=eth2", "--report", "r.json", "--yes"}).options;
  EXPECT_TRUE(bench.all);
  EXPECT_EQ(bench.interfaces, (std::vector<std::string>{"eth1", "eth2"}));
  EXPECT_EQ(bench.interfaceChoice, "");
  EXPECT_EQ(bench.reportFile, "r.json");
  EXPECT_EQ(Parse({"--all", "--interface", "eth1"}).options.interfaceChoice, "eth1");
  EXPECT_TRUE(Parse({"--version"}).options.version);
  // The runs that only read: one Data log to check against, none on a bench.
  EXPECT_TRUE(Parse({"--backup"}).options.backup);
  EXPECT_EQ(Parse({"--verify", "a_Data_1.txt"}).options.verifyFile, "a_Data_1.txt");
  EXPECT_TRUE(Parse({"--all", "--interface", "eth1", "--verify"}).options.verify);
  EXPECT_TRUE(Parse({"--all", "--interface", "eth1", "--backup"}).options.backup);
  EXPECT_EQ(Parse({"--bench-events", "3", "--bench-unit", "0011223344aB"}).options.benchChild.unit, "0011223344AB");
  // The unit ledger: its file, a restore into a unit under another MAC, the history.
  EXPECT_EQ(Parse({"--ledger", "/srv/a b/ledger.sqlite3", "--backup"}).options.ledger, "/srv/a b/ledger.sqlite3");
  for (const char* mac : {"00:11:22:aa:BB:cc", "00-11-22-AA-BB-CC", "001122aabbcc"}) {
    const ParsedOptions into = Parse({"--restore", "a_Data_1.txt", "--into", mac});
    EXPECT_EQ(into.error, "") << mac;
    EXPECT_EQ(into.options.intoMac, "001122AABBCC") << mac;
  }
  // The station: named slots in order, continuous, without the bell.
  const Options station = Parse({"--all", "--slot", "Port 1=eth1", "--slot=Port 2 = eth2", "--interface", "eth3",
                                 "--continuous", "--quiet"}).options;
  EXPECT_EQ(station.slots, (std::vector<std::string>{"Port 1=eth1", "Port 2 = eth2"}));
  EXPECT_EQ(station.interfaces, (std::vector<std::string>{"eth3"}));
  EXPECT_TRUE(station.continuous && station.quiet);
  EXPECT_TRUE(Parse({"--history"}).options.history);
  EXPECT_EQ(Parse({"--history", "--csv", "-", "--ledger", "l.sqlite3"}).options.csvFile, "-");
  // Nothing given: nothing answered in advance.
  const Options none = Parse({}).options;
  EXPECT_FALSE(none.acceptWarning);
  EXPECT_EQ(none.select, -1);
  EXPECT_EQ(none.yesNo, -1);
}

TEST(ConsoleOptions, RefusesWhatMakesNoSense) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--frobnicate"},
           {"-x"},
           {"run"},
           {"--select"},
           {"--select", "-1"},
           {"--select", "one"},
           {"--select", "1x"},
           {"--select="},
           {"--select", "99999999999"},
           {"--yes", "--no"},
           {"--no", "--yes"},
           {"--accept-warning=yes"},
           {"--script"},
           {"--script="},
           {"--restore"},
           {"--restore", "a_Data_1.txt", "--script", "b.script"},
           {"--interface"},
           {"--interface="},
           {"--list-interfaces=no"},
           {"--interface", "a", "--interface", "b"},
           {"--report", "r.json"},
           {"--all", "--restore", "a_Data_1.txt"},
           {"--all", "--script", "b.script"},
           {"--all", "--list-interfaces"},
           {"--all", "--select", "1"},
           {"--all", "--report="},
           {"--version=no"},
           {"--verify"},
           {"--backup", "--verify", "a_Data_1.txt"},
           {"--backup", "--restore", "a_Data_1.txt"},
           {"--verify", "a_Data_1.txt", "--script", "b.script"},
           {"--all", "--verify", "a_Data_1.txt"},
           {"--backup=no"},
           {"--bench-unit", "001122334455"},  // only for a run of a bench
           {"--bench-events", "3", "--bench-unit", "00:11:22:33:44:55"},
           {"--bench-events", "3", "--bench-unit", "00112233445"},
           {"--bench-events", "3", "--bench-unit", "00112233445G"},
           {"--ledger"},
           {"--into", "001122334455"},  // only with --restore
           {"--restore", "a_Data_1.txt", "--into", "0011223344"},
           {"--restore", "a_Data_1.txt", "--into", "00:11:22:33:44:5G"},
           {"--restore", "a_Data_1.txt", "--into", "00.11.22.33.44.55"},
           {"--csv", "h.csv"},  // only with --history
           {"--history", "--csv"},
           {"--history", "--restore", "a_Data_1.txt"},
           {"--history", "--all", "--interface", "eth1"},
           {"--slot", "Port 1=eth1"},  // only with --all
           {"--continuous"},
           {"--all", "--slot"},
           {"--all", "--quiet"},  // only with --continuous
           {"--all", "--interface", "eth1", "--continuous", "--backup"},
           {"--all", "--interface", "eth1", "--continuous", "--verify"},
       }) {
    std::string joined;
    for (const std::string& a : args) joined += a + " ";
    EXPECT_NE(Parse(args).error, "") << joined;
  }
  EXPECT_NE(Parse({"--bogus"}).error.find("--bogus"), std::string::npos);
  EXPECT_NE(Parse({"--restore", "a", "--into", "x"}).error.find("--into"), std::string::npos);
}

TEST(ConsoleAnswers, YesNoAndClose) {
  EXPECT_EQ(ParseYesNo("y"), Answer::Yes);
  EXPECT_EQ(ParseYesNo(" YES \r"), Answer::Yes);
  EXPECT_EQ(ParseYesNo("n"), Answer::No);
  EXPECT_EQ(ParseYesNo("No"), Answer::No);
  EXPECT_EQ(ParseYesNo("q"), Answer::Close);
  EXPECT_EQ(ParseYesNo("\x1b"), Answer::Close);
  EXPECT_EQ(ParseYesNo(""), Answer::Invalid);
  EXPECT_EQ(ParseYesNo("yep"), Answer::Invalid);
  EXPECT_EQ(ParseYesNo("y n"), Answer::Invalid);
}

TEST(ConsoleAnswers, SelectionDialog) {
  // Enter alone confirms the preselected item 0.
  EXPECT_EQ(ParseSelection("", 2, 0).kind, SelectionAnswer::Ok);
  EXPECT_EQ(ParseSelection("", 2, 0).index, 0);
  // An empty list has nothing selected: OK reports -1.
  EXPECT_EQ(ParseSelection("", 0, -1).index, -1);
  EXPECT_EQ(ParseSelection(" 1 ", 2, 0).index, 1);
  EXPECT_EQ(ParseSelection("q", 2, 0).kind, SelectionAnswer::Close);
  EXPECT_EQ(ParseSelection("\x1b", 2, 0).index, -1);
  for (const char* wrong : {"2", "-1", "1.0", "x", "0 1"}) {
    EXPECT_EQ(ParseSelection(wrong, 2, 0).kind, SelectionAnswer::Invalid) << wrong;
  }
}

TEST(ConsoleAnswers, MainDialogCommands) {
  EXPECT_EQ(ParseCommand("r"), Command::Retry);
  EXPECT_EQ(ParseCommand("Retry"), Command::Retry);
  EXPECT_EQ(ParseCommand(" e"), Command::Exit);
  EXPECT_EQ(ParseCommand("?"), Command::Help);
  EXPECT_EQ(ParseCommand(""), Command::None);
  EXPECT_EQ(ParseCommand("x"), Command::Invalid);
  EXPECT_EQ(ParseCommand("re"), Command::Invalid);
}

// The one outcome table: every outcome has one row, its words name it alone,
// the numbers users rely on stay, and the help and the README are made from it.
TEST(OutcomeTable, EveryOutcomeOnceWithTheStatusesUsersRelyOn) {
  using upgrade::RunOutcome;
  const std::vector<std::pair<RunOutcome, int>> statuses = {
      {RunOutcome::Completed, 0},       {RunOutcome::BackedUp, 0},        {RunOutcome::CheckSame, 0},
      {RunOutcome::Failed, 2},          {RunOutcome::NoRouter, 3},        {RunOutcome::DataLogNotWritten, 4},
      {RunOutcome::DataLogRefused, 5},  {RunOutcome::UnitChanged, 6},     {RunOutcome::NotResumed, 6},
      {RunOutcome::Interrupted, 6},     {RunOutcome::OtherUnit, 7},       {RunOutcome::CheckDiffers, 8},
      {RunOutcome::WarningRefused, 10}, {RunOutcome::SelectionClosed, 10}, {RunOutcome::StartupRefused, 10},
      {RunOutcome::FileNotChosen, 10},  {RunOutcome::UpToDate, 11},       {RunOutcome::ExitPressed, 11},
      {RunOutcome::UtilityKept, 11},    {RunOutcome::StartupFailed, 11},  {RunOutcome::CommandLineError, 64},
      {RunOutcome::InputMissing, 66},   {RunOutcome::Unfinished, 6},      {RunOutcome::LedgerUnusable, 4},
      {RunOutcome::UnitBusy, 2},
  };
  EXPECT_EQ(statuses.size(), std::size(upgrade::kOutcomeTable));
  const std::string help = upgrade::ExitStatusHelp();
  for (const auto& [outcome, status] : statuses) {
    const upgrade::OutcomeRow& row = upgrade::Row(outcome);
    const std::string words = row.words;
    EXPECT_EQ(row.outcome, outcome) << words;  // a missing row would fall back to another
    EXPECT_EQ(row.status, status) << words;
    // Ramtune.exe ends itself with 0 or 1; the console's 10 and 11 are those.
    EXPECT_EQ(row.programCode, status == 11 ? 1 : 0) << words;
    RunOutcome back = RunOutcome::Failed;
    EXPECT_TRUE(upgrade::OutcomeOfWords(words, &back)) << words;
    EXPECT_EQ(back, outcome) << words;
    EXPECT_NE(help.find(std::string(status < 10 ? "   " : "  ") + std::to_string(status) + "  "), std::string::npos)
        << words;
    // Once the unit is changed, only a completion is not 6.
    EXPECT_EQ(upgrade::SessionExitStatus(outcome, false), status) << words;
    EXPECT_EQ(upgrade::SessionExitStatus(outcome, true), outcome == RunOutcome::Completed ? 0 : 6) << words;
  }
  // The bench: up to date is done, whatever other ending has status 11.
  EXPECT_TRUE(upgrade::IsDone(RunOutcome::UpToDate));
  EXPECT_FALSE(upgrade::IsDone(RunOutcome::ExitPressed));
  EXPECT_FALSE(upgrade::IsDone(RunOutcome::NotResumed));
  RunOutcome none;
  EXPECT_FALSE(upgrade::OutcomeOfWords("", &none));
  for (size_t i = 0; i < help.size();) {
    const size_t end = help.find('\n', i);
    EXPECT_LE(end - i, 78u) << help.substr(i, end - i);
    i = end + 1;
  }
}

TEST(OutcomeTable, TheConsoleReadmeHoldsTheTableAsMade) {
  std::ifstream in(test::SourcePath("app/console/README-console.md"));
  std::stringstream all;
  all << in.rdbuf();
  EXPECT_NE(all.str().find(upgrade::ExitStatusMarkdown()), std::string::npos)
      << "README-console.md's exit status table should read:\n" << upgrade::ExitStatusMarkdown();
}

TEST(ConsoleDrawing, ProgressBarAndTextLines) {
  EXPECT_EQ(ProgressBar(0, 0, 20), "[--------------------]  0/20");
  EXPECT_EQ(ProgressBar(6, 0, 20), "[######--------------]  6/20");
  EXPECT_EQ(ProgressBar(20, 0, 20), "[####################] 20/20");
  EXPECT_EQ(ProgressBar(25, 0, 20), "[####################] 25/20");
  EXPECT_EQ(ProgressBar(-1, 0, 20), "[--------------------] -1/20");

  EXPECT_EQ(TextLines("Loss file:\n/a/b"), (std::vector<std::string>{"Loss file:", "/a/b"}));
  EXPECT_EQ(TextLines("a\r\nb\r\n\r\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(TextLines("a\rb"), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace ramtune::console
