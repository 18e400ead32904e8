// The registry stand-in: every key lives in one text file (registry_file.h).
//
// A key reads the file when it is opened and keeps its changes in memory;
// Close() then stores them under an exclusive lock on a lock file beside it:
// it reads the file afresh, applies only the values this key set or deleted,
// writes the result to a temporary file, flushes it and renames it over the
// old one. Values written by another process in the meantime are kept (the
// last writer of one value wins), and a crash or a full disk leaves the old
// file whole.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/registry_file.h"

namespace platform {
namespace {

// A settings file larger than this is not ours: it cannot be read, so it is
// never written over either.
constexpr off_t kMaxStoreSize = 16 * 1024 * 1024;

enum class ReadResult { kOk, kMissing, kFailed };

ReadResult ReadStoreFile(const std::string& path, regfile::Store* store) {
  store->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadResult::kFailed;
  }
  if (st.st_size > kMaxStoreSize) {
    ::close(fd);
    return ReadResult::kFailed;
  }
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return ReadResult::kFailed;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > static_cast<size_t>(kMaxStoreSize)) {  // it grew while it was read
      ::close(fd);
      return ReadResult::kFailed;
    }
  }
  ::close(fd);
  regfile::Parse(text, store);
  return ReadResult::kOk;
}

bool MakeFolders(const std::string& folder) {
  std::string partial;
  size_t pos = 0;
  while (pos <= folder.size()) {
    size_t slash = folder.find('/', pos);
    if (slash == std::string::npos) slash = folder.size();
    partial = folder.substr(0, slash);
    pos = slash + 1;
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAllBytes(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Replaces the file at path by store, never leaving a half-written file there.
bool WriteStoreFile(const std::string& folder, const std::string& path, const regfile::Store& store) {
  std::string temp = path + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());  // mode 0600: the file holds the password digest
  if (fd < 0) return false;
  temp = name.data();
  bool ok = WriteAllBytes(fd, regfile::Serialize(store)) && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);  // makes the rename itself durable; nothing to undo if it fails
    ::close(dir);
  }
  return true;
}

// Holds the lock file of the store exclusively for its lifetime.
class StoreLock {
 public:
  explicit StoreLock(const std::string& path) {
    fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~StoreLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Runs change on the current store under the lock and writes the result.
template <typename Change>
bool UpdateStore(Change change) {
  const std::string folder = regfile::StoreFolder();
  if (folder.empty() || !MakeFolders(folder)) return false;
  const std::string path = regfile::StorePath();
  StoreLock lock(path);
  if (!lock.held()) return false;
  regfile::Store store;
  if (ReadStoreFile(path, &store) == ReadResult::kFailed) return false;  // never overwrite what we cannot read
  if (!change(&store)) return true;  // nothing to write
  return WriteStoreFile(folder, path, store);
}

regfile::Values::iterator FindValue(regfile::Values* values, const std::string& name) {
  return values->find(name);  // the map's order ignores letter case
}

}  // namespace

struct RegistryKey::Impl {
  struct Change {
    std::string name;
    bool erase = false;
    regfile::Value value;
  };
  std::string path;
  regfile::Values values;  // as this key sees them: the file at Open plus own changes
  std::vector<Change> changes;
  bool create = false;  // the key was not in the file yet
};

RegistryKey::RegistryKey() : impl_(nullptr) {}

RegistryKey::~RegistryKey() { Close(); }

bool RegistryKey::Open(const std::string& subkey) {
  Close();
  const std::string path = regfile::StorePath();
  if (path.empty()) return false;
  regfile::Store store;
  if (ReadStoreFile(path, &store) == ReadResult::kFailed) return false;
  impl_ = new Impl;
  impl_->path = subkey;
  auto found = store.find(subkey);
  if (found != store.end()) {
    impl_->values = std::move(found->second);
  } else {
    impl_->create = true;
  }
  return true;
}

bool RegistryKey::IsOpen() const { return impl_ != nullptr; }

bool RegistryKey::Query(const std::string& name, uint32_t* type, void* data, uint32_t* size) {
  if (impl_ == nullptr || size == nullptr) return false;
  auto found = FindValue(&impl_->values, name);
  if (found == impl_->values.end()) return false;
  const regfile::Value& value = found->second;
  if (type != nullptr) *type = value.type;
  const uint32_t capacity = *size;
  *size = static_cast<uint32_t>(value.data.size());
  if (data == nullptr) return true;
  if (value.data.size() > capacity) return false;
  if (!value.data.empty()) std::memcpy(data, value.data.data(), value.data.size());
  return true;
}

bool RegistryKey::Set(const std::string& name, uint32_t type, const void* data, uint32_t size) {
  if (impl_ == nullptr || (data == nullptr && size != 0)) return false;
  Impl::Change change;
  change.name = name;
  change.value.type = type;
  if (size != 0) change.value.data.assign(static_cast<const char*>(data), size);
  auto found = FindValue(&impl_->values, name);
  if (found != impl_->values.end()) {
    found->second = change.value;
  } else {
    impl_->values.emplace(name, change.value);
  }
  impl_->changes.push_back(std::move(change));
  return true;
}

bool RegistryKey::DeleteValue(const std::string& name) {
  if (impl_ == nullptr) return false;
  auto found = FindValue(&impl_->values, name);
  if (found == impl_->values.end()) return false;
  impl_->values.erase(found);
  Impl::Change change;
  change.name = name;
  change.erase = true;
  impl_->changes.push_back(std::move(change));
  return true;
}

bool RegistryKey::Close() {
  if (impl_ == nullptr) return true;
  Impl* impl = impl_;
  impl_ = nullptr;
  bool ok = true;
  if (impl->create || !impl->changes.empty()) {
    ok = UpdateStore([impl](regfile::Store* store) {
      regfile::Values& values = (*store)[impl->path];
      for (const Impl::Change& change : impl->changes) {
        auto found = FindValue(&values, change.name);
        if (change.erase) {
          if (found != values.end()) values.erase(found);
        } else if (found != values.end()) {
          found->second = change.value;
        } else {
          values.emplace(change.name, change.value);
        }
      }
      return true;
    });
  }
  delete impl;
  return ok;
}

bool RegistryKey::DeleteTree(const std::string& subkey) {
  if (subkey.empty()) return false;
  return UpdateStore([&subkey](regfile::Store* store) {
    bool changed = false;
    for (auto it = store->begin(); it != store->end();) {
      const std::string& path = it->first;
      const bool below = path.size() > subkey.size() && path[subkey.size()] == '\\' &&
                         regfile::SameName(path.substr(0, subkey.size()), subkey);
      if (regfile::SameName(path, subkey) || below) {
        it = store->erase(it);
        changed = true;
      } else {
        ++it;
      }
    }
    return changed;
  });
}

}  // namespace platform
