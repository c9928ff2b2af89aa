// Console output: where the tool's console lines go, and the little formatting
// they need (texts, and integers in decimal as "%d" prints them).
//
// A ConsoleOut is a handle of two pointers, passed by value: a sink and the
// function that writes a piece of text to it. StandardOutput() is the process's
// standard output (C stdio, flushed at exit or by FlushStandardOutput); any
// output stream converts to a ConsoleOut as it is, so tests hand in a
// std::ostringstream. Writing never fails towards the caller: what the sink
// cannot take is lost, as with an unchecked stream.
//
// The tool itself uses no iostreams: setting up the stream library's locales
// at start-up would cost each run more time and resident memory than all of
// the tool's own work.
#ifndef KOLVADEX_COMMON_CONSOLE_OUT_H_
#define KOLVADEX_COMMON_CONSOLE_OUT_H_

#include <charconv>
#include <concepts>
#include <cstddef>
#include <string_view>

namespace kolvadex {

class ConsoleOut {
 public:
  using WriteFunction = void (*)(void* sink, std::string_view text);

  ConsoleOut(void* sink, WriteFunction write) noexcept : sink_(sink), write_(write) {}

  // Any output stream (anything with write(const char*, count)); implicit, so
  // that a stream is passed where a ConsoleOut is expected.
  template <typename Stream>
  requires requires(Stream& stream, const char* data, std::ptrdiff_t count) {
    stream.write(data, count);
  }
  ConsoleOut(Stream& stream) noexcept
      : sink_(&stream), write_([](void* sink, std::string_view text) {
          static_cast<Stream*>(sink)->write(text.data(), static_cast<std::ptrdiff_t>(text.size()));
        }) {}

  ConsoleOut& operator<<(std::string_view text) {
    write_(sink_, text);
    return *this;
  }
  ConsoleOut& operator<<(char c) { return *this << std::string_view(&c, 1); }
  template <std::integral Number>
  requires(!std::same_as<Number, char> && !std::same_as<Number, bool>) ConsoleOut& operator<<(
      Number number) {
    char digits[24];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, number);
    return *this << std::string_view(digits, static_cast<std::size_t>(end.ptr - digits));
  }

 private:
  void* sink_;
  WriteFunction write_;
};

// The process's standard output.
ConsoleOut StandardOutput() noexcept;
void FlushStandardOutput() noexcept;

}  // namespace kolvadex

#endif  // KOLVADEX_COMMON_CONSOLE_OUT_H_
