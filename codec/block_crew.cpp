#include "codec/block_crew.h"

#include "crypto/cast_cipher.h"

namespace {
// Below this many blocks (64 KiB) a hand-over costs more than it saves.
constexpr size_t kSplitBlocks = 8192;
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

void CBlockCrew::Run(const CCastCipher& cipher, bool encrypt, unsigned char* data, size_t blocks) {
  if (!useHelper_ || blocks < kSplitBlocks) {
    if (encrypt) {
      cipher.EncryptBlocks(data, blocks);
    } else {
      cipher.DecryptBlocks(data, blocks);
    }
    return;
  }
  if (!helper_.joinable()) helper_ = std::thread(&CBlockCrew::HelperLoop, this);

  const size_t mine = blocks / 2;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cipher_ = &cipher;
    encrypt_ = encrypt;
    data_ = data + 8 * mine;
    blocks_ = blocks - mine;
    pending_ = true;
  }
  wake_.notify_one();
  if (encrypt) {
    cipher.EncryptBlocks(data, mine);
  } else {
    cipher.DecryptBlocks(data, mine);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return !pending_; });
}

void CBlockCrew::HelperLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return pending_ || quit_; });
    if (quit_) return;
    const CCastCipher* cipher = cipher_;
    const bool encrypt = encrypt_;
    unsigned char* data = data_;
    const size_t blocks = blocks_;
    lock.unlock();
    if (encrypt) {
      cipher->EncryptBlocks(data, blocks);
    } else {
      cipher->DecryptBlocks(data, blocks);
    }
    lock.lock();
    pending_ = false;
    done_.notify_one();
  }
}
