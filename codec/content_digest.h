// A fast 64-bit digest of a byte stream, for telling whether two streams hold
// the same bytes: what the codec read from a plain file against what its output
// gives back from the disk. It catches accidents (a bad sector, a flipped bit, a
// fault on the way), not a forger: it is no cryptographic hash, and it is never
// stored. The value does not depend on how the stream is cut into pieces.
#pragma once

#include <cstddef>
#include <cstdint>

class CContentDigest {
 public:
  CContentDigest() { Reset(); }

  void Reset();
  void Update(const void* data, size_t size);
  // The digest of everything fed since Reset; the stream may go on afterwards.
  uint64_t Value() const;

 private:
  static constexpr size_t kStripe = 32;  // four lanes of 8 bytes
  void Stripe(const unsigned char* p);

  uint64_t lane_[4];
  unsigned char tail_[kStripe];
  size_t tailSize_;
  uint64_t total_;
};
