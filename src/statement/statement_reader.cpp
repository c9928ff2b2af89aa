#include "statement/statement_reader.h"

#include "common/text_file.h"
#include "platform/file_names.h"

namespace kolvadex::statement {

std::optional<std::string> StatementFileName(std::string_view database_system) {
  if (database_system.find_first_of("/\\") != std::string_view::npos ||
      database_system.find("..") != std::string_view::npos) {
    return std::nullopt;
  }
  std::string name = "KOLVADEX.";
  name += database_system;
  name += ".INI";
  return name;
}

std::string StatementKey(int n) {
  std::string digits = std::to_string(n);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  return "SQL" + digits;
}

void AppendStatement(std::string& text, std::string_view value) {
  text += ' ';
  text += value;
}

std::string AssembleStatement(const ProfileSection& section) {
  std::string text;
  for (int n = 1;; ++n) {
    const std::string_view value = section.Get(StatementKey(n));
    // The empty read that ends the pieces is appended too: the trailing blank.
    AppendStatement(text, value);
    if (value.empty()) break;
  }
  return text;
}

int GetIniValues(RunState& state, ConsoleOut out) {
  constexpr int kNoStatement = 3;
  if (state.trace) out << "\nStr GetIniValues\n";
  const auto file_name = StatementFileName(state.database_system);
  if (!file_name) {
    out << "Ungueltiges Datenbanksystem '" << state.database_system
        << "': es darf keinen Pfad enthalten\n";
    return kNoStatement;
  }
  const TextFile file = ReadTextFile(platform::FindInWorkingDirectory(*file_name));
  if (file.state == TextFile::State::kUnreadable) {
    out << "Anweisungsdatei " << *file_name << " kann nicht gelesen werden\n";
    return kNoStatement;
  }
  state.statement_text = AssembleStatement(ReadProfileSection(file.text, state.section_name));
  if (state.statement_text == " ") return kNoStatement;
  if (state.statement_text.find('\0') != std::string::npos) {
    out << "Anweisung der Sektion '" << state.section_name << "' in " << *file_name
        << " enthaelt ein Nullbyte und wird nicht ausgefuehrt\n";
    state.statement_text.clear();
    return kNoStatement;
  }
  if (state.trace) out << "  >>>>> SQL-Statement <<<<<\n";
  return 0;
}

}  // namespace kolvadex::statement
