// Ramtune.exe's command line: Windows-style switches ("/help"), parsed with
// the same layout as the console's. Plain text handling, so the unit tests
// use this header on both sides.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace ramtune::win32 {

struct Options {
  bool help = false;
  bool restore = false;     // /restore [DATALOG]
  std::string restorePath;  // empty: asked with a file-open dialog
  std::string interfaceAddress;  // /interface ADDRESS
  bool backup = false;      // /backup
  bool verify = false;      // /verify [DATALOG]
  std::string verifyPath;   // empty: asked with a file-open dialog
  BenchChildOptions benchChild;  // a search or a run started by a station (hidden)
  // The station's answers to such a run (hidden): the warning, Yes/No
  // questions (1 Yes, 0 No, -1 none).
  bool acceptWarning = false;
  int yesNo = -1;
  std::string ledger;       // /ledger PATH: the unit ledger's file
  std::string intoMac;      // /into MAC (with /restore): twelve upper-case hex digits
  std::string historyFile;  // /history FILE: the ledger's units as CSV to FILE, no window
  bool all = false;         // /all: the station window, one unit per network adapter at once
};

struct ParsedOptions {
  Options options;
  std::string error;  // empty when the command line is fine
};

namespace detail {

// The one definition of the command line, bound to `o`.
inline void DefineOptions(CLI::App& app, Options& o) {
  app.formatter(std::make_shared<HelpFormatter>(true));
  app.allow_windows_style_options();
  app.description(
      "Replaces the bootloader of one LM-7210A/LM-7210B router and keeps every\n"
      "per-unit value. Start it from the folder that holds the tool folder.");
  app.set_help_flag();
  app.add_flag("-h,--help", o.help, "show this help and exit")->disable_flag_override();
  CLI::Option* restore = app.add_option_function<std::vector<std::string>>(
         "--restore",
         [&o](const std::vector<std::string>& values) {
           o.restore = true;
           if (!values.empty()) o.restorePath = values.front();
         },
         "write the values of a Data log back to the router;\n"
         "without a path a file-open dialog asks for it")
      ->type_name("DATALOG")
      ->expected(0, 1)
      ->trigger_on_parse();
  CLI::Option* backup = app.add_flag(kOptionBackup, o.backup,
               "read every per-unit value into a Data log (named as a\n"
               "run's) and stop; nothing is written to the router")
      ->disable_flag_override();
  CLI::Option* verify = app.add_option_function<std::vector<std::string>>(
         kOptionVerify,
         [&o](const std::vector<std::string>& values) {
           o.verify = true;
           if (!values.empty()) o.verifyPath = values.front();
         },
         "compare the router's values with a Data log and show\n"
         "the table; nothing is written to the router and no Data\n"
         "log is written. Without a path a file-open dialog asks")
      ->type_name("DATALOG")
      ->expected(0, 1)
      ->trigger_on_parse();
  app.add_option("--into", o.intoMac,
                 "with /restore: the MAC the unit shows now when it is\n"
                 "not the Data log's (a wiped unit's factory MAC); the\n"
                 "values go into that unit without the question, and\n"
                 "into no other")
      ->type_name("MAC")
      ->transform(MacDigits())
      ->needs(restore);
  backup->excludes(verify)->excludes(restore);
  verify->excludes(backup)->excludes(restore);
  restore->excludes(backup)->excludes(verify);
  app.add_option(kOptionInterface, o.interfaceAddress,
                 "search and talk on the network adapter with this IPv4\n"
                 "address only")
      ->type_name("ADDRESS")
      ->check(NonEmpty("an adapter's IPv4 address"));
  app.add_option(kOptionLedger, o.ledger,
                 "the unit ledger's file (default: RAMTUNE_LEDGER, else\n"
                 "config.ini's [Ledger] Path, else ledger.sqlite3 in the\n"
                 "common application data folder's Ramtune folder)")
      ->type_name("PATH")
      ->check(NonEmpty("a file name"));
  CLI::Option* history = app.add_option("--history", o.historyFile,
                 "write every unit of the unit ledger, the one with the\n"
                 "newest run first, as CSV to FILE and exit; no window,\n"
                 "nothing is sent")
      ->type_name("FILE")
      ->check(NonEmpty("a file name"));
  for (CLI::Option* other : {restore, backup, verify}) history->excludes(other);
  CLI::Option* all = app.add_flag("--all", o.all,
               "the station: one row per network adapter of the PC; each\n"
               "unit plugged into a ticked adapter is upgraded as soon as\n"
               "it answers, several at once, until Stop")
      ->disable_flag_override();
  for (CLI::Option* other : {restore, backup, verify, history}) all->excludes(other);
  DefineBenchChildOptions(app, o.benchChild);
  app.add_flag(kOptionAcceptWarning, o.acceptWarning)->group("")->disable_flag_override()->needs("--bench-events");
  CLI::Option* yes = app.add_flag_function(kOptionYes, [&o](int64_t) { o.yesNo = 1; })->group("");
  CLI::Option* no = app.add_flag_function(kOptionNo, [&o](int64_t) { o.yesNo = 0; })->group("");
  yes->needs("--bench-events")->excludes(no);
  no->needs("--bench-events");
}

}  // namespace detail

// Parses the arguments after the program name.
inline ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  parsed.error = ParseCommandLine("Ramtune.exe", detail::DefineOptions, args, &parsed.options);
  if (parsed.error.empty()) parsed.error = CheckBenchChildOptions(parsed.options.benchChild);
  return parsed;
}

inline std::string HelpText() { return CommandLineHelp("Ramtune.exe", detail::DefineOptions); }

}  // namespace ramtune::win32
