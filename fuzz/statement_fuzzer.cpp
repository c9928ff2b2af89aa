// Fuzz target: statement assembly and parameter substitution.
//
// The input is pieces separated by zero bytes: the text of a statement file,
// the section name, then the parameters (as on a command line, where no
// argument can hold a zero byte). In the file text the byte 01 stands for a
// zero byte, which a statement file can hold.
//
// Assembly must equal the reference: the values of SQL001, SQL002, ... (read
// with the reference model of the profile rules) up to the first missing or
// empty one, with one leading blank, single blanks between and one trailing
// blank; the result never holds a line end. GetIniValues, reading the same
// text from a statement file, must give that statement, or status 3 with no
// statement or with one holding a zero byte (which it names), and exactly its
// trace lines.
//
// Substitution is checked on the assembled statement and on the raw file text:
//   - against a reference of the sequential rule (for k = 1 ... 99, the first
//     occurrence of "$parm" + two digits in the text as changed so far), and
//     the result's length against the lengths of the replaced placeholders and
//     their parameters;
//   - with parameters that cannot form a placeholder with the text around
//     them, against the simple model: every placeholder's first occurrence in
//     the original text is replaced and nothing else changes.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check.h"
#include "profile_model.h"
#include "statement/profile.h"
#include "statement/statement_reader.h"
#include "statement/substitution.h"

namespace {

using kolvadex::ParameterList;
using kolvadex::RunState;
using kolvadex::statement::AssembleStatement;
using kolvadex::statement::GetIniValues;
using kolvadex::statement::Placeholder;
using kolvadex::statement::ReadProfileSection;
using kolvadex::statement::ReplaceParameters;
using kolvadex::statement::StatementKey;

constexpr std::size_t kPlaceholderSize = 7;
constexpr std::size_t kMaxPlaceholder = 99;
constexpr std::size_t kMaxParameters = 120;  // a few past the last placeholder

std::string ModelKey(std::size_t n) {
  std::string digits = std::to_string(n);
  while (digits.size() < 3) digits.insert(digits.begin(), '0');
  return "SQL" + digits;
}

std::string ModelPlaceholder(std::size_t k) {
  return std::string("$parm") + static_cast<char>('0' + k / 10) + static_cast<char>('0' + k % 10);
}

std::string ModelAssemble(std::string_view text, std::string_view section) {
  const auto keys = kolvadex::fuzz::ModelSection(text, section);
  std::string statement = " ";
  for (std::size_t n = 1;; ++n) {
    const std::string value = kolvadex::fuzz::ModelLookup(keys, ModelKey(n));
    if (value.empty()) break;
    statement += value + " ";
  }
  return statement;
}

// Position of the first occurrence of `pattern`, found character by character.
std::size_t FirstOccurrence(const std::string& text, const std::string& pattern) {
  for (std::size_t at = 0; at + pattern.size() <= text.size(); ++at) {
    std::size_t same = 0;
    while (same < pattern.size() && text[at + same] == pattern[same]) ++same;
    if (same == pattern.size()) return at;
  }
  return std::string::npos;
}

// The sequential rule; `length` follows the replacements on their own.
std::string ModelReplaceInOrder(std::string text, const ParameterList& parameters,
                                std::size_t& length) {
  length = text.size();
  for (std::size_t k = 1; k <= parameters.size() && k <= kMaxPlaceholder; ++k) {
    const std::size_t at = FirstOccurrence(text, ModelPlaceholder(k));
    if (at == std::string::npos) continue;
    text = text.substr(0, at) + parameters[k - 1] + text.substr(at + kPlaceholderSize);
    length = length - kPlaceholderSize + parameters[k - 1].size();
  }
  return text;
}

// The simple model: the first occurrences in the original text, all replaced
// at once; the text between them is copied unchanged.
std::string ModelReplaceAtOnce(const std::string& text, const ParameterList& parameters) {
  std::vector<std::pair<std::size_t, std::size_t>> found;  // (position, parameter index)
  for (std::size_t k = 1; k <= parameters.size() && k <= kMaxPlaceholder; ++k) {
    const std::size_t at = FirstOccurrence(text, ModelPlaceholder(k));
    if (at != std::string::npos) found.emplace_back(at, k - 1);
  }
  std::sort(found.begin(), found.end());
  std::string result;
  std::size_t copied = 0;
  for (const auto& [at, index] : found) {
    result += text.substr(copied, at - copied);
    result += parameters[index];
    copied = at + kPlaceholderSize;
  }
  result += text.substr(copied);
  return result;
}

// A parameter that cannot take part in a placeholder with the text around
// it: not empty, no "$", and a first character that cannot continue one.
std::string Inert(std::string parameter) {
  std::replace(parameter.begin(), parameter.end(), '$', '#');
  if (parameter.empty() ||
      std::string_view("parm0123456789").find(parameter[0]) != std::string_view::npos) {
    parameter.insert(parameter.begin(), '_');
  }
  return parameter;
}

void CheckSubstitution(const std::string& statement, const ParameterList& parameters) {
  std::string replaced = statement;
  ReplaceParameters(replaced, parameters);
  std::size_t length = 0;
  FUZZ_CHECK(replaced == ModelReplaceInOrder(statement, parameters, length));
  FUZZ_CHECK(replaced.size() == length);

  ParameterList inert;
  for (const std::string& parameter : parameters) inert.push_back(Inert(parameter));
  replaced = statement;
  ReplaceParameters(replaced, inert);
  FUZZ_CHECK(replaced == ModelReplaceAtOnce(statement, inert));
}

// A folder of its own for the statement file. GetIniValues reads the file from
// the working directory, which is changed only around that call, so that
// libFuzzer's own relative paths keep working.
class StatementFolder {
 public:
  StatementFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kolvadex-fuzz-XXXXXX").string();
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    path_ = pattern;
  }
  StatementFolder(const StatementFolder&) = delete;
  StatementFolder& operator=(const StatementFolder&) = delete;
  ~StatementFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  int Read(const std::string& text, RunState& state, std::ostream& out) const {
    std::FILE* file = std::fopen((path_ + "/KOLVADEX.FUZZ.INI").c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(text.data(), 1, text.size(), file) == text.size());
    FUZZ_CHECK(std::fclose(file) == 0);
    const int previous = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    FUZZ_CHECK(previous >= 0 && chdir(path_.c_str()) == 0);
    state.database_system = "FUZZ";
    const int result = GetIniValues(state, out);
    FUZZ_CHECK(fchdir(previous) == 0 && close(previous) == 0);
    return result;
  }

 private:
  std::string path_;
};

void CheckGetIniValues(const std::string& text, std::string_view section, bool trace,
                       const std::string& expected) {
  static const StatementFolder folder;
  RunState state;
  state.section_name = section;
  state.trace = trace;
  std::ostringstream out;
  const int result = folder.Read(text, state, out);
  std::string lines = trace ? "\nStr GetIniValues\n" : "";
  if (expected == " ") {
    FUZZ_CHECK(result == 3);
  } else if (expected.find('\0') != std::string::npos) {
    FUZZ_CHECK(result == 3 && state.statement_text.empty());
    lines += "Anweisung der Sektion '" + state.section_name +
             "' in KOLVADEX.FUZZ.INI enthaelt ein Nullbyte und wird nicht ausgefuehrt\n";
  } else {
    FUZZ_CHECK(result == 0 && state.statement_text == expected);
    if (trace) lines += "  >>>>> SQL-Statement <<<<<\n";
  }
  FUZZ_CHECK(out.str() == lines);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> pieces =
      kolvadex::fuzz::Split(kolvadex::fuzz::AsText(data, size), '\0');
  std::string text(pieces[0]);
  std::replace(text.begin(), text.end(), '\x01', '\0');
  const std::string_view section = pieces.size() > 1 ? pieces[1] : std::string_view("GETTERM");
  ParameterList parameters;
  for (std::size_t i = 2; i < pieces.size() && parameters.size() < kMaxParameters; ++i) {
    parameters.emplace_back(pieces[i]);
  }

  for (const std::size_t n :
       {std::size_t{1}, std::size_t{42}, std::size_t{999}, std::size_t{1000}}) {
    FUZZ_CHECK(StatementKey(static_cast<int>(n)) == ModelKey(n));
  }
  for (std::size_t k = 1; k <= parameters.size() && k <= kMaxPlaceholder; ++k) {
    FUZZ_CHECK(Placeholder(static_cast<int>(k)) == ModelPlaceholder(k));
  }

  const std::string statement = AssembleStatement(ReadProfileSection(text, section));
  FUZZ_CHECK(statement == ModelAssemble(text, section));
  FUZZ_CHECK(statement.front() == ' ' && statement.back() == ' ');
  FUZZ_CHECK(statement.find_first_of("\r\n") == std::string::npos);

  CheckSubstitution(statement, parameters);
  CheckGetIniValues(text, section, size % 2 == 1, statement);

  CheckSubstitution(text, parameters);
  return 0;
}
