// Small helpers for tests that need real files: a SQLite database made from
// SQL, a query that reads one value back, and a credential file enciphered
// with the tool's own cipher.
#ifndef KOLVADEX_TESTS_SUPPORT_SQLITE_FIXTURE_H_
#define KOLVADEX_TESTS_SUPPORT_SQLITE_FIXTURE_H_

#include <string>

namespace kolvadex::testing {

// Creates (or opens) the database at `path` and runs `sql` on it.
void ExecSql(const std::string& path, const std::string& sql);

// The first column of the first row of `sql` as text ("" for no row, "NULL" for NULL).
std::string QueryValue(const std::string& path, const std::string& sql);

struct Credentials {
  std::string service;
  std::string user;
  std::string password;
  std::string database_system;
};

// A credential file with one record per key: header "X;KOLVADEX;y", entries
// numbered 1 to 4, LF line ends.
std::string CredentialFileText(const Credentials& credentials);

}  // namespace kolvadex::testing

#endif  // KOLVADEX_TESTS_SUPPORT_SQLITE_FIXTURE_H_
