#include "run/command_line.h"

#include "common/version.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace kolvadex {
namespace {

struct Parsed {
  int result;
  RunState state;
  std::string out;
};

Parsed Parse(std::vector<std::string_view> args) {
  args.insert(args.begin(), "kolvadex");
  Parsed parsed{0, {}, {}};
  std::ostringstream out;
  parsed.result = CheckArguments(args, parsed.state, out);
  parsed.out = out.str();
  return parsed;
}

TEST(CheckArgumentsTest, TraceSwitchAndParameters) {
  const Parsed p = Parse({"S", "F", "a", "/D", "b"});
  EXPECT_EQ(p.result, 0);
  EXPECT_EQ(p.state.section_name, "S");
  EXPECT_EQ(p.state.credential_file, "F");
  EXPECT_TRUE(p.state.trace);
  EXPECT_EQ(p.state.parameters, (ParameterList{"a", "b"}));
  EXPECT_EQ(p.out, " Parm = 'a'\n Parm = 'b'\n");
}

TEST(CheckArgumentsTest, TraceSwitchAloneGivesNoParameters) {
  const Parsed p = Parse({"S", "F", "/d"});
  EXPECT_EQ(p.result, 0);
  EXPECT_TRUE(p.state.trace);
  EXPECT_TRUE(p.state.parameters.empty());
  EXPECT_EQ(p.out, "");
}

TEST(CheckArgumentsTest, LookalikesOfTheSwitchAreParameters) {
  const Parsed p = Parse({"/D", "F", "-D", "/debug", "/DD", ""});
  EXPECT_EQ(p.result, 0);
  EXPECT_FALSE(p.state.trace);
  EXPECT_EQ(p.state.section_name, "/D");
  EXPECT_EQ(p.state.parameters, (ParameterList{"-D", "/debug", "/DD", ""}));
  EXPECT_EQ(p.out, "");
}

TEST(CheckArgumentsTest, TooFewArgumentsPrintHeaderAndUsage) {
  std::string notice = std::string("** (c) KOLVADEX-Entwickler, Version ") + kVersion;
  notice.resize(52, ' ');
  const std::string expected = std::string("\n") +
      "******************************************************\n" +
      notice + "**\n" +
      "** Projekt      : QUAVENTIS                         **\n"
      "** Tool         : KOLVADEX                          **\n"
      "** Beschreibung : Ausfuehren einer SQL-UPDATE       **\n"
      "**                Anweisung                         **\n"
      "**                                                  **\n"
      "******************************************************\n"
      "\n"
      "Falsche Anzahl Parameter\n"
      "\n"
      "Befehlsformat: \n"
      "KOLVADEX.EXE Sektionsname INI-Dateiname n-Parameter  \n"
      "\n"
      "Sektionsname  = Name der Sektion in der Ini-Datei \n"
      "INI-Dateiname = Dateiname der Entschluesselten QUAVENTIS-INI \n"
      "Parameter     = Schluesselwert \n"
      "\n"
      "Beispiel:\n"
      "KOLVADEX.EXE GETTERM .\\FILES\\QV.INI \"Parameter01\"\n . . .\n";
  for (const auto& args : {std::vector<std::string_view>{}, std::vector<std::string_view>{"S"},
                           std::vector<std::string_view>{"S", "F"}}) {
    const Parsed p = Parse(args);
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(p.out, expected);
  }
}

TEST(CheckArgumentsTest, AtMost99Parameters) {
  std::vector<std::string> storage(100, "p");
  std::vector<std::string_view> args = {"S", "F", "/D"};
  args.insert(args.end(), storage.begin(), storage.begin() + 99);
  EXPECT_EQ(Parse(args).result, 0);
  args.push_back(storage.back());
  const Parsed p = Parse(args);
  EXPECT_EQ(p.result, 1);
  EXPECT_EQ(p.out, "Zu viele Parameter: hoechstens 99 sind erlaubt\n");
}

}  // namespace
}  // namespace kolvadex
