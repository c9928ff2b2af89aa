#include "credentials/cipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kolvadex::credentials {
namespace {

std::vector<unsigned char> Bytes(const std::string& hex) {
  std::vector<unsigned char> bytes(hex.size() / 2);
  EXPECT_TRUE(HexToBin(hex, bytes));
  return bytes;
}

std::uint32_t BigEndianWord(const std::vector<unsigned char>& b, std::size_t at) {
  return std::uint32_t{b[at]} << 24U | std::uint32_t{b[at + 1]} << 16U |
         std::uint32_t{b[at + 2]} << 8U | std::uint32_t{b[at + 3]};
}

std::string AsText(const std::vector<unsigned char>& bytes) {
  return {bytes.begin(), bytes.end()};
}

struct KnownAnswer {
  std::string key, plain, cipher;
};

// Published Blowfish vectors, halves in the customary big-endian order.
TEST(BlowfishTest, KnownAnswerVectors) {
  for (const KnownAnswer& v : {KnownAnswer{"0000000000000000", "0000000000000000", "4EF997456198DD78"},
                               KnownAnswer{"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
                               KnownAnswer{"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
                               KnownAnswer{"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"}}) {
    SCOPED_TRACE(v.key);
    BlowfishContext context;
    BlowfishInit(context, Bytes(v.key));
    const auto plain = Bytes(v.plain);
    const auto cipher = Bytes(v.cipher);
    std::uint32_t left = BigEndianWord(plain, 0);
    std::uint32_t right = BigEndianWord(plain, 4);
    BlowfishEncrypt(context, left, right);
    EXPECT_EQ(left, BigEndianWord(cipher, 0));
    EXPECT_EQ(right, BigEndianWord(cipher, 4));
    BlowfishDecrypt(context, left, right);
    EXPECT_EQ(left, BigEndianWord(plain, 0));
    EXPECT_EQ(right, BigEndianWord(plain, 4));
  }
}

// Stored values split each block into little-endian halves: the published
// ciphertext with each half's bytes reversed deciphers to the published plain
// block with each half likewise reversed; the published order does not.
TEST(DecryptValueTest, BlocksUseLittleEndianHalves) {
  const std::string key = AsText(Bytes("FEDCBA9876543210"));
  const auto reversed = DecryptValue("0FABCE0A8DA2A0C6", key);
  ASSERT_TRUE(reversed.has_value());
  EXPECT_EQ(reversed->view(), AsText(Bytes("67452301EFCDAB89")));

  const auto published = DecryptValue("0ACEAB0FC6A0A28D", key);
  ASSERT_TRUE(published.has_value());
  EXPECT_NE(published->view(), AsText(Bytes("67452301EFCDAB89")));
  EXPECT_NE(published->view(), AsText(Bytes("0123456789ABCDEF")));
}

TEST(DecryptValueTest, RoundTripsWithTheFixedKey) {
  const std::vector<std::string> plains = {"", "a", "ORACLE", "exactly8",
                                           "a password that spans blocks", std::string(1000, 'x'),
                                           std::string("\xE4\xF6\xFC\xDF", 4)};
  for (const std::string& plain : plains) {
    const std::string hex = EncryptValue(plain);
    EXPECT_EQ(hex.size(), (plain.size() + 7) / 8 * 16) << plain;
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    const auto back = DecryptValue(hex);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->view(), plain);
  }
}

TEST(DecryptValueTest, FixedKeyDecipheringMatchesKeyingAtRunTime) {
  // Values under the fixed key start from a schedule the compiler worked out;
  // it must be the one that BlowfishInit makes.
  BlowfishContext context;
  BlowfishInit(context, Bytes("44455A45444544"));  // "DEZEDED"
  for (const std::string plain : {"ORACLE", "KOLVADEX", "/srv/qv/app.db", "scott/tiger@QV"}) {
    std::string hex;
    for (std::size_t at = 0; at < plain.size(); at += 8) {
      unsigned char block[8] = {};
      for (std::size_t i = 0; i < 8 && at + i < plain.size(); ++i) {
        block[i] = static_cast<unsigned char>(plain[at + i]);
      }
      std::uint32_t left = 0;
      std::uint32_t right = 0;
      for (int i = 3; i >= 0; --i) {
        left = left << 8U | block[i];
        right = right << 8U | block[4 + i];
      }
      BlowfishEncrypt(context, left, right);
      char digits[17];
      std::snprintf(digits, sizeof digits, "%02X%02X%02X%02X%02X%02X%02X%02X", left & 0xFFU,
                    left >> 8U & 0xFFU, left >> 16U & 0xFFU, left >> 24U, right & 0xFFU,
                    right >> 8U & 0xFFU, right >> 16U & 0xFFU, right >> 24U);
      hex += digits;
    }
    EXPECT_EQ(EncryptValue(plain), hex) << plain;
    const auto back = DecryptValue(hex);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->view(), plain);
  }
}

TEST(DecryptValueTest, EmptyTextGivesEmptyValue) {
  const auto value = DecryptValue("");
  ASSERT_TRUE(value.has_value());
  EXPECT_TRUE(value->empty());
}

TEST(DecryptValueTest, TextEndsAtFirstZeroByte) {
  // "ab", padded with zeros, followed by a second block: the value stops at "ab".
  const std::string hex = EncryptValue(std::string("ab\0\0\0\0\0\0second!!", 16));
  const auto value = DecryptValue(hex);
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->view(), "ab");
}

TEST(DecryptValueTest, LowerCaseDigitsReadLikeCapitals) {
  std::string hex = EncryptValue("LowerCase");
  for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto value = DecryptValue(hex);
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->view(), "LowerCase");
}

TEST(DecryptValueTest, RefusesWhatIsNotWholeGroupsOfHexDigits) {
  const std::string good = EncryptValue("12345678");
  const std::vector<std::string> bad_values = {good.substr(0, 15), good + "0",
                                              good + good.substr(0, 8), std::string("\n"),
                                              good.substr(0, 15) + "G", good.substr(0, 15) + " ",
                                              std::string(16, '\0')};
  for (const std::string& bad : bad_values) {
    EXPECT_FALSE(DecryptValue(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace kolvadex::credentials
