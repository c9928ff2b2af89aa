// Oracle backend of the database session, through the Oracle Call Interface of
// the client library loaded at run time (client_library.h).
//
// Connect attaches to the service (a TNS alias, or host:port/service_name) and
// begins a user session with user name and password passed separately, so
// that any character may stand in either; when both are empty, the session is
// authenticated externally (by the operating system or a wallet). The schema
// switch and the statement are each prepared and executed once; a SELECT is
// executed without fetching. Statuses are the negative ORA numbers
// (errors.h), or kStatusNoRowsProcessed when an UPDATE, DELETE, INSERT or MERGE
// processed no row.
//
// Without a usable client library Connect returns kStatusBackendUnavailable
// and LastMessage() names the library names tried and the loader's reason; so
// it does when the client loads but cannot create its environment.
// Destroying the session rolls back work that was not committed (ending an
// Oracle session would commit it), ends the session, detaches from the server,
// frees every handle and then lets go of the library. The password is passed
// to the client and never kept, copied or put into a message.
#ifndef KOLVADEX_DB_ORACLE_SESSION_H_
#define KOLVADEX_DB_ORACLE_SESSION_H_

#include <memory>

#include "db/session.h"

namespace kolvadex::db::oracle {

std::unique_ptr<Session> MakeSession();

}  // namespace kolvadex::db::oracle

#endif  // KOLVADEX_DB_ORACLE_SESSION_H_
