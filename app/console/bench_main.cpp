#include "app/console/bench_main.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/bench/run.h"
#include "app/bench/station.h"
#include "app/console/bench_lines.h"
#include "app/console/front_end.h"
#include "app/console/terminal.h"
#include "app/startup.h"
#include "core/dialogs.h"
#include "link/interfaces.h"
#include "platform/platform.h"

namespace ramtune::console {
namespace {

// The bench's one question, asked until it is answered; with a block, the
// prompt takes the terminal's bottom line while it waits.
bool AskYesNo(const std::string& question, BottomBlock* block) {
  const std::string prompt = question + " [y] Yes  [n] No: ";
  for (;;) {
    if (block != nullptr) {
      block->BeginPrompt(prompt);
    } else {
      std::fputs(prompt.c_str(), stdout);
      std::fflush(stdout);
    }
    char buffer[256];
    const bool read = std::fgets(buffer, sizeof buffer, stdin) != nullptr;
    if (block != nullptr) block->EndPrompt();
    if (!read) return false;
    const Answer answer = ParseYesNo(buffer);
    if (answer == Answer::Yes) return true;
    if (answer == Answer::No || answer == Answer::Close) return false;
  }
}

// Not on a terminal: every line of a unit carries its link and MAC.
class LineView : public bench::View {
 public:
  explicit LineView(bool interactive) : interactive_(interactive) {}

  void Line(const std::string& text) override { Write(text); }
  void UnitMessage(const bench::UnitRecord& unit, const std::string& line) override {
    Write(unit.unit.slot + " " + unit.unit.mac + "| " + line);
  }
  void Units(const std::vector<bench::UnitRecord>&, int64_t) override {}
  bool Confirm(const std::string& question) override { return interactive_ && AskYesNo(question, nullptr); }

 private:
  static void Write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  bool interactive_;
};

// On a terminal: one line per unit at the bottom, redrawn in place; the
// lines of the bench and of every unit scroll above it.
class TerminalView : public bench::View {
 public:
  TerminalView(bool interactive, bool colour, bool bell)
      : interactive_(interactive),
        colour_(colour),
        bell_(bell),
        block_(stdout, true, [] { return TerminalWidth(STDOUT_FILENO); }) {}
  ~TerminalView() override { block_.Release(); }

  void Line(const std::string& text) override { block_.Write(stdout, text + "\n"); }
  void UnitMessage(const bench::UnitRecord& unit, const std::string& line) override {
    block_.Write(stdout, unit.unit.slot + " " + unit.unit.mac + "| " + line + "\n");
  }
  void Units(const std::vector<bench::UnitRecord>& units, int64_t nowMs) override {
    const bool colour = colour_;
    block_.Show([units, nowMs, colour](int width) { return UnitLines(units, nowMs, width, colour); });
    // Every unit has ended: their last lines stay above the summary.
    bool ended = true;
    for (const bench::UnitRecord& unit : units) ended &= unit.Over();
    if (ended) block_.Release();
  }
  bool Confirm(const std::string& question) override { return interactive_ && AskYesNo(question, &block_); }
  void Slots(const std::vector<bench::SlotRecord>& slots, const bench::SessionCounts& counts,
             int64_t nowMs) override {
    const bool colour = colour_;
    block_.Show([slots, counts, nowMs, colour](int width) { return StationLines(slots, counts, nowMs, width, colour); });
    // The station has ended: its last lines stay above the summary.
    bool closed = true;
    for (const bench::SlotRecord& slot : slots) closed &= slot.state == bench::SlotState::Closed;
    if (closed) block_.Release();
  }
  void UnitEnded(const bench::UnitRecord&) override {
    if (!bell_) return;
    std::fputc('\a', stdout);
    std::fflush(stdout);
  }

 private:
  bool interactive_;
  bool colour_;
  bool bell_;
  BottomBlock block_;
};

int Usage(const std::string& message) {
  std::fprintf(stderr, "ramtune: %s\n", message.c_str());
  return kExitUsage;
}

// The links the bench was given, each with its slot's name: every --slot,
// then every --interface (named after its link); without either, the
// [Slots] of config.ini.
bool NamedLinks(const Options& options, std::vector<bench::NamedLink>* named, std::string* error) {
  const bool given = !options.slots.empty() || !options.interfaces.empty();
  if (!given) {
    const std::string ini = platform::ExecutableFolder() + "config.ini";
    for (const auto& [name, link] : platform::ReadProfileSection("Slots", ini)) {
      if (!bench::ParseSlot(name + "=" + link, &named->emplace_back(), error)) {
        *error = ini + ", [Slots]: " + *error;
        return false;
      }
    }
    return true;
  }
  for (const std::string& text : options.slots) {
    if (!bench::ParseSlot(text, &named->emplace_back(), error)) {
      *error = "--slot: " + *error;
      return false;
    }
  }
  for (const std::string& choice : options.interfaces) named->push_back(bench::NamedLink{"", choice});
  return true;
}

// The links of the bench by name, with their slots' names: each named one
// (by name or address), or every link that could reach a router.
bool BenchLinks(const Options& options, bench::Setup* setup, std::string* error) {
  std::vector<bench::NamedLink> named;
  if (!NamedLinks(options, &named, error)) return false;
  const std::vector<platform::NetInterface> interfaces = platform::ListInterfaces();
  for (const bench::NamedLink& choice : named) {
    platform::NetInterface found;
    if (!link::FindInterface(interfaces, choice.link, &found)) {
      *error = "no network interface is named or has the address '" + choice.link + "'. The interfaces are:\n" +
               link::InterfaceListText(interfaces);
      return false;
    }
    const std::string name = choice.name.empty() ? found.name : choice.name;
    for (const std::string& known : setup->links) {
      if (known == found.name) {
        *error = found.name + " is named twice; a bench runs one unit per link";
        return false;
      }
      if (setup->SlotOf(known) == name) {
        *error = "two links have the slot name '" + name + "'; give each slot a name of its own";
        return false;
      }
    }
    setup->links.push_back(found.name);
    if (name != found.name) setup->slotNames[found.name] = name;
  }
  if (!named.empty()) return true;
  for (const platform::NetInterface& network : interfaces) {
    if (network.up && network.hasLink && !network.address.empty()) setup->links.push_back(network.name);
  }
  if (setup->links.empty()) *error = "--all: no network interface with a link and an IPv4 address";
  return !setup->links.empty();
}

}  // namespace

int RunBenchConsole(const Options& options) {
  const bool interactive = isatty(STDIN_FILENO) == 1;
  bench::Setup setup;
  std::string error;
  if (!BenchLinks(options, &setup, &error)) return Usage(error);
  // No link named: those found are listed and one Yes is asked.
  setup.confirm = options.interfaces.empty() && options.slots.empty() && setup.slotNames.empty();
  if (setup.confirm && !interactive) {
    return Usage("--all: name each link of the bench with --interface or --slot (or in config.ini's [Slots]) when "
                 "standard input is not a terminal");
  }
  setup.program = platform::ExecutablePath();
  if (setup.program.empty()) return Usage("--all: the program's own file cannot be found");
  // Every run of the bench uses the one ledger the bench reads at its end.
  setup.ledgerPath = LedgerPathFor(options.ledger, platform::ExecutableFolder());

  // Several runs bind port 9999 at once, each on its own link: without the
  // tie, one unit's traffic (the upload above all) could reach another.
  if (!platform::CanTieSocketToDevice(setup.links.front(), &error)) {
    return Usage("--all: this PC cannot tie a socket to a network link (" + error +
                 "), so the runs of a bench could reach each other's units. Run it as root, or one unit at a "
                 "time with --interface.");
  }
  if (platform::AnotherInstanceRunning(kSingleInstanceName)) {
    std::fprintf(stderr, "ramtune: The program is running\n");
    return kExitProgramBase;
  }
  std::string current;
  platform::CurrentDirectory(&current);
  setup.reportPath = options.reportFile.empty()
                         ? bench::DefaultReportPath(current + "/", platform::LocalTimeStamp())
                         : options.reportFile;
  if (!platform::AppendToFile(setup.reportPath, "", &error)) {
    std::fprintf(stderr, "ramtune: the report %s cannot be written (%s); nothing was started.\n",
                 setup.reportPath.c_str(), error.c_str());
    return kExitNoInput;
  }

  // The warning once for the whole bench.
  const TerminalCaps caps = StandardOutputCaps();
  FrontEnd frontEnd(interactive, caps);
  CommandLineAnswers answers(options, frontEnd, [&frontEnd](const std::string& note) { frontEnd.Say(stdout, note); });
  frontEnd.AnswerWith(&answers);
  WarningDialogModel warning;
  frontEnd.RunWarningDialog(warning);
  if (!warning.Accepted) return kExitProgramBase;
  setup.acceptWarning = true;
  setup.yesNo = options.yesNo;

  if (options.backup) setup.mode = bench::BenchMode::Backup;
  if (options.verify) {
    setup.mode = bench::BenchMode::Check;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(current, ignored)) {
      setup.dataLogs.push_back(entry.path().string());
    }
  }

  setup.session = platform::LocalTimeStamp();
  // A station works on the links it was given; on links it found, one Yes first.
  if (options.continuous && setup.confirm) {
    std::string links;
    for (const std::string& link : setup.links) links += (links.empty() ? "" : ", ") + link;
    if (!AskYesNo("Run a station on " + links + " (each unit is upgraded as soon as it answers)?", nullptr)) {
      std::printf("ramtune: nothing was started.\n");
      return bench::kBenchRefused;
    }
  }

  platform::CatchInterrupts();
  bench::BenchSystem system;
  const auto run = options.continuous ? bench::RunStation : bench::RunBench;
  int status;
  if (caps.live) {
    TerminalView view(interactive, caps.colour, !options.quiet);
    status = run(setup, view, system);
  } else {
    LineView view(interactive);
    status = run(setup, view, system);
  }
  std::printf("ramtune: exit status %d\n", status);
  return status;
}

}  // namespace ramtune::console
