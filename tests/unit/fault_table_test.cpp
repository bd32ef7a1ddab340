// Faults along a whole run, in virtual time. A fault point is a command of a
// healthy run, by its place in the run: the first and last of each phase
// before the flash, and every command from the flash to the end of the
// verification. At each point the router goes silent until the run ends,
// or (from the flash on) reboots with factory values, or answers garbage.
// Whatever happens: no run ends PASS unless the unit holds every value it
// held before; every ending once the unit was changed carries the restore
// hint; and both Retry and a restore from the Data log, started on the unit
// as the run left it, end PASS with every value back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <set>

#include "core/text.h"
#include "support/rig.h"
#include "upgrade/calibration_items.h"

namespace ramtune::test {
namespace {

enum class Fault { Silent, FactoryReboot, Garbage };
const char* Name(Fault f) {
  return f == Fault::Silent ? "silent" : f == Fault::FactoryReboot ? "factory reboot" : "garbage";
}
const char* const kGarbage = "\x1b[2J\xff\xfe;#garbage 0x\n";
const char* const kFlashCommand = "/mnt/cfe/mtd-write";

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// A unit answers discovery under the 2.4 GHz MAC of its boot partition, and
// its running bootloader reports its own version.
void LikeARealUnit(RouterModel& router) {
  router.afterReboot = [](RouterModel& r, int) {
    link::MacAddress mac{};
    if (link::ParseMacText(r.Mtd0("et0macaddr"), &mac)) std::copy(mac.begin(), mac.end(), r.mac.begin());
    r.Set("bl_version", r.Mtd0("bl_version"));
  };
}

// Where the verification reads each kept value, and the bootloader.
std::vector<std::pair<std::string, std::string>> Held(const RouterModel& r) {
  std::vector<std::string> keys{"et0macaddr", "0:macaddr", "1:macaddr", "0:ccode", "0:regrev", "1:ccode", "1:regrev",
                                "secret_code", "odmpid", "bl_version"};
  for (size_t i = upgrade::kPa2ga0; i < upgrade::kCalibrationItemCount; ++i) keys.push_back(upgrade::kCalibrationItems[i].key);
  std::vector<std::pair<std::string, std::string>> held;
  for (const std::string& key : keys) held.emplace_back(key, r.Mtd0(key));
  return held;
}

// What a healthy unit holds after its upgrade: its own values, the new bootloader.
std::vector<std::pair<std::string, std::string>> Upgraded() {
  Rig rig;
  rig.display.SetTimer(kStartTimer, 100);
  EXPECT_EQ(rig.RunMessages(), -1);
  EXPECT_EQ(rig.dlg->LastEnding().kind, Ending::Completed);
  return Held(rig.router());
}

// Whether the program sent anything that changes the unit.
bool SentAChange(const ScriptedNetwork& network) {
  for (const Bytes& r : network.requests) {
    if (r.size() < 48 || r[2] != 51) continue;
    const std::string command(reinterpret_cast<const char*>(&r[48]), std::min<size_t>(r[46] | r[47] << 8, 420));
    if (StartsWith(command, kFlashCommand) || StartsWith(command, "ATE Set_") ||
        StartsWith(command, "nvram set qarvcfe")) {
      return true;
    }
  }
  return false;
}

// The fault at the k-th command the router receives (0 first), for one run.
void InjectAt(Rig& rig, size_t k, Fault fault) {
  RouterModel& router = rig.router();
  VirtualClock& clock = rig.clock;
  router.script = [&router, &clock, k, fault](const std::string& command, Reply& reply) {
    if (router.commands.size() != k + 1) return false;
    switch (fault) {
      case Fault::Silent:
        router.silentUntilMs = std::numeric_limits<int64_t>::max();
        reply.drop = true;
        break;
      case Fault::FactoryReboot: {
        std::vector<std::pair<std::string, std::string>> kept;
        for (const auto& entry : router.nvram) {
          if (!StartsWith(entry.first, "qarvcfe")) kept.push_back(entry);
        }
        router.nvram = kept;
        WipeToFactory(router, false);
        router.Reboot();
        router.silentUntilMs = clock.NowMs() + router.rebootSilenceMs;
        reply.drop = true;
        break;
      }
      case Fault::Garbage:
        router.Run(command, clock.NowMs());
        reply.text = kGarbage;
        break;
    }
    return true;
  };
}

// Ends the fault: the router answers again, a minute later.
void EndFault(Rig& rig) {
  rig.router().script = nullptr;
  rig.router().silentUntilMs = 0;
  rig.clock.Sleep(60000);
}

struct Verdicts {
  int runs = 0;
  int falsePass = 0;
  int missingHint = 0;
  int notRestored = 0;
};

// Checks the ending of one run; `expectPass`: it must end PASS.
void CheckEnding(Rig& rig, const std::vector<std::pair<std::string, std::string>>& upgraded, bool changed,
                 bool expectPass, const std::string& what, Verdicts& v) {
  ++v.runs;
  const bool pass = rig.display.picture == kPicturePass;
  const bool holds = Held(rig.router()) == upgraded;
  if (pass && !holds) {
    ++v.falsePass;
    ADD_FAILURE() << what << ": PASS, but the unit does not hold every value";
  }
  if (expectPass && !(pass && holds && rig.dlg->LastEnding().kind == Ending::Completed)) {
    ++v.notRestored;
    ADD_FAILURE() << what << ": not restored; last line: "
                  << (rig.display.listLines.empty() ? "" : rig.display.listLines.back());
  }
  if (pass || !changed) return;
  const std::vector<std::string>& hint = rig.dlg->changedUnit.hint;
  const std::vector<std::string>& list = rig.display.listLines;
  const bool hinted = !hint.empty() && list.size() >= hint.size() &&
                      std::equal(hint.begin(), hint.end(), list.end() - static_cast<long>(hint.size())) &&
                      StartsWith(hint[0], "[System]-This unit's values are kept in the Data log ");
  if (!hinted) {
    ++v.missingHint;
    ADD_FAILURE() << what << ": no restore hint after the change; last line: " << (list.empty() ? "" : list.back());
  }
}

TEST(FaultTable, NoFalsePassAndEveryChangedUnitIsRestorable) {
  const auto started = std::chrono::steady_clock::now();
  const std::vector<std::pair<std::string, std::string>> upgraded = Upgraded();

  // The commands of a healthy run, and the fault points along them.
  Rig healthy;
  healthy.display.SetTimer(kStartTimer, 100);
  ASSERT_EQ(healthy.RunMessages(), -1);
  const std::vector<std::string> commands = healthy.Commands();
  auto first = [&](const std::string& prefix) {
    const auto at = std::find_if(commands.begin(), commands.end(), [&](const std::string& c) { return StartsWith(c, prefix); });
    EXPECT_NE(at, commands.end()) << prefix;
    return static_cast<size_t>(at - commands.begin());
  };
  // Identification, the version gate, the backup, the transfer; then the flash.
  const std::vector<size_t> phases{0, first("nvram get bl_version"), first("nvram get wlopmode"),
                                   first("mkdir /tmp/mnt/cfe"), first(kFlashCommand)};
  std::set<size_t> points;
  for (size_t p = 0; p + 1 < phases.size(); ++p) {
    points.insert(phases[p]);
    points.insert(phases[p + 1] - 1);
  }
  for (size_t k = phases.back(); k < commands.size(); ++k) points.insert(k);

  Verdicts v;
  int cases = 0;
  for (const size_t k : points) {
    for (const Fault fault : {Fault::Silent, Fault::FactoryReboot, Fault::Garbage}) {
      if (fault == Fault::FactoryReboot && k < phases.back()) continue;
      ++cases;
      const std::string what = Format("k=%d (%s), %s", static_cast<int>(k), commands[k].c_str(), Name(fault));
      Rig rig;
      LikeARealUnit(rig.router());
      InjectAt(rig, k, fault);
      rig.display.SetTimer(kStartTimer, 100);
      rig.RunMessages();
      const bool changed = SentAChange(rig.network);
      CheckEnding(rig, upgraded, changed, false, what + ", the run", v);
      // Retry is offered after a failure only.
      if (!changed || rig.dlg->LastEnding().kind == Ending::Completed) continue;
      EndFault(rig);
      const RouterModel leftBehind = rig.router();
      const std::string dataLog = rig.dlg->logs.DataLogPath;

      // Retry in the same session.
      rig.clock.timeStamp = "20261208093500";
      rig.dlg->OnRetry();
      EXPECT_EQ(rig.RunMessages(), -1) << what;
      CheckEnding(rig, upgraded, true, true, what + ", Retry", v);

      // A restore from the Data log in a new session, on the unit as the run left it.
      Rig restore;
      restore.router() = leftBehind;
      restore.router().silentUntilMs = 0;
      LikeARealUnit(restore.router());
      const std::string copy = restore.folder + "/" + std::filesystem::path(dataLog).filename().string();
      std::filesystem::copy_file(dataLog, copy);
      restore.clock.timeStamp = "20261208094000";
      restore.dlg->RequestRestore(copy);
      restore.display.SetTimer(kStartTimer, 100);
      EXPECT_EQ(restore.RunMessages(), -1) << what;
      CheckEnding(restore, upgraded, true, true, what + ", --restore", v);
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::printf("fault table: %d fault points x 3 kinds (%d cases, %d runs): %d false PASS, %d endings without the "
              "hint, %d not restored; %.1f s\n",
              static_cast<int>(points.size()), cases, v.runs, v.falsePass, v.missingHint, v.notRestored, seconds);
  EXPECT_EQ(v.falsePass + v.missingHint + v.notRestored, 0);
}

}  // namespace
}  // namespace ramtune::test
