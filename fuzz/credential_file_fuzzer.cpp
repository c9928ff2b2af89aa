// Fuzz target: the credential file reader.
//
// The input is the text of a credential file. A reference model, written
// apart from the reader, cuts the text into lines (CR LF reads as LF), pairs
// them into records and takes each record's fields apart by the field rules.
// The reader must give the same records with the same line numbers; every
// section name, key and value must lie within its own line; a value never
// holds a line end, and a section name or key holds one only as its last
// character (the rest-of-the-line rule of adjacent separators). FindRecord
// must answer with the first record the model's request rule picks, and
// GetDbValue must decipher exactly the answering values that are cipher text.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "credentials/cipher.h"
#include "credentials/credential_file.h"

namespace {

using kolvadex::credentials::CredentialReader;
using kolvadex::credentials::CredentialRecord;
using kolvadex::credentials::DbValue;
using kolvadex::credentials::DecryptValue;
using kolvadex::credentials::FindRecord;
using kolvadex::credentials::GetDbValue;
using kolvadex::credentials::IsCipherText;

constexpr std::size_t kMaxRecordRequests = 4;

struct ModelRecord {
  std::string header;  // the lines, CR LF read as LF, with their line feed if they had one
  std::string entry;
  std::optional<std::int32_t> number;
  std::string section;
  std::string key;
  std::string value;
};

std::vector<std::string> ModelLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string current;
  for (const char c : text) {
    if (c == '\n' && !current.empty() && current.back() == '\r') current.pop_back();
    current.push_back(c);
    if (c == '\n') {
      lines.push_back(current);
      current.clear();
    }
  }
  if (!current.empty()) lines.push_back(current);
  return lines;
}

std::vector<std::size_t> Separators(const std::string& line) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == ';') at.push_back(i);
  }
  return at;
}

std::string WithoutLineFeed(std::string line) {
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return line;
}

// The C library's reading of a decimal number, limited to 32 bits.
std::int32_t ModelNumber(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

// Between the first two separators; adjacent ones give the rest of the line
// from the second; fewer than two give nothing.
std::string Field(const std::string& line, const std::vector<std::size_t>& at) {
  if (at.size() < 2) return {};
  if (at[1] == at[0] + 1) return line.substr(at[1]);
  return line.substr(at[0] + 1, at[1] - at[0] - 1);
}

ModelRecord ModelParse(const std::string& header, const std::string& entry) {
  ModelRecord record;
  record.header = header;
  record.entry = entry;
  record.section = Field(header, Separators(header));
  const std::vector<std::size_t> at = Separators(entry);
  if (at.empty()) {
    record.value = WithoutLineFeed(entry);
    return record;
  }
  record.number = ModelNumber(entry.substr(0, at[0]));
  record.key = Field(entry, at);
  record.value = WithoutLineFeed(entry.substr((at.size() >= 2 ? at[1] : at[0]) + 1));
  return record;
}

bool ModelAnswers(const ModelRecord& record, std::string_view section, std::string_view key,
                  std::int32_t number) {
  return record.section == section || record.key == key ||
         (record.number.has_value() && *record.number == number);
}

// A field lies within its line, and a line end in it can only be its last
// character.
void CheckWithinLine(const std::string& field, const std::string& line) {
  FUZZ_CHECK(line.find(field) != std::string::npos);
  const std::size_t line_feed = field.find('\n');
  FUZZ_CHECK(line_feed == std::string::npos || line_feed + 1 == field.size());
}

// Deciphered values by stored value: keying the cipher is the costly step.
using Deciphered = std::map<std::string, std::string, std::less<>>;

void CheckRequest(std::string_view text, const std::vector<ModelRecord>& model,
                  Deciphered& deciphered, std::string_view section, std::string_view key,
                  std::int32_t number) {
  std::size_t answer = 0;
  while (answer < model.size() && !ModelAnswers(model[answer], section, key, number)) ++answer;

  const std::optional<CredentialRecord> found = FindRecord(text, section, key, number);
  const DbValue value = GetDbValue(text, section, key, number);
  if (answer == model.size()) {
    FUZZ_CHECK(!found.has_value());
    FUZZ_CHECK(value.outcome == DbValue::Outcome::kNotFound && value.value.empty());
    return;
  }
  FUZZ_CHECK(found.has_value());
  FUZZ_CHECK(found->header_line == 2 * answer + 1);
  FUZZ_CHECK(found->value == model[answer].value);
  if (!IsCipherText(found->value)) {
    FUZZ_CHECK(value.outcome == DbValue::Outcome::kBadValue && value.value.empty());
    return;
  }
  FUZZ_CHECK(value.outcome == DbValue::Outcome::kFound);
  auto known = deciphered.find(found->value);
  if (known == deciphered.end()) {
    const auto plain = DecryptValue(found->value);
    FUZZ_CHECK(plain.has_value());
    known = deciphered.emplace(found->value, plain->view()).first;
  }
  FUZZ_CHECK(known->second == value.value.view());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = kolvadex::fuzz::AsText(data, size);

  const std::vector<std::string> lines = ModelLines(text);
  std::vector<ModelRecord> model;
  for (std::size_t i = 0; i + 1 < lines.size(); i += 2) {
    model.push_back(ModelParse(lines[i], lines[i + 1]));
  }

  CredentialReader reader(text);
  CredentialRecord record;
  std::size_t count = 0;
  while (reader.Next(record)) {
    FUZZ_CHECK(count < model.size());
    const ModelRecord& expected = model[count];
    FUZZ_CHECK(record.header_line == 2 * count + 1 && record.entry_line == 2 * count + 2);
    FUZZ_CHECK(record.number == expected.number);
    FUZZ_CHECK(record.section == expected.section);
    FUZZ_CHECK(record.key == expected.key);
    FUZZ_CHECK(record.value == expected.value);
    CheckWithinLine(record.section, expected.header);
    CheckWithinLine(record.key, expected.entry);
    CheckWithinLine(record.value, expected.entry);
    FUZZ_CHECK(record.value.find('\n') == std::string::npos);
    ++count;
  }
  FUZZ_CHECK(count == model.size());
  FUZZ_CHECK(!reader.Next(record));  // the end stays the end

  // The tool's own requests, then requests that one record's fields answer.
  Deciphered deciphered;
  for (const char* key : {"NET8", "LOGIN", "PASS", "DB_SYSTEM"}) {
    CheckRequest(text, model, deciphered, "", key, 0);
  }
  for (std::size_t i = 0; i < model.size() && i < kMaxRecordRequests; ++i) {
    const ModelRecord& target = model[model.size() - 1 - i];
    CheckRequest(text, model, deciphered, "\x01", target.key, INT32_MIN + 1);
    CheckRequest(text, model, deciphered, target.section, "\x01", INT32_MIN + 1);
    if (target.number) CheckRequest(text, model, deciphered, "\x01", "\x01", *target.number);
  }
  return 0;
}
