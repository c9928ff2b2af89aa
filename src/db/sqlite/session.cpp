#include "db/sqlite/session.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdint>
#include <string>

#include "db/sqlite/errors.h"

namespace kolvadex::db::sqlite {
namespace {

struct DatabaseCloser {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
  void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseCloser>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

bool StartsWithKeyword(std::string_view text, std::string_view keyword) {
  if (text.size() < keyword.size()) return false;
  for (std::size_t i = 0; i < keyword.size(); ++i) {
    const char c = text[i];
    const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    if (upper != keyword[i]) return false;
  }
  return text.size() == keyword.size() || !(std::isalnum(static_cast<unsigned char>(text[keyword.size()])) || text[keyword.size()] == '_');
}

// Skips white space, comments and opening parentheses before the first word.
std::string_view FirstWord(std::string_view sql) {
  for (;;) {
    while (!sql.empty() && (std::isspace(static_cast<unsigned char>(sql.front())) || sql.front() == '(')) {
      sql.remove_prefix(1);
    }
    if (sql.starts_with("--")) {
      const std::size_t end = sql.find('\n');
      sql = end == std::string_view::npos ? std::string_view() : sql.substr(end + 1);
    } else if (sql.starts_with("/*")) {
      const std::size_t end = sql.find("*/", 2);
      sql = end == std::string_view::npos ? std::string_view() : sql.substr(end + 2);
    } else {
      return sql;
    }
  }
}

// Statements after which "no row processed" is worth reporting.
bool ChangesRows(std::string_view sql) {
  const std::string_view word = FirstWord(sql);
  for (const std::string_view keyword : {"UPDATE", "DELETE", "INSERT", "REPLACE"}) {
    if (StartsWithKeyword(word, keyword)) return true;
  }
  return false;
}

class SqliteSession final : public Session {
 public:
  int Connect(const ConnectParams& params) override {
    if (params.service.empty()) {
      // sqlite3_open_v2 would open a private temporary database for "".
      return Fail(SQLITE_CANTOPEN, "kein Datenbankpfad angegeben");
    }
    sqlite3* raw = nullptr;
    const std::string path(params.service);
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK) {
      const int code = db_ ? sqlite3_extended_errcode(db_.get()) : rc;
      message_ = ErrorText(db_.get(), "out of memory");
      db_.reset();
      return StatusFromResult(code);
    }
    sqlite3_extended_result_codes(db_.get(), 1);
    sqlite3_busy_timeout(db_.get(), kBusyTimeoutMs);
    // Opening is lazy; reading the schema proves that the file is a database.
    return Run("PRAGMA schema_version");
  }

  int SwitchSchema(std::string_view /*schema*/) override { return 0; }

  int Execute(std::string_view statement) override {
    if (!db_) return Fail(SQLITE_MISUSE, "nicht verbunden");
    const char* tail = nullptr;
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db_.get(), statement.data(), Length(statement), &raw, &tail);
    StatementPtr stmt(raw);
    if (rc != SQLITE_OK) return Fail(db_.get());
    if (!stmt) return Fail(SQLITE_ERROR, "der Text enthaelt keine SQL-Anweisung");
    if (HoldsAnotherStatement(statement.substr(static_cast<std::size_t>(tail - statement.data())))) {
      return Fail(SQLITE_ERROR, "der Text enthaelt mehr als eine SQL-Anweisung");
    }
    if (sqlite3_get_autocommit(db_.get()) != 0) {
      const int status = Run("BEGIN IMMEDIATE");
      if (status != 0) return status;
    }
    // Step to the end: a statement that returns rows (RETURNING) changes them
    // all only when every row has been stepped through.
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) return Fail(db_.get());
    if (ChangesRows(sqlite3_sql(stmt.get())) && sqlite3_changes(db_.get()) == 0) {
      return kStatusNoRowsProcessed;
    }
    return 0;
  }

  int Commit() override {
    if (!db_) return Fail(SQLITE_MISUSE, "nicht verbunden");
    if (sqlite3_get_autocommit(db_.get()) != 0) return 0;
    return Run("COMMIT");
  }

  int Rollback() override {
    if (!db_ || sqlite3_get_autocommit(db_.get()) != 0) return 0;
    return Run("ROLLBACK");
  }

  [[nodiscard]] std::string LastMessage() const override { return message_; }

 private:
  static int Length(std::string_view text) {
    return text.size() > static_cast<std::size_t>(INT32_MAX) ? -1 : static_cast<int>(text.size());
  }

  // Whether the rest after the first statement holds a statement too; blanks,
  // comments and empty statements (";") do not count.
  bool HoldsAnotherStatement(std::string_view rest) {
    while (!rest.empty()) {
      const char* tail = nullptr;
      sqlite3_stmt* raw = nullptr;
      const int rc = sqlite3_prepare_v2(db_.get(), rest.data(), Length(rest), &raw, &tail);
      StatementPtr stmt(raw);
      if (rc != SQLITE_OK || stmt) return true;
      const auto used = tail == nullptr ? 0 : static_cast<std::size_t>(tail - rest.data());
      if (used == 0) return true;  // nothing SQLite can read, a zero byte say: refuse
      rest.remove_prefix(used);
    }
    return false;
  }

  int Run(const char* sql) {
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK) return Fail(db_.get());
    return 0;
  }

  int Fail(sqlite3* db) {
    message_ = ErrorText(db, "");
    return StatusFromResult(sqlite3_extended_errcode(db));
  }

  int Fail(int code, const char* message) {
    message_ = message;
    return StatusFromResult(code);
  }

  DatabasePtr db_;
  std::string message_;
};

}  // namespace

std::unique_ptr<Session> MakeSession() { return std::make_unique<SqliteSession>(); }

}  // namespace kolvadex::db::sqlite
