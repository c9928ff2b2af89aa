#include "common/text_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace kolvadex {
namespace {

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
  std::error_code size_error;
  const std::uintmax_t size = std::filesystem::file_size(path, size_error);
  if (!size_error) result.text.reserve(static_cast<std::size_t>(size));
  char buffer[1 << 16];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    result.text.append(buffer, count);
  }
  result.state = std::ferror(file.get()) != 0 ? TextFile::State::kUnreadable : TextFile::State::kRead;
  if (result.state != TextFile::State::kRead) result.text.clear();
  return result;
}

}  // namespace kolvadex
