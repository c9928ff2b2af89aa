// The test run's PostgreSQL server, as the tests see it: its connection data
// (written by pg_server.sh, found through the environment variable
// KOLVADEX_PG_TEST_INFO) and a way to run SQL on it for setting up and
// checking. These helpers link libpq; the tool itself does not.
#ifndef KOLVADEX_TESTS_SUPPORT_PG_FIXTURE_H_
#define KOLVADEX_TESTS_SUPPORT_PG_FIXTURE_H_

#include <string>

namespace kolvadex::testing {

struct PgServer {
  std::string host;  // 127.0.0.1
  std::string port;
  std::string socket_dir;
  std::string database;                 // holds the schema rarazove
  std::string database_without_schema;  // does not
  std::string user;
  std::string password;
  std::string admin_user;  // a superuser
  std::string admin_password;

  // "host=127.0.0.1 port=... dbname=<database>": a service in key=value form.
  [[nodiscard]] std::string Service() const;
};

// The server of this test run. Throws std::runtime_error when there is none.
const PgServer& TestServer();

// Runs `sql` (one or more statements) in the test database, as the test user
// or, with `as_admin`, as the superuser. Throws std::runtime_error on failure.
void PgExec(const std::string& sql, bool as_admin = false);

// The first column of the first row of `sql` as text ("" for no row, "NULL"
// for NULL), read as the test user.
std::string PgQueryValue(const std::string& sql);

}  // namespace kolvadex::testing

#endif  // KOLVADEX_TESTS_SUPPORT_PG_FIXTURE_H_
