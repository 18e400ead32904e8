// Files and folders, as the codec, the job engine and the language chooser need
// them. One implementation per system (file_win32.cpp, file_posix.cpp); nothing
// else in the core touches the operating system's file calls.
//
// Paths are byte strings in the system's code page, joined with PathSeparator().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Attribute bits, with the values Windows gives them. On POSIX, read-only means
// the owner has no write permission, a directory is a directory, and the other
// bits are neither produced nor kept.
enum : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
};

// Whole seconds since 1970-01-01 UTC. A creation time of 0 means "not known"
// and is not applied.
struct FileTimes {
  int64_t creation = 0;
  int64_t lastAccess = 0;
  int64_t lastWrite = 0;
};

// Which file a name leads to: the device and inode number on POSIX, the
// volume serial number and file index on Windows. Two names with the same
// identity are the same file; all zero means not known.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool Known() const { return volume != 0 || index != 0; }
};
inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}
inline bool operator!=(const FileIdentity& a, const FileIdentity& b) { return !(a == b); }

struct FileInfo {
  bool isDirectory = false;
  uint64_t size = 0;
  uint32_t attributes = 0;
  FileTimes times;
  // A symbolic link, or on Windows a junction or another reparse point that
  // stands for a different place. Links are never followed by a walk.
  bool isLink = false;
  // From lookups and listings (unless the entry is a link) and always from
  // File::Status; zero where the system cannot tell.
  FileIdentity identity;
  uint32_t links = 0;      // the names (hard links) the file has
  int64_t writeStamp = 0;  // last write at the finest resolution the system keeps; compare only with itself
};

// What became of a rename.
enum class RenameResult {
  Done,         // the file has its new name, and the name is on disk
  NotSynced,    // the file has its new name, but the folder could not be synced: a power cut may undo it
  NameTaken,    // the new name exists already; nothing changed
  NotThisFile,  // (File::RenameTo) the old name no longer holds the open file; nothing changed
  Failed,       // nothing changed
};
// What became of a removal through an open file.
enum class RemoveResult { Done, NotThisFile, Failed };

char PathSeparator();
// Index of the last path separator in path, or std::string::npos. Aware of
// double-byte characters where the code page has them (a trail byte 0x5C is
// not a backslash). Windows takes both '\' and '/' (the system accepts both);
// POSIX only '/'.
size_t FindLastSeparator(const std::string& path);
// Whole-string comparison ignoring letter case, aware of double-byte characters.
bool SamePathNoCase(const std::string& a, const std::string& b);

// Looks a name up without opening it: false when nothing of that name exists.
// A link is described itself, not what it leads to.
bool LookupPath(const std::string& path, FileInfo* info);

// The full form of a target path, the one that is judged and walked: absolute,
// without ".", "..", doubled or trailing separators. On Windows also a bare
// drive "D:" stands for that drive's root "D:\", the "\\?\" and "\\.\" forms
// of drive and UNC paths lose their prefix, and short (8.3) names become long
// names; on POSIX links in the folders on the way are resolved. The last
// component itself is never followed. False when the path cannot be resolved
// (a folder on the way is missing or unreadable, a device, a form that only
// the "\\?\" prefix can reach).
bool FullPath(const std::string& path, std::string* full);
// Where the path finally leads: every link, junction and substituted drive on
// the way followed, the last component too. False when the system cannot tell
// (nothing there, no access).
bool FinalPath(const std::string& path, std::string* final);
// True when path is folder itself or lies inside it, comparing full paths
// component by component (ignoring letter case on Windows).
bool PathWithin(const std::string& path, const std::string& folder);

bool GetAttributes(const std::string& path, uint32_t* attributes);
bool SetAttributes(const std::string& path, uint32_t attributes);
// Applies the times (whole seconds). A creation time of 0 is left alone; on
// Linux a creation time cannot be set at all and is ignored.
bool SetTimes(const std::string& path, const FileTimes& times);
// POSIX: gives `to` the permission bits of `from` (files are created private,
// 0600, and receive their source's permissions this way). Windows: nothing to
// do, the attributes carry everything.
bool CopyAccess(const std::string& from, const std::string& to);
// Renames, never replacing an existing file (NameTaken when `to` exists). On
// Done the new name is on disk (folder synced / write-through move).
RenameResult RenameNoReplace(const std::string& from, const std::string& to);
// Renames, replacing a file of the name `to` (never a folder): Done, NotSynced or Failed.
RenameResult RenameReplacing(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
// The identity of what the name leads to, without following a link at its
// end and without opening it for reading or writing (a file another program
// holds can be looked at). False when nothing of that name can be found.
bool IdentityOf(const std::string& path, FileIdentity* identity);
// Creates the folder and the folders above it that are missing (POSIX: for
// the owner only). True when the folder exists afterwards.
bool CreateFolders(const std::string& folder);
// Makes the changes to a folder's entries durable (POSIX: the folder is
// synced; Windows: nothing to do, renames are written through).
bool SyncFolder(const std::string& folder);

// An open file. Closed by Close() or the destructor.
class File {
 public:
  File();
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file for reading and writing without sharing: no other
  // Tavro (and on Windows no other program) can open it while it is held.
  // Only plain files: folders (and on POSIX links, pipes, devices) are refused.
  // With info, what the file is once it is held (as Status gives it).
  bool OpenExisting(const std::string& path, FileInfo* info = nullptr);
  // Opens an existing plain file for reading only, leaving it to others to read
  // too: a file another Tavro (or on Windows any program) holds or writes to
  // cannot be opened. POSIX: a shared lock, and no new last-access time where
  // the process owns the file.
  bool OpenForReading(const std::string& path);
  // Creates a file that must not exist yet, for reading and writing, without
  // sharing: no other program can write, rename or delete it while it is held.
  // Windows: others may open it for reading, so that a DeviceReader can.
  bool CreateNew(const std::string& path);
  // Opens a file for reading and appending, creating it when missing, shared
  // with other programs (Tavro's journal and its lock): every Write goes to
  // the end of the file in one piece, whoever else appends.
  bool OpenForAppend(const std::string& path);

  bool IsOpen() const;
  // Trades open files (and what each is known by) with other.
  void Swap(File& other) {
    Impl* mine = impl_;
    impl_ = other.impl_;
    other.impl_ = mine;
  }
  // Reads up to size bytes; returns the count read, less than size only at the
  // end of the file (0 there), -1 on error.
  int64_t Read(void* buffer, size_t size);
  // Writes all size bytes or fails.
  bool Write(const void* buffer, size_t size);
  bool Seek(uint64_t offset);
  bool Length(uint64_t* length);
  // Forces written data to the disk.
  bool Flush();
  // Forces the written data to the disk, and of the file's own record only
  // what reading the data back needs (not its times): for an overwrite in
  // place. The test hook sees it as a Flush.
  bool FlushData();
  bool Close();

  // What the open file is now, whatever its name has become meanwhile.
  bool Status(FileInfo* info);
  // Attributes and times of the open file (as SetAttributes and SetTimes do by name).
  bool SetAttributes(uint32_t attributes);
  bool SetTimes(const FileTimes& times);
  // POSIX: gives this file the owner and group of `source` (as far as the
  // process may set them) and its permission bits. Windows: nothing to do.
  bool CopyAccessFrom(File& source);
  // Renames the open file, never replacing an existing file. `path` is the
  // name it is known by: on POSIX the rename happens only while that name
  // still leads to this very file (NotThisFile otherwise); on Windows the
  // file is renamed through the handle, and no other program can rename it
  // while it is held. With durable false (POSIX) the new name need not be on
  // the disk yet (Done then says only that it is in place): a SyncFolder of
  // its folder afterwards makes it so, for several renames at once. Windows
  // makes every rename durable.
  RenameResult RenameTo(const std::string& path, const std::string& to, bool durable = true);
  // Removes the name `path` of the open file, only while it still leads to
  // this very file. Other hard links stay. The file is gone once it is
  // closed (Windows) or at once (POSIX).
  RemoveResult Remove(const std::string& path);
  // Advisory lock on the whole file, between the programs that ask for one
  // (files opened with OpenForAppend). Without wait, false at once when
  // another holds a lock that conflicts.
  bool Lock(bool exclusive, bool wait);
  void Unlock();

 private:
  friend class DeviceReader;
  struct Impl;
  Impl* impl_;
};

// Reads back a file that was just written and flushed, as the device holds it
// rather than as the system's cache remembers it: the proof that an output can
// be read before its source is destroyed. One reader serves many files in turn.
class DeviceReader {
 public:
  DeviceReader();
  ~DeviceReader();
  DeviceReader(const DeviceReader&) = delete;
  DeviceReader& operator=(const DeviceReader&) = delete;

  // Starts at the beginning of `file`, which stays open and must have been
  // flushed. POSIX: the file's cached pages are dropped first
  // (posix_fadvise DONTNEED) and it is read through its own descriptor, without
  // moving its position. Windows: a second handle without buffering on the same
  // file (its name must still lead to it), read in aligned pieces. A file
  // system that keeps its pages anyway (tmpfs; some network file systems) is
  // read back from what it holds.
  bool Open(File& file);
  // Reads up to size bytes, in order; returns the count read, less than size
  // only at the end of the file (0 there), -1 on error.
  int64_t Read(void* buffer, size_t size);
  void Close();

 private:
  struct Impl;
  Impl* impl_;
};

struct DirEntry {
  std::string name;  // name within the folder, no path
  FileInfo info;
};

// Lists one folder, like FindFirstFile/FindNextFile over folder + "\*".
// The "." and ".." entries are passed on as the system gives them. Links
// (symbolic links; on Windows also junctions and the other reparse points that
// stand for another place) are left out entirely, so a walk never follows one
// (no loops, no way out of the chosen tree).
class DirectoryList {
 public:
  DirectoryList();
  ~DirectoryList();
  DirectoryList(const DirectoryList&) = delete;
  DirectoryList& operator=(const DirectoryList&) = delete;

  // With a known `expected` identity, only the folder the walk listed is
  // opened: a folder that has meanwhile been replaced (by a link on POSIX,
  // which is never followed at the end of the path) is refused.
  bool Open(const std::string& folder, const FileIdentity& expected = FileIdentity());
  bool Next(DirEntry* entry);
  void Close();
  // True when the listing missed something: an entry could not be examined,
  // or reading the folder failed before its end.
  bool Incomplete() const;

 private:
  struct Impl;
  Impl* impl_;
};

// Test hook. Sees each of these operations just before it is made, on the
// thread that makes it; when OnFileOp returns false the operation fails as if
// the system had refused it, and nothing is done. `to` is the new name of a
// Rename, else empty. Without a hook (the default) nothing is asked.
enum class FileOp {
  Create,      // CreateNew, OpenForAppend
  Write,       // File::Write
  Flush,       // File::Flush
  Rename,      // RenameNoReplace, RenameReplacing, File::RenameTo
  SyncFolder,  // the folder sync after a rename (Windows: the flush after a rename through the handle)
  Remove,      // RemoveFile, File::Remove
  ReadBack,    // DeviceReader::Open
};
class IFileOpHook {
 public:
  virtual ~IFileOpHook() = default;
  virtual bool OnFileOp(FileOp op, const std::string& path, const std::string& to) = 0;
  // Sees the bytes of a File::Write (op Write) on their way to the disk and
  // those of a DeviceReader::Read (op ReadBack) on their way back, `offset`
  // being where they lie in the file, and may change them: a bad sector, a
  // flipped bit. The caller's own buffer is never changed by a Write.
  virtual void OnFileBytes(FileOp op, const std::string& path, uint64_t offset, unsigned char* bytes,
                           size_t size) {
    (void)op, (void)path, (void)offset, (void)bytes, (void)size;
  }
};
void SetFileOpHook(IFileOpHook* hook);
// Asks the hook (true without one). The implementations call it.
bool FileOpAllowed(FileOp op, const std::string& path, const std::string& to = std::string());
// True when a hook is set: only then do the implementations pass bytes by it.
bool FileBytesHooked();
void PassFileBytes(FileOp op, const std::string& path, uint64_t offset, unsigned char* bytes, size_t size);

}  // namespace platform
