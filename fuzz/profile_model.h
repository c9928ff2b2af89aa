// A reference model of the profile (statement file) rules, written apart from
// the reader in statement/profile.cpp and as plainly as possible: the text is
// first cut into lines, then every line is classified on its own. The fuzz
// targets compare the reader with it.
//
// Rules: a UTF-8 byte-order mark at the start is skipped; CR LF, LF and CR end
// lines; blanks are space, tab and vertical tab; a line whose first non-blank
// character is "[" names a section (up to the first "]", trimmed); one whose
// first non-blank character is ";" is a comment; a line with "=" is a key line
// (key and value trimmed, one outer pair of matching quotes removed from the
// value); names compare without regard to ASCII case; the first occurrence of
// a section and of a key count.
#ifndef KOLVADEX_FUZZ_PROFILE_MODEL_H_
#define KOLVADEX_FUZZ_PROFILE_MODEL_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kolvadex::fuzz {

inline bool IsProfileBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

inline std::string TrimBlanks(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsProfileBlank(text[begin])) ++begin;
  while (end > begin && IsProfileBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

inline std::string Upper(std::string_view text) {
  std::string result;
  for (const char c : text) result.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
  return result;
}

inline std::vector<std::string> ProfileLines(std::string_view text) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines;
  std::string current;
  bool open = false;  // whether `current` is a started line
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(current);
      current.clear();
      open = false;
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      current.push_back(c);
      open = true;
    }
  }
  if (open) lines.push_back(current);
  return lines;
}

struct ProfileLine {
  enum class Kind { kOther, kSection, kKey };
  Kind kind = Kind::kOther;
  std::string name;   // section name, or key
  std::string value;  // key lines only
};

inline ProfileLine ClassifyProfileLine(const std::string& line) {
  ProfileLine result;
  const std::string trimmed = TrimBlanks(line);
  if (trimmed.empty() || trimmed[0] == ';') return result;
  if (trimmed[0] == '[') {
    result.kind = ProfileLine::Kind::kSection;
    const std::size_t close = trimmed.find(']');
    result.name =
        TrimBlanks(close == std::string::npos ? trimmed.substr(1) : trimmed.substr(1, close - 1));
    return result;
  }
  const std::size_t equals = trimmed.find('=');
  if (equals == std::string::npos) return result;
  result.kind = ProfileLine::Kind::kKey;
  result.name = TrimBlanks(trimmed.substr(0, equals));
  std::string value = TrimBlanks(trimmed.substr(equals + 1));
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
  }
  result.value = value;
  return result;
}

// The keys of the first section called `section`, first occurrence of each,
// as (key in upper case, value) in file order.
inline std::vector<std::pair<std::string, std::string>> ModelSection(std::string_view text,
                                                                     std::string_view section) {
  std::vector<std::pair<std::string, std::string>> keys;
  const std::string wanted = Upper(TrimBlanks(section));
  bool inside = false;
  for (const std::string& line : ProfileLines(text)) {
    const ProfileLine parsed = ClassifyProfileLine(line);
    if (parsed.kind == ProfileLine::Kind::kSection) {
      if (inside) break;  // the first occurrence of the section has ended
      inside = Upper(parsed.name) == wanted;
    } else if (parsed.kind == ProfileLine::Kind::kKey && inside) {
      const std::string key = Upper(parsed.name);
      bool seen = false;
      for (const auto& entry : keys) seen = seen || entry.first == key;
      if (!seen) keys.emplace_back(key, parsed.value);
    }
  }
  return keys;
}

inline std::string ModelLookup(const std::vector<std::pair<std::string, std::string>>& keys,
                               std::string_view key) {
  const std::string wanted = Upper(TrimBlanks(key));
  for (const auto& entry : keys) {
    if (entry.first == wanted) return entry.second;
  }
  return {};
}

}  // namespace kolvadex::fuzz

#endif  // KOLVADEX_FUZZ_PROFILE_MODEL_H_
