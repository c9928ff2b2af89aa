#include "credentials/credential_writer.h"

#include <algorithm>
#include <utility>

#include "credentials/cipher.h"

namespace kolvadex::credentials {
namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

// Byte offset of the start of the 1-based line `line` of `text`, lines ending
// at LF as the reader splits them.
std::size_t LineStart(std::string_view text, std::size_t line) {
  std::size_t offset = 0;
  for (std::size_t n = 1; n < line; ++n) offset = text.find('\n', offset) + 1;
  return offset;
}

bool SameRecord(const std::optional<CredentialRecord>& a, const CredentialRecord& b) {
  return a && a->entry_line == b.entry_line;
}

std::optional<CredentialRecord> Lookup(std::string_view text, std::string_view key) {
  return FindRecord(text, "", key, 0);
}

}  // namespace

bool IsCredentialKey(std::string_view key) {
  return std::find(kCredentialKeys.begin(), kCredentialKeys.end(), key) != kCredentialKeys.end();
}

PlainValueProblem CheckPlainValue(std::string_view plain) {
  if (plain.find('\0') != std::string_view::npos) return PlainValueProblem::kZeroByte;
  if (plain.find_first_of("\r\n") != std::string_view::npos) return PlainValueProblem::kLineEnd;
  return PlainValueProblem::kNone;
}

std::string FormatCredentialFile(const CredentialValues& values) {
  std::string text;
  for (std::size_t i = 0; i < kCredentialKeys.size(); ++i) {
    text += kWrittenHeader;
    text += '\n';
    text += std::to_string(i + 1);
    text += ';';
    text += kCredentialKeys[i];
    text += ';';
    text += EncryptValue(values[i]);
    text += '\n';
  }
  return text;
}

Replacement ReplaceValue(std::string_view text, std::string_view key, std::string_view plain) {
  Replacement result;
  result.record = Lookup(text, key);
  if (!result.record) return result;
  const CredentialRecord& record = *result.record;
  if (record.key != key) {
    result.outcome = Replacement::Outcome::kOtherRecord;
    return result;
  }
  for (const std::string_view other : kCredentialKeys) {
    if (other != key && SameRecord(Lookup(text, other), record)) {
      result.outcome = Replacement::Outcome::kSharedRecord;
      result.other_key = other;
      return result;
    }
  }

  // The entry line as stored, without its line end (LF or CR LF). The value
  // runs from after the second ";" (the only one, when there is one) to there,
  // exactly as the reader takes it apart.
  const std::size_t start = LineStart(text, record.entry_line);
  std::size_t end = text.find('\n', start);
  if (end == std::string_view::npos) {
    end = text.size();
  } else if (end > start && text[end - 1] == '\r') {
    --end;
  }
  const std::string_view line = text.substr(start, end - start);
  const auto value_start = start + static_cast<std::size_t>(FindCharPos(line, ';', 2)) + 1;

  result.text.reserve(text.size() + 16 * (plain.size() / 8 + 1));
  result.text.append(text.substr(0, value_start));
  result.text.append(EncryptValue(plain));
  result.text.append(text.substr(end));
  result.outcome = Replacement::Outcome::kReplaced;
  return result;
}

std::optional<CatchAll> AnswersEveryKey(const CredentialRecord& record) {
  CatchAll why{record.section.empty(), record.number == 0};
  if (!why.empty_section && !why.number_zero) return std::nullopt;
  return why;
}

CredentialCheck CheckCredentialFile(std::string_view text) {
  CredentialCheck check;
  for (std::size_t i = 0; i < kCredentialKeys.size(); ++i) {
    check.answers[i] = {kCredentialKeys[i], Lookup(text, kCredentialKeys[i])};
  }

  CredentialReader reader(text);
  CredentialRecord record;
  while (reader.Next(record)) {
    const auto why = AnswersEveryKey(record);
    if (!why) continue;
    CredentialProblem problem;
    problem.kind = CredentialProblem::Kind::kAnswersEveryKey;
    problem.catch_all = *why;
    for (const KeyAnswer& answer : check.answers) {
      if (SameRecord(answer.record, record)) problem.answered_keys.emplace_back(answer.key);
    }
    problem.record = record;
    check.problems.push_back(std::move(problem));
  }

  // Whether the database system answered is SQLite, which needs no user and
  // no password.
  bool sqlite = false;
  if (const auto& db_system = check.answers[3].record) {
    if (const auto plain = DecryptValue(db_system->value)) {
      sqlite = EqualsIgnoringAsciiCase(plain->view(), "SQLITE");
    }
  }

  for (const KeyAnswer& answer : check.answers) {
    CredentialProblem problem;
    problem.key = answer.key;
    problem.record = answer.record;
    if (!answer.record) {
      problem.kind = CredentialProblem::Kind::kMissingKey;
    } else if (const auto plain = DecryptValue(answer.record->value); !plain) {
      problem.kind = CredentialProblem::Kind::kNotCipherText;
    } else if (plain->empty() &&
               !(sqlite && (answer.key == "LOGIN" || answer.key == kPasswordKey))) {
      problem.kind = CredentialProblem::Kind::kEmptyValue;
    } else {
      continue;
    }
    check.problems.push_back(std::move(problem));
  }
  return check;
}

}  // namespace kolvadex::credentials
