#include "link/tool_runner.h"

#include "core/programs.h"
#include "platform/platform.h"

namespace ramtune::link {

std::string ConsoleRunner::UploaderPath() const {
  return settings_.ToolFolderPath + platform::kPathSeparator + platform::kUploaderName;
}

std::string ConsoleRunner::UploadCommandLine(const std::string& fileName) const {
  const std::string localFile = settings_.ToolFolderPath + platform::kPathSeparator + fileName;
  // A route that names its interface holds the upload too: on Linux the
  // name ties curl's socket to it (an address would only pick the source
  // address), on Windows curl takes the address.
  std::string interfaceOption;
  const Route route = link_.TargetRoute();
  if (!route.SystemRouting()) {
    interfaceOption = " --interface " + (platform::kUploaderInterfaceByName ? route.name : route.localAddress);
  }
  return std::string(platform::kUploaderName) + interfaceOption + " -T \"" + localFile + "\" ftp://" +
         link_.Current().DeviceIp + "/cfe/";
}

bool ConsoleRunner::ExecuteConsoleCommand(const std::string& commandLine, std::string* output) {
  using Status = platform::CapturedRun::Status;
  const std::string uploader = UploaderPath();
  const platform::CapturedRun run =
      processes_.RunCaptured(uploader, commandLine, kUploaderLimitMs, kUploaderOutputBytes);
  switch (run.status) {
    case Status::PipeFailed:
      logs_.AppendProcessLog("Can Not Create Windows Pipe!");
      return false;
    case Status::StartFailed:
      logs_.AppendProcessLog(run.systemError);
      logs_.AppendProcessLog("Path: " + uploader);
      logs_.AppendProcessLog("command: " + commandLine);
      logs_.AppendProcessLog("Can not create process!");
      return false;
    case Status::TimedOut:
      logs_.AppendProcessLog("Create process timeout!");
      return false;
    case Status::ReadFailed:
    case Status::Ok:
      break;
  }
  waits_.PumpingDelay(500);
  if (run.status == Status::ReadFailed || run.output.empty()) {
    logs_.AppendProcessLog("Retrieve data error!");
    return false;
  }
  // Up to the first zero byte, as a C string would end.
  *output = run.output.substr(0, run.output.find('\0'));
  return true;
}

bool ConsoleRunner::Upload(const std::string& fileName, const char* okLine, const char* failLine) {
  std::string output;
  const bool ok = ExecuteConsoleCommand(UploadCommandLine(fileName), &output);
  logs_.AppendProcessLog(ok ? okLine : failLine);
  return ok;
}

bool ConsoleRunner::UploadBootImage() {
  return Upload(kBootImageFile, "ExecuteConsoleCommand_Bin ok!", "ExecuteConsoleCommand_Bin fail!");
}

bool ConsoleRunner::UploadFlashTool() {
  return Upload(kFlashToolFile, "ExecuteConsoleCommand_Mtd ok!", "ExecuteConsoleCommand_Mtd fail!");
}

bool ConsoleRunner::RunSsidTool(const std::string& argument, int limitMs) {
  const std::string program = FindToolProgram(kSsidToolFile, settings_.ProgramFolder);
  if (program.empty()) return false;
  return processes_.RunHidden(program, std::string(kSsidToolFile) + " " + argument, limitMs) ==
         platform::HiddenRun::Ended;
}

}  // namespace ramtune::link
