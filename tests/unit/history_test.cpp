// The unit ledger's history: read from a ledger the way runs write it,
// newest run first, as a table and as CSV.
#include "app/history.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace ramtune {
namespace {

TEST(History, EveryUnitNewestFirstWithItsLastRunAndWhetherItIsOpen) {
  struct Unit {
    const char* mac;
    const char* model;
    const char* started;
    const char* outcome;  // empty: the run has no ending
    int status;
    const char* dataLog;
    bool open;  // its change is open
  };
  const std::vector<Unit> units = {
      {"0011220000AA", "LM-7210A", "20261208090000", "completed", 0, "/w/T 0011220000AA_Data_1.txt", false},
      {"0011220000CC", "LM-7210B", "20261209110000", "", -1, "/w/a,\"b\"\nc_Data_3.txt", true},
      {"0011220000BB", "LM-7210A", "20261208100000", "unit changed", 6, "", false},
  };
  // The rows expected, newest first: the last run, the MAC, the status,
  // the change and the Data log, each as a spreadsheet reads it.
  const std::vector<std::string> rows = {
      "2026-12-09 11:00:00,0011220000CC,LM-7210B,upgrade,eth1,1.0.1.5,,,,changed,open,"
      "\"/w/a,\"\"b\"\"\nc_Data_3.txt\",ab12,/w/P.txt,\r\n",
      "2026-12-08 10:00:00,0011220000BB,LM-7210A,upgrade,eth1,1.0.1.5,,unit changed,6,seen,closed,,,/w/P.txt,\r\n",
      "2026-12-08 09:00:00,0011220000AA,LM-7210A,upgrade,eth1,1.0.1.5,,completed,0,seen,closed,"
      "/w/T 0011220000AA_Data_1.txt,ab12,/w/P.txt,\r\n",
  };
  const std::string path = ::testing::TempDir() + "history_test.sqlite3";
  std::remove(path.c_str());
  std::vector<upgrade::LedgerUnit> read;
  std::string error;
  ASSERT_TRUE(ReadHistory(path, &read, &error)) << error;  // no file yet: no unit, and none is made
  EXPECT_TRUE(read.empty());
  {
    upgrade::Ledger ledger;
    ASSERT_TRUE(ledger.Open(path)) << ledger.Error();
    for (const Unit& u : units) {
      upgrade::LedgerRun run{u.mac, u.model, u.started, "", "upgrade", "eth1", "", "", "", -1, "/w/P.txt", "", ""};
      int64_t id = 0;
      ASSERT_TRUE(ledger.BeginRun(run, &id)) << ledger.Error();
      run.bootloaderBefore = "1.0.1.5";
      run.outcome = u.outcome;
      run.exitStatus = u.status;
      run.dataLog = u.dataLog;
      run.dataLogSha256 = *u.dataLog != '\0' ? "ab12" : "";
      ASSERT_TRUE(ledger.FinishRun(id, run)) << ledger.Error();
      if (u.open) {
        upgrade::LedgerChange change;
        change.mac = u.mac;
        change.dataLog = u.dataLog;
        change.since = u.started;
        ASSERT_TRUE(ledger.RecordChange(id, change)) << ledger.Error();
      }
    }
  }
  ASSERT_TRUE(ReadHistory(path, &read, &error)) << error;
  const std::string csv = HistoryCsv(read);
  std::string expected =
      "last_run,mac,model,mode,link,bootloader_before,bootloader_after,outcome,exit_status,state,change,data_log,"
      "data_log_sha256,process_log,other_macs\r\n";
  for (const std::string& row : rows) expected += row;
  EXPECT_EQ(csv, expected);

  // The table: the ledger's file, the header, then the same order, each row on its line.
  const std::string text = HistoryText(path, read);
  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 5u) << text;
  EXPECT_EQ(lines[0], "Unit ledger: " + path);
  EXPECT_EQ(lines[1].rfind("Last run", 0), 0u) << lines[1];
  const std::vector<std::vector<std::string>> cells = {
      {"2026-12-09 11:00:00  0011220000CC", "1.0.1.5 -> ?", "not ended", "open", "c_Data_3.txt", "ab12"},
      {"0011220000BB", "unit changed (6)", "closed  -"},
      {"0011220000AA", "completed (0)", "closed  /w/T 0011220000AA_Data_1.txt  ab12"}};
  for (size_t i = 0; i < cells.size(); ++i) {
    for (const std::string& cell : cells[i]) EXPECT_NE(lines[i + 2].find(cell), std::string::npos) << cell << "\n" << text;
  }
  EXPECT_NE(HistoryText(path, {}).find("No unit"), std::string::npos);

  // A file that is not a ledger is left as it is, and said so.
  std::ofstream(path, std::ios::trunc) << "not a ledger";
  EXPECT_FALSE(ReadHistory(path, &read, &error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_FALSE(ReadHistory("", &read, &error));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace ramtune
