#include "support/sqlite_fixture.h"

#include <sqlite3.h>

#include <stdexcept>

#include "credentials/cipher.h"

namespace kolvadex::testing {

void ExecSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + path);
  }
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  const std::string message = error != nullptr ? error : "";
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("SQL failed: " + message);
}

std::string QueryValue(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  // Read-write, so that a journal left by a killed writer is rolled back.
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + path);
  }
  sqlite3_stmt* stmt = nullptr;
  std::string value;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    const unsigned char* text = sqlite3_column_text(stmt, 0);
    value = text != nullptr ? reinterpret_cast<const char*>(text) : "NULL";
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return value;
}

std::string CredentialFileText(const Credentials& credentials) {
  using credentials::EncryptValue;
  std::string text;
  int number = 1;
  for (const auto& [key, value] : {std::pair{"NET8", credentials.service},
                                   std::pair{"LOGIN", credentials.user},
                                   std::pair{"PASS", credentials.password},
                                   std::pair{"DB_SYSTEM", credentials.database_system}}) {
    text += "X;KOLVADEX;y\n";
    text += std::to_string(number++) + ";" + key + ";" + EncryptValue(value) + "\n";
  }
  return text;
}

}  // namespace kolvadex::testing
