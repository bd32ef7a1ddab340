#include "upgrade/run_mark.h"

#include <algorithm>

#include "core/text.h"
#include "platform/platform.h"

namespace ramtune::upgrade {
namespace {

const char* const kMarkPrefix = "Unfinished_";
const char* const kMarkSuffix = ".txt";
const char* const kMarkHeading =
    "An upgrade run changed this unit and did not finish. Its values are in the Data log below. "
    "Delete this file once the unit has been dealt with.";
constexpr size_t kMarkMaxBytes = 4096;

bool IsMacDigits(const std::string& text) {
  return text.size() == 12 && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

// The value after "key=" on its own line of `text`.
std::string Field(const std::string& text, const std::string& key) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    pos = end + 1;
  }
  return "";
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string MarkPath(const std::string& folder, const std::string& mac) {
  return folder + kMarkPrefix + mac + kMarkSuffix;
}

std::string MarkText(const RunMark& mark) {
  return std::string(kMarkHeading) + "\r\nMAC=" + mark.mac + "\r\nDataLog=" + mark.dataLog + "\r\nTime=" + mark.time +
         "\r\n";
}

bool ParseMark(const std::string& text, RunMark* mark) {
  RunMark read;
  read.mac = Field(text, "MAC");
  read.dataLog = Field(text, "DataLog");
  read.time = Field(text, "Time");
  if (!IsMacDigits(read.mac) || read.dataLog.empty()) return false;
  read.path = mark->path;
  *mark = read;
  return true;
}

std::vector<RunMark> OpenMarks(const std::string& folder) {
  std::vector<std::string> names = platform::FolderFileNames(folder);
  std::sort(names.begin(), names.end());
  std::vector<RunMark> marks;
  const std::string prefix = kMarkPrefix, suffix = kMarkSuffix;
  for (const std::string& name : names) {
    if (name.size() != prefix.size() + 12 + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    RunMark mark;
    mark.path = folder + name;
    std::string text;
    if (!platform::ReadFilePrefix(mark.path, kMarkMaxBytes, &text) || !ParseMark(text, &mark)) {
      const std::string path = mark.path;
      mark = RunMark{};
      mark.path = path;
    }
    marks.push_back(mark);
  }
  return marks;
}

}  // namespace ramtune::upgrade
