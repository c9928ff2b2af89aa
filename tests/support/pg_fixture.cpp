#include "support/pg_fixture.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>

namespace kolvadex::testing {
namespace {

PgServer ReadServer() {
  const char* path = std::getenv("KOLVADEX_PG_TEST_INFO");
  if (path == nullptr || *path == '\0') {
    throw std::runtime_error("KOLVADEX_PG_TEST_INFO is not set: run the tests through ctest");
  }
  std::ifstream file(path);
  if (!file)
    throw std::runtime_error(std::string("no PostgreSQL test server: cannot read ") + path);
  std::map<std::string, std::string> values;
  std::string line;
  while (std::getline(file, line)) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  const auto get = [&](const std::string& key) {
    const auto found = values.find(key);
    if (found == values.end()) throw std::runtime_error("no " + key + " in " + path);
    return found->second;
  };
  return PgServer{get("host"),
                  get("port"),
                  get("socket_dir"),
                  get("database"),
                  get("database_without_schema"),
                  get("user"),
                  get("password"),
                  get("admin_user"),
                  get("admin_password")};
}

struct ConnectionCloser {
  void operator()(PGconn* conn) const noexcept { PQfinish(conn); }
};
struct ResultClearer {
  void operator()(PGresult* result) const noexcept { PQclear(result); }
};
using ConnectionPtr = std::unique_ptr<PGconn, ConnectionCloser>;
using ResultPtr = std::unique_ptr<PGresult, ResultClearer>;

ConnectionPtr Open(bool as_admin) {
  const PgServer& server = TestServer();
  const char* const keywords[] = {"host", "port", "dbname", "user", "password", "options", nullptr};
  const char* const values[] = {server.host.c_str(),
                                server.port.c_str(),
                                server.database.c_str(),
                                as_admin ? server.admin_user.c_str() : server.user.c_str(),
                                as_admin ? server.admin_password.c_str() : server.password.c_str(),
                                "-c client_min_messages=warning",
                                nullptr};
  ConnectionPtr conn(PQconnectdbParams(keywords, values, 0));
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    throw std::runtime_error(std::string("cannot connect: ") + PQerrorMessage(conn.get()));
  }
  return conn;
}

ResultPtr Exec(PGconn* conn, const std::string& sql) {
  ResultPtr result(PQexec(conn, sql.c_str()));
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw std::runtime_error("SQL failed: " + sql + ": " + PQerrorMessage(conn));
  }
  return result;
}

}  // namespace

std::string PgServer::Service() const {
  return "host=" + host + " port=" + port + " dbname=" + database;
}

const PgServer& TestServer() {
  static const PgServer server = ReadServer();
  return server;
}

void PgExec(const std::string& sql, bool as_admin) {
  const ConnectionPtr conn = Open(as_admin);
  Exec(conn.get(), sql);
}

std::string PgQueryValue(const std::string& sql) {
  const ConnectionPtr conn = Open(false);
  const ResultPtr result = Exec(conn.get(), sql);
  if (PQntuples(result.get()) == 0) return "";
  if (PQgetisnull(result.get(), 0, 0) != 0) return "NULL";
  return PQgetvalue(result.get(), 0, 0);
}

}  // namespace kolvadex::testing
