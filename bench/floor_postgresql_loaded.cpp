// The PostgreSQL floor program as kolvadex has to load libpq: at run time
// (dlopen, RTLD_LAZY | RTLD_LOCAL, as platform::DynamicLibrary does), in a
// process that is linked with SQLite, the default backend. Otherwise it does
// what floor_postgresql does. The whole-run comparison shows it beside the
// floor, so that the cost of loading the client library this way is told
// apart from the tool's own work.
//
//   floor_postgresql_loaded CONNINFO STATEMENT
#include <dlfcn.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>

namespace {

// The few libpq functions the floor calls.
struct Libpq {
  decltype(&PQconnectdb) connectdb = nullptr;
  decltype(&PQstatus) status = nullptr;
  decltype(&PQerrorMessage) error_message = nullptr;
  decltype(&PQexec) exec = nullptr;
  decltype(&PQresultStatus) result_status = nullptr;
  decltype(&PQclear) clear = nullptr;
  decltype(&PQfinish) finish = nullptr;
};

template <typename Function>
bool Resolve(void* library, const char* name, Function& into) {
  void* const address = dlsym(library, name);
  if (address == nullptr) return false;
  std::memcpy(&into, &address, sizeof into);
  return true;
}

bool Run(const Libpq& pq, PGconn* conn, const char* sql) {
  PGresult* result = pq.exec(conn, sql);
  const ExecStatusType status = pq.result_status(result);
  const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  if (!ok) static_cast<void>(std::fprintf(stderr, "floor: %s", pq.error_message(conn)));
  pq.clear(result);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    static_cast<void>(std::fputs("usage: floor_postgresql_loaded CONNINFO STATEMENT\n", stderr));
    return 2;
  }
  // Linked with SQLite as kolvadex is; the call keeps the link.
  if (sqlite3_libversion_number() <= 0) return 2;
  void* library = dlopen("libpq.so.5", RTLD_LAZY | RTLD_LOCAL);
  Libpq pq;
  if (library == nullptr || !Resolve(library, "PQconnectdb", pq.connectdb) ||
      !Resolve(library, "PQstatus", pq.status) ||
      !Resolve(library, "PQerrorMessage", pq.error_message) ||
      !Resolve(library, "PQexec", pq.exec) ||
      !Resolve(library, "PQresultStatus", pq.result_status) ||
      !Resolve(library, "PQclear", pq.clear) || !Resolve(library, "PQfinish", pq.finish)) {
    static_cast<void>(std::fputs("floor: libpq.so.5 cannot be loaded\n", stderr));
    return 1;
  }
  PGconn* conn = pq.connectdb(argv[1]);
  if (pq.status(conn) != CONNECTION_OK) {
    static_cast<void>(std::fprintf(stderr, "floor: %s", pq.error_message(conn)));
    pq.finish(conn);
    return 1;
  }
  const bool ok = Run(pq, conn, "BEGIN") && Run(pq, conn, argv[2]) && Run(pq, conn, "COMMIT");
  pq.finish(conn);
  dlclose(library);
  return ok ? 0 : 1;
}
