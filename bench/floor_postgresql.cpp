// The least a program can do to apply one statement to a PostgreSQL database:
// connect with libpq (linked as usual), begin, execute the statement, commit,
// finish. It is the yardstick of the whole-run comparison, so it does nothing
// else: no output on success.
//
//   floor_postgresql CONNINFO STATEMENT
//
// CONNINFO is a libpq connection string ("host=... port=... dbname=... user=...
// password=..."). Exit status 0 when the statement was committed, 1 otherwise
// (the server's message on standard error).
#include <libpq-fe.h>

#include <cstdio>

namespace {

// Runs one command; false (and the message on standard error) when it failed.
bool Run(PGconn* conn, const char* sql) {
  PGresult* result = PQexec(conn, sql);
  const ExecStatusType status = PQresultStatus(result);
  const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  if (!ok) static_cast<void>(std::fprintf(stderr, "floor_postgresql: %s", PQerrorMessage(conn)));
  PQclear(result);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    static_cast<void>(std::fputs("usage: floor_postgresql CONNINFO STATEMENT\n", stderr));
    return 2;
  }
  PGconn* conn = PQconnectdb(argv[1]);
  if (PQstatus(conn) != CONNECTION_OK) {
    static_cast<void>(std::fprintf(stderr, "floor_postgresql: %s", PQerrorMessage(conn)));
    PQfinish(conn);
    return 1;
  }
  const bool ok = Run(conn, "BEGIN") && Run(conn, argv[2]) && Run(conn, "COMMIT");
  PQfinish(conn);
  return ok ? 0 : 1;
}
