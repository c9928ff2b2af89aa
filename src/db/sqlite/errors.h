// SQLite result codes as session statuses: the one place they are translated.
#ifndef KOLVADEX_DB_SQLITE_ERRORS_H_
#define KOLVADEX_DB_SQLITE_ERRORS_H_

#include <string>

struct sqlite3;

namespace kolvadex::db::sqlite {

// 0 for SQLITE_OK and SQLITE_DONE, otherwise the negative extended result code.
int StatusFromResult(int extended_result);

// The connection's latest error text on one line, or `fallback` without one.
std::string ErrorText(sqlite3* db, const char* fallback);

}  // namespace kolvadex::db::sqlite

#endif  // KOLVADEX_DB_SQLITE_ERRORS_H_
