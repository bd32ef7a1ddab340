// Where the programs that a run starts are taken from. Never from the
// current directory: it is writable and holds the logs, so a program
// planted there (an "arp.exe" beside the logs) must not be run.
#pragma once

#include <string>
#include <vector>

namespace ramtune {

// The Wi-Fi helper that the run starts around the router's reboot.
inline const char* const kSsidToolFile = "QARV_SSID.exe";
// The system program that empties the address cache before each search round.
inline const char* const kArpProgram = "arp";

// A program that comes with the tool: `programFolder` (with its trailing
// separator) first, then each of `searchFolders` in order. The full path,
// or empty when none of them has the file.
std::string FindToolProgram(const std::string& fileName, const std::string& programFolder,
                            const std::vector<std::string>& searchFolders);
// The same with the absolute folders of this process's PATH.
std::string FindToolProgram(const std::string& fileName, const std::string& programFolder);

}  // namespace ramtune
