// What both front ends' command lines share: the help layout and the parse
// call. Each front end defines its own options on a CLI::App.
#pragma once

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
