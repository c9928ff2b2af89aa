#include "common/text_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace kolvadex {
namespace {

// Bytes that a text reader could take apart: line ends of both kinds, zero
// bytes and every other byte value.
std::string Content(std::size_t size) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>((i * 7 + i / 251) % 256);
  return content;
}

TEST(ReadTextFileTest, ReadsEveryByteWhateverTheSize) {
  const testing::TempDir dir;
  // Around the first room (4096), and many times it.
  for (const std::size_t size :
       {0UL, 1UL, 4095UL, 4096UL, 4097UL, 8192UL, 3 * 4096UL + 5, 1000000UL}) {
    SCOPED_TRACE(size);
    const std::string content = Content(size);
    dir.Write("f", content);
    const TextFile file = ReadTextFile(dir.File("f"));
    EXPECT_EQ(file.state, TextFile::State::kRead);
    EXPECT_TRUE(file.text == content);
  }
}

TEST(ReadTextFileTest, MissingAndUnreadableAreToldApart) {
  const testing::TempDir dir;
  EXPECT_EQ(ReadTextFile(dir.File("none")).state, TextFile::State::kMissing);
  EXPECT_EQ(ReadTextFile(dir.File("none/deeper")).state, TextFile::State::kMissing);
  const TextFile folder = ReadTextFile(dir.path());
  EXPECT_EQ(folder.state, TextFile::State::kUnreadable);
  EXPECT_TRUE(folder.text.empty());
}

}  // namespace
}  // namespace kolvadex
