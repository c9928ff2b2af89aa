#include "credentials/credential_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "credentials/cipher.h"

namespace kolvadex::credentials {
namespace {

std::string Lookup(std::string_view text, std::string_view key) {
  const DbValue answer = GetDbValue(text, "", key, 0);
  EXPECT_EQ(answer.outcome, DbValue::Outcome::kFound) << key;
  return std::string(answer.value.view());
}

std::string Record(const std::string& header, const std::string& number, const std::string& key,
                   const std::string& plain) {
  return header + "\n" + number + ";" + key + ";" + EncryptValue(plain) + "\n";
}

std::string GoodFile(const std::string& db_system = "ORACLE") {
  return FormatCredentialFile({"service", "scott", "tiger", db_system});
}

TEST(FormatCredentialFileTest, OneRecordPerKeyInTheOrderKolvadexAsks) {
  EXPECT_EQ(FormatCredentialFile({"service", "scott", "tiger", "ORACLE"}),
            "KOLVADEX;KOLVADEX;\n1;NET8;" + EncryptValue("service") +
                "\nKOLVADEX;KOLVADEX;\n2;LOGIN;" + EncryptValue("scott") +
                "\nKOLVADEX;KOLVADEX;\n3;PASS;" + EncryptValue("tiger") +
                "\nKOLVADEX;KOLVADEX;\n4;DB_SYSTEM;" + EncryptValue("ORACLE") + "\n");
}

TEST(FormatCredentialFileTest, EveryValueReadsBackAsWritten) {
  // Empty values, whole blocks without padding, separators and long values.
  const std::vector<CredentialValues> cases = {
      {"/data/app.db", "", "", "SQLITE"},
      {"12345678", "1234567", "123456789", "SQLITE"},
      {"host:1521/service;x", "a;b;c", "p@ss;w=rd \"'", "ORACLE"},
      {"(DESCRIPTION=(ADDRESS=(PROTOCOL=TCP)(HOST=db.example)(PORT=1521))(CONNECT_DATA=(SERVICE_"
       "NAME=long.service.name.example)))",
       std::string_view("\xE4\xF6\xFC"), "x", "POSTGRESQL"},
  };
  for (const CredentialValues& values : cases) {
    const std::string text = FormatCredentialFile(values);
    for (std::size_t i = 0; i < kCredentialKeys.size(); ++i) {
      EXPECT_EQ(Lookup(text, kCredentialKeys[i]), values[i]);
    }
    EXPECT_TRUE(CheckCredentialFile(text).ok());
  }
}

TEST(CheckPlainValueTest, ZeroBytesAndLineEndsCannotBeStored) {
  EXPECT_EQ(CheckPlainValue(""), PlainValueProblem::kNone);
  EXPECT_EQ(CheckPlainValue("tiger; \t\"x\""), PlainValueProblem::kNone);
  EXPECT_EQ(CheckPlainValue(std::string_view("ti\0ger", 6)), PlainValueProblem::kZeroByte);
  EXPECT_EQ(CheckPlainValue("tiger\n"), PlainValueProblem::kLineEnd);
  EXPECT_EQ(CheckPlainValue("ti\rger"), PlainValueProblem::kLineEnd);
}

// The text before and after the replaced value must be the original bytes.
void ExpectOnlyValueChanged(const std::string& before, const std::string& after,
                            const std::string& old_value, const std::string& new_value) {
  const std::size_t at = before.find(old_value);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(after.substr(0, at), before.substr(0, at));
  EXPECT_EQ(after.substr(at, new_value.size()), new_value);
  EXPECT_EQ(after.substr(at + new_value.size()), before.substr(at + old_value.size()));
}

TEST(ReplaceValueTest, KeepsEveryOtherByte) {
  const std::string old_pass = EncryptValue("tiger");
  const std::string new_pass = EncryptValue("lion-2025");
  struct Case {
    const char* name;
    std::string text;
  };
  const std::string lf = GoodFile();
  std::string crlf;
  for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const Case cases[] = {
      {"LF lines", lf},
      {"CR LF lines", crlf},
      {"mixed line ends, other headers, a second PASS record and a last line without line feed",
       "QUAVENTIS;PROD;whatever\r\n1;NET8;" + EncryptValue("svc") + "\r\nX;Y;Z\n" + "7;LOGIN;" +
           EncryptValue("scott") + "\nQ;P;\n3;PASS;" + old_pass + "\r\nQ;P;\n9;PASS;" +
           EncryptValue("later") + "\nQ;D;\n4;DB_SYSTEM;" + EncryptValue("ORACLE")},
      {"the PASS record last, without line feed",
       Record("A;B;", "1", "NET8", "svc") + "A;B;\n3;PASS;" + old_pass},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Replacement replaced = ReplaceValue(c.text, "PASS", "lion-2025");
    ASSERT_EQ(replaced.outcome, Replacement::Outcome::kReplaced);
    ExpectOnlyValueChanged(c.text, replaced.text, ";PASS;" + old_pass, ";PASS;" + new_pass);
    EXPECT_EQ(Lookup(replaced.text, "PASS"), "lion-2025");
    for (const std::string_view key : {"NET8", "LOGIN", "DB_SYSTEM"}) {
      EXPECT_EQ(GetDbValue(replaced.text, "", key, 0).value.view(),
                GetDbValue(c.text, "", key, 0).value.view());
    }
  }
}

TEST(ReplaceValueTest, BrokenAndEmptyValuesAreReplacedWhole) {
  for (const std::string& value :
       {std::string(""), std::string("XYZ"), std::string("ABC;DEF"), EncryptValue("old") + "\r"}) {
    SCOPED_TRACE(value);
    const std::string text = "A;B;\n1;NET8;" + value;
    const Replacement replaced = ReplaceValue(text, "NET8", "new");
    ASSERT_EQ(replaced.outcome, Replacement::Outcome::kReplaced);
    EXPECT_EQ(replaced.text, "A;B;\n1;NET8;" + EncryptValue("new"));
  }
  const Replacement emptied = ReplaceValue(GoodFile(), "LOGIN", "");
  ASSERT_EQ(emptied.outcome, Replacement::Outcome::kReplaced);
  EXPECT_NE(emptied.text.find("\n2;LOGIN;\n"), std::string::npos);
}

TEST(ReplaceValueTest, RefusesWhereOtherKeysWouldChangeToo) {
  const std::string rest =
      Record("A;B;", "2", "LOGIN", "scott") + Record("A;B;", "3", "PASS", "tiger");
  struct Case {
    const char* name;
    std::string text;
    std::string key;
    Replacement::Outcome outcome;
    std::string other_key;
  };
  const Case cases[] = {
      {"no record for the key", rest, "NET8", Replacement::Outcome::kKeyMissing, ""},
      {"a lower-case key is another key", rest + Record("A;B;", "4", "db_system", "x"), "DB_SYSTEM",
       Replacement::Outcome::kKeyMissing, ""},
      {"number 0 answers every key", Record("A;B;", "0", "NET8", "svc") + rest, "LOGIN",
       Replacement::Outcome::kOtherRecord, ""},
      {"empty section answers every key", Record("A", "1", "NET8", "svc") + rest, "PASS",
       Replacement::Outcome::kOtherRecord, ""},
      {"its own record answers a later key as well", rest + Record("A;B;", "0", "NET8", "svc"),
       "NET8", Replacement::Outcome::kSharedRecord, "DB_SYSTEM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Replacement replaced = ReplaceValue(c.text, c.key, "new");
    EXPECT_EQ(replaced.outcome, c.outcome);
    EXPECT_EQ(replaced.other_key, c.other_key);
    EXPECT_TRUE(replaced.text.empty());
  }
  // A record with number 0 that only answers its own key in practice (the
  // other keys are answered before it) can be changed.
  const std::string last =
      Record("A;B;", "1", "NET8", "svc") + rest + Record("A;B;", "0", "DB_SYSTEM", "ORACLE");
  EXPECT_EQ(ReplaceValue(last, "DB_SYSTEM", "SQLITE").outcome, Replacement::Outcome::kReplaced);
}

struct Expected {
  CredentialProblem::Kind kind;
  std::string key;         // empty for a record problem
  std::size_t entry_line;  // 0 for a missing key
};

TEST(CheckCredentialFileTest, FindsEveryProblem) {
  using Kind = CredentialProblem::Kind;
  const std::string net8 = Record("A;B;", "1", "NET8", "svc");
  const std::string login = Record("A;B;", "2", "LOGIN", "scott");
  const std::string pass = Record("A;B;", "3", "PASS", "tiger");
  const std::string oracle = Record("A;B;", "4", "DB_SYSTEM", "ORACLE");
  struct Case {
    const char* name;
    std::string text;
    std::vector<Expected> problems;
  };
  const Case cases[] = {
      {"a good file", net8 + login + pass + oracle, {}},
      {"a good file with CR LF",
       "A;B;\r\n1;NET8;" + EncryptValue("svc") + "\r\n" + login + pass + oracle,
       {}},
      {"an empty file",
       "",
       {{Kind::kMissingKey, "NET8", 0},
        {Kind::kMissingKey, "LOGIN", 0},
        {Kind::kMissingKey, "PASS", 0},
        {Kind::kMissingKey, "DB_SYSTEM", 0}}},
      {"a missing key", net8 + login + oracle, {{Kind::kMissingKey, "PASS", 0}}},
      {"a lower-case key",
       net8 + login + Record("A;B;", "3", "pass", "tiger") + oracle,
       {{Kind::kMissingKey, "PASS", 0}}},
      {"number 0 first",
       Record("A;B;", "0", "NET8", "svc") + login + pass + oracle,
       {{Kind::kAnswersEveryKey, "", 2}}},
      {"a number that is not a number",
       net8 + Record("A;B;", "x", "LOGIN", "scott") + pass + oracle,
       {{Kind::kAnswersEveryKey, "", 4}}},
      {"an empty header line",
       net8 + login + Record("", "3", "PASS", "tiger") + oracle,
       {{Kind::kAnswersEveryKey, "", 6}}},
      {"a record with number 0 after all keys",
       net8 + login + pass + oracle + Record("A;B;", "0", "X", "y"),
       {{Kind::kAnswersEveryKey, "", 10}}},
      {"a value that is not hex text",
       net8 + "A;B;\n2;LOGIN;scott\n" + pass + oracle,
       {{Kind::kNotCipherText, "LOGIN", 4}}},
      {"a value that is not whole groups",
       net8 + login + pass + "A;B;\n4;DB_SYSTEM;ABCDEF\n",
       {{Kind::kNotCipherText, "DB_SYSTEM", 8}}},
      {"an empty value field",
       "A;B;\n1;NET8;\n" + login + pass + oracle,
       {{Kind::kEmptyValue, "NET8", 2}}},
      {"a value that deciphers to nothing",
       net8 + login + pass + Record("A;B;", "4", "DB_SYSTEM", ""),
       {{Kind::kEmptyValue, "DB_SYSTEM", 8}}},
      {"an empty password for Oracle",
       net8 + login + Record("A;B;", "3", "PASS", "") + oracle,
       {{Kind::kEmptyValue, "PASS", 6}}},
      {"empty user and password for SQLite",
       net8 + Record("A;B;", "2", "LOGIN", "") + Record("A;B;", "3", "PASS", "") +
           Record("A;B;", "4", "DB_SYSTEM", "sqlite"),
       {}},
      {"a header line without entry line shifts nothing before it",
       net8 + login + pass + oracle + "A;B;\n",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CredentialCheck check = CheckCredentialFile(c.text);
    ASSERT_EQ(check.problems.size(), c.problems.size());
    EXPECT_EQ(check.ok(), c.problems.empty());
    for (std::size_t i = 0; i < c.problems.size(); ++i) {
      const CredentialProblem& found = check.problems[i];
      EXPECT_EQ(found.kind, c.problems[i].kind) << i;
      EXPECT_EQ(found.key, c.problems[i].key) << i;
      EXPECT_EQ(found.record ? found.record->entry_line : 0U, c.problems[i].entry_line) << i;
    }
  }
}

TEST(CheckCredentialFileTest, SaysWhichRecordAnswersEachKey) {
  const std::string text = Record("A;B;", "1", "NET8", "svc") + Record("A", "2", "LOGIN", "scott") +
                           Record("A;B;", "3", "PASS", "tiger");
  const CredentialCheck check = CheckCredentialFile(text);
  ASSERT_TRUE(check.answers[0].record && check.answers[1].record && check.answers[2].record &&
              check.answers[3].record);
  EXPECT_EQ(check.answers[0].record->entry_line, 2U);
  EXPECT_EQ(check.answers[1].record->entry_line, 4U);
  // The record with the empty section answers DB_SYSTEM as well, before the
  // PASS record answers PASS.
  EXPECT_EQ(check.answers[2].record->entry_line, 4U);
  EXPECT_EQ(check.answers[3].record->entry_line, 4U);
  ASSERT_EQ(check.problems.size(), 1U);
  EXPECT_TRUE(check.problems[0].catch_all.empty_section);
  EXPECT_FALSE(check.problems[0].catch_all.number_zero);
  EXPECT_EQ(check.problems[0].answered_keys,
            (std::vector<std::string>{"LOGIN", "PASS", "DB_SYSTEM"}));
}

}  // namespace
}  // namespace kolvadex::credentials
