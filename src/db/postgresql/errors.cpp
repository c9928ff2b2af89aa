#include "db/postgresql/errors.h"

#include <cstring>

namespace kolvadex::db::postgresql {

int StatusFromSqlState(const char* sqlstate) {
  if (sqlstate != nullptr && std::strcmp(sqlstate, "23505") == 0) return kStatusUniqueViolation;
  return kStatusServerError;
}

std::string ErrorText(const char* sqlstate, const char* primary, const char* fallback) {
  if (sqlstate != nullptr && *sqlstate != '\0' && primary != nullptr && *primary != '\0') {
    return OneLine(std::string("SQLSTATE ") + sqlstate + ": " + primary);
  }
  return OneLine(fallback != nullptr ? fallback : "");
}

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  bool blank = false;
  for (const char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
      blank = true;
      continue;
    }
    if (blank && !line.empty()) line += ' ';
    blank = false;
    line += c;
  }
  return line;
}

std::string Redact(std::string text, const std::vector<std::string>& secrets) {
  static constexpr std::string_view kMask = "********";
  for (const std::string& secret : secrets) {
    if (secret.empty()) continue;
    for (std::size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + kMask.size())) {
      text.replace(at, secret.size(), kMask);
    }
  }
  return text;
}

}  // namespace kolvadex::db::postgresql
