// Oracle backend of the database session.
#ifndef KOLVADEX_DB_ORACLE_SESSION_H_
#define KOLVADEX_DB_ORACLE_SESSION_H_

#include <memory>

#include "db/session.h"

namespace kolvadex::db::oracle {

std::unique_ptr<Session> MakeSession();

}  // namespace kolvadex::db::oracle

#endif  // KOLVADEX_DB_ORACLE_SESSION_H_
