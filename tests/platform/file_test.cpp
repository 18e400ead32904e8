// The file layer against real files in a temporary folder.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

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

TEST(FileNames, RenameNoReplaceKeepsAnExistingTarget) {
  TempDir dir;
  const std::string a = dir.Join("a.txt");
  const std::string b = dir.Join("b.txt");
  const std::string c = dir.Join("c.txt");
  testkit::WriteAll(a, "first");
  testkit::WriteAll(b, "second");
  EXPECT_FALSE(platform::RenameNoReplace(a, b));
  EXPECT_EQ(testkit::ReadAll(a), Bytes("first"));
  EXPECT_EQ(testkit::ReadAll(b), Bytes("second"));
  EXPECT_TRUE(platform::RenameNoReplace(a, c));
  EXPECT_FALSE(testkit::Exists(a));
  EXPECT_EQ(testkit::ReadAll(c), Bytes("first"));
  EXPECT_FALSE(platform::RenameNoReplace(dir.Join("missing"), dir.Join("other")));
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
