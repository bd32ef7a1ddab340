// Where the programs a run starts come from: the PATH folders that count,
// the tool's own programs (program folder, then PATH) and the system's
// (arp). Never the current directory. Runs on both systems.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/programs.h"
#include "platform/platform.h"
#include "support/lines.h"

namespace ramtune::test {
namespace {

namespace fs = std::filesystem;
using Folders = std::vector<std::string>;


TEST(AbsoluteSearchFolders, RelativeAndEmptyEntriesAreLeftOut) {
  struct Case {
    std::string path;
    Folders expected;
  };
  const std::vector<Case> windows = {
      {R"(C:\tools;"C:\Program Files\x";.;;bin;C:rel;\\srv\share;\root;..\up)",
       {R"(C:\tools)", R"(C:\Program Files\x)", R"(\\srv\share)"}},
      {"", {}},
      {".", {}},
      {R"(d:/slashes/too)", {"d:/slashes/too"}}};
  const std::vector<Case> posix = {
      {"/usr/bin::.:bin:/opt/x/:../up", {"/usr/bin", "/opt/x/"}}, {"", {}}, {":", {}}, {"/only", {"/only"}}};
  const std::vector<Case>& cases = WindowsSide() ? windows : posix;
  for (const Case& c : cases) {
    EXPECT_EQ(platform::AbsoluteSearchFolders(c.path), c.expected) << c.path;
  }
}

TEST(SystemProgramPath, IsAFullPathInTheSystemFolders) {
  if (WindowsSide()) {
    std::string path = platform::SystemProgramPath(kArpProgram);
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_EQ(platform::AbsoluteSearchFolders(path).size(), 1u) << path;
    const std::string tail = "\\system32\\arp.exe";
    ASSERT_GT(path.size(), tail.size());
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
  } else {
    // Every POSIX system has a shell on its PATH.
    const std::string shell = platform::SystemProgramPath("sh");
    ASSERT_FALSE(shell.empty());
    EXPECT_EQ(shell[0], '/');
    EXPECT_EQ(shell.substr(shell.size() - 3), "/sh");
    EXPECT_EQ(platform::SystemProgramPath("ramtune-no-such-program"), "");
  }
}

class FindToolProgramTest : public ::testing::Test {
 protected:
  FindToolProgramTest()
      : saved_(fs::current_path()),
        base_(fs::temp_directory_path() /
              ("ramtune-programs-" + std::to_string(platform::PerformanceCounter()))) {
    for (const char* name : {"program", "a", "b", "cwd"}) fs::create_directories(Folder(name));
    fs::current_path(Folder("cwd"));
  }
  ~FindToolProgramTest() override {
    fs::current_path(saved_);
    std::error_code ignored;
    fs::remove_all(base_, ignored);
  }

  std::string Folder(const std::string& name) const { return (base_ / name).string(); }
  void Plant(const std::string& folder) {
    std::ofstream(Folder(folder) + platform::kPathSeparator + kSsidToolFile) << "x";
  }
  std::string In(const std::string& folder) const {
    return Folder(folder) + platform::kPathSeparator + kSsidToolFile;
  }

 private:
  fs::path saved_;
  fs::path base_;
};

TEST_F(FindToolProgramTest, ProgramFolderFirstThenSearchFoldersInOrderNeverTheCurrentDirectory) {
  struct Case {
    const char* what;
    std::vector<std::string> plantedIn;
    std::string expectedIn;  // "" for none
  };
  const Case cases[] = {
      {"beside the program and on the path", {"program", "b"}, "program"},
      {"on the path only, second folder", {"b"}, "b"},
      {"in both path folders", {"a", "b"}, "a"},
      {"only in the current directory", {"cwd"}, ""},
      {"nowhere", {}, ""},
  };
  const std::string programFolder = Folder("program") + platform::kPathSeparator;
  // The current directory as a PATH would name it; these entries never count.
  const std::string relative = WindowsSide() ? ".;;cwd" : ".::cwd";
  for (const Case& c : cases) {
    for (const char* folder : {"program", "a", "b", "cwd"}) fs::remove(In(folder));
    for (const std::string& folder : c.plantedIn) Plant(folder);
    Folders search = platform::AbsoluteSearchFolders(relative);
    search.push_back(Folder("a"));
    search.push_back(Folder("b"));
    const std::string expected = c.expectedIn.empty() ? "" : In(c.expectedIn);
    EXPECT_EQ(FindToolProgram(kSsidToolFile, programFolder, search), expected) << c.what;
  }
}

}  // namespace
}  // namespace ramtune::test
