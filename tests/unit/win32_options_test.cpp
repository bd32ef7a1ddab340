// Ramtune.exe's command line: Windows-style switches, and anything else
// refused with a message that names it.
#include "app/win32/options.h"

#include <gtest/gtest.h>

namespace ramtune::win32 {
namespace {

TEST(WindowsOptions, SwitchesAndRefusals) {
  EXPECT_EQ(ParseOptions({}).error, "");
  EXPECT_FALSE(ParseOptions({}).options.help);
  for (const char* help : {"/help", "/h", "--help"}) EXPECT_TRUE(ParseOptions({help}).options.help) << help;

  // /restore with a path (one argument, blanks and all) or without one.
  const Options withPath = ParseOptions({"/restore", "C:\\logs\\a b_Data_1.txt"}).options;
  EXPECT_TRUE(withPath.restore);
  EXPECT_EQ(withPath.restorePath, "C:\\logs\\a b_Data_1.txt");
  EXPECT_TRUE(ParseOptions({"/restore"}).options.restore);
  EXPECT_EQ(ParseOptions({"/restore"}).options.restorePath, "");
  EXPECT_NE(ParseOptions({"/restore", "a", "b"}).error, "");

  // The runs that only read: /verify like /restore, with or without a path.
  EXPECT_TRUE(ParseOptions({"/backup"}).options.backup);
  EXPECT_EQ(ParseOptions({"/verify", "C:\\logs\\a b_Data_1.txt"}).options.verifyPath, "C:\\logs\\a b_Data_1.txt");
  EXPECT_TRUE(ParseOptions({"/verify"}).options.verify);
  EXPECT_EQ(ParseOptions({"/verify"}).options.verifyPath, "");
  for (const std::vector<std::string>& both : std::vector<std::vector<std::string>>{
           {"/backup", "/verify"}, {"/backup", "/restore"}, {"/verify", "a", "/restore"}}) {
    EXPECT_NE(ParseOptions(both).error, "") << both.front() << " " << both.back();
  }

  EXPECT_EQ(ParseOptions({"/interface", "192.168.1.10"}).options.interfaceAddress, "192.168.1.10");
  EXPECT_NE(ParseOptions({"/interface"}).error, "");
  EXPECT_NE(HelpText().find("/interface ADDRESS"), std::string::npos) << HelpText();

  // The unit ledger: its file, a restore into a unit under another MAC, the history as CSV.
  EXPECT_EQ(ParseOptions({"/ledger", "D:\\shop\\ledger.sqlite3"}).options.ledger, "D:\\shop\\ledger.sqlite3");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"/restore", "a_Data_1.txt", "/into", "00-11-22-aa-bb-cc"}, {"/restore", "/into", "001122AABBCC"}}) {
    const ParsedOptions into = ParseOptions(args);
    EXPECT_EQ(into.error, "") << args[1];
    EXPECT_TRUE(into.options.restore) << args[1];
    EXPECT_EQ(into.options.intoMac, "001122AABBCC") << args[1];
  }
  EXPECT_EQ(ParseOptions({"/history", "C:\\h u.csv"}).options.historyFile, "C:\\h u.csv");
  for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
           {"/into", "001122AABBCC"}, {"/restore", "/into", "00112233"}, {"/history"}, {"/ledger"},
           {"/history", "h.csv", "/restore"}, {"/history", "h.csv", "/verify", "a"}}) {
    EXPECT_NE(ParseOptions(wrong).error, "") << wrong.front() << " " << wrong.back();
  }

  // Each refusal names what it refused.
  for (const char* wrong : {"/bogus", "-x", "C:\\Ramtune logs\\a.txt"}) {
    const ParsedOptions p = ParseOptions({wrong});
    EXPECT_NE(p.error.find(wrong), std::string::npos) << p.error;
  }
  EXPECT_NE(ParseOptions({"/help:yes"}).error, "");
  // The help names the switches the Windows way.
  EXPECT_NE(HelpText().find("/h, /help"), std::string::npos) << HelpText();
}

}  // namespace
}  // namespace ramtune::win32
