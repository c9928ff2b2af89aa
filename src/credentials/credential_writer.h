// Making and editing credential files, and checking them the way kolvadex
// reads them. Everything here works on text; loading and storing files is the
// caller's job.
//
// A file made here holds one two-line record per key, in the order NET8,
// LOGIN, PASS, DB_SYSTEM:
//   KOLVADEX;KOLVADEX;          header line: the section name is "KOLVADEX"
//   1;NET8;<hex cipher text>    entry line: numbers 1 to 4
// with LF line ends. Every record has a section name and a number other than
// 0, so that in kolvadex's lookup the key alone decides.
//
// Contracts:
// - CheckPlainValue tells whether a plain value can be stored (no zero byte,
//   no CR, no LF).
// - FormatCredentialFile enciphers four storable values into a complete file.
// - ReplaceValue puts a new value into the record that answers a key and
//   keeps every other byte, the line ends included; it refuses (and returns no
//   text) when no record answers the key, or when the answering record is not
//   the key's own or also answers another key.
// - CheckCredentialFile lists, for each key, the record that answers it and
//   every problem kolvadex would run into.
// Deciphered values are wiped after use; nothing here keeps a plain value.
#ifndef KOLVADEX_CREDENTIALS_CREDENTIAL_WRITER_H_
#define KOLVADEX_CREDENTIALS_CREDENTIAL_WRITER_H_

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "credentials/credential_file.h"

namespace kolvadex::credentials {

// The keys kolvadex asks for, in the order it asks.
inline constexpr std::array<std::string_view, 4> kCredentialKeys = {"NET8", "LOGIN", "PASS",
                                                                    "DB_SYSTEM"};
inline constexpr std::string_view kPasswordKey = "PASS";

// The header line of every record this module writes, without its line feed.
inline constexpr std::string_view kWrittenHeader = "KOLVADEX;KOLVADEX;";

// Whether `key` is one of kCredentialKeys.
bool IsCredentialKey(std::string_view key);

enum class PlainValueProblem { kNone, kZeroByte, kLineEnd };

// A zero byte would end the value when it is deciphered; CR and LF end the
// line the value is read from.
PlainValueProblem CheckPlainValue(std::string_view plain);

// The plain values in the order of kCredentialKeys.
using CredentialValues = std::array<std::string_view, 4>;

// A complete credential file. Every value must pass CheckPlainValue.
std::string FormatCredentialFile(const CredentialValues& values);

struct Replacement {
  enum class Outcome {
    kReplaced,      // `text` holds the changed file
    kKeyMissing,    // no record answers the key
    kOtherRecord,   // the answering record (`record`) has another key
    kSharedRecord,  // the key's record also answers `other_key`
  };
  Outcome outcome = Outcome::kKeyMissing;
  std::string text;
  std::optional<CredentialRecord> record;
  std::string other_key;
};

// Replaces the value of `key` with the cipher text of `plain` (which must pass
// CheckPlainValue).
Replacement ReplaceValue(std::string_view text, std::string_view key, std::string_view plain);

// Why a record answers every request of kolvadex.
struct CatchAll {
  bool empty_section = false;
  bool number_zero = false;
};

// Whether `record` answers every request of kolvadex (section "", number 0).
std::optional<CatchAll> AnswersEveryKey(const CredentialRecord& record);

struct CredentialProblem {
  enum class Kind {
    kMissingKey,       // no record answers `key`
    kAnswersEveryKey,  // `record` answers every key (`catch_all` says why)
    kNotCipherText,    // the value answering `key` is not whole 16-digit hex groups
    kEmptyValue,       // the value answering `key` deciphers to an empty text
  };
  Kind kind = Kind::kMissingKey;
  std::string key;                         // empty for kAnswersEveryKey
  std::optional<CredentialRecord> record;  // absent for kMissingKey
  CatchAll catch_all;
  std::vector<std::string> answered_keys;  // kAnswersEveryKey: the keys it answers in the file
};

struct KeyAnswer {
  std::string_view key;
  std::optional<CredentialRecord> record;  // absent: nothing answers
};

struct CredentialCheck {
  std::array<KeyAnswer, 4> answers;         // in the order of kCredentialKeys
  std::vector<CredentialProblem> problems;  // in file order: records first, then keys
  [[nodiscard]] bool ok() const { return problems.empty(); }
};

// Checks a credential file's text. An empty LOGIN or PASS is not a problem
// when the database system answered is SQLite (in any ASCII case), which uses
// neither.
CredentialCheck CheckCredentialFile(std::string_view text);

}  // namespace kolvadex::credentials

#endif  // KOLVADEX_CREDENTIALS_CREDENTIAL_WRITER_H_
