#include "app/script_runner.h"

#include "core/text.h"
#include "platform/platform.h"

namespace ramtune {

bool ScriptRunner::Run(const std::string& currentDirectory, const link::Target& unit) {
  const std::string folder = currentDirectory + platform::kPathSeparator + "Script";
  const std::string path = display_.ChooseFile(kScriptFilter, folder);
  return RunFile(path, unit);
}

bool ScriptRunner::RunFile(const std::string& path, const link::Target& unit) {
  if (!path.empty()) logs_.AppendProcessLog("[Script]:" + path);
  CommandList.clear();
  std::string text;
  if (path.empty() || !platform::ReadFilePrefix(path, kScriptReadBytes, &text)) {
    logs_.AppendProcessLog("Open File " + path + " Fail");
    return false;
  }
  CommandList = SplitScript(text);

  logs_.AppendProcessLog("=====[Command]=====");
  for (size_t i = 0; i < CommandList.size(); ++i) {
    logs_.AppendProcessLog(Format("%d: ", static_cast<int>(i + 1)) + CommandList[i]);
  }
  logs_.AppendProcessLog("===================");

  if (!platform::AppendToFile(kResultFile, "")) {
    logs_.AppendProcessLog(std::string("Open File ") + kResultFile + " Fail");
    return false;
  }
  bool recorded = true;
  for (const std::string& command : CommandList) {
    const std::string sent = "<Send> " + command + "\n";
    logs_.AppendProcessLog(sent);
    recorded = platform::AppendToFile(kResultFile, sent) && recorded;
    channel_.SendCommand(unit, command, 200);
    // The whole reply is recorded: it is what the engineer ran the script for.
    const std::string response = "<Response> " + channel_.ResponseText() + "\n";
    logs_.AppendProcessLog(response);
    recorded = platform::AppendToFile(kResultFile, response) && recorded;
  }
  return recorded;
}

}  // namespace ramtune
