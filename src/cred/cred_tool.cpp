#include "cred/cred_tool.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/secret.h"
#include "common/text_file.h"
#include "common/version.h"
#include "credentials/cipher.h"
#include "credentials/credential_file.h"
#include "credentials/credential_writer.h"
#include "platform/atomic_file.h"
#include "platform/terminal.h"

namespace kolvadex {
namespace {

using credentials::CredentialCheck;
using credentials::CredentialProblem;
using credentials::CredentialRecord;
using credentials::kCredentialKeys;
using credentials::kPasswordKey;

constexpr std::string_view kProgram = "kolvadex-cred";
constexpr std::string_view kMask = "********";
// No value comes near this; the limit keeps a runaway input from filling memory.
constexpr std::size_t kMaxInputLine = std::size_t{1} << 20;

// A failed command: the text of its one line on standard error.
struct Failure {
  std::string message;
};

// ---- Reading values -------------------------------------------------------

enum class LineRead { kLine, kLastLine, kEnd };

// One line of `in` without its line end (LF, or CR LF). kLastLine: the input
// ended without a line feed after some text; kEnd: nothing was left.
LineRead ReadLine(std::istream& in, std::string& line) {
  using Traits = std::istream::traits_type;
  SecureWipe(line);
  line.reserve(256);
  bool any = false;
  for (Traits::int_type c = in.get(); !Traits::eq_int_type(c, Traits::eof()); c = in.get()) {
    any = true;
    if (Traits::to_char_type(c) == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return LineRead::kLine;
    }
    if (line.size() >= kMaxInputLine) {
      SecureWipe(line);
      throw Failure{"eine Eingabezeile ist laenger als " + std::to_string(kMaxInputLine) +
                    " Bytes"};
    }
    if (line.size() == line.capacity()) {
      // Grow by hand, so that no copy of a secret is left in freed memory.
      std::string bigger;
      bigger.reserve(2 * line.capacity());
      bigger.assign(line);
      SecureWipe(line);
      line = std::move(bigger);
    }
    line.push_back(Traits::to_char_type(c));
  }
  return any ? LineRead::kLastLine : LineRead::kEnd;
}

// Hands a line over to a Secret and wipes what the move may leave behind.
Secret Take(std::string& line) {
  Secret value(std::move(line));
  SecureWipe(line);
  return value;
}

bool AtEnd(std::istream& in) {
  return std::istream::traits_type::eq_int_type(in.peek(), std::istream::traits_type::eof());
}

void RequireStorable(std::string_view what, std::string_view plain) {
  switch (credentials::CheckPlainValue(plain)) {
    case credentials::PlainValueProblem::kNone:
      return;
    case credentials::PlainValueProblem::kZeroByte:
      throw Failure{std::string(what) +
                    " enthaelt ein Null-Byte und kann nicht gespeichert werden"};
    case credentials::PlainValueProblem::kLineEnd:
      throw Failure{std::string(what) +
                    " enthaelt ein Zeilenende (CR oder LF) und kann nicht gespeichert werden"};
  }
}

class ValueReader {
 public:
  ValueReader(std::istream& in, std::ostream& prompts, bool interactive)
      : in_(in), prompts_(prompts), interactive_(interactive) {}

  // The whole input as one value: one line, with or without its line feed.
  // On a terminal: one line after `prompt`, typed without echo when `hidden`,
  // and a second time for comparison when `confirm`.
  Secret ReadSingle(std::string_view prompt, bool hidden, bool confirm) {
    if (interactive_) return Prompt(prompt, hidden, confirm);
    std::string line;
    if (ReadLine(in_, line) == LineRead::kEnd) {
      throw Failure{"keine Eingabe: der Wert wird auf der Standardeingabe erwartet"};
    }
    Secret value = Take(line);
    if (!AtEnd(in_)) {
      throw Failure{"die Eingabe hat mehr als eine Zeile; ein Wert kann kein Zeilenende enthalten"};
    }
    return value;
  }

  // The next line for `key`; kolvadex-cred write reads its values this way.
  Secret ReadField(std::string_view key, std::string_view prompt, bool hidden, bool confirm) {
    if (interactive_) return Prompt(prompt, hidden, confirm);
    std::string line;
    if (ReadLine(in_, line) == LineRead::kEnd) {
      throw Failure{"die Eingabe endet vor dem Wert fuer " + std::string(key) +
                    " (erwartet: je eine Zeile fuer NET8, LOGIN, PASS, DB_SYSTEM)"};
    }
    return Take(line);
  }

  // Fails when the input holds more than was read.
  void RequireEnd() {
    if (!interactive_ && !AtEnd(in_)) {
      throw Failure{
          "die Eingabe hat mehr als vier Zeilen (erwartet: je eine Zeile fuer NET8, "
          "LOGIN, PASS, DB_SYSTEM)"};
    }
  }

 private:
  Secret Prompt(std::string_view prompt, bool hidden, bool confirm) {
    Secret value = PromptOnce(prompt, hidden);
    if (confirm) {
      const Secret again = PromptOnce("Noch einmal zur Kontrolle: ", hidden);
      if (again.view() != value.view()) throw Failure{"die beiden Eingaben sind verschieden"};
    }
    return value;
  }

  Secret PromptOnce(std::string_view prompt, bool hidden) {
    std::string line;
    LineRead read = LineRead::kEnd;
    {
      // Echo goes off before the prompt shows: nothing typed after it is seen.
      std::optional<platform::EchoOff> echo_off;
      if (hidden) echo_off.emplace();
      prompts_ << prompt << std::flush;
      read = ReadLine(in_, line);
    }
    if (read != LineRead::kLine) {
      // End of input typed at the prompt: the line was never ended.
      SecureWipe(line);
      prompts_ << "\n";
      throw Failure{"Eingabe abgebrochen"};
    }
    return Take(line);
  }

  std::istream& in_;
  std::ostream& prompts_;
  bool interactive_;
};

// ---- Files ----------------------------------------------------------------

Secret LoadCredentialFile(const std::string& path) {
  TextFile file = ReadTextFile(path);
  switch (file.state) {
    case TextFile::State::kRead:
      break;
    case TextFile::State::kMissing:
      throw Failure{"die Datei " + path + " gibt es nicht"};
    case TextFile::State::kUnreadable:
      throw Failure{"die Datei " + path + " kann nicht gelesen werden"};
  }
  return Secret(std::move(file.text));
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::symlink_status(path, ignored).type() !=
         std::filesystem::file_type::not_found;
}

std::string ExistsMessage(const std::string& path) {
  return "die Datei " + path + " gibt es schon; --force ersetzt sie";
}

void Store(const std::string& path, std::string_view content, platform::ExistingFile existing) {
  const auto result = platform::WriteFileAtomically(path, content, existing);
  switch (result.outcome) {
    case platform::AtomicWriteResult::Outcome::kWritten:
      return;
    case platform::AtomicWriteResult::Outcome::kExists:
      throw Failure{ExistsMessage(path)};
    case platform::AtomicWriteResult::Outcome::kFailed:
      throw Failure{"die Datei " + path + " kann nicht geschrieben werden: " +
                    platform::ErrorText(result.error_number) + " (sie ist unveraendert)"};
  }
}

// ---- Describing records and problems --------------------------------------

// A text as it can be shown: bytes outside printable ASCII as \xNN.
std::string Printable(std::string_view text) {
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      shown.push_back(c);
    } else {
      shown += "\\x";
      shown.push_back(kDigits[byte >> 4U]);
      shown.push_back(kDigits[byte & 0x0FU]);
    }
  }
  return shown;
}

std::string Lines(const CredentialRecord& record) {
  return std::to_string(record.header_line) + "-" + std::to_string(record.entry_line);
}

std::string CatchAllReason(const credentials::CatchAll& why) {
  if (why.empty_section && why.number_zero) return "leerer Abschnitt und Nummer 0";
  return why.empty_section ? "leerer Abschnitt" : "Nummer 0";
}

std::string Join(const std::vector<std::string>& items) {
  std::string joined;
  for (const std::string& item : items) {
    if (!joined.empty()) joined += ", ";
    joined += item;
  }
  return joined;
}

std::string DescribeProblem(const std::string& path, const CredentialProblem& problem) {
  using Kind = CredentialProblem::Kind;
  switch (problem.kind) {
    case Kind::kMissingKey:
      return path + ": kein Datensatz beantwortet " + problem.key;
    case Kind::kAnswersEveryKey: {
      std::string line = path + ":" + Lines(*problem.record) +
                         ": Datensatz beantwortet jede Anfrage (" +
                         CatchAllReason(problem.catch_all) + ")";
      if (!problem.answered_keys.empty()) {
        line += "; kolvadex nimmt ihn fuer " + Join(problem.answered_keys);
      }
      return line;
    }
    case Kind::kNotCipherText:
      return path + ":" + std::to_string(problem.record->entry_line) + ": Wert fuer " +
             problem.key + " ist kein Hex-Text aus ganzen Gruppen zu 16 Ziffern";
    case Kind::kEmptyValue:
      return path + ":" + std::to_string(problem.record->entry_line) + ": Wert fuer " +
             problem.key + " ist entschluesselt leer";
  }
  return {};
}

// ---- Commands -------------------------------------------------------------

struct Streams {
  std::ostream& out;
  std::ostream& err;
};

void WarnAbout(const std::string& path, std::string_view text, std::ostream& err) {
  const CredentialCheck check = credentials::CheckCredentialFile(text);
  for (const CredentialProblem& problem : check.problems) {
    err << kProgram << ": Warnung: " << DescribeProblem(path, problem) << "\n";
  }
}

int Encrypt(ValueReader& reader, const Streams& io) {
  const Secret plain = reader.ReadSingle("Wert: ", true, true);
  RequireStorable("der Wert", plain.view());
  io.out << credentials::EncryptValue(plain.view()) << "\n";
  return kCredExitOk;
}

int Decrypt(ValueReader& reader, const Streams& io) {
  // Hex text deciphers with the fixed key: it is as secret as the value.
  const Secret hex = reader.ReadSingle("Hex-Text: ", true, false);
  const auto plain = credentials::DecryptValue(hex.view());
  if (!plain) {
    throw Failure{"die Eingabe ist kein Hex-Text aus ganzen Gruppen zu 16 Ziffern (0-9, A-F)"};
  }
  io.out << plain->view() << "\n";
  return kCredExitOk;
}

int Write(ValueReader& reader, const std::string& path, bool force, const Streams& io) {
  // Ask for nothing when the file could not be written anyway.
  if (!force && Exists(path)) throw Failure{ExistsMessage(path)};
  static constexpr std::array<std::string_view, 4> kPrompts = {
      "Dienstname (NET8): ", "Benutzer (LOGIN): ", "Passwort (PASS): ",
      "Datenbanksystem (DB_SYSTEM): "};
  std::array<Secret, 4> values;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const bool password = kCredentialKeys[i] == kPasswordKey;
    values[i] = reader.ReadField(kCredentialKeys[i], kPrompts[i], password, password);
    RequireStorable("der Wert fuer " + std::string(kCredentialKeys[i]), values[i].view());
  }
  reader.RequireEnd();
  const Secret text(credentials::FormatCredentialFile(
      {values[0].view(), values[1].view(), values[2].view(), values[3].view()}));
  Store(path, text.view(),
        force ? platform::ExistingFile::kReplace : platform::ExistingFile::kKeep);
  WarnAbout(path, text.view(), io.err);
  return kCredExitOk;
}

[[noreturn]] void RefuseReplacement(const std::string& path, const std::string& key,
                                    const credentials::Replacement& replacement) {
  using Outcome = credentials::Replacement::Outcome;
  std::string message = "in " + path + " ";
  switch (replacement.outcome) {
    case Outcome::kKeyMissing:
      message += "beantwortet kein Datensatz " + key + "; write legt eine vollstaendige Datei an";
      break;
    case Outcome::kOtherRecord:
      message += "beantwortet der Datensatz in Zeile " + Lines(*replacement.record) +
                 " (Schluessel '" + Printable(replacement.record->key) + "') " + key +
                 "; er beantwortet jede Anfrage, check zeigt die Probleme der Datei";
      break;
    case Outcome::kSharedRecord:
      message += "beantwortet der Datensatz in Zeile " + Lines(*replacement.record) + " ausser " +
                 key + " auch " + replacement.other_key + "; check zeigt die Probleme der Datei";
      break;
    case Outcome::kReplaced:
      break;
  }
  throw Failure{message};
}

int Set(ValueReader& reader, const std::string& path, const std::string& key, const Streams& io) {
  if (!credentials::IsCredentialKey(key)) {
    throw Failure{"unbekannter Schluessel '" + Printable(key) +
                  "'; erlaubt sind NET8, LOGIN, PASS, DB_SYSTEM"};
  }
  const Secret text = LoadCredentialFile(path);
  // Find out whether the value can be replaced before asking for it.
  const auto trial = credentials::ReplaceValue(text.view(), key, "");
  if (trial.outcome != credentials::Replacement::Outcome::kReplaced) {
    RefuseReplacement(path, key, trial);
  }
  const bool password = key == kPasswordKey;
  const Secret plain = reader.ReadSingle("Neuer Wert fuer " + key + ": ", password, password);
  RequireStorable("der Wert", plain.view());
  const Secret changed(credentials::ReplaceValue(text.view(), key, plain.view()).text);
  // Only the value changes: the file keeps its owner, group and permissions.
  Store(path, changed.view(), platform::ExistingFile::kReplaceKeepingMode);
  WarnAbout(path, changed.view(), io.err);
  return kCredExitOk;
}

// Whether a record's value may be a password: it is shown only with --reveal.
bool MayBePassword(const CredentialRecord& record, const CredentialCheck& check) {
  if (!credentials::IsCredentialKey(record.key) || record.key == kPasswordKey) return true;
  const auto& pass = check.answers[2].record;
  return pass && pass->entry_line == record.entry_line;
}

int Show(const std::string& path, bool reveal, const Streams& io) {
  const Secret text = LoadCredentialFile(path);
  const CredentialCheck check = credentials::CheckCredentialFile(text.view());
  io.out << "Datensaetze in " << path << ":\n";
  credentials::CredentialReader reader(text.view());
  CredentialRecord record;
  bool any = false;
  while (reader.Next(record)) {
    any = true;
    io.out << "  Zeilen " << Lines(record) << ": Nummer "
           << (record.number ? std::to_string(*record.number) : std::string("keine"))
           << ", Abschnitt '" << Printable(record.section) << "', Schluessel '"
           << Printable(record.key) << "', Wert ";
    const auto plain = credentials::DecryptValue(record.value);
    if (!plain) {
      io.out << "kein gueltiger Hex-Text\n";
    } else if (!plain->empty() && !reveal && MayBePassword(record, check)) {
      io.out << "'" << kMask << "'\n";
    } else {
      Secret shown(Printable(plain->view()));
      io.out << "'" << shown.view() << "'\n";
    }
  }
  if (!any) io.out << "  keine\n";
  io.out << "Antworten fuer kolvadex:\n";
  for (const credentials::KeyAnswer& answer : check.answers) {
    std::string key(answer.key);
    key.resize(std::max<std::size_t>(key.size(), 9), ' ');
    io.out << "  " << key << " <- ";
    if (!answer.record) {
      io.out << "kein Datensatz (kolvadex liest einen leeren Wert)\n";
      continue;
    }
    io.out << "Zeilen " << Lines(*answer.record);
    if (const auto why = credentials::AnswersEveryKey(*answer.record)) {
      io.out << " (beantwortet jede Anfrage: " << CatchAllReason(*why) << ")";
    }
    io.out << "\n";
  }
  return kCredExitOk;
}

int Check(const std::string& path, const Streams& io) {
  const Secret text = LoadCredentialFile(path);
  const CredentialCheck check = credentials::CheckCredentialFile(text.view());
  for (const CredentialProblem& problem : check.problems) {
    io.out << DescribeProblem(path, problem) << "\n";
  }
  if (!check.ok()) return kCredExitFailed;
  io.out << path << ": in Ordnung\n";
  return kCredExitOk;
}

// ---- Command line ---------------------------------------------------------

class GermanFormatter : public CLI::Formatter {
 public:
  GermanFormatter() {
    label("Usage", "Aufruf");
    label("OPTIONS", "OPTIONEN");
    label("SUBCOMMAND", "BEFEHL");
    label("SUBCOMMANDS", "BEFEHLE");
    label("Positionals", "Argumente");
    label("REQUIRED", "");
  }

  // Every argument of a command is needed; the check is the tool's own, so
  // that its message is German.
  [[nodiscard]] std::string make_option_usage(const CLI::Option* opt) const override {
    return make_option_name(opt, true);
  }
};

struct CommandLine {
  CLI::App app{
      "Legt Zugangsdateien fuer kolvadex an, prueft sie und tauscht Werte aus.\n"
      "Werte kommen nie von der Befehlszeile, sondern von der Standardeingabe\n"
      "(ohne Echo, wenn sie ein Terminal ist).",
      std::string(kProgram)};
  CLI::App* encrypt = nullptr;
  CLI::App* decrypt = nullptr;
  CLI::App* write = nullptr;
  CLI::App* set = nullptr;
  CLI::App* show = nullptr;
  CLI::App* check = nullptr;
  std::string file;
  std::string key;
  bool force = false;
  bool reveal = false;

  CommandLine() {
    app.formatter(std::make_shared<GermanFormatter>());
    app.option_defaults()->group("Optionen");
    app.set_help_flag("-h,--help", "Zeigt diese Hilfe");
    app.set_version_flag("--version", std::string(kProgram) + " " + kVersion, "Zeigt die Version");
    // Unknown arguments are reported here, in German, not by the parser.
    app.allow_extras();
    app.footer(
        "Beispiel:\n  printf '%s\\n' \"$DIENST\" \"$BENUTZER\" \"$PASSWORT\" ORACLE | "
        "kolvadex-cred write QV.INI\n"
        "Status: 0 erledigt, 1 fehlgeschlagen (check: Probleme gefunden), 2 Aufruf falsch");

    encrypt = Add("encrypt", "Liest einen Wert und gibt seinen Hex-Text aus");
    decrypt = Add("decrypt", "Liest einen Hex-Text und gibt den Wert aus");
    write = Add("write",
                "Schreibt eine vollstaendige Zugangsdatei; liest je eine Zeile fuer NET8, LOGIN, "
                "PASS, DB_SYSTEM");
    AddFile(write);
    write->add_flag("--force", force, "Ersetzt eine vorhandene Datei");
    set = Add("set", "Ersetzt den Wert eines Schluessels; alle anderen Bytes bleiben");
    AddFile(set);
    set->add_option("SCHLUESSEL", key, "NET8, LOGIN, PASS oder DB_SYSTEM")->type_name("");
    show = Add("show", "Zeigt die Datensaetze und welcher Datensatz jeden Schluessel beantwortet");
    AddFile(show);
    show->add_flag("--reveal", reveal, "Zeigt auch das Passwort");
    check = Add("check", "Prueft die Datei; Status 0 nur ohne Probleme");
    AddFile(check);
  }

  CLI::App* Add(const std::string& name, const std::string& description) {
    CLI::App* sub = app.add_subcommand(name, description);
    sub->group("Befehle");
    sub->get_help_ptr()->group("Optionen");
    return sub;
  }

  void AddFile(CLI::App* sub) { sub->add_option("DATEI", file, "Die Zugangsdatei")->type_name(""); }
};

int UsageError(const std::string& message, std::ostream& err) {
  err << kProgram << ": " << message << "\n"
      << "Hilfe: " << kProgram << " --help\n";
  return kCredExitUsage;
}

int Run(std::span<const std::string_view> args, std::istream& in, const Streams& io,
        bool interactive) {
  CommandLine cl;
  // The parser takes the arguments last first.
  std::vector<std::string> reversed;
  for (std::size_t i = args.size(); i > 1; --i) reversed.emplace_back(args[i - 1]);
  try {
    cl.app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    io.out << cl.app.help();
    return kCredExitOk;
  } catch (const CLI::CallForAllHelp&) {
    io.out << cl.app.help("", CLI::AppFormatMode::All);
    return kCredExitOk;
  } catch (const CLI::CallForVersion& version) {
    io.out << version.what() << "\n";
    return kCredExitOk;
  } catch (const CLI::ParseError& error) {
    return UsageError(std::string("Aufruf fehlerhaft: ") + error.what(), io.err);
  }

  const std::vector<CLI::App*> chosen = cl.app.get_subcommands();
  if (chosen.empty()) {
    const std::vector<std::string> extra = cl.app.remaining();
    if (!extra.empty())
      return UsageError("unbekannter Befehl '" + Printable(extra.front()) + "'", io.err);
    return UsageError("ein Befehl fehlt (encrypt, decrypt, write, set, show oder check)", io.err);
  }
  CLI::App* command = chosen.front();
  if (const std::vector<std::string> extra = cl.app.remaining(true); !extra.empty()) {
    return UsageError("unerwartetes Argument '" + Printable(extra.front()) + "'", io.err);
  }
  const bool takes_file = command != cl.encrypt && command != cl.decrypt;
  if (takes_file && cl.file.empty()) return UsageError("die Datei fehlt", io.err);
  if (command == cl.set && cl.key.empty()) {
    return UsageError("der Schluessel fehlt (NET8, LOGIN, PASS oder DB_SYSTEM)", io.err);
  }

  ValueReader reader(in, io.err, interactive);
  try {
    if (command == cl.encrypt) return Encrypt(reader, io);
    if (command == cl.decrypt) return Decrypt(reader, io);
    if (command == cl.write) return Write(reader, cl.file, cl.force, io);
    if (command == cl.set) return Set(reader, cl.file, cl.key, io);
    if (command == cl.show) return Show(cl.file, cl.reveal, io);
    return Check(cl.file, io);
  } catch (const Failure& failure) {
    io.err << kProgram << ": " << failure.message << "\n";
    return kCredExitFailed;
  }
}

}  // namespace

int RunCredTool(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
                std::ostream& err, bool interactive) {
  try {
    return Run(args, in, Streams{out, err}, interactive);
  } catch (const std::exception& error) {
    err << kProgram << ": unerwarteter Fehler: " << error.what() << "\n";
    return kCredExitFailed;
  }
}

}  // namespace kolvadex
