// Process-wide settings, set once by start-up and read everywhere else.
#pragma once

#include <string>

namespace ramtune {

// Name of the folder, beside which the logs are written and in which the run
// expects its transfer files.
inline const char* const kToolFolderName = "QARV LM-7210A_LM-7210B DDR Configuration Upgrade Tool";
// The files that go to the router.
inline const char* const kBootImageVersion = "1.0.1.6";
inline const char* const kBootImageFile = "cfe_lm-7210a_1.0.1.6.bin";
inline const char* const kFlashToolFile = "mtd-write";

// How a command pasted into this front end's shell starts it again to
// restore a Data log: the recovery hint after a failed run shows one.
struct RestoreCommandStyle {
  bool commandPrompt = false;  // Windows' command prompt: double quotes, "cd /d"; else a POSIX shell
  std::string restoreOption = "--restore";
  std::string interfaceOption = "--interface";
  bool interfaceByAddress = false;  // the option names an interface by its IPv4 address
};

struct Settings {
  std::string ProgramFolder;   // the executable's folder, with its trailing separator
  std::string ProgramPath;     // the executable itself
  std::string ToolFolderPath;  // current directory + separator + kToolFolderName
  bool EngineeringMode = false;
  bool MemberMode = false;
  RestoreCommandStyle RestoreCommand;
  // The unit ledger's file: --ledger, RAMTUNE_LEDGER, config.ini's
  // [Ledger] Path, else the PC's state folder (empty when that cannot be had).
  std::string LedgerPath;
  // A run of a bench: the name of its slot and when the bench's session
  // began ("%Y%m%d%H%M%S"), kept with the run in the ledger.
  std::string BenchSlot;
  std::string BenchSession;
  // The Wi-Fi helper saves and restores the PC's Wi-Fi around the reboot.
  // The runs of a bench leave it alone: several at once would fight over
  // the one Wi-Fi, and a bench's units are wired.
  bool StartsSsidTool = true;

  // The folder the program was started in: the tool folder and the logs
  // are found from it.
  std::string RunFolder() const {
    const size_t name = std::string(kToolFolderName).size() + 1;  // with its separator
    return ToolFolderPath.size() > name ? ToolFolderPath.substr(0, ToolFolderPath.size() - name) : std::string();
  }
};

}  // namespace ramtune
