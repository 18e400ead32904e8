// Files on Windows, through the ANSI calls (paths are in the ANSI code page).
//
// - "Without sharing" is a share mode of 0: no other program can open the file
//   while it is held, nor rename or delete it. A new file may be opened by
//   others for reading only (and so with full sharing). An open file is renamed and
//   deleted through its handle (SetFileInformationByHandle), so it is held
//   from its opening to its deletion.
// - Times are carried in whole seconds since 1970 UTC; a FILETIME is cut to its
//   second, so a time read, set and read again comes back unchanged.
// - A DeviceReader reads through a second handle without buffering (whole
//   sectors, aligned memory), so what it gets comes from the device.
// - Both '\' and '/' count as separators when a path is split (the system
//   accepts both); a trail byte 0x5C of a double-byte character does not.
#include "platform/file.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/system.h"

namespace platform {

namespace {

constexpr int64_t kEpochDifference = 116444736000000000LL;  // 1601 -> 1970, in 100 ns
constexpr int64_t kTicksPerSecond = 10000000LL;

int64_t SecondsFromFileTime(const FILETIME& ft) {
  const int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  const int64_t since = ticks - kEpochDifference;
  int64_t seconds = since / kTicksPerSecond;
  if (since % kTicksPerSecond < 0) --seconds;  // down to the whole second
  return seconds;
}

FILETIME FileTimeFromSeconds(int64_t seconds) {
  const uint64_t ticks = static_cast<uint64_t>(seconds * kTicksPerSecond + kEpochDifference);
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

// A reparse point that stands for another place: symbolic links, junctions,
// and any tag that is not one of Microsoft's own for data kept elsewhere
// (deduplicated files, cloud placeholders), which are the file itself. Wine
// leaves the tag undefined, so its links count as links too.
bool IsLinkEntry(DWORD attributes, DWORD tag) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  const bool microsoft = (tag & 0x80000000u) != 0;
  const bool nameSurrogate = (tag & 0x20000000u) != 0;
  const bool appExecLink = tag == 0x8000001Bu;
  return !microsoft || nameSurrogate || appExecLink;
}

FileInfo InfoFromFindData(const WIN32_FIND_DATAA& fd) {
  FileInfo info;
  info.isLink = IsLinkEntry(fd.dwFileAttributes, fd.dwReserved0);
  info.attributes = fd.dwFileAttributes;
  info.isDirectory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info.size = info.isDirectory ? 0 : ((static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
  info.times.creation = SecondsFromFileTime(fd.ftCreationTime);
  info.times.lastAccess = SecondsFromFileTime(fd.ftLastAccessTime);
  info.times.lastWrite = SecondsFromFileTime(fd.ftLastWriteTime);
  return info;
}

bool HasWildcard(const std::string& path) { return path.find_first_of("*?") != std::string::npos; }

FileIdentity IdentityFromHandleInfo(const BY_HANDLE_FILE_INFORMATION& bh) {
  FileIdentity id;
  id.volume = bh.dwVolumeSerialNumber;
  id.index = (static_cast<uint64_t>(bh.nFileIndexHigh) << 32) | bh.nFileIndexLow;
  return id;
}

std::string FolderOf(const std::string& path) {
  const size_t at = FindLastSeparator(path);
  return at == std::string::npos ? std::string(".") : path.substr(0, at);
}

bool IsNameTaken(DWORD error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

}  // namespace

char PathSeparator() { return '\\'; }

size_t FindLastSeparator(const std::string& path) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsLeadByte(c) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (c == '\\' || c == '/') last = i;
  }
  return last;
}

bool SamePathNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    if (IsLeadByte(x) && i + 1 < a.size()) {
      // A double-byte character matches only itself, byte for byte.
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (FoldAscii(x) != FoldAscii(y)) return false;
  }
  return true;
}

bool LookupPath(const std::string& path, FileInfo* info) {
  if (path.empty() || HasWildcard(path)) return false;
  WIN32_FIND_DATAA fd;
  const HANDLE find = FindFirstFileA(path.c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) {
    // A drive root has no entry of its own to find.
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    if (info) {
      *info = FileInfo();
      info->attributes = attributes;
      info->isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      info->isLink = IsLinkEntry(attributes, 0);
    }
    return true;
  }
  FindClose(find);
  if (info) {
    *info = InfoFromFindData(fd);
    // Which file it is, so that a name that leads elsewhere later is seen.
    if (!info->isLink) IdentityOf(path, &info->identity);
  }
  return true;
}

namespace {

bool IsSlash(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsBareDrive(const std::string& p) { return p.size() == 2 && IsDriveLetter(p[0]) && p[1] == ':'; }

// "\\?\..." or "\\.\...": a path that the system takes literally, or a device.
bool HasDevicePrefix(const std::string& p) {
  return p.size() >= 4 && IsSlash(p[0]) && IsSlash(p[1]) && (p[2] == '?' || p[2] == '.') && IsSlash(p[3]);
}

// The path's components, double-byte aware; empty ones are left out.
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsLeadByte(c) && i + 1 < path.size()) {
      part += path[i];
      part += path[++i];
    } else if (IsSlash(path[i])) {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += path[i];
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// Calls an API that fills a buffer and returns the length, or the size it
// needs when the buffer is too small, or 0 on failure.
template <typename Call>
bool StringFrom(Call call, std::string* out) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return false;
    if (n < buffer.size()) {
      out->assign(buffer.data(), n);
      return true;
    }
    buffer.resize(n + 1);
  }
  return false;
}

void DropTrailingSlashes(std::string* path) {
  // "C:\" keeps its backslash; "\\server\share\" does not need it.
  while (path->size() > 3 && IsSlash(path->back()) && FindLastSeparator(*path) == path->size() - 1) path->pop_back();
}

// "\\?\C:\x" gives "C:\x" and "\\?\UNC\srv\share" gives "\\srv\share"; false for
// any other prefixed form (volume names, devices).
bool DropDevicePrefix(const std::string& path, std::string* plain) {
  const std::string rest = path.substr(4);
  if (rest.size() >= 2 && IsDriveLetter(rest[0]) && rest[1] == ':' && (rest.size() == 2 || IsSlash(rest[2]))) {
    *plain = rest.size() == 2 ? rest + "\\" : rest;
    return true;
  }
  if (rest.size() >= 4 && SamePathNoCase(rest.substr(0, 3), "UNC") && IsSlash(rest[3])) {
    *plain = "\\\\" + rest.substr(4);
    return true;
  }
  return false;
}

}  // namespace

bool FullPath(const std::string& path, std::string* full) {
  if (path.empty()) return false;
  std::string p = path;
  // A bare drive is the whole drive, not the drive's current folder.
  if (IsBareDrive(p)) p += '\\';
  if (HasDevicePrefix(p)) {
    std::string plain;
    if (!DropDevicePrefix(p, &plain)) return false;
    // Behind the prefix every name is taken as written: one that the plain
    // form would change ("x.", "..") names something that form cannot reach.
    for (const std::string& part : Components(plain.substr(2))) {
      if (part == "." || part == ".." || part.back() == '.' || part.back() == ' ') return false;
    }
    p = plain;
  }
  std::string absolute;
  if (!StringFrom([&](char* b, DWORD n) { return GetFullPathNameA(p.c_str(), n, b, nullptr); }, &absolute)) {
    return false;
  }
  if (HasDevicePrefix(absolute)) return false;  // a device name such as CON or NUL
  // A colon past the drive names a stream ("C:\Windows::$INDEX_ALLOCATION" is the folder itself).
  if (absolute.find(':', 2) != std::string::npos) return false;
  std::string longForm;
  if (StringFrom([&](char* b, DWORD n) { return GetLongPathNameA(absolute.c_str(), b, n); }, &longForm)) {
    // Long names for the short (8.3) ones.
  } else if (absolute.find('~') == std::string::npos) {
    longForm = absolute;  // no short name in it (the last name may not exist, a folder may not be listable)
  } else {
    // The last name need not exist; the folders on the way must be known by their long names.
    const size_t sep = FindLastSeparator(absolute);
    if (sep == std::string::npos || sep + 1 >= absolute.size()) return false;
    std::string folder = absolute.substr(0, sep + 1);
    std::string longFolder;
    if (!StringFrom([&](char* b, DWORD n) { return GetLongPathNameA(folder.c_str(), b, n); }, &longFolder)) {
      return false;
    }
    DropTrailingSlashes(&longFolder);
    if (!IsSlash(longFolder.back())) longFolder += '\\';
    longForm = longFolder + absolute.substr(sep + 1);
  }
  DropTrailingSlashes(&longForm);
  *full = longForm;
  return true;
}

bool FinalPath(const std::string& path, std::string* final) {
  if (path.empty()) return false;
  const std::string p = IsBareDrive(path) ? path + "\\" : path;
  const HANDLE h = CreateFileA(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  std::string named;
  const bool ok = StringFrom(
      [&](char* b, DWORD n) { return GetFinalPathNameByHandleA(h, b, n, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS); },
      &named);
  CloseHandle(h);
  if (!ok) return false;
  std::string plain = named;
  if (HasDevicePrefix(named) && !DropDevicePrefix(named, &plain)) return false;
  DropTrailingSlashes(&plain);
  *final = plain;
  return true;
}

bool PathWithin(const std::string& path, const std::string& folder) {
  const std::vector<std::string> inner = Components(path), outer = Components(folder);
  if (outer.empty() || inner.size() < outer.size()) return false;
  // A share "\\srv\x" is not the folder "C:\srv\x" nor the rooted "\srv\x".
  auto isShare = [](const std::string& p) { return p.size() > 1 && IsSlash(p[0]) && IsSlash(p[1]); };
  if (isShare(path) != isShare(folder)) return false;
  for (size_t i = 0; i < outer.size(); ++i) {
    if (!SamePathNoCase(inner[i], outer[i])) return false;
  }
  return true;
}

bool GetAttributes(const std::string& path, uint32_t* attributes) {
  if (path.empty()) return false;
  const DWORD value = GetFileAttributesA(path.c_str());
  if (value == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes) *attributes = value;
  return true;
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
  DWORD value = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  if (value == 0) value = FILE_ATTRIBUTE_NORMAL;
  return !path.empty() && SetFileAttributesA(path.c_str(), value) != 0;
}

bool CopyAccess(const std::string&, const std::string&) { return true; }

bool SetTimes(const std::string& path, const FileTimes& times) {
  const HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const FILETIME creation = FileTimeFromSeconds(times.creation);
  const FILETIME access = FileTimeFromSeconds(times.lastAccess);
  const FILETIME write = FileTimeFromSeconds(times.lastWrite);
  const BOOL ok = SetFileTime(h, times.creation != 0 ? &creation : nullptr, &access, &write);
  CloseHandle(h);
  return ok != 0;
}

RenameResult RenameNoReplace(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || !FileOpAllowed(FileOp::Rename, from, to)) return RenameResult::Failed;
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return RenameResult::Done;
  return IsNameTaken(GetLastError()) ? RenameResult::NameTaken : RenameResult::Failed;
}

RenameResult RenameReplacing(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty() || !FileOpAllowed(FileOp::Rename, from, to)) return RenameResult::Failed;
  const DWORD existing = GetFileAttributesA(to.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY)) return RenameResult::Failed;
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return RenameResult::Failed;
  }
  return RenameResult::Done;
}

bool RemoveFile(const std::string& path) {
  return !path.empty() && FileOpAllowed(FileOp::Remove, path) && DeleteFileA(path.c_str()) != 0;
}

bool IdentityOf(const std::string& path, FileIdentity* identity) {
  if (path.empty() || HasWildcard(path)) return false;
  // Attributes only: no sharing conflict with a program that holds the file.
  const HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION bh;
  const BOOL ok = GetFileInformationByHandle(h, &bh);
  CloseHandle(h);
  if (!ok) return false;
  if (identity) *identity = IdentityFromHandleInfo(bh);
  return true;
}

bool CreateFolders(const std::string& folder) {
  if (folder.empty()) return false;
  for (size_t i = 0; i < folder.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(folder[i]);
    if (IsLeadByte(c) && i + 1 < folder.size()) {
      ++i;
      continue;
    }
    // Every folder above (drive roots and shares fail harmlessly).
    if ((c == '\\' || c == '/') && i > 0) CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
  }
  CreateDirectoryA(folder.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SyncFolder(const std::string& folder) { return FileOpAllowed(FileOp::SyncFolder, folder); }

struct File::Impl {
  HANDLE h = INVALID_HANDLE_VALUE;
  std::string path;  // the name it was opened by, or renamed to
};

File::File() : impl_(new Impl) {}

File::~File() {
  Close();
  delete impl_;
}

namespace {

HANDLE OpenPlain(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  if (path.empty()) return INVALID_HANDLE_VALUE;
  const HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  if (GetFileType(h) != FILE_TYPE_DISK) {  // a device name such as CON or NUL
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

}  // namespace

// Held files may be renamed and deleted through their handle.
constexpr DWORD kHeldAccess = GENERIC_READ | GENERIC_WRITE | DELETE;

bool File::OpenExisting(const std::string& path, FileInfo* info) {
  Close();
  impl_->h = OpenPlain(path, kHeldAccess, 0, OPEN_EXISTING);
  if (impl_->h == INVALID_HANDLE_VALUE) return false;
  impl_->path = path;
  if (info && !Status(info)) {
    Close();
    return false;
  }
  return true;
}

bool File::OpenForReading(const std::string& path) {
  Close();
  impl_->h = OpenPlain(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  if (impl_->h == INVALID_HANDLE_VALUE) return false;
  impl_->path = path;
  return true;
}

bool File::CreateNew(const std::string& path) {
  Close();
  if (!FileOpAllowed(FileOp::Create, path)) return false;
  // Others may only read it (with full sharing, since it is held for writing
  // and deletion): a DeviceReader needs a handle of its own.
  impl_->h = OpenPlain(path, kHeldAccess, FILE_SHARE_READ, CREATE_NEW);
  if (impl_->h == INVALID_HANDLE_VALUE) return false;
  impl_->path = path;
  return true;
}

bool File::OpenForAppend(const std::string& path) {
  Close();
  if (!FileOpAllowed(FileOp::Create, path)) return false;
  // Append access without write access: every write lands at the end.
  impl_->h = OpenPlain(path, GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       OPEN_ALWAYS);
  if (impl_->h == INVALID_HANDLE_VALUE) return false;
  impl_->path = path;
  return true;
}

bool File::IsOpen() const { return impl_->h != INVALID_HANDLE_VALUE; }

int64_t File::Read(void* buffer, size_t size) {
  if (impl_->h == INVALID_HANDLE_VALUE) return -1;
  size_t done = 0;
  char* out = static_cast<char*>(buffer);
  while (done < size) {
    const DWORD want = size - done > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size - done);
    DWORD got = 0;
    if (!ReadFile(impl_->h, out + done, want, &got, nullptr)) return -1;
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

bool File::Write(const void* buffer, size_t size) {
  if (impl_->h == INVALID_HANDLE_VALUE || !FileOpAllowed(FileOp::Write, impl_->path)) return false;
  size_t done = 0;
  const char* in = static_cast<const char*>(buffer);
  std::vector<char> hooked;  // the bytes as the test hook passes them on
  if (FileBytesHooked()) {
    LARGE_INTEGER zero, at;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(impl_->h, zero, &at, FILE_CURRENT)) at.QuadPart = 0;
    hooked.assign(in, in + size);
    PassFileBytes(FileOp::Write, impl_->path, static_cast<uint64_t>(at.QuadPart),
                  reinterpret_cast<unsigned char*>(hooked.data()), size);
    in = hooked.data();
  }
  while (done < size) {
    const DWORD want = size - done > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size - done);
    DWORD put = 0;
    if (!WriteFile(impl_->h, in + done, want, &put, nullptr) || put == 0) return false;
    done += put;
  }
  return true;
}

bool File::Seek(uint64_t offset) {
  if (impl_->h == INVALID_HANDLE_VALUE || offset > static_cast<uint64_t>(INT64_MAX)) return false;
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(impl_->h, to, nullptr, FILE_BEGIN) != 0;
}

bool File::Length(uint64_t* length) {
  LARGE_INTEGER size;
  if (impl_->h == INVALID_HANDLE_VALUE || !GetFileSizeEx(impl_->h, &size)) return false;
  *length = static_cast<uint64_t>(size.QuadPart);
  return true;
}

bool File::Flush() {
  return impl_->h != INVALID_HANDLE_VALUE && FileOpAllowed(FileOp::Flush, impl_->path) && FlushFileBuffers(impl_->h) != 0;
}

// Windows has no lighter flush: the whole file's buffers go to the disk.
bool File::FlushData() { return Flush(); }

bool File::Close() {
  if (impl_->h == INVALID_HANDLE_VALUE) return true;
  const HANDLE h = impl_->h;
  impl_->h = INVALID_HANDLE_VALUE;
  impl_->path.clear();
  return CloseHandle(h) != 0;
}

bool File::Status(FileInfo* info) {
  BY_HANDLE_FILE_INFORMATION bh;
  if (impl_->h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(impl_->h, &bh)) return false;
  *info = FileInfo();
  info->attributes = bh.dwFileAttributes;
  info->isDirectory = (bh.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->size = info->isDirectory ? 0 : ((static_cast<uint64_t>(bh.nFileSizeHigh) << 32) | bh.nFileSizeLow);
  info->times.creation = SecondsFromFileTime(bh.ftCreationTime);
  info->times.lastAccess = SecondsFromFileTime(bh.ftLastAccessTime);
  info->times.lastWrite = SecondsFromFileTime(bh.ftLastWriteTime);
  info->identity = IdentityFromHandleInfo(bh);
  info->links = bh.nNumberOfLinks;
  info->writeStamp = static_cast<int64_t>((static_cast<uint64_t>(bh.ftLastWriteTime.dwHighDateTime) << 32) |
                                          bh.ftLastWriteTime.dwLowDateTime);
  return true;
}

bool File::SetAttributes(uint32_t attributes) {
  if (impl_->h == INVALID_HANDLE_VALUE) return false;
  FILE_BASIC_INFO basic = {};  // times of zero are left as they are
  basic.FileAttributes = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                       FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(impl_->h, FileBasicInfo, &basic, sizeof basic) != 0;
}

bool File::SetTimes(const FileTimes& times) {
  if (impl_->h == INVALID_HANDLE_VALUE) return false;
  const FILETIME creation = FileTimeFromSeconds(times.creation);
  const FILETIME access = FileTimeFromSeconds(times.lastAccess);
  const FILETIME write = FileTimeFromSeconds(times.lastWrite);
  return SetFileTime(impl_->h, times.creation != 0 ? &creation : nullptr, &access, &write) != 0;
}

bool File::CopyAccessFrom(File&) { return impl_->h != INVALID_HANDLE_VALUE; }

RenameResult File::RenameTo(const std::string& path, const std::string& to, bool /*durable*/) {
  if (impl_->h == INVALID_HANDLE_VALUE || to.empty() || !FileOpAllowed(FileOp::Rename, path, to)) {
    return RenameResult::Failed;
  }
  // The handle holds the file without sharing: no other program can have
  // renamed it, so the name it is known by still leads to it.
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(to.c_str(), MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return RenameResult::Failed;
  const int wide = MultiByteToWideChar(CP_ACP, 0, full, -1, nullptr, 0);
  if (wide <= 0) return RenameResult::Failed;
  const size_t bytes = sizeof(FILE_RENAME_INFO) + static_cast<size_t>(wide) * sizeof(WCHAR);
  std::string buffer(bytes, '\0');
  FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(&buffer[0]);
  info->ReplaceIfExists = FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>((wide - 1) * sizeof(WCHAR));
  MultiByteToWideChar(CP_ACP, 0, full, -1, info->FileName, wide);
  if (!SetFileInformationByHandle(impl_->h, FileRenameInfo, info, static_cast<DWORD>(bytes))) {
    return IsNameTaken(GetLastError()) ? RenameResult::NameTaken : RenameResult::Failed;
  }
  impl_->path = to;
  // The flush writes the file's records, its new name among them, to the disk;
  // always, as no later folder sync could do it here.
  if (!FileOpAllowed(FileOp::SyncFolder, FolderOf(to)) || !FlushFileBuffers(impl_->h)) return RenameResult::NotSynced;
  return RenameResult::Done;
}

RemoveResult File::Remove(const std::string& path) {
  if (impl_->h == INVALID_HANDLE_VALUE || path.empty() || !FileOpAllowed(FileOp::Remove, path)) {
    return RemoveResult::Failed;
  }
  FILE_DISPOSITION_INFO disposition;
  disposition.DeleteFile = TRUE;  // gone when the handle is closed
  return SetFileInformationByHandle(impl_->h, FileDispositionInfo, &disposition, sizeof disposition)
             ? RemoveResult::Done
             : RemoveResult::Failed;
}

bool File::Lock(bool exclusive, bool wait) {
  if (impl_->h == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED at = {};
  const DWORD flags = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  return LockFileEx(impl_->h, flags, 0, 1, 0, &at) != 0;
}

void File::Unlock() {
  if (impl_->h == INVALID_HANDLE_VALUE) return;
  OVERLAPPED at = {};
  UnlockFileEx(impl_->h, 0, 1, 0, &at);
}

// Unbuffered reads go to the device in whole sectors, into memory aligned to
// them: pieces of this size (a multiple of every sector size in use) into a
// buffer from VirtualAlloc (aligned to 64 KiB).
constexpr DWORD kDevicePiece = 1u << 20;

struct DeviceReader::Impl {
  HANDLE h = INVALID_HANDLE_VALUE;
  unsigned char* piece = nullptr;  // allocated once, kept until the reader goes
  DWORD held = 0;                  // bytes of the current piece
  DWORD used = 0;                  // of which handed out already
  uint64_t offset = 0;             // of the current piece in the file
  bool ended = false;
  std::string path;
};

DeviceReader::DeviceReader() : impl_(new Impl) {}

DeviceReader::~DeviceReader() {
  Close();
  if (impl_->piece) VirtualFree(impl_->piece, 0, MEM_RELEASE);
  delete impl_;
}

bool DeviceReader::Open(File& file) {
  Close();
  const std::string& path = file.impl_->path;
  if (file.impl_->h == INVALID_HANDLE_VALUE || !FileOpAllowed(FileOp::ReadBack, path)) return false;
  if (!impl_->piece) {
    impl_->piece = static_cast<unsigned char*>(VirtualAlloc(nullptr, kDevicePiece, MEM_COMMIT | MEM_RESERVE,
                                                            PAGE_READWRITE));
    if (!impl_->piece) return false;
  }
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                         FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  // A file system that cannot read without buffering (some network ones) is
  // still read back, from what it gives.
  if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER) {
    h = CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  // The name must lead to the very file that is held.
  BY_HANDLE_FILE_INFORMATION mine, held;
  if (!GetFileInformationByHandle(h, &mine) || !GetFileInformationByHandle(file.impl_->h, &held) ||
      IdentityFromHandleInfo(mine) != IdentityFromHandleInfo(held)) {
    CloseHandle(h);
    return false;
  }
  impl_->h = h;
  impl_->held = impl_->used = 0;
  impl_->offset = 0;
  impl_->ended = false;
  impl_->path = path;
  return true;
}

int64_t DeviceReader::Read(void* buffer, size_t size) {
  if (impl_->h == INVALID_HANDLE_VALUE) return -1;
  unsigned char* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < size) {
    if (impl_->used == impl_->held) {
      if (impl_->ended) break;
      impl_->offset += impl_->held;
      impl_->held = impl_->used = 0;
      LARGE_INTEGER at;
      at.QuadPart = static_cast<LONGLONG>(impl_->offset);
      DWORD got = 0;
      if (!SetFilePointerEx(impl_->h, at, nullptr, FILE_BEGIN) ||
          !ReadFile(impl_->h, impl_->piece, kDevicePiece, &got, nullptr)) {
        return -1;
      }
      PassFileBytes(FileOp::ReadBack, impl_->path, impl_->offset, impl_->piece, got);
      impl_->held = got;
      if (got < kDevicePiece) impl_->ended = true;
      if (got == 0) break;
    }
    const size_t take = std::min<size_t>(size - done, impl_->held - impl_->used);
    std::memcpy(out + done, impl_->piece + impl_->used, take);
    impl_->used += static_cast<DWORD>(take);
    done += take;
  }
  return static_cast<int64_t>(done);
}

void DeviceReader::Close() {
  if (impl_->h != INVALID_HANDLE_VALUE) CloseHandle(impl_->h);
  impl_->h = INVALID_HANDLE_VALUE;
  impl_->held = impl_->used = 0;
  impl_->offset = 0;
  impl_->ended = false;
  impl_->path.clear();
}

struct DirectoryList::Impl {
  std::string folder;  // with its trailing separator
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA pending;
  bool hasPending = false;
  bool incomplete = false;
  bool empty = false;  // opened, and found to hold nothing
};

DirectoryList::DirectoryList() : impl_(new Impl) {}

DirectoryList::~DirectoryList() {
  Close();
  delete impl_;
}

bool DirectoryList::Open(const std::string& folder, const FileIdentity& expected) {
  Close();
  FileIdentity now;
  if (expected.Known() && (!IdentityOf(folder, &now) || now != expected)) return false;
  std::string pattern = folder;
  if (!pattern.empty() && FindLastSeparator(pattern) != pattern.size() - 1) pattern += '\\';
  impl_->folder = pattern;
  pattern += '*';
  impl_->incomplete = false;
  impl_->empty = false;
  impl_->find = FindFirstFileA(pattern.c_str(), &impl_->pending);
  if (impl_->find == INVALID_HANDLE_VALUE) {
    // A drive root has no "." entry: nothing at all is found in an empty one.
    impl_->empty = GetLastError() == ERROR_FILE_NOT_FOUND;
    return impl_->empty;
  }
  impl_->hasPending = true;
  return true;
}

bool DirectoryList::Next(DirEntry* entry) {
  if (impl_->find == INVALID_HANDLE_VALUE) return false;
  for (;;) {
    if (!impl_->hasPending && !FindNextFileA(impl_->find, &impl_->pending)) {
      if (GetLastError() != ERROR_NO_MORE_FILES) impl_->incomplete = true;
      return false;
    }
    impl_->hasPending = false;
    entry->name = impl_->pending.cFileName;
    entry->info = InfoFromFindData(impl_->pending);
    if (entry->info.isLink) continue;  // links are not followed
    // The listing does not say which file an entry is: asked by name (without
    // opening it for reading or writing), so that a folder or file whose name
    // leads elsewhere by the time it is entered or opened is seen.
    if (entry->name != "." && entry->name != "..") IdentityOf(impl_->folder + entry->name, &entry->info.identity);
    return true;
  }
}

void DirectoryList::Close() {
  if (impl_->find != INVALID_HANDLE_VALUE) FindClose(impl_->find);
  impl_->find = INVALID_HANDLE_VALUE;
  impl_->hasPending = false;
  impl_->empty = false;
}

bool DirectoryList::Incomplete() const { return impl_->incomplete; }

}  // namespace platform
