// SQLite as each build links it (Debian's library on Linux, compiled into the
// program on Windows): it answers in memory, and a database file keeps what
// a transaction wrote across a close (the file layer, its locks and journal).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <random>
#include <string>

namespace {

// The first column of the first row of `sql`, as text; "error: ..." on failure.
std::string Answer(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  std::string answer;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) {
    answer = std::string("error: ") + sqlite3_errmsg(db);
  } else if (sqlite3_step(statement) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(statement, 0);
    answer = text != nullptr ? reinterpret_cast<const char*>(text) : "";
  } else {
    answer = std::string("error: ") + sqlite3_errmsg(db);
  }
  sqlite3_finalize(statement);
  return answer;
}

TEST(Sqlite, AnswersInMemoryAndKeepsAFileAcrossAClose) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  EXPECT_EQ(Answer(db, "SELECT sqlite_version()"), sqlite3_libversion());
  sqlite3_close(db);

  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("ramtune-sqlite-" + std::to_string(std::random_device{}()) + ".db");
  ASSERT_EQ(sqlite3_open(file.string().c_str(), &db), SQLITE_OK) << sqlite3_errmsg(db);
  EXPECT_EQ(sqlite3_exec(db,
                         "CREATE TABLE units (mac TEXT PRIMARY KEY, runs INTEGER);"
                         "BEGIN; INSERT INTO units VALUES ('00:11:22:33:44:55', 1), ('00:11:22:33:44:66', 2);"
                         "COMMIT;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(db);
  sqlite3_close(db);
  ASSERT_EQ(sqlite3_open(file.string().c_str(), &db), SQLITE_OK);
  EXPECT_EQ(Answer(db, "SELECT sum(runs) FROM units"), "3");
  sqlite3_close(db);
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
}

}  // namespace
