#include "support/rig.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/programs.h"
#include "platform/platform.h"

namespace ramtune::test {
namespace {
std::atomic<int> g_rigCounter{0};
}

Rig::Rig() {
  namespace fs = std::filesystem;
  // A folder no other rig has, in this process or another one started at
  // the same moment (the unit suite and the fault table run side by side):
  // creating a folder that exists already fails, so the first free name wins.
  fs::path base;
  do {
    base = fs::temp_directory_path() /
           ("ramtune-test-" + std::to_string(platform::ProcessClockMs()) + "-" + std::to_string(g_rigCounter++));
  } while (!fs::create_directory(base));
  folder = base.string();
  network.routers.push_back(HealthyRouter());
  dlg = std::make_unique<CUpgradeToolDlg>(AppServices{clock, display, network, processes, host});
  dlg->settings.ProgramFolder = folder + platform::kPathSeparator;
  dlg->settings.ProgramPath = dlg->settings.ProgramFolder + "ramtune";
  dlg->settings.ToolFolderPath = folder + platform::kPathSeparator + kToolFolderName;
  fs::create_directories(dlg->settings.ToolFolderPath);
  for (const char* name : {platform::kUploaderName, kFlashToolFile}) {
    std::ofstream(dlg->settings.ToolFolderPath + platform::kPathSeparator + name) << "x";
  }
  // The image's boot configuration holds the defaults a flashed unit starts with.
  std::ofstream(dlg->settings.ToolFolderPath + platform::kPathSeparator + kBootImageFile)
      << "x\nbl_version=1.0.1.6\net0macaddr=" << kFactoryMac << "\n";
  // Every rig keeps its own ledger: a test never sees another's units. In
  // memory-backed /dev/shm where there is one (a POSIX system's own, not
  // one Wine shows): each change of a ledger waits for the disk, and the
  // suite makes thousands.
  const fs::path shm = "/dev/shm";
  std::error_code noShm;
  const bool posix = platform::kPathSeparator == '/';
  ledgerFolder_ = posix && fs::is_directory(shm, noShm) ? shm / fs::path(folder).filename() : fs::path(folder);
  fs::create_directories(ledgerFolder_, noShm);
  dlg->settings.LedgerPath = (ledgerFolder_ / "ledger.sqlite3").string();
  // The Wi-Fi helper beside the program, where the run looks first.
  std::ofstream(dlg->settings.ProgramFolder + kSsidToolFile) << "x";
  display.onTimer = [this](int id) { EndIfFinal(dlg->OnTimer(id)); };
}

void Rig::UseFrontEnd(Clock& frontClock, Display& frontDisplay, Host& frontHost) {
  const Settings settings = dlg->settings;
  dlg = std::make_unique<CUpgradeToolDlg>(AppServices{frontClock, frontDisplay, network, processes, frontHost});
  dlg->settings = settings;
}

Rig::~Rig() {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  std::filesystem::remove_all(ledgerFolder_, ignored);
}

int Rig::SearchAndRun() {
  try {
    if (dlg->link.discovery.SearchRouter(dlg->Unit())) EndIfFinal(dlg->RunUpgrade());
  } catch (const ProcessExit& exit) {
    return exit.code;
  }
  return -1;
}

void Rig::EndIfFinal(const std::optional<Ending>& ending) {
  if (ending && ending->final) throw ProcessExit{ending->ProgramCode()};
}

int Rig::RunMessages(int64_t limitMs) {
  try {
    clock.RunUntilIdle(limitMs);
  } catch (const ProcessExit& exit) {
    return exit.code;
  }
  return -1;
}

std::vector<std::string> Rig::EventsBeforeRecoveryHint(size_t n) const {
  // The hint is the run's last lines: the Data log and its command first.
  const std::vector<std::string>& e = display.events;
  const std::vector<std::string>& hint = dlg->LastResult().hint;
  if (hint.empty() || e.size() < hint.size()) return {};
  const size_t end = e.size() - hint.size();
  for (size_t i = 0; i < hint.size(); ++i) {
    if (e[end + i] != "list " + hint[i]) return {};
  }
  if (hint[0].rfind("[System]-This unit's values are kept in the Data log ", 0) != 0) return {};
  return {e.begin() + static_cast<long>(end - std::min(n, end)), e.begin() + static_cast<long>(end)};
}

std::vector<std::string> Rig::FileLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  if (!in) return lines;
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
    lines.push_back(text.substr(start, at - start));
  }
  return lines;
}

}  // namespace ramtune::test
