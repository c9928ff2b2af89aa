// Loading a whole file as text: the thin step between a file name and the
// readers, which all work on text.
#ifndef KOLVADEX_COMMON_TEXT_FILE_H_
#define KOLVADEX_COMMON_TEXT_FILE_H_

#include <string>

namespace kolvadex {

struct TextFile {
  enum class State {
    kRead,        // `text` holds the whole content, bytes as stored
    kMissing,     // no such file
    kUnreadable,  // it exists but cannot be read (permissions, a directory, an I/O error)
  };
  State state = State::kMissing;
  std::string text;
};

TextFile ReadTextFile(const std::string& path);

}  // namespace kolvadex

#endif  // KOLVADEX_COMMON_TEXT_FILE_H_
