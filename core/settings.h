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

struct Settings {
  std::string ProgramFolder;   // the executable's folder, with its trailing separator
  std::string ToolFolderPath;  // current directory + separator + kToolFolderName
  bool EngineeringMode = false;
  bool MemberMode = false;
  // How this front end is started to restore a Data log, without the path:
  // the recovery hint after a failed run shows it.
  std::string RestoreCommand = "ramtune --restore";
};

}  // namespace ramtune
