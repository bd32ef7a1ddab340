// The console front end's command line, the answers a user types at its
// prompts and the exit status it reports. Plain text handling only, no
// system calls, so that the unit tests use this header as it stands.
#pragma once

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "upgrade/outcome.h"

namespace ramtune::console {

// Exit statuses of `ramtune` that the console names itself; every status and
// what it means is in the one outcome table (upgrade/outcome.h).
using upgrade::RunOutcome;
constexpr int kExitCompleted = upgrade::ExitStatusOf(RunOutcome::Completed);
constexpr int kExitRunFailed = upgrade::ExitStatusOf(RunOutcome::Failed);
constexpr int kExitNoRouter = upgrade::ExitStatusOf(RunOutcome::NoRouter);
constexpr int kExitUnitChanged = upgrade::ExitStatusOf(RunOutcome::UnitChanged);
constexpr int kExitCheckDiffers = upgrade::ExitStatusOf(RunOutcome::CheckDiffers);
constexpr int kExitProgramBase = upgrade::ExitStatusOf(RunOutcome::WarningRefused);  // the program's code 0
constexpr int kExitUsage = upgrade::ExitStatusOf(RunOutcome::CommandLineError);
constexpr int kExitNoInput = upgrade::ExitStatusOf(RunOutcome::InputMissing);
constexpr int kExitLedger = upgrade::ExitStatusOf(RunOutcome::LedgerUnusable);

struct Options {
  bool help = false;
  bool acceptWarning = false;   // answer Yes in the warning dialog
  int select = -1;              // router index for the selection dialog; -1: not given
  int yesNo = -1;               // answer of Yes/No questions: 1 yes, 0 no, -1 not given
  std::string scriptFile;       // --script FILE
  std::string restoreFile;      // --restore DATALOG
  bool backup = false;          // --backup: the unit's values to a Data log, nothing written to it
  bool verify = false;          // --verify [DATALOG]: the unit against a Data log, nothing written to it
  std::string verifyFile;       // the Data log of --verify; empty with --all (each unit's newest)
  std::string interfaceChoice;  // --interface NAME|ADDRESS (the only one given)
  bool listInterfaces = false;  // --list-interfaces
  // The bench: several units at once, one per link.
  bool all = false;                     // --all
  std::vector<std::string> interfaces;  // every --interface, in order
  std::string reportFile;               // --report FILE
  std::vector<std::string> slots;       // every --slot "NAME=LINK", in order
  bool continuous = false;              // --continuous: the station
  bool quiet = false;                   // --quiet: no bell when a unit ends
  BenchChildOptions benchChild;         // a search or a run started by a bench (hidden)
  bool version = false;         // --version
  std::string ledger;           // --ledger PATH: the unit ledger's file
  std::string intoMac;          // --into MAC (with --restore): twelve upper-case hex digits
  bool history = false;         // --history: every unit of the ledger, then exit
  std::string csvFile;          // --csv FILE (with --history); "-": standard output
};

struct ParsedOptions {
  Options options;
  std::string error;  // empty when the command line is fine
};

namespace detail {

inline std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

inline std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A whole non-negative decimal number that fits an int; -1 otherwise.
inline int Index(const std::string& text) {
  if (text.empty() || text.size() > 9) return -1;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
  }
  return std::atoi(text.c_str());
}

// "q", "quit" or the Escape key (typed as ESC followed by Enter).
inline bool IsClose(const std::string& answer) {
  return answer == "q" || answer == "quit" || answer == "\x1b" || answer == "esc";
}

inline const char* const kDescription =
    "Replaces the bootloader of one LM-7210A/LM-7210B router on the network and keeps\n"
    "every per-unit value. Start it from the folder that holds the tool folder\n"
    "\"QARV LM-7210A_LM-7210B DDR Configuration Upgrade Tool\"; the run logs are\n"
    "written to that (the current) folder.\n"
    "\n"
    "When standard input is a terminal the dialogs are asked at the terminal; type\n"
    "\"r\" for Retry and \"e\" for Exit when they are enabled. Otherwise nothing is\n"
    "asked: message boxes are printed and acknowledged, the dialogs take the answers\n"
    "below, and the program ends when the run or the search series ends.\n"
    "\n"
    "The options answer their dialog in every mode.";

inline const char* const kBenchExitStatus =
    "Exit status of a bench (--all): 0 only when every unit completed (a unit that\n"
    "already had the latest bootloader, 11, counts as done and is marked so);\n"
    "otherwise the most serious of the units' statuses, in the order 6 (a unit was\n"
    "changed and did not complete: restore it from its Data log), 2 (failed, or\n"
    "stopped, crashed, or a link skipped: two routers on it, or a MAC already on the\n"
    "bench, or its search could not run), 7 (another unit answered on a link than\n"
    "the one planned), 8, 4, 3 (a named link where no router answered). 10: the warning or the\n"
    "bench's question answered No, or another instance is running; 64: the\n"
    "command line, or a PC that cannot tie a socket to a link; 66: the report file\n"
    "cannot be written. The summary table and the JSON report list every unit.\n"
    "A station (--all --continuous) weighs every unit of its session the same way\n"
    "when it is ended; 0 also when it ran none.\n";

// The one definition of the command line, bound to `o`.
inline void DefineOptions(CLI::App& app, Options& o) {
  app.formatter(std::make_shared<HelpFormatter>());
  app.description(kDescription);
  app.footer(upgrade::ExitStatusHelp() + "\n" + kBenchExitStatus);
  app.set_help_flag();  // --help is an option like the others: see Options::help
  app.add_flag("-h,--help", o.help, "show this help and exit")->disable_flag_override();
  app.add_flag(kOptionAcceptWarning, o.acceptWarning,
               "answer Yes in the warning dialog (without it a\n"
               "non-interactive warning counts as refused)")
      ->disable_flag_override();
  app.add_option("--select", o.select,
                 "choose router N (0 = first) in the router selection\n"
                 "dialog (without it a non-interactive selection is closed\n"
                 "without a choice)")
      ->type_name("N")
      ->check(CLI::Validator(
          [](std::string& value) {
            return Index(value) < 0 ? "needs a router index 0, 1, 2, ... (got '" + value + "')"
                                    : std::string();
          },
          "", "router index"));
  CLI::Option* yes = app.add_flag_function(
      kOptionYes, [&o](int64_t) { o.yesNo = 1; }, "answer Yes to Yes/No questions (non-interactive\ndefault: No)");
  CLI::Option* no = app.add_flag_function(kOptionNo, [&o](int64_t) { o.yesNo = 0; }, "answer No to Yes/No questions");
  yes->disable_flag_override()->excludes(no);
  no->disable_flag_override()->excludes(yes);
  CLI::Option* restore =
      app.add_option("--restore", o.restoreFile,
                     "instead of an upgrade: write the values of a Data log\n"
                     "that an earlier run wrote back to the router (after a run\n"
                     "that failed after the flash). The unit's current values\n"
                     "are kept in a log of their own first; a unit with\n"
                     "another MAC is only written after a Yes (--yes).")
          ->type_name("DATALOG")
          ->check(NonEmpty("a Data log"));
  app.add_option("--into", o.intoMac,
                 "with --restore: the MAC the unit shows now when it is\n"
                 "not the Data log's (a wiped unit's factory MAC); the\n"
                 "values go into that unit without the question, and\n"
                 "into no other")
      ->type_name("MAC")
      ->transform(MacDigits())
      ->needs(restore);
  CLI::Option* script = app.add_option("--script", o.scriptFile,
                 "instead of an upgrade: find the router and send it the\n"
                 "commands of FILE (one per line, \";\" starts a comment);\n"
                 "replies are appended to Result.txt. FILE \"-\" asks for\n"
                 "the path.")
      ->type_name("FILE")
      ->check(NonEmpty("a file name"));
  CLI::Option* backup = app.add_flag(kOptionBackup, o.backup,
               "instead of an upgrade: read every per-unit value as a\n"
               "run's backup reads it into a Data log (named as a run's,\n"
               "<MAC>_Data_<time>.txt) and stop; nothing is written to\n"
               "the router. Any bootloader; on one whose boot partition\n"
               "holds 1.0.1.6 the values are read from the boot partition.")
      ->disable_flag_override();
  CLI::Option* verify =
      app.add_option_function<std::vector<std::string>>(
             kOptionVerify, [&o](const std::vector<std::string>& values) {
               o.verify = true;
               if (!values.empty()) o.verifyFile = values.front();
             },
             "instead of an upgrade: read the unit's values where they\n"
             "are and compare each with the Data log (read as --restore\n"
             "reads it); the table goes to the output and the Process\n"
             "log. Nothing is written to the router, no Data log is\n"
             "written. Status 0: all the same, 8: differences. With\n"
             "--all: no DATALOG, each unit against the newest Data log\n"
             "of its MAC in the current folder")
          ->type_name("DATALOG")
          ->expected(0, 1)
          ->trigger_on_parse();
  for (CLI::Option* mode : {restore, script, backup, verify}) {
    for (CLI::Option* other : {restore, script, backup, verify}) {
      if (other != mode) mode->excludes(other);
    }
  }
  app.add_option(kOptionInterface, o.interfaces,
                 "search and talk on this network interface only (its name,\n"
                 "e.g. eth1, or its IPv4 address); without it every interface\n"
                 "with a link and an IPv4 address is searched and the run\n"
                 "stays on the one the router answered on. With --all: one\n"
                 "link of the bench (by name; repeat it for each link)")
      ->type_name("NAME|ADDRESS")
      ->check(NonEmpty("an interface name or address"))
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false);
  CLI::Option* list = app.add_flag("--list-interfaces", o.listInterfaces,
               "print the interfaces the program would search on and exit")
      ->disable_flag_override();
  CLI::Option* all = app.add_flag("--all", o.all,
               "the bench: upgrade one unit on each link at once (Linux;\n"
               "with --backup or --verify: back each up, or check each).\n"
               "The links are named by --interface (needed when standard\n"
               "input is not a terminal); at a terminal without it, the\n"
               "links and routers found are listed and one Yes is asked.\n"
               "The warning and the Yes/No questions are answered once\n"
               "for every unit (--accept-warning, --yes/--no); a unit\n"
               "that would need a question of its own ends instead.\n"
               "Ctrl+C: the first ends the units not changed yet and\n"
               "lets a changed unit finish; a second ends every run.")
      ->disable_flag_override();
  CLI::Option* report = app.add_option("--report", o.reportFile,
                 "with --all: the JSON report of the bench (default: beside\n"
                 "the logs, ramtune_bench_<time>.json)")
      ->type_name("FILE")
      ->check(NonEmpty("a file name"))
      ->needs(all);
  app.add_option("--slot", o.slots,
                 "with --all: a link of the bench with the name of its slot,\n"
                 "shown in every line, the report and the ledger (e.g.\n"
                 "--slot \"Port 1=eth1\"; repeat it for each link). Without\n"
                 "--slot and --interface, config.ini's [Slots] names them")
      ->type_name("\"NAME=LINK\"")
      ->check(NonEmpty("a slot's name and link"))
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false)
      ->needs(all);
  CLI::Option* continuous = app.add_flag("--continuous", o.continuous,
               "with --all: the station. Each slot waits for a unit, runs it\n"
               "as soon as it answers, keeps its result until it is taken\n"
               "out, and waits for the next; a unit the ledger shows\n"
               "completed is not run again. Ctrl+C: no new unit starts;\n"
               "with no unit running it ends the station")
      ->disable_flag_override()
      ->needs(all)
      ->excludes(backup)
      ->excludes(verify);
  app.add_flag("--quiet", o.quiet, "with --continuous: no bell when a unit ends")
      ->disable_flag_override()
      ->needs(continuous);
  all->excludes(restore)->excludes(script)->excludes(list);
  app.add_option(kOptionLedger, o.ledger,
                 "the unit ledger's file (default: RAMTUNE_LEDGER, else\n"
                 "config.ini's [Ledger] Path, else ledger.sqlite3 in\n"
                 "~/.local/state/ramtune)")
      ->type_name("PATH")
      ->check(NonEmpty("a file name"));
  CLI::Option* history = app.add_flag("--history", o.history,
               "list every unit of the unit ledger, the one with the\n"
               "newest run first, and exit; nothing is sent")
      ->disable_flag_override();
  app.add_option("--csv", o.csvFile,
                 "with --history: the list as CSV to FILE (\"-\": the\n"
                 "standard output)")
      ->type_name("FILE")
      ->check(NonEmpty("a file name"))
      ->needs(history);
  for (CLI::Option* other : {restore, script, backup, verify, list, all}) history->excludes(other);
  DefineBenchChildOptions(app, o.benchChild);
  (void)report;
  app.add_flag("--version", o.version, "print the program's version and exit")->disable_flag_override();
}

}  // namespace detail

// Parses the arguments after the program name.
inline ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  parsed.error = ParseCommandLine("ramtune", detail::DefineOptions, args, &parsed.options);
  Options& o = parsed.options;
  if (parsed.error.empty() && o.interfaces.size() > 1 && !o.all) {
    parsed.error = "--interface: one interface, unless --all names the links of a bench";
  }
  if (parsed.error.empty() && o.select >= 0 && o.all) {
    parsed.error = "--select: a bench runs the one router of each link; there is nothing to choose";
  }
  if (parsed.error.empty() && o.verify && !o.all && o.verifyFile.empty()) {
    parsed.error = "--verify: needs the Data log to check the unit against";
  }
  if (parsed.error.empty() && o.verify && o.all && !o.verifyFile.empty()) {
    parsed.error = "--verify: a bench checks each unit against the newest Data log of its MAC; name no Data log";
  }
  if (o.interfaces.size() == 1) o.interfaceChoice = o.interfaces.front();
  if (parsed.error.empty()) parsed.error = CheckBenchChildOptions(o.benchChild);
  return parsed;
}

inline std::string HelpText() { return CommandLineHelp("ramtune", detail::DefineOptions); }

// ---- typed answers ----------------------------------------------------------

enum class Answer { Yes, No, Close, Invalid };

// Yes/No questions and the warning dialog. Close stands for Esc or the
// close box; a plain Yes/No question has no way to be closed and treats it as
// Invalid.
inline Answer ParseYesNo(const std::string& line) {
  const std::string a = detail::Lower(detail::Trim(line));
  if (a == "y" || a == "yes") return Answer::Yes;
  if (a == "n" || a == "no") return Answer::No;
  if (detail::IsClose(a)) return Answer::Close;
  return Answer::Invalid;
}

struct SelectionAnswer {
  enum Kind { Ok, Close, Invalid } kind = Invalid;
  int index = -1;  // the combo box selection reported with OK
};

// The selection dialog: Enter alone is OK with the current selection; a
// number picks that item and confirms it; "q" or Esc closes without a choice.
inline SelectionAnswer ParseSelection(const std::string& line, int itemCount, int currentSelection) {
  const std::string a = detail::Lower(detail::Trim(line));
  if (a.empty()) return {SelectionAnswer::Ok, currentSelection};
  if (detail::IsClose(a)) return {SelectionAnswer::Close, -1};
  const int index = detail::Index(a);
  if (index >= 0 && index < itemCount) return {SelectionAnswer::Ok, index};
  return {SelectionAnswer::Invalid, -1};
}

enum class Command { None, Retry, Exit, Help, Invalid };

// A line typed at the main dialog.
inline Command ParseCommand(const std::string& line) {
  const std::string a = detail::Lower(detail::Trim(line));
  if (a.empty()) return Command::None;
  if (a == "r" || a == "retry") return Command::Retry;
  if (a == "e" || a == "exit") return Command::Exit;
  if (a == "?" || a == "h" || a == "help") return Command::Help;
  return Command::Invalid;
}

// ---- what the dialog shows ------------------------------------------------------

struct ShownState {
  int picture = 0;
  int progress = 0;
  bool retryEnabled = true;
  bool exitEnabled = true;
};

// A text of the program as terminal lines: CR LF, LF and CR all end a line.
inline std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

}  // namespace ramtune::console
