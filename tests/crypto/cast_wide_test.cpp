// The AVX-512 bulk path must give exactly the bytes of the portable code, for
// every key and both directions. Where the processor lacks it, the tests
// check that the bulk operations still work with it switched off.
#include "crypto/cast_wide.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "crypto/cast_cipher.h"
#include "testkit/temp_dir.h"

namespace {

// Restores the process-wide switch when a test ends.
class WidePath : public ::testing::Test {
 protected:
  void TearDown() override { cast_wide::SetAllowed(true); }
};

std::vector<unsigned char> BlockByBlock(const CCastCipher& cipher, std::vector<unsigned char> data, bool encrypt) {
  for (size_t at = 0; at + 8 <= data.size(); at += 8) {
    if (encrypt) {
      cipher.EncryptBlock(&data[at], &data[at]);
    } else {
      cipher.DecryptBlock(&data[at], &data[at]);
    }
  }
  return data;
}

TEST_F(WidePath, GroupsEqualPortableCodeForManyKeys) {
  if (!cast_wide::Supported()) GTEST_SKIP() << "no AVX-512 VBMI on this processor";
  const std::vector<unsigned char> keys = testkit::PatternBytes(16 * 48, 99);
  for (size_t k = 0; k < 48; ++k) {
    SCOPED_TRACE(k);
    CCastCipher cipher;
    cipher.SetRawKey(&keys[16 * k]);
    const std::vector<unsigned char> plain = testkit::PatternBytes(8 * 64 * 3, static_cast<uint32_t>(k));

    std::vector<unsigned char> wide = plain;
    cast_wide::SetAllowed(true);
    cipher.EncryptBlocks(wide.data(), wide.size() / 8);
    EXPECT_EQ(wide, BlockByBlock(cipher, plain, true));

    std::vector<unsigned char> back = wide;
    cipher.DecryptBlocks(back.data(), back.size() / 8);
    EXPECT_EQ(back, plain);
    EXPECT_EQ(BlockByBlock(cipher, wide, false), plain);
  }
}

TEST_F(WidePath, BothPathsAgreeAroundGroupBoundaries) {
  CCastCipher cipher;
  cipher.SetKey("group boundaries");
  for (size_t count : {63, 64, 65, 127, 128, 129, 191, 320 + 7, 131072}) {
    SCOPED_TRACE(count);
    const std::vector<unsigned char> plain = testkit::PatternBytes(8 * count, static_cast<uint32_t>(count));
    std::vector<unsigned char> fast = plain, portable = plain;
    cast_wide::SetAllowed(true);
    cipher.EncryptBlocks(fast.data(), count);
    cast_wide::SetAllowed(false);
    EXPECT_FALSE(cast_wide::Enabled());
    cipher.EncryptBlocks(portable.data(), count);
    EXPECT_EQ(fast, portable);

    cast_wide::SetAllowed(true);
    cipher.DecryptBlocks(fast.data(), count);
    EXPECT_EQ(fast, plain);
    cast_wide::SetAllowed(false);
    cipher.DecryptBlocks(portable.data(), count);
    EXPECT_EQ(portable, plain);
  }
}

// The RFC's 128-bit vector through a whole group of equal blocks.
TEST_F(WidePath, ConformanceValueInEveryLane) {
  const unsigned char key[16] = {0x01, 0x23, 0x45, 0x67, 0x12, 0x34, 0x56, 0x78,
                                 0x23, 0x45, 0x67, 0x89, 0x34, 0x56, 0x78, 0x9A};
  const unsigned char plain[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  const unsigned char expect[8] = {0x23, 0x8B, 0x4F, 0xE5, 0x84, 0x7E, 0x44, 0xB2};
  CCastCipher cipher;
  cipher.SetRawKey(key);
  std::vector<unsigned char> data(8 * 128);
  for (size_t at = 0; at < data.size(); at += 8) std::memcpy(&data[at], plain, 8);
  cipher.EncryptBlocks(data.data(), 128);
  for (size_t at = 0; at < data.size(); at += 8) EXPECT_EQ(0, std::memcmp(&data[at], expect, 8)) << at;
  cipher.DecryptBlocks(data.data(), 128);
  for (size_t at = 0; at < data.size(); at += 8) EXPECT_EQ(0, std::memcmp(&data[at], plain, 8)) << at;
}

}  // namespace
