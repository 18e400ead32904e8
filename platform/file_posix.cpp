// Files on Linux and other POSIX systems.
//
// - Read-only means the owner has no write permission. Setting it removes every
//   write bit; clearing it gives the owner write permission back.
// - "Without sharing" is an exclusive flock() taken at open: another Tavro (or
//   any program that asks for the lock) cannot open the file while it is held.
//   Programs that ignore locks are not kept out.
// - A creation time is read where the file system records one (statx birth
//   time); Linux offers no way to set it, so SetTimes applies only the
//   last-access and last-write times.
// - Symbolic links are never followed into: OpenExisting refuses them, and
//   DirectoryList leaves them out of its listing (they cannot lead a folder walk
//   into a loop or out of the chosen tree) and never opens one as a folder.
// - An open file is renamed or removed by its name only while that name still
//   leads to it (lstat compared with fstat just before).
// - A DeviceReader drops the file's pages from the cache before it reads them,
//   so they come from the device (on tmpfs the memory is the device).
#include "platform/file.h"

#ifndef _GNU_SOURCE
#define _GNU_SOURCE 1  // sync_file_range
#endif
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace platform {

namespace {

FileIdentity IdentityFromStat(const struct stat& st) {
  FileIdentity id;
  id.volume = static_cast<uint64_t>(st.st_dev);
  id.index = static_cast<uint64_t>(st.st_ino);
  return id;
}

FileInfo InfoFromStat(const struct stat& st) {
  FileInfo info;
  info.isLink = S_ISLNK(st.st_mode);
  info.isDirectory = S_ISDIR(st.st_mode);
  info.size = info.isDirectory ? 0 : static_cast<uint64_t>(st.st_size);
  uint32_t attributes = 0;
  if (info.isDirectory) attributes |= kAttrDirectory;
  if (!(st.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
  if (attributes == 0) attributes = kAttrNormal;
  info.attributes = attributes;
  info.times.lastAccess = static_cast<int64_t>(st.st_atim.tv_sec);
  info.times.lastWrite = static_cast<int64_t>(st.st_mtim.tv_sec);
  info.identity = IdentityFromStat(st);
  info.links = static_cast<uint32_t>(st.st_nlink);
  info.writeStamp = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return info;
}

// Everything a FileInfo holds about `name` in the folder `dir` (AT_FDCWD: the
// current folder), or about the open file `dir` itself when name is empty, in
// one call: the birth time comes with the rest where the kernel has statx.
// Links are described themselves. False (errno set) when nothing can be found.
bool Examine(int dir, const char* name, FileInfo* info, mode_t* mode = nullptr) {
#if defined(STATX_BTIME)
  struct statx sx;
  const int flags = AT_SYMLINK_NOFOLLOW | (*name ? 0 : AT_EMPTY_PATH);
  const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
  if (statx(dir, name, flags, mask, &sx) == 0) {
    struct stat st = {};
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_ino = static_cast<ino_t>(sx.stx_ino);
    st.st_mode = sx.stx_mode;
    st.st_nlink = static_cast<nlink_t>(sx.stx_nlink);
    st.st_size = static_cast<off_t>(sx.stx_size);
    st.st_atim.tv_sec = static_cast<time_t>(sx.stx_atime.tv_sec);
    st.st_atim.tv_nsec = sx.stx_atime.tv_nsec;
    st.st_mtim.tv_sec = static_cast<time_t>(sx.stx_mtime.tv_sec);
    st.st_mtim.tv_nsec = sx.stx_mtime.tv_nsec;
    *info = InfoFromStat(st);
    if (sx.stx_mask & STATX_BTIME) info->times.creation = static_cast<int64_t>(sx.stx_btime.tv_sec);
    if (mode) *mode = st.st_mode;
    return true;
  }
  if (errno != ENOSYS) return false;  // an old kernel: the plain call below
#endif
  struct stat st;
  const int rc = *name ? fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) : fstat(dir, &st);
  if (rc != 0) return false;
  *info = InfoFromStat(st);
  if (mode) *mode = st.st_mode;
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t at = path.rfind('/');
  if (at == std::string::npos) return ".";
  if (at == 0) return "/";
  return path.substr(0, at);
}

int RenameNoReplaceCall(const char* from, const char* to) {
#if defined(SYS_renameat2)
  return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, 1u /* RENAME_NOREPLACE */));
#else
  (void)from;
  (void)to;
  errno = ENOSYS;
  return -1;
#endif
}

// The rename has happened: the folders are synced so that it survives a power cut.
RenameResult SyncAfterRename(const std::string& from, const std::string& to) {
  const std::string fromFolder = FolderOf(from);
  const std::string toFolder = FolderOf(to);
  bool ok = SyncFolder(toFolder);
  if (fromFolder != toFolder) ok = SyncFolder(fromFolder) && ok;
  return ok ? RenameResult::Done : RenameResult::NotSynced;
}

mode_t WithReadOnly(mode_t mode, uint32_t attributes) {
  if (attributes & kAttrReadOnly) return mode & static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
  return mode | S_IWUSR;
}

}  // namespace

char PathSeparator() { return '/'; }

size_t FindLastSeparator(const std::string& path) { return path.rfind('/'); }

bool SamePathNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

bool LookupPath(const std::string& path, FileInfo* info) {
  if (path.empty()) return false;
  if (!info) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
  }
  return Examine(AT_FDCWD, path.c_str(), info);
}

namespace {

bool RealPath(const std::string& path, std::string* real) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) return false;
  *real = resolved;
  free(resolved);
  return true;
}

std::string CurrentFolder() {
  std::string buffer(4096, '\0');
  while (!getcwd(&buffer[0], buffer.size())) {
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return buffer.c_str();
}

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

}  // namespace

bool FullPath(const std::string& path, std::string* full) {
  if (path.empty()) return false;
  std::string absolute = path;
  if (absolute[0] != '/') {
    const std::string here = CurrentFolder();
    if (here.empty()) return false;
    absolute = here + "/" + absolute;
  }
  while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  const size_t slash = absolute.rfind('/');
  const std::string last = absolute.substr(slash + 1);
  // "." and ".." name a folder through its parent: resolve the whole.
  if (last.empty() || last == "." || last == "..") return RealPath(absolute, full);
  std::string folder;
  if (!RealPath(slash == 0 ? "/" : absolute.substr(0, slash), &folder)) return false;
  *full = (folder == "/" ? "" : folder) + "/" + last;
  return true;
}

bool FinalPath(const std::string& path, std::string* final) { return !path.empty() && RealPath(path, final); }

bool PathWithin(const std::string& path, const std::string& folder) {
  const std::vector<std::string> inner = Components(path), outer = Components(folder);
  if (path.empty() || folder.empty() || inner.size() < outer.size()) return false;
  for (size_t i = 0; i < outer.size(); ++i) {
    if (inner[i] != outer[i]) return false;
  }
  return true;
}

bool IdentityOf(const std::string& path, FileIdentity* identity) {
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) != 0) return false;
  if (identity) *identity = IdentityFromStat(st);
  return true;
}

bool GetAttributes(const std::string& path, uint32_t* attributes) {
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) != 0) return false;
  if (attributes) *attributes = InfoFromStat(st).attributes;
  return true;
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
  struct stat st;
  if (path.empty() || lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  const mode_t mode = WithReadOnly(st.st_mode & 07777, attributes);
  if (mode == (st.st_mode & 07777)) return true;
  return chmod(path.c_str(), mode) == 0;
}

bool CopyAccess(const std::string& from, const std::string& to) {
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return false;
  return chmod(to.c_str(), st.st_mode & 0777) == 0;
}

bool SetTimes(const std::string& path, const FileTimes& times) {
  struct timespec ts[2];
  ts[0].tv_sec = static_cast<time_t>(times.lastAccess);
  ts[0].tv_nsec = 0;
  ts[1].tv_sec = static_cast<time_t>(times.lastWrite);
  ts[1].tv_nsec = 0;
  return utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0;
}

namespace {

// The rename alone: Done once the new name is in place, not yet on the disk.
RenameResult RenameNoReplaceUnsynced(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || !FileOpAllowed(FileOp::Rename, from, to)) return RenameResult::Failed;
  if (RenameNoReplaceCall(from.c_str(), to.c_str()) != 0) {
    if (errno == EEXIST) return RenameResult::NameTaken;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return RenameResult::Failed;
    // The file system cannot rename without replacing: a hard link fails
    // when the name is taken, and the old name goes afterwards.
    if (link(from.c_str(), to.c_str()) == 0) {
      if (unlink(from.c_str()) != 0) {
        const int saved = errno;
        unlink(to.c_str());
        errno = saved;
        return RenameResult::Failed;
      }
    } else {
      if (errno == EEXIST) return RenameResult::NameTaken;
      if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EXDEV) return RenameResult::Failed;
      // No hard links either (FAT and the like): look, then rename. Another
      // program could slip a file in between; nothing better is offered.
      struct stat st;
      if (lstat(to.c_str(), &st) == 0) return RenameResult::NameTaken;
      if (rename(from.c_str(), to.c_str()) != 0) return RenameResult::Failed;
    }
  }
  return RenameResult::Done;
}

}  // namespace

RenameResult RenameNoReplace(const std::string& from, const std::string& to) {
  const RenameResult result = RenameNoReplaceUnsynced(from, to);
  return result == RenameResult::Done ? SyncAfterRename(from, to) : result;
}

RenameResult RenameReplacing(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || !FileOpAllowed(FileOp::Rename, from, to)) return RenameResult::Failed;
  struct stat st;
  if (lstat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return RenameResult::Failed;
  if (rename(from.c_str(), to.c_str()) != 0) return RenameResult::Failed;
  return SyncAfterRename(from, to);
}

bool RemoveFile(const std::string& path) {
  return !path.empty() && FileOpAllowed(FileOp::Remove, path) && unlink(path.c_str()) == 0;
}

bool CreateFolders(const std::string& folder) {
  if (folder.empty()) return false;
  for (size_t pos = folder.find('/', 1);; pos = folder.find('/', pos + 1)) {
    const std::string partial = folder.substr(0, pos);
    if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (pos == std::string::npos) break;
  }
  struct stat st;
  return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool SyncFolder(const std::string& folder) {
  if (!FileOpAllowed(FileOp::SyncFolder, folder)) return false;
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync folders
  close(fd);
  return ok;
}

struct File::Impl {
  int fd = -1;
  FileIdentity identity;  // of the open file: it never changes while it is open
  size_t unpushed = 0;  // bytes written since writeback was last started
  std::string path;     // the name it was opened by (for the test hook)
};

namespace {

// Large writes are pushed towards the disk while the next ones are prepared,
// so that the flush at the end has little left to wait for (the kernel would
// otherwise hold them back until the flush).
constexpr size_t kPushEvery = 8u << 20;

void PushWrites(int fd) {
#if defined(SYNC_FILE_RANGE_WRITE)
  sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  (void)fd;
#endif
}

// True for a plain file; what it is now goes to *info, and its identity is kept.
bool IsPlainFile(int fd, FileIdentity* identity, FileInfo* info) {
  FileInfo own;
  if (!info) info = &own;
  mode_t mode = 0;
  if (!Examine(fd, "", info, &mode) || !S_ISREG(mode)) {
    errno = EISDIR;
    return false;
  }
  *identity = info->identity;
  return true;
}

bool TakeLock(int fd, int how) {
  int rc;
  do {
    rc = flock(fd, how);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

// Takes the exclusive lock, then makes sure the object is a plain file and
// looks at it (as it is now that no other Tavro can change it).
bool Claim(int fd, FileIdentity* identity, FileInfo* info = nullptr) {
  return TakeLock(fd, LOCK_EX | LOCK_NB) && IsPlainFile(fd, identity, info);
}

// True while `path` still leads to the open file of that identity.
bool NameLeadsTo(const std::string& path, const FileIdentity& identity) {
  struct stat byName;
  return lstat(path.c_str(), &byName) == 0 && IdentityFromStat(byName) == identity;
}

}  // namespace

File::File() : impl_(new Impl) {}

File::~File() {
  Close();
  delete impl_;
}

bool File::OpenExisting(const std::string& path, FileInfo* info) {
  Close();
  // Not blocked by a pipe or a device, which is refused right after.
  const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  if (!Claim(fd, &impl_->identity, info)) {
    close(fd);
    return false;
  }
  fcntl(fd, F_SETFL, 0);  // of the flags it can change, only O_NONBLOCK was set
  impl_->fd = fd;
  impl_->path = path;
  return true;
}

bool File::OpenForReading(const std::string& path) {
  Close();
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = open(path.c_str(), flags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = open(path.c_str(), flags);  // not the owner: atime as the system keeps it
  if (fd < 0) return false;
  if (!IsPlainFile(fd, &impl_->identity, nullptr) || !TakeLock(fd, LOCK_SH | LOCK_NB)) {
    close(fd);
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  impl_->fd = fd;
  impl_->path = path;
  return true;
}

bool File::CreateNew(const std::string& path) {
  Close();
  if (!FileOpAllowed(FileOp::Create, path)) return false;
  // Private until its owner copies the source's permissions over.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (!Claim(fd, &impl_->identity)) {
    close(fd);
    unlink(path.c_str());
    return false;
  }
  impl_->fd = fd;
  impl_->path = path;
  return true;
}

bool File::OpenForAppend(const std::string& path) {
  Close();
  if (!FileOpAllowed(FileOp::Create, path)) return false;
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  if (!IsPlainFile(fd, &impl_->identity, nullptr)) {
    close(fd);
    return false;
  }
  fcntl(fd, F_SETFL, O_APPEND);  // O_NONBLOCK off
  impl_->fd = fd;
  impl_->path = path;
  return true;
}

bool File::IsOpen() const { return impl_->fd >= 0; }

int64_t File::Read(void* buffer, size_t size) {
  if (impl_->fd < 0) return -1;
  size_t done = 0;
  char* out = static_cast<char*>(buffer);
  while (done < size) {
    const size_t want = size - done > static_cast<size_t>(INT_MAX) ? static_cast<size_t>(INT_MAX) : size - done;
    const ssize_t n = read(impl_->fd, out + done, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

bool File::Write(const void* buffer, size_t size) {
  if (impl_->fd < 0 || !FileOpAllowed(FileOp::Write, impl_->path)) return false;
  size_t done = 0;
  const char* in = static_cast<const char*>(buffer);
  std::vector<char> hooked;  // the bytes as the test hook passes them on
  if (FileBytesHooked()) {
    const off_t at = lseek(impl_->fd, 0, SEEK_CUR);
    hooked.assign(in, in + size);
    PassFileBytes(FileOp::Write, impl_->path, at < 0 ? 0 : static_cast<uint64_t>(at),
                  reinterpret_cast<unsigned char*>(hooked.data()), size);
    in = hooked.data();
  }
  while (done < size) {
    const size_t want = size - done > static_cast<size_t>(INT_MAX) ? static_cast<size_t>(INT_MAX) : size - done;
    const ssize_t n = write(impl_->fd, in + done, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  impl_->unpushed += size;
  if (impl_->unpushed >= kPushEvery) {
    PushWrites(impl_->fd);
    impl_->unpushed = 0;
  }
  return true;
}

bool File::Seek(uint64_t offset) {
  if (impl_->fd < 0 || offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return lseek(impl_->fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

bool File::Length(uint64_t* length) {
  struct stat st;
  if (impl_->fd < 0 || fstat(impl_->fd, &st) != 0) return false;
  *length = static_cast<uint64_t>(st.st_size);
  return true;
}

bool File::Flush() {
  if (impl_->fd < 0 || !FileOpAllowed(FileOp::Flush, impl_->path)) return false;
  int rc;
  do {
    rc = fsync(impl_->fd);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool File::FlushData() {
  if (impl_->fd < 0 || !FileOpAllowed(FileOp::Flush, impl_->path)) return false;
  int rc;
  do {
    rc = fdatasync(impl_->fd);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool File::Close() {
  if (impl_->fd < 0) return true;
  const int fd = impl_->fd;
  impl_->fd = -1;
  impl_->identity = FileIdentity();
  impl_->unpushed = 0;
  impl_->path.clear();
  return close(fd) == 0;  // closing also drops the lock
}

bool File::Status(FileInfo* info) {
  return impl_->fd >= 0 && Examine(impl_->fd, "", info);
}

bool File::SetAttributes(uint32_t attributes) {
  struct stat st;
  if (impl_->fd < 0 || fstat(impl_->fd, &st) != 0) return false;
  const mode_t mode = WithReadOnly(st.st_mode & 07777, attributes);
  if (mode == (st.st_mode & 07777)) return true;
  return fchmod(impl_->fd, mode) == 0;
}

bool File::SetTimes(const FileTimes& times) {
  struct timespec ts[2];
  ts[0].tv_sec = static_cast<time_t>(times.lastAccess);
  ts[0].tv_nsec = 0;
  ts[1].tv_sec = static_cast<time_t>(times.lastWrite);
  ts[1].tv_nsec = 0;
  return impl_->fd >= 0 && futimens(impl_->fd, ts) == 0;
}

bool File::CopyAccessFrom(File& source) {
  struct stat st;
  if (impl_->fd < 0 || source.impl_->fd < 0 || fstat(source.impl_->fd, &st) != 0) return false;
  // Owner and group first (changing them clears set-id bits): both where the
  // process may (root), else the group alone where it is one of the caller's.
  if (fchown(impl_->fd, st.st_uid, st.st_gid) != 0) {
    const int ignored = fchown(impl_->fd, static_cast<uid_t>(-1), st.st_gid);
    (void)ignored;
  }
  return fchmod(impl_->fd, st.st_mode & 0777) == 0;
}

RenameResult File::RenameTo(const std::string& path, const std::string& to, bool durable) {
  if (impl_->fd < 0) return RenameResult::Failed;
  if (!NameLeadsTo(path, impl_->identity)) return RenameResult::NotThisFile;
  const RenameResult result = durable ? RenameNoReplace(path, to) : RenameNoReplaceUnsynced(path, to);
  if (result == RenameResult::Done || result == RenameResult::NotSynced) impl_->path = to;
  return result;
}

RemoveResult File::Remove(const std::string& path) {
  if (impl_->fd < 0 || path.empty() || !FileOpAllowed(FileOp::Remove, path)) return RemoveResult::Failed;
  if (!NameLeadsTo(path, impl_->identity)) return RemoveResult::NotThisFile;
  return unlink(path.c_str()) == 0 ? RemoveResult::Done : RemoveResult::Failed;
}

bool File::Lock(bool exclusive, bool wait) {
  if (impl_->fd < 0) return false;
  return TakeLock(impl_->fd, (exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB));
}

void File::Unlock() {
  if (impl_->fd >= 0) TakeLock(impl_->fd, LOCK_UN);
}

struct DeviceReader::Impl {
  int fd = -1;  // a duplicate of the file's descriptor, read at offset
  uint64_t offset = 0;
  uint64_t askedAhead = 0;  // the device has been asked for everything below this
  std::string path;
};

namespace {
// How far ahead of the reads the device is asked for the next pieces, so that
// it reads while the caller deciphers.
constexpr uint64_t kReadAhead = 16u << 20;
}  // namespace

DeviceReader::DeviceReader() : impl_(new Impl) {}

DeviceReader::~DeviceReader() {
  Close();
  delete impl_;
}

bool DeviceReader::Open(File& file) {
  Close();
  if (file.impl_->fd < 0 || !FileOpAllowed(FileOp::ReadBack, file.impl_->path)) return false;
  const int fd = fcntl(file.impl_->fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return false;
  // Reading must not stamp a new last-access time over the one that was carried
  // over (allowed only to the file's owner; harmless to miss).
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NOATIME);
  // The pages are clean after the flush: dropped, so the reads below come from
  // the device. A file system that keeps them (tmpfs, some network ones) is
  // still read back, from what it holds.
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  impl_->fd = fd;
  impl_->offset = 0;
  impl_->askedAhead = 0;
  impl_->path = file.impl_->path;
  return true;
}

int64_t DeviceReader::Read(void* buffer, size_t size) {
  if (impl_->fd < 0) return -1;
  if (impl_->offset + size + kReadAhead / 2 > impl_->askedAhead) {
    const uint64_t from = std::max(impl_->askedAhead, impl_->offset);
    impl_->askedAhead = impl_->offset + size + kReadAhead;
    posix_fadvise(impl_->fd, static_cast<off_t>(from), static_cast<off_t>(impl_->askedAhead - from),
                  POSIX_FADV_WILLNEED);
  }
  size_t done = 0;
  char* out = static_cast<char*>(buffer);
  while (done < size) {
    const size_t want = size - done > static_cast<size_t>(INT_MAX) ? static_cast<size_t>(INT_MAX) : size - done;
    const ssize_t n = pread(impl_->fd, out + done, want, static_cast<off_t>(impl_->offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  PassFileBytes(FileOp::ReadBack, impl_->path, impl_->offset, static_cast<unsigned char*>(buffer), done);
  impl_->offset += done;
  return static_cast<int64_t>(done);
}

void DeviceReader::Close() {
  if (impl_->fd >= 0) close(impl_->fd);
  impl_->fd = -1;
  impl_->offset = 0;
  impl_->path.clear();
}

struct DirectoryList::Impl {
  DIR* dir = nullptr;
  bool incomplete = false;
};

DirectoryList::DirectoryList() : impl_(new Impl) {}

DirectoryList::~DirectoryList() {
  Close();
  delete impl_;
}

bool DirectoryList::Open(const std::string& folder, const FileIdentity& expected) {
  Close();
  impl_->incomplete = false;
  // Never through a link, even one that took the folder's place since it was
  // listed; with a known identity, only the folder the walk listed.
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (expected.Known() && (fstat(fd, &st) != 0 || IdentityFromStat(st) != expected)) {
    close(fd);
    return false;
  }
  impl_->dir = fdopendir(fd);
  if (!impl_->dir) {
    close(fd);
    return false;
  }
  return true;
}

bool DirectoryList::Next(DirEntry* entry) {
  if (!impl_->dir) return false;
  for (;;) {
    errno = 0;
    const struct dirent* d = readdir(impl_->dir);
    if (!d) {
      if (errno != 0) impl_->incomplete = true;
      return false;
    }
    // Looked at inside the open folder, whatever its path leads to by now; a
    // path past the system's length limit is still examined.
    if (!Examine(dirfd(impl_->dir), d->d_name, &entry->info)) {
      if (errno != ENOENT) impl_->incomplete = true;  // not just vanished meanwhile
      continue;
    }
    if (entry->info.isLink) continue;  // links are not followed
    entry->name = d->d_name;
    return true;
  }
}

void DirectoryList::Close() {
  if (impl_->dir) closedir(impl_->dir);
  impl_->dir = nullptr;
}

bool DirectoryList::Incomplete() const { return impl_->incomplete; }

}  // namespace platform
