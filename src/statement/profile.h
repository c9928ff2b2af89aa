// Profile (INI) reader with the observable rules of the Windows profile API,
// so that statement files written for Windows read the same everywhere:
//   - CR LF, LF and CR end lines; a last line without a line end counts; a
//     UTF-8 byte-order mark at the start is skipped;
//   - a line whose first non-blank character is "[" starts a section; its name
//     runs to the first "]" (or the line end) and is trimmed;
//   - a line whose first non-blank character is ";" is a comment; ";" elsewhere
//     and "#" are ordinary text;
//   - a key line holds "="; the key is the trimmed text before the first "=",
//     the value the trimmed text after it, with one outer pair of matching
//     quotes (both " or both ') removed; a line without "=" is not a key;
//   - blanks, tabs and vertical tabs are trimmed;
//   - section and key names match without regard to ASCII case; only the first
//     occurrence of a section is searched, and the first occurrence of a key
//     wins.
// A missing section or key reads as the empty text.
#ifndef KOLVADEX_STATEMENT_PROFILE_H_
#define KOLVADEX_STATEMENT_PROFILE_H_

#include <string>
#include <string_view>
#include <unordered_map>

namespace kolvadex::statement {

// The keys of one section. Values point into the text the section was read
// from, which must outlive it.
class ProfileSection {
 public:
  // The value of `key`; the empty text when the key is missing.
  [[nodiscard]] std::string_view Get(std::string_view key) const;
  [[nodiscard]] std::size_t size() const { return values_.size(); }

 private:
  friend ProfileSection ReadProfileSection(std::string_view text, std::string_view section);
  std::unordered_map<std::string, std::string_view> values_;  // key in upper case
};

// Reads the first section named `section` of a profile's text in one pass.
ProfileSection ReadProfileSection(std::string_view text, std::string_view section);

// One value, as GetPrivateProfileString would give it.
std::string GetProfileString(std::string_view text, std::string_view section,
                             std::string_view key);

}  // namespace kolvadex::statement

#endif  // KOLVADEX_STATEMENT_PROFILE_H_
