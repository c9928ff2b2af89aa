// End to end on Oracle: the built kolvadex runs as a process and loads the
// stand-in client library (libclntsh.so of the test tree) through the library
// search path or $ORACLE_HOME/lib, exactly as it loads a real client. The
// stand-in works on a SQLite file and journals every OCI call, so the tests see
// the order of the calls, the handles, commit and rollback, and that the
// password never leaves the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/sqlite_fixture.h"
#include "support/temp_dir.h"

namespace kolvadex::testing {
namespace {

constexpr const char* kService = "dbhost:1521/QVPDB";
constexpr const char* kUser = "batch";
// A slash and an at sign: the old single connect text could not carry them.
constexpr const char* kPassword = "Ge/h3im@QV";

constexpr const char* kNoLibraryPrefix =
    "Oracle-Client-Bibliothek nicht geladen; versucht: libclntsh.so, libclntsh.so.23.1, "
    "libclntsh.so.21.1, libclntsh.so.19.1, libclntsh.so.18.1, libclntsh.so.12.1, "
    "libclntsh.so.11.1 im Suchpfad";

struct ServerConfig {
  std::string service = kService;
  std::string user = kUser;
  std::string password = kPassword;
  std::string external_user;
  std::string schema = "RARAZOVE";
};

class OracleRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = dir_.File("server.db");
    ExecSql(server_,
            "CREATE TABLE TERM (ID INTEGER PRIMARY KEY, NAME TEXT NOT NULL UNIQUE, STATE TEXT);"
            "INSERT INTO TERM VALUES (1, 'alpha', 'open'), (2, 'beta', 'open');");
    Configure({});
    WriteCredentials({kService, kUser, kPassword, "ORACLE"});
    dir_.Write("KOLVADEX.ORACLE.INI",
               "[CLOSE]\n"
               "SQL001=UPDATE TERM SET STATE = 'closed'\n"
               "SQL002=WHERE NAME = '$parm01'\n"
               "[BROKEN]\n"
               "SQL001=UPDATE NO_SUCH_TABLE SET X = 1\n"
               "[DUPLICATE]\n"
               "SQL001=UPDATE TERM SET NAME = 'beta' WHERE ID = 1\n"
               "[SEMICOLON]\n"
               "SQL001=UPDATE TERM SET STATE = 'done' WHERE ID = 1;\n"
               "[QUERY]\n"
               "SQL001=SELECT COUNT(*) FROM TERM\n");
  }

  void Configure(const ServerConfig& config) {
    dir_.Write("standin.conf", "service=" + config.service + "\nuser=" + config.user +
                                   "\npassword=" + config.password +
                                   "\nexternal_user=" + config.external_user +
                                   "\nschema=" + config.schema + "\ndatabase=" + server_ +
                                   "\njournal=" + dir_.File("journal.txt") + "\n");
  }

  void WriteCredentials(const Credentials& credentials) {
    dir_.Write("QV.INI", CredentialFileText(credentials));
  }

  // Runs kolvadex with the library search path and ORACLE_HOME given.
  ProcessResult RunWith(std::vector<std::string> args, const std::string& library_path,
                        const std::string& oracle_home) {
    args.insert(args.begin(), KOLVADEX_BINARY);
    ProcessOptions options;
    options.working_dir = dir_.path();
    options.env = {"LD_LIBRARY_PATH=" + library_path, "ORACLE_HOME=" + oracle_home,
                   "KOLVADEX_OCI_STANDIN=" + dir_.File("standin.conf")};
    return RunProcess(args, options);
  }

  ProcessResult Run(std::vector<std::string> args) {
    return RunWith(std::move(args), KOLVADEX_OCI_STANDIN_DIR, "");
  }

  std::string State(int id) {
    return QueryValue(server_, "SELECT STATE FROM TERM WHERE ID = " + std::to_string(id));
  }

  [[nodiscard]] std::vector<std::string> Journal() const {
    std::ifstream in(dir_.File("journal.txt"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  [[nodiscard]] std::string JournalText() const {
    std::string text;
    for (const std::string& line : Journal()) text += line + "\n";
    return text;
  }

  // The index of the first journal line that starts with `call` and holds
  // `detail`, or -1.
  [[nodiscard]] int Position(const std::string& call, const std::string& detail = "") const {
    const std::vector<std::string> lines = Journal();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].starts_with(call + " ") && lines[i].find(detail) != std::string::npos) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  // Every handle the client handed out was given back, one by one, before the
  // environment was freed last.
  void ExpectEveryHandleReleased() const {
    std::set<std::string> handed_out;
    std::set<std::string> given_back;
    const std::vector<std::string> lines = Journal();
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
      std::istringstream words(line);
      std::string call;
      std::string first;
      words >> call >> first;
      const std::size_t arrow = line.find("-> OCI_SUCCESS ");
      if ((call == "OCIHandleAlloc" || call == "OCIStmtPrepare2" || call == "OCIEnvCreate") &&
          arrow != std::string::npos) {
        handed_out.insert(line.substr(arrow + 15));
      }
      if ((call == "OCIHandleFree" || call == "OCIStmtRelease") &&
          line.find("-> OCI_SUCCESS") != std::string::npos) {
        given_back.insert(first);
      }
    }
    EXPECT_EQ(handed_out, given_back) << JournalText();
    EXPECT_TRUE(lines.back().starts_with("OCIHandleFree env1 ENV -> OCI_SUCCESS left=none"))
        << JournalText();
  }

  void ExpectPasswordNowhere(const ProcessResult& result) const {
    EXPECT_EQ(result.out.find(kPassword), std::string::npos) << result.out;
    EXPECT_EQ(result.err.find(kPassword), std::string::npos) << result.err;
    EXPECT_EQ(JournalText().find(kPassword), std::string::npos) << JournalText();
  }

  TempDir dir_;
  std::string server_;
};

TEST_F(OracleRunTest, SuccessfulRunChangesTheRowAndCommits) {
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha"});
  EXPECT_EQ(result.exit_status, 58);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(State(1), "closed");
  EXPECT_EQ(State(2), "open");

  // User and password reach the client separately, the service unchanged.
  EXPECT_GE(Position("OCIServerAttach", "dblink=\"dbhost:1521/QVPDB\""), 0);
  EXPECT_GE(Position("OCIAttrSet", "USERNAME=\"batch\""), 0);
  EXPECT_GE(Position("OCIAttrSet", "PASSWORD=(10 bytes)"), 0);
  // Logon, schema, statement, commit, logoff, detach: in this order.
  const int logon = Position("OCISessionBegin", "credt=RDBMS mode=0 -> OCI_SUCCESS");
  const int schema = Position("OCIStmtPrepare2", "\"ALTER SESSION SET CURRENT_SCHEMA=RARAZOVE\"");
  const int statement = Position("OCIStmtPrepare2", "UPDATE TERM SET STATE = 'closed'");
  const int execute = Position("OCIStmtExecute", "iters=1 rowoff=0 mode=0 -> OCI_SUCCESS rows=1");
  const int commit = Position("OCITransCommit", "-> OCI_SUCCESS");
  const int logoff = Position("OCISessionEnd", "-> OCI_SUCCESS");
  const int detach = Position("OCIServerDetach", "-> OCI_SUCCESS");
  EXPECT_GE(logon, 0);
  EXPECT_LT(logon, schema);
  EXPECT_LT(schema, statement);
  EXPECT_LT(statement, execute);
  EXPECT_LT(execute, commit);
  EXPECT_LT(commit, logoff);
  EXPECT_LT(logoff, detach);
  EXPECT_EQ(Position("OCITransRollback"), -1);
  // Nothing was left for the end of the session to commit.
  EXPECT_EQ(Position("OCISessionEnd", "committed"), -1);
  ExpectEveryHandleReleased();
  ExpectPasswordNowhere(result);
}

TEST_F(OracleRunTest, SuccessfulRunWithTrace) {
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha", "/D"});
  EXPECT_EQ(result.exit_status, 58);
  EXPECT_EQ(result.out,
            " Parm = 'alpha'\n"
            "\n DB-Informationen:\n"
            "  DbSys    = 'ORACLE'\n"
            "  DbName   = 'dbhost:1521/QVPDB'\n"
            "  Benutzer = 'batch'\n"
            "  Passwort = '********'\n"
            "\nStr GetIniValues\n"
            "  >>>>> SQL-Statement <<<<<\n"
            "\n SQL-Fehler : 0\n");
  ExpectPasswordNowhere(result);
}

TEST_F(OracleRunTest, RefusedConnectEndsWithStatus0) {
  struct Case {
    const char* name;
    Credentials credentials;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"wrong password",
       {kService, kUser, "tiger", "ORACLE"},
       -1017,
       "ORA-01017: invalid username/password; logon denied"},
      {"wrong user",
       {kService, "scott", kPassword, "ORACLE"},
       -1017,
       "ORA-01017: invalid username/password; logon denied"},
      {"no password",
       {kService, kUser, "", "ORACLE"},
       -1005,
       "ORA-01005: null password given; logon denied"},
      {"unknown service",
       {"dbhost:1521/NOPDB", kUser, kPassword, "ORACLE"},
       -12154,
       "ORA-12154: TNS:could not resolve the connect identifier specified"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir_.File("journal.txt"));
    WriteCredentials(c.credentials);
    const std::string status_line = "dbConnect_Status: " + std::to_string(c.status) + "\n";

    const ProcessResult quiet = Run({"CLOSE", "QV.INI", "alpha"});
    EXPECT_EQ(quiet.exit_status, 0);
    EXPECT_EQ(quiet.out, status_line);
    const ProcessResult traced = Run({"CLOSE", "QV.INI", "alpha", "/D"});
    EXPECT_EQ(traced.exit_status, 0);
    EXPECT_TRUE(traced.out.ends_with(status_line + " Datenbankmeldung: " + c.message + "\n"))
        << traced.out;

    // No statement reached the server, and nothing was left behind.
    EXPECT_EQ(Position("OCIStmtPrepare2"), -1);
    EXPECT_EQ(Position("OCISessionEnd"), -1);
    ExpectEveryHandleReleased();
    ExpectPasswordNowhere(traced);
  }
  EXPECT_EQ(State(1), "open");
}

TEST_F(OracleRunTest, UnknownSchemaFailsTheConnect) {
  ServerConfig config;
  config.schema = "OTHER";
  Configure(config);
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha", "/D"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_TRUE(
      result.out.ends_with("dbConnect_Status: -1435\n"
                           " Datenbankmeldung: ORA-01435: user does not exist\n"))
      << result.out;
  // The session was opened, so it is ended before the handles go.
  EXPECT_LT(Position("OCIStmtExecute", "ORA-01435"), Position("OCISessionEnd", "OCI_SUCCESS"));
  EXPECT_EQ(Position("OCIStmtPrepare2", "UPDATE"), -1);
  ExpectEveryHandleReleased();
  EXPECT_EQ(State(1), "open");
}

TEST_F(OracleRunTest, RejectedStatementIsRolledBackWithStatus4) {
  struct Case {
    const char* section;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"BROKEN", -942, "ORA-00942: table or view does not exist"},
      {"DUPLICATE", -1, "ORA-00001: unique constraint (RARAZOVE.TERM.NAME) violated"},
      // Oracle takes no statement terminator in a single statement.
      {"SEMICOLON", -911, "ORA-00911: invalid character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    std::filesystem::remove(dir_.File("journal.txt"));
    const std::string status_line = "\n SQL-Fehler : " + std::to_string(c.status) + "\n";
    const ProcessResult quiet = Run({c.section, "QV.INI", "x"});
    EXPECT_EQ(quiet.exit_status, 4);
    EXPECT_EQ(quiet.out, status_line);
    EXPECT_EQ(Position("OCITransCommit"), -1);
    EXPECT_LT(Position("OCITransRollback", "OCI_SUCCESS"), Position("OCISessionEnd"));
    EXPECT_EQ(Position("OCISessionEnd", "committed"), -1);
    ExpectEveryHandleReleased();

    const ProcessResult traced = Run({c.section, "QV.INI", "x", "/D"});
    EXPECT_EQ(traced.exit_status, 4);
    EXPECT_TRUE(traced.out.ends_with(status_line + " Datenbankmeldung: " + c.message + "\n"))
        << traced.out;
  }
  EXPECT_EQ(QueryValue(server_, "SELECT NAME || '/' || STATE FROM TERM WHERE ID = 1"),
            "alpha/open");
}

TEST_F(OracleRunTest, NoRowProcessedIs1403AndStillCommits) {
  const ProcessResult result = Run({"CLOSE", "QV.INI", "gamma", "/D"});
  EXPECT_EQ(result.exit_status, 58);
  EXPECT_TRUE(result.out.ends_with("\n SQL-Fehler : 1403\n")) << result.out;
  EXPECT_GE(Position("OCIAttrGet", "ROW_COUNT -> OCI_SUCCESS 0"), 0);
  EXPECT_GE(Position("OCITransCommit", "OCI_SUCCESS"), 0);
  ExpectEveryHandleReleased();
}

TEST_F(OracleRunTest, QueryRunsWithoutFetching) {
  const ProcessResult result = Run({"QUERY", "QV.INI", "x", "/D"});
  EXPECT_EQ(result.exit_status, 58);
  EXPECT_TRUE(result.out.ends_with("\n SQL-Fehler : 0\n")) << result.out;
  EXPECT_GE(Position("OCIStmtExecute", "iters=0"), 0);
}

TEST_F(OracleRunTest, EmptyUserAndPasswordAskForExternalAuthentication) {
  WriteCredentials({kService, "", "", "ORACLE"});
  // The server does not know the operating-system user: refused.
  const ProcessResult refused = Run({"CLOSE", "QV.INI", "alpha"});
  EXPECT_EQ(refused.exit_status, 0);
  EXPECT_EQ(refused.out, "dbConnect_Status: -1017\n");
  EXPECT_GE(Position("OCISessionBegin", "credt=EXT"), 0);
  ExpectEveryHandleReleased();

  std::filesystem::remove(dir_.File("journal.txt"));
  ServerConfig config;
  config.external_user = "OPS$BATCH";
  Configure(config);
  const ProcessResult accepted = Run({"CLOSE", "QV.INI", "alpha"});
  EXPECT_EQ(accepted.exit_status, 58);
  EXPECT_EQ(State(1), "closed");
  EXPECT_GE(Position("OCISessionBegin", "credt=EXT mode=0 -> OCI_SUCCESS"), 0);
  // No user name or password is set for an external logon.
  EXPECT_EQ(Position("OCIAttrSet", "USERNAME"), -1);
  EXPECT_EQ(Position("OCIAttrSet", "PASSWORD"), -1);
  ExpectEveryHandleReleased();
}

TEST_F(OracleRunTest, MissingSectionEndsWithoutCommitOrRollback) {
  const ProcessResult result = Run({"NOSUCH", "QV.INI", "x"});
  EXPECT_EQ(result.exit_status, 3);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(Position("OCITransCommit"), -1);
  EXPECT_EQ(Position("OCITransRollback"), -1);
  EXPECT_GE(Position("OCISessionEnd", "OCI_SUCCESS"), 0);
  ExpectEveryHandleReleased();
}

TEST_F(OracleRunTest, NoClientLibraryPrintsWhyWithStatus0) {
  TempDir empty;
  const ProcessResult quiet = RunWith({"CLOSE", "QV.INI", "alpha"}, empty.path(), "");
  EXPECT_EQ(quiet.exit_status, 0);
  EXPECT_TRUE(quiet.out.starts_with(std::string(kNoLibraryPrefix) +
                                    " (ORACLE_HOME ist nicht gesetzt); Grund: libclntsh.so"))
      << quiet.out;
  EXPECT_TRUE(quiet.out.ends_with("\ndbConnect_Status: -100000\n")) << quiet.out;
  EXPECT_EQ(std::count(quiet.out.begin(), quiet.out.end(), '\n'), 2) << quiet.out;

  // With the trace switch the line comes once, before the status line.
  const ProcessResult traced = RunWith({"CLOSE", "QV.INI", "alpha", "/D"}, empty.path(), "");
  EXPECT_EQ(traced.exit_status, 0);
  EXPECT_TRUE(traced.out.ends_with(quiet.out)) << traced.out;
  EXPECT_EQ(traced.out.find("Datenbankmeldung"), std::string::npos) << traced.out;

  // An ORACLE_HOME without a client is named as the second place searched.
  const ProcessResult with_home = RunWith({"CLOSE", "QV.INI", "alpha"}, empty.path(), empty.path());
  EXPECT_TRUE(with_home.out.starts_with(std::string(kNoLibraryPrefix) + " und in " + empty.path() +
                                        "/lib; Grund: "))
      << with_home.out;
  ExpectPasswordNowhere(with_home);
  EXPECT_EQ(State(1), "open");
}

TEST_F(OracleRunTest, ClientBelowOracleHomeIsFound) {
  TempDir empty;
  TempDir home;
  std::filesystem::create_directory(home.File("lib"));
  std::filesystem::create_symlink(std::string(KOLVADEX_OCI_STANDIN_DIR) + "/libclntsh.so",
                                  home.File("lib/libclntsh.so.19.1"));
  const ProcessResult result = RunWith({"CLOSE", "QV.INI", "alpha"}, empty.path(), home.path());
  EXPECT_EQ(result.exit_status, 58) << result.out;
  EXPECT_EQ(State(1), "closed");
}

TEST_F(OracleRunTest, UnusableClientLibraryIsNamed) {
  TempDir empty;
  // A library by the client's name that lacks its calls.
  const ProcessResult no_calls =
      RunWith({"CLOSE", "QV.INI", "alpha"}, KOLVADEX_OCI_NO_CALLS_DIR, "");
  EXPECT_EQ(no_calls.exit_status, 0);
  EXPECT_EQ(no_calls.out,
            "Oracle-Client-Bibliothek libclntsh.so ist unbrauchbar: die Funktion OCIEnvCreate "
            "fehlt\ndbConnect_Status: -100000\n");

  // A file below ORACLE_HOME that is no library: the loader's reason names it.
  TempDir home;
  std::filesystem::create_directory(home.File("lib"));
  home.Write("lib/libclntsh.so", "not a shared library\n");
  const ProcessResult broken = RunWith({"CLOSE", "QV.INI", "alpha"}, empty.path(), home.path());
  EXPECT_EQ(broken.exit_status, 0);
  EXPECT_NE(broken.out.find("; Grund: " + home.File("lib/libclntsh.so") + ": "), std::string::npos)
      << broken.out;
  EXPECT_TRUE(broken.out.ends_with("\ndbConnect_Status: -100000\n")) << broken.out;

  // A client that loads but cannot create its environment.
  std::filesystem::remove(dir_.File("standin.conf"));
  const ProcessResult no_environment = Run({"CLOSE", "QV.INI", "alpha"});
  EXPECT_EQ(no_environment.exit_status, 0);
  EXPECT_EQ(no_environment.out,
            "Oracle-Client kann keine Umgebung anlegen (OCIEnvCreate: Oracle-Client meldet einen "
            "Fehler ohne Fehlernummer); ORACLE_HOME und NLS_LANG pruefen\n"
            "dbConnect_Status: -100000\n");
}

}  // namespace
}  // namespace kolvadex::testing
