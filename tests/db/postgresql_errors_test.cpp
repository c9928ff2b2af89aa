#include <gtest/gtest.h>

#include "db/postgresql/errors.h"

namespace kolvadex::db::postgresql {
namespace {

TEST(PostgresqlErrorsTest, SqlStatesBecomeStatuses) {
  EXPECT_EQ(StatusFromSqlState("23505"), -403);
  for (const char* other : {"23503", "23502", "42P01", "40001", "2350", "235050", ""}) {
    EXPECT_EQ(StatusFromSqlState(other), -400) << other;
  }
  EXPECT_EQ(StatusFromSqlState(nullptr), -400);
}

TEST(PostgresqlErrorsTest, MessageIsOneLine) {
  EXPECT_EQ(ErrorText("42P01", "relation \"t\" does not exist", "ERROR: ...\n"),
            "SQLSTATE 42P01: relation \"t\" does not exist");
  // Without a SQLSTATE (libpq's own failure) libpq's text is used.
  EXPECT_EQ(ErrorText(nullptr, nullptr,
                      "server closed the connection unexpectedly\n\tThis "
                      "probably means the server terminated abnormally\n"),
            "server closed the connection unexpectedly This probably means the server "
            "terminated abnormally");
  EXPECT_EQ(ErrorText("", "x", nullptr), "");
  EXPECT_EQ(OneLine("  a\r\n\n b\t\tc  "), "a b c");
  EXPECT_EQ(OneLine(""), "");
}

TEST(PostgresqlErrorsTest, SecretsAreMasked) {
  EXPECT_EQ(Redact("uri postgresql://u:pw1@h/db and pw1 again", {"pw1", ""}),
            "uri postgresql://u:********@h/db and ******** again");
  // The mask itself may hold the secret's letters without looping.
  EXPECT_EQ(Redact("x**x", {"*"}), "x****************x");
  EXPECT_EQ(Redact("nothing here", {}), "nothing here");
}

}  // namespace
}  // namespace kolvadex::db::postgresql
