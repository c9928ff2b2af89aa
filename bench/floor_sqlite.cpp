// The least a program can do to apply one statement to a SQLite database: open
// the existing file, begin, execute the statement, commit, close. It is the
// yardstick of the whole-run comparison, so it does nothing else: no checks
// beyond the result codes, no output on success.
//
//   floor_sqlite DATABASE STATEMENT
//
// Exit status 0 when the statement was committed, 1 otherwise (the SQLite
// message on standard error).
#include <sqlite3.h>

#include <cstdio>

namespace {

int Fail(sqlite3* db, const char* what) {
  static_cast<void>(std::fprintf(stderr, "floor_sqlite: %s: %s\n", what,
                                 db != nullptr ? sqlite3_errmsg(db) : ""));
  sqlite3_close_v2(db);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    static_cast<void>(std::fputs("usage: floor_sqlite DATABASE STATEMENT\n", stderr));
    return 2;
  }
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    return Fail(db, "open");
  }
  if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return Fail(db, "begin");
  if (sqlite3_exec(db, argv[2], nullptr, nullptr, nullptr) != SQLITE_OK) return Fail(db, "execute");
  if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) return Fail(db, "commit");
  return sqlite3_close_v2(db) == SQLITE_OK ? 0 : 1;
}
