// The bench's course (RunBench) over the Windows platform layer, as a
// program of every Windows tree: windows_binaries checks what it imports.
// It also runs:
//   bench_probe [--accept-warning] [--yes] [--ledger PATH] [--report PATH] PROGRAM LINK...
// runs a bench of those links, starting PROGRAM for each search and each
// unit's run with the bench's answers, and prints what the bench says.
#include <cstdio>
#include <cstring>

#include "app/bench/run.h"

namespace {

class PrintedView : public ramtune::bench::View {
 public:
  void Line(const std::string& text) override {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  }
  void UnitMessage(const ramtune::bench::UnitRecord& unit, const std::string& line) override {
    std::printf("%s| %s\n", unit.unit.link.c_str(), line.c_str());
    std::fflush(stdout);
  }
  void Units(const std::vector<ramtune::bench::UnitRecord>&, int64_t) override {}
  bool Confirm(const std::string&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  ramtune::bench::Setup setup;
  setup.reportPath = "bench_probe.json";
  int i = 1;
  for (; i < argc; ++i) {
    const bool valued = i + 1 < argc;
    if (std::strcmp(argv[i], "--accept-warning") == 0) {
      setup.acceptWarning = true;
    } else if (std::strcmp(argv[i], "--yes") == 0) {
      setup.yesNo = 1;
    } else if (std::strcmp(argv[i], "--ledger") == 0 && valued) {
      setup.ledgerPath = argv[++i];
    } else if (std::strcmp(argv[i], "--report") == 0 && valued) {
      setup.reportPath = argv[++i];
    } else {
      break;
    }
  }
  setup.program = i < argc ? argv[i++] : "";
  for (; i < argc; ++i) setup.links.push_back(argv[i]);
  PrintedView view;
  ramtune::bench::BenchSystem system;
  ramtune::platform::CatchInterrupts();
  const int status = ramtune::bench::RunBench(setup, view, system);
  std::printf("bench_probe: exit status %d\n", status);
  return status;
}
