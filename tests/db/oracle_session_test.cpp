// The Oracle session on its own, against the stand-in client library, for what
// a run of the tool never does: dropping a session with uncommitted work,
// calling it before it is connected, connecting twice. The stand-in is found
// below $ORACLE_HOME, which the session reads when it connects.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "db/oracle/errors.h"
#include "db/session.h"
#include "support/sqlite_fixture.h"
#include "support/temp_dir.h"

namespace kolvadex::testing {
namespace {

class OracleSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = dir_.File("server.db");
    ExecSql(server_,
            "CREATE TABLE T (ID INTEGER PRIMARY KEY, A INTEGER NOT NULL);"
            "INSERT INTO T VALUES (1, 0);");
    dir_.Write("standin.conf",
               "service=QV\nuser=batch\npassword=secret\nschema=RARAZOVE\n"
               "database=" +
                   server_ + "\njournal=" + dir_.File("journal.txt") + "\n");
    std::filesystem::create_directory(dir_.File("lib"));
    std::filesystem::create_symlink(std::string(KOLVADEX_OCI_STANDIN_DIR) + "/libclntsh.so",
                                    dir_.File("lib/libclntsh.so"));
    setenv("ORACLE_HOME", dir_.path().c_str(), 1);
    setenv("KOLVADEX_OCI_STANDIN", dir_.File("standin.conf").c_str(), 1);
  }

  void TearDown() override {
    unsetenv("ORACLE_HOME");
    unsetenv("KOLVADEX_OCI_STANDIN");
  }

  [[nodiscard]] std::string Journal() const {
    std::ifstream in(dir_.File("journal.txt"));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::string A() { return QueryValue(server_, "SELECT A FROM T WHERE ID = 1"); }

  static constexpr db::ConnectParams kParams{"batch", "secret", "QV"};

  TempDir dir_;
  std::string server_;
};

TEST_F(OracleSessionTest, UncommittedWorkIsRolledBackWhenTheSessionGoesAway) {
  {
    const std::unique_ptr<db::Session> session = db::OpenSession("ORACLE");
    ASSERT_EQ(db::dbConnect(*session, kParams, "RARAZOVE"), 0) << session->LastMessage();
    ASSERT_EQ(session->Execute("UPDATE T SET A = 1"), 0) << session->LastMessage();
  }
  // Ending an Oracle session commits; the session must roll back first.
  EXPECT_EQ(A(), "0");
  const std::string journal = Journal();
  const std::size_t rollback = journal.find("OCITransRollback");
  ASSERT_NE(rollback, std::string::npos) << journal;
  EXPECT_LT(rollback, journal.find("OCISessionEnd"));
  EXPECT_EQ(journal.find("committed"), std::string::npos) << journal;
  EXPECT_NE(journal.find("OCIHandleFree env1 ENV -> OCI_SUCCESS left=none"), std::string::npos);
}

TEST_F(OracleSessionTest, CommittedWorkStaysAndNothingIsRolledBack) {
  {
    const std::unique_ptr<db::Session> session = db::OpenSession("oracle");
    ASSERT_EQ(db::dbConnect(*session, kParams, "RARAZOVE"), 0) << session->LastMessage();
    ASSERT_EQ(session->Execute("UPDATE T SET A = 2"), 0);
    ASSERT_EQ(db::dbCommit(*session), 0);
  }
  EXPECT_EQ(A(), "2");
  EXPECT_EQ(Journal().find("OCITransRollback"), std::string::npos) << Journal();
}

TEST_F(OracleSessionTest, CallsBeforeConnectingAreRefused) {
  const std::unique_ptr<db::Session> session = db::OpenSession("ORACLE");
  EXPECT_EQ(session->Execute("UPDATE T SET A = 3"), db::oracle::kStatusNotConnected);
  EXPECT_EQ(session->LastMessage(), "keine Verbindung zur Oracle-Datenbank");
  EXPECT_EQ(session->SwitchSchema("RARAZOVE"), db::oracle::kStatusNotConnected);
  EXPECT_EQ(session->Commit(), db::oracle::kStatusNotConnected);
  EXPECT_EQ(session->Rollback(), 0);
  // A failed connect leaves the session unconnected too.
  EXPECT_EQ(session->Connect({"batch", "wrong", "QV"}), -1017);
  EXPECT_EQ(session->Execute("UPDATE T SET A = 3"), db::oracle::kStatusNotConnected);
  EXPECT_EQ(A(), "0");
}

TEST_F(OracleSessionTest, ConnectingAgainReleasesTheFirstSession) {
  const std::unique_ptr<db::Session> session = db::OpenSession("ORACLE");
  ASSERT_EQ(session->Connect(kParams), 0);
  ASSERT_EQ(session->Execute("UPDATE T SET A = 4"), 0);
  ASSERT_EQ(session->Connect(kParams), 0);
  // The first session's work was rolled back and its handles freed.
  EXPECT_EQ(A(), "0");
  const std::string journal = Journal();
  EXPECT_NE(journal.find("OCIHandleFree env1 ENV -> OCI_SUCCESS left=none"), std::string::npos)
      << journal;
  EXPECT_NE(journal.find("OCIEnvCreate mode=0 -> OCI_SUCCESS env1\n", journal.find("env1 ENV")),
            std::string::npos)
      << journal;
}

TEST_F(OracleSessionTest, MessagesAreOneLine) {
  const std::unique_ptr<db::Session> session = db::OpenSession("ORACLE");
  ASSERT_EQ(db::dbConnect(*session, kParams, "RARAZOVE"), 0);
  EXPECT_EQ(session->Execute("UPDATE T SET NOPE = 1"), -904);
  EXPECT_EQ(session->LastMessage(), "ORA-00904: \"NOPE\": invalid identifier");
  EXPECT_EQ(session->Execute("UPDATE T SET A = 5 WHERE ID = 2"), db::kStatusNoRowsProcessed);
  EXPECT_EQ(session->Execute("DELETE FROM T WHERE ID = 1"), 0);
  EXPECT_EQ(session->Execute("FROBNICATE T"), -900);
  EXPECT_EQ(session->LastMessage(), "ORA-00900: invalid SQL statement");
}

}  // namespace
}  // namespace kolvadex::testing
