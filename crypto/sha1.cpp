#include "crypto/sha1.h"

#include <cstring>

namespace {

inline uint32_t Rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }

inline uint32_t Load32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline void Store32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

constexpr uint64_t kMaxBits = ~uint64_t{0};

}  // namespace

CSha1::CSha1() : h_{}, bitsLow_(0), bitsHigh_(0), buffer_{}, fill_(0), repeatCount_(10) {}

void CSha1::Reset() {
  h_[0] = 0x67452301;
  h_[1] = 0xEFCDAB89;
  h_[2] = 0x98BADCFE;
  h_[3] = 0x10325476;
  h_[4] = 0xC3D2E1F0;
  bitsLow_ = 0;
  bitsHigh_ = 0;
  fill_ = 0;
}

void CSha1::Compress(const unsigned char block[64]) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = Load32(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = Rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

  uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const uint32_t temp = Rotl(a, 5) + f + e + w[t] + k;
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = temp;
  }
  h_[0] += a;
  h_[1] += b;
  h_[2] += c;
  h_[3] += d;
  h_[4] += e;
}

bool CSha1::Update(const void* data, size_t length) {
  const uint64_t bits = (uint64_t{bitsHigh_} << 32) | bitsLow_;
  if (uint64_t{length} > (kMaxBits - bits) / 8) return false;
  const uint64_t newBits = bits + uint64_t{length} * 8;
  bitsLow_ = static_cast<uint32_t>(newBits);
  bitsHigh_ = static_cast<uint32_t>(newBits >> 32);
  if (length == 0) return true;

  const unsigned char* p = static_cast<const unsigned char*>(data);
  if (fill_ > 0) {
    size_t take = 64 - fill_;
    if (take > length) take = length;
    std::memcpy(buffer_ + fill_, p, take);
    fill_ += static_cast<unsigned>(take);
    p += take;
    length -= take;
    if (fill_ < 64) return true;
    Compress(buffer_);
    fill_ = 0;
  }
  for (; length >= 64; length -= 64, p += 64) Compress(p);
  if (length > 0) {
    std::memcpy(buffer_, p, length);
    fill_ = static_cast<unsigned>(length);
  }
  return true;
}

void CSha1::SkipBits(uint64_t bits) {
  const uint64_t total = ((uint64_t{bitsHigh_} << 32) | bitsLow_) + bits;
  bitsLow_ = static_cast<uint32_t>(total);
  bitsHigh_ = static_cast<uint32_t>(total >> 32);
}

void CSha1::Finish(unsigned char out[kDigestSize]) {
  unsigned char length[8];
  Store32(length, bitsHigh_);
  Store32(length + 4, bitsLow_);

  buffer_[fill_++] = 0x80;
  if (fill_ > 56) {
    std::memset(buffer_ + fill_, 0, 64 - fill_);
    Compress(buffer_);
    fill_ = 0;
  }
  std::memset(buffer_ + fill_, 0, 56 - fill_);
  std::memcpy(buffer_ + 56, length, 8);
  Compress(buffer_);

  for (int i = 0; i < 5; ++i) Store32(out + 4 * i, h_[i]);
  std::memset(buffer_, 0, sizeof buffer_);
  bitsLow_ = 0;
  bitsHigh_ = 0;
  fill_ = 0;
}

size_t CSha1::ComputeDigest(unsigned char* out, size_t* capacity, const void* data, size_t length,
                            ProgressCallback callback, void* user) {
  if (*capacity < kDigestSize) return 0;
  if (callback) callback(0, repeatCount_, user);
  Reset();
  for (int pass = 0; pass < repeatCount_; ++pass) {
    if (!Update(data, length)) return 0;
    if (callback) callback(pass, repeatCount_, user);
  }
  Finish(out);
  *capacity = kDigestSize;
  if (callback) callback(0, repeatCount_, user);
  return kDigestSize;
}

std::array<unsigned char, CSha1::kDigestSize> PasswordDigest(const std::string& password) {
  std::array<unsigned char, CSha1::kDigestSize> digest{};
  CSha1 sha;
  size_t capacity = digest.size();
  sha.ComputeDigest(digest.data(), &capacity, password.data(), password.size());
  return digest;
}
