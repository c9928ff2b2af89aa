// Fuzz target: hex decoding and the value cipher.
//
// The input is taken three ways:
//   - as a stored value (hex text): IsCipherText must agree with a reference
//     (whole groups of 16 hex digits), DecryptValue must refuse exactly what
//     IsCipherText refuses, read lower-case digits like capitals, give a text
//     without zero bytes, and - the cipher being a permutation of blocks -
//     enciphering a deciphered value that had no zero byte must give the
//     stored value back in capitals; HexToBin must agree with a reference
//     decoder and refuse a text too short for its output;
//   - as a plain value: EncryptValue gives capital cipher text of whole
//     blocks, and DecryptValue gives the value back up to its first zero byte;
//   - as a key (1 to 56 bytes) and a plain value: the same round trip under
//     that key, and one Blowfish block enciphered and deciphered again.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "credentials/cipher.h"

namespace {

using kolvadex::credentials::BlowfishContext;
using kolvadex::credentials::BlowfishDecrypt;
using kolvadex::credentials::BlowfishEncrypt;
using kolvadex::credentials::BlowfishInit;
using kolvadex::credentials::DecryptValue;
using kolvadex::credentials::EncryptValue;
using kolvadex::credentials::HexToBin;
using kolvadex::credentials::IsCipherText;

constexpr std::size_t kMaxKeyBytes = 56;

int ModelDigit(char c) {
  static constexpr std::string_view kUpper = "0123456789ABCDEF";
  static constexpr std::string_view kLower = "0123456789abcdef";
  if (const std::size_t at = kUpper.find(c); at != std::string_view::npos)
    return static_cast<int>(at);
  if (const std::size_t at = kLower.find(c); at != std::string_view::npos)
    return static_cast<int>(at);
  return -1;
}

bool ModelIsCipherText(std::string_view text) {
  if (text.size() % 16 != 0) return false;
  for (const char c : text) {
    if (ModelDigit(c) < 0) return false;
  }
  return true;
}

std::string Capitals(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 32);
  }
  return result;
}

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c + 32);
  }
  return result;
}

std::uint32_t LittleEndianWord(const unsigned char* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8U | std::uint32_t{bytes[2]} << 16U |
         std::uint32_t{bytes[3]} << 24U;
}

std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

void CheckHexToBin(std::string_view text) {
  const std::size_t bytes = text.size() / 2;
  std::vector<unsigned char> out(bytes);
  bool all_digits = true;
  for (std::size_t i = 0; i < 2 * bytes; ++i) all_digits = all_digits && ModelDigit(text[i]) >= 0;
  FUZZ_CHECK(HexToBin(text, out) == all_digits);
  if (all_digits) {
    for (std::size_t i = 0; i < bytes; ++i) {
      FUZZ_CHECK(out[i] == ModelDigit(text[2 * i]) * 16 + ModelDigit(text[2 * i + 1]));
    }
  }
  // An output longer than the text can fill is refused before anything is read past it.
  std::vector<unsigned char> too_long(bytes + 1);
  FUZZ_CHECK(!HexToBin(text, too_long));
}

void CheckStoredValue(std::string_view text) {
  const bool cipher_text = IsCipherText(text);
  FUZZ_CHECK(cipher_text == ModelIsCipherText(text));
  const auto plain = DecryptValue(text);
  FUZZ_CHECK(plain.has_value() == cipher_text);
  if (!plain) return;
  FUZZ_CHECK(plain->view().find('\0') == std::string_view::npos);
  FUZZ_CHECK(plain->size() <= text.size() / 2);
  const auto from_lower = DecryptValue(Lower(text));
  FUZZ_CHECK(from_lower.has_value() && from_lower->view() == plain->view());
  if (plain->size() == text.size() / 2) {
    FUZZ_CHECK(EncryptValue(plain->view()) == Capitals(text));
  }
}

void CheckRoundTrip(std::string_view plain, std::string_view key) {
  const std::string hex = EncryptValue(plain, key);
  FUZZ_CHECK(hex.size() == (plain.size() + 7) / 8 * 16);
  FUZZ_CHECK(hex.find_first_not_of("0123456789ABCDEF") == std::string::npos);
  const auto back = DecryptValue(hex, key);
  FUZZ_CHECK(back.has_value() && back->view() == UpToZero(plain));
}

void CheckBlock(std::string_view key, std::string_view block) {
  std::array<unsigned char, 8> bytes{};
  for (std::size_t i = 0; i < bytes.size() && i < block.size(); ++i) {
    bytes[i] = static_cast<unsigned char>(block[i]);
  }
  const std::uint32_t left = LittleEndianWord(bytes.data());
  const std::uint32_t right = LittleEndianWord(bytes.data() + 4);
  BlowfishContext context{};
  BlowfishInit(context, std::span(reinterpret_cast<const unsigned char*>(key.data()), key.size()));
  std::uint32_t l = left;
  std::uint32_t r = right;
  BlowfishEncrypt(context, l, r);
  BlowfishDecrypt(context, l, r);
  FUZZ_CHECK(l == left && r == right);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = kolvadex::fuzz::AsText(data, size);

  CheckHexToBin(text);
  CheckStoredValue(text);
  CheckRoundTrip(text, kolvadex::credentials::kValueKey);

  // Without a key nothing is enciphered or deciphered.
  FUZZ_CHECK(EncryptValue(text, "").empty());
  FUZZ_CHECK(!DecryptValue(text, "").has_value());

  if (!text.empty()) {
    const std::size_t key_size = 1 + static_cast<std::size_t>(data[0]) % kMaxKeyBytes;
    const std::string_view rest = text.substr(1);
    const std::string_view key = rest.substr(0, key_size);
    if (!key.empty()) {
      const std::string_view plain = rest.substr(key.size());
      CheckRoundTrip(plain, key);
      CheckBlock(key, plain);
    }
  }
  return 0;
}
