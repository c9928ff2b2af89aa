#include "statement/statement_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "support/temp_dir.h"

namespace kolvadex::statement {
namespace {

std::string Assemble(const std::string& profile) {
  return AssembleStatement(ReadProfileSection(profile, "S"));
}

TEST(AssembleStatementTest, JoinsPiecesWithBlanks) {
  EXPECT_EQ(Assemble("[S]\nSQL001=UPDATE T SET A = 1\nSQL002=WHERE B = 2\n"),
            " UPDATE T SET A = 1 WHERE B = 2 ");
}

TEST(AssembleStatementTest, StopsAtTheFirstMissingOrEmptyKey) {
  EXPECT_EQ(Assemble("[S]\nSQL001=A\nSQL003=C\n"), " A ");
  EXPECT_EQ(Assemble("[S]\nSQL001=A\nSQL002=\nSQL003=C\n"), " A ");
  EXPECT_EQ(Assemble("[S]\nSQL001=\nSQL002=B\n"), " ");
  EXPECT_EQ(Assemble("[T]\nSQL001=A\n"), " ");
}

TEST(AssembleStatementTest, LongValuesAreAppendedWhole) {
  for (const std::size_t length : {79UL, 80UL, 81UL, 240UL, 500UL, 100000UL}) {
    const std::string value(length, 'v');
    EXPECT_EQ(Assemble("[S]\nSQL001=" + value + "\nSQL002=w\n"), " " + value + " w ");
  }
}

TEST(AssembleStatementTest, KeysGoOnPastSql999) {
  std::string profile = "[S]\n";
  std::string expected;
  for (int n = 1; n <= 1001; ++n) {
    profile += StatementKey(n) + "=" + std::to_string(n) + "\n";
    expected += " " + std::to_string(n);
  }
  EXPECT_EQ(StatementKey(7), "SQL007");
  EXPECT_EQ(StatementKey(1000), "SQL1000");
  EXPECT_EQ(Assemble(profile), expected + " ");
}

TEST(StatementFileNameTest, NamesTheFileAndRefusesPaths) {
  EXPECT_EQ(StatementFileName("ORACLE"), "KOLVADEX.ORACLE.INI");
  EXPECT_EQ(StatementFileName(""), "KOLVADEX..INI");
  for (const char* bad : {"../ORACLE", "A/B", "A\\B", "..", "X..Y"}) {
    EXPECT_FALSE(StatementFileName(bad).has_value()) << bad;
  }
}

TEST(GetIniValuesTest, DatabaseSystemWithAPathIsRefusedBeforeAnyFileIsRead) {
  RunState state;
  state.section_name = "S";
  state.database_system = "../../etc/X";
  std::ostringstream out;
  EXPECT_EQ(GetIniValues(state, out), 3);
  EXPECT_EQ(out.str(), "Ungueltiges Datenbanksystem '../../etc/X': es darf keinen Pfad enthalten\n");
}

// Makes a folder the working directory for the life of the object.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& path) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;
  ~WorkingDirectory() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

TEST(GetIniValuesTest, StatementWithAZeroByteIsRefused) {
  using namespace std::string_literals;
  // The database interfaces end a statement at a zero byte: run, this would
  // be "UPDATE T SET A = 1", and change every row.
  const testing::TempDir dir;
  dir.Write("KOLVADEX.SQLITE.INI", "[UPD]\nSQL001=UPDATE T SET A = 1 \0\nSQL002=WHERE B = 2\n"s);
  const WorkingDirectory inside(dir.path());
  for (const bool trace : {false, true}) {
    SCOPED_TRACE(trace);
    RunState state;
    state.section_name = "UPD";
    state.database_system = "SQLITE";
    state.trace = trace;
    std::ostringstream out;
    EXPECT_EQ(GetIniValues(state, out), 3);
    EXPECT_EQ(out.str(), std::string(trace ? "\nStr GetIniValues\n" : "") +
                             "Anweisung der Sektion 'UPD' in KOLVADEX.SQLITE.INI enthaelt ein "
                             "Nullbyte und wird nicht ausgefuehrt\n");
    EXPECT_EQ(state.statement_text, "");
  }
  // A zero byte in another section does not matter.
  dir.Write("KOLVADEX.SQLITE.INI", "[UPD]\nSQL001=UPDATE T SET A = 1\n[OTHER]\nSQL001=\0\n"s);
  RunState state;
  state.section_name = "UPD";
  state.database_system = "SQLITE";
  std::ostringstream out;
  EXPECT_EQ(GetIniValues(state, out), 0);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(state.statement_text, " UPDATE T SET A = 1 ");
}

}  // namespace
}  // namespace kolvadex::statement
