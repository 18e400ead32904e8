// The test hook of the file layer, the same on every system.
#include <atomic>

#include "platform/file.h"

namespace platform {

namespace {
std::atomic<IFileOpHook*> fileOpHook{nullptr};
}  // namespace

void SetFileOpHook(IFileOpHook* hook) { fileOpHook.store(hook); }

bool FileOpAllowed(FileOp op, const std::string& path, const std::string& to) {
  IFileOpHook* hook = fileOpHook.load(std::memory_order_acquire);
  return hook == nullptr || hook->OnFileOp(op, path, to);
}

bool FileBytesHooked() { return fileOpHook.load(std::memory_order_acquire) != nullptr; }

void PassFileBytes(FileOp op, const std::string& path, uint64_t offset, unsigned char* bytes, size_t size) {
  IFileOpHook* hook = fileOpHook.load(std::memory_order_acquire);
  if (hook && size > 0) hook->OnFileBytes(op, path, offset, bytes, size);
}

}  // namespace platform
