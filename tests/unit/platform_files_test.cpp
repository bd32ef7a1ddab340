// Files, folders and ini reading of the platform layer, run on both systems
// (natively and, for the Windows build, under Wine).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/platform.h"

namespace fs = std::filesystem;
namespace platform = ramtune::platform;

namespace {

class PlatformFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("ramtune-files-" + std::to_string(random()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path dir_;
};

TEST_F(PlatformFiles, AppendCreatesKeepsContentAndWritesBytesUnchanged) {
  const std::string log = Path("run.txt");
  ASSERT_TRUE(platform::AppendToFile(log, "first\r\n"));
  ASSERT_TRUE(platform::AppendToFile(log, "second\r\n"));
  // No text-mode translation: CR LF stays CR LF, nothing is truncated.
  EXPECT_EQ(Read(log), "first\r\nsecond\r\n");

  const std::string existing = Path("existing.txt");
  Write(existing, std::string("old\0data", 8));
  ASSERT_TRUE(platform::AppendToFile(existing, "new\r\n"));
  EXPECT_EQ(Read(existing), std::string("old\0datanew\r\n", 13));
}

TEST_F(PlatformFiles, AppendIntoMissingFolderFails) {
  EXPECT_FALSE(platform::AppendToFile(Path("missing") + platform::kPathSeparator + "x.txt", "x"));
}

TEST_F(PlatformFiles, ReadFilePrefixHonoursTheLimit) {
  std::string content;
  for (int i = 0; i < 1000; ++i) content += static_cast<char>(i % 251);  // NULs included
  const std::string file = Path("data.bin");
  Write(file, content);

  std::string out = "stale";
  ASSERT_TRUE(platform::ReadFilePrefix(file, 10, &out));
  EXPECT_EQ(out, content.substr(0, 10));
  ASSERT_TRUE(platform::ReadFilePrefix(file, 5000, &out));
  EXPECT_EQ(out, content);
  ASSERT_TRUE(platform::ReadFilePrefix(file, 0, &out));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(platform::ReadFilePrefix(Path("absent.bin"), 10, &out));
}

TEST_F(PlatformFiles, ExistenceAndFolders) {
  const std::string file = Path("present.txt");
  Write(file, "x");
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_TRUE(platform::FileExists(dir_.string()));  // folders count too
  EXPECT_FALSE(platform::FileExists(Path("absent.txt")));
  EXPECT_FALSE(platform::FileExists(""));

  const std::string folder = Path("tool folder");
  EXPECT_TRUE(platform::CreateDirectory(folder));
  EXPECT_TRUE(platform::FileExists(folder));
  EXPECT_FALSE(platform::CreateDirectory(folder));  // exists already
  EXPECT_FALSE(platform::CreateDirectory(Path("no") + platform::kPathSeparator + "parent"));
}

TEST_F(PlatformFiles, CurrentAndExecutableFolders) {
  std::string current;
  ASSERT_TRUE(platform::CurrentDirectory(&current));
  EXPECT_EQ(fs::path(current), fs::current_path());

  const std::string folder = platform::ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), platform::kPathSeparator);
  // The folder is the one that holds this very test program.
  const fs::path self = fs::path(::testing::internal::GetArgvs()[0]).filename();
  bool found = platform::FileExists(folder + self.string()) ||
               platform::FileExists(folder + self.string() + ".exe");
  EXPECT_TRUE(found) << folder << " does not hold " << self;
}

// POSIX: made with the parents it lacks under each XDG_STATE_HOME (put back
// after). Windows: found or made, and files can be made in it.
TEST_F(PlatformFiles, PcStateFolderIsMadeWithItsParents) {
  std::string error;
  if (platform::kPathSeparator == '\\') {
    const std::string folder = platform::PcStateFolder(&error);
    ASSERT_FALSE(folder.empty()) << error;
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_EQ(platform::PcStateFolder(&error), folder);  // found the second time
    const std::string probe = folder + "unit-test-" + std::to_string(std::random_device{}());
    EXPECT_TRUE(platform::AppendToFile(probe, "x", &error)) << error;
    EXPECT_TRUE(platform::RemoveFile(probe));
    return;
  }
  const char* before = std::getenv("XDG_STATE_HOME");
  static std::string restore;  // the environment keeps pointing at it
  restore = before != nullptr ? std::string("XDG_STATE_HOME=") + before : "XDG_STATE_HOME";
  Write(Path("file"), "x");
  const struct {
    std::string base;
    std::string expected;  // empty: fails
  } cases[] = {
      {Path("state/nested"), Path("state/nested/ramtune/")},
      {Path("state/nested"), Path("state/nested/ramtune/")},  // there already
      {Path("file/state"), ""},                                // a file on the way
  };
  for (const auto& c : cases) {
    std::string variable = "XDG_STATE_HOME=" + c.base;
    putenv(variable.data());
    error.clear();
    const std::string folder = platform::PcStateFolder(&error);
    putenv(restore.data());  // unsets it when it was not set
    EXPECT_EQ(folder, c.expected) << c.base;
    EXPECT_EQ(error.empty(), !c.expected.empty()) << c.base << ": " << error;
    EXPECT_TRUE(folder.empty() || fs::is_directory(folder)) << folder;
  }
}

class PlatformProfile : public PlatformFiles {
 protected:
  void SetUp() override {
    PlatformFiles::SetUp();
    ini_ = Path("config.ini");
    Write(ini_,
          "Stray=before any section\r\n"
          "[QARV]\r\n"
          "MODE=qzkw#8062\r\n"
          "Spaced =  value with blanks  \r\n"
          "Quoted=\"in quotes\"\r\n"
          "Empty=\r\n"
          "\r\n"
          "[Other]\r\n"
          "Only=elsewhere\n"
          "MODE=other section\n");
  }
  std::string ini_;
};

TEST_F(PlatformProfile, FindsKeysLikeTheWindowsReader) {
  EXPECT_EQ(platform::ReadProfileString("QARV", "MODE", ini_), "qzkw#8062");
  // Section and key names match in any letter case; the value keeps its own.
  EXPECT_EQ(platform::ReadProfileString("qarv", "mode", ini_), "qzkw#8062");
  EXPECT_EQ(platform::ReadProfileString("QARV", "Spaced", ini_), "value with blanks");
  EXPECT_EQ(platform::ReadProfileString("QARV", "Quoted", ini_), "in quotes");
  EXPECT_EQ(platform::ReadProfileString("Other", "MODE", ini_), "other section");
  EXPECT_EQ(platform::ReadProfileString("QARV", "Empty", ini_), "");
}

TEST_F(PlatformProfile, AbsentFileSectionOrKeyGivesEmptyText) {
  EXPECT_EQ(platform::ReadProfileString("QARV", "NOKEY", ini_), "");
  EXPECT_EQ(platform::ReadProfileString("NOSECTION", "MODE", ini_), "");
  EXPECT_EQ(platform::ReadProfileString("QARV", "Only", ini_), "");  // in another section
  EXPECT_EQ(platform::ReadProfileString("QARV", "MODE", Path("absent.ini")), "");
}

TEST_F(PlatformProfile, LongValueIsCutTo259Characters) {
  const std::string file = Path("long.ini");
  Write(file, "[QARV]\r\nMODE=" + std::string(300, 'v') + "\r\n");
  EXPECT_EQ(platform::ReadProfileString("QARV", "MODE", file), std::string(259, 'v'));
}

TEST_F(PlatformProfile, BinaryAndHugeFilesAreHarmless) {
  std::string binary;
  std::mt19937 random(42);
  for (int i = 0; i < 8192; ++i) binary += static_cast<char>(random() & 0xFF);
  const std::string junk = Path("binary.ini");
  Write(junk, binary);
  EXPECT_EQ(platform::ReadProfileString("QARV", "MODE", junk), "");

  const std::string huge = Path("huge.ini");
  Write(huge, "[QARV]\r\nMODE=first\r\n" + std::string(4 * 1024 * 1024, 'x') + "\r\n");
  EXPECT_EQ(platform::ReadProfileString("QARV", "MODE", huge), "first");
}

}  // namespace
