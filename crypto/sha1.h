// SHA-1 (FIPS 180-1) as the password check uses it: the input is fed a fixed
// number of times in a row (ten) as one continuous message. The digest never
// touches file contents; it only tells two passwords apart before enciphering.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class CSha1 {
 public:
  static constexpr size_t kDigestSize = 20;

  // Called with (0, repeat count, user) before the first pass, with
  // (pass, repeat count, user) after each pass (pass counted from 0), and with
  // (0, repeat count, user) once the digest is written.
  using ProgressCallback = void (*)(int pass, int repeatCount, void* user);

  CSha1();

  // Digest of data[0 .. length) repeated RepeatCount() times. *capacity is the
  // room in out; it must be at least 20 and is set to 20 on success. Returns 20,
  // or 0 (out and *capacity untouched) when the room is short or the message
  // would pass 2^64 - 1 bits.
  size_t ComputeDigest(unsigned char* out, size_t* capacity, const void* data, size_t length,
                       ProgressCallback callback = nullptr, void* user = nullptr);

  int RepeatCount() const { return repeatCount_; }

  // The steps of ComputeDigest, for callers that stream one message.
  void Reset();
  // False, taking nothing, when the message would pass 2^64 - 1 bits.
  bool Update(const void* data, size_t length);
  void Finish(unsigned char out[kDigestSize]);

  // Moves the message length on without feeding bytes: lets tests reach the
  // 2^64-bit limit. bits must be a multiple of 8 and the block buffer empty.
  void SkipBits(uint64_t bits);

 private:
  void Compress(const unsigned char block[64]);

  uint32_t h_[5];
  uint32_t bitsLow_;
  uint32_t bitsHigh_;
  unsigned char buffer_[64];
  unsigned fill_;
  int32_t repeatCount_;
};

// SHA-1 of ten copies of the password, stored as "HashValue".
std::array<unsigned char, CSha1::kDigestSize> PasswordDigest(const std::string& password);
