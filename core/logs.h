// Run logs and the two waiting primitives.
//
// The program does all its work on one thread; it stays responsive because
// every wait, and every Process log line, dispatches waiting messages.
#pragma once

#include <cstdint>
#include <string>

#include "core/seams.h"
#include "core/settings.h"

namespace ramtune {

class Waits {
 public:
  explicit Waits(Clock& clock) : clock_(clock) {}

  // Mean cost of one counter read: 1001 reads after a start value, /1000.
  void MeasureQpcReadCost();

  // `count` passes (at least one): dispatch one waiting message, then sleep
  // 100 ms unless count is 0.
  void PumpMessages(int count);

  // Waits ms on the performance counter, dispatching every message that
  // arrives meanwhile; between messages it sleeps until the next one or the
  // end of the pause, whichever comes first.
  void PumpingDelay(int ms);

  int64_t QpcReadCost = 0;
  Clock& clock() { return clock_; }

 private:
  Clock& clock_;
};

class RunLogs {
 public:
  RunLogs(Waits& waits, Display& display, const Settings& settings)
      : waits_(waits), display_(display), settings_(settings) {}

  // Pumps one message (100 ms), then, in engineering mode or when the line
  // carries "[System]", shows it in the log list and appends it to the
  // Process log.
  void AppendProcessLog(std::string line);

  // Appends the line, with the write-back command words removed, to the Data
  // log. A line that cannot be written is remembered in DataLogError.
  void AppendDataLog(std::string line);

  // Builds both names of a run from the MAC digits and a time stamp.
  void NameRunLogs(const std::string& macText, const std::string& timeStamp);

  std::string ProcessLogPath;
  std::string DataLogPath;
  // Why the Data log misses a line (the system's text); empty while every
  // line has reached it. Naming the logs of a run clears it.
  std::string DataLogError;

 private:
  Waits& waits_;
  Display& display_;
  const Settings& settings_;
};

// The Data log line of a write-back command: the command words removed.
std::string DataLogLineOf(const std::string& writeCommand);

// Appends line + CR LF to a log path, provided the path names a ".txt" file.
// False when the line was not written; `error`, when given, then says why.
bool AppendLogLine(const std::string& path, const std::string& line, std::string* error = nullptr);

}  // namespace ramtune
