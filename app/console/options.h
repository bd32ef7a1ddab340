// The console front end's command line, the answers a user types at its
// prompts and the exit status it reports. Plain text handling only, no
// system calls, so that the unit tests use this header as it stands.
#pragma once

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

namespace ramtune::console {

// Exit statuses of `ramtune`. The core ends the process itself on some
// paths (warning refused, choice closed, Exit, a start-up check, a router
// that is already up to date); those come out as kExitProgramBase plus the
// program's own code, so they never mix with the statuses of a run.
enum ExitStatus : int {
  kExitCompleted = 0,     // the run completed: PASS picture, progress 20
  kExitRunFailed = 2,     // a run started and ended any other way
  kExitNoRouter = 3,      // the search series ended without a router
  kExitProgramBase = 10,  // 10 + the program's exit code (10: code 0, 11: code 1)
  kExitUsage = 64,        // the command line makes no sense
};

struct Options {
  bool help = false;
  bool acceptWarning = false;   // answer Yes in the warning dialog
  int select = -1;              // router index for the selection dialog; -1: not given
  int yesNo = -1;               // answer of Yes/No questions: 1 yes, 0 no, -1 not given
  std::string scriptFile;       // --script FILE
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

}  // namespace detail

// Parses the arguments after the program name.
inline ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  Options& o = parsed.options;
  auto fail = [&parsed](const std::string& message) {
    parsed.error = message;
    return parsed;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string value;
    bool hasValue = false;
    const size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg = arg.substr(0, equals);
      hasValue = true;
    }
    const bool takesValue = arg == "--select" || arg == "--script";
    if (!takesValue && hasValue) return fail("option '" + arg + "' takes no value");
    if (takesValue && !hasValue) {
      if (i + 1 >= args.size()) return fail("option '" + arg + "' needs a value");
      value = args[++i];
    }
    if (arg == "-h" || arg == "--help") {
      o.help = true;
    } else if (arg == "--accept-warning") {
      o.acceptWarning = true;
    } else if (arg == "--yes" || arg == "--no") {
      const int answer = arg == "--yes" ? 1 : 0;
      if (o.yesNo != -1 && o.yesNo != answer) return fail("options '--yes' and '--no' exclude each other");
      o.yesNo = answer;
    } else if (arg == "--select") {
      const int index = detail::Index(value);
      if (index < 0) return fail("option '--select' needs a router index 0, 1, 2, ... (got '" + value + "')");
      o.select = index;
    } else if (arg == "--script") {
      if (value.empty()) return fail("option '--script' needs a file name");
      o.scriptFile = value;
    } else if (arg.rfind("-", 0) == 0) {
      return fail("unknown option '" + arg + "'");
    } else {
      return fail("unexpected argument '" + arg + "' (the program takes options only)");
    }
  }
  return parsed;
}

inline std::string HelpText() {
  return "Usage: ramtune [OPTIONS]\n"
         "\n"
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
         "Options (they answer their dialog in every mode):\n"
         "  --accept-warning  answer Yes in the warning dialog (without it a\n"
         "                    non-interactive warning counts as refused)\n"
         "  --select N        choose router N (0 = first) in the router selection dialog\n"
         "                    (without it a non-interactive selection is closed without\n"
         "                    a choice)\n"
         "  --yes, --no       answer of Yes/No questions (non-interactive default: No)\n"
         "  --script FILE     instead of an upgrade: find the router and send it the\n"
         "                    commands of FILE (one per line, \";\" starts a comment);\n"
         "                    replies are appended to Result.txt. FILE \"-\" asks for the path.\n"
         "  -h, --help        show this help and exit\n"
         "\n"
         "Exit status:\n"
         "   0  the run completed (PASS)\n"
         "   2  a run started and ended with a failure\n"
         "   3  the search series ended without finding a router\n"
         "  10  the program ended itself with code 0: warning refused, router choice\n"
         "      closed, or a start-up check failed (missing file, already running)\n"
         "  11  the program ended itself with code 1: Exit, the router already has the\n"
         "      latest bootloader, or the echo library could not be loaded\n"
         "  64  the command line makes no sense\n";
}

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

// A run has completed when it shows what completion leaves behind: the PASS
// picture, the full progress bar, Retry disabled and Exit enabled.
inline bool IsCompletedRun(const ShownState& s) {
  return s.picture == 130 && s.progress == 20 && !s.retryEnabled && s.exitEnabled;
}

// Exit status once the dialog is idle: `runStarted` tells whether the last
// search attempt found a router and ran the upgrade.
inline int IdleExitStatus(bool runStarted, const ShownState& s) {
  if (!runStarted) return kExitNoRouter;
  return IsCompletedRun(s) ? kExitCompleted : kExitRunFailed;
}

// "[######--------------]  6/20" for a position in low..high.
inline std::string ProgressBar(int position, int low, int high) {
  if (high <= low) high = low + 1;
  const int shown = position < low ? low : position > high ? high : position;
  const int width = high - low;
  std::string bar = "[";
  for (int i = 0; i < width; ++i) bar += i < shown - low ? '#' : '-';
  bar += "] ";
  const std::string number = std::to_string(position);
  const std::string total = std::to_string(high);
  bar += std::string(number.size() < total.size() ? total.size() - number.size() : 0, ' ');
  return bar + number + "/" + total;
}

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
