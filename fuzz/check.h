// Helpers shared by the fuzz targets.
//
// A fuzz target checks properties of what a reader gives back, not only that
// it survives. FUZZ_CHECK prints the failed property and aborts; libFuzzer
// reports that as a crash and keeps the input as an artifact.
#ifndef KOLVADEX_FUZZ_CHECK_H_
#define KOLVADEX_FUZZ_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace kolvadex::fuzz {

[[noreturn]] inline void PropertyFailed(const char* property, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, property);
  std::fflush(stderr);
  std::abort();
}

// The fuzzer's input as text.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Splits `text` at every `separator`; n separators give n + 1 pieces.
inline std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (;;) {
    const std::size_t end = text.find(separator);
    if (end == std::string_view::npos) {
      pieces.push_back(text);
      return pieces;
    }
    pieces.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
}

}  // namespace kolvadex::fuzz

#define FUZZ_CHECK(condition)         \
  ((condition) ? static_cast<void>(0) \
               : ::kolvadex::fuzz::PropertyFailed(#condition, __FILE__, __LINE__))

#endif  // KOLVADEX_FUZZ_CHECK_H_
