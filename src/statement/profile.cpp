#include "statement/profile.h"

namespace kolvadex::statement {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = UpperAscii(c);
  return upper;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// Hands out the lines of a text; any of CR LF, LF and CR ends a line.
class LineSplitter {
 public:
  explicit LineSplitter(std::string_view text) : rest_(text) {
    if (rest_.starts_with("\xEF\xBB\xBF")) rest_.remove_prefix(3);
  }

  bool Next(std::string_view& line) {
    if (rest_.empty()) return false;
    const std::size_t end = rest_.find_first_of("\r\n");
    if (end == std::string_view::npos) {
      line = rest_;
      rest_ = {};
      return true;
    }
    line = rest_.substr(0, end);
    const std::size_t ending = rest_.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    rest_.remove_prefix(end + ending);
    return true;
  }

 private:
  std::string_view rest_;
};

// Whether a trimmed line is a section header; if so, its name goes to `name`.
bool SectionHeader(std::string_view trimmed, std::string_view& name) {
  if (trimmed.empty() || trimmed.front() != '[') return false;
  trimmed.remove_prefix(1);
  name = Trim(trimmed.substr(0, trimmed.find(']')));
  return true;
}

}  // namespace

std::string_view ProfileSection::Get(std::string_view key) const {
  const auto found = values_.find(UpperAscii(Trim(key)));
  return found == values_.end() ? std::string_view() : found->second;
}

ProfileSection ReadProfileSection(std::string_view text, std::string_view section) {
  ProfileSection result;
  const std::string_view wanted = Trim(section);
  LineSplitter lines(text);
  std::string_view line;
  bool inside = false;
  while (lines.Next(line)) {
    const std::string_view trimmed = Trim(line);
    std::string_view name;
    if (SectionHeader(trimmed, name)) {
      if (inside) break;  // only the first occurrence of the section counts
      inside = EqualsIgnoringCase(name, wanted);
      continue;
    }
    if (!inside || trimmed.empty() || trimmed.front() == ';') continue;
    const std::size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = Trim(trimmed.substr(0, equals));
    const std::string_view value = Unquote(Trim(trimmed.substr(equals + 1)));
    result.values_.try_emplace(UpperAscii(key), value);
  }
  return result;
}

std::string GetProfileString(std::string_view text, std::string_view section,
                             std::string_view key) {
  return std::string(ReadProfileSection(text, section).Get(key));
}

}  // namespace kolvadex::statement
