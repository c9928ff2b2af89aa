// End to end on SQLite: the built kolvadex runs as a process in a temporary
// working folder with a real database file, credential file and statement file.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run/command_line.h"
#include "support/process.h"
#include "support/sqlite_fixture.h"
#include "support/temp_dir.h"

namespace kolvadex::testing {
namespace {

class SqliteRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.File("app.db");
    ExecSql(db_,
            "CREATE TABLE TERM (ID INTEGER PRIMARY KEY, NAME TEXT NOT NULL UNIQUE, STATE TEXT);"
            "INSERT INTO TERM VALUES (1, 'alpha', 'open'), (2, 'beta', 'open');");
    WriteCredentials({db_, "scott", "tiger", "SQLITE"});
    dir_.Write("KOLVADEX.SQLITE.INI",
               "; statements of the batch jobs\n"
               "[CLOSE]\n"
               "SQL001=UPDATE TERM SET STATE = 'closed'\n"
               "SQL002=WHERE NAME = '$parm01'\n"
               "[RENAME]\n"
               "SQL001=UPDATE TERM SET NAME = '$parm02', STATE = '$parm02'\n"
               "SQL002=WHERE ID = $parm01\n"
               "[BROKEN]\n"
               "SQL001=UPDATE NO_SUCH_TABLE SET X = 1\n"
               "[DUPLICATE]\n"
               "SQL001=UPDATE TERM SET NAME = 'beta' WHERE ID = 1\n"
               "[TWO]\n"
               "SQL001=UPDATE TERM SET STATE = 'first' WHERE ID = 1;\n"
               "SQL002=UPDATE TERM SET STATE = 'second' WHERE ID = 2\n"
               "[SEMICOLON]\n"
               "SQL001=UPDATE TERM SET STATE = 'done' WHERE ID = $parm01;\n");
  }

  void WriteCredentials(const Credentials& credentials) {
    dir_.Write("QV.INI", CredentialFileText(credentials));
  }

  ProcessResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), KOLVADEX_BINARY);
    ProcessOptions options;
    options.working_dir = dir_.path();
    return RunProcess(args, options);
  }

  std::string State(int id) {
    return QueryValue(db_, "SELECT STATE FROM TERM WHERE ID = " + std::to_string(id));
  }

  TempDir dir_;
  std::string db_;
};

TEST_F(SqliteRunTest, TooFewArgumentsPrintHeaderAndUsage) {
  std::ostringstream expected;
  PrintHeader(expected);
  expected << "Falsche Anzahl Parameter\n\n";
  PrintUsage(expected);
  const ProcessResult result = Run({"CLOSE", "QV.INI"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.out, expected.str());
  EXPECT_EQ(result.err, "");
}

TEST_F(SqliteRunTest, SuccessfulRunPrintsNothing) {
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha"});
  EXPECT_EQ(result.exit_status, 58);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(State(1), "closed");
  EXPECT_EQ(State(2), "open");
}

TEST_F(SqliteRunTest, SuccessfulRunWithTrace) {
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha", "/D"});
  EXPECT_EQ(result.exit_status, 58);
  EXPECT_EQ(result.out,
            " Parm = 'alpha'\n"
            "\n DB-Informationen:\n"
            "  DbSys    = 'SQLITE'\n"
            "  DbName   = '" + db_ + "'\n"
            "  Benutzer = 'scott'\n"
            "  Passwort = '********'\n"
            "\nStr GetIniValues\n"
            "  >>>>> SQL-Statement <<<<<\n"
            "\n SQL-Fehler : 0\n");
  EXPECT_EQ(State(1), "closed");
}

TEST_F(SqliteRunTest, EmptyPasswordIsShownEmpty) {
  WriteCredentials({db_, "", "", "sqlite"});
  const ProcessResult result = Run({"CLOSE", "QV.INI", "/d", "beta"});
  EXPECT_EQ(result.exit_status, 58);
  EXPECT_NE(result.out.find("  Benutzer = ''\n  Passwort = ''\n"), std::string::npos);
  EXPECT_EQ(State(2), "closed");
}

TEST_F(SqliteRunTest, NoRowProcessedIsACompletedRun) {
  const ProcessResult result = Run({"CLOSE", "QV.INI", "gamma", "/D"});
  EXPECT_EQ(result.exit_status, 58);
  EXPECT_TRUE(result.out.ends_with("\n SQL-Fehler : 1403\n")) << result.out;
}

TEST_F(SqliteRunTest, MissingSectionEndsWithStatus3) {
  EXPECT_EQ(Run({"NOSUCH", "QV.INI", "x"}).exit_status, 3);
  const ProcessResult quiet = Run({"NOSUCH", "QV.INI", "x"});
  EXPECT_EQ(quiet.exit_status, 3);
  EXPECT_EQ(quiet.out, "");
  const ProcessResult traced = Run({"NOSUCH", "QV.INI", "/D"});
  EXPECT_EQ(traced.exit_status, 3);
  EXPECT_TRUE(traced.out.ends_with("\nStr GetIniValues\n")) << traced.out;
}

TEST_F(SqliteRunTest, ZeroByteInTheStatementChangesNothing) {
  // SQLite would read the statement only up to the zero byte, without its
  // WHERE clause.
  using namespace std::string_literals;
  dir_.Write(
      "KOLVADEX.SQLITE.INI",
      "[CLOSE]\nSQL001=UPDATE TERM SET STATE = 'closed' \0\nSQL002=WHERE NAME = '$parm01'\n"s);
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha"});
  EXPECT_EQ(result.exit_status, 3);
  EXPECT_EQ(result.out,
            "Anweisung der Sektion 'CLOSE' in KOLVADEX.SQLITE.INI enthaelt ein Nullbyte und wird "
            "nicht ausgefuehrt\n");
  EXPECT_EQ(State(1), "open");
  EXPECT_EQ(State(2), "open");
}

TEST_F(SqliteRunTest, RejectedStatementRollsBackWithStatus4) {
  const ProcessResult result = Run({"BROKEN", "QV.INI", "x"});
  EXPECT_EQ(result.exit_status, 4);
  EXPECT_EQ(result.out, "\n SQL-Fehler : -1\n");

  const ProcessResult traced = Run({"DUPLICATE", "QV.INI", "x", "/D"});
  EXPECT_EQ(traced.exit_status, 4);
  EXPECT_TRUE(traced.out.ends_with("\n SQL-Fehler : -2067\n"
                                   " Datenbankmeldung: UNIQUE constraint failed: TERM.NAME\n"))
      << traced.out;
  EXPECT_EQ(QueryValue(db_, "SELECT NAME FROM TERM WHERE ID = 1"), "alpha");
}

TEST_F(SqliteRunTest, MoreThanOneStatementIsRefusedWhole) {
  const ProcessResult result = Run({"TWO", "QV.INI", "x"});
  EXPECT_EQ(result.exit_status, 4);
  EXPECT_EQ(result.out, "\n SQL-Fehler : -1\n");
  EXPECT_EQ(State(1), "open");
  EXPECT_EQ(State(2), "open");
  // A single trailing ";" is one statement.
  EXPECT_EQ(Run({"SEMICOLON", "QV.INI", "2"}).exit_status, 58);
  EXPECT_EQ(State(2), "done");
}

TEST_F(SqliteRunTest, PlaceholdersInQuotesAndRepeated) {
  const ProcessResult result = Run({"RENAME", "QV.INI", "2", "it's"});
  // The parameter is SQL text: its quote ends the literal, and the statement fails.
  EXPECT_EQ(result.exit_status, 4);
  EXPECT_EQ(Run({"RENAME", "QV.INI", "2", "gamma"}).exit_status, 58);
  EXPECT_EQ(QueryValue(db_, "SELECT NAME || '/' || STATE FROM TERM WHERE ID = 2"),
            "gamma/$parm02");
}

TEST_F(SqliteRunTest, MissingDatabaseFileFailsTheConnect) {
  WriteCredentials({dir_.File("missing.db"), "scott", "tiger", "SQLITE"});
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, "dbConnect_Status: -14\n");
  EXPECT_FALSE(std::ifstream(dir_.File("missing.db")).good());
}

TEST_F(SqliteRunTest, MissingCredentialFileLeavesEverythingEmpty) {
  const ProcessResult result = Run({"CLOSE", "NOSUCH.INI", "alpha", "/D"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_NE(result.out.find("  DbSys    = ''\n  DbName   = ''\n"), std::string::npos);
  EXPECT_NE(result.out.find("dbConnect_Status: "), std::string::npos);
}

TEST_F(SqliteRunTest, ValueThatIsNotCipherTextIsNamed) {
  std::string text = CredentialFileText({db_, "scott", "tiger", "SQLITE"});
  text.replace(text.find(";LOGIN;") + 7, 3, "XYZ");
  dir_.Write("QV.INI", text);
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha"});
  EXPECT_EQ(result.out,
            "Wert zu LOGIN in QV.INI ist kein gueltiger Hex-Text (ganze Gruppen zu 16 Ziffern)\n");
  EXPECT_EQ(result.exit_status, 58);  // SQLite does not use the user name
}

TEST_F(SqliteRunTest, DatabaseSystemInAnyCase) {
  // As on Windows, the statement file's name is found whatever the case of the
  // database system.
  WriteCredentials({db_, "", "", "sqlite"});
  EXPECT_EQ(Run({"CLOSE", "QV.INI", "alpha"}).exit_status, 58);
  EXPECT_EQ(State(1), "closed");
}

}  // namespace
}  // namespace kolvadex::testing
