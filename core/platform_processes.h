// The production ProcessRunner: straight onto the platform layer. Both front
// ends use it.
#pragma once

#include "core/seams.h"
#include "platform/platform.h"

namespace ramtune {

class PlatformProcesses : public ProcessRunner {
 public:
  platform::CapturedRun RunCaptured(const std::string& application, const std::string& commandLine,
                                    int limitMs, size_t maxBytes) override {
    return platform::RunCaptured(application, commandLine, limitMs, maxBytes);
  }
  platform::HiddenRun RunHidden(const std::string& application, const std::string& commandLine,
                                int limitMs) override {
    return platform::RunHidden(application, commandLine, limitMs);
  }
  void StartDetached(const std::string& application, const std::string& commandLine) override {
    platform::StartDetached(application, commandLine);
  }
};

}  // namespace ramtune
