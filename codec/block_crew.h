// Enciphers or deciphers a run of independent 8-byte blocks with the help of
// one extra thread: the caller does the first half, the helper the second, and
// the call returns when both are done. ECB blocks do not depend on each other,
// so the bytes come out exactly as from one thread. Short runs, and machines
// with a single processor, are done on the calling thread alone.
//
// The digesting variants also digest each half's plain bytes on the thread
// that ciphers it (before enciphering, after deciphering), while they are in
// the cache: leaves[0] for the first blocks / 2 blocks, leaves[1] for the
// rest, whichever thread runs them, so the leaves depend only on the run.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

class CCastCipher;

class CBlockCrew {
 public:
  CBlockCrew();
  ~CBlockCrew();
  CBlockCrew(const CBlockCrew&) = delete;
  CBlockCrew& operator=(const CBlockCrew&) = delete;

  void Encrypt(const CCastCipher& cipher, unsigned char* data, size_t blocks) {
    Run(&cipher, Op::Encrypt, data, blocks, nullptr);
  }
  void Decrypt(const CCastCipher& cipher, unsigned char* data, size_t blocks) {
    Run(&cipher, Op::Decrypt, data, blocks, nullptr);
  }
  void EncryptDigesting(const CCastCipher& cipher, unsigned char* data, size_t blocks, uint64_t leaves[2]) {
    Run(&cipher, Op::DigestEncrypt, data, blocks, leaves);
  }
  void DecryptDigesting(const CCastCipher& cipher, unsigned char* data, size_t blocks, uint64_t leaves[2]) {
    Run(&cipher, Op::DecryptDigest, data, blocks, leaves);
  }
  // Digests only (bytes that need no cipher), in the same two leaves.
  void Digest(unsigned char* data, size_t blocks, uint64_t leaves[2]) {
    Run(nullptr, Op::Digest, data, blocks, leaves);
  }

 private:
  enum class Op { Encrypt, Decrypt, DigestEncrypt, DecryptDigest, Digest };
  static void Work(const CCastCipher* cipher, Op op, unsigned char* data, size_t blocks, uint64_t* leaf);
  void Run(const CCastCipher* cipher, Op op, unsigned char* data, size_t blocks, uint64_t* leaves);
  void HelperLoop();

  bool useHelper_;
  std::thread helper_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  // The helper's share, guarded by mutex_.
  const CCastCipher* cipher_ = nullptr;
  Op op_ = Op::Encrypt;
  unsigned char* data_ = nullptr;
  size_t blocks_ = 0;
  uint64_t* leaf_ = nullptr;
  bool pending_ = false;
  bool quit_ = false;
};
