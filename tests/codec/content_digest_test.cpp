// The digest that tells an output read back from the disk from what was read:
// any one changed bit, a missing or an extra byte changes it, and the pieces the
// stream comes in do not.
#include "codec/content_digest.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "testkit/temp_dir.h"

namespace {

uint64_t DigestOf(const std::vector<unsigned char>& bytes) {
  CContentDigest digest;
  digest.Update(bytes.data(), bytes.size());
  return digest.Value();
}

TEST(ContentDigest, EveryFlippedBitAndEveryLengthChangeIsSeen) {
  for (const size_t size : {0u, 1u, 7u, 31u, 32u, 33u, 64u, 100u, 1000u}) {
    SCOPED_TRACE(size);
    const auto bytes = testkit::PatternBytes(size, static_cast<uint32_t>(size) + 1);
    const uint64_t whole = DigestOf(bytes);
    std::set<uint64_t> seen = {whole};
    for (size_t i = 0; i < size; ++i) {
      for (int bit = 0; bit < 8; ++bit) {
        auto changed = bytes;
        changed[i] ^= static_cast<unsigned char>(1u << bit);
        EXPECT_TRUE(seen.insert(DigestOf(changed)).second) << "byte " << i << " bit " << bit;
      }
    }
    // A zero byte more or less, at the end or at the start.
    auto longer = bytes;
    longer.push_back(0);
    EXPECT_NE(DigestOf(longer), whole);
    longer.insert(longer.begin(), 0);
    longer.pop_back();
    EXPECT_NE(DigestOf(longer), whole);
    if (size > 0) {
      EXPECT_NE(DigestOf(std::vector<unsigned char>(bytes.begin(), bytes.end() - 1)), whole);
    }
  }
  // Two equal halves swapped, and all-zero streams of different lengths.
  std::vector<unsigned char> ab(64, 'a'), ba(64, 'b');
  std::fill(ab.begin() + 32, ab.end(), 'b');
  std::fill(ba.begin() + 32, ba.end(), 'a');
  EXPECT_NE(DigestOf(ab), DigestOf(ba));
  EXPECT_NE(DigestOf(std::vector<unsigned char>(32)), DigestOf(std::vector<unsigned char>(64)));
}

TEST(ContentDigest, ThePiecesTheStreamComesInDoNotMatter) {
  const auto bytes = testkit::PatternBytes(5000, 9);
  const uint64_t whole = DigestOf(bytes);
  for (const size_t piece : {1u, 3u, 8u, 31u, 32u, 33u, 4096u}) {
    SCOPED_TRACE(piece);
    CContentDigest digest;
    for (size_t at = 0; at < bytes.size(); at += piece) {
      digest.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
      digest.Update(bytes.data(), 0);
    }
    EXPECT_EQ(digest.Value(), whole);
    digest.Reset();
    EXPECT_EQ(digest.Value(), DigestOf({}));
  }
}

}  // namespace
