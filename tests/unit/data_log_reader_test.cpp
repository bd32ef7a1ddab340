// Reading a Data log back for a restore run: what is refused (with its line
// and what is wrong), what is accepted, and every Data log the simulator's
// units would give.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/text.h"
#include "platform/platform.h"
#include "support/lines.h"
#include "upgrade/data_log_reader.h"
#include "upgrade/upgrade_run.h"

namespace ramtune::upgrade {
namespace {

using test::WindowsSide;

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;


// A unit's values of the right lengths, as the backup would keep them.
DataLogValues GoodValues() {
  DataLogValues v;
  v.Values[kMac2G] = "00:11:22:AA:BB:CC";
  v.Values[kMac5G] = "00:11:22:AA:BB:D0";
  v.Values[kCcode2G] = "US";
  v.Values[kRegrev2G] = "12";
  v.Values[kCcode5G] = "US";
  v.Values[kRegrev5G] = "0";
  v.Values[kWpsPin] = "12345670";
  for (size_t i = kPa2ga0; i < kCalibrationItemCount; ++i) {
    std::string value = "0x";
    while (value.size() < kCalibrationItems[i].length) value += "0123456789abcdef,"[(value.size() + i) % 17];
    v.Values[i] = value;
  }
  v.ModelName = "LM-7210A";
  return v;
}

Lines LinesOf(const DataLogValues& values) {
  const auto lines = DataLogLines(values);
  return Lines(lines.begin(), lines.end());
}

std::string Join(const Lines& lines, const std::string& end = "\r\n") {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

std::string GoodText() { return Join(LinesOf(GoodValues())); }

// The good file with line `number` (1-based) replaced.
std::string WithLine(int number, const std::string& line) {
  Lines lines = LinesOf(GoodValues());
  lines.at(number - 1) = line;
  return Join(lines);
}
std::string WithValue(size_t item, const std::string& value) {
  return WithLine(static_cast<int>(item) + 1, DataLogLine(item, value));
}
std::string WithModel(const std::string& name) { return WithLine(30, ModelDataLogLine(name)); }
std::string Edited(const std::function<void(Lines&)>& edit) {
  Lines lines = LinesOf(GoodValues());
  edit(lines);
  return Join(lines);
}

bool SameValues(const DataLogValues& a, const DataLogValues& b) {
  return a.Values == b.Values && a.ModelName == b.ModelName;
}

struct BadFile {
  const char* label;
  std::string text;
  int line;
  const char* says;
};

TEST(ParseDataLog, RefusesEachDefectWithItsLineAndWhatIsWrong) {
  const std::string pa = GoodValues().Values[kPa2ga0];
  const Lines good = LinesOf(GoodValues());
  const BadFile cases[] = {
      // MAC addresses
      {"MAC with dashes", WithValue(kMac2G, "00-11-22-AA-BB-CC"), 1, "MacAddr_2G: not six hex pairs separated by ':'"},
      {"MAC of twelve digits", WithValue(kMac2G, "001122AABBCC"), 1, "MacAddr_2G: not six hex pairs"},
      {"MAC one digit short", WithValue(kMac5G, "00:11:22:AA:BB:D"), 2, "MacAddr_5G: not six hex pairs"},
      {"MAC with a non-hex digit", WithValue(kMac2G, "00:11:22:AA:BB:CG"), 1, "MacAddr_2G: not six hex pairs"},
      {"MAC with shifted colons", WithValue(kMac2G, "001:1:22:AA:BB:CC"), 1, "MacAddr_2G: not six hex pairs"},
      {"MAC all zero", WithValue(kMac5G, "00:00:00:00:00:00"), 2, "MacAddr_5G: all-zero address"},
      {"MAC multicast", WithValue(kMac2G, "01:00:5E:00:00:01"), 1, "MacAddr_2G: multicast address"},
      {"MAC broadcast", WithValue(kMac5G, "ff:ff:ff:ff:ff:ff"), 2, "MacAddr_5G: multicast address"},
      {"MAC multicast, upper hex", WithValue(kMac2G, "0B:11:22:AA:BB:CC"), 1, "multicast address"},
      // characters that a shell would act on, or that no value holds
      {"blank inside", WithValue(kPa2ga0, pa.substr(0, 9) + " " + pa.substr(10)), 8, "0:pa2ga0: blank not allowed"},
      {"trailing blank", WithValue(kWpsPin, "12345670 "), 7, "PINCode: blank not allowed"},
      {"double quote", WithValue(kCcode2G, "\"U"), 3, "RegulationDomain_2G: character '\"' not allowed"},
      {"single quote", WithValue(kCcode5G, "U'"), 5, "character ''' not allowed"},
      {"semicolon", WithValue(kRegrev2G, "12;reboot"), 4, "Regrev_2G: character ';' not allowed"},
      {"dollar", WithModel("LM-7210A$(reboot)"), 30, "odmpid: character '$' not allowed"},
      {"backquote", WithValue(kRegrev5G, "`reboot`"), 6, "Regrev_5G: character '`' not allowed"},
      {"pipe", WithValue(kRegrev5G, "0|x"), 6, "character '|' not allowed"},
      {"ampersand", WithValue(kRegrev5G, "0&"), 6, "character '&' not allowed"},
      {"redirection", WithValue(kRegrev5G, "0>x"), 6, "character '>' not allowed"},
      {"backslash", WithValue(kRegrev5G, "0\\"), 6, "character '\\' not allowed"},
      {"equals sign", WithValue(kRegrev5G, "0=1"), 6, "character '=' not allowed"},
      {"tab", WithValue(kRegrev5G, "0\t1"), 6, "control character 0x09 not allowed"},
      {"zero byte", WithValue(kRegrev5G, std::string("0\0", 2)), 6, "control character 0x00 not allowed"},
      {"CR inside a line", WithValue(kRegrev5G, "0\r1"), 6, "control character 0x0D not allowed"},
      {"two CRs at the line end", WithValue(kRegrev5G, "0\r"), 6, "control character 0x0D not allowed"},
      {"DEL", WithValue(kRegrev5G, "0\x7f"), 6, "control character 0x7F not allowed"},
      {"byte over 0x7F", WithValue(kWpsPin, "1234567\xC3"), 7, "PINCode: byte 0xC3 (not ASCII) not allowed"},
      // the backup's length rule
      {"too short", WithValue(kCcode2G, "U"), 3, "RegulationDomain_2G: 1 character, the backup accepts exactly 2"},
      {"too long", WithValue(kPa2ga0 + 3, pa + pa + pa + pa + pa), 11,
       "1:pa5ga0: 100 characters, the backup accepts exactly 83"},
      {"empty open-length value", WithValue(kRegrev2G, ""), 4,
       "Regrev_2G: 0 characters, the backup accepts at least 1"},
      {"empty fixed value", WithValue(kCalibrationItemCount - 1, ""), 29, "1:rpcal5gb3: 0 characters"},
      // model name
      {"unknown model", WithModel("XR-500"), 30,
       "odmpid: unknown model name XR-500 (expected one of QARV, LM-7210B, LM-7210A)"},
      {"model in other case", WithModel("lm-7210a"), 30, "unknown model name lm-7210a"},
      {"empty model", WithModel(""), 30, "unknown model name (empty)"},
      // keys
      {"missing key", Edited([](Lines& l) { l.erase(l.begin() + 8); }), 9, "missing key 0:pa2ga1 (found 0:pa2ga2)"},
      {"out of order", Edited([](Lines& l) { std::swap(l[8], l[9]); }), 9,
       "expected key 0:pa2ga1, found 0:pa2ga2 (out of order)"},
      {"repeated", Edited([](Lines& l) { l[8] = l[7]; }), 9, "key 0:pa2ga0 repeated (first on line 8)"},
      {"repeated line inserted", Edited([](Lines& l) { l.insert(l.begin() + 8, l[7]); }), 9,
       "key 0:pa2ga0 repeated (first on line 8)"},
      {"model line twice", Edited([](Lines& l) { l.push_back(l.back()); }), 31,
       "key odmpid repeated (first on line 30)"},
      {"unknown key", WithLine(5, "foo=1"), 5, "unknown key foo"},
      {"unknown key inserted", Edited([](Lines& l) { l.insert(l.begin() + 4, "foo bar"); }), 5, "unknown key foo"},
      {"unknown key, control bytes shown safely", WithLine(5, std::string("f\x01\xff") + "=1"), 5,
       "unknown key f\\x01\\xFF"},
      {"key in other case", WithLine(1, "macaddr_2G 00:11:22:AA:BB:CC"), 1, "unknown key macaddr_2G"},
      {"no key", WithLine(3, " US"), 3, "no key at the start of the line"},
      {"ATE key with '='", WithLine(1, "MacAddr_2G=00:11:22:AA:BB:CC"), 1,
       "key MacAddr_2G must be followed by a blank"},
      {"variable key with a blank", WithLine(8, "0:pa2ga0 " + pa), 8, "key 0:pa2ga0 must be followed by '='"},
      {"key alone", WithLine(30, "odmpid"), 30, "key odmpid must be followed by '='"},
      {"full write-back command", WithLine(8, "nvram set qarvcfe0:pa2ga0=" + pa), 8, "unknown key nvram"},
      // length of the file
      {"empty", "", 0, "the file is empty"},
      {"only blank lines", "\r\n \r\n\r\n", 0, "the file holds only blank lines"},
      {"one line", Join({good[0]}), 2, "missing key MacAddr_5G: the file ends after line 1, a Data log has 30 lines"},
      {"model line missing", Edited([](Lines& l) { l.pop_back(); }), 30,
       "missing key odmpid: the file ends after line 29"},
      {"cut inside the model line", GoodText().substr(0, GoodText().size() - 4), 30, "unknown model name LM-72"},
      {"over 64 KiB", GoodText() + std::string(kDataLogMaxBytes, 'x'), 0, "the file is larger than 64 KiB"},
      {"CR line ends only", Join(LinesOf(GoodValues()), "\r"), 1, "control character 0x0D"},
      // blank lines
      {"blank line between two lines", Edited([](Lines& l) { l.insert(l.begin() + 4, ""); }), 5, "blank line"},
      {"line of blanks", WithLine(12, "   "), 12, "blank line"},
      {"blank line first", "\r\n" + GoodText(), 1, "blank line"},
      // more than one run
      {"last run cut short", GoodText() + Join(Lines(good.begin(), good.begin() + 22)), 53,
       "missing key 1:mcsbw405ghpo: the run from line 31 ends after line 52"},
      {"earlier run out of order", Join({good[1]}) + GoodText(), 1, "expected key MacAddr_2G, found MacAddr_5G"},
      {"earlier line unknown", "hello\r\n" + GoodText(), 1, "unknown key hello"},
      {"earlier run skips a key", Join({good[0], good[2]}) + GoodText(), 2,
       "expected key MacAddr_5G, found RegulationDomain_2G"},
      {"first line missing", Edited([](Lines& l) { l.erase(l.begin()); }), 1,
       "missing key MacAddr_2G (found MacAddr_5G)"},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.label);
    DataLogValues out = GoodValues();
    out.ModelName = "untouched";
    DataLogDefect defect;
    EXPECT_FALSE(ParseDataLog(c.text, &out, &defect));
    EXPECT_EQ(defect.line, c.line) << defect.what;
    EXPECT_NE(defect.what.find(c.says), std::string::npos) << defect.what;
    EXPECT_EQ(out.ModelName, "untouched");
  }
}

TEST(ParseDataLog, AcceptsWhatTheProgramWritesAndItsHarmlessVariants) {
  const Lines good = LinesOf(GoodValues());
  const Lines firstLines(good.begin(), good.begin() + 12);
  const struct {
    const char* label;
    std::string text;
  } cases[] = {
      {"CR LF", GoodText()},
      {"LF only", Join(good, "\n")},
      {"mixed line ends", Join(firstLines, "\n") + Join(Lines(good.begin() + 12, good.end()))},
      {"no line end after the last line", GoodText().substr(0, GoodText().size() - 2)},
      {"blank lines after the last line", GoodText() + "\r\n\r\n  \r\n"},
      {"two complete runs", GoodText() + GoodText()},
      {"a run cut short, then a complete one", Join(firstLines) + GoodText()},
      {"runs cut short after each item", Join({good[0], good[0], good[1], good[0]}) + GoodText()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    DataLogValues out;
    DataLogDefect defect{7, "stale"};
    EXPECT_TRUE(ParseDataLog(c.text, &out, &defect)) << DescribeDefect("log", defect);
    EXPECT_TRUE(SameValues(out, GoodValues()));
    EXPECT_EQ(defect.line, 0);
    EXPECT_EQ(defect.what, "");
  }
}

TEST(ParseDataLog, TheLastRunIsReadAndDefectsCarryTheFilesLineNumbers) {
  DataLogValues second = GoodValues();
  second.Values[kWpsPin] = "87654325";
  second.ModelName = "QARV";
  const std::string text = GoodText() + Join(LinesOf(second));
  DataLogValues out;
  DataLogDefect defect;
  ASSERT_TRUE(ParseDataLog(text, &out, &defect));
  EXPECT_TRUE(SameValues(out, second));

  Lines bad = LinesOf(second);
  bad[6] = DataLogLine(kWpsPin, "8765432;");
  EXPECT_FALSE(ParseDataLog(GoodText() + Join(bad), &out, &defect));
  EXPECT_EQ(defect.line, 37);
  EXPECT_EQ(DescribeDefect("C:\\logs\\001122AABBCC_Data_20261208093000.txt", defect),
            "C:\\logs\\001122AABBCC_Data_20261208093000.txt, line 37: PINCode: character ';' not allowed in a value");
  EXPECT_EQ(DescribeDefect("x.txt", DataLogDefect{0, "the file is empty"}), "x.txt: the file is empty");
}

// Everything the backup accepts comes back unchanged through the file.
TEST(ParseDataLog, RoundTripOfValuesAtTheEdgesOfWhatTheBackupAccepts) {
  std::vector<DataLogValues> sets;
  for (const char* model : kModelNames) {
    DataLogValues v = GoodValues();
    v.ModelName = model;
    sets.push_back(v);
  }
  DataLogValues edges = GoodValues();
  edges.Values[kMac2G] = "fe:ff:ff:ff:ff:ff";  // lower case, unicast, all but one bit set
  edges.Values[kMac5G] = "00:00:00:00:00:01";
  edges.Values[kRegrev2G] = "1";
  edges.Values[kWpsPin] = "00000000";
  edges.Values[kRegrev5G] = std::string(402, '9');  // its write-back command fills the field
  edges.Values[kPa2ga0] = "_-.,:-_.,:-_.,:-_.,-";
  edges.Values[kRpcal2g] = "ZZZZZZ";
  sets.push_back(edges);
  for (const DataLogValues& values : sets) {
    SCOPED_TRACE(values.ModelName);
    DataLogValues out;
    DataLogDefect defect;
    ASSERT_TRUE(ParseDataLog(Join(LinesOf(values)), &out, &defect)) << defect.line << ": " << defect.what;
    EXPECT_TRUE(SameValues(out, values));
  }
}

// The one rule for a per-unit value, over each kind of item: what it accepts,
// and what it refuses with what it says.
TEST(ValueRule, AcceptsAndRefusesEachKindOfItem) {
  const struct {
    size_t item;  // kCalibrationItemCount: the model name
    std::string value;
    const char* refusal;  // nullptr: accepted
  } rows[] = {
      {kMac5G, "fe:ff:ff:ff:ff:ff", nullptr},
      {kMac2G, "00:11:22:AA:BB:CC\r", "control character 0x0D not allowed"},  // a reply ended by CR LF
      {kMac2G, "01:00:5E:00:00:01", "multicast address"},
      {kMac2G, "-0:11:22:AA:BB:CC", "starts with '-'"},
      {kCcode5G, "U", "1 character, the backup accepts exactly 2"},
      {kRegrev5G, std::string(402, '9'), nullptr},
      {kRegrev5G, std::string(403, '9'), "its write-back command has 421 bytes, a command carries at most 420"},
      {kRegrev2G, "-1", "starts with '-'"},
      {kWpsPin, "1234567;", "character ';' not allowed"},
      {kPa2ga0 + 3, std::string(83, 'a'), nullptr},
      {kRpcal2g, "0x123\r", "control character 0x0D"},  // the length alone would pass it
      {kCalibrationItemCount, "QARV", nullptr},
      {kCalibrationItemCount, "LM-7210C", "unknown model name LM-7210C"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::to_string(row.item) + ": " + row.value.substr(0, 40));
    const std::string what =
        row.item < kCalibrationItemCount ? ValueDefect(row.item, row.value) : ModelNameDefect(row.value);
    if (row.refusal == nullptr) {
      EXPECT_EQ(what, "");
    } else {
      EXPECT_NE(what.find(row.refusal), std::string::npos) << what;
    }
    if (row.item < kCalibrationItemCount) {
      EXPECT_EQ(ValueAccepted(row.item, row.value), row.refusal == nullptr);
    }
  }
}

class ReadDataLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("ramtune-datalog-" + std::to_string(random()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  fs::path dir_;
};

TEST_F(ReadDataLogTest, ReadsAFileUpTo64KiBAndRefusesWhatCannotBeRead) {
  DataLogValues out;
  DataLogDefect defect;
  ASSERT_TRUE(ReadDataLog(Write("good.txt", GoodText()), &out, &defect));
  EXPECT_TRUE(SameValues(out, GoodValues()));

  // Earlier runs cut short after their first line fill the file to exactly
  // 64 KiB; their values are not read.
  std::string padded = GoodText();
  const std::string filler = "MacAddr_2G " + std::string(1000, 'x') + "\r\n";
  while (padded.size() + filler.size() + 13 <= kDataLogMaxBytes) padded = filler + padded;
  padded = "MacAddr_2G " + std::string(kDataLogMaxBytes - padded.size() - 13, 'y') + "\r\n" + padded;
  ASSERT_EQ(padded.size(), kDataLogMaxBytes);
  EXPECT_TRUE(ReadDataLog(Write("full.txt", padded), &out, &defect)) << defect.what;

  const struct {
    const char* label;
    std::string path;
    const char* what;
  } refused[] = {
      {"one byte over 64 KiB", Write("over.txt", "y" + padded), "the file is larger than 64 KiB"},
      {"absent", (dir_ / "absent.txt").string(), "the file cannot be read"},
      {"a folder", dir_.string(), "the file cannot be read"},
      {"no path", "", "the file cannot be read"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.label);
    defect = {};
    EXPECT_FALSE(ReadDataLog(c.path, &out, &defect));
    EXPECT_EQ(defect.line, 0);
    EXPECT_EQ(defect.what, c.what);
  }
}

TEST_F(ReadDataLogTest, AReadErrorIsNotTakenForTheFilesEnd) {
  // Reading this file opens fine and fails with an I/O error on the first read.
  if (WindowsSide() || !platform::FileExists("/proc/self/mem")) GTEST_SKIP() << "needs /proc/self/mem";
  DataLogValues out;
  DataLogDefect defect;
  EXPECT_FALSE(ReadDataLog("/proc/self/mem", &out, &defect));
  EXPECT_EQ(defect.what, "the file cannot be read");
}

// The backup of each router of every simulator scenario, through the read
// commands the backup sends: the simulator answers them (tests/sim/backup_replies.py),
// the backup's own checks decide what it keeps, and each Data log it would
// write must read back to the same values.
TEST_F(ReadDataLogTest, EveryDataLogOfTheSimulatorsUnitsIsAccepted) {
  if (WindowsSide()) GTEST_SKIP() << "the simulator runs on the native side";
  Lines commands;
  for (const CalibrationItem& item : kCalibrationItems) {
    commands.push_back(item.readCommand[0] != '\0' ? item.readCommand : std::string(kBootPartitionGrep) + item.key);
  }
  commands.push_back(kModelNameQuery);
  const std::string commandFile = Write("commands.txt", Join(commands, "\n"));
  const std::string script = test::SourcePath("tests/sim/backup_replies.py");
  const platform::CapturedRun run =
      platform::RunCaptured("/usr/bin/python3", "python3 \"" + script + "\" \"" + commandFile + "\"", 60000,
                            1 << 20);
  ASSERT_EQ(run.status, platform::CapturedRun::Status::Ok) << run.output;

  struct Unit {
    std::string name;
    Lines replies;
  };
  std::vector<Unit> units;
  std::istringstream output(run.output);
  for (std::string line; std::getline(output, line);) {
    if (line.rfind("router ", 0) == 0) {
      units.push_back({line.substr(7), {}});
    } else if (line.rfind("reply ", 0) == 0 && !units.empty()) {
      std::string reply;
      for (size_t i = 6; i + 1 < line.size(); i += 2) {
        reply += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
      }
      units.back().replies.push_back(reply);
    } else {
      ADD_FAILURE() << "helper printed: " << line;
    }
  }

  int written = 0;
  for (const Unit& unit : units) {
    SCOPED_TRACE(unit.name);
    ASSERT_EQ(unit.replies.size(), commands.size());
    // What the backup keeps: the first reply line without the item's prefix,
    // under the value rule; the first model name found in the whole reply.
    DataLogValues kept;
    bool backupAccepts = true;
    for (size_t i = 0; i < kCalibrationItemCount; ++i) {
      const CalibrationItem& item = kCalibrationItems[i];
      kept.Values[i] = FirstLine(unit.replies[i]);
      if (item.prefix[0] != '\0') kept.Values[i] = ReplaceAll(kept.Values[i], item.prefix, "");
      backupAccepts = backupAccepts && ValueAccepted(i, kept.Values[i]);
    }
    for (const char* name : kModelNames) {
      if (kept.ModelName.empty() && Contains(unit.replies.back(), name)) kept.ModelName = name;
    }
    if (!backupAccepts || kept.ModelName.empty()) {
      std::cout << "  (no Data log: the backup refuses " << unit.name << ")\n";
      continue;
    }
    std::string text;
    for (size_t i = 0; i < kCalibrationItemCount; ++i) text += DataLogLine(i, kept.Values[i]) + "\r\n";
    text += ModelDataLogLine(kept.ModelName) + "\r\n";
    DataLogValues out;
    DataLogDefect defect;
    EXPECT_TRUE(ReadDataLog(Write("unit.txt", text), &out, &defect)) << DescribeDefect(unit.name, defect);
    EXPECT_TRUE(SameValues(out, kept));
    ++written;
  }
  EXPECT_GE(units.size(), 10u);
  EXPECT_GE(written, 9);
}

}  // namespace
}  // namespace ramtune::upgrade
