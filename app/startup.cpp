#include "app/startup.h"

#include <cstdlib>

#include "core/dialogs.h"
#include "core/text.h"
#include "app/upgrade_tool_dlg.h"

namespace ramtune {
namespace {
constexpr unsigned kPlatformWin9x = 1;
constexpr unsigned kPlatformNt = 2;
}  // namespace

int VersionClass(const platform::OsVersion& v) {
  if (v.platformId == kPlatformNt) {
    if (v.major == 4) return 1;
    if (v.major == 5) return v.minor == 0 ? 2 : 3;
    if (v.major == 6) return v.minor == 0 ? 4 : v.minor == 1 ? 5 : 6;
    return 0;
  }
  if (v.platformId == kPlatformWin9x && v.major == 4) {
    if (v.minor >= 90) return 8;
    if (v.minor == 10) return 9;
    if (v.minor == 0) return 10;
  }
  return 0;
}

bool VersionAccepted(const platform::OsVersion& v) {
  const int cls = VersionClass(v);
  if (cls == 3) return Contains(v.servicePack, "Pack 3");
  return cls >= 4 && cls <= 6;
}

std::optional<Ending> RunStartup(CUpgradeToolDlg& dlg, StartupSystem& system) {
  using upgrade::RunOutcome;
  Display& display = dlg.display();
  Host& host = dlg.host();

  const intptr_t competing = host.FindTopLevelWindow(link::kCompetingUtilityTitle);
  if (competing != 0) {
    if (!display.AskYesNo(link::kCompetingUtilityQuestion)) {
      Ending kept = dlg.OnCancel();  // Exit's steps
      kept.outcome = RunOutcome::UtilityKept;
      return kept;
    }
    host.CloseWindowSync(competing);
    dlg.waits.PumpingDelay(1000);
  }

  if (system.AnotherInstanceRunning(kSingleInstanceName)) {
    display.MessageBox("The program is running");
    return Ending{RunOutcome::StartupRefused, false, true, ""};
  }

  if (!VersionAccepted(system.QueryOsVersion())) {
    display.MessageBox(
        "Support windows versions as below:\r\n-Windows XP SP3\r\n-Windows Vista\r\n-Windows "
        "7\r\n-Windows 8\r\n-Windows 8.1");
    return Ending{RunOutcome::StartupRefused, false, true, ""};
  }

  Settings& settings = dlg.settings;
  settings.ProgramFolder = system.ExecutableFolder();
  settings.ProgramPath = system.ExecutablePath();
  for (const char* name : {kFlashToolFile, platform::kUploaderName, platform::kEchoLibraryName,
                           kBootImageFile, "config.ini"}) {
    const std::string path = settings.ProgramFolder + name;
    if (!platform::FileExists(path)) {
      display.MessageBox("Loss file:\n" + path);
      return Ending{RunOutcome::StartupRefused, false, true, ""};
    }
  }

  if (platform::FileExists(system.MemberMarkerPath())) settings.MemberMode = true;
  if (settings.LedgerPath.empty()) settings.LedgerPath = LedgerPathOf(settings.ProgramFolder + "config.ini");
  const std::string mode =
      platform::ReadProfileString("QARV", "MODE", settings.ProgramFolder + "config.ini");
  if (mode == kEngineeringAccessValue) settings.EngineeringMode = true;

  display.SetTitle(kWindowTitle);
  display.SetIpAddress(kDefaultRouterAddress);

  platform::LoadedLibrary echo;
  if (!system.LoadEchoLibrary(settings.ProgramFolder, &echo)) {
    display.MessageBox(std::string("Can't load ") + platform::kEchoLibraryName);
    return Ending{RunOutcome::StartupFailed, false, true, ""};
  }
  if (echo.first == nullptr || echo.second == nullptr) {
    display.MessageBox("GetProcAddress(ping) failed");
    return Ending{RunOutcome::StartupFailed, false, true, ""};
  }

  std::string current;
  if (!system.CurrentDirectory(&current)) {
    display.MessageBox("Get Current Directory Fail...");
    return Ending{RunOutcome::StartupFailed, false, true, ""};
  }
  settings.ToolFolderPath = current + platform::kPathSeparator + kToolFolderName;
  platform::CreateDirectory(settings.ToolFolderPath);  // it may exist already

  display.SetProgressRange(0, 20, 1);
  display.SetProgress(0);
  display.SetPicture(kPictureLogo);
  display.EnableButton(kButtonRetry, false);
  display.SetTimer(kStartTimer, 100);
  return std::nullopt;
}

std::string LedgerPathOf(const std::string& configIni) {
  const char* env = std::getenv("RAMTUNE_LEDGER");
  if (env != nullptr && env[0] != '\0') return env;
  const std::string configured = platform::ReadProfileString("Ledger", "Path", configIni);
  if (!configured.empty()) return configured;
  std::string error;
  const std::string folder = platform::PcStateFolder(&error);
  return folder.empty() ? std::string() : folder + upgrade::kLedgerFileName;
}

std::string LedgerPathFor(const std::string& named, const std::string& programFolder) {
  return named.empty() ? LedgerPathOf(programFolder + "config.ini") : named;
}

}  // namespace ramtune
