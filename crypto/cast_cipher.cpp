#include "crypto/cast_cipher.h"

#include "crypto/cast_wide.h"

#include <cstring>
#include <utility>

namespace {

// The bulk loops are only fast when every round of a group is one straight run
// of code; compilers are told not to leave any of these as calls.
#define CAST_INLINE [[gnu::always_inline]] inline

#include "crypto/cast_sboxes.inc"

// All eight boxes are one array, so a single base register with fixed
// displacements reaches every box.
#define S1 kCastSBox[0]
#define S2 kCastSBox[1]
#define S3 kCastSBox[2]
#define S4 kCastSBox[3]
#define S5 kCastSBox[4]
#define S6 kCastSBox[5]
#define S7 kCastSBox[6]
#define S8 kCastSBox[7]

CAST_INLINE uint32_t Load32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

CAST_INLINE void Store32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

CAST_INLINE uint32_t Rotl(uint32_t x, uint32_t r) { return (x << r) | (x >> ((32 - r) & 31)); }

// The three round functions of RFC 2144, section 2.2.
CAST_INLINE uint32_t F1(uint32_t d, uint32_t km, uint32_t kr) {
  const uint32_t i = Rotl(km + d, kr);
  return ((S1[i >> 24] ^ S2[(i >> 16) & 0xff]) - S3[(i >> 8) & 0xff]) + S4[i & 0xff];
}

CAST_INLINE uint32_t F2(uint32_t d, uint32_t km, uint32_t kr) {
  const uint32_t i = Rotl(km ^ d, kr);
  return ((S1[i >> 24] - S2[(i >> 16) & 0xff]) + S3[(i >> 8) & 0xff]) ^ S4[i & 0xff];
}

CAST_INLINE uint32_t F3(uint32_t d, uint32_t km, uint32_t kr) {
  const uint32_t i = Rotl(km - d, kr);
  return ((S1[i >> 24] + S2[(i >> 16) & 0xff]) ^ S3[(i >> 8) & 0xff]) - S4[i & 0xff];
}

// Byte n (0 = most significant) of the 128-bit word array w.
CAST_INLINE uint32_t Byte(const uint32_t w[4], int n) { return (w[n >> 2] >> (24 - 8 * (n & 3))) & 0xff; }

// The key schedule of RFC 2144, section 2.4: K1 .. K32 from x0 .. xF.
void Schedule(const unsigned char key[16], uint32_t k[32]) {
  uint32_t x[4] = {Load32(key), Load32(key + 4), Load32(key + 8), Load32(key + 12)};
  uint32_t z[4];
  for (int half = 0; half < 32; half += 16) {
    uint32_t* out = k + half;
    z[0] = x[0] ^ S5[Byte(x, 0xD)] ^ S6[Byte(x, 0xF)] ^ S7[Byte(x, 0xC)] ^ S8[Byte(x, 0xE)] ^ S7[Byte(x, 0x8)];
    z[1] = x[2] ^ S5[Byte(z, 0x0)] ^ S6[Byte(z, 0x2)] ^ S7[Byte(z, 0x1)] ^ S8[Byte(z, 0x3)] ^ S8[Byte(x, 0xA)];
    z[2] = x[3] ^ S5[Byte(z, 0x7)] ^ S6[Byte(z, 0x6)] ^ S7[Byte(z, 0x5)] ^ S8[Byte(z, 0x4)] ^ S5[Byte(x, 0x9)];
    z[3] = x[1] ^ S5[Byte(z, 0xA)] ^ S6[Byte(z, 0x9)] ^ S7[Byte(z, 0xB)] ^ S8[Byte(z, 0x8)] ^ S6[Byte(x, 0xB)];
    out[0] = S5[Byte(z, 0x8)] ^ S6[Byte(z, 0x9)] ^ S7[Byte(z, 0x7)] ^ S8[Byte(z, 0x6)] ^ S5[Byte(z, 0x2)];
    out[1] = S5[Byte(z, 0xA)] ^ S6[Byte(z, 0xB)] ^ S7[Byte(z, 0x5)] ^ S8[Byte(z, 0x4)] ^ S6[Byte(z, 0x6)];
    out[2] = S5[Byte(z, 0xC)] ^ S6[Byte(z, 0xD)] ^ S7[Byte(z, 0x3)] ^ S8[Byte(z, 0x2)] ^ S7[Byte(z, 0x9)];
    out[3] = S5[Byte(z, 0xE)] ^ S6[Byte(z, 0xF)] ^ S7[Byte(z, 0x1)] ^ S8[Byte(z, 0x0)] ^ S8[Byte(z, 0xC)];

    x[0] = z[2] ^ S5[Byte(z, 0x5)] ^ S6[Byte(z, 0x7)] ^ S7[Byte(z, 0x4)] ^ S8[Byte(z, 0x6)] ^ S7[Byte(z, 0x0)];
    x[1] = z[0] ^ S5[Byte(x, 0x0)] ^ S6[Byte(x, 0x2)] ^ S7[Byte(x, 0x1)] ^ S8[Byte(x, 0x3)] ^ S8[Byte(z, 0x2)];
    x[2] = z[1] ^ S5[Byte(x, 0x7)] ^ S6[Byte(x, 0x6)] ^ S7[Byte(x, 0x5)] ^ S8[Byte(x, 0x4)] ^ S5[Byte(z, 0x1)];
    x[3] = z[3] ^ S5[Byte(x, 0xA)] ^ S6[Byte(x, 0x9)] ^ S7[Byte(x, 0xB)] ^ S8[Byte(x, 0x8)] ^ S6[Byte(z, 0x3)];
    out[4] = S5[Byte(x, 0x3)] ^ S6[Byte(x, 0x2)] ^ S7[Byte(x, 0xC)] ^ S8[Byte(x, 0xD)] ^ S5[Byte(x, 0x8)];
    out[5] = S5[Byte(x, 0x1)] ^ S6[Byte(x, 0x0)] ^ S7[Byte(x, 0xE)] ^ S8[Byte(x, 0xF)] ^ S6[Byte(x, 0xD)];
    out[6] = S5[Byte(x, 0x7)] ^ S6[Byte(x, 0x6)] ^ S7[Byte(x, 0x8)] ^ S8[Byte(x, 0x9)] ^ S7[Byte(x, 0x3)];
    out[7] = S5[Byte(x, 0x5)] ^ S6[Byte(x, 0x4)] ^ S7[Byte(x, 0xA)] ^ S8[Byte(x, 0xB)] ^ S8[Byte(x, 0x7)];

    z[0] = x[0] ^ S5[Byte(x, 0xD)] ^ S6[Byte(x, 0xF)] ^ S7[Byte(x, 0xC)] ^ S8[Byte(x, 0xE)] ^ S7[Byte(x, 0x8)];
    z[1] = x[2] ^ S5[Byte(z, 0x0)] ^ S6[Byte(z, 0x2)] ^ S7[Byte(z, 0x1)] ^ S8[Byte(z, 0x3)] ^ S8[Byte(x, 0xA)];
    z[2] = x[3] ^ S5[Byte(z, 0x7)] ^ S6[Byte(z, 0x6)] ^ S7[Byte(z, 0x5)] ^ S8[Byte(z, 0x4)] ^ S5[Byte(x, 0x9)];
    z[3] = x[1] ^ S5[Byte(z, 0xA)] ^ S6[Byte(z, 0x9)] ^ S7[Byte(z, 0xB)] ^ S8[Byte(z, 0x8)] ^ S6[Byte(x, 0xB)];
    out[8] = S5[Byte(z, 0x3)] ^ S6[Byte(z, 0x2)] ^ S7[Byte(z, 0xC)] ^ S8[Byte(z, 0xD)] ^ S5[Byte(z, 0x9)];
    out[9] = S5[Byte(z, 0x1)] ^ S6[Byte(z, 0x0)] ^ S7[Byte(z, 0xE)] ^ S8[Byte(z, 0xF)] ^ S6[Byte(z, 0xC)];
    out[10] = S5[Byte(z, 0x7)] ^ S6[Byte(z, 0x6)] ^ S7[Byte(z, 0x8)] ^ S8[Byte(z, 0x9)] ^ S7[Byte(z, 0x2)];
    out[11] = S5[Byte(z, 0x5)] ^ S6[Byte(z, 0x4)] ^ S7[Byte(z, 0xA)] ^ S8[Byte(z, 0xB)] ^ S8[Byte(z, 0x6)];

    x[0] = z[2] ^ S5[Byte(z, 0x5)] ^ S6[Byte(z, 0x7)] ^ S7[Byte(z, 0x4)] ^ S8[Byte(z, 0x6)] ^ S7[Byte(z, 0x0)];
    x[1] = z[0] ^ S5[Byte(x, 0x0)] ^ S6[Byte(x, 0x2)] ^ S7[Byte(x, 0x1)] ^ S8[Byte(x, 0x3)] ^ S8[Byte(z, 0x2)];
    x[2] = z[1] ^ S5[Byte(x, 0x7)] ^ S6[Byte(x, 0x6)] ^ S7[Byte(x, 0x5)] ^ S8[Byte(x, 0x4)] ^ S5[Byte(z, 0x1)];
    x[3] = z[3] ^ S5[Byte(x, 0xA)] ^ S6[Byte(x, 0x9)] ^ S7[Byte(x, 0xB)] ^ S8[Byte(x, 0x8)] ^ S6[Byte(z, 0x3)];
    out[12] = S5[Byte(x, 0x8)] ^ S6[Byte(x, 0x9)] ^ S7[Byte(x, 0x7)] ^ S8[Byte(x, 0x6)] ^ S5[Byte(x, 0x3)];
    out[13] = S5[Byte(x, 0xA)] ^ S6[Byte(x, 0xB)] ^ S7[Byte(x, 0x5)] ^ S8[Byte(x, 0x4)] ^ S6[Byte(x, 0x7)];
    out[14] = S5[Byte(x, 0xC)] ^ S6[Byte(x, 0xD)] ^ S7[Byte(x, 0x3)] ^ S8[Byte(x, 0x2)] ^ S7[Byte(x, 0x8)];
    out[15] = S5[Byte(x, 0xE)] ^ S6[Byte(x, 0xF)] ^ S7[Byte(x, 0x1)] ^ S8[Byte(x, 0x0)] ^ S8[Byte(x, 0xD)];
  }
}

// Blocks enciphered side by side in the bulk operations.
constexpr size_t kGroup = 6;
static_assert(kGroup >= 4 && kGroup <= 8, "the tail after the last group takes at most 4 + 2 + 1 blocks");

using RoundFunction = uint32_t (*)(uint32_t, uint32_t, uint32_t);

// One round for N independent blocks: a ^= f(b), spelled out block by block
// (no loop for the compiler to keep or unroll). The blocks do not depend on
// each other, so their S-box loads overlap in the CPU.
template <RoundFunction F, size_t... B>
CAST_INLINE void RoundEach(uint32_t* a, const uint32_t* b, uint32_t km, uint32_t kr, std::index_sequence<B...>) {
  ((a[B] ^= F(b[B], km, kr)), ...);
}

template <int N, RoundFunction F>
CAST_INLINE void Round(uint32_t* a, const uint32_t* b, uint32_t km, uint32_t kr) {
  RoundEach<F>(a, b, km, kr, std::make_index_sequence<N>());
}

// The halves are never swapped: rounds alternate between updating l and r, so
// after 16 rounds r holds R16 and l holds L16.
template <int N>
CAST_INLINE void EncryptGroup(const uint32_t* km, const uint32_t* kr, unsigned char* data) {
  uint32_t l[N], r[N];
  for (int b = 0; b < N; ++b) {
    l[b] = Load32(data + 8 * b);
    r[b] = Load32(data + 8 * b + 4);
  }
  Round<N, F1>(l, r, km[0], kr[0]);
  Round<N, F2>(r, l, km[1], kr[1]);
  Round<N, F3>(l, r, km[2], kr[2]);
  Round<N, F1>(r, l, km[3], kr[3]);
  Round<N, F2>(l, r, km[4], kr[4]);
  Round<N, F3>(r, l, km[5], kr[5]);
  Round<N, F1>(l, r, km[6], kr[6]);
  Round<N, F2>(r, l, km[7], kr[7]);
  Round<N, F3>(l, r, km[8], kr[8]);
  Round<N, F1>(r, l, km[9], kr[9]);
  Round<N, F2>(l, r, km[10], kr[10]);
  Round<N, F3>(r, l, km[11], kr[11]);
  Round<N, F1>(l, r, km[12], kr[12]);
  Round<N, F2>(r, l, km[13], kr[13]);
  Round<N, F3>(l, r, km[14], kr[14]);
  Round<N, F1>(r, l, km[15], kr[15]);
  for (int b = 0; b < N; ++b) {
    Store32(data + 8 * b, r[b]);
    Store32(data + 8 * b + 4, l[b]);
  }
}

// The same rounds from 16 down to 1, each with its own function type.
template <int N>
CAST_INLINE void DecryptGroup(const uint32_t* km, const uint32_t* kr, unsigned char* data) {
  uint32_t l[N], r[N];
  for (int b = 0; b < N; ++b) {
    l[b] = Load32(data + 8 * b);
    r[b] = Load32(data + 8 * b + 4);
  }
  Round<N, F1>(l, r, km[15], kr[15]);
  Round<N, F3>(r, l, km[14], kr[14]);
  Round<N, F2>(l, r, km[13], kr[13]);
  Round<N, F1>(r, l, km[12], kr[12]);
  Round<N, F3>(l, r, km[11], kr[11]);
  Round<N, F2>(r, l, km[10], kr[10]);
  Round<N, F1>(l, r, km[9], kr[9]);
  Round<N, F3>(r, l, km[8], kr[8]);
  Round<N, F2>(l, r, km[7], kr[7]);
  Round<N, F1>(r, l, km[6], kr[6]);
  Round<N, F3>(l, r, km[5], kr[5]);
  Round<N, F2>(r, l, km[4], kr[4]);
  Round<N, F1>(l, r, km[3], kr[3]);
  Round<N, F3>(r, l, km[2], kr[2]);
  Round<N, F2>(l, r, km[1], kr[1]);
  Round<N, F1>(r, l, km[0], kr[0]);
  for (int b = 0; b < N; ++b) {
    Store32(data + 8 * b, r[b]);
    Store32(data + 8 * b + 4, l[b]);
  }
}

}  // namespace

CCastCipher::CCastCipher() { SetKey(""); }

void CCastCipher::SetKey(const char* key) {
  unsigned char bytes[16] = {};
  for (int i = 0; i < 16 && key[i] != '\0'; ++i) bytes[i] = static_cast<unsigned char>(key[i]);
  SetRawKey(bytes);
}

void CCastCipher::SetRawKey(const unsigned char key[16]) {
  std::memcpy(key_, key, 16);
  uint32_t k[32];
  Schedule(key_, k);
  for (int i = 0; i < 16; ++i) {
    km_[i] = k[i];
    kr_[i] = k[16 + i] & 31;
  }
}

void CCastCipher::EncryptBlock(unsigned char* out, const unsigned char* in) const {
  if (out != in) std::memmove(out, in, 8);
  EncryptGroup<1>(km_, kr_, out);
}

void CCastCipher::DecryptBlock(unsigned char* out, const unsigned char* in) const {
  if (out != in) std::memmove(out, in, 8);
  DecryptGroup<1>(km_, kr_, out);
}

void CCastCipher::EncryptBlocks(unsigned char* data, size_t count) const {
  if (count >= cast_wide::kBlocksPerGroup && cast_wide::Enabled()) {
    const size_t groups = count / cast_wide::kBlocksPerGroup;
    cast_wide::EncryptGroups(km_, kr_, data, groups);
    data += 8 * cast_wide::kBlocksPerGroup * groups;
    count -= cast_wide::kBlocksPerGroup * groups;
  }
  for (; count >= kGroup; count -= kGroup, data += 8 * kGroup) EncryptGroup<kGroup>(km_, kr_, data);
  if (count >= 4) {
    EncryptGroup<4>(km_, kr_, data);
    count -= 4;
    data += 32;
  }
  if (count >= 2) {
    EncryptGroup<2>(km_, kr_, data);
    count -= 2;
    data += 16;
  }
  if (count) EncryptGroup<1>(km_, kr_, data);
}

void CCastCipher::DecryptBlocks(unsigned char* data, size_t count) const {
  if (count >= cast_wide::kBlocksPerGroup && cast_wide::Enabled()) {
    const size_t groups = count / cast_wide::kBlocksPerGroup;
    cast_wide::DecryptGroups(km_, kr_, data, groups);
    data += 8 * cast_wide::kBlocksPerGroup * groups;
    count -= cast_wide::kBlocksPerGroup * groups;
  }
  for (; count >= kGroup; count -= kGroup, data += 8 * kGroup) DecryptGroup<kGroup>(km_, kr_, data);
  if (count >= 4) {
    DecryptGroup<4>(km_, kr_, data);
    count -= 4;
    data += 32;
  }
  if (count >= 2) {
    DecryptGroup<2>(km_, kr_, data);
    count -= 2;
    data += 16;
  }
  if (count) DecryptGroup<1>(km_, kr_, data);
}
