#include "credentials/credential_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "credentials/cipher.h"

namespace kolvadex::credentials {
namespace {

TEST(FindCharPosTest, NthOccurrenceOrLastOrNone) {
  EXPECT_EQ(FindCharPos("a;b;c", ';', 1), 1);
  EXPECT_EQ(FindCharPos("a;b;c", ';', 2), 3);
  EXPECT_EQ(FindCharPos("a;b;c", ';', 3), 3);  // fewer than n: the last one
  EXPECT_EQ(FindCharPos("abc", ';', 1), -1);
  EXPECT_EQ(FindCharPos("", ';', 1), -1);
}

TEST(SubStringTest, LengthZeroMeansToTheEndAndNegativeMeansNothing) {
  EXPECT_EQ(SubString("x;;y\n", 2, 0), ";y\n");
  EXPECT_EQ(SubString("abcdef", 1, 3), "bcd");
  EXPECT_EQ(SubString("abcdef", 1, -1), "");
}

struct FieldCase {
  const char* name;
  std::string header;
  std::string entry;
  std::optional<std::int32_t> number;
  std::string section;
  std::string key;
  std::string value;
};

TEST(ParseRecordTest, FieldRules) {
  const FieldCase cases[] = {
      {"plain", "H;SYS;x\n", "1;NET8;ABCD\n", 1, "SYS", "NET8", "ABCD"},
      {"header without two separators", "\n", "2;LOGIN;AB\n", 2, "", "LOGIN", "AB"},
      {"header with one separator", "H;SYS\n", "2;LOGIN;AB\n", 2, "", "LOGIN", "AB"},
      {"adjacent separators in the header", "x;;y\n", "2;LOGIN;AB\n", 2, ";y\n", "LOGIN", "AB"},
      {"number 0", "H;S;x\n", "0;LOGIN;AB\n", 0, "S", "LOGIN", "AB"},
      {"number not a number", "H;S;x\n", "abc;LOGIN;AB\n", 0, "S", "LOGIN", "AB"},
      {"number with blanks and sign", "H;S;x\n", "  -12x;K;AB\n", -12, "S", "K", "AB"},
      {"empty number field", "H;S;x\n", ";LOGIN;AB\n", 0, "S", "LOGIN", "AB"},
      {"one separator only", "H;S;x\n", "7;0123456789ABCDEF\n", 7, "S", "", "0123456789ABCDEF"},
      {"no separator", "H;S;x\n", "0123456789ABCDEF\n", std::nullopt, "S", "", "0123456789ABCDEF"},
      {"adjacent separators in the entry", "H;S;x\n", "5;;ABC\n", 5, "S", ";ABC\n", "ABC"},
      {"empty value", "H;S;x\n", "3;PASS;\n", 3, "S", "PASS", ""},
      {"no final line feed", "H;S;x\n", "3;PASS;ABCD", 3, "S", "PASS", "ABCD"},
      {"more separators in the value", "H;S;x\n", "3;K;A;B\n", 3, "S", "K", "A;B"},
      {"huge number saturates", "H;S;x\n", "99999999999999999999;K;A\n", INT32_MAX, "S", "K", "A"},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CredentialRecord record = ParseRecord(c.header, c.entry);
    EXPECT_EQ(record.number, c.number);
    EXPECT_EQ(record.section, c.section);
    EXPECT_EQ(record.key, c.key);
    EXPECT_EQ(record.value, c.value);
  }
}

std::string Record(const std::string& header, const std::string& number, const std::string& key,
                   const std::string& plain) {
  return header + "\n" + number + ";" + key + ";" + EncryptValue(plain) + "\n";
}

std::string Lookup(const std::string& text, const std::string& key) {
  const DbValue answer = GetDbValue(text, "", key, 0);
  return std::string(answer.value.view());
}

TEST(GetDbValueTest, KeyDecidesInAWellFormedFile) {
  const std::string text = Record("H;SYS;x", "1", "NET8", "service") +
                           Record("H;SYS;x", "2", "LOGIN", "scott") +
                           Record("H;SYS;x", "3", "PASS", "tiger") +
                           Record("H;SYS;x", "4", "DB_SYSTEM", "SQLITE");
  EXPECT_EQ(Lookup(text, "NET8"), "service");
  EXPECT_EQ(Lookup(text, "LOGIN"), "scott");
  EXPECT_EQ(Lookup(text, "PASS"), "tiger");
  EXPECT_EQ(Lookup(text, "DB_SYSTEM"), "SQLITE");
  EXPECT_EQ(GetDbValue(text, "", "OTHER", 0).outcome, DbValue::Outcome::kNotFound);
}

TEST(GetDbValueTest, RecordsThatAnswerEveryRequest) {
  const std::string rest = Record("H;SYS;x", "2", "LOGIN", "scott");
  for (const std::string& first : {Record("", "1", "NET8", "first"),        // empty section
                                   Record("H;SYS;x", "0", "NET8", "first"),  // number 0
                                   Record("H;SYS;x", "abc", "NET8", "first"),
                                   Record("H;SYS;x", "", "NET8", "first")}) {
    SCOPED_TRACE(first);
    EXPECT_EQ(Lookup(first + rest, "LOGIN"), "first");
  }
}

TEST(GetDbValueTest, CaseAndLineEnds) {
  const std::string lower = Record("H;SYS;x", "1", "net8", "lower");
  EXPECT_EQ(GetDbValue(lower, "", "NET8", 0).outcome, DbValue::Outcome::kNotFound);

  std::string crlf = Record("H;SYS;x", "1", "NET8", "service");
  for (std::size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2)) {
    crlf.insert(at, "\r");
  }
  EXPECT_EQ(Lookup(crlf, "NET8"), "service");

  std::string no_final_line_feed = Record("H;SYS;x", "1", "NET8", "service");
  no_final_line_feed.pop_back();
  EXPECT_EQ(Lookup(no_final_line_feed, "NET8"), "service");
}

TEST(GetDbValueTest, LongLinesAreReadWhole) {
  const std::string long_value(5000, 'v');
  const std::string text = Record("H;" + std::string(300, 's') + ";x", "1", "NET8", long_value);
  EXPECT_EQ(Lookup(text, "NET8"), long_value);
}

TEST(GetDbValueTest, NoAnswerAndBadValues) {
  EXPECT_EQ(GetDbValue("", "", "NET8", 0).outcome, DbValue::Outcome::kNotFound);
  EXPECT_EQ(GetDbValue("H;SYS;x\n", "", "NET8", 0).outcome, DbValue::Outcome::kNotFound);
  const DbValue bad = GetDbValue("H;SYS;x\n1;NET8;XYZ\n", "", "NET8", 0);
  EXPECT_EQ(bad.outcome, DbValue::Outcome::kBadValue);
  EXPECT_TRUE(bad.value.empty());
  // An empty value field is an empty value, not a bad one.
  const DbValue empty = GetDbValue("H;SYS;x\n1;NET8;\n", "", "NET8", 0);
  EXPECT_EQ(empty.outcome, DbValue::Outcome::kFound);
  EXPECT_TRUE(empty.value.empty());
}

TEST(CredentialReaderTest, LineNumbersAndAHeaderWithoutEntry) {
  CredentialReader reader("H;A;x\n1;NET8;\nH;B;x\n2;LOGIN;\nH;C;x\n");
  CredentialRecord record;
  ASSERT_TRUE(reader.Next(record));
  EXPECT_EQ(record.header_line, 1U);
  EXPECT_EQ(record.entry_line, 2U);
  ASSERT_TRUE(reader.Next(record));
  EXPECT_EQ(record.section, "B");
  EXPECT_EQ(record.entry_line, 4U);
  EXPECT_FALSE(reader.Next(record));
}

}  // namespace
}  // namespace kolvadex::credentials
