#include "codec/block_crew.h"

#include "codec/content_digest.h"
#include "crypto/cast_cipher.h"

namespace {
// Below this many blocks (64 KiB) a hand-over costs more than it saves.
constexpr size_t kSplitBlocks = 8192;

uint64_t DigestOf(const unsigned char* data, size_t blocks) {
  CContentDigest digest;
  digest.Update(data, blocks * 8);
  return digest.Value();
}
}  // namespace

CBlockCrew::CBlockCrew() : useHelper_(std::thread::hardware_concurrency() > 1) {}

CBlockCrew::~CBlockCrew() {
  if (helper_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_one();
    helper_.join();
  }
}

void CBlockCrew::Work(const CCastCipher* cipher, Op op, unsigned char* data, size_t blocks, uint64_t* leaf) {
  switch (op) {
    case Op::Encrypt:
      cipher->EncryptBlocks(data, blocks);
      break;
    case Op::Decrypt:
      cipher->DecryptBlocks(data, blocks);
      break;
    case Op::DigestEncrypt:
      *leaf = DigestOf(data, blocks);
      cipher->EncryptBlocks(data, blocks);
      break;
    case Op::DecryptDigest:
      cipher->DecryptBlocks(data, blocks);
      *leaf = DigestOf(data, blocks);
      break;
    case Op::Digest:
      *leaf = DigestOf(data, blocks);
      break;
  }
}

void CBlockCrew::Run(const CCastCipher* cipher, Op op, unsigned char* data, size_t blocks, uint64_t* leaves) {
  // The halves are the same whoever runs them: the leaves depend on the run alone.
  const size_t mine = blocks / 2;
  uint64_t* firstLeaf = leaves ? &leaves[0] : nullptr;
  uint64_t* secondLeaf = leaves ? &leaves[1] : nullptr;
  if (!useHelper_ || blocks < kSplitBlocks) {
    Work(cipher, op, data, mine, firstLeaf);
    Work(cipher, op, data + 8 * mine, blocks - mine, secondLeaf);
    return;
  }
  if (!helper_.joinable()) helper_ = std::thread(&CBlockCrew::HelperLoop, this);

  {
    std::lock_guard<std::mutex> lock(mutex_);
    cipher_ = cipher;
    op_ = op;
    data_ = data + 8 * mine;
    blocks_ = blocks - mine;
    leaf_ = secondLeaf;
    pending_ = true;
  }
  wake_.notify_one();
  Work(cipher, op, data, mine, firstLeaf);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return !pending_; });
}

void CBlockCrew::HelperLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return pending_ || quit_; });
    if (quit_) return;
    const CCastCipher* cipher = cipher_;
    const Op op = op_;
    unsigned char* data = data_;
    const size_t blocks = blocks_;
    uint64_t* leaf = leaf_;
    lock.unlock();
    Work(cipher, op, data, blocks, leaf);
    lock.lock();
    pending_ = false;
    done_.notify_one();
  }
}
