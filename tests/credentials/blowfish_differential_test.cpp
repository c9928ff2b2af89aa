// Differential test: the tool's Blowfish against libcrypto's, an independent
// implementation, on random keys of every length and random blocks.
#include <openssl/blowfish.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "credentials/cipher.h"

namespace kolvadex::credentials {
namespace {

TEST(BlowfishDifferentialTest, AgreesWithLibcrypto) {
  std::mt19937 random(20261211);
  std::uniform_int_distribution<unsigned> byte(0, 255);
  for (std::size_t key_length = 1; key_length <= 56; ++key_length) {
    std::vector<unsigned char> key(key_length);
    for (auto& b : key) b = static_cast<unsigned char>(byte(random));
    BlowfishContext ours;
    BlowfishInit(ours, key);
    BF_KEY theirs;
    BF_set_key(&theirs, static_cast<int>(key_length), key.data());
    for (int block = 0; block < 16; ++block) {
      const auto left = static_cast<std::uint32_t>(random());
      const auto right = static_cast<std::uint32_t>(random());
      std::uint32_t l = left;
      std::uint32_t r = right;
      BlowfishEncrypt(ours, l, r);
      BF_LONG data[2] = {left, right};
      BF_encrypt(data, &theirs);
      ASSERT_EQ(l, data[0]) << "key length " << key_length;
      ASSERT_EQ(r, data[1]) << "key length " << key_length;
      BlowfishDecrypt(ours, l, r);
      EXPECT_EQ(l, left);
      EXPECT_EQ(r, right);
    }
  }
}

}  // namespace
}  // namespace kolvadex::credentials
