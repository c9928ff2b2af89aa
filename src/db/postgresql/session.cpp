// Placeholder until the PostgreSQL backend lands: every connect reports that the
// backend is not available.
#include "db/postgresql/session.h"

#include "db/unavailable_session.h"

namespace kolvadex::db::postgresql {

std::unique_ptr<Session> MakeSession() {
  return std::make_unique<UnavailableSession>("PostgreSQL-Anbindung ist in dieser Version nicht verfuegbar");
}

}  // namespace kolvadex::db::postgresql
