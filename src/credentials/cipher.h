// Value cipher: every value of a credential file is stored as hex text of
// Blowfish ciphertext under a fixed key.
//
// The cipher is Blowfish as published (16 rounds, 18 subkeys, four S-boxes,
// the standard key schedule), used block by block without chaining. Each
// 8-byte block is split into its two 32-bit halves in little-endian byte order:
// existing credential files depend on it, and a Blowfish with the customary
// big-endian halves does not read them.
//
// Hex text is pairs of hex digits, high digit first; 16 digits make one block.
// Digits a-f are read like A-F; values are written with capital digits.
#ifndef KOLVADEX_CREDENTIALS_CIPHER_H_
#define KOLVADEX_CREDENTIALS_CIPHER_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/secret.h"

namespace kolvadex::credentials {

// The tool's fixed key: 7 key bytes, no terminator.
inline constexpr std::string_view kValueKey = "DEZEDED";

struct BlowfishContext {
  std::array<std::uint32_t, 18> P;
  std::array<std::array<std::uint32_t, 256>, 4> S;
};

// Keys `context` with `key` (1 to 56 bytes, taken cyclically).
void BlowfishInit(BlowfishContext& context, std::span<const unsigned char> key);
std::uint32_t BlowfishF(const BlowfishContext& context, std::uint32_t x);
// One block in place; L and R are the halves as numbers.
void BlowfishEncrypt(const BlowfishContext& context, std::uint32_t& L, std::uint32_t& R);
void BlowfishDecrypt(const BlowfishContext& context, std::uint32_t& L, std::uint32_t& R);

// Decodes 2 * out.size() hex digits of `text` into `out`. Returns false, with
// `out` partly written, when a character is not a hex digit (0-9, A-F, a-f).
bool HexToBin(std::string_view text, std::span<unsigned char> out);

// Whether `hex` is whole groups of 16 hex digits (the empty text included).
bool IsCipherText(std::string_view hex);

// Deciphers a stored value. The plain text ends at its first zero byte.
// Returns nullopt, without reading past `hex`, when it is not whole 16-digit
// groups of hex digits. Every temporary, the keyed context included, is wiped.
std::optional<Secret> DecryptValue(std::string_view hex, std::string_view key = kValueKey);

// Enciphers `plain` into capital hex text, zero-padded to whole 8-byte blocks.
// A text holding a zero byte would be cut there by DecryptValue; callers refuse
// such values before.
std::string EncryptValue(std::string_view plain, std::string_view key = kValueKey);

}  // namespace kolvadex::credentials

#endif  // KOLVADEX_CREDENTIALS_CIPHER_H_
