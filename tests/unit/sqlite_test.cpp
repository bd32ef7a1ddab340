// SQLite as each build links it (Debian's library on Linux, compiled in on
// Windows): it answers in memory, and a file keeps a committed transaction
// across a close (the file layer, its locks and its journal).
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <random>
#include <string>

namespace {

// The first column of the last row `sql` returns; "error: ..." on failure.
std::string Query(sqlite3* db, const char* sql) {
  std::string answer;
  char* failure = nullptr;
  auto row = [](void* out, int, char** values, char**) {
    *static_cast<std::string*>(out) = values[0] != nullptr ? values[0] : "";
    return 0;
  };
  if (sqlite3_exec(db, sql, row, &answer, &failure) != SQLITE_OK) answer = std::string("error: ") + failure;
  sqlite3_free(failure);
  return answer;
}

TEST(Sqlite, AnswersInMemoryAndKeepsAFileAcrossAClose) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  EXPECT_EQ(Query(db, "SELECT sqlite_version()"), sqlite3_libversion());
  sqlite3_close(db);

  const std::string file = (std::filesystem::temp_directory_path() /
                            ("ramtune-sqlite-" + std::to_string(std::random_device{}()) + ".db"))
                               .string();
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(Query(db, "CREATE TABLE units (mac TEXT PRIMARY KEY, runs INTEGER); BEGIN;"
                    "INSERT INTO units VALUES ('00:11:22:33:44:55', 1), ('00:11:22:33:44:66', 2); COMMIT"),
            "");
  sqlite3_close(db);
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(Query(db, "SELECT sum(runs) FROM units"), "3");
  sqlite3_close(db);
  std::filesystem::remove(file);
}

}  // namespace
