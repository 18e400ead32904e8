// CAST-128 (RFC 2144) with 16 rounds for every key length: a key shorter than
// 16 bytes is padded with zero bytes and still runs all 16 rounds.
// Blocks are 8 bytes, halves read and written big-endian. No mode, no state
// beyond the key schedule; the file format uses it block by block (ECB).
#pragma once

#include <cstddef>
#include <cstdint>

class CCastCipher {
 public:
  CCastCipher();

  // Key = the string's bytes up to its first zero byte or its 16th byte,
  // then zero bytes to 16. Always succeeds.
  void SetKey(const char* key);
  // Key = exactly these 16 bytes, zero bytes included (test vectors that run
  // the full 128-bit key space).
  void SetRawKey(const unsigned char key[16]);
  // The 16 key bytes as loaded.
  const unsigned char* Key() const { return key_; }

  // One block; out may equal in.
  void EncryptBlock(unsigned char* out, const unsigned char* in) const;
  void DecryptBlock(unsigned char* out, const unsigned char* in) const;

  // count blocks of 8 bytes, in place. Blocks are independent of each other.
  void EncryptBlocks(unsigned char* data, size_t count) const;
  void DecryptBlocks(unsigned char* data, size_t count) const;

 private:
  unsigned char key_[16];
  uint32_t kr_[16];  // rotation subkeys, low 5 bits
  uint32_t km_[16];  // masking subkeys
};
