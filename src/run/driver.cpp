#include "run/driver.h"

#include <memory>

#include "common/text_file.h"
#include "credentials/credential_file.h"
#include "db/service_display.h"
#include "db/session.h"
#include "run/command_line.h"
#include "run/exit_status.h"
#include "run/run_state.h"
#include "statement/statement_reader.h"
#include "statement/substitution.h"

namespace kolvadex {
namespace {

// Reads the four connection values. A key whose value is not cipher text gets
// an empty value and one line naming the key and the file.
void ReadCredentials(RunState& state, ConsoleOut out) {
  const TextFile file = ReadTextFile(state.credential_file);
  const auto lookup = [&](std::string_view key) {
    credentials::DbValue answer = credentials::GetDbValue(file.text, "", key, 0);
    if (answer.outcome == credentials::DbValue::Outcome::kBadValue) {
      out << "Wert zu " << key << " in " << state.credential_file
          << " ist kein gueltiger Hex-Text (ganze Gruppen zu 16 Ziffern)\n";
    }
    return std::move(answer.value);
  };
  state.database_name = lookup("NET8").view();
  state.user_name = lookup("LOGIN").view();
  state.password = lookup("PASS");
  state.database_system = lookup("DB_SYSTEM").view();
}

void TraceCredentials(const RunState& state, ConsoleOut out) {
  out << "\n DB-Informationen:\n"
      << "  DbSys    = '" << state.database_system << "'\n"
      << "  DbName   = '" << db::ServiceForDisplay(state.database_name) << "'\n"
      << "  Benutzer = '" << state.user_name << "'\n"
      << "  Passwort = '" << (state.password.empty() ? "" : "********") << "'\n";
}

// With the trace switch, the database's own text for a failed operation.
void TraceDatabaseMessage(const RunState& state, const db::Session& session, ConsoleOut out) {
  if (!state.trace) return;
  const std::string message = session.LastMessage();
  if (!message.empty()) out << " Datenbankmeldung: " << message << "\n";
}

}  // namespace

int RunTool(std::span<const std::string_view> args, ConsoleOut out) {
  RunState state;
  if (CheckArguments(args, state, out) != 0) return kExitUsage;

  ReadCredentials(state, out);
  if (state.trace) TraceCredentials(state, out);

  const std::unique_ptr<db::Session> session = db::OpenSession(state.database_system);
  const db::ConnectParams params{state.user_name, state.password.view(), state.database_name};
  state.status = db::dbConnect(*session, params, kApplicationSchema);
  if (state.status == db::kStatusBackendUnavailable) {
    // Why the backend cannot be used, whether tracing or not, before the status line.
    const std::string notice = session->LastMessage();
    if (!notice.empty()) out << notice << "\n";
    out << "dbConnect_Status: " << state.status << "\n";
    return kExitConnectFailed;
  }
  if (state.status != 0) {
    out << "dbConnect_Status: " << state.status << "\n";
    TraceDatabaseMessage(state, *session, out);
    return kExitConnectFailed;
  }

  if (statement::GetIniValues(state, out) != 0) return kExitNoStatement;
  statement::ReplaceParameters(state.statement_text, state.parameters);

  state.status = db::dbExecute(*session, state.statement_text);
  if (state.status < 0) {
    db::dbRollback(*session);
    out << "\n SQL-Fehler : " << state.status << "\n";
    TraceDatabaseMessage(state, *session, out);
    return kExitStatementFailed;
  }
  if (state.trace) out << "\n SQL-Fehler : " << state.status << "\n";

  state.status = db::dbCommit(*session);
  if (state.status != 0) {
    out << "dbCommit_Status: " << state.status << "\n";
    TraceDatabaseMessage(state, *session, out);
    db::dbRollback(*session);
    return kExitStatementFailed;
  }
  return kExitCompleted;
}

}  // namespace kolvadex
