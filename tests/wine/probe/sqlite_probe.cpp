// SQLite as the Windows trees compile it in: windows_binaries checks what this
// program imports (one call links all of SQLite, as the ledger will). Run, it
// prints SQLite's version from a database in memory.
#include <sqlite3.h>

#include <cstdio>

int main() {
  sqlite3* db = nullptr;
  const int status = sqlite3_open(":memory:", &db);
  std::printf("sqlite_probe: %s\n", status == SQLITE_OK ? sqlite3_libversion() : sqlite3_errstr(status));
  sqlite3_close(db);
  return status == SQLITE_OK ? 0 : 1;
}
