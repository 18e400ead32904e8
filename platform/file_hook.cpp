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

}  // namespace platform
