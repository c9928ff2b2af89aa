#include "common/text_file.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace kolvadex {
namespace {

// Room for the first read: one page, more than most credential and statement
// files need.
constexpr std::size_t kFirstRoom = 4096;

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { static_cast<void>(std::fclose(file)); }
};

}  // namespace

TextFile ReadTextFile(const std::string& path) {
  TextFile result;
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    result.state = errno == ENOENT || errno == ENOTDIR ? TextFile::State::kMissing
                                                       : TextFile::State::kUnreadable;
    return result;
  }
  // Straight into the text, doubling its room whenever a read fills it: linear
  // in the size of the file, without asking for the size first.
  std::string& text = result.text;
  std::size_t used = 0;
  text.resize(kFirstRoom);
  for (;;) {
    used += std::fread(text.data() + used, 1, text.size() - used, file.get());
    if (used < text.size()) break;  // fread stops short only at the end or on an error
    text.resize(2 * text.size());
  }
  text.resize(used);
  result.state =
      std::ferror(file.get()) != 0 ? TextFile::State::kUnreadable : TextFile::State::kRead;
  if (result.state != TextFile::State::kRead) text.clear();
  return result;
}

}  // namespace kolvadex
