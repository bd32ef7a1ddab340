// Start-up: the environment checks in their order, their messages and exit
// codes, and what a successful start-up leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/startup.h"
#include "support/rig.h"

namespace ramtune::test {
namespace {

using Events = std::vector<std::string>;

int gEcho = 0;  // stands in for the two entry points

class FakeStartupSystem : public StartupSystem {
 public:
  bool AnotherInstanceRunning(const std::string& name) override {
    askedName = name;
    return otherInstance;
  }
  platform::OsVersion QueryOsVersion() override { return version; }
  std::string ExecutableFolder() override { return folder; }
  bool CurrentDirectory(std::string* out) override {
    *out = current;
    return currentOk;
  }
  bool LoadEchoLibrary(const std::string& from, platform::LoadedLibrary* out) override {
    loadedFrom = from;
    if (!libraryLoads) return false;
    out->first = firstSymbol ? &gEcho : nullptr;
    out->second = secondSymbol ? &gEcho : nullptr;
    return true;
  }
  std::string MemberMarkerPath() override { return marker; }

  bool otherInstance = false;
  platform::OsVersion version{2, 6, 1, "Service Pack 1"};
  std::string folder, current, marker, askedName, loadedFrom;
  bool currentOk = true, libraryLoads = true, firstSymbol = true, secondSymbol = true;
};

class StartupTest : public ::testing::Test {
 protected:
  StartupTest() {
    system.folder = rig.folder + "/program" + platform::kPathSeparator;
    system.current = rig.folder;
    system.marker = rig.folder + "/marker.txt";
    std::filesystem::create_directories(system.folder);
    for (const char* name : {kFlashToolFile, platform::kUploaderName, platform::kEchoLibraryName, kBootImageFile}) {
      std::ofstream(system.folder + name) << "x";
    }
    Config("[QARV]\r\n");
    rig.display.events.clear();
  }
  void Config(const std::string& text) { std::ofstream(system.folder + "config.ini", std::ios::binary) << text; }
  int Start() {
    const std::optional<Ending> ended = RunStartup(*rig.dlg, system);
    if (!ended) return -1;
    EXPECT_TRUE(ended->final);
    return ended->ProgramCode();
  }
  Rig rig;
  FakeStartupSystem system;
};

TEST_F(StartupTest, SuccessPreparesTheWindowAndArmsTheStartTimer) {
  EXPECT_EQ(Start(), -1);
  EXPECT_EQ(rig.display.events,
            (Events{"ip 3232235777", "progress 0", "picture 133", "enable 1 off", "timer 1 100"}));
  EXPECT_EQ(system.askedName, "QARV_LM-7210A_AUTO_FW");
  EXPECT_EQ(system.loadedFrom, system.folder);
  const Settings& s = rig.dlg->settings;
  EXPECT_EQ(s.ProgramFolder, system.folder);
  EXPECT_EQ(s.ToolFolderPath, rig.folder + platform::kPathSeparator + kToolFolderName);
  EXPECT_TRUE(platform::FileExists(s.ToolFolderPath));
  EXPECT_FALSE(s.EngineeringMode);
  EXPECT_FALSE(s.MemberMode);
  // A second start finds the tool folder already there and goes on.
  EXPECT_EQ(Start(), -1);
}

TEST_F(StartupTest, VersionClasses) {
  struct Case {
    platform::OsVersion version;
    int cls;
    bool accepted;
  } cases[] = {
      {{2, 5, 1, "Service Pack 2"}, 3, false}, {{2, 5, 1, "Service Pack 3"}, 3, true},
      {{2, 5, 2, "Service Pack 3"}, 3, true},  {{2, 5, 0, ""}, 2, false},
      {{2, 4, 0, ""}, 1, false},               {{2, 6, 0, ""}, 4, true},
      {{2, 6, 1, ""}, 5, true},                {{2, 6, 2, ""}, 6, true},
      {{2, 6, 3, ""}, 6, true},                {{2, 10, 0, ""}, 0, false},
      {{1, 4, 90, ""}, 8, false},              {{1, 4, 10, ""}, 9, false},
      {{1, 4, 0, ""}, 10, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VersionClass(c.version), c.cls) << c.version.major << "." << c.version.minor;
    EXPECT_EQ(VersionAccepted(c.version), c.accepted) << c.version.major << "." << c.version.minor;
  }
  system.version = {2, 10, 0, ""};
  EXPECT_EQ(Start(), 0);
  EXPECT_EQ(rig.display.boxes,
            (Events{"Support windows versions as below:\r\n-Windows XP SP3\r\n-Windows Vista\r\n-Windows "
                    "7\r\n-Windows 8\r\n-Windows 8.1"}));
}

TEST_F(StartupTest, OnlyTheFirstMissingRequiredFileIsNamed) {
  std::remove((system.folder + platform::kUploaderName).c_str());
  std::remove((system.folder + "config.ini").c_str());
  EXPECT_EQ(Start(), 0);
  EXPECT_EQ(rig.display.boxes, (Events{"Loss file:\n" + system.folder + platform::kUploaderName}));
}

TEST_F(StartupTest, EngineeringModeOnlyForTheExactValue) {
  const std::pair<std::string, bool> cases[] = {
      {"[QARV]\r\nMODE=qzkw#8062\r\n", true},
      {"[QARV]\r\nMODE=QZKW#8062\r\n", false},
      {"[QARV]\r\nOTHER=1\r\n", false},
      {std::string("\0\xff\x01[QARV\nMODE", 12), false},
      {std::string(300000, 'x'), false},
  };
  for (const auto& [text, engineering] : cases) {
    rig.dlg->settings.EngineeringMode = false;
    Config(text);
    EXPECT_EQ(Start(), -1);
    EXPECT_EQ(rig.dlg->settings.EngineeringMode, engineering) << text.substr(0, 30);
  }
}

TEST_F(StartupTest, MemberMarkerSetsMemberMode) {
  std::ofstream(system.marker) << "";
  EXPECT_EQ(Start(), -1);
  EXPECT_TRUE(rig.dlg->settings.MemberMode);
}

TEST_F(StartupTest, SecondInstanceEndsWithCodeZero) {
  system.otherInstance = true;
  EXPECT_EQ(Start(), 0);
  EXPECT_EQ(rig.display.boxes, (Events{"The program is running"}));
}

TEST_F(StartupTest, CompetingUtilityQuestionComesFirst) {
  rig.host.competingWindow = 5;
  system.otherInstance = true;
  EXPECT_EQ(Start(), 0);
  EXPECT_EQ(rig.host.closed, (std::vector<intptr_t>{5}));
  EXPECT_EQ(rig.display.events.front().rfind("ask The system has detected that Beacon Finder is running.", 0), 0u);
  EXPECT_EQ(rig.clock.pauses, (std::vector<int>{1000}));

  Rig refusing;
  FakeStartupSystem untouched;
  refusing.host.competingWindow = 5;
  refusing.display.yesNoAnswer = false;
  const std::optional<Ending> kept = RunStartup(*refusing.dlg, untouched);
  ASSERT_TRUE(kept.has_value());
  EXPECT_EQ(kept->outcome, upgrade::RunOutcome::UtilityKept);
  EXPECT_EQ(kept->ProgramCode(), 1);
  EXPECT_EQ(refusing.network.cleanups, 1);
  EXPECT_TRUE(untouched.askedName.empty());  // ended before the instance check
}

TEST_F(StartupTest, EchoLibraryAndCurrentDirectoryFailuresEndWithCodeOne) {
  system.libraryLoads = false;
  EXPECT_EQ(Start(), 1);
  EXPECT_EQ(rig.display.boxes.back(), std::string("Can't load ") + platform::kEchoLibraryName);
  system.libraryLoads = true;
  system.secondSymbol = false;
  EXPECT_EQ(Start(), 1);
  EXPECT_EQ(rig.display.boxes.back(), "GetProcAddress(ping) failed");
  system.secondSymbol = true;
  system.currentOk = false;
  EXPECT_EQ(Start(), 1);
  EXPECT_EQ(rig.display.boxes.back(), "Get Current Directory Fail...");
}

TEST_F(StartupTest, UncreatableToolFolderIsNotAnError) {
  system.current = rig.folder + "/no/such/dir";
  EXPECT_EQ(Start(), -1);
  EXPECT_FALSE(platform::FileExists(rig.dlg->settings.ToolFolderPath));
}

}  // namespace
}  // namespace ramtune::test
