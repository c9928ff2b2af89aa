#include "db/session.h"

namespace kolvadex::db {

int dbConnect(Session& session, const ConnectParams& params, std::string_view schema) {
  const int status = session.Connect(params);
  if (status != 0) return status;
  return session.SwitchSchema(schema);
}

int dbExecute(Session& session, std::string_view statement) { return session.Execute(statement); }

int dbCommit(Session& session) { return session.Commit(); }

int dbRollback(Session& session) { return session.Rollback(); }

}  // namespace kolvadex::db
