// SQLite backend of the database session, the embedded default.
//
// The service is the path of the database file, which must exist (opening never
// creates one: a typo must not make an empty database). User, password and
// schema have no meaning in SQLite: the schema switch succeeds. A locked
// database is waited for kBusyTimeoutMs, then the operation fails with
// SQLITE_BUSY. Statuses are the negative extended result codes; a text holding
// more than one statement is refused (a single trailing ";" is fine).
#ifndef KOLVADEX_DB_SQLITE_SESSION_H_
#define KOLVADEX_DB_SQLITE_SESSION_H_

#include <memory>

#include "db/session.h"

namespace kolvadex::db::sqlite {

inline constexpr int kBusyTimeoutMs = 5000;

std::unique_ptr<Session> MakeSession();

}  // namespace kolvadex::db::sqlite

#endif  // KOLVADEX_DB_SQLITE_SESSION_H_
