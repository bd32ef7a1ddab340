#include "core/logs.h"

#include "core/text.h"
#include "platform/platform.h"

namespace ramtune {

void Waits::MeasureQpcReadCost() {
  const int64_t start = clock_.PerformanceCounter();
  int64_t last = start;
  for (int i = 0; i < 1001; ++i) last = clock_.PerformanceCounter();
  QpcReadCost = (last - start) / 1000;
}

void Waits::PumpMessages(int count) {
  int passes = count < 1 ? 1 : count;
  for (int i = 0; i < passes; ++i) {
    clock_.DispatchOneMessage();
    if (count != 0) clock_.Sleep(100);
  }
}

void Waits::PumpingDelay(int ms) {
  if (ms == 0) return;
  clock_.NotePause(ms);
  const int64_t frequency = clock_.PerformanceFrequency();
  const int64_t now = clock_.PerformanceCounter();
  const int64_t target = now + static_cast<int64_t>(ms) * frequency / 1000 - 2 * QpcReadCost;
  for (;;) {
    const bool dispatched = clock_.DispatchOneMessage();
    const int64_t left = target - clock_.PerformanceCounter();
    if (left < 0) break;
    // Rounded up: the pause may end up to a millisecond late, never early.
    if (!dispatched) clock_.WaitForMessage(static_cast<int>((left * 1000 + frequency - 1) / frequency));
  }
}

bool AppendLogLine(const std::string& path, const std::string& line, std::string* error) {
  const size_t dot = path.find(".txt");
  if (dot == std::string::npos || dot == 0) {
    if (error != nullptr) *error = "no log file has been named";
    return false;
  }
  return platform::AppendToFile(path, line + "\r\n", error);
}

void RunLogs::AppendProcessLog(std::string line) {
  waits_.PumpMessages(1);
  if (!settings_.EngineeringMode && !Contains(line, "[System]")) return;
  display_.LogListAdd(line);
  AppendLogLine(ProcessLogPath, line);
}

std::string DataLogLineOf(const std::string& writeCommand) {
  return ReplaceAll(ReplaceAll(writeCommand, "ATE Set_", ""), "nvram set qarvcfe", "");
}

void RunLogs::AppendDataLog(std::string line) {
  std::string error;
  if (!AppendLogLine(DataLogPath, DataLogLineOf(line), &error) && DataLogError.empty()) DataLogError = error;
}

void RunLogs::NameRunLogs(const std::string& macText, const std::string& timeStamp) {
  const char* folder = settings_.ToolFolderPath.c_str();
  ProcessLogPath = Format("%s%s_Process_%s.txt", folder, macText.c_str(), timeStamp.c_str());
  DataLogPath = Format("%s%s_Data_%s.txt", folder, macText.c_str(), timeStamp.c_str());
  DataLogError.clear();
}

}  // namespace ramtune
