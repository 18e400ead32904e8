#include "crypto/cast_cipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "testkit/temp_dir.h"

namespace {

using Block = std::array<unsigned char, 8>;

const Block kPlain = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
const unsigned char kKey128[16] = {0x01, 0x23, 0x45, 0x67, 0x12, 0x34, 0x56, 0x78,
                                   0x23, 0x45, 0x67, 0x89, 0x34, 0x56, 0x78, 0x9A};

std::string KeyString(size_t length) { return std::string(reinterpret_cast<const char*>(kKey128), length); }

Block Encrypt(const CCastCipher& cipher, const Block& in) {
  Block out{};
  cipher.EncryptBlock(out.data(), in.data());
  return out;
}

Block Decrypt(const CCastCipher& cipher, const Block& in) {
  Block out{};
  cipher.DecryptBlock(out.data(), in.data());
  return out;
}

struct Conformance {
  size_t keyLength;
  Block cipher;
};

// Short keys are zero-padded and still run all 16 rounds; the 12-round values
// of the RFC for 80- and 40-bit keys (EB 6A 71 1A 2C 02 27 1B, 7A C8 16 D1 6E
// 9B 30 2E) must not come out.
TEST(CastCipher, ConformanceValues) {
  const Conformance cases[] = {
      {16, {0x23, 0x8B, 0x4F, 0xE5, 0x84, 0x7E, 0x44, 0xB2}},
      {10, {0x75, 0x3D, 0xE2, 0x9F, 0x5D, 0x16, 0x7D, 0x03}},
      {5, {0xF0, 0x0B, 0x05, 0x30, 0x83, 0x3D, 0x74, 0x44}},
  };
  for (const Conformance& c : cases) {
    SCOPED_TRACE(c.keyLength);
    CCastCipher cipher;
    cipher.SetKey(KeyString(c.keyLength).c_str());
    EXPECT_EQ(Encrypt(cipher, kPlain), c.cipher);
    EXPECT_EQ(Decrypt(cipher, c.cipher), kPlain);

    Block inPlace = kPlain;
    cipher.EncryptBlocks(inPlace.data(), 1);
    EXPECT_EQ(inPlace, c.cipher);
    cipher.DecryptBlocks(inPlace.data(), 1);
    EXPECT_EQ(inPlace, kPlain);
  }
}

// RFC 2144, B.2: a million rounds of enciphering two keys with each other.
// Every entry of all eight S-boxes takes part, so a single wrong table word or
// a wrong key-schedule step shows here.
TEST(CastCipher, MaintenanceTestMillionIterations) {
  unsigned char a[16], b[16];
  std::memcpy(a, kKey128, 16);
  std::memcpy(b, kKey128, 16);
  CCastCipher withA, withB;
  for (int i = 0; i < 1000000; ++i) {
    withB.SetRawKey(b);
    withB.EncryptBlock(a, a);
    withB.EncryptBlock(a + 8, a + 8);
    withA.SetRawKey(a);
    withA.EncryptBlock(b, b);
    withA.EncryptBlock(b + 8, b + 8);
  }
  const unsigned char expectA[16] = {0xEE, 0xA9, 0xD0, 0xA2, 0x49, 0xFD, 0x3B, 0xA6,
                                     0xB3, 0x43, 0x6F, 0xB8, 0x9D, 0x6D, 0xCA, 0x92};
  const unsigned char expectB[16] = {0xB2, 0xC9, 0x5E, 0xB0, 0x0C, 0x31, 0xAD, 0x71,
                                     0x80, 0xAC, 0x05, 0xB8, 0xE8, 0x3D, 0x69, 0x6E};
  EXPECT_EQ(0, std::memcmp(a, expectA, 16));
  EXPECT_EQ(0, std::memcmp(b, expectB, 16));
}

TEST(CastCipher, SetKeyCopiesUpToZeroByteOrSixteenBytes) {
  CCastCipher cipher;
  const unsigned char zeros[16] = {};

  cipher.SetKey("");
  EXPECT_EQ(0, std::memcmp(cipher.Key(), zeros, 16));
  EXPECT_EQ(Decrypt(cipher, Encrypt(cipher, kPlain)), kPlain);
  EXPECT_NE(Encrypt(cipher, kPlain), kPlain);
  CCastCipher raw;
  raw.SetRawKey(zeros);
  EXPECT_EQ(Encrypt(cipher, kPlain), Encrypt(raw, kPlain));

  // Twenty bytes: only the first sixteen count.
  cipher.SetKey("ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(0, std::memcmp(cipher.Key(), "ABCDEFGHIJKLMNOP", 16));
  CCastCipher sixteen;
  sixteen.SetKey("ABCDEFGHIJKLMNOPxyz");
  EXPECT_EQ(Encrypt(cipher, kPlain), Encrypt(sixteen, kPlain));
  CCastCipher fifteen;
  fifteen.SetKey("ABCDEFGHIJKLMNO");
  EXPECT_NE(Encrypt(cipher, kPlain), Encrypt(fifteen, kPlain));

  // A zero byte ends the key, whatever follows it.
  const char withZero[] = {0x01, 0x23, 0x00, 0x45, 0x67, 0x12, 0x34, 0x00};
  cipher.SetKey(withZero);
  const unsigned char expect[16] = {0x01, 0x23};
  EXPECT_EQ(0, std::memcmp(cipher.Key(), expect, 16));
  CCastCipher shortKey;
  shortKey.SetKey("\x01\x23");
  EXPECT_EQ(Encrypt(cipher, kPlain), Encrypt(shortKey, kPlain));
}

TEST(CastCipher, ReloadingReplacesTheWholeKey) {
  CCastCipher cipher;
  cipher.SetKey("a long password of many bytes");
  cipher.SetKey("ab");
  const unsigned char expect[16] = {'a', 'b'};
  EXPECT_EQ(0, std::memcmp(cipher.Key(), expect, 16));
  CCastCipher fresh;
  fresh.SetKey("ab");
  EXPECT_EQ(Encrypt(cipher, kPlain), Encrypt(fresh, kPlain));
}

TEST(CastCipher, InPlaceAndSeparateBuffersAgreeForManyKeys) {
  const std::vector<unsigned char> bytes = testkit::PatternBytes(64 * 24, 7);
  for (size_t k = 0; k < 64; ++k) {
    const unsigned char* key = bytes.data() + 24 * k;
    const unsigned char* block = key + 16;
    CCastCipher cipher;
    cipher.SetRawKey(key);

    unsigned char in[8], out[8], buffer[8];
    std::memcpy(in, block, 8);
    cipher.EncryptBlock(out, in);
    EXPECT_EQ(0, std::memcmp(in, block, 8)) << "input changed";
    std::memcpy(buffer, block, 8);
    cipher.EncryptBlock(buffer, buffer);
    EXPECT_EQ(0, std::memcmp(buffer, out, 8));
    cipher.DecryptBlock(buffer, buffer);
    EXPECT_EQ(0, std::memcmp(buffer, block, 8));
  }
}

// The bulk operations take groups of blocks at once and finish the rest one
// by one: every count, and every position of the buffer, must give exactly
// what the single-block operations give.
TEST(CastCipher, BulkOperationsEqualBlockByBlock) {
  CCastCipher cipher;
  cipher.SetKey("bulk key");
  for (size_t count : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 15, 16, 17, 31, 33, 63, 64, 65, 100, 129, 1001}) {
    SCOPED_TRACE(count);
    const std::vector<unsigned char> plain = testkit::PatternBytes(count * 8 + 1, static_cast<uint32_t>(count));
    std::vector<unsigned char> single(plain.begin() + 1, plain.end());
    for (size_t i = 0; i < count; ++i) cipher.EncryptBlock(&single[8 * i], &single[8 * i]);

    // One byte off any natural alignment.
    std::vector<unsigned char> bulk = plain;
    cipher.EncryptBlocks(bulk.data() + 1, count);
    EXPECT_EQ(bulk[0], plain[0]);
    EXPECT_TRUE(std::equal(single.begin(), single.end(), bulk.begin() + 1));

    cipher.DecryptBlocks(bulk.data() + 1, count);
    EXPECT_EQ(bulk, plain);

    std::vector<unsigned char> back = single;
    for (size_t i = 0; i < count; ++i) cipher.DecryptBlock(&back[8 * i], &back[8 * i]);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), plain.begin() + 1));
  }
}

// Blocks stand alone: equal plain blocks give equal cipher blocks anywhere.
TEST(CastCipher, BulkEnciphersEveryBlockOnItsOwn) {
  CCastCipher cipher;
  cipher.SetKey("ecb");
  std::vector<unsigned char> data(8 * 37);
  for (size_t i = 0; i < data.size(); ++i) data[i] = kPlain[i % 8];
  cipher.EncryptBlocks(data.data(), 37);
  const Block first = Encrypt(cipher, kPlain);
  for (size_t i = 0; i < 37; ++i) EXPECT_EQ(0, std::memcmp(&data[8 * i], first.data(), 8)) << i;
}

}  // namespace
