// End to end on PostgreSQL: the built kolvadex runs as a process in a temporary
// working folder against the test run's own server (tests/support/pg_server.sh).
// Every test works on a table of its own in the schema rarazove, so tests may
// run side by side.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "db/postgresql/session.h"
#include "support/pg_fixture.h"
#include "support/process.h"
#include "support/sqlite_fixture.h"
#include "support/temp_dir.h"

namespace kolvadex::testing {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A TCP socket on 127.0.0.1 that listens but never answers: the kernel
// completes the handshake, the server's greeting never comes.
class SilentListener {
 public:
  SilentListener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* const generic = reinterpret_cast<sockaddr*>(&address);
    if (fd_ < 0 || bind(fd_, generic, sizeof address) != 0 || listen(fd_, 16) != 0 ||
        getsockname(fd_, generic, &length) != 0) {
      ADD_FAILURE() << "cannot open a listening socket";
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  ~SilentListener() {
    if (fd_ >= 0) close(fd_);
  }
  [[nodiscard]] int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens (it was free a moment ago).
int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  auto* const generic = reinterpret_cast<sockaddr*>(&address);
  bind(fd, generic, sizeof address);
  getsockname(fd, generic, &length);
  close(fd);
  return ntohs(address.sin_port);
}

class PostgresqlRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    table_ = ("term_" + name).substr(0, 63);
    PgExec("DROP TABLE IF EXISTS rarazove." + table_ + ";" + "CREATE TABLE rarazove." + table_ +
           " (ID INTEGER PRIMARY KEY, NAME TEXT NOT NULL UNIQUE, STATE TEXT,"
           "  N INTEGER NOT NULL DEFAULT 0, CODE INTEGER UNIQUE DEFERRABLE INITIALLY DEFERRED);"
           "INSERT INTO rarazove." +
           table_ + " VALUES (1, 'alpha', 'open', 0, 1), (2, 'beta', 'open', 0, 2);");
    const PgServer& server = TestServer();
    WriteCredentials({server.Service(), server.user, server.password, "POSTGRESQL"});
    const std::string& t = table_;
    dir_.Write("KOLVADEX.POSTGRESQL.INI",
               "; statements of the batch jobs\n"
               "[CLOSE]\n"
               "SQL001=UPDATE " +
                   t +
                   " SET STATE = 'closed'\n"
                   "SQL002=WHERE NAME = '$parm01'\n"
                   "[COUNT]\n"
                   "SQL001=UPDATE " +
                   t +
                   " SET N = N + 1 WHERE ID = 1\n"
                   "[BROKEN]\n"
                   "SQL001=UPDATE NO_SUCH_TABLE SET X = 1\n"
                   "[SYNTAX]\n"
                   "SQL001=UPDATE " +
                   t +
                   " SET STATE = 'x' WHERE\n"
                   "[TWO]\n"
                   "SQL001=UPDATE " +
                   t +
                   " SET STATE = 'first' WHERE ID = 1;\n"
                   "SQL002=UPDATE " +
                   t +
                   " SET STATE = 'second' WHERE ID = 2\n"
                   "[COPY]\n"
                   "SQL001=COPY " +
                   t +
                   " FROM STDIN\n"
                   "[SEMICOLON]\n"
                   "SQL001=UPDATE " +
                   t +
                   " SET STATE = 'done' WHERE ID = $parm01;\n"
                   "[DUPLICATE]\n"
                   "SQL001=UPDATE " +
                   t +
                   " SET STATE = 'renamed', NAME = 'beta' WHERE ID = 1\n"
                   "[SAMECODE]\n"
                   "SQL001=UPDATE " +
                   t +
                   " SET STATE = 'recoded', CODE = 2 WHERE ID = 1\n"
                   "[DELETE_NONE]\n"
                   "SQL001=DELETE FROM " +
                   t +
                   " WHERE ID = -1\n"
                   "[INSERT_NONE]\n"
                   "SQL001=INSERT INTO " +
                   t + " SELECT * FROM " + t +
                   " WHERE false\n"
                   "[MERGE_NONE]\n"
                   "SQL001=MERGE INTO " +
                   t + " USING (SELECT -1 AS ID) AS S ON " + t +
                   ".ID = S.ID\n"
                   "SQL002=WHEN MATCHED THEN UPDATE SET N = 0\n"
                   "[SELECT_NONE]\n"
                   "SQL001=SELECT * FROM " +
                   t + " WHERE false\n");
  }

  void WriteCredentials(const Credentials& credentials) {
    dir_.Write("QV.INI", CredentialFileText(credentials));
  }

  ProcessResult Run(std::vector<std::string> args, std::vector<std::string> env = {}) {
    args.insert(args.begin(), KOLVADEX_BINARY);
    ProcessOptions options;
    options.working_dir = dir_.path();
    options.env = std::move(env);
    return RunProcess(args, options);
  }

  std::string Value(const std::string& column, int id) {
    return PgQueryValue("SELECT " + column + " FROM rarazove." + table_ +
                        " WHERE ID = " + std::to_string(id));
  }

  // Every row of the table, to show that nothing changed.
  std::string Rows() {
    return PgQueryValue(
        "SELECT string_agg(concat_ws('/', ID, NAME, STATE, N, CODE), ' '"
        " ORDER BY ID) FROM rarazove." +
        table_);
  }

  TempDir dir_;
  std::string table_;
};

TEST_F(PostgresqlRunTest, SuccessfulRunChangesTheRow) {
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha"});
  EXPECT_EQ(result.exit_status, 58);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(Value("STATE", 1), "closed");
  EXPECT_EQ(Value("STATE", 2), "open");

  const ProcessResult traced = Run({"CLOSE", "QV.INI", "beta", "/D"});
  EXPECT_EQ(traced.exit_status, 58);
  EXPECT_NE(traced.out.find("  DbSys    = 'POSTGRESQL'\n"
                            "  DbName   = '" +
                            TestServer().Service() + "'\n"),
            std::string::npos)
      << traced.out;
  EXPECT_TRUE(
      traced.out.ends_with("\nStr GetIniValues\n"
                           "  >>>>> SQL-Statement <<<<<\n"
                           "\n SQL-Fehler : 0\n"))
      << traced.out;
  EXPECT_EQ(Value("STATE", 2), "closed");
}

TEST_F(PostgresqlRunTest, EveryFormOfServiceConnects) {
  const PgServer& server = TestServer();
  dir_.Write("pg_service.conf", "[qv]\nhost=" + server.host + "\nport=" + server.port +
                                    "\ndbname=" + server.database + "\n");
  struct Form {
    const char* what;
    std::string service;
    std::string user;
    std::string password;
    std::vector<std::string> env;
  };
  const std::vector<Form> forms = {
      {"plain database name, server from libpq's environment",
       server.database,
       server.user,
       server.password,
       {"PGHOST=" + server.socket_dir, "PGPORT=" + server.port}},
      {"key=value over the Unix socket",
       "host=" + server.socket_dir + " port=" + server.port + " dbname=" + server.database,
       server.user,
       server.password,
       {}},
      {"URI over TCP",
       "postgresql://" + server.host + ":" + server.port + "/" + server.database,
       server.user,
       server.password,
       {}},
      {"URI with user and password, none in the credential file",
       "postgres://" + server.user + ":" + server.password + "@" + server.host + ":" + server.port +
           "/" + server.database,
       "",
       "",
       {}},
      {"user and password of the credential file win over those of the service",
       server.Service() + " user=someone_else password=wrong",
       server.user,
       server.password,
       {}},
      {"service of a pg_service.conf",
       "service=qv",
       server.user,
       server.password,
       {"PGSERVICEFILE=" + dir_.File("pg_service.conf")}},
  };
  int runs = 0;
  for (const Form& form : forms) {
    SCOPED_TRACE(form.what);
    WriteCredentials({form.service, form.user, form.password, "postgresql"});
    const ProcessResult result = Run({"COUNT", "QV.INI", "/D"}, form.env);
    EXPECT_EQ(result.exit_status, 58) << result.out;
    EXPECT_TRUE(result.out.ends_with("\n SQL-Fehler : 0\n")) << result.out;
    EXPECT_EQ(result.out.find(server.password), std::string::npos) << result.out;
    EXPECT_EQ(Value("N", 1), std::to_string(++runs));
  }
}

TEST_F(PostgresqlRunTest, WrongPasswordFailsTheConnect) {
  const PgServer& server = TestServer();
  WriteCredentials({server.Service(), server.user, "Falsches-Kennwort-1", "POSTGRESQL"});
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, "dbConnect_Status: -402\n");

  const ProcessResult traced = Run({"CLOSE", "QV.INI", "alpha", "/D"});
  EXPECT_EQ(traced.exit_status, 0);
  EXPECT_NE(traced.out.find("\ndbConnect_Status: -402\n Datenbankmeldung: "), std::string::npos)
      << traced.out;
  EXPECT_NE(traced.out.find("password authentication failed for user \"" + server.user + "\""),
            std::string::npos)
      << traced.out;
  EXPECT_EQ(traced.out.find("Falsches-Kennwort-1"), std::string::npos) << traced.out;
  EXPECT_EQ(Value("STATE", 1), "open");
}

TEST_F(PostgresqlRunTest, PasswordInTheServiceIsNeverShown) {
  const PgServer& server = TestServer();
  const std::string secret = "Geheim-im-Dienst-7";
  const std::string address = server.host + ":" + server.port;
  const std::vector<std::string> services = {
      "postgresql://" + server.user + ":" + secret + "@" + address + "/" + server.database,
      "postgresql://" + server.user + "@" + address + "/" + server.database + "?password=" + secret,
      "host=" + server.host + " port=" + server.port + " password=" + secret +
          " dbname=" + server.database,
      // Malformed: libpq's own error texts quote the service.
      "postgresql://" + server.user + ":" + secret + "@[::1/" + server.database,
      "postgresql://" + server.user + ":" + secret + "@" + address + "/db?x=%zz",
      "host=" + server.host + " password='" + secret,
      "host=" + server.host + " password=" + secret + " dbname",
  };
  for (const std::string& service : services) {
    SCOPED_TRACE(service);
    WriteCredentials({service, server.user, "", "POSTGRESQL"});
    const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha", "/D"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_NE(result.out.find("\ndbConnect_Status: -402\n Datenbankmeldung: "), std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find(secret), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("********"), std::string::npos) << result.out;
  }
}

TEST_F(PostgresqlRunTest, ServerNotRunningFailsAtOnce) {
  const std::string service =
      "host=127.0.0.1 port=" + std::to_string(UnusedPort()) + " dbname=" + TestServer().database;
  WriteCredentials({service, TestServer().user, TestServer().password, "POSTGRESQL"});
  const Clock::time_point start = Clock::now();
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha", "/D"});
  EXPECT_LT(SecondsSince(start), db::postgresql::kDefaultConnectTimeoutSeconds);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_NE(result.out.find("\ndbConnect_Status: -402\n Datenbankmeldung: "), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("Connection refused"), std::string::npos) << result.out;
}

// A server that accepts the connection and then stays silent must not hang the
// batch job: the connect gives up after the timeout.
TEST_F(PostgresqlRunTest, SilentServerFailsAfterTheDefaultTimeout) {
  const SilentListener listener;
  WriteCredentials({"host=127.0.0.1 port=" + std::to_string(listener.port()) + " dbname=x",
                    "someone", "secret", "POSTGRESQL"});
  const Clock::time_point start = Clock::now();
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha", "/D"});
  const double seconds = SecondsSince(start);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_NE(result.out.find("\ndbConnect_Status: -402\n Datenbankmeldung: "), std::string::npos)
      << result.out;
  EXPECT_NE(result.out.find("timeout"), std::string::npos) << result.out;
  EXPECT_GE(seconds, db::postgresql::kDefaultConnectTimeoutSeconds - 1);
  EXPECT_LT(seconds, 3 * db::postgresql::kDefaultConnectTimeoutSeconds);
}

TEST_F(PostgresqlRunTest, ServiceSetsItsOwnTimeout) {
  const SilentListener listener;
  WriteCredentials(
      {"postgresql://127.0.0.1:" + std::to_string(listener.port()) + "/x?connect_timeout=2",
       "someone", "secret", "POSTGRESQL"});
  const Clock::time_point start = Clock::now();
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha"});
  const double seconds = SecondsSince(start);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, "dbConnect_Status: -402\n");
  EXPECT_GE(seconds, 1.5);
  EXPECT_LT(seconds, db::postgresql::kDefaultConnectTimeoutSeconds - 0.5);
}

TEST_F(PostgresqlRunTest, UnknownSchemaFailsTheConnect) {
  const PgServer& server = TestServer();
  WriteCredentials(
      {"host=" + server.host + " port=" + server.port + " dbname=" + server.database_without_schema,
       server.user, server.password, "POSTGRESQL"});
  const ProcessResult result = Run({"CLOSE", "QV.INI", "alpha"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, "dbConnect_Status: -400\n");

  const ProcessResult traced = Run({"CLOSE", "QV.INI", "alpha", "/D"});
  EXPECT_EQ(traced.exit_status, 0);
  EXPECT_TRUE(
      traced.out.ends_with("\ndbConnect_Status: -400\n"
                           " Datenbankmeldung: SQLSTATE 3F000: Schema \"RARAZOVE\" existiert nicht"
                           " (auch nicht als \"rarazove\")\n"))
      << traced.out;
}

TEST_F(PostgresqlRunTest, RejectedStatementChangesNothing) {
  const std::string before = Rows();
  struct Case {
    const char* section;
    const char* message;
  };
  for (const Case& c : {Case{"BROKEN", "SQLSTATE 42P01: relation \"no_such_table\" does not exist"},
                        Case{"SYNTAX", "SQLSTATE 42601: syntax error at end of input"},
                        Case{"TWO",
                             "SQLSTATE 42601: cannot insert multiple commands into a "
                             "prepared statement"},
                        Case{"COPY", "COPY wird nicht unterstuetzt"}}) {
    SCOPED_TRACE(c.section);
    const ProcessResult result = Run({c.section, "QV.INI", "x"});
    EXPECT_EQ(result.exit_status, 4);
    EXPECT_EQ(result.out, "\n SQL-Fehler : -400\n");
    const ProcessResult traced = Run({c.section, "QV.INI", "x", "/D"});
    EXPECT_EQ(traced.exit_status, 4);
    EXPECT_TRUE(traced.out.ends_with(std::string("\n SQL-Fehler : -400\n Datenbankmeldung: ") +
                                     c.message + "\n"))
        << traced.out;
    EXPECT_EQ(Rows(), before);
  }
  // One statement with a trailing ";" is fine.
  EXPECT_EQ(Run({"SEMICOLON", "QV.INI", "2"}).exit_status, 58);
  EXPECT_EQ(Value("STATE", 2), "done");
}

TEST_F(PostgresqlRunTest, UniqueViolationIsMinus403) {
  const std::string before = Rows();
  const ProcessResult result = Run({"DUPLICATE", "QV.INI", "x", "/D"});
  EXPECT_EQ(result.exit_status, 4);
  EXPECT_TRUE(
      result.out.ends_with("\n SQL-Fehler : -403\n"
                           " Datenbankmeldung: SQLSTATE 23505: duplicate key value "
                           "violates unique constraint \"" +
                           table_ + "_name_key\"\n"))
      << result.out;
  EXPECT_EQ(Rows(), before);
}

TEST_F(PostgresqlRunTest, ViolationFoundByTheCommitRollsBack) {
  // The unique constraint on CODE is checked at commit.
  const std::string before = Rows();
  const ProcessResult result = Run({"SAMECODE", "QV.INI", "x", "/D"});
  EXPECT_EQ(result.exit_status, 4);
  EXPECT_NE(result.out.find("\n SQL-Fehler : 0\n"
                            "dbCommit_Status: -403\n"
                            " Datenbankmeldung: SQLSTATE 23505: "),
            std::string::npos)
      << result.out;
  EXPECT_EQ(Rows(), before);
}

TEST_F(PostgresqlRunTest, NoRowProcessedIs1403) {
  const std::string before = Rows();
  for (const char* section : {"CLOSE", "DELETE_NONE", "INSERT_NONE", "MERGE_NONE"}) {
    SCOPED_TRACE(section);
    const ProcessResult result = Run({section, "QV.INI", "gamma", "/D"});
    EXPECT_EQ(result.exit_status, 58);
    EXPECT_TRUE(result.out.ends_with("\n SQL-Fehler : 1403\n")) << result.out;
  }
  // A query is not a change: no row is no news.
  const ProcessResult query = Run({"SELECT_NONE", "QV.INI", "x", "/D"});
  EXPECT_EQ(query.exit_status, 58);
  EXPECT_TRUE(query.out.ends_with("\n SQL-Fehler : 0\n")) << query.out;
  EXPECT_EQ(Rows(), before);
}

TEST_F(PostgresqlRunTest, TwentyRunsAtOnceEachApplyTheirChange) {
  constexpr int kRuns = 20;
  std::vector<ProcessResult> results(kRuns);
  std::vector<std::thread> threads;
  for (int i = 0; i < kRuns; ++i) {
    threads.emplace_back([this, &results, i] {
      results[static_cast<std::size_t>(i)] = Run({"COUNT", "QV.INI", "x"});
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const ProcessResult& result : results) {
    EXPECT_EQ(result.exit_status, 58) << result.out;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(Value("N", 1), std::to_string(kRuns));
  EXPECT_EQ(Value("N", 2), "0");
}

// libpq and its dependencies cost start-up time: only a PostgreSQL run loads it.
TEST_F(PostgresqlRunTest, OnlyAPostgresqlRunLoadsLibpq) {
  const ProcessResult postgresql = Run({"CLOSE", "QV.INI", "alpha"}, {"LD_DEBUG=libs"});
  EXPECT_EQ(postgresql.exit_status, 58);
  EXPECT_NE(postgresql.err.find("libpq.so.5"), std::string::npos);

  const std::string db = dir_.File("app.db");
  ExecSql(db,
          "CREATE TABLE TERM (NAME TEXT, STATE TEXT); INSERT INTO TERM VALUES ('alpha', 'open');");
  dir_.Write("KOLVADEX.SQLITE.INI",
             "[CLOSE]\nSQL001=UPDATE TERM SET STATE = 'closed' WHERE NAME = '$parm01'\n");
  WriteCredentials({db, "", "", "SQLITE"});
  const ProcessResult sqlite = Run({"CLOSE", "QV.INI", "alpha"}, {"LD_DEBUG=libs"});
  EXPECT_EQ(sqlite.exit_status, 58);
  EXPECT_NE(sqlite.err.find("libsqlite3"), std::string::npos);  // the loader did report
  EXPECT_EQ(sqlite.err.find("libpq"), std::string::npos);
  EXPECT_EQ(QueryValue(db, "SELECT STATE FROM TERM"), "closed");
}

}  // namespace
}  // namespace kolvadex::testing
