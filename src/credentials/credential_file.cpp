#include "credentials/credential_file.h"

#include <climits>
#include <utility>

#include "credentials/cipher.h"

namespace kolvadex::credentials {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The record number: leading white space, an optional sign, then digits up to
// the first other character; no digits give 0. Values beyond 32 bits saturate.
std::int32_t ParseNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<std::int64_t>(INT_MAX) + 1)
      value = static_cast<std::int64_t>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<std::int32_t>(value);
}

std::string_view WithoutLineFeed(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return line;
}

}  // namespace

std::ptrdiff_t FindCharPos(std::string_view text, char c, int n) {
  std::ptrdiff_t found = -1;
  int seen = 0;
  for (std::size_t i = 0; i < text.size() && seen < n; ++i) {
    if (text[i] == c) {
      found = static_cast<std::ptrdiff_t>(i);
      ++seen;
    }
  }
  return found;
}

std::string_view SubString(std::string_view text, std::ptrdiff_t start, std::ptrdiff_t length) {
  if (length < 0 || start < 0 || static_cast<std::size_t>(start) > text.size()) return {};
  const auto from = static_cast<std::size_t>(start);
  return length == 0 ? text.substr(from) : text.substr(from, static_cast<std::size_t>(length));
}

CredentialRecord ParseRecord(std::string_view header, std::string_view entry) {
  CredentialRecord record;
  const std::ptrdiff_t h1 = FindCharPos(header, ';', 1);
  const std::ptrdiff_t h2 = FindCharPos(header, ';', 2);
  record.section = SubString(header, h1 + 1, h2 - h1 - 1);

  const std::ptrdiff_t e1 = FindCharPos(entry, ';', 1);
  const std::ptrdiff_t e2 = FindCharPos(entry, ';', 2);
  if (e1 < 0) {
    // No ";" at all: no number, no key, and the whole line is the value.
    record.value = WithoutLineFeed(entry);
    return record;
  }
  record.number = ParseNumber(entry.substr(0, static_cast<std::size_t>(e1)));
  record.key = SubString(entry, e1 + 1, e2 - e1 - 1);
  // The value runs from after the second ";" (the only one, when there is one)
  // to the end of the line; an empty field is an empty value.
  record.value = WithoutLineFeed(entry.substr(static_cast<std::size_t>(e2) + 1));
  return record;
}

CredentialReader::CredentialReader(std::string_view text) : rest_(text) {}

std::optional<std::string_view> CredentialReader::NextLine(std::string& buffer) {
  if (rest_.empty()) return std::nullopt;
  ++line_number_;
  const std::size_t end = rest_.find('\n');
  std::string_view line = end == std::string_view::npos ? rest_ : rest_.substr(0, end + 1);
  rest_.remove_prefix(line.size());
  // CR LF reads as LF, as in the text mode the files were written for.
  if (line.size() >= 2 && line[line.size() - 2] == '\r' && line.back() == '\n') {
    buffer.assign(line.substr(0, line.size() - 2));
    buffer.push_back('\n');
    return std::string_view(buffer);
  }
  return line;
}

bool CredentialReader::Next(CredentialRecord& record) {
  const auto header = NextLine(header_buffer_);
  if (!header) return false;
  const std::size_t header_line = line_number_;
  const auto entry = NextLine(entry_buffer_);
  if (!entry) return false;
  record = ParseRecord(*header, *entry);
  record.header_line = header_line;
  record.entry_line = line_number_;
  return true;
}

bool Answers(const CredentialRecord& record, std::string_view section, std::string_view key,
             std::int32_t number) {
  return record.section == section || record.key == key || record.number == number;
}

std::optional<CredentialRecord> FindRecord(std::string_view text, std::string_view section,
                                           std::string_view key, std::int32_t number) {
  CredentialReader reader(text);
  CredentialRecord record;
  while (reader.Next(record)) {
    if (Answers(record, section, key, number)) return record;
  }
  return std::nullopt;
}

DbValue GetDbValue(std::string_view text, std::string_view section, std::string_view key,
                   std::int32_t number) {
  DbValue result;
  const auto record = FindRecord(text, section, key, number);
  if (!record) return result;
  auto plain = DecryptValue(record->value);
  if (!plain) {
    result.outcome = DbValue::Outcome::kBadValue;
    return result;
  }
  result.outcome = DbValue::Outcome::kFound;
  result.value = std::move(*plain);
  return result;
}

}  // namespace kolvadex::credentials
