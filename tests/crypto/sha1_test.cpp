#include "crypto/sha1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Hex(const unsigned char* bytes, size_t size) {
  std::string text;
  char pair[3];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

// Plain SHA-1 of one message, through the streaming steps.
std::string Sha1Of(const std::string& message) {
  CSha1 sha;
  sha.Reset();
  EXPECT_TRUE(sha.Update(message.data(), message.size()));
  unsigned char digest[20];
  sha.Finish(digest);
  return Hex(digest, 20);
}

TEST(Sha1, StandardVectors) {
  EXPECT_EQ(Sha1Of("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(Sha1Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Sha1Of(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
  EXPECT_EQ(Sha1Of(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

// Lengths around the padding boundary (55, 56, 63, 64 bytes) fed in uneven
// pieces must give what one piece gives.
TEST(Sha1, PiecewiseFeedingEqualsOnePiece) {
  for (size_t length : {0, 1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000}) {
    std::string message(length, '\0');
    for (size_t i = 0; i < length; ++i) message[i] = static_cast<char>(i * 31 + 7);
    for (size_t piece : {1, 3, 63, 64, 65}) {
      CSha1 sha;
      sha.Reset();
      for (size_t at = 0; at < length; at += piece)
        ASSERT_TRUE(sha.Update(message.data() + at, std::min(piece, length - at)));
      unsigned char digest[20];
      sha.Finish(digest);
      EXPECT_EQ(Hex(digest, 20), Sha1Of(message)) << length << "/" << piece;
    }
  }
}

TEST(Sha1, ComputeDigestHashesTenCopies) {
  for (const std::string password : {"", "a", "secret", "0123456789abcdef", "a password longer than one block of sixty-four bytes, to cross it"}) {
    std::string tenfold;
    for (int i = 0; i < 10; ++i) tenfold += password;

    CSha1 sha;
    EXPECT_EQ(sha.RepeatCount(), 10);
    unsigned char digest[20];
    size_t capacity = sizeof digest;
    ASSERT_EQ(sha.ComputeDigest(digest, &capacity, password.data(), password.size()), 20u);
    EXPECT_EQ(capacity, 20u);
    EXPECT_EQ(Hex(digest, 20), Sha1Of(tenfold)) << password;
    if (!password.empty()) {
      EXPECT_NE(Hex(digest, 20), Sha1Of(password)) << password;
    }

    const auto stored = PasswordDigest(password);
    EXPECT_EQ(Hex(stored.data(), stored.size()), Sha1Of(tenfold));

    // The context is reset by every call.
    ASSERT_EQ(sha.ComputeDigest(digest, &capacity, password.data(), password.size()), 20u);
    EXPECT_EQ(Hex(digest, 20), Sha1Of(tenfold));
  }
  // The empty password's digest is the digest of the empty message.
  const auto empty = PasswordDigest("");
  EXPECT_EQ(Hex(empty.data(), 20), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  // Passwords that share their first sixteen bytes share the cipher key but
  // not the digest.
  EXPECT_NE(PasswordDigest("0123456789abcdefX"), PasswordDigest("0123456789abcdefY"));
}

TEST(Sha1, ShortCapacityFailsAndTouchesNothing) {
  bool called = false;
  auto callback = [](int, int, void* user) { *static_cast<bool*>(user) = true; };
  unsigned char digest[20];
  std::memset(digest, 0xCC, sizeof digest);
  size_t capacity = 19;
  CSha1 sha;
  EXPECT_EQ(sha.ComputeDigest(digest, &capacity, "abc", 3, callback, &called), 0u);
  EXPECT_EQ(capacity, 19u);
  EXPECT_FALSE(called);
  for (unsigned char byte : digest) EXPECT_EQ(byte, 0xCC);

  unsigned char wide[32];
  capacity = sizeof wide;
  EXPECT_EQ(sha.ComputeDigest(wide, &capacity, "abc", 3), 20u);
  EXPECT_EQ(capacity, 20u);
}

struct CallLog {
  std::vector<std::pair<int, int>> calls;
  CSha1* sha = nullptr;
  bool pushToLimit = false;
};

void Record(int pass, int repeatCount, void* user) {
  CallLog* log = static_cast<CallLog*>(user);
  log->calls.emplace_back(pass, repeatCount);
  // After the first pass (the second call), move the message length up to
  // two bytes short of the 2^64-bit limit.
  if (log->pushToLimit && log->calls.size() == 2) log->sha->SkipBits(~uint64_t{0} - 15 - 3 * 8);
}

TEST(Sha1, CallbackSeesStartEveryPassAndEnd) {
  CSha1 sha;
  CallLog log;
  unsigned char digest[20];
  size_t capacity = 20;
  ASSERT_EQ(sha.ComputeDigest(digest, &capacity, "abc", 3, Record, &log), 20u);
  std::vector<std::pair<int, int>> expect = {{0, 10}};
  for (int pass = 0; pass < 10; ++pass) expect.emplace_back(pass, 10);
  expect.emplace_back(0, 10);
  EXPECT_EQ(log.calls, expect);
}

TEST(Sha1, MessageLengthPastTwoToTheSixtyFourBitsFails) {
  CSha1 sha;
  sha.Reset();
  sha.SkipBits(~uint64_t{0} - 63);  // room for 7 more bytes
  EXPECT_TRUE(sha.Update("1234567", 7));
  EXPECT_TRUE(sha.Update("", 0));
  EXPECT_FALSE(sha.Update("8", 1));

  sha.Reset();
  sha.SkipBits(~uint64_t{0} - 63);
  EXPECT_FALSE(sha.Update("12345678", 8));

  // Through ComputeDigest: the second pass no longer fits.
  CallLog log;
  log.sha = &sha;
  log.pushToLimit = true;
  unsigned char digest[20];
  std::memset(digest, 0xCC, sizeof digest);
  size_t capacity = 20;
  EXPECT_EQ(sha.ComputeDigest(digest, &capacity, "abc", 3, Record, &log), 0u);
  EXPECT_EQ(log.calls.size(), 2u);
  for (unsigned char byte : digest) EXPECT_EQ(byte, 0xCC);

  // A failed call leaves the context usable for the next one.
  EXPECT_EQ(sha.ComputeDigest(digest, &capacity, "abc", 3), 20u);
  const auto expect = PasswordDigest("abc");
  EXPECT_EQ(0, std::memcmp(digest, expect.data(), 20));
}

}  // namespace
