#include "common/console_out.h"

#include <cstdio>

namespace kolvadex {
namespace {

void WriteToFile(void* sink, std::string_view text) {
  static_cast<void>(std::fwrite(text.data(), 1, text.size(), static_cast<std::FILE*>(sink)));
}

}  // namespace

ConsoleOut StandardOutput() noexcept { return {stdout, WriteToFile}; }

void FlushStandardOutput() noexcept { static_cast<void>(std::fflush(stdout)); }

}  // namespace kolvadex
