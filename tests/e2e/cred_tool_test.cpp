// End to end for kolvadex-cred: the built program runs as a process in a
// temporary folder; the files it makes are read back by kolvadex itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/version.h"
#include "credentials/cipher.h"
#include "credentials/credential_file.h"
#include "credentials/credential_writer.h"
#include "support/process.h"
#include "support/sqlite_fixture.h"
#include "support/temp_dir.h"

namespace kolvadex::testing {
namespace {

using credentials::EncryptValue;

std::string Record(const std::string& header, const std::string& number, const std::string& key,
                   const std::string& plain) {
  return header + "\n" + number + ";" + key + ";" + EncryptValue(plain) + "\n";
}

std::string Lookup(const std::string& text, const std::string& key) {
  return std::string(credentials::GetDbValue(text, "", key, 0).value.view());
}

class CredToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.File("app.db");
    ExecSql(db_,
            "CREATE TABLE TERM (ID INTEGER PRIMARY KEY, NAME TEXT NOT NULL, STATE TEXT);"
            "INSERT INTO TERM VALUES (1, 'alpha', 'open');");
    dir_.Write("KOLVADEX.SQLITE.INI",
               "[CLOSE]\nSQL001=UPDATE TERM SET STATE = 'closed' WHERE NAME = '$parm01'\n");
  }

  ProcessResult Cred(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), KOLVADEX_CRED_BINARY);
    ProcessOptions options;
    options.working_dir = dir_.path();
    options.input = input;
    return RunProcess(args, options);
  }

  ProcessResult Kolvadex(std::vector<std::string> args) {
    args.insert(args.begin(), KOLVADEX_BINARY);
    ProcessOptions options;
    options.working_dir = dir_.path();
    return RunProcess(args, options);
  }

  std::string Read(const std::string& name) const {
    std::ifstream file(dir_.File(name), std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
  }

  // The names in the folder, sorted: a left-over temporary file shows here.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string State() const { return QueryValue(db_, "SELECT STATE FROM TERM WHERE ID = 1"); }

  TempDir dir_;
  std::string db_;
};

unsigned Permissions(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0);
  return info.st_mode & 0777U;
}

TEST_F(CredToolTest, WrittenFileIsReadByKolvadex) {
  // As a script does it: one value a line, user and password empty for SQLite.
  const ProcessResult written = Cred({"write", "QV.INI"}, db_ + "\n\n\nSQLITE\n");
  EXPECT_EQ(written.exit_status, 0) << written.err;
  EXPECT_EQ(written.out, "");
  EXPECT_EQ(written.err, "");
  EXPECT_EQ(Read("QV.INI"), credentials::FormatCredentialFile({db_, "", "", "SQLITE"}));
  EXPECT_EQ(Permissions(dir_.File("QV.INI")), 0600U);

  const ProcessResult run = Kolvadex({"CLOSE", "QV.INI", "alpha", "/D"});
  EXPECT_EQ(run.exit_status, 58) << run.out;
  EXPECT_NE(run.out.find("  DbSys    = 'SQLITE'\n  DbName   = '" + db_ + "'\n"), std::string::npos)
      << run.out;
  EXPECT_EQ(State(), "closed");
  EXPECT_EQ(Cred({"check", "QV.INI"}).out, "QV.INI: in Ordnung\n");
}

TEST_F(CredToolTest, WriteTakesEveryValueWholeAndTheLastLineWithoutLineFeed) {
  const std::string service =
      "(DESCRIPTION=(ADDRESS=(HOST=db.example)(PORT=1521))(SERVICE_NAME=a.b))";
  const ProcessResult written =
      Cred({"write", "QV.INI"}, service + "\r\nscott\r\np;w = \"x\" \r\nORACLE");
  EXPECT_EQ(written.exit_status, 0) << written.err;
  const std::string text = Read("QV.INI");
  EXPECT_EQ(Lookup(text, "NET8"), service);
  EXPECT_EQ(Lookup(text, "LOGIN"), "scott");
  EXPECT_EQ(Lookup(text, "PASS"), "p;w = \"x\" ");
  EXPECT_EQ(Lookup(text, "DB_SYSTEM"), "ORACLE");
}

TEST_F(CredToolTest, WriteWarnsAboutValuesThatCheckWouldFlag) {
  const ProcessResult written = Cred({"write", "QV.INI"}, "svc\nscott\n\nORACLE\n");
  EXPECT_EQ(written.exit_status, 0);
  EXPECT_EQ(written.err,
            "kolvadex-cred: Warnung: QV.INI:6: Wert fuer PASS ist entschluesselt leer\n");
}

TEST_F(CredToolTest, WriteKeepsAnExistingFileUnlessForced) {
  dir_.Write("QV.INI", "old content\n");
  const std::string input = db_ + "\n\n\nSQLITE\n";
  const ProcessResult kept = Cred({"write", "QV.INI"}, input);
  EXPECT_EQ(kept.exit_status, 1);
  EXPECT_EQ(kept.err, "kolvadex-cred: die Datei QV.INI gibt es schon; --force ersetzt sie\n");
  EXPECT_EQ(Read("QV.INI"), "old content\n");

  const ProcessResult forced = Cred({"write", "--force", "QV.INI"}, input);
  EXPECT_EQ(forced.exit_status, 0) << forced.err;
  EXPECT_EQ(Read("QV.INI"), credentials::FormatCredentialFile({db_, "", "", "SQLITE"}));
  EXPECT_EQ(Permissions(dir_.File("QV.INI")), 0600U);
  EXPECT_EQ(Names(), (std::vector<std::string>{"KOLVADEX.SQLITE.INI", "QV.INI", "app.db"}));
}

TEST_F(CredToolTest, WriteRefusesBadInputAndWritesNothing) {
  struct Case {
    const char* name;
    std::string input;
    std::string message;
  };
  const Case cases[] = {
      {"no input", "",
       "die Eingabe endet vor dem Wert fuer NET8 (erwartet: je eine Zeile fuer NET8, "
       "LOGIN, PASS, DB_SYSTEM)"},
      {"three lines", "a\nb\nc\n",
       "die Eingabe endet vor dem Wert fuer DB_SYSTEM (erwartet: je eine "
       "Zeile fuer NET8, LOGIN, PASS, DB_SYSTEM)"},
      {"five lines", "a\nb\nc\nd\ne\n",
       "die Eingabe hat mehr als vier Zeilen (erwartet: je eine "
       "Zeile fuer NET8, LOGIN, PASS, DB_SYSTEM)"},
      {"an empty fifth line", "a\nb\nc\nd\n\n",
       "die Eingabe hat mehr als vier Zeilen (erwartet: je "
       "eine Zeile fuer NET8, LOGIN, PASS, DB_SYSTEM)"},
      {"a zero byte", std::string("a\nb\nc\0d\nd\n", 10),
       "der Wert fuer PASS enthaelt ein Null-Byte und kann nicht gespeichert werden"},
      {"a carriage return inside a value", "a\nb\rc\nc\nd\n",
       "der Wert fuer LOGIN enthaelt ein Zeilenende (CR oder LF) und kann nicht gespeichert "
       "werden"},
  };
  const std::vector<std::string> before = Names();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ProcessResult result = Cred({"write", "QV.INI"}, c.input);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "kolvadex-cred: " + c.message + "\n");
    EXPECT_EQ(Names(), before);
  }
}

TEST_F(CredToolTest, WriteFailuresLeaveNothingBehind) {
  const ProcessResult no_folder = Cred({"write", "nosuch/QV.INI"}, "a\nb\nc\nd\n");
  EXPECT_EQ(no_folder.exit_status, 1);
  EXPECT_EQ(no_folder.err,
            "kolvadex-cred: die Datei nosuch/QV.INI kann nicht geschrieben werden: No such file or "
            "directory (sie ist unveraendert)\n");

  std::filesystem::create_directory(dir_.File("QV.INI"));
  const std::vector<std::string> before = Names();
  const ProcessResult onto_folder = Cred({"write", "--force", "QV.INI"}, "a\nb\nc\nd\n");
  EXPECT_EQ(onto_folder.exit_status, 1);
  EXPECT_NE(onto_folder.err.find("kann nicht geschrieben werden"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("QV.INI")));
  EXPECT_EQ(Names(), before);
}

// A file as sites keep them: CR LF line ends, headers of their own, a
// comment-like record, a second PASS record that is never read, and a last
// line without line end.
std::string SiteFile(const std::string& service) {
  return "QUAVENTIS;PROD;Stand 2019\r\n"
         "1;NET8;" +
         EncryptValue(service) +
         "\r\n"
         "QUAVENTIS;PROD;\r\n"
         "2;LOGIN;" +
         EncryptValue("scott") +
         "\r\n"
         "QUAVENTIS;PROD;\r\n"
         "3;PASS;" +
         EncryptValue("tiger") +
         "\r\n"
         "QUAVENTIS;ALT;\n"
         "8;PASS;" +
         EncryptValue("old tiger") +
         "\n"
         "QUAVENTIS;PROD;\r\n"
         "4;DB_SYSTEM;" +
         EncryptValue("SQLITE");
}

TEST_F(CredToolTest, SetRotatesOneValueAndKeepsEveryOtherByte) {
  const std::string before = SiteFile(dir_.File("moved.db"));
  dir_.Write("QV.INI", before);
  // The service points to a database that is not there: the connect fails.
  EXPECT_EQ(Kolvadex({"CLOSE", "QV.INI", "alpha"}).exit_status, 0);

  const ProcessResult set = Cred({"set", "QV.INI", "NET8"}, db_ + "\n");
  EXPECT_EQ(set.exit_status, 0) << set.err;
  EXPECT_EQ(set.out, "");
  EXPECT_EQ(set.err, "");
  const std::string after = Read("QV.INI");
  const std::string old_value = EncryptValue(dir_.File("moved.db"));
  const std::string new_value = EncryptValue(db_);
  const std::size_t at = before.find(old_value);
  EXPECT_EQ(after.substr(0, at), before.substr(0, at));
  EXPECT_EQ(after.substr(at, new_value.size()), new_value);
  EXPECT_EQ(after.substr(at + new_value.size()), before.substr(at + old_value.size()));

  EXPECT_EQ(Kolvadex({"CLOSE", "QV.INI", "alpha"}).exit_status, 58);
  EXPECT_EQ(State(), "closed");

  // The quarterly password change: one line, the rest of the file as it was.
  const ProcessResult rotated = Cred({"set", "QV.INI", "PASS"}, "lion 2025");
  EXPECT_EQ(rotated.exit_status, 0) << rotated.err;
  const std::string rotated_text = Read("QV.INI");
  EXPECT_EQ(Lookup(rotated_text, "PASS"), "lion 2025");
  std::string expected = after;
  expected.replace(expected.find(EncryptValue("tiger")), EncryptValue("tiger").size(),
                   EncryptValue("lion 2025"));
  EXPECT_EQ(rotated_text, expected);
  EXPECT_EQ(Names(), (std::vector<std::string>{"KOLVADEX.SQLITE.INI", "QV.INI", "app.db"}));
}

TEST_F(CredToolTest, ReplacedFilesKeepTheirOwnerAndSetKeepsThePermissions) {
  const std::string path = dir_.File("QV.INI");
  dir_.Write("QV.INI", credentials::FormatCredentialFile({db_, "", "old", "SQLITE"}));
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  // A site's batch user owns the file; an administrator rotates the password.
  const bool can_give_away = chown(path.c_str(), 4321, 4322) == 0;

  ASSERT_EQ(Cred({"set", "QV.INI", "PASS"}, "new\n").exit_status, 0);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777U, 0640U);
  if (can_give_away) {
    EXPECT_EQ(info.st_uid, 4321U);
    EXPECT_EQ(info.st_gid, 4322U);
  }

  // A file written anew is for its owner alone.
  ASSERT_EQ(Cred({"write", "--force", "QV.INI"}, db_ + "\n\n\nSQLITE\n").exit_status, 0);
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777U, 0600U);
  if (can_give_away) {
    EXPECT_EQ(info.st_uid, 4321U);
  }
}

TEST_F(CredToolTest, SetThroughASymbolicLinkChangesTheFileItNames) {
  dir_.Write("QV.INI", credentials::FormatCredentialFile({db_, "", "old", "SQLITE"}));
  std::filesystem::create_symlink("QV.INI", dir_.File("LINK.INI"));
  const ProcessResult set = Cred({"set", "LINK.INI", "PASS"}, "new\n");
  EXPECT_EQ(set.exit_status, 0) << set.err;
  EXPECT_TRUE(std::filesystem::is_symlink(dir_.File("LINK.INI")));
  EXPECT_EQ(Lookup(Read("QV.INI"), "PASS"), "new");
}

TEST_F(CredToolTest, SetRefusesAndLeavesTheFileAlone) {
  const std::string catch_all =
      Record("Q;P;", "0", "NET8", "svc") + Record("Q;P;", "3", "PASS", "x");
  struct Case {
    const char* name;
    std::string file;
    std::string key;
    std::string input;
    std::string message;
  };
  const Case cases[] = {
      {"a key kolvadex does not ask for", SiteFile(db_), "pass", "x\n",
       "unbekannter Schluessel 'pass'; erlaubt sind NET8, LOGIN, PASS, DB_SYSTEM"},
      {"no record for the key", Record("Q;P;", "1", "NET8", "svc"), "LOGIN", "x\n",
       "in QV.INI beantwortet kein Datensatz LOGIN; write legt eine vollstaendige Datei an"},
      {"a record that answers every key", catch_all, "PASS", "x\n",
       "in QV.INI beantwortet der Datensatz in Zeile 1-2 (Schluessel 'NET8') PASS; er beantwortet "
       "jede Anfrage, check zeigt die Probleme der Datei"},
      {"the key's record answers others too", catch_all, "NET8", "x\n",
       "in QV.INI beantwortet der Datensatz in Zeile 1-2 ausser NET8 auch LOGIN; check zeigt die "
       "Probleme der Datei"},
      {"a value of two lines", SiteFile(db_), "PASS", "a\nb\n",
       "die Eingabe hat mehr als eine Zeile; ein Wert kann kein Zeilenende enthalten"},
      {"a value with a zero byte", SiteFile(db_), "PASS", std::string("a\0b", 3),
       "der Wert enthaelt ein Null-Byte und kann nicht gespeichert werden"},
      {"no value", SiteFile(db_), "PASS", "",
       "keine Eingabe: der Wert wird auf der Standardeingabe erwartet"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir_.Write("QV.INI", c.file);
    const ProcessResult result = Cred({"set", "QV.INI", c.key}, c.input);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "kolvadex-cred: " + c.message + "\n");
    EXPECT_EQ(Read("QV.INI"), c.file);
  }
  const ProcessResult missing = Cred({"set", "NOSUCH.INI", "PASS"}, "x\n");
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_EQ(missing.err, "kolvadex-cred: die Datei NOSUCH.INI gibt es nicht\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"KOLVADEX.SQLITE.INI", "QV.INI", "app.db"}));
}

TEST_F(CredToolTest, CheckFlagsEachProblem) {
  const std::string net8 = Record("Q;P;", "1", "NET8", "svc");
  const std::string login = Record("Q;P;", "2", "LOGIN", "scott");
  const std::string pass = Record("Q;P;", "3", "PASS", "tiger");
  const std::string oracle = Record("Q;P;", "4", "DB_SYSTEM", "ORACLE");
  struct Case {
    const char* name;
    std::string file;
    int status;
    std::string out;
  };
  const Case cases[] = {
      {"a good file", net8 + login + pass + oracle, 0, "QV.INI: in Ordnung\n"},
      {"a missing key", net8 + login + oracle, 1, "QV.INI: kein Datensatz beantwortet PASS\n"},
      {"number 0", Record("Q;P;", "0", "NET8", "svc") + login + pass + oracle, 1,
       "QV.INI:1-2: Datensatz beantwortet jede Anfrage (Nummer 0); kolvadex nimmt ihn fuer NET8, "
       "LOGIN, PASS, DB_SYSTEM\n"},
      {"an empty section", net8 + Record("Q", "2", "LOGIN", "scott") + pass + oracle, 1,
       "QV.INI:3-4: Datensatz beantwortet jede Anfrage (leerer Abschnitt); kolvadex nimmt ihn fuer "
       "LOGIN, PASS, DB_SYSTEM\n"},
      {"both, after every key", net8 + login + pass + oracle + Record("", "", "X", "y"), 1,
       "QV.INI:9-10: Datensatz beantwortet jede Anfrage (leerer Abschnitt und Nummer 0)\n"},
      {"not hex text", net8 + "Q;P;\n2;LOGIN;scott\n" + pass + oracle, 1,
       "QV.INI:4: Wert fuer LOGIN ist kein Hex-Text aus ganzen Gruppen zu 16 Ziffern\n"},
      {"not whole groups", net8 + login + "Q;P;\n3;PASS;0123456789ABCDEF01\n" + oracle, 1,
       "QV.INI:6: Wert fuer PASS ist kein Hex-Text aus ganzen Gruppen zu 16 Ziffern\n"},
      {"an empty value", net8 + login + "Q;P;\n3;PASS;\n" + oracle, 1,
       "QV.INI:6: Wert fuer PASS ist entschluesselt leer\n"},
      {"a value that deciphers to nothing",
       net8 + login + pass + Record("Q;P;", "4", "DB_SYSTEM", ""), 1,
       "QV.INI:8: Wert fuer DB_SYSTEM ist entschluesselt leer\n"},
      {"several problems", Record("Q;P;", "1", "NET8", "") + Record("Q;P;", "0", "LOGIN", "scott"),
       1,
       "QV.INI:3-4: Datensatz beantwortet jede Anfrage (Nummer 0); kolvadex nimmt ihn fuer LOGIN, "
       "PASS, DB_SYSTEM\n"
       "QV.INI:2: Wert fuer NET8 ist entschluesselt leer\n"},
      {"an empty file", "", 1,
       "QV.INI: kein Datensatz beantwortet NET8\nQV.INI: kein Datensatz beantwortet LOGIN\n"
       "QV.INI: kein Datensatz beantwortet PASS\nQV.INI: kein Datensatz beantwortet DB_SYSTEM\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir_.Write("QV.INI", c.file);
    const ProcessResult result = Cred({"check", "QV.INI"});
    EXPECT_EQ(result.exit_status, c.status);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, "");
  }
  const ProcessResult missing = Cred({"check", "NOSUCH.INI"});
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "kolvadex-cred: die Datei NOSUCH.INI gibt es nicht\n");
}

TEST_F(CredToolTest, ShowMasksThePassword) {
  dir_.Write("QV.INI", credentials::FormatCredentialFile({"svc", "scott", "tiger", "ORACLE"}));
  const std::string expected =
      "Datensaetze in QV.INI:\n"
      "  Zeilen 1-2: Nummer 1, Abschnitt 'KOLVADEX', Schluessel 'NET8', Wert 'svc'\n"
      "  Zeilen 3-4: Nummer 2, Abschnitt 'KOLVADEX', Schluessel 'LOGIN', Wert 'scott'\n"
      "  Zeilen 5-6: Nummer 3, Abschnitt 'KOLVADEX', Schluessel 'PASS', Wert '********'\n"
      "  Zeilen 7-8: Nummer 4, Abschnitt 'KOLVADEX', Schluessel 'DB_SYSTEM', Wert 'ORACLE'\n"
      "Antworten fuer kolvadex:\n"
      "  NET8      <- Zeilen 1-2\n"
      "  LOGIN     <- Zeilen 3-4\n"
      "  PASS      <- Zeilen 5-6\n"
      "  DB_SYSTEM <- Zeilen 7-8\n";
  const ProcessResult shown = Cred({"show", "QV.INI"});
  EXPECT_EQ(shown.exit_status, 0);
  EXPECT_EQ(shown.out, expected);
  EXPECT_EQ(shown.out.find("tiger"), std::string::npos);

  const ProcessResult revealed = Cred({"show", "--reveal", "QV.INI"});
  EXPECT_EQ(revealed.exit_status, 0);
  std::string with_password = expected;
  with_password.replace(with_password.find("********"), 8, "tiger");
  EXPECT_EQ(revealed.out, with_password);
}

TEST_F(CredToolTest, ShowMakesTheQuirksVisible) {
  // The first record has number 0, so kolvadex takes its value for every key,
  // the password included: that value is masked as well. A value of another
  // key may be a password too; control characters are shown as \xNN.
  dir_.Write("QV.INI", Record("Q;P;", "0", "NET8", "s\tvc") + Record("Q", "", "OTHER", "hidden") +
                           "Q;P;\n3;PASS;XYZ\nQ;P;\nno separator\n");
  const ProcessResult shown = Cred({"show", "QV.INI"});
  EXPECT_EQ(shown.exit_status, 0);
  EXPECT_EQ(
      shown.out,
      "Datensaetze in QV.INI:\n"
      "  Zeilen 1-2: Nummer 0, Abschnitt 'P', Schluessel 'NET8', Wert '********'\n"
      "  Zeilen 3-4: Nummer 0, Abschnitt '', Schluessel 'OTHER', Wert '********'\n"
      "  Zeilen 5-6: Nummer 3, Abschnitt 'P', Schluessel 'PASS', Wert kein gueltiger Hex-Text\n"
      "  Zeilen 7-8: Nummer keine, Abschnitt 'P', Schluessel '', Wert kein gueltiger Hex-Text\n"
      "Antworten fuer kolvadex:\n"
      "  NET8      <- Zeilen 1-2 (beantwortet jede Anfrage: Nummer 0)\n"
      "  LOGIN     <- Zeilen 1-2 (beantwortet jede Anfrage: Nummer 0)\n"
      "  PASS      <- Zeilen 1-2 (beantwortet jede Anfrage: Nummer 0)\n"
      "  DB_SYSTEM <- Zeilen 1-2 (beantwortet jede Anfrage: Nummer 0)\n");
  const ProcessResult revealed = Cred({"show", "--reveal", "QV.INI"});
  EXPECT_NE(revealed.out.find("Wert 's\\x09vc'"), std::string::npos) << revealed.out;
  EXPECT_NE(revealed.out.find("Wert 'hidden'"), std::string::npos) << revealed.out;

  dir_.Write("QV.INI", Record("Q;P;", "1", "NET8", "svc"));
  EXPECT_NE(Cred({"show", "QV.INI"})
                .out.find("  DB_SYSTEM <- kein Datensatz (kolvadex liest einen leeren Wert)\n"),
            std::string::npos);
}

TEST_F(CredToolTest, EncryptAndDecryptRoundTrip) {
  const ProcessResult encrypted = Cred({"encrypt"}, "Hallo; Welt\n");
  EXPECT_EQ(encrypted.exit_status, 0) << encrypted.err;
  EXPECT_EQ(encrypted.out, EncryptValue("Hallo; Welt") + "\n");
  const ProcessResult decrypted = Cred({"decrypt"}, encrypted.out);
  EXPECT_EQ(decrypted.exit_status, 0) << decrypted.err;
  EXPECT_EQ(decrypted.out, "Hallo; Welt\n");

  // Without a final line feed, with CR LF, and lower-case hex digits.
  EXPECT_EQ(Cred({"encrypt"}, "12345678").out, EncryptValue("12345678") + "\n");
  EXPECT_EQ(Cred({"encrypt"}, "abc\r\n").out, EncryptValue("abc") + "\n");
  std::string lower = EncryptValue("abc");
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  EXPECT_EQ(Cred({"decrypt"}, lower).out, "abc\n");
  // The empty value is the empty hex text.
  EXPECT_EQ(Cred({"encrypt"}, "\n").out, "\n");
  EXPECT_EQ(Cred({"decrypt"}, "\n").out, "\n");
}

TEST_F(CredToolTest, EncryptAndDecryptRefuseBadInput) {
  struct Case {
    const char* name;
    const char* command;
    std::string input;
    std::string message;
  };
  const Case cases[] = {
      {"no input", "encrypt", "", "keine Eingabe: der Wert wird auf der Standardeingabe erwartet"},
      {"two lines", "encrypt", "a\nb\n",
       "die Eingabe hat mehr als eine Zeile; ein Wert kann kein Zeilenende enthalten"},
      {"a line feed after the value's line end", "encrypt", "a\n\n",
       "die Eingabe hat mehr als eine Zeile; ein Wert kann kein Zeilenende enthalten"},
      {"a zero byte", "encrypt", std::string("a\0b\n", 4),
       "der Wert enthaelt ein Null-Byte und kann nicht gespeichert werden"},
      {"a carriage return", "encrypt", "a\rb\n",
       "der Wert enthaelt ein Zeilenende (CR oder LF) und kann nicht gespeichert werden"},
      {"no input to decipher", "decrypt", "",
       "keine Eingabe: der Wert wird auf der Standardeingabe erwartet"},
      {"not hex text", "decrypt", "XYZ\n",
       "die Eingabe ist kein Hex-Text aus ganzen Gruppen zu 16 Ziffern (0-9, A-F)"},
      {"not whole groups", "decrypt", "0123456789ABCDEF01\n",
       "die Eingabe ist kein Hex-Text aus ganzen Gruppen zu 16 Ziffern (0-9, A-F)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ProcessResult result = Cred({c.command}, c.input);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "kolvadex-cred: " + c.message + "\n");
  }
}

TEST_F(CredToolTest, CommandLine) {
  const ProcessResult version = Cred({"--version"});
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_EQ(version.out, std::string("kolvadex-cred ") + kVersion + "\n");

  const ProcessResult help = Cred({"--help"});
  EXPECT_EQ(help.exit_status, 0);
  for (const char* command : {"encrypt", "decrypt", "write", "set", "show", "check", "--version"}) {
    EXPECT_NE(help.out.find(std::string("  ") + command + " "), std::string::npos) << command;
  }
  const ProcessResult set_help = Cred({"set", "--help"});
  EXPECT_EQ(set_help.exit_status, 0);
  EXPECT_NE(set_help.out.find("Aufruf: kolvadex-cred set [OPTIONEN] DATEI SCHLUESSEL\n"),
            std::string::npos)
      << set_help.out;

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{}, "ein Befehl fehlt (encrypt, decrypt, write, set, show oder check)"},
      {{"frob"}, "unbekannter Befehl 'frob'"},
      // Values never come from the command line.
      {{"encrypt", "tiger"}, "unerwartetes Argument 'tiger'"},
      {{"set", "QV.INI", "PASS", "tiger"}, "unerwartetes Argument 'tiger'"},
      {{"write"}, "die Datei fehlt"},
      {{"set", "QV.INI"}, "der Schluessel fehlt (NET8, LOGIN, PASS oder DB_SYSTEM)"},
      {{"show", "--bogus", "QV.INI"}, "unerwartetes Argument '--bogus'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const ProcessResult result = Cred(c.args, "a\nb\nc\nd\n");
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "kolvadex-cred: " + c.message + "\nHilfe: kolvadex-cred --help\n");
  }
  EXPECT_EQ(Names(), (std::vector<std::string>{"KOLVADEX.SQLITE.INI", "app.db"}));
}

// ---- On a terminal --------------------------------------------------------

struct TerminalResult {
  int exit_status = -1;  // the exit status, or 128 + signal number
  std::string screen;    // everything the terminal showed
  bool echo_after = false;
};

// Runs kolvadex-cred on a new pseudo terminal in `folder` and types each of
// `typed` (a line, or a single control character) once the program waits at
// its next prompt, which ends with ": ".
TerminalResult RunOnTerminal(const std::vector<std::string>& args, const std::string& folder,
                             const std::vector<std::string>& typed) {
  TerminalResult result;
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) {
    ADD_FAILURE() << "forkpty failed";
    return result;
  }
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    std::string program = KOLVADEX_CRED_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  const auto read_some = [&](int timeout_ms) {
    pollfd fd{terminal, POLLIN, 0};
    if (poll(&fd, 1, timeout_ms) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n <= 0) return false;
    result.screen.append(buffer, static_cast<std::size_t>(n));
    return true;
  };
  std::size_t seen = 0;
  for (const std::string& input : typed) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!(result.screen.size() > seen && result.screen.ends_with(": ")) &&
           std::chrono::steady_clock::now() < deadline) {
      read_some(100);
    }
    seen = result.screen.size();
    const std::string keys = input.size() == 1 && input[0] < ' ' ? input : input + "\r";
    EXPECT_EQ(write(terminal, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  int status = 0;
  // A program that still waits for input after everything was typed is a
  // failure, not a hanging test.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "kolvadex-cred did not end: " << result.screen;
      kill(pid, SIGKILL);
    }
    read_some(50);
  }
  while (read_some(0)) {
  }
  termios settings{};
  result.echo_after = tcgetattr(terminal, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
  close(terminal);
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

TEST_F(CredToolTest, OnATerminalThePasswordIsTypedWithoutEcho) {
  const TerminalResult result = RunOnTerminal({"write", "QV.INI"}, dir_.path(),
                                              {db_, "scott", "s3cret!", "s3cret!", "SQLITE"});
  EXPECT_EQ(result.exit_status, 0) << result.screen;
  EXPECT_EQ(result.screen,
            "Dienstname (NET8): " + db_ +
                "\r\nBenutzer (LOGIN): scott\r\nPasswort (PASS): \r\n"
                "Noch einmal zur Kontrolle: \r\nDatenbanksystem (DB_SYSTEM): SQLITE\r\n");
  EXPECT_TRUE(result.echo_after);
  const std::string text = Read("QV.INI");
  EXPECT_EQ(Lookup(text, "PASS"), "s3cret!");
  EXPECT_EQ(Kolvadex({"CLOSE", "QV.INI", "alpha"}).exit_status, 58);

  const TerminalResult rotated =
      RunOnTerminal({"set", "QV.INI", "PASS"}, dir_.path(), {"n3w", "n3w"});
  EXPECT_EQ(rotated.exit_status, 0) << rotated.screen;
  EXPECT_EQ(rotated.screen.find("n3w"), std::string::npos) << rotated.screen;
  EXPECT_EQ(Lookup(Read("QV.INI"), "PASS"), "n3w");
}

TEST_F(CredToolTest, OnATerminalTwoDifferentPasswordsAreRefused) {
  const TerminalResult result =
      RunOnTerminal({"write", "QV.INI"}, dir_.path(), {"svc", "scott", "one", "two"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_TRUE(result.screen.ends_with("kolvadex-cred: die beiden Eingaben sind verschieden\r\n"))
      << result.screen;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("QV.INI")));
}

TEST_F(CredToolTest, OnATerminalAnInterruptBringsTheEchoBack) {
  const TerminalResult result = RunOnTerminal({"encrypt"}, dir_.path(), {"\x03"});
  EXPECT_EQ(result.exit_status, 128 + SIGINT) << result.screen;
  EXPECT_TRUE(result.echo_after);
  const TerminalResult ended = RunOnTerminal({"decrypt"}, dir_.path(), {"\x04"});
  EXPECT_EQ(ended.exit_status, 1) << ended.screen;
  EXPECT_TRUE(ended.screen.ends_with("kolvadex-cred: Eingabe abgebrochen\r\n")) << ended.screen;
  EXPECT_TRUE(ended.echo_after);
}

}  // namespace
}  // namespace kolvadex::testing
