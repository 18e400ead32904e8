// The bulk CAST-128 path for processors with AVX-512 VBMI: 64 blocks side by
// side, with the S-box lookups done as byte permutations inside registers
// instead of memory loads. Chosen at run time by CCastCipher's bulk
// operations; everything else uses the portable code. Internal to crypto/.
#pragma once

#include <cstddef>
#include <cstdint>

namespace cast_wide {

constexpr size_t kBlocksPerGroup = 64;

// True when the processor and the operating system run AVX-512 BW and VBMI
// and the path has not been switched off.
bool Enabled();
// Lets tests and benchmarks compare the two paths (process-wide; default on).
void SetAllowed(bool allowed);
// True when the processor and the operating system could run it.
bool Supported();

// groups * 64 blocks in place, with the subkeys of CCastCipher. Only call when
// Supported().
void EncryptGroups(const uint32_t km[16], const uint32_t kr[16], unsigned char* data, size_t groups);
void DecryptGroups(const uint32_t km[16], const uint32_t kr[16], unsigned char* data, size_t groups);

}  // namespace cast_wide
