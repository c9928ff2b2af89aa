// PostgreSQL outcomes as session statuses: the one place they are translated.
//
// The numbers are those of PostgreSQL's embedded-SQL precompiler (its sqlcode):
// a connection that cannot be opened is kStatusConnectFailed, a unique
// violation (SQLSTATE 23505) kStatusUniqueViolation, and every other error
// kStatusServerError. The SQLSTATE itself goes into the message.
#ifndef KOLVADEX_DB_POSTGRESQL_ERRORS_H_
#define KOLVADEX_DB_POSTGRESQL_ERRORS_H_

#include <string>
#include <string_view>
#include <vector>

namespace kolvadex::db::postgresql {

inline constexpr int kStatusServerError = -400;
inline constexpr int kStatusConnectFailed = -402;
inline constexpr int kStatusUniqueViolation = -403;

// The status for an error the server reported with `sqlstate` (five
// characters; nullptr or empty when the error has none, for example when
// libpq itself failed).
int StatusFromSqlState(const char* sqlstate);

// The message for an error: "SQLSTATE <code>: <primary message>" when the
// server sent both, otherwise `fallback` (libpq's own text). Always one line.
std::string ErrorText(const char* sqlstate, const char* primary, const char* fallback);

// `text` on one line: line breaks and tabs become blanks, runs of blanks one
// blank, and blanks at both ends are dropped.
std::string OneLine(std::string_view text);

// `text` with every occurrence of each non-empty secret replaced by "********".
std::string Redact(std::string text, const std::vector<std::string>& secrets);

}  // namespace kolvadex::db::postgresql

#endif  // KOLVADEX_DB_POSTGRESQL_ERRORS_H_
