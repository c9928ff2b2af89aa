// Fuzz target: the profile reader of the statement files.
//
// The input is the text of a statement file. For the sections it names (and
// the nameless one), the reader must agree with the reference model of
// profile_model.h, ReadProfileSection(...).Get(key) must equal
// GetProfileString, and every value must hold no line end, lie inside the
// text, and be trimmed unless it stood in quotes. Then a second file is
// written from the input's key lines, with varied blanks, quotes, line ends,
// comments, a decoy section and a repeated section, and reading it back must
// give exactly the values written.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "profile_model.h"
#include "statement/profile.h"

namespace {

using kolvadex::fuzz::ClassifyProfileLine;
using kolvadex::fuzz::IsProfileBlank;
using kolvadex::fuzz::ModelLookup;
using kolvadex::fuzz::ModelSection;
using kolvadex::fuzz::ProfileLine;
using kolvadex::fuzz::ProfileLines;
using kolvadex::fuzz::TrimBlanks;
using kolvadex::fuzz::Upper;
using kolvadex::statement::GetProfileString;
using kolvadex::statement::ProfileSection;
using kolvadex::statement::ReadProfileSection;

constexpr std::size_t kMaxSections = 8;
constexpr std::size_t kMaxKeys = 32;
constexpr std::size_t kMaxFullLookups = 4;  // GetProfileString reads the whole text each time

std::string Lower(std::string_view text) {
  std::string result;
  for (const char c : text) result.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
  return result;
}

// A value given out must be a view of the text, hold no line end, and have no
// blank at either end unless it stood between a pair of quotes.
void CheckValueShape(std::string_view text, std::string_view value) {
  if (value.empty()) return;
  FUZZ_CHECK(value.find_first_of("\r\n") == std::string_view::npos);
  const std::less_equal<const char*> not_after;
  FUZZ_CHECK(not_after(text.data(), value.data()));
  FUZZ_CHECK(not_after(value.data() + value.size(), text.data() + text.size()));
  if (IsProfileBlank(value.front()) || IsProfileBlank(value.back())) {
    const auto at = static_cast<std::size_t>(value.data() - text.data());
    FUZZ_CHECK(at > 0 && at + value.size() < text.size());
    const char open = text[at - 1];
    FUZZ_CHECK((open == '"' || open == '\'') && text[at + value.size()] == open);
  }
}

void CheckSection(std::string_view text, std::string_view section,
                  const std::vector<std::string>& probe_keys) {
  const ProfileSection read = ReadProfileSection(text, section);
  const auto model = ModelSection(text, section);
  FUZZ_CHECK(read.size() == model.size());
  for (const auto& [key, value] : model) {
    FUZZ_CHECK(read.Get(key) == value);
    CheckValueShape(text, read.Get(key));
  }
  std::size_t full_lookups = 0;
  for (const std::string& key : probe_keys) {
    const std::string expected = ModelLookup(model, key);
    for (const std::string& variant : {key, Lower(key), " \t" + key + "\v "}) {
      const std::string_view got = read.Get(variant);
      FUZZ_CHECK(got == expected);
      CheckValueShape(text, got);
    }
    if (full_lookups++ < kMaxFullLookups)
      FUZZ_CHECK(GetProfileString(text, section, key) == expected);
  }
}

// Hands out the bytes of the input in a cycle, to vary the written file.
class Choices {
 public:
  explicit Choices(std::string_view input) : input_(input) {}
  unsigned Next() {
    if (input_.empty()) return 0;
    return static_cast<unsigned char>(input_[next_++ % input_.size()]);
  }

 private:
  std::string_view input_;
  std::size_t next_ = 0;
};

std::string Blanks(Choices& choices) {
  static constexpr std::string_view kBlanks = " \t\v";
  std::string blanks;
  for (unsigned n = choices.Next() % 4; n > 0; --n) blanks.push_back(kBlanks[choices.Next() % 3]);
  return blanks;
}

std::string_view LineEnd(Choices& choices) {
  static constexpr std::string_view kEnds[] = {"\n", "\r\n", "\r"};
  return kEnds[choices.Next() % 3];
}

std::string WithoutCarriageReturns(std::string_view text) {
  std::string result;
  for (const char c : text) {
    if (c != '\r') result.push_back(c);
  }
  return result;
}

struct WrittenKey {
  std::string key;
  std::string value;     // as written, trimmed
  std::string expected;  // what reading it back must give
};

// Key lines of the input, reduced to what a file can hold: no line ends, a key
// that does not start a section or a comment, each key once.
std::vector<WrittenKey> KeysToWrite(std::string_view input) {
  std::vector<WrittenKey> keys;
  for (const std::string_view line : kolvadex::fuzz::Split(input, '\n')) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    WrittenKey entry;
    entry.key = TrimBlanks(WithoutCarriageReturns(line.substr(0, equals)));
    if (entry.key.empty() || entry.key[0] == '[' || entry.key[0] == ';') continue;
    bool seen = false;
    for (const WrittenKey& other : keys) seen = seen || Upper(other.key) == Upper(entry.key);
    if (seen) continue;
    entry.value = TrimBlanks(WithoutCarriageReturns(line.substr(equals + 1)));
    entry.expected = entry.value;
    if (entry.value.size() >= 2 && (entry.value[0] == '"' || entry.value[0] == '\'') &&
        entry.value.back() == entry.value[0]) {
      entry.expected = entry.value.substr(1, entry.value.size() - 2);
    }
    keys.push_back(std::move(entry));
    if (keys.size() == kMaxKeys) break;
  }
  return keys;
}

void CheckWrittenFile(std::string_view input) {
  const std::vector<WrittenKey> keys = KeysToWrite(input);
  if (keys.empty()) return;
  Choices choices(input);
  std::string file;
  if (choices.Next() % 2 == 0) file += "\xEF\xBB\xBF";
  // A decoy section with the same keys comes first.
  file += "[Andere]";
  file += LineEnd(choices);
  for (const WrittenKey& entry : keys) {
    file += entry.key + "=decoy";
    file += LineEnd(choices);
  }
  file += Blanks(choices) + "[" + Blanks(choices) + "sektion" + Blanks(choices) + "]" +
          Blanks(choices) + "text";
  file += LineEnd(choices);
  for (const WrittenKey& entry : keys) {
    switch (choices.Next() % 6) {
      case 0:
        file += Blanks(choices) + "; " + entry.key + "=comment";
        file += LineEnd(choices);
        break;
      case 1:
        file += Blanks(choices);  // an empty or blank line
        file += LineEnd(choices);
        break;
      case 2:
        file += "no equals sign here";
        file += LineEnd(choices);
        break;
      default:
        break;
    }
    file += Blanks(choices) + entry.key + Blanks(choices) + "=" + Blanks(choices) + entry.value +
            Blanks(choices);
    file += LineEnd(choices);
  }
  // Later occurrences of a key and of the section do not count.
  file += keys.front().key + "=later";
  file += LineEnd(choices);
  file += "[SEKTION]";
  file += LineEnd(choices);
  file += keys.back().key + "=repeated section";
  if (choices.Next() % 2 == 0) file += LineEnd(choices);

  const ProfileSection read = ReadProfileSection(file, "Sektion");
  FUZZ_CHECK(read.size() == keys.size());
  for (const WrittenKey& entry : keys) FUZZ_CHECK(read.Get(entry.key) == entry.expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = kolvadex::fuzz::AsText(data, size);

  std::vector<std::string> sections{""};
  std::vector<std::string> keys{"SQL001"};
  for (const std::string& line : ProfileLines(text)) {
    const ProfileLine parsed = ClassifyProfileLine(line);
    if (parsed.kind == ProfileLine::Kind::kSection && sections.size() < kMaxSections) {
      sections.push_back(parsed.name);
    } else if (parsed.kind == ProfileLine::Kind::kKey && keys.size() < kMaxKeys) {
      keys.push_back(parsed.name);
    }
  }
  for (const std::string& section : sections) CheckSection(text, section, keys);
  // Section names match without regard to case and blanks around them.
  CheckSection(text, " " + Lower(sections.back()) + "\t", keys);

  CheckWrittenFile(text);
  return 0;
}
