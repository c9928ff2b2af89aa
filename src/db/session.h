// Database session: the one interface through which the tool talks to a
// database, whatever the backend.
//
// A Session owns one connection and every native handle that belongs to it;
// destroying it rolls back what was not committed, logs off and releases the
// handles (and, for a backend loaded at run time, the library after them).
//
// Statuses follow the Oracle precompiler runtime's sqlcode, whatever the
// backend, so that batch jobs and their logs read the same everywhere:
//   0                      success (also a success that carries information);
//   negative               an error; the backend's native code, translated in
//                          one place per backend;
//   kStatusNoRowsProcessed an UPDATE, DELETE, INSERT or MERGE that processed no
//                          row; a success all the same.
// After a non-zero status, LastMessage() gives the database's own text on one
// line (never a password); it is empty when there is none.
#ifndef KOLVADEX_DB_SESSION_H_
#define KOLVADEX_DB_SESSION_H_

#include <memory>
#include <string>
#include <string_view>

namespace kolvadex::db {

// Oracle's "no data found", reported when a row-changing statement changed no row.
inline constexpr int kStatusNoRowsProcessed = 1403;

// The backend cannot be used at all on this machine (its client library is
// missing or unusable). No database uses this number as an error.
// LastMessage() then holds a German line that the driver always prints.
inline constexpr int kStatusBackendUnavailable = -100000;

struct ConnectParams {
  std::string_view user;
  std::string_view password;
  std::string_view service;
};

class Session {
 public:
  Session() = default;
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  virtual ~Session() = default;

  // Opens the connection. Returns 0, or a negative status.
  virtual int Connect(const ConnectParams& params) = 0;
  // Makes `schema` the default schema of the session. Returns 0, or a negative
  // status (a schema that does not exist is an error).
  virtual int SwitchSchema(std::string_view schema) = 0;
  // Runs one statement inside a transaction that Commit or Rollback ends.
  // Returns 0, kStatusNoRowsProcessed, or a negative status.
  virtual int Execute(std::string_view statement) = 0;
  virtual int Commit() = 0;
  virtual int Rollback() = 0;
  // The database's message for the latest non-zero status, on one line.
  [[nodiscard]] virtual std::string LastMessage() const = 0;
};

// Chooses the backend from the database system name (ASCII case ignored):
// "SQLITE" -> SQLite, "POSTGRESQL" -> PostgreSQL, anything else -> Oracle.
// Never fails: a backend that cannot be used reports kStatusBackendUnavailable
// from Connect.
std::unique_ptr<Session> OpenSession(std::string_view database_system);

// The operations of one run, as the driver calls them.
// dbConnect connects and switches to the schema; it returns the first non-zero
// status, and does not switch the schema when the connection failed.
int dbConnect(Session& session, const ConnectParams& params, std::string_view schema);
int dbExecute(Session& session, std::string_view statement);
// Returns 0 when the commit succeeded, else its status.
int dbCommit(Session& session);
int dbRollback(Session& session);

}  // namespace kolvadex::db

#endif  // KOLVADEX_DB_SESSION_H_
