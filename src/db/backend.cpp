// Chooses the backend of a run from the database system name.
#include <string>

#include "db/oracle/session.h"
#include "db/postgresql/session.h"
#include "db/session.h"
#include "db/sqlite/session.h"

namespace kolvadex::db {
namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<Session> OpenSession(std::string_view database_system) {
  if (EqualsIgnoringAsciiCase(database_system, "SQLITE")) return sqlite::MakeSession();
  if (EqualsIgnoringAsciiCase(database_system, "POSTGRESQL")) return postgresql::MakeSession();
  return oracle::MakeSession();
}

}  // namespace kolvadex::db
