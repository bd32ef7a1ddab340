// Identification of the router, the choice among several, the run's log
// names, the readiness wait and the two gates that refuse a router.
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/dialogs.h"
#include "core/text.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {
namespace {

bool IsSupportedModel(const std::string& model) { return model == "LM-7210A" || model == "LM-7210B"; }

// Decimal text to integer as the C library reads it: leading blanks, a sign,
// digits up to the first other character, 0 without digits. Values beyond the
// integer range saturate instead of overflowing.
long VersionNumber(const std::string& text) {
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return value;
}

// A version as the router prints it: digits and dots, blanks around it.
bool IsVersionText(const std::string& text, std::string* version) {
  const size_t begin = text.find_first_not_of(" \t\r");
  const size_t end = text.find_last_not_of(" \t\r");
  *version = begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
  return version->find_first_of("0123456789") != std::string::npos &&
         version->find_first_not_of("0123456789.") == std::string::npos;
}

}  // namespace

PhaseEnd UpgradeRun::Identify() {
  Log("[System]-Initializing......");
  // Until the choice below, requests are broadcast and commands go to the
  // router that answered last: the one the search before the run found.
  state_.Unit = link::Target{};
  observer_.UnitAddressed(state_.Unit);
  s_.link.discovery.ClearDeviceTable();

  // Probe only: the wait below decides.
  Retry(5, 1000, RetryVariant::CountingUp, [&] {
    const std::string line = Ask("ATE Get_FwReadyStatus", 1000);
    Log("FwReadyStatus:" + line);
    return Contains(line, "1");
  });

  if (!s_.link.discovery.SearchRouter(state_.Unit)) {
    EndRun(kPicturePause, kUnableToConnect, "Complete");
    return RunOutcome::Failed;
  }

  std::string firmware;
  const bool versionRead = Retry(5, 1000, RetryVariant::CountingDown, [&] {
    firmware = Ask("ATE Get_FWVersion", 1000);
    return firmware.size() >= 7;
  });
  if (!versionRead) {
    EndRun(kPicturePause,
           "Unable to retrieve LM-7210A/LM-7210B info!! Please check if the LM-7210A/LM-7210B has "
           "been connected to your PC properly.",
           "");
    return RunOutcome::Failed;
  }

  // The router recorded last names the unit unless one is chosen below.
  const link::DeviceEntry found = s_.link.discovery.LastFound();
  state_.Unit = link::Target::Unchosen(found);
  const std::string modelLabel = "Model:  [" + found.Model + "]";
  const std::string macLabel = "MAC Address:  [" + found.MacText + "]";
  s_.display.SetLabel(kLabelFirmware, "Firmware Version:  [" + firmware + "]");
  s_.display.SetLabel(kLabelModel, modelLabel);
  s_.display.SetLabel(kLabelMac, macLabel);

  const std::vector<link::DeviceEntry> table = s_.link.discovery.DeviceTable();
  std::vector<link::DeviceEntry> candidates;
  Log(Format("Find total device counts: %d ", static_cast<int>(table.size())));
  auto logEntry = [&](const link::DeviceEntry& entry) {
    Log(entry.Model);
    Log(entry.Ip);
    Log(entry.MacText);
    Log(entry.Label);
  };
  for (const link::DeviceEntry& entry : table) {
    logEntry(entry);
    if (IsSupportedModel(entry.Model)) candidates.push_back(entry);
  }
  Log(Format("Number of LM_7210A/LM_7210B Devices: %d ", static_cast<int>(candidates.size())));

  std::string chosenAddress;  // stays empty without a candidate
  if (!candidates.empty()) {
    std::string ipList;
    std::vector<std::string> interfaces;
    bool severalInterfaces = false;
    for (const link::DeviceEntry& entry : candidates) {
      logEntry(entry);
      ipList += (ipList.empty() ? "" : ";") + entry.Ip;
      interfaces.push_back(entry.Via.name);
      severalInterfaces |= entry.Via.name != candidates.front().Via.name;
    }
    size_t chosenIndex = 0;
    if (candidates.size() > 1) {
      SelectDeviceModel dialog;
      dialog.SetList(ipList);
      if (severalInterfaces) dialog.Interfaces = interfaces;
      s_.display.RunSelectDeviceDialog(dialog);
      const bool chosen = dialog.SelectedIndex >= 0 && static_cast<size_t>(dialog.SelectedIndex) < candidates.size() &&
                          Contains(candidates[static_cast<size_t>(dialog.SelectedIndex)].Ip, ".");
      if (!chosen) {
        return RunOutcome::SelectionClosed;
      }
      chosenIndex = static_cast<size_t>(dialog.SelectedIndex);
    }
    const link::DeviceEntry& chosen = candidates[chosenIndex];
    // From here on the run talks through the chosen entry's interface only.
    const std::string refusal = s_.link.discovery.RouteRefusal(chosen);
    if (!refusal.empty()) {
      EndRun(kPicturePause, refusal, std::string("[System]-") + refusal);
      return RunOutcome::Failed;
    }
    // The labels and the log names name the unit that is upgraded, also when
    // another router answered after it.
    state_.Unit = link::Target::Chosen(chosen);
    chosenAddress = state_.Unit.ip = RemoveChar(chosen.Ip, ' ');
    const std::string chosenModelLabel = "Model:  [" + chosen.Model + "]";
    const std::string chosenMacLabel = "MAC Address:  [" + chosen.MacText + "]";
    if (chosenModelLabel != modelLabel) s_.display.SetLabel(kLabelModel, chosenModelLabel);
    if (chosenMacLabel != macLabel) s_.display.SetLabel(kLabelMac, chosenMacLabel);
  }

  observer_.UnitAddressed(state_.Unit);
  Log("User select IP:" + chosenAddress);

  s_.logs.NameRunLogs(state_.Unit.macText, s_.waits.clock().LocalTimeStamp());
  SetProgress(1);
  return kGoOn;
}

bool UpgradeRun::WaitReadyAndStartSsidTool() {
  if (!WaitUntilReady(30, "FwReadyStatus:")) {
    ReportInfoFailure();
    return false;
  }
  Log(s_.runner.RunSsidTool("/GET", 5000) ? "Exec QARV_SSID GET Success" : "Exec QARV_SSID GET Fail");
  return true;
}

bool UpgradeRun::ModelGate() {
  const std::string model = state_.Unit.model;
  if (Contains(model, "LM-7210")) return true;
  EndRun(kPicturePause, "Incompatible device " + model, "Unsupport product " + model);
  return false;
}

bool UpgradeRun::OlderThanImage(const std::string& version) {
  return VersionNumber(RemoveChar(version, '.')) < VersionNumber(RemoveChar(kBootImageVersion, '.'));
}

bool UpgradeRun::BootloaderIsOlder() {
  const std::string limitText = RemoveChar(kBootImageVersion, '.');
  return Retry(3, 1000, RetryVariant::CountingDown, [&] {
    state_.BootloaderBefore = Ask("nvram get bl_version", 1000);
    const std::string current = RemoveChar(state_.BootloaderBefore, '.');
    Log("CurBlVer:" + current);
    Log("LimitBlVer:" + limitText);
    return VersionNumber(current) < VersionNumber(limitText);
  });
}

UpgradeRun::BootloaderGate UpgradeRun::RestoreBootloaderGate() {
  const std::string limitText = RemoveChar(kBootImageVersion, '.');
  std::string version;
  const bool read = Retry(3, 1000, RetryVariant::CountingDown, [&] {
    const std::string line = Ask("nvram get bl_version", 1000);
    Log("CurBlVer:" + RemoveChar(line, '.'));
    Log("LimitBlVer:" + limitText);
    return IsVersionText(line, &version);
  });
  const long current = VersionNumber(RemoveChar(version, '.'));
  const long limit = VersionNumber(limitText);
  if (read && current <= limit) return current < limit ? BootloaderGate::FlashFirst : BootloaderGate::NoFlash;
  const std::string image = kBootImageVersion;
  const std::string text =
      (read ? "This unit's bootloader is " + version + ", newer than the image's " + image +
                  ", whose board settings a restore writes."
            : "This unit's bootloader version cannot be read (the image's is " + image + ").") +
      " Nothing has been written to the router.";
  EndRun(kPicturePause, text, text);
  return BootloaderGate::Refused;
}

PhaseEnd UpgradeRun::ModelAndVersionGates() {
  if (!ModelGate()) return RunOutcome::Failed;
  if (s_.settings.MemberMode) return NewBootloaderGate(false);
  if (BootloaderIsOlder()) return kGoOn;
  if (PhaseEnd end = NewBootloaderGate(true)) return end;

  const char* latest =
      "Your LM-7210A/LM-7210B already has the latest available DDR configuration update.";
  s_.display.SetPicture(kPicturePass);
  s_.display.SetProgress(20);
  EndRun(0, latest, latest);
  return RunOutcome::UpToDate;
}

}  // namespace ramtune::upgrade
