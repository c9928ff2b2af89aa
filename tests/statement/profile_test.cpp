#include "statement/profile.h"

#include <gtest/gtest.h>

#include <string>

namespace kolvadex::statement {
namespace {

struct ProfileCase {
  const char* name;
  std::string text;
  std::string section;
  std::string key;
  std::string expected;
};

TEST(ProfileTest, ObservableRulesOfTheProfileApi) {
  const ProfileCase cases[] = {
      {"plain", "[S]\nK=v\n", "S", "K", "v"},
      {"section and key ignore case", "[GetTerm]\nsql001=v\n", "GETTERM", "SQL001", "v"},
      {"blanks around names and values", "  [ S ]  \n \t K \v=  v w \t\n", "S", "K", "v w"},
      {"double quotes", "[S]\nK=  \" v \"  \n", "S", "K", " v "},
      {"single quotes", "[S]\nK='v'\n", "S", "K", "v"},
      {"mismatched quotes stay", "[S]\nK=\"v'\n", "S", "K", "\"v'"},
      {"one quote stays", "[S]\nK=\"\n", "S", "K", "\""},
      {"inner quotes stay", "[S]\nK=a \"b\" c\n", "S", "K", "a \"b\" c"},
      {"comment line", "[S]\n;K=v\nK=w\n", "S", "K", "w"},
      {"indented comment line", "[S]\n  ;K=v\n", "S", "K", ""},
      {"semicolon inside a value", "[S]\nK=UPDATE T SET A=1; -- x\n", "S", "K", "UPDATE T SET A=1; -- x"},
      {"hash is text", "[S]\n#K=v\n", "S", "#K", "v"},
      {"value after the first equals", "[S]\nK=a=b\n", "S", "K", "a=b"},
      {"empty value", "[S]\nK=\nK=w\n", "S", "K", ""},
      {"first key wins", "[S]\nK=1\nk=2\n", "S", "K", "1"},
      {"first section only", "[S]\nA=1\n[T]\nK=t\n[S]\nK=2\n", "S", "K", ""},
      {"line without equals", "[S]\nK\nK=v\n", "S", "K", "v"},
      {"CR LF", "[S]\r\nK=v\r\nL=w\r\n", "S", "L", "w"},
      {"CR alone", "[S]\rK=v\rL=w", "S", "L", "w"},
      {"last line without line end", "[S]\nK=v", "S", "K", "v"},
      {"byte-order mark", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "v"},
      {"missing section", "[T]\nK=v\n", "S", "K", ""},
      {"missing key", "[S]\nL=v\n", "S", "K", ""},
      {"keys before any section", "K=v\n[S]\n", "S", "K", ""},
      {"header without closing bracket", "[S\nK=v\n", "S", "K", "v"},
      {"text after the closing bracket", "[S] x\nK=v\n", "S", "K", "v"},
      {"empty text", "", "S", "K", ""},
  };
  for (const ProfileCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(GetProfileString(c.text, c.section, c.key), c.expected);
  }
}

}  // namespace
}  // namespace kolvadex::statement
