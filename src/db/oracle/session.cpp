// Placeholder until the Oracle backend lands: every connect reports that the
// backend is not available.
#include "db/oracle/session.h"

#include "db/unavailable_session.h"

namespace kolvadex::db::oracle {

std::unique_ptr<Session> MakeSession() {
  return std::make_unique<UnavailableSession>("Oracle-Anbindung ist in dieser Version nicht verfuegbar");
}

}  // namespace kolvadex::db::oracle
