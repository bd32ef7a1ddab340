#include "core/programs.h"

#include <cstdlib>

#include "platform/platform.h"

namespace ramtune {

std::string FindToolProgram(const std::string& fileName, const std::string& programFolder,
                            const std::vector<std::string>& searchFolders) {
  if (!programFolder.empty() && platform::FileExists(programFolder + fileName)) {
    return programFolder + fileName;
  }
  for (const std::string& folder : searchFolders) {
    if (folder.empty()) continue;
    std::string path = folder;
    if (path.back() != platform::kPathSeparator && path.back() != '/') path += platform::kPathSeparator;
    path += fileName;
    if (platform::FileExists(path)) return path;
  }
  return std::string();
}

std::string FindToolProgram(const std::string& fileName, const std::string& programFolder) {
  const char* path = std::getenv("PATH");
  return FindToolProgram(fileName, programFolder,
                         platform::AbsoluteSearchFolders(path != nullptr ? path : ""));
}

}  // namespace ramtune
