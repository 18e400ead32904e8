#include "crypto/cast_wide.h"

#include <atomic>

#if defined(__x86_64__) && defined(__GNUC__)
#define CAST_WIDE_BUILT 1
// GCC 12 warns inside its own AVX-512 headers (the "undefined" pass-through
// operands of the unmasked intrinsics).
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace cast_wide {
namespace {
std::atomic<bool> allowed{true};
}  // namespace

void SetAllowed(bool value) { allowed.store(value, std::memory_order_relaxed); }

bool Enabled() { return allowed.load(std::memory_order_relaxed) && Supported(); }

}  // namespace cast_wide

#ifdef CAST_WIDE_BUILT

namespace cast_wide {
namespace {

#include "crypto/cast_sboxes.inc"

// How it works. A group is 64 blocks held as 4 + 4 registers of 16 halves
// (L and R). For a round, the 64 function inputs I are rearranged into four
// byte planes (plane p, lane j = byte p of block j's I). Each round S-box is
// kept as four byte planes too (plane p = byte p of all 256 words, 4 registers
// of 64 bytes); two two-table byte permutations cover entries 0..127 and
// 128..255 and the top index bit picks between them. The four looked-up byte
// planes are put back together as 32-bit words for the arithmetic of the round
// function.

// b[s][p][e] = byte p (0 = least significant) of S(s+1)[e], for S1 .. S4.
struct Planes {
  alignas(64) unsigned char b[4][4][256];
};

Planes MakePlanes() {
  Planes planes;
  for (int s = 0; s < 4; ++s) {
    for (int p = 0; p < 4; ++p) {
      for (int e = 0; e < 256; ++e) planes.b[s][p][e] = static_cast<unsigned char>(kCastSBox[s][e] >> (8 * p));
    }
  }
  return planes;
}

const Planes& GetPlanes() {
  static const Planes planes = MakePlanes();
  return planes;
}

#define WIDE [[gnu::target("avx512f,avx512bw,avx512vbmi")]]
#define WIDE_INLINE [[gnu::target("avx512f,avx512bw,avx512vbmi"), gnu::always_inline]] inline

// Permutation indexes, built once per call of the group functions.
struct Consts {
  __m512i toPlanes01;  // bytes 0 (low half) and 1 (high half) of 32 words
  __m512i toPlanes23;  // bytes 2 and 3 likewise
  __m512i wordsLow;    // byte pairs (plane 0|2, plane 1|3) of lanes 0..31
  __m512i wordsHigh;   // the same for lanes 32..63
  __m512i dwordsLow;   // word pairs of lanes 0..15 of a word register pair
  __m512i dwordsHigh;  // the same for lanes 16..31
};

// One byte plane of one S-box for 64 indices.
WIDE_INLINE __m512i LookPlane(const unsigned char* t, __m512i idx, __mmask64 high) {
  const __m512i lo = _mm512_permutex2var_epi8(_mm512_load_si512(t), idx, _mm512_load_si512(t + 64));
  const __m512i hi = _mm512_permutex2var_epi8(_mm512_load_si512(t + 128), idx, _mm512_load_si512(t + 192));
  return _mm512_mask_blend_epi8(high, lo, hi);
}

// S-box s for the 64 indices of plane idx, back as 4 dword registers (16 blocks each).
WIDE_INLINE void Look(const Planes& pl, int s, __m512i idx, const Consts& c, __m512i out[4]) {
  const __mmask64 high = _mm512_movepi8_mask(idx);
  const __m512i v0 = LookPlane(pl.b[s][0], idx, high);
  const __m512i v1 = LookPlane(pl.b[s][1], idx, high);
  const __m512i v2 = LookPlane(pl.b[s][2], idx, high);
  const __m512i v3 = LookPlane(pl.b[s][3], idx, high);
  const __m512i u01lo = _mm512_permutex2var_epi8(v0, c.wordsLow, v1);
  const __m512i u01hi = _mm512_permutex2var_epi8(v0, c.wordsHigh, v1);
  const __m512i u23lo = _mm512_permutex2var_epi8(v2, c.wordsLow, v3);
  const __m512i u23hi = _mm512_permutex2var_epi8(v2, c.wordsHigh, v3);
  out[0] = _mm512_permutex2var_epi16(u01lo, c.dwordsLow, u23lo);
  out[1] = _mm512_permutex2var_epi16(u01lo, c.dwordsHigh, u23lo);
  out[2] = _mm512_permutex2var_epi16(u01hi, c.dwordsLow, u23hi);
  out[3] = _mm512_permutex2var_epi16(u01hi, c.dwordsHigh, u23hi);
}

// One round for the group: a ^= f(d), f of type T (1, 2 or 3).
template <int T>
WIDE_INLINE void Round(__m512i a[4], const __m512i d[4], uint32_t km, uint32_t kr, const Planes& pl, const Consts& c) {
  const __m512i k = _mm512_set1_epi32(static_cast<int>(km));
  const __m512i r = _mm512_set1_epi32(static_cast<int>(kr));
  __m512i t[4];
  for (int j = 0; j < 4; ++j) {
    const __m512i x =
        T == 1 ? _mm512_add_epi32(k, d[j]) : T == 2 ? _mm512_xor_si512(k, d[j]) : _mm512_sub_epi32(k, d[j]);
    t[j] = _mm512_rolv_epi32(x, r);
  }
  // Byte planes of the inputs: ia holds the most significant bytes (for S1),
  // id the least significant (for S4); lane j belongs to block j.
  const __m512i x01 = _mm512_permutex2var_epi8(t[0], c.toPlanes01, t[1]);
  const __m512i x23 = _mm512_permutex2var_epi8(t[0], c.toPlanes23, t[1]);
  const __m512i y01 = _mm512_permutex2var_epi8(t[2], c.toPlanes01, t[3]);
  const __m512i y23 = _mm512_permutex2var_epi8(t[2], c.toPlanes23, t[3]);
  const __m512i id = _mm512_shuffle_i64x2(x01, y01, 0x44);
  const __m512i ic = _mm512_shuffle_i64x2(x01, y01, 0xEE);
  const __m512i ib = _mm512_shuffle_i64x2(x23, y23, 0x44);
  const __m512i ia = _mm512_shuffle_i64x2(x23, y23, 0xEE);
  __m512i s1[4], s2[4], s3[4], s4[4];
  Look(pl, 0, ia, c, s1);
  Look(pl, 1, ib, c, s2);
  Look(pl, 2, ic, c, s3);
  Look(pl, 3, id, c, s4);
  for (int j = 0; j < 4; ++j) {
    __m512i f;
    if (T == 1) {
      f = _mm512_add_epi32(_mm512_sub_epi32(_mm512_xor_si512(s1[j], s2[j]), s3[j]), s4[j]);
    } else if (T == 2) {
      f = _mm512_xor_si512(_mm512_add_epi32(_mm512_sub_epi32(s1[j], s2[j]), s3[j]), s4[j]);
    } else {
      f = _mm512_sub_epi32(_mm512_xor_si512(_mm512_add_epi32(s1[j], s2[j]), s3[j]), s4[j]);
    }
    a[j] = _mm512_xor_si512(a[j], f);
  }
}

// toPlanes: lane i < 16 of the word pair is lane i of the first register,
// lanes 16..31 those of the second.
WIDE Consts MakeConsts() {
  alignas(64) unsigned char p01[64], p23[64], w01[64], whi[64];
  alignas(64) uint16_t dlo[32], dhi[32];
  for (int i = 0; i < 32; ++i) {
    const int src = i < 16 ? 4 * i : 64 + 4 * (i - 16);
    p01[i] = static_cast<unsigned char>(src);
    p01[32 + i] = static_cast<unsigned char>(src + 1);
    p23[i] = static_cast<unsigned char>(src + 2);
    p23[32 + i] = static_cast<unsigned char>(src + 3);
    // word i = (first[i], second[i]) for lanes 0..31, and for lanes 32..63
    w01[2 * i] = static_cast<unsigned char>(i);
    w01[2 * i + 1] = static_cast<unsigned char>(64 + i);
    whi[2 * i] = static_cast<unsigned char>(32 + i);
    whi[2 * i + 1] = static_cast<unsigned char>(64 + 32 + i);
  }
  for (int i = 0; i < 16; ++i) {
    // dword i = (word i of the low pair, word i of the high pair); words 16..31 for the second
    dlo[2 * i] = static_cast<uint16_t>(i);
    dlo[2 * i + 1] = static_cast<uint16_t>(32 + i);
    dhi[2 * i] = static_cast<uint16_t>(16 + i);
    dhi[2 * i + 1] = static_cast<uint16_t>(32 + 16 + i);
  }
  Consts c;
  c.toPlanes01 = _mm512_load_si512(p01);
  c.toPlanes23 = _mm512_load_si512(p23);
  c.wordsLow = _mm512_load_si512(w01);
  c.wordsHigh = _mm512_load_si512(whi);
  c.dwordsLow = _mm512_load_si512(dlo);
  c.dwordsHigh = _mm512_load_si512(dhi);
  return c;
}

// 64 blocks from memory: l and r get the big-endian halves, block 16 j + i in
// lane i of register j.
WIDE_INLINE void LoadGroup(const unsigned char* p, __m512i l[4], __m512i r[4]) {
  const __m512i bswap = _mm512_broadcast_i32x4(_mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12));
  const __m512i evens = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
  const __m512i odds = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
  for (int j = 0; j < 4; ++j) {
    const __m512i x0 = _mm512_shuffle_epi8(_mm512_loadu_si512(p + 128 * j), bswap);
    const __m512i x1 = _mm512_shuffle_epi8(_mm512_loadu_si512(p + 128 * j + 64), bswap);
    l[j] = _mm512_permutex2var_epi32(x0, evens, x1);
    r[j] = _mm512_permutex2var_epi32(x0, odds, x1);
  }
}

// Writes first || second for every block.
WIDE_INLINE void StoreGroup(unsigned char* p, const __m512i first[4], const __m512i second[4]) {
  const __m512i bswap = _mm512_broadcast_i32x4(_mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12));
  const __m512i lo = _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
  const __m512i hi = _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
  for (int j = 0; j < 4; ++j) {
    _mm512_storeu_si512(p + 128 * j, _mm512_shuffle_epi8(_mm512_permutex2var_epi32(first[j], lo, second[j]), bswap));
    _mm512_storeu_si512(p + 128 * j + 64, _mm512_shuffle_epi8(_mm512_permutex2var_epi32(first[j], hi, second[j]), bswap));
  }
}

// CPUID says AVX-512 F, BW and VBMI are there, and XCR0 says the operating
// system saves the opmask and all 512-bit registers.
[[gnu::target("xsave")]] bool Detect() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  if (!(ecx & (1u << 27))) return false;  // OSXSAVE
  const unsigned long long xcr0 = _xgetbv(0);
  if ((xcr0 & 0xE6) != 0xE6) return false;  // SSE, AVX, opmask, ZMM0-15 and ZMM16-31 state
  if (__get_cpuid_max(0, nullptr) < 7) return false;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  const bool f = ebx & (1u << 16), bw = ebx & (1u << 30), vbmi = ecx & (1u << 1);
  return f && bw && vbmi;
}

}  // namespace

bool Supported() {
  static const bool supported = Detect();
  return supported;
}

WIDE void EncryptGroups(const uint32_t km[16], const uint32_t kr[16], unsigned char* data, size_t groups) {
  const Planes& pl = GetPlanes();
  const Consts c = MakeConsts();
  for (; groups > 0; --groups, data += 8 * kBlocksPerGroup) {
    __m512i l[4], r[4];
    LoadGroup(data, l, r);
    Round<1>(l, r, km[0], kr[0], pl, c);
    Round<2>(r, l, km[1], kr[1], pl, c);
    Round<3>(l, r, km[2], kr[2], pl, c);
    Round<1>(r, l, km[3], kr[3], pl, c);
    Round<2>(l, r, km[4], kr[4], pl, c);
    Round<3>(r, l, km[5], kr[5], pl, c);
    Round<1>(l, r, km[6], kr[6], pl, c);
    Round<2>(r, l, km[7], kr[7], pl, c);
    Round<3>(l, r, km[8], kr[8], pl, c);
    Round<1>(r, l, km[9], kr[9], pl, c);
    Round<2>(l, r, km[10], kr[10], pl, c);
    Round<3>(r, l, km[11], kr[11], pl, c);
    Round<1>(l, r, km[12], kr[12], pl, c);
    Round<2>(r, l, km[13], kr[13], pl, c);
    Round<3>(l, r, km[14], kr[14], pl, c);
    Round<1>(r, l, km[15], kr[15], pl, c);
    StoreGroup(data, r, l);
  }
}

WIDE void DecryptGroups(const uint32_t km[16], const uint32_t kr[16], unsigned char* data, size_t groups) {
  const Planes& pl = GetPlanes();
  const Consts c = MakeConsts();
  for (; groups > 0; --groups, data += 8 * kBlocksPerGroup) {
    __m512i l[4], r[4];
    LoadGroup(data, l, r);
    Round<1>(l, r, km[15], kr[15], pl, c);
    Round<3>(r, l, km[14], kr[14], pl, c);
    Round<2>(l, r, km[13], kr[13], pl, c);
    Round<1>(r, l, km[12], kr[12], pl, c);
    Round<3>(l, r, km[11], kr[11], pl, c);
    Round<2>(r, l, km[10], kr[10], pl, c);
    Round<1>(l, r, km[9], kr[9], pl, c);
    Round<3>(r, l, km[8], kr[8], pl, c);
    Round<2>(l, r, km[7], kr[7], pl, c);
    Round<1>(r, l, km[6], kr[6], pl, c);
    Round<3>(l, r, km[5], kr[5], pl, c);
    Round<2>(r, l, km[4], kr[4], pl, c);
    Round<1>(l, r, km[3], kr[3], pl, c);
    Round<3>(r, l, km[2], kr[2], pl, c);
    Round<2>(l, r, km[1], kr[1], pl, c);
    Round<1>(r, l, km[0], kr[0], pl, c);
    StoreGroup(data, r, l);
  }
}

}  // namespace cast_wide

#else  // no x86 with a GNU compiler: the portable path only

namespace cast_wide {
bool Supported() { return false; }
void EncryptGroups(const uint32_t*, const uint32_t*, unsigned char*, size_t) {}
void DecryptGroups(const uint32_t*, const uint32_t*, unsigned char*, size_t) {}
}  // namespace cast_wide

#endif
