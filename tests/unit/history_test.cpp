// The unit ledger's history: read from a ledger as runs write it, newest run
// first, as CSV a spreadsheet reads and as a table.
#include "app/history.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <fstream>

namespace ramtune {
namespace {

upgrade::LedgerRun RunOf(const std::string& mac, const std::string& model, const std::string& started,
                       const std::string& mode, const std::string& link, const std::string& outcome, int status) {
  upgrade::LedgerRun run;
  run.unit = mac;
  run.model = model;
  run.started = started;
  run.mode = mode;
  run.link = link;
  run.outcome = outcome;
  run.exitStatus = status;
  return run;
}

TEST(History, EveryRunNewestFirstWithItsUnitsStateAndWhetherItIsOpen) {
  struct Unit {
    const char* mac;
    const char* started;
    const char* outcome;  // empty: the run has no ending
    int status;
    const char* dataLog;
    bool open;  // its change is open
    const char* row;  // the CSV row expected
  };
  const std::vector<Unit> units = {
      {"0011220000AA", "20261208090000", "completed", 0, "/w/T AA_Data_1.txt", false,
       "2026-12-08 09:00:00,,0011220000AA,LM-7210A,upgrade,2026-12-08 08:59:00,Port 1,eth1,1.0.1.5,,completed,0,seen,"
       "closed,/w/T AA_Data_1.txt,ab,/w/P.txt,\r\n"},
      {"0011220000CC", "20261209110000", "", -1, "/w/a,\"b\"\nc_Data_3.txt", true,
       "2026-12-09 11:00:00,,0011220000CC,LM-7210A,upgrade,,,eth1,1.0.1.5,,,,changed,open,"
       "\"/w/a,\"\"b\"\"\nc_Data_3.txt\",ab,/w/P.txt,\r\n"},
      {"0011220000BB", "20261208100000", "unit changed", 6, "", false,
       "2026-12-08 10:00:00,,0011220000BB,LM-7210A,upgrade,,,eth1,1.0.1.5,,unit changed,6,seen,closed,,,/w/P.txt,\r\n"},
  };
  const std::string path = ::testing::TempDir() + "history_test.sqlite3";
  std::remove(path.c_str());
  std::vector<upgrade::LedgerUnit> read;
  std::string error;
  ASSERT_TRUE(ReadHistory(path, &read, &error)) << error;  // no file: no unit, and none is made
  EXPECT_TRUE(read.empty());
  {
    upgrade::Ledger ledger;
    for (const Unit& u : units) {
      upgrade::LedgerRun run = RunOf(u.mac, "LM-7210A", u.started, "upgrade", "eth1", u.outcome, u.status);
      run.bootloaderBefore = "1.0.1.5";
      run.processLog = "/w/P.txt";
      run.dataLog = u.dataLog;
      run.dataLogSha256 = *u.dataLog ? "ab" : "";
      if (u.mac == units[0].mac) run.slot = "Port 1", run.session = "20261208085900";
      upgrade::LedgerChange change;
      change.mac = u.mac;
      ASSERT_TRUE(ledger.Open(path) && ledger.FinishRun(run) && (!u.open || ledger.RecordChange(run, change)))
          << ledger.Error();
    }
  }
  // A unit run again: the CSV holds both runs, the table its last.
  const std::string again = "2026-12-08 09:30:00,,0011220000AA,LM-7210A,check,,,eth2,,,same,0,seen,closed,,,,\r\n";
  {
    upgrade::Ledger ledger;
    upgrade::LedgerRun run = RunOf(units[0].mac, "LM-7210A", "20261208093000", "check", "eth2", "same", 0);
    ASSERT_TRUE(ledger.Open(path) && ledger.FinishRun(run)) << ledger.Error();
  }
  ASSERT_TRUE(ReadHistory(path, &read, &error, true)) << error;
  EXPECT_EQ(HistoryCsv(read), std::string("started,ended,mac,model,mode,session,slot,link,bootloader_before,"
                                          "bootloader_after,outcome,exit_status,state,change,data_log,"
                                          "data_log_sha256,process_log,other_macs\r\n") +
                                  units[1].row + units[2].row + again + units[0].row);
  ASSERT_TRUE(ReadHistory(path, &read, &error)) << error;
  ASSERT_EQ(read.size(), 3u);
  // The table: the ledger's file, the header, one line per unit in the same order.
  const std::string text = HistoryText(path, read);
  EXPECT_EQ(text.rfind("Unit ledger: " + path + "\nLast run ", 0), 0u) << text;
  const size_t cc = text.find("0011220000CC");
  const std::string ccLine = text.substr(cc, text.find('\n', cc) - cc);
  EXPECT_NE(ccLine.find("not ended"), std::string::npos) << text;
  EXPECT_NE(ccLine.find(" open "), std::string::npos) << text;
  EXPECT_LT(cc, text.find("0011220000BB  LM-7210A  upgrade  1.0.1.5 -> ?  unit changed (6)  closed")) << text;
  EXPECT_NE(text.find("0011220000AA  LM-7210A  check"), std::string::npos) << text;

  // A file that is not a ledger is left as it is, and said so.
  std::ofstream(path, std::ios::trunc) << "not a ledger";
  EXPECT_FALSE(ReadHistory(path, &read, &error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  std::remove(path.c_str());
}

// A ledger of the first version (no bench slots) is brought up to date when
// opened, its runs kept; a run of a bench then keeps its slot.
TEST(History, ALedgerOfTheFirstVersionTakesSlotsAndKeepsItsRuns) {
  const std::string path = ::testing::TempDir() + "history_v1_test.sqlite3";
  std::remove(path.c_str());
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, R"sql(
    CREATE TABLE units(mac TEXT PRIMARY KEY, model TEXT NOT NULL DEFAULT '', state TEXT NOT NULL, since TEXT NOT NULL,
      change_log TEXT, change_sha256 TEXT, change_values TEXT, change_missed INTEGER NOT NULL DEFAULT 0);
    CREATE TABLE names(mac TEXT PRIMARY KEY, unit TEXT NOT NULL);
    CREATE TABLE runs(id INTEGER PRIMARY KEY AUTOINCREMENT, unit TEXT NOT NULL, started TEXT NOT NULL,
      ended TEXT NOT NULL DEFAULT '', mode TEXT NOT NULL, link TEXT NOT NULL DEFAULT '',
      bootloader_before TEXT NOT NULL DEFAULT '', bootloader_after TEXT NOT NULL DEFAULT '',
      outcome TEXT NOT NULL DEFAULT '', exit_status INTEGER NOT NULL DEFAULT -1,
      process_log TEXT NOT NULL DEFAULT '', data_log TEXT NOT NULL DEFAULT '',
      data_log_sha256 TEXT NOT NULL DEFAULT '', unit_values TEXT);
    CREATE TABLE marks(mac TEXT NOT NULL, data_log TEXT NOT NULL, since TEXT NOT NULL, path TEXT NOT NULL,
      PRIMARY KEY(mac, data_log, since));
    INSERT INTO units VALUES('0011220000AA', 'LM-7210A', 'completed', '20261201090000', NULL, NULL, NULL, 0);
    INSERT INTO runs(unit, started, mode, outcome, exit_status) VALUES('0011220000AA', '20261201090000', 'upgrade',
      'completed', 0);
    PRAGMA user_version = 1;)sql", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  {
    upgrade::Ledger ledger;
    upgrade::LedgerRun run = RunOf("0011220000BB", "LM-7210B", "20261209090000", "upgrade", "eth3", "completed", 0);
    run.slot = "Port 3";
    ASSERT_TRUE(ledger.Open(path) && ledger.FinishRun(run)) << ledger.Error();
  }
  std::vector<upgrade::LedgerUnit> read;
  std::string error;
  ASSERT_TRUE(ReadHistory(path, &read, &error, true)) << error;
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].last.slot, "Port 3");
  EXPECT_EQ(read[1].mac, "0011220000AA");
  EXPECT_EQ(read[1].state, "completed");
  std::remove(path.c_str());
}

// A bench's children start at the same moment and find no ledger yet: each
// opens the one that the first of them made, none takes another's
// half-made file for a ledger cut to nothing, and nothing is left beside it.
TEST(History, RunsStartingAtOnceShareTheLedgerThatOneOfThemMade) {
  const std::string folder = ::testing::TempDir() + "ledger_race/";
  platform::CreateDirectory(folder);
  for (int round = 0; round < 20; ++round) {
    const std::string path = folder + "ledger.sqlite3";
    std::remove(path.c_str());
    constexpr int kRuns = 6;
    std::atomic<int> ended{0};
    std::atomic<int> opened{0};
    std::vector<std::string> errors(kRuns);
    for (int i = 0; i < kRuns; ++i) {
      ASSERT_TRUE(platform::StartDetachedThread([&, i] {
        upgrade::Ledger ledger;
        if (ledger.Open(path)) {
          ++opened;
        } else {
          errors[i] = ledger.Error();
        }
        ++ended;
      }));
    }
    while (ended < kRuns) platform::SleepMs(1);
    std::string said;
    for (const std::string& error : errors) said += error;
    ASSERT_EQ(opened, kRuns) << "round " << round << ": " << said;
    for (const std::string& name : platform::FolderFileNames(folder)) {
      EXPECT_TRUE(name == "ledger.sqlite3" || name == "ledger.sqlite3-journal") << name;
    }
  }
}

}  // namespace
}  // namespace ramtune
