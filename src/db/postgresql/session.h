// PostgreSQL backend of the database session, on libpq loaded at run time.
//
// libpq (kLibpqName) is loaded by the first Connect and by nothing else, so a
// run with another backend never loads it. When it cannot be loaded, Connect
// returns kStatusBackendUnavailable and LastMessage() names the library and
// the loader's reason.
//
// Connect hands the service to libpq as its database name with expansion: a
// plain database name, a "key=value ..." connection string (also
// "service=NAME" of pg_service.conf) or a postgresql:// URI. User and password
// are passed separately when they are not empty, and then win over those of
// the service; otherwise libpq's own defaults apply (PGUSER, ~/.pgpass, ...).
// Unless the service sets connect_timeout itself, every address tried waits at
// most kDefaultConnectTimeoutSeconds for the server. Messages never show a
// password, neither the one passed nor one inside the service.
//
// SwitchSchema looks for the schema under its name as given, then under the
// lower-case form of it (PostgreSQL folds unquoted names to lower case, as
// Oracle folds them to upper case), and puts the one found first in the
// search path, ahead of the path the session had. A schema that exists under
// neither name fails with kStatusServerError, as Oracle's ORA-01435 fails.
//
// Execute opens a transaction when none is open and runs the text through the
// extended query protocol, which refuses a text of more than one statement:
// a refused text changes nothing. Commit and Rollback end the transaction; a
// transaction that an error left unusable is never reported as committed.
// Statuses are those of errors.h, plus kStatusNoRowsProcessed when an UPDATE,
// DELETE, INSERT or MERGE processed no row. LastMessage() gives the SQLSTATE
// and the server's primary message on one line, or libpq's text.
#ifndef KOLVADEX_DB_POSTGRESQL_SESSION_H_
#define KOLVADEX_DB_POSTGRESQL_SESSION_H_

#include <memory>
#include <string>

#include "db/session.h"

namespace kolvadex::db::postgresql {

inline constexpr int kDefaultConnectTimeoutSeconds = 5;

std::unique_ptr<Session> MakeSession();

// A session that loads libpq from `library` (a soname or a path) instead of
// kLibpqName.
std::unique_ptr<Session> MakeSession(std::string library);

}  // namespace kolvadex::db::postgresql

#endif  // KOLVADEX_DB_POSTGRESQL_SESSION_H_
