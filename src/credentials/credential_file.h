// Credential file: the connection data of the application (service name, user,
// password, database system), every value stored as hex cipher text.
//
// The file is a sequence of two-line records:
//   header line  fields separated by ";"; the text between the first and the
//                second ";" is the record's section name;
//   entry line   number ";" key ";" value  (the value is the hex cipher text).
// CR LF ends a line like LF; lines are read whole. A request is answered by the
// first record whose section name equals the requested one, or whose key
// equals the requested key, or whose number equals the requested number; the
// tool asks with section "" and number 0, so a record with an empty section
// name or number 0 answers every request.
//
// The readers here work on the file's text; loading it is ReadTextFile's job
// (common/text_file.h).
#ifndef KOLVADEX_CREDENTIALS_CREDENTIAL_FILE_H_
#define KOLVADEX_CREDENTIALS_CREDENTIAL_FILE_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/secret.h"

namespace kolvadex::credentials {

// Position of the n-th (n >= 1) occurrence of `c` in `text`; the position of
// the last one when there are fewer than n; -1 when there is none.
std::ptrdiff_t FindCharPos(std::string_view text, char c, int n);

// `length` characters of `text` from `start`; a length of 0 means to the end
// of the text; a negative length gives the empty text.
std::string_view SubString(std::string_view text, std::ptrdiff_t start, std::ptrdiff_t length);

struct CredentialRecord {
  std::optional<std::int32_t> number;  // absent when the entry line holds no ";"
  std::string section;
  std::string key;
  std::string value;            // hex cipher text as stored
  std::size_t header_line = 0;  // 1-based line numbers in the file
  std::size_t entry_line = 0;
};

// Splits a header line and an entry line (each with its line feed, if it had
// one) into a record.
CredentialRecord ParseRecord(std::string_view header, std::string_view entry);

// Reads the records of a credential file's text in order.
class CredentialReader {
 public:
  explicit CredentialReader(std::string_view text);
  // Fills `record` with the next record; false at the end (a header line
  // without an entry line is no record).
  bool Next(CredentialRecord& record);

 private:
  // The next line with its line feed; a CR LF line is rewritten into `buffer`
  // (one for header lines, one for entry lines, so that a record's two lines
  // never share one).
  std::optional<std::string_view> NextLine(std::string& buffer);

  std::string_view rest_;
  std::string header_buffer_;
  std::string entry_buffer_;
  std::size_t line_number_ = 0;
};

bool Answers(const CredentialRecord& record, std::string_view section, std::string_view key,
             std::int32_t number);

// The first record of `text` that answers the request, if any.
std::optional<CredentialRecord> FindRecord(std::string_view text, std::string_view section,
                                           std::string_view key, std::int32_t number);

struct DbValue {
  enum class Outcome {
    kFound,     // `value` holds the deciphered value
    kNotFound,  // no record answered; `value` is empty
    kBadValue,  // the answering record's value is not hex cipher text; `value` is empty
  };
  Outcome outcome = Outcome::kNotFound;
  Secret value;
};

// Looks up one value and deciphers it.
DbValue GetDbValue(std::string_view text, std::string_view section, std::string_view key,
                   std::int32_t number);

}  // namespace kolvadex::credentials

#endif  // KOLVADEX_CREDENTIALS_CREDENTIAL_FILE_H_
