#include "db/sqlite/errors.h"

#include <sqlite3.h>

namespace kolvadex::db::sqlite {

int StatusFromResult(int extended_result) {
  if (extended_result == SQLITE_OK || extended_result == SQLITE_DONE ||
      extended_result == SQLITE_ROW) {
    return 0;
  }
  return -extended_result;
}

std::string ErrorText(sqlite3* db, const char* fallback) {
  std::string text = db != nullptr ? sqlite3_errmsg(db) : fallback;
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace kolvadex::db::sqlite
