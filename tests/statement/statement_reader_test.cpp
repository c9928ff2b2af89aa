#include "statement/statement_reader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

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

}  // namespace
}  // namespace kolvadex::statement
