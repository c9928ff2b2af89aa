#include "run/command_line.h"

#include <string>

#include "common/version.h"

namespace kolvadex {
namespace {

// Every inner line of the header box is "**", 50 characters, "**".
constexpr std::size_t kBoxInnerWidth = 50;

std::string BoxLine(std::string_view text) {
  std::string line = "** ";
  line += text;
  if (line.size() < 2 + kBoxInnerWidth) line.append(2 + kBoxInnerWidth - line.size(), ' ');
  line += "**\n";
  return line;
}

bool IsTraceSwitch(std::string_view arg) { return arg == "/D" || arg == "/d"; }

}  // namespace

void PrintHeader(ConsoleOut out) {
  out << "\n"
      << "******************************************************\n"
      << BoxLine(std::string("(c) KOLVADEX-Entwickler, Version ") + kVersion)
      << "** Projekt      : QUAVENTIS                         **\n"
      << "** Tool         : KOLVADEX                          **\n"
      << "** Beschreibung : Ausfuehren einer SQL-UPDATE       **\n"
      << "**                Anweisung                         **\n"
      << "**                                                  **\n"
      << "******************************************************\n"
      << "\n";
}

void PrintUsage(ConsoleOut out) {
  out << "Befehlsformat: \n"
      << "KOLVADEX.EXE Sektionsname INI-Dateiname n-Parameter  \n"
      << "\n"
      << "Sektionsname  = Name der Sektion in der Ini-Datei \n"
      << "INI-Dateiname = Dateiname der Entschluesselten QUAVENTIS-INI \n"
      << "Parameter     = Schluesselwert \n"
      << "\n"
      << "Beispiel:\n"
      << "KOLVADEX.EXE GETTERM .\\FILES\\QV.INI \"Parameter01\"\n . . ."
      << "\n";
}

void ReadOptions(std::span<const std::string_view> args, RunState& state) {
  state.trace = false;
  state.parameters.clear();
  for (std::size_t i = 3; i < args.size(); ++i) {
    if (IsTraceSwitch(args[i])) {
      state.trace = true;
    } else {
      state.parameters.emplace_back(args[i]);
    }
  }
}

int CheckArguments(std::span<const std::string_view> args, RunState& state, ConsoleOut out) {
  if (args.size() < 4) {
    PrintHeader(out);
    out << "Falsche Anzahl Parameter\n"
        << "\n";
    PrintUsage(out);
    return 1;
  }
  state.section_name = args[1];
  state.credential_file = args[2];
  ReadOptions(args, state);
  if (state.parameters.size() > kMaxParameters) {
    out << "Zu viele Parameter: hoechstens " << kMaxParameters << " sind erlaubt\n";
    return 1;
  }
  if (state.trace) {
    for (const std::string& parameter : state.parameters) out << " Parm = '" << parameter << "'\n";
  }
  return 0;
}

}  // namespace kolvadex
