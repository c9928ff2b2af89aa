#include "db/service_display.h"

#include <cctype>

namespace kolvadex::db {
namespace {

constexpr std::string_view kMask = "********";
constexpr std::string_view kPasswordKey = "password";

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::size_t UriPrefixLength(std::string_view service) {
  for (const std::string_view prefix : {"postgresql://", "postgres://"}) {
    if (service.starts_with(prefix)) return prefix.size();
  }
  return 0;
}

std::string MaskUri(std::string_view uri, std::size_t prefix) {
  std::string shown(uri.substr(0, prefix));
  std::string_view rest = uri.substr(prefix);
  // The user part ends at the first "@" that comes before any "/".
  const std::size_t at = rest.find_first_of("@/");
  if (at != std::string_view::npos && rest[at] == '@') {
    const std::string_view user_part = rest.substr(0, at);
    const std::size_t colon = user_part.find(':');
    if (colon != std::string_view::npos) {
      shown.append(user_part.substr(0, colon + 1)).append(kMask);
    } else {
      shown.append(user_part);
    }
    shown += '@';
    rest.remove_prefix(at + 1);
  }
  const std::size_t question = rest.find('?');
  shown.append(rest.substr(0, question));
  if (question == std::string_view::npos) return shown;
  rest.remove_prefix(question + 1);
  shown += '?';
  for (bool first = true;; first = false) {
    const std::size_t amp = rest.find('&');
    const std::string_view parameter = rest.substr(0, amp);
    if (!first) shown += '&';
    const std::size_t equals = parameter.find('=');
    if (parameter.substr(0, equals) == kPasswordKey && equals != std::string_view::npos) {
      shown.append(parameter.substr(0, equals + 1)).append(kMask);
    } else {
      shown.append(parameter);
    }
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  return shown;
}

// Masks the values of "password" in "key = value ..." text, where a value is
// a word or a text in single quotes, with backslash escapes in both.
std::string MaskKeyValues(std::string_view text) {
  std::string shown;
  std::size_t i = 0;
  const auto skip_blanks = [&] {
    while (i < text.size() && IsBlank(text[i])) shown += text[i++];
  };
  for (;;) {
    skip_blanks();
    if (i == text.size()) return shown;
    const std::size_t key_start = i;
    while (i < text.size() && text[i] != '=' && !IsBlank(text[i])) ++i;
    const std::string_view key = text.substr(key_start, i - key_start);
    shown.append(key);
    skip_blanks();
    if (i == text.size() || text[i] != '=') break;
    shown += text[i++];
    skip_blanks();
    const std::size_t value_start = i;
    bool closed = true;
    if (i < text.size() && text[i] == '\'') {
      closed = false;
      for (++i; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
          ++i;
        } else if (text[i] == '\'') {
          closed = true;
          ++i;
          break;
        }
      }
    } else {
      for (; i < text.size() && !IsBlank(text[i]); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
      }
    }
    if (!closed) break;
    if (key == kPasswordKey) {
      shown.append(kMask);
    } else {
      shown.append(text.substr(value_start, i - value_start));
    }
  }
  // Not readable to its end: nothing after the word "password" is shown.
  const std::size_t password = text.find(kPasswordKey);
  if (password == std::string_view::npos) return std::string(text);
  return std::string(text.substr(0, password + kPasswordKey.size())).append(kMask);
}

}  // namespace

std::string ServiceForDisplay(std::string_view service) {
  if (const std::size_t prefix = UriPrefixLength(service); prefix != 0) {
    return MaskUri(service, prefix);
  }
  if (service.find('=') != std::string_view::npos) return MaskKeyValues(service);
  return std::string(service);
}

}  // namespace kolvadex::db
