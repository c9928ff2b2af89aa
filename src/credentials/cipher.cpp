#include "credentials/cipher.h"

#include <cstddef>
#include <utility>

#include "credentials/blowfish_tables.h"

namespace kolvadex::credentials {
namespace {

constexpr std::size_t kBlockBytes = 8;
constexpr std::size_t kBlockDigits = 2 * kBlockBytes;

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::uint32_t LoadLittleEndian(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8U |
         static_cast<std::uint32_t>(bytes[2]) << 16U | static_cast<std::uint32_t>(bytes[3]) << 24U;
}

void StoreLittleEndian(std::uint32_t word, unsigned char* bytes) {
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<unsigned char>(word >> (8U * static_cast<unsigned>(i)));
  }
}

// The round function, encryption and key schedule, in a form the compiler can
// also run (for kValueKeyContext below). `key` holds bytes as chars or unsigned
// chars and must not be empty.
constexpr std::uint32_t F(const BlowfishContext& context, std::uint32_t x) {
  const auto& s = context.S;
  return ((s[0][x >> 24U] + s[1][(x >> 16U) & 0xFFU]) ^ s[2][(x >> 8U) & 0xFFU]) + s[3][x & 0xFFU];
}

constexpr void Encrypt(const BlowfishContext& context, std::uint32_t& L, std::uint32_t& R) {
  std::uint32_t left = L;
  std::uint32_t right = R;
  for (std::size_t i = 0; i < 16; ++i) {
    left ^= context.P[i];
    right ^= F(context, left);
    std::swap(left, right);
  }
  std::swap(left, right);
  right ^= context.P[16];
  left ^= context.P[17];
  L = left;
  R = right;
}

template <typename Byte>
constexpr void Init(BlowfishContext& context, std::span<const Byte> key) {
  context.S = kInitialS;
  std::size_t k = 0;
  for (std::size_t i = 0; i < context.P.size(); ++i) {
    std::uint32_t word = 0;
    for (int b = 0; b < 4; ++b) {
      word = (word << 8U) | static_cast<unsigned char>(key[k]);
      k = (k + 1) % key.size();
    }
    context.P[i] = kInitialP[i] ^ word;
  }
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (std::size_t i = 0; i < context.P.size(); i += 2) {
    Encrypt(context, left, right);
    context.P[i] = left;
    context.P[i + 1] = right;
  }
  for (auto& box : context.S) {
    for (std::size_t i = 0; i < box.size(); i += 2) {
      Encrypt(context, left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
}

constexpr BlowfishContext KeyedContext(std::string_view key) {
  BlowfishContext context{};
  Init(context, std::span(key.data(), key.size()));
  return context;
}

// The schedule of the tool's fixed key, worked out by the compiler. Keying
// costs 521 block encryptions (some 220,000 instructions), and each of the
// four lookups of a run would repeat them for the same key. A lookup starts
// from a copy of this schedule instead, and wipes its copy after use as it
// would a context it keyed itself. The schedule tells nothing the key, which
// is part of the program anyway, does not.
constexpr BlowfishContext kValueKeyContext = KeyedContext(kValueKey);

// Keys a context with the bytes of `key`, which must not be empty.
void InitWithKey(BlowfishContext& context, std::string_view key) {
  if (key == kValueKey) {
    context = kValueKeyContext;
  } else {
    Init(context, std::span(key.data(), key.size()));
  }
}

}  // namespace

std::uint32_t BlowfishF(const BlowfishContext& context, std::uint32_t x) { return F(context, x); }

void BlowfishEncrypt(const BlowfishContext& context, std::uint32_t& L, std::uint32_t& R) {
  Encrypt(context, L, R);
}

void BlowfishDecrypt(const BlowfishContext& context, std::uint32_t& L, std::uint32_t& R) {
  std::uint32_t left = L;
  std::uint32_t right = R;
  for (std::size_t i = 17; i > 1; --i) {
    left ^= context.P[i];
    right ^= F(context, left);
    std::swap(left, right);
  }
  std::swap(left, right);
  right ^= context.P[1];
  left ^= context.P[0];
  L = left;
  R = right;
}

void BlowfishInit(BlowfishContext& context, std::span<const unsigned char> key) {
  Init(context, key);
}

bool HexToBin(std::string_view text, std::span<unsigned char> out) {
  if (text.size() < 2 * out.size()) return false;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int high = HexDigitValue(text[2 * i]);
    const int low = HexDigitValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<unsigned char>(high * 16 + low);
  }
  return true;
}

bool IsCipherText(std::string_view hex) {
  if (hex.size() % kBlockDigits != 0) return false;
  for (const char c : hex) {
    if (HexDigitValue(c) < 0) return false;
  }
  return true;
}

std::optional<Secret> DecryptValue(std::string_view hex, std::string_view key) {
  if (!IsCipherText(hex) || key.empty()) return std::nullopt;
  BlowfishContext context;
  InitWithKey(context, key);
  std::string plain(hex.size() / 2, '\0');
  auto* out = reinterpret_cast<unsigned char*>(plain.data());
  for (std::size_t offset = 0; offset < hex.size(); offset += kBlockDigits) {
    unsigned char* block = out + offset / 2;
    HexToBin(hex.substr(offset, kBlockDigits), std::span(block, kBlockBytes));
    std::uint32_t left = LoadLittleEndian(block);
    std::uint32_t right = LoadLittleEndian(block + 4);
    BlowfishDecrypt(context, left, right);
    StoreLittleEndian(left, block);
    StoreLittleEndian(right, block + 4);
  }
  SecureWipe(&context, sizeof context);
  // The value is a text: it ends at its first zero byte. Wipe what follows
  // before the storage is shortened.
  const std::size_t length = plain.find('\0');
  if (length != std::string::npos) {
    SecureWipe(plain.data() + length, plain.size() - length);
    plain.resize(length);
  }
  return Secret(std::move(plain));
}

std::string EncryptValue(std::string_view plain, std::string_view key) {
  if (key.empty()) return {};
  BlowfishContext context;
  InitWithKey(context, key);
  const std::size_t blocks = (plain.size() + kBlockBytes - 1) / kBlockBytes;
  std::string hex;
  hex.reserve(blocks * kBlockDigits);
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  for (std::size_t b = 0; b < blocks; ++b) {
    std::array<unsigned char, kBlockBytes> block{};
    const std::string_view piece = plain.substr(b * kBlockBytes, kBlockBytes);
    for (std::size_t i = 0; i < piece.size(); ++i) block[i] = static_cast<unsigned char>(piece[i]);
    std::uint32_t left = LoadLittleEndian(block.data());
    std::uint32_t right = LoadLittleEndian(block.data() + 4);
    BlowfishEncrypt(context, left, right);
    StoreLittleEndian(left, block.data());
    StoreLittleEndian(right, block.data() + 4);
    for (const unsigned char byte : block) {
      hex.push_back(kDigits[byte >> 4U]);
      hex.push_back(kDigits[byte & 0x0FU]);
    }
    SecureWipe(block.data(), block.size());
  }
  SecureWipe(&context, sizeof context);
  return hex;
}

}  // namespace kolvadex::credentials
