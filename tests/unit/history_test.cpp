// The unit ledger's history: read from a ledger as runs write it, newest run
// first, as CSV a spreadsheet reads and as a table.
#include "app/history.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace ramtune {
namespace {

TEST(History, EveryUnitNewestFirstWithItsLastRunAndWhetherItIsOpen) {
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
       "2026-12-08 09:00:00,0011220000AA,LM-7210A,upgrade,eth1,1.0.1.5,,completed,0,seen,closed,/w/T AA_Data_1.txt,"
       "ab,/w/P.txt,\r\n"},
      {"0011220000CC", "20261209110000", "", -1, "/w/a,\"b\"\nc_Data_3.txt", true,
       "2026-12-09 11:00:00,0011220000CC,LM-7210A,upgrade,eth1,1.0.1.5,,,,changed,open,\"/w/a,\"\"b\"\"\nc_Data_3.txt\","
       "ab,/w/P.txt,\r\n"},
      {"0011220000BB", "20261208100000", "unit changed", 6, "", false,
       "2026-12-08 10:00:00,0011220000BB,LM-7210A,upgrade,eth1,1.0.1.5,,unit changed,6,seen,closed,,,/w/P.txt,\r\n"},
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
      upgrade::LedgerRun run{0, u.mac, "LM-7210A", u.started, "", "upgrade", "eth1", "1.0.1.5", "", u.outcome,
                             u.status, "/w/P.txt", u.dataLog, *u.dataLog ? "ab" : ""};
      upgrade::LedgerChange change;
      change.mac = u.mac;
      ASSERT_TRUE(ledger.Open(path) && ledger.FinishRun(run) && (!u.open || ledger.RecordChange(run, change)))
          << ledger.Error();
    }
  }
  ASSERT_TRUE(ReadHistory(path, &read, &error)) << error;
  EXPECT_EQ(HistoryCsv(read), std::string("last_run,mac,model,mode,link,bootloader_before,bootloader_after,outcome,"
                                          "exit_status,state,change,data_log,data_log_sha256,process_log,"
                                          "other_macs\r\n") +
                                  units[1].row + units[2].row + units[0].row);
  // The table: the ledger's file, the header, one line per unit in the same order.
  const std::string text = HistoryText(path, read);
  EXPECT_EQ(text.rfind("Unit ledger: " + path + "\nLast run ", 0), 0u) << text;
  const size_t cc = text.find("0011220000CC");
  const std::string ccLine = text.substr(cc, text.find('\n', cc) - cc);
  EXPECT_NE(ccLine.find("not ended"), std::string::npos) << text;
  EXPECT_NE(ccLine.find(" open "), std::string::npos) << text;
  EXPECT_LT(cc, text.find("0011220000BB  LM-7210A  upgrade  1.0.1.5 -> ?  unit changed (6)  closed")) << text;

  // A file that is not a ledger is left as it is, and said so.
  std::ofstream(path, std::ios::trunc) << "not a ledger";
  EXPECT_FALSE(ReadHistory(path, &read, &error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  std::remove(path.c_str());
}

}  // namespace
}  // namespace ramtune
