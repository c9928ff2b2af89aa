// Faults on the SQLite backend: each run checks the exit status, the console
// lines and that the database holds no partial change.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "statement/substitution.h"
#include "support/process.h"
#include "support/sqlite_fixture.h"
#include "support/temp_dir.h"

namespace kolvadex::testing {
namespace {

class SqliteFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.File("app.db");
    ExecSql(db_,
            "CREATE TABLE T (ID INTEGER PRIMARY KEY, A INTEGER NOT NULL, TXT TEXT);"
            "INSERT INTO T (ID, A) VALUES (1, 0), (2, 0);");
    dir_.Write("QV.INI", CredentialFileText({db_, "", "", "SQLITE"}));
    WriteStatements("[INC]\nSQL001=UPDATE T SET A = A + 1 WHERE ID = $parm01\n");
  }

  void WriteStatements(const std::string& text) { dir_.Write("KOLVADEX.SQLITE.INI", text); }

  ProcessResult Run(std::vector<std::string> args, ProcessOptions options = {}) {
    args.insert(args.begin(), KOLVADEX_BINARY);
    options.working_dir = dir_.path();
    return RunProcess(args, options);
  }

  std::string A(int id) { return QueryValue(db_, "SELECT A FROM T WHERE ID = " + std::to_string(id)); }

  TempDir dir_;
  std::string db_;
};

TEST_F(SqliteFaultTest, CredentialFileThatIsADirectoryReadsAsEmpty) {
  std::filesystem::create_directory(dir_.File("CRED.DIR"));
  const ProcessResult result = Run({"INC", "CRED.DIR", "1"});
  EXPECT_EQ(result.exit_status, 0);
  // No database system: the Oracle backend is chosen, with an empty connect.
  EXPECT_NE(result.out.find("dbConnect_Status: "), std::string::npos);
  EXPECT_EQ(A(1), "0");
}

TEST_F(SqliteFaultTest, UnreadableFilesAsAnUnprivilegedUser) {
  dir_.OpenToEveryone();
  ProcessOptions as_nobody;
  as_nobody.unprivileged = true;
  ASSERT_EQ(Run({"INC", "QV.INI", "1"}, as_nobody).exit_status, 58);
  ASSERT_EQ(A(1), "1");

  // Credential file unreadable: every value empty, the connect fails.
  chmod(dir_.File("QV.INI").c_str(), 0);
  ProcessResult result = Run({"INC", "QV.INI", "1"}, as_nobody);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_NE(result.out.find("dbConnect_Status: "), std::string::npos);
  chmod(dir_.File("QV.INI").c_str(), 0644);

  // Statement file unreadable: one line, status 3.
  chmod(dir_.File("KOLVADEX.SQLITE.INI").c_str(), 0);
  result = Run({"INC", "QV.INI", "1"}, as_nobody);
  EXPECT_EQ(result.exit_status, 3);
  EXPECT_EQ(result.out, "Anweisungsdatei KOLVADEX.SQLITE.INI kann nicht gelesen werden\n");
  chmod(dir_.File("KOLVADEX.SQLITE.INI").c_str(), 0644);

  // Read-only database: the statement fails, nothing changes.
  chmod(db_.c_str(), 0444);
  result = Run({"INC", "QV.INI", "1"}, as_nobody);
  EXPECT_EQ(result.exit_status, 4);
  EXPECT_EQ(result.out, "\n SQL-Fehler : -8\n");
  EXPECT_EQ(A(1), "1");
}

TEST_F(SqliteFaultTest, HugeInputsAreHandledWhole) {
  // A statement file of 50 MB: the wanted section comes last.
  {
    std::ofstream file(dir_.File("KOLVADEX.SQLITE.INI"), std::ios::binary);
    const std::string line = "SQL001=UPDATE T SET TXT = '" + std::string(1000, 'x') + "'\n";
    for (int section = 0; section < 50 * 1000; ++section) {
      file << "[S" << section << "]\n" << line;
    }
    file << "[INC]\nSQL001=UPDATE T SET A = A + 1\nSQL002=WHERE ID = $parm01\n";
  }
  // A credential file of 100,000 records, the answering ones last.
  {
    std::string text;
    for (int record = 0; record < 100000; ++record) text += "H;OTHER;x\n7;OTHER;0011223344556677\n";
    text += CredentialFileText({db_, "", "", "SQLITE"});
    dir_.Write("QV.INI", text);
  }
  ProcessResult result = Run({"INC", "QV.INI", "1"});
  EXPECT_EQ(result.exit_status, 58) << result.out;
  EXPECT_EQ(A(1), "1");

  // 99 parameters of 10 KB each, all of them in the statement.
  std::string pieces = "[BIG]\nSQL001=UPDATE T SET TXT = '";
  std::vector<std::string> args = {"BIG", "QV.INI"};
  for (int k = 1; k <= 99; ++k) {
    pieces += statement::Placeholder(k);
    args.push_back(std::string(10 * 1024, static_cast<char>('a' + k % 26)));
  }
  pieces += "' WHERE ID = 2\n";
  WriteStatements(pieces);
  result = Run(args);
  EXPECT_EQ(result.exit_status, 58) << result.out;
  EXPECT_EQ(QueryValue(db_, "SELECT length(TXT) FROM T WHERE ID = 2"), std::to_string(99 * 10 * 1024));
}

TEST_F(SqliteFaultTest, LockedDatabaseIsWaitedForThenFailsClearly) {
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db_.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE; UPDATE T SET A = 100 WHERE ID = 2;", nullptr,
                         nullptr, nullptr),
            SQLITE_OK);
  const auto started = std::chrono::steady_clock::now();
  ProcessOptions options;
  options.allow_wrapper = false;
  const ProcessResult result = Run({"INC", "QV.INI", "1", "/D"}, options);
  const auto waited = std::chrono::steady_clock::now() - started;
  sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(holder);

  EXPECT_EQ(result.exit_status, 4);
  EXPECT_NE(result.out.find("\n SQL-Fehler : -5\n Datenbankmeldung: database is locked\n"),
            std::string::npos)
      << result.out;
  EXPECT_GE(waited, std::chrono::seconds(4));
  EXPECT_EQ(A(1), "0");
}

TEST_F(SqliteFaultTest, KilledInTheMiddleOfALongUpdateCommitsNothing) {
  ExecSql(db_,
          "WITH RECURSIVE c(x) AS (SELECT 3 UNION ALL SELECT x + 1 FROM c WHERE x < 1500000) "
          "INSERT INTO T (ID, A) SELECT x, 0 FROM c;");
  WriteStatements("[SLOW]\nSQL001=UPDATE T SET A = A + 1, TXT = hex(randomblob(64))\n");
  ProcessOptions options;
  options.kill_after_ms = 400;
  options.allow_wrapper = false;
  const ProcessResult result = Run({"SLOW", "QV.INI", "x"}, options);
  ASSERT_EQ(result.exit_status, 128 + SIGKILL) << "the update finished before the kill";
  EXPECT_EQ(QueryValue(db_, "SELECT count(*) FROM T WHERE A <> 0 OR TXT IS NOT NULL"), "0");
  EXPECT_EQ(QueryValue(db_, "PRAGMA integrity_check"), "ok");
}

TEST_F(SqliteFaultTest, ClosedOrFullStandardOutputDoesNotChangeTheOutcome) {
  for (const char* output : {kClosedOutput, "/dev/full"}) {
    SCOPED_TRACE(output);
    ProcessOptions options;
    options.output_path = output;
    EXPECT_EQ(Run({"INC", "QV.INI", "1", "/D"}, options).exit_status, 58);
    EXPECT_EQ(Run({"INC", "QV.INI", "1 OR"}, options).exit_status, 4);
  }
  EXPECT_EQ(A(1), "2");
  EXPECT_EQ(QueryValue(db_, "PRAGMA integrity_check"), "ok");
}

}  // namespace
}  // namespace kolvadex::testing
