#include "codec/content_digest.h"

#include <cstring>

namespace {

// Odd 64-bit constants with well-spread bits.
constexpr uint64_t kMul1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t kMul2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kMul3 = 0x165667B19E3779F9ull;
constexpr uint64_t kMul4 = 0x85EBCA77C2B2AE63ull;

inline uint64_t Rotl(uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

// Little-endian whatever the host, so the value is the same everywhere.
inline uint64_t Load64(const unsigned char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

inline uint64_t Mix(uint64_t lane, uint64_t word) { return Rotl(lane + word * kMul2, 31) * kMul1; }

// Every input bit reaches every output bit.
inline uint64_t Avalanche(uint64_t h) {
  h ^= h >> 33;
  h *= kMul2;
  h ^= h >> 29;
  h *= kMul3;
  h ^= h >> 32;
  return h;
}

}  // namespace

void CContentDigest::Reset() {
  lane_[0] = kMul1 + kMul2;
  lane_[1] = kMul2;
  lane_[2] = 0;
  lane_[3] = 0 - kMul1;
  tailSize_ = 0;
  total_ = 0;
}

void CContentDigest::Stripe(const unsigned char* p) {
  lane_[0] = Mix(lane_[0], Load64(p));
  lane_[1] = Mix(lane_[1], Load64(p + 8));
  lane_[2] = Mix(lane_[2], Load64(p + 16));
  lane_[3] = Mix(lane_[3], Load64(p + 24));
}

void CContentDigest::Update(const void* data, size_t size) {
  if (size == 0) return;  // data may be null then
  const unsigned char* p = static_cast<const unsigned char*>(data);
  total_ += size;
  if (tailSize_ > 0) {
    const size_t take = size < kStripe - tailSize_ ? size : kStripe - tailSize_;
    std::memcpy(tail_ + tailSize_, p, take);
    tailSize_ += take;
    p += take;
    size -= take;
    if (tailSize_ < kStripe) return;
    Stripe(tail_);
    tailSize_ = 0;
  }
  for (; size >= kStripe; p += kStripe, size -= kStripe) Stripe(p);
  std::memcpy(tail_, p, size);
  tailSize_ = size;
}

uint64_t CContentDigest::Value() const {
  uint64_t h = Rotl(lane_[0], 1) + Rotl(lane_[1], 7) + Rotl(lane_[2], 12) + Rotl(lane_[3], 18);
  for (int i = 0; i < 4; ++i) h = (h ^ Mix(0, lane_[i])) * kMul1 + kMul4;
  h += total_;
  // The bytes of an unfinished stripe, one word at a time, then one at a time.
  size_t i = 0;
  for (; i + 8 <= tailSize_; i += 8) h = Rotl(h ^ Mix(0, Load64(tail_ + i)), 27) * kMul1 + kMul4;
  for (; i < tailSize_; ++i) h = Rotl(h ^ (tail_[i] * kMul3), 11) * kMul1;
  return Avalanche(h);
}
