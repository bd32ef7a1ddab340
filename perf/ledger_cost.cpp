// What the unit ledger costs a run: the ledger's steps of one complete
// upgrade (open, the run begun, the open changes asked twice, the backup,
// the change, the change closed, the run finished), each durable on the disk
// as a run makes them, timed over many runs on a ledger in FOLDER.
//
//   ramtune_ledger_cost FOLDER [RUNS]     prints: runs=N wall_ms=W cpu_ms=C
// (W and C: the mean per run, in milliseconds of wall and of CPU time.)
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "upgrade/ledger.h"

namespace {

double CpuMs() { return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

std::string Mac(int i) {
  char text[24];
  std::snprintf(text, sizeof text, "00112233%04X", i & 0xffff);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace ramtune::upgrade;
  if (argc < 2) {
    std::fprintf(stderr, "usage: ramtune_ledger_cost FOLDER [RUNS]\n");
    return 2;
  }
  const std::string path = std::string(argv[1]) + "/ledger-cost.sqlite3";
  std::remove(path.c_str());
  const int runs = argc > 2 ? std::atoi(argv[2]) : 50;
  UnitValues values;
  for (std::string& value : values.values.Values) value = "0xff2a,0x1b2e,0xfcb4";
  values.values.ModelName = "LM-7210A";
  const auto wallStart = std::chrono::steady_clock::now();
  const double cpuStart = CpuMs();
  for (int i = 0; i < runs; ++i) {
    Ledger ledger;  // each run is a program of its own
    const std::string mac = Mac(i);
    const std::string when = "20261209120000";
    LedgerRun run{0, mac, "LM-7210A", when, "", "upgrade", "eth1", "", "", "", -1, "/logs/p.txt", "", "", "", ""};
    std::vector<LedgerChange> open;
    LedgerChange change;
    change.mac = mac;
    change.dataLog = "/logs/" + mac + "_Data_" + when + ".txt";
    change.sha256 = std::string(64, 'a');
    change.hasValues = true;
    change.values = values;
    change.since = when;
    run.dataLog = change.dataLog;
    run.dataLogSha256 = change.sha256;
    bool fine = ledger.Open(path) && ledger.OpenChanges(&open) && ledger.RecordBackup(run, values, when) &&
                ledger.OpenChanges(&open) && ledger.RecordChange(run, change);
    run.outcome = "completed";
    run.exitStatus = 0;
    fine = fine && ledger.FinishRun(run, mac, kStateCompleted);
    if (!fine) {
      std::fprintf(stderr, "ramtune_ledger_cost: %s\n", ledger.Error().c_str());
      return 1;
    }
  }
  const double wallMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wallStart).count();
  std::printf("runs=%d wall_ms=%.2f cpu_ms=%.2f\n", runs, wallMs / runs, (CpuMs() - cpuStart) / runs);
  std::remove(path.c_str());
  return 0;
}
