#include "statement/substitution.h"

#include <gtest/gtest.h>

#include <string>

namespace kolvadex::statement {
namespace {

struct SubstitutionCase {
  const char* name;
  std::string statement;
  ParameterList parameters;
  std::string expected;
};

TEST(ReplaceParametersTest, FirstOccurrenceOfEachPlaceholderInOrder) {
  const SubstitutionCase cases[] = {
      {"quoted and bare", "UPDATE T SET A = '$parm01' WHERE B = $parm02", {"X", "5"},
       "UPDATE T SET A = 'X' WHERE B = 5"},
      {"only the first occurrence", "$parm01 $parm01", {"X"}, "X $parm01"},
      {"seven characters match", "$parm010", {"X"}, "X0"},
      {"one digit never matches", "$parm1", {"X"}, "$parm1"},
      {"parameter holding a later placeholder", "$parm01", {"$parm02", "Y"}, "Y"},
      {"parameter holding an earlier placeholder", "$parm02", {"X", "$parm01"}, "$parm01"},
      {"more placeholders than parameters", "$parm01 $parm02", {"X"}, "X $parm02"},
      {"upper case is no placeholder", "$PARM01", {"X"}, "$PARM01"},
      {"$parm00 is never replaced", "$parm00", {"X"}, "$parm00"},
      {"empty parameter", "A$parm01B", {""}, "AB"},
      {"no parameters", "$parm01", {}, "$parm01"},
      {"parameter 10", "$parm10", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten"}, "ten"},
  };
  for (const SubstitutionCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string statement = c.statement;
    ReplaceParameters(statement, c.parameters);
    EXPECT_EQ(statement, c.expected);
  }
}

TEST(ReplaceParametersTest, NinetyNineLargeParameters) {
  std::string statement;
  ParameterList parameters;
  std::string expected;
  for (int k = 1; k <= 99; ++k) {
    statement += Placeholder(k) + ",";
    parameters.push_back(std::string(10000, static_cast<char>('a' + k % 26)));
    expected += parameters.back() + ",";
  }
  ReplaceParameters(statement, parameters);
  EXPECT_EQ(statement, expected);
}

}  // namespace
}  // namespace kolvadex::statement
