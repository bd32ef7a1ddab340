#include "link/tool_runner.h"

#include "core/programs.h"
#include "core/text.h"
#include "platform/platform.h"

namespace ramtune::link {

std::string ToolRunner::UploaderPath() const {
  return settings_.ToolFolderPath + platform::kPathSeparator + platform::kUploaderName;
}

std::string ToolRunner::UploadCommandLine(const std::string& fileName, const Target& unit) const {
  const std::string localFile = settings_.ToolFolderPath + platform::kPathSeparator + fileName;
  // A route that names its interface holds the upload too: on Linux the
  // name ties curl's socket to it (an address would only pick the source
  // address), on Windows curl takes the address.
  std::string interfaceOption;
  const Route& route = unit.route;
  if (!route.SystemRouting()) {
    interfaceOption = " --interface " + (platform::kUploaderInterfaceByName ? route.name : route.localAddress);
  }
  return std::string(platform::kUploaderName) + interfaceOption + " -T \"" + localFile + "\" ftp://" +
         unit.ip + "/cfe/";
}

bool ToolRunner::ExecuteConsoleCommand(const std::string& commandLine, std::string* output, UploaderEnd* end) {
  using Status = platform::CapturedRun::Status;
  UploaderEnd ignored;
  if (end == nullptr) end = &ignored;
  *end = UploaderEnd{};
  auto fail = [&](const std::string& line) {
    end->failure = line;
    logs_.AppendProcessLog(line);
    return false;
  };
  const std::string uploader = UploaderPath();
  const platform::CapturedRun run =
      processes_.RunCaptured(uploader, commandLine, kUploaderLimitMs, kUploaderOutputBytes);
  switch (run.status) {
    case Status::PipeFailed:
      return fail("Can Not Create Windows Pipe!");
    case Status::StartFailed:
      logs_.AppendProcessLog(run.systemError);
      logs_.AppendProcessLog("Path: " + uploader);
      logs_.AppendProcessLog("command: " + commandLine);
      return fail("Can not create process!");
    case Status::TimedOut:
      return fail("Create process timeout!");
    case Status::ReadFailed:
    case Status::Ok:
      break;
  }
  waits_.PumpingDelay(500);
  end->exitCode = run.exitCode;
  // Up to the first zero byte, as a C string would end.
  *output = run.output.substr(0, run.output.find('\0'));
  if (run.status == Status::ReadFailed || run.output.empty()) return fail("Retrieve data error!");
  return true;
}

std::string UploaderErrorLine(const std::string& output) {
  std::string last;
  size_t start = 0;
  while (start < output.size()) {
    size_t stop = output.find_first_of("\r\n", start);
    if (stop == std::string::npos) stop = output.size();
    const std::string line = output.substr(start, stop - start);
    if (line.rfind("curl:", 0) == 0) return line;
    if (line.find_first_not_of(' ') != std::string::npos) last = line;
    start = stop + 1;
  }
  return last;
}

bool ToolRunner::Upload(const std::string& fileName, const Target& unit, const char* okLine, const char* failLine) {
  std::string output;
  UploaderEnd end;
  const bool ok = ExecuteConsoleCommand(UploadCommandLine(fileName, unit), &output, &end) && end.exitCode == 0;
  logs_.AppendProcessLog(ok ? okLine : failLine);
  if (!ok) {
    std::string why = end.exitCode >= 0 ? Format("curl status %d", end.exitCode) : end.failure;
    if (end.exitCode >= 0 && !end.failure.empty()) why += ", " + end.failure;
    const std::string error = UploaderErrorLine(output);
    if (!error.empty()) why += ": " + error;
    logs_.AppendProcessLog("[System]-The upload of " + fileName + " did not complete (" + why +
                           "). Nothing has been changed on the router. Check the connection to the router, "
                           "then press Retry.");
  }
  return ok;
}

bool ToolRunner::UploadBootImage(const Target& unit) {
  return Upload(kBootImageFile, unit, "ExecuteConsoleCommand_Bin ok!", "ExecuteConsoleCommand_Bin fail!");
}

bool ToolRunner::UploadFlashTool(const Target& unit) {
  return Upload(kFlashToolFile, unit, "ExecuteConsoleCommand_Mtd ok!", "ExecuteConsoleCommand_Mtd fail!");
}

bool ToolRunner::RunSsidTool(const std::string& argument, int limitMs) {
  if (!settings_.StartsSsidTool) return false;
  const std::string program = FindToolProgram(kSsidToolFile, settings_.ProgramFolder);
  if (program.empty()) return false;
  return processes_.RunHidden(program, std::string(kSsidToolFile) + " " + argument, limitMs) ==
         platform::HiddenRun::Ended;
}

}  // namespace ramtune::link
