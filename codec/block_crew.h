// Enciphers or deciphers a run of independent 8-byte blocks with the help of
// one extra thread: the caller does the first half, the helper the second, and
// the call returns when both are done. ECB blocks do not depend on each other,
// so the bytes come out exactly as from one thread. Short runs, and machines
// with a single processor, are done on the calling thread alone.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

class CCastCipher;

class CBlockCrew {
 public:
  CBlockCrew();
  ~CBlockCrew();
  CBlockCrew(const CBlockCrew&) = delete;
  CBlockCrew& operator=(const CBlockCrew&) = delete;

  void Encrypt(const CCastCipher& cipher, unsigned char* data, size_t blocks) { Run(cipher, true, data, blocks); }
  void Decrypt(const CCastCipher& cipher, unsigned char* data, size_t blocks) { Run(cipher, false, data, blocks); }

 private:
  void Run(const CCastCipher& cipher, bool encrypt, unsigned char* data, size_t blocks);
  void HelperLoop();

  bool useHelper_;
  std::thread helper_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  // The helper's share, guarded by mutex_.
  const CCastCipher* cipher_ = nullptr;
  bool encrypt_ = true;
  unsigned char* data_ = nullptr;
  size_t blocks_ = 0;
  bool pending_ = false;
  bool quit_ = false;
};
