// The file layer against real files in a temporary folder.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "platform/system.h"
#include "testkit/temp_dir.h"

namespace {

using platform::File;
using testkit::TempDir;

std::vector<unsigned char> Bytes(const std::string& s) { return std::vector<unsigned char>(s.begin(), s.end()); }

TEST(PathText, LastSeparatorAndCaseFold) {
  const char sep = platform::PathSeparator();
  const std::string path = std::string("a") + sep + "bc" + sep + "name.txt";
  EXPECT_EQ(platform::FindLastSeparator(path), 4u);
  EXPECT_EQ(platform::FindLastSeparator("plain"), std::string::npos);
  EXPECT_TRUE(platform::SamePathNoCase("Folder/File.TXT", "folder/file.txt"));
  EXPECT_FALSE(platform::SamePathNoCase("folder/file.txt", "folder/file.txu"));
  EXPECT_FALSE(platform::SamePathNoCase("abc", "abcd"));
  // Only ASCII letters fold: bytes above 0x7F compare exactly.
  EXPECT_FALSE(platform::SamePathNoCase("\xC4", "\xE4"));
}

TEST(FileHandle, CreateNewNeverReplaces) {
  TempDir dir;
  const std::string path = dir.Join("f.bin");
  testkit::WriteAll(path, "keep me");
  File file;
  EXPECT_FALSE(file.CreateNew(path));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(testkit::ReadAll(path), Bytes("keep me"));
}

TEST(FileHandle, OpenExistingRefusesMissingFilesAndFolders) {
  TempDir dir;
  File file;
  EXPECT_FALSE(file.OpenExisting(dir.Join("missing")));
  EXPECT_FALSE(file.OpenExisting(dir.path()));
}

TEST(FileHandle, WriteSeekReadLengthRoundTrip) {
  TempDir dir;
  const std::string path = dir.Join("data.bin");
  const auto bytes = testkit::PatternBytes(100000, 7);
  {
    File file;
    ASSERT_TRUE(file.CreateNew(path));
    ASSERT_TRUE(file.Write(bytes.data(), bytes.size()));
    ASSERT_TRUE(file.Flush());
    uint64_t length = 0;
    ASSERT_TRUE(file.Length(&length));
    EXPECT_EQ(length, bytes.size());
    ASSERT_TRUE(file.Seek(99990));
    unsigned char tail[32];
    EXPECT_EQ(file.Read(tail, sizeof tail), 10);  // short only at the end
    EXPECT_TRUE(std::equal(tail, tail + 10, bytes.begin() + 99990));
    EXPECT_EQ(file.Read(tail, sizeof tail), 0);
    EXPECT_TRUE(file.Close());
  }
  EXPECT_EQ(testkit::ReadAll(path), bytes);
}

TEST(FileHandle, SecondOpenerIsRefusedWhileHeld) {
  TempDir dir;
  const std::string path = dir.Join("held.bin");
  testkit::WriteAll(path, "x");
  File first;
  ASSERT_TRUE(first.OpenExisting(path));
  File second;
  EXPECT_FALSE(second.OpenExisting(path));
  first.Close();
  EXPECT_TRUE(second.OpenExisting(path));

  // A freshly created file is held the same way.
  File made;
  const std::string fresh = dir.Join("fresh.bin");
  ASSERT_TRUE(made.CreateNew(fresh));
  File other;
  EXPECT_FALSE(other.OpenExisting(fresh));
}

TEST(FileHandle, OpenForReadingSharesWithReadersOnly) {
  TempDir dir;
  const std::string path = dir.Join("r.bin");
  testkit::WriteAll(path, "read me");
  File a, b;
  ASSERT_TRUE(a.OpenForReading(path));
  ASSERT_TRUE(b.OpenForReading(path));
  unsigned char text[16];
  EXPECT_EQ(a.Read(text, sizeof text), 7);
  File writer;
  EXPECT_FALSE(writer.OpenExisting(path)) << "a file being read is not held for writing";
  a.Close();
  b.Close();
  ASSERT_TRUE(writer.OpenExisting(path));
  EXPECT_FALSE(a.OpenForReading(path)) << "a held file is not read";
  writer.Close();
  uint32_t attributes = 0;
  ASSERT_TRUE(platform::GetAttributes(path, &attributes));
  ASSERT_TRUE(platform::SetAttributes(path, attributes | platform::kAttrReadOnly));
  EXPECT_TRUE(a.OpenForReading(path));
  a.Close();
  platform::SetAttributes(path, attributes);
  EXPECT_FALSE(a.OpenForReading(dir.Join("missing")));
  EXPECT_FALSE(a.OpenForReading(dir.path()));
}

TEST(DeviceReader, ReadsTheFlushedFileBackInAnyPiecesWithoutMovingIt) {
  TempDir dir;
  const std::string path = dir.Join("out.bin");
  const auto bytes = testkit::PatternBytes(2 * 1048576 + 1003, 5);
  File file;
  ASSERT_TRUE(file.CreateNew(path));
  ASSERT_TRUE(file.Write(bytes.data(), bytes.size()));
  ASSERT_TRUE(file.Flush());
  platform::DeviceReader reader;
  for (int pass = 0; pass < 2; ++pass) {  // one reader serves again and again
    SCOPED_TRACE(pass);
    ASSERT_TRUE(reader.Open(file));
    std::vector<unsigned char> back(bytes.size() + 10);
    size_t at = 0;
    for (const size_t piece : {size_t{1}, size_t{4095}, size_t{1048577}, size_t{3}, bytes.size()}) {
      const int64_t got = reader.Read(back.data() + at, piece);
      ASSERT_GE(got, 0);
      at += static_cast<size_t>(got);
    }
    EXPECT_EQ(at, bytes.size());
    back.resize(at);
    EXPECT_TRUE(back == bytes);
    unsigned char more[8];
    EXPECT_EQ(reader.Read(more, sizeof more), 0);
    reader.Close();
  }
  // The file's own position stays where its writes left it.
  const unsigned char tail[] = {'e', 'n', 'd'};
  ASSERT_TRUE(file.Write(tail, sizeof tail));
  file.Close();
  EXPECT_EQ(testkit::ReadAll(path).size(), bytes.size() + 3);
  EXPECT_FALSE(reader.Open(file)) << "a closed file";
}

// Changes one byte at a given place of a named file on its way to the disk
// (Write) or back (ReadBack), and refuses its read-back when told to.
class ByteChanger : public platform::IFileOpHook {
 public:
  bool OnFileOp(platform::FileOp op, const std::string& path, const std::string&) override {
    return !(refuseReadBack && op == platform::FileOp::ReadBack && Name(path) == name);
  }
  void OnFileBytes(platform::FileOp op, const std::string& path, uint64_t offset, unsigned char* bytes,
                   size_t size) override {
    if (op == when && Name(path) == name && at >= offset && at < offset + size) bytes[at - offset] ^= 0x40;
  }
  static std::string Name(const std::string& path) { return path.substr(platform::FindLastSeparator(path) + 1); }
  platform::FileOp when = platform::FileOp::Write;
  bool refuseReadBack = false;
  std::string name;
  uint64_t at = 0;
};

TEST(FileHook, BytesOnTheirWayToTheDiskOrBackCanBeChanged) {
  using platform::FileOp;
  TempDir dir;
  const auto bytes = testkit::PatternBytes(1048576 + 4100, 6);
  ByteChanger changer;
  changer.name = "w";
  platform::SetFileOpHook(&changer);
  for (const FileOp when : {FileOp::Write, FileOp::ReadBack}) {
    for (const uint64_t at : {uint64_t{0}, uint64_t{4099}, uint64_t{1048576 + 7}}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(when)) + " at " + std::to_string(at));
      changer.when = when;
      changer.at = at;
      platform::RemoveFile(dir.Join("w"));
      const auto mine = bytes;
      File file;
      ASSERT_TRUE(file.CreateNew(dir.Join("w")));
      ASSERT_TRUE(file.Write(mine.data(), 4099));
      ASSERT_TRUE(file.Write(mine.data() + 4099, mine.size() - 4099));
      ASSERT_TRUE(file.Flush());
      EXPECT_TRUE(mine == bytes) << "the writer's buffer stays as it was";
      platform::DeviceReader reader;
      ASSERT_TRUE(reader.Open(file));
      std::vector<unsigned char> back(bytes.size());
      ASSERT_EQ(reader.Read(back.data(), back.size()), static_cast<int64_t>(back.size()));
      file.Close();
      auto changed = bytes;
      changed[static_cast<size_t>(at)] ^= 0x40;
      EXPECT_TRUE(back == changed) << "the reader gets the changed byte";
      EXPECT_TRUE(testkit::ReadAll(dir.Join("w")) == (when == FileOp::Write ? changed : bytes));
    }
  }
  // A read-back that is refused does not start.
  changer.refuseReadBack = true;
  File file;
  ASSERT_TRUE(file.OpenExisting(dir.Join("w")));
  platform::DeviceReader reader;
  EXPECT_FALSE(reader.Open(file));
  platform::SetFileOpHook(nullptr);
}

TEST(FileNames, RenameNoReplaceKeepsAnExistingTarget) {
  TempDir dir;
  const std::string a = dir.Join("a.txt");
  const std::string b = dir.Join("b.txt");
  const std::string c = dir.Join("c.txt");
  testkit::WriteAll(a, "first");
  testkit::WriteAll(b, "second");
  EXPECT_EQ(platform::RenameNoReplace(a, b), platform::RenameResult::NameTaken);
  EXPECT_EQ(testkit::ReadAll(a), Bytes("first"));
  EXPECT_EQ(testkit::ReadAll(b), Bytes("second"));
  EXPECT_EQ(platform::RenameNoReplace(a, c), platform::RenameResult::Done);
  EXPECT_FALSE(testkit::Exists(a));
  EXPECT_EQ(testkit::ReadAll(c), Bytes("first"));
  EXPECT_EQ(platform::RenameNoReplace(dir.Join("missing"), dir.Join("other")), platform::RenameResult::Failed);
}

TEST(FileNames, RemoveFile) {
  TempDir dir;
  const std::string a = dir.Join("a.txt");
  testkit::WriteAll(a, "x");
  EXPECT_TRUE(platform::RemoveFile(a));
  EXPECT_FALSE(testkit::Exists(a));
  EXPECT_FALSE(platform::RemoveFile(a));
}

TEST(FileStatus, LookupAndTimesToTheSecond) {
  TempDir dir;
  const std::string path = dir.Join("t.txt");
  testkit::WriteAll(path, "12345");
  platform::FileInfo info;
  ASSERT_TRUE(platform::LookupPath(path, &info));
  EXPECT_FALSE(info.isDirectory);
  EXPECT_EQ(info.size, 5u);
  EXPECT_NEAR(static_cast<double>(info.times.lastWrite), static_cast<double>(platform::NowSeconds()), 120.0);

  platform::FileTimes times;
  times.lastAccess = 1500000000;
  times.lastWrite = 1234567890;
  ASSERT_TRUE(platform::SetTimes(path, times));
  ASSERT_TRUE(platform::LookupPath(path, &info));
  EXPECT_EQ(info.times.lastWrite, 1234567890);
  EXPECT_EQ(info.times.lastAccess, 1500000000);

  // What was read is set again unchanged.
  ASSERT_TRUE(platform::SetTimes(path, info.times));
  platform::FileInfo again;
  ASSERT_TRUE(platform::LookupPath(path, &again));
  EXPECT_EQ(again.times.lastWrite, info.times.lastWrite);

  ASSERT_TRUE(platform::LookupPath(dir.path(), &info));
  EXPECT_TRUE(info.isDirectory);
  EXPECT_TRUE(info.attributes & platform::kAttrDirectory);
  EXPECT_FALSE(platform::LookupPath(dir.Join("missing"), &info));
}

TEST(FileStatus, ReadOnlyAttributeOnAndOff) {
  TempDir dir;
  const std::string path = dir.Join("r.txt");
  testkit::WriteAll(path, "x");
  uint32_t attributes = 0;
  ASSERT_TRUE(platform::GetAttributes(path, &attributes));
  EXPECT_FALSE(attributes & platform::kAttrReadOnly);
  ASSERT_TRUE(platform::SetAttributes(path, attributes | platform::kAttrReadOnly));
  ASSERT_TRUE(platform::GetAttributes(path, &attributes));
  EXPECT_TRUE(attributes & platform::kAttrReadOnly);
  ASSERT_TRUE(platform::SetAttributes(path, attributes & ~platform::kAttrReadOnly));
  ASSERT_TRUE(platform::GetAttributes(path, &attributes));
  EXPECT_FALSE(attributes & platform::kAttrReadOnly);
  EXPECT_FALSE(platform::GetAttributes(dir.Join("missing"), &attributes));
}

TEST(Folders, ListingGivesNamesSizesAndKinds) {
  TempDir dir;
  testkit::WriteAll(dir.Join("one.txt"), "1");
  testkit::WriteAll(dir.Join("two.bin"), "22");
  platform::DirectoryList list;
  ASSERT_TRUE(list.Open(dir.path()));
  std::vector<std::string> files;
  platform::DirEntry entry;
  int dots = 0;
  while (list.Next(&entry)) {
    if (entry.name == "." || entry.name == "..") {
      EXPECT_TRUE(entry.info.isDirectory);
      ++dots;
      continue;
    }
    files.push_back(entry.name + ":" + std::to_string(entry.info.size));
  }
  list.Close();
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"one.txt:1", "two.bin:2"}));
  EXPECT_LE(dots, 2);
  EXPECT_FALSE(list.Open(dir.Join("missing")));
}

TEST(HeldFiles, IdentityStatusRenameAndRemoveThroughTheHandle) {
  TempDir dir;
  const std::string a = dir.Join("a.bin"), b = dir.Join("b.bin"), taken = dir.Join("taken.bin");
  testkit::WriteAll(a, "contents");
  testkit::WriteAll(taken, "someone else's");
  platform::FileIdentity byName, other;
  ASSERT_TRUE(platform::IdentityOf(a, &byName));
  ASSERT_TRUE(platform::IdentityOf(taken, &other));
  EXPECT_TRUE(byName.Known());
  EXPECT_NE(byName, other);
  EXPECT_FALSE(platform::IdentityOf(dir.Join("missing"), &other));

  File file;
  ASSERT_TRUE(file.OpenExisting(a));
  platform::FileInfo info;
  ASSERT_TRUE(file.Status(&info));
  EXPECT_EQ(info.identity, byName);
  EXPECT_EQ(info.size, 8u);
  EXPECT_EQ(info.links, 1u);
  // Looked at while another holds the file.
  ASSERT_TRUE(platform::IdentityOf(a, &other));
  EXPECT_EQ(other, byName);

  // Renamed while held, never over another file.
  EXPECT_EQ(file.RenameTo(a, taken), platform::RenameResult::NameTaken);
  EXPECT_EQ(file.RenameTo(a, b), platform::RenameResult::Done);
  EXPECT_FALSE(testkit::Exists(a));
  ASSERT_TRUE(platform::IdentityOf(b, &other));
  EXPECT_EQ(other, byName);
  // Attributes and times through the handle.
  platform::FileTimes times;
  times.lastAccess = 1500000000;
  times.lastWrite = 1300000000;
  EXPECT_TRUE(file.SetTimes(times));
  EXPECT_TRUE(file.SetAttributes(platform::kAttrReadOnly));
  EXPECT_TRUE(file.SetAttributes(platform::kAttrNormal));
  // Removed while held; the other file stays.
  EXPECT_EQ(file.Remove(b), platform::RemoveResult::Done);
  file.Close();
  EXPECT_EQ(testkit::ListNames(dir.path()), std::vector<std::string>{"taken.bin"});

  // A second name of the file: removing one leaves the other and its contents.
  std::filesystem::create_hard_link(taken, dir.Join("link.bin"));
  ASSERT_TRUE(file.OpenExisting(dir.Join("link.bin")));
  ASSERT_TRUE(file.Status(&info));
  EXPECT_EQ(info.links, 2u);
  EXPECT_EQ(file.Remove(dir.Join("link.bin")), platform::RemoveResult::Done);
  file.Close();
  EXPECT_EQ(testkit::ReadAll(taken), Bytes("someone else's"));
}

TEST(HeldFiles, AppendingSharersAndTheirLocks) {
  TempDir dir;
  const std::string path = dir.Join("journal.txt");
  File first, second;
  ASSERT_TRUE(first.OpenForAppend(path));
  ASSERT_TRUE(second.OpenForAppend(path));  // shared: both open at once
  ASSERT_TRUE(first.Write("one\n", 4));
  ASSERT_TRUE(second.Write("two\n", 4));
  ASSERT_TRUE(first.Seek(0));  // reading does not move where writes go
  char head[3] = {};
  EXPECT_EQ(first.Read(head, 3), 3);
  ASSERT_TRUE(first.Write("three\n", 6));
  EXPECT_EQ(testkit::ReadAll(path), Bytes("one\ntwo\nthree\n"));

  // Shared locks go together; an exclusive one excludes every other.
  EXPECT_TRUE(first.Lock(false, false));
  EXPECT_TRUE(second.Lock(false, false));
  second.Unlock();
  EXPECT_FALSE(second.Lock(true, false));
  first.Unlock();
  EXPECT_TRUE(second.Lock(true, false));
  EXPECT_FALSE(first.Lock(false, false));
  second.Unlock();
  EXPECT_TRUE(first.Lock(true, false));
}

// Records the operations it is shown and refuses the one it is told to.
class Recorder : public platform::IFileOpHook {
 public:
  bool OnFileOp(platform::FileOp op, const std::string& path, const std::string& to) override {
    ops.push_back(std::to_string(static_cast<int>(op)) + " " + Name(path) + (to.empty() ? "" : ">" + Name(to)));
    return !(op == refuse && Name(path) == refuseName);
  }
  static std::string Name(const std::string& path) { return path.substr(platform::FindLastSeparator(path) + 1); }
  std::vector<std::string> ops;
  platform::FileOp refuse = platform::FileOp::Create;
  std::string refuseName;
};

TEST(FileHook, SeesEachOperationAndFailsTheOneAsked) {
  using platform::FileOp;
  TempDir dir;
  Recorder recorder;
  platform::SetFileOpHook(&recorder);
  File file;
  ASSERT_TRUE(file.CreateNew(dir.Join("w")));
  ASSERT_TRUE(file.Write("x", 1));
  ASSERT_TRUE(file.Flush());
  EXPECT_EQ(file.RenameTo(dir.Join("w"), dir.Join("v")), platform::RenameResult::Done);
  EXPECT_EQ(file.Remove(dir.Join("v")), platform::RemoveResult::Done);
  file.Close();
  const std::string c = std::to_string(static_cast<int>(FileOp::Create)), w = std::to_string(static_cast<int>(FileOp::Write)),
                    f = std::to_string(static_cast<int>(FileOp::Flush)), r = std::to_string(static_cast<int>(FileOp::Rename)),
                    s = std::to_string(static_cast<int>(FileOp::SyncFolder)), d = std::to_string(static_cast<int>(FileOp::Remove));
  const std::string folder = Recorder::Name(dir.path());
  EXPECT_EQ(recorder.ops, (std::vector<std::string>{c + " w", w + " w", f + " w", r + " w>v", s + " " + folder,
                                                     d + " v"}));

  // Refused: nothing happens, and the caller hears of it.
  testkit::WriteAll(dir.Join("keep"), "keep");
  recorder.refuse = FileOp::Remove;
  recorder.refuseName = "keep";
  EXPECT_FALSE(platform::RemoveFile(dir.Join("keep")));
  recorder.refuse = FileOp::Rename;
  EXPECT_EQ(platform::RenameNoReplace(dir.Join("keep"), dir.Join("other")), platform::RenameResult::Failed);
  // A refused folder sync after a rename that happened: the rename is reported as done, not durable.
  ASSERT_TRUE(file.OpenExisting(dir.Join("keep")));
  recorder.refuse = FileOp::SyncFolder;
  recorder.refuseName = folder;
  EXPECT_EQ(file.RenameTo(dir.Join("keep"), dir.Join("kept")), platform::RenameResult::NotSynced);
  file.Close();
  platform::SetFileOpHook(nullptr);
  EXPECT_EQ(testkit::ListNames(dir.path()), std::vector<std::string>{"kept"});
}

TEST(System, ProgramPathClockAndCodePage) {
  const std::string self = platform::ProgramPath();
  ASSERT_FALSE(self.empty());
  platform::FileInfo info;
  EXPECT_TRUE(platform::LookupPath(self, &info)) << self;
  EXPECT_NEAR(static_cast<double>(platform::NowSeconds()), static_cast<double>(std::time(nullptr)), 2.0);
  EXPECT_FALSE(platform::WindowsFolder().empty());
  EXPECT_FALSE(platform::SystemFolder().empty());
  EXPECT_FALSE(platform::IsLeadByte('\\'));
  EXPECT_FALSE(platform::IsLeadByte('a'));
}

}  // namespace
