// What both front ends' command lines share: the help layout and the parse
// call. Each front end defines its own options on a CLI::App.
#pragma once

#include <cctype>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace ramtune {

// Help in the order a reader looks for it: usage, what the program does,
// the options (each with its value's name only), then the footer. Windows
// switches are shown as "/name".
class HelpFormatter : public CLI::Formatter {
 public:
  explicit HelpFormatter(bool windowsStyle = false) : windowsStyle_(windowsStyle) { column_width(22); }
  std::string make_option_name(const CLI::Option* option, bool positional) const override {
    if (!windowsStyle_ || positional) return CLI::Formatter::make_option_name(option, positional);
    std::string names;
    for (const auto* list : {&option->get_snames(), &option->get_lnames()}) {
      for (const std::string& name : *list) names += (names.empty() ? "/" : ", /") + name;
    }
    return names;
  }
  std::string make_description(const CLI::App*) const override { return ""; }
  std::string make_usage(const CLI::App* app, std::string name) const override {
    std::string usage = CLI::Formatter::make_usage(app, name);
    if (!app->get_description().empty()) usage += "\n" + app->get_description() + "\n";
    return usage;
  }
  std::string make_option_opts(const CLI::Option* option) const override {
    return option->get_type_size() != 0 && !option->get_type_name().empty() ? " " + option->get_type_name() : "";
  }

 private:
  bool windowsStyle_;
};

// Refuses an empty value; `what` names what the option needs.
inline CLI::Validator NonEmpty(const std::string& what) {
  return CLI::Validator(
      [what](std::string& value) { return value.empty() ? "needs " + what : std::string(); }, "", what);
}

// ---- the command line a bench gives its children ---------------------------------
// A bench starts this program once per link for its search and once per unit
// for its run. What it writes is made here, and both front ends' parsers
// read it with the names and definitions below, so the two cannot drift.

inline const char* const kOptionInterface = "--interface";
inline const char* const kOptionAcceptWarning = "--accept-warning";
inline const char* const kOptionYes = "--yes";
inline const char* const kOptionNo = "--no";
inline const char* const kOptionBackup = "--backup";
inline const char* const kOptionVerify = "--verify";
inline const char* const kOptionLedger = "--ledger";

// A MAC as twelve hex digits, or as six pairs between ':' or '-'; the
// twelve digits in upper case, or empty when `text` is neither.
inline std::string MacDigitsOf(const std::string& text) {
  const bool separated = text.size() == 17;
  if (!separated && text.size() != 12) return "";
  std::string digits;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (separated && i % 3 == 2) {
      if (c != ':' && c != '-') return "";
      continue;
    }
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return "";
    digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return digits;
}

// Takes a MAC as MacDigitsOf reads it and leaves its twelve digits in its place.
inline CLI::Validator MacDigits() {
  return CLI::Validator(
      [](std::string& value) {
        const std::string digits = MacDigitsOf(value);
        if (digits.empty()) {
          return "needs a MAC: twelve hexadecimal digits, or six pairs between ':' or '-' (got '" + value + "')";
        }
        value = digits;
        return std::string();
      },
      "", "MAC");
}

// What makes a process a search or a run of a bench (hidden options).
struct BenchChildOptions {
  std::string channel;  // --bench-events CHANNEL: where its events go (the platform layer's name for it)
  bool search = false;  // --bench-search: search the link once and report what answers
  bool watch = false;   // --bench-watch: search the link every 2 s, reporting each round, until ended
  std::string unit;     // --bench-unit MAC: the unit the bench planned on the link (upper case)
  std::string slot;     // --bench-slot NAME: the bench's name for the link, kept in the ledger
  std::string session;  // --bench-session TIME: when the bench began, kept in the ledger
  bool Active() const { return !channel.empty(); }
};

// Defines the hidden options on `app`, bound to `o`; CheckBenchChildOptions
// completes them once parsed.
inline void DefineBenchChildOptions(CLI::App& app, BenchChildOptions& o) {
  app.add_option("--bench-events", o.channel)->group("")->check(NonEmpty("the bench's channel"));
  app.add_flag("--bench-search", o.search)->group("")->disable_flag_override();
  app.add_flag("--bench-watch", o.watch)->group("")->disable_flag_override()->needs("--bench-events");
  app.add_option("--bench-slot", o.slot)->group("")->needs("--bench-events");
  app.add_option("--bench-session", o.session)->group("")->needs("--bench-events");
  app.add_option("--bench-unit", o.unit)->group("")->needs("--bench-events");
}

// The MAC in upper case; the error text, empty when the options are fine.
// (A hidden option's own check would lose its name in the message.)
inline std::string CheckBenchChildOptions(BenchChildOptions& o) {
  bool hex = o.unit.size() == 12;
  for (char& c : o.unit) {
    hex &= std::isxdigit(static_cast<unsigned char>(c)) != 0;
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (o.unit.empty() || hex) return "";
  return "--bench-unit: twelve hexadecimal digits, the MAC the bench found on the link";
}

// What a bench asks of one child.
struct BenchChildRequest {
  std::string link;    // the link it searches or runs on, by name
  bool search = false;  // its search; otherwise the run of the unit below
  bool watch = false;   // a station's search that goes on until it is ended
  std::string unit;    // the unit its search found there
  // The bench's answers, the same for every run.
  bool acceptWarning = false;
  int yesNo = -1;  // 1: --yes, 0: --no, -1: neither
  bool backup = false;
  bool verify = false;     // a check, against this Data log:
  std::string verifyFile;  // (a check without one is refused by the child)
  std::string ledger;      // the bench's unit ledger (empty: the child finds its own)
  std::string slot;        // the link's name on the bench (empty: none)
  std::string session;     // when the bench began
  std::string restore;     // a restore of this Data log into `unit` instead (--into the unit's MAC)
};

// The child's arguments after the program's name, with its channel's name.
inline std::vector<std::string> BenchChildArguments(const BenchChildRequest& r, const std::string& channel) {
  std::vector<std::string> words = {kOptionInterface, r.link, "--bench-events", channel};
  if (!r.ledger.empty()) words.insert(words.end(), {kOptionLedger, r.ledger});
  if (r.search || r.watch) {
    words.push_back(r.watch ? "--bench-watch" : "--bench-search");
    return words;
  }
  words.insert(words.end(), {"--bench-unit", r.unit});
  if (!r.slot.empty()) words.insert(words.end(), {"--bench-slot", r.slot});
  if (!r.session.empty()) words.insert(words.end(), {"--bench-session", r.session});
  if (!r.restore.empty()) words.insert(words.end(), {"--restore", r.restore, "--into", r.unit});
  if (r.acceptWarning) words.push_back(kOptionAcceptWarning);
  if (r.yesNo >= 0) words.push_back(r.yesNo == 1 ? kOptionYes : kOptionNo);
  if (r.backup) words.push_back(kOptionBackup);
  if (r.verify) words.push_back(kOptionVerify);
  if (r.verify && !r.verifyFile.empty()) words.push_back(r.verifyFile);
  return words;
}

// Parses `args` (without the program name) into `options` as `define`
// describes them; returns the error text, empty when the command line is fine.
template <class Options>
std::string ParseCommandLine(const char* program, void (*define)(CLI::App&, Options&),
                             const std::vector<std::string>& args, Options* options) {
  CLI::App app("", program);
  define(app, *options);
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    const std::string what = e.what();
    return what.empty() ? "the command line makes no sense" : what;
  }
  return "";
}

// The help text that `define` describes.
template <class Options>
std::string CommandLineHelp(const char* program, void (*define)(CLI::App&, Options&)) {
  Options unused;
  CLI::App app("", program);
  define(app, unused);
  return app.help();
}

}  // namespace ramtune
