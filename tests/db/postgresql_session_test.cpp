// The PostgreSQL session against the test run's server, below the driver:
// loading libpq, the schema switch, transactions and failures that the
// command line cannot provoke.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/postgresql/session.h"
#include "db/session.h"
#include "support/pg_fixture.h"

namespace kolvadex::db::postgresql {
namespace {

using testing::PgExec;
using testing::PgQueryValue;
using testing::TestServer;

std::unique_ptr<Session> Connected(const std::string& service_extra = "") {
  std::unique_ptr<Session> session = MakeSession();
  const testing::PgServer& server = TestServer();
  const std::string service = server.Service() + service_extra;
  const int status = session->Connect({server.user, server.password, service});
  EXPECT_EQ(status, 0) << session->LastMessage();
  return session;
}

TEST(PostgresqlSessionTest, MissingLibraryMakesTheBackendUnavailable) {
  const std::unique_ptr<Session> session = MakeSession("libpq-not-installed.so.5");
  EXPECT_EQ(session->Connect({"u", "p", "db"}), kStatusBackendUnavailable);
  const std::string message = session->LastMessage();
  EXPECT_TRUE(
      message.starts_with("PostgreSQL-Clientbibliothek libpq-not-installed.so.5 kann "
                          "nicht geladen werden: "))
      << message;
  EXPECT_NE(message.find("libpq-not-installed.so.5: cannot open shared object file"),
            std::string::npos)
      << message;
  EXPECT_EQ(message.find('\n'), std::string::npos);
  // Nothing else works, nothing crashes.
  EXPECT_LT(session->SwitchSchema("RARAZOVE"), 0);
  EXPECT_LT(session->Execute("UPDATE T SET X = 1"), 0);
  EXPECT_LT(session->Commit(), 0);
  EXPECT_EQ(session->Rollback(), 0);
}

TEST(PostgresqlSessionTest, LibraryWithoutLibpqFunctionsIsRefused) {
  const std::unique_ptr<Session> session = MakeSession("libsqlite3.so.0");
  EXPECT_EQ(session->Connect({"u", "p", "db"}), kStatusBackendUnavailable);
  EXPECT_EQ(session->LastMessage(),
            "PostgreSQL-Clientbibliothek libsqlite3.so.0 kann nicht geladen werden: die Funktion "
            "PQconnectdbParams fehlt");
}

TEST(PostgresqlSessionTest, SchemaIsFoundAsGivenFirstThenInLowerCase) {
  PgExec(
      "DROP SCHEMA IF EXISTS \"KvxExact\", kvxexact, kvxlower CASCADE;"
      "CREATE SCHEMA \"KvxExact\"; CREATE SCHEMA kvxexact; CREATE SCHEMA kvxlower;"
      "CREATE TABLE \"KvxExact\".marker (hits INTEGER); INSERT INTO \"KvxExact\".marker VALUES (0);"
      "CREATE TABLE kvxexact.marker (hits INTEGER); INSERT INTO kvxexact.marker VALUES (0);"
      "CREATE TABLE kvxlower.marker (hits INTEGER); INSERT INTO kvxlower.marker VALUES (0);"
      "DROP TABLE IF EXISTS public.kvx_public_only;"
      "CREATE TABLE public.kvx_public_only (hits INTEGER); "
      "INSERT INTO public.kvx_public_only VALUES (0);");
  for (const char* schema : {"KvxExact", "KVXLOWER", "kvxlower"}) {
    SCOPED_TRACE(schema);
    const std::unique_ptr<Session> session = Connected();
    ASSERT_EQ(session->SwitchSchema(schema), 0) << session->LastMessage();
    EXPECT_EQ(session->Execute("UPDATE marker SET hits = hits + 1"), 0) << session->LastMessage();
    // The session's earlier search path stays behind the schema.
    EXPECT_EQ(session->Execute("UPDATE kvx_public_only SET hits = hits + 1"), 0)
        << session->LastMessage();
    EXPECT_EQ(session->Commit(), 0) << session->LastMessage();
  }
  EXPECT_EQ(PgQueryValue("SELECT hits FROM \"KvxExact\".marker"), "1");
  EXPECT_EQ(PgQueryValue("SELECT hits FROM kvxexact.marker"), "0");
  EXPECT_EQ(PgQueryValue("SELECT hits FROM kvxlower.marker"), "2");
  EXPECT_EQ(PgQueryValue("SELECT hits FROM public.kvx_public_only"), "3");
}

TEST(PostgresqlSessionTest, SchemaNameIsNeverSqlText) {
  for (const char* schema :
       {"rarazove\"; DROP SCHEMA rarazove CASCADE; --", "rarazove, public", "", "pg_catalog'"}) {
    SCOPED_TRACE(schema);
    const std::unique_ptr<Session> session = Connected();
    EXPECT_EQ(session->SwitchSchema(schema), -400);
    EXPECT_TRUE(session->LastMessage().starts_with("SQLSTATE 3F000: Schema \""))
        << session->LastMessage();
  }
  EXPECT_EQ(PgQueryValue("SELECT count(*) FROM pg_namespace WHERE nspname = 'rarazove'"), "1");
}

TEST(PostgresqlSessionTest, TextsThatAreNotOneStatementAreRefused) {
  const std::unique_ptr<Session> session = Connected();
  EXPECT_EQ(session->Execute(""), -400);
  EXPECT_EQ(session->LastMessage(), "der Text enthaelt keine SQL-Anweisung");
  EXPECT_EQ(session->Execute("  -- nur ein Kommentar"), -400);
  EXPECT_EQ(session->Execute(std::string("SELECT 1\0; DROP TABLE x", 23)), -400);
  EXPECT_EQ(session->LastMessage(), "die Anweisung enthaelt ein Nullzeichen");
  EXPECT_EQ(session->Rollback(), 0);
}

TEST(PostgresqlSessionTest, RollbackAndClosingDiscardTheWork) {
  PgExec(
      "DROP TABLE IF EXISTS rarazove.kvx_discard;"
      "CREATE TABLE rarazove.kvx_discard (hits INTEGER); "
      "INSERT INTO rarazove.kvx_discard VALUES (0);");
  {
    const std::unique_ptr<Session> session = Connected();
    ASSERT_EQ(session->SwitchSchema("RARAZOVE"), 0);
    EXPECT_EQ(session->Commit(), 0);  // nothing to commit yet
    EXPECT_EQ(session->Execute("UPDATE kvx_discard SET hits = hits + 1"), 0);
    EXPECT_EQ(session->Rollback(), 0);
    EXPECT_EQ(session->Rollback(), 0);
    EXPECT_EQ(session->Execute("UPDATE kvx_discard SET hits = hits + 10"), 0);
    // Neither committed nor rolled back: closing the session discards it.
  }
  EXPECT_EQ(PgQueryValue("SELECT hits FROM rarazove.kvx_discard"), "0");
}

TEST(PostgresqlSessionTest, CommitAfterAFailedStatementIsNoSuccess) {
  const std::unique_ptr<Session> session = Connected();
  ASSERT_EQ(session->SwitchSchema("RARAZOVE"), 0);
  EXPECT_EQ(session->Execute("UPDATE no_such_table SET x = 1"), -400);
  EXPECT_EQ(session->Commit(), -400);
  EXPECT_EQ(session->LastMessage(),
            "SQLSTATE 25P02: die Transaktion war fehlgeschlagen und wurde zurueckgerollt");
  // The session is usable again.
  EXPECT_EQ(session->Execute("SELECT 1"), 0);
  EXPECT_EQ(session->Commit(), 0);
}

TEST(PostgresqlSessionTest, LostConnectionIsAnErrorNotACrash) {
  const std::unique_ptr<Session> session = Connected(" application_name=kvx_lost_connection");
  ASSERT_EQ(session->SwitchSchema("RARAZOVE"), 0);
  PgExec(
      "SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
      " WHERE application_name = 'kvx_lost_connection'",
      true);
  EXPECT_EQ(session->Execute("SELECT 1"), -400);
  EXPECT_FALSE(session->LastMessage().empty());
  EXPECT_EQ(session->LastMessage().find('\n'), std::string::npos);
  EXPECT_LT(session->Commit(), 0);
  session->Rollback();
}

TEST(PostgresqlSessionTest, ConnectAgainReplacesTheConnection) {
  const std::unique_ptr<Session> session = MakeSession();
  const testing::PgServer& server = TestServer();
  EXPECT_EQ(session->Connect({server.user, std::string_view("pw\0x", 4), server.Service()}), -402);
  EXPECT_EQ(session->LastMessage(), "die Verbindungsdaten enthalten ein Nullzeichen");
  EXPECT_EQ(session->Connect({server.user, "wrong", server.Service()}), -402);
  EXPECT_EQ(session->Execute("SELECT 1"), -400);
  EXPECT_EQ(session->LastMessage(), "keine Verbindung zur Datenbank");
  EXPECT_EQ(session->Connect({server.user, server.password, server.Service()}), 0)
      << session->LastMessage();
  EXPECT_EQ(session->Execute("SELECT 1"), 0);
  EXPECT_EQ(session->Commit(), 0);
}

}  // namespace
}  // namespace kolvadex::db::postgresql
