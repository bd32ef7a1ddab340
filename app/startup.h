// Start-up: the environment checks of the main dialog's initialisation, in
// their fixed order. Each failed check shows its message and ends the
// session; success arms the start timer.
#pragma once

#include <optional>
#include <string>

#include "app/ending.h"
#include "platform/platform.h"

namespace ramtune {

class CUpgradeToolDlg;

inline const char* const kSingleInstanceName = "QARV_LM-7210A_AUTO_FW";
inline const char* const kEngineeringAccessValue = "qzkw#8062";
inline const uint32_t kDefaultRouterAddress = 0xC0A80101;  // 192.168.1.1

// What start-up asks of the system; tests replace single answers.
class StartupSystem {
 public:
  virtual ~StartupSystem() = default;
  virtual bool AnotherInstanceRunning(const std::string& name) {
    return platform::AnotherInstanceRunning(name);
  }
  virtual platform::OsVersion QueryOsVersion() { return platform::QueryOsVersion(); }
  virtual std::string ExecutableFolder() { return platform::ExecutableFolder(); }
  virtual std::string ExecutablePath() { return platform::ExecutablePath(); }
  virtual bool CurrentDirectory(std::string* out) { return platform::CurrentDirectory(out); }
  virtual bool LoadEchoLibrary(const std::string& folder, platform::LoadedLibrary* out) {
    return platform::LoadLibraryFrom(folder, platform::kEchoLibraryName, "ping", "HostByName", out);
  }
  virtual std::string MemberMarkerPath() { return platform::kMemberMarkerPath; }
};

// Start-up of a search or a run of a bench or a station: the bench holds
// the single-instance lock for all of them.
class BenchChildStartup : public StartupSystem {
 public:
  bool AnotherInstanceRunning(const std::string&) override { return false; }
};

// Version classes of the system version probe; 3 to 6 may run (3 only with
// Service Pack 3).
int VersionClass(const platform::OsVersion& version);
bool VersionAccepted(const platform::OsVersion& version);

// The checks and preparations of the main dialog's initialisation. Empty
// when every check passed (the echo library stays loaded for good), else the
// ending the program ends with.
std::optional<Ending> RunStartup(CUpgradeToolDlg& dlg, StartupSystem& system);

// The unit ledger's file when no --ledger names one: RAMTUNE_LEDGER, else
// `configIni`'s [Ledger] Path, else the PC's state folder's (empty when
// that folder cannot be had).
std::string LedgerPathOf(const std::string& configIni);
// The same for a process without start-up (a history, a bench): `named`
// (--ledger) when given, else LedgerPathOf the config.ini in `programFolder`.
std::string LedgerPathFor(const std::string& named, const std::string& programFolder);

}  // namespace ramtune
