// PostgreSQL backend of the database session.
#ifndef KOLVADEX_DB_POSTGRESQL_SESSION_H_
#define KOLVADEX_DB_POSTGRESQL_SESSION_H_

#include <memory>

#include "db/session.h"

namespace kolvadex::db::postgresql {

std::unique_ptr<Session> MakeSession();

}  // namespace kolvadex::db::postgresql

#endif  // KOLVADEX_DB_POSTGRESQL_SESSION_H_
