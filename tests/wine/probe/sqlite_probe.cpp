// SQLite as the Windows trees compile it in, as a program of every Windows
// tree: windows_binaries checks what it imports (one call into SQLite links
// all of it, as the ledger will). It also runs: sqlite_probe [FILE] opens
// FILE (default: a database in memory) and prints SQLite's version.
#include <sqlite3.h>

#include <cstdio>

int main(int argc, char** argv) {
  sqlite3* db = nullptr;
  const int status = sqlite3_open(argc > 1 ? argv[1] : ":memory:", &db);
  if (status == SQLITE_OK) {
    std::printf("sqlite_probe: SQLite %s\n", sqlite3_libversion());
  } else {
    std::printf("sqlite_probe: %s\n", db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(status));
  }
  sqlite3_close(db);
  return status == SQLITE_OK ? 0 : 1;
}
