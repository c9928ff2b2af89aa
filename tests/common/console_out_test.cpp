#include "common/console_out.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <sstream>
#include <string>

namespace kolvadex {
namespace {

TEST(ConsoleOutTest, NumbersAreWrittenAsPrintfWritesThem) {
  for (const int number : {0, 7, -1, 1403, -26, -100000, INT_MAX, INT_MIN}) {
    std::ostringstream stream;
    ConsoleOut(stream) << number;
    char expected[32];
    std::snprintf(expected, sizeof expected, "%d", number);
    EXPECT_EQ(stream.str(), expected);
  }
  std::ostringstream stream;
  ConsoleOut(stream) << std::size_t{99} << ' ' << -5L;
  EXPECT_EQ(stream.str(), "99 -5");
}

TEST(ConsoleOutTest, TextsGoToTheSinkWholeAndInOrder) {
  using namespace std::string_literals;
  std::ostringstream stream;
  const std::string parameter = "a\0b"s;  // a zero byte does not end the text
  ConsoleOut out(stream);
  out << " Parm = '" << parameter << "'" << '\n' << std::string_view("x");
  EXPECT_EQ(stream.str(), " Parm = 'a\0b'\nx"s);
}

TEST(ConsoleOutTest, ACopyWritesToTheSameSink) {
  std::string collected;
  ConsoleOut out(&collected, [](void* sink, std::string_view text) {
    static_cast<std::string*>(sink)->append(text);
  });
  const auto print = [](ConsoleOut copy) { copy << "dbConnect_Status: " << -14 << "\n"; };
  print(out);
  out << "Ende\n";
  EXPECT_EQ(collected, "dbConnect_Status: -14\nEnde\n");
}

}  // namespace
}  // namespace kolvadex
