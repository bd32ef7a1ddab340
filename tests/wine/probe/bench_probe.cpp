// The bench's course (RunBench) over the Windows platform layer, as a
// program of every Windows tree: windows_binaries checks what it imports.
// It also runs: bench_probe PROGRAM LINK... runs a bench of those links,
// starting PROGRAM for each search, and prints what the bench says.
#include <cstdio>

#include "app/bench/run.h"

namespace {

class PrintedView : public ramtune::bench::View {
 public:
  void Line(const std::string& text) override { std::printf("%s\n", text.c_str()); }
  void UnitMessage(const ramtune::bench::UnitRecord& unit, const std::string& line) override {
    std::printf("%s| %s\n", unit.unit.link.c_str(), line.c_str());
  }
  void Units(const std::vector<ramtune::bench::UnitRecord>&, int64_t) override {}
  bool Confirm(const std::string&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
  ramtune::bench::Setup setup;
  setup.program = argc > 1 ? argv[1] : "";
  for (int i = 2; i < argc; ++i) setup.links.push_back(argv[i]);
  setup.reportPath = "bench_probe.json";
  PrintedView view;
  ramtune::bench::BenchSystem system;
  ramtune::platform::CatchInterrupts();
  const int status = ramtune::bench::RunBench(setup, view, system);
  std::printf("bench_probe: exit status %d\n", status);
  return status;
}
