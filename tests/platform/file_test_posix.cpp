// POSIX rules of the file layer: permissions as the read-only attribute,
// symbolic links left alone, locks that a second process respects.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include "platform/file.h"
#include "testkit/temp_dir.h"

namespace {

using testkit::TempDir;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(lstat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(PosixFiles, ReadOnlyIsTheOwnerWriteBit) {
  TempDir dir;
  const std::string path = dir.Join("f");
  testkit::WriteAll(path, "x");
  ASSERT_EQ(chmod(path.c_str(), 0664), 0);
  ASSERT_TRUE(platform::SetAttributes(path, platform::kAttrReadOnly));
  EXPECT_EQ(ModeOf(path), 0444u);
  ASSERT_TRUE(platform::SetAttributes(path, platform::kAttrNormal));
  EXPECT_EQ(ModeOf(path), 0644u);
  ASSERT_EQ(chmod(path.c_str(), 0400), 0);
  uint32_t attributes = 0;
  ASSERT_TRUE(platform::GetAttributes(path, &attributes));
  EXPECT_EQ(attributes, platform::kAttrReadOnly);
}

TEST(PosixFiles, NewFilesArePrivateUntilGivenTheirSourcesAccess) {
  TempDir dir;
  const std::string source = dir.Join("source");
  const std::string made = dir.Join("made");
  testkit::WriteAll(source, "x");
  ASSERT_EQ(chmod(source.c_str(), 0640), 0);
  platform::File file;
  ASSERT_TRUE(file.CreateNew(made));
  EXPECT_EQ(ModeOf(made), 0600u);
  file.Close();
  ASSERT_TRUE(platform::CopyAccess(source, made));
  EXPECT_EQ(ModeOf(made), 0640u);
}

TEST(PosixFiles, LinksAreNeitherOpenedNorListed) {
  TempDir dir;
  const std::string target = dir.Join("target");
  const std::string link = dir.Join("link");
  testkit::WriteAll(target, "x");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  ASSERT_EQ(symlink(dir.path().c_str(), dir.Join("loop").c_str()), 0);
  platform::File file;
  EXPECT_FALSE(file.OpenExisting(link));
  platform::DirectoryList list;
  ASSERT_TRUE(list.Open(dir.path()));
  platform::DirEntry entry;
  std::vector<std::string> names;
  while (list.Next(&entry)) {
    if (entry.name != "." && entry.name != "..") names.push_back(entry.name);
  }
  EXPECT_EQ(names, std::vector<std::string>{"target"});
}

TEST(PosixFiles, PipesAreRefused) {
  TempDir dir;
  const std::string fifo = dir.Join("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  platform::File file;
  EXPECT_FALSE(file.OpenExisting(fifo));  // and does not hang
}

TEST(PosixFiles, AnotherProcessCannotTakeAHeldFile) {
  TempDir dir;
  const std::string path = dir.Join("held");
  testkit::WriteAll(path, "x");
  platform::File file;
  ASSERT_TRUE(file.OpenExisting(path));
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::File other;
    _exit(other.OpenExisting(path) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child could open the held file";
}

TEST(PosixFiles, BirthTimeIsReadWhereKnown) {
  TempDir dir;
  const std::string path = dir.Join("f");
  testkit::WriteAll(path, "x");
  platform::FileInfo info;
  ASSERT_TRUE(platform::LookupPath(path, &info));
  if (info.times.creation == 0) GTEST_SKIP() << "this file system records no creation time";
  EXPECT_NEAR(static_cast<double>(info.times.creation), static_cast<double>(time(nullptr)), 120.0);
  // Setting times leaves the creation time as it was (Linux cannot set it).
  platform::FileTimes times = info.times;
  times.lastWrite = 1000000000;
  times.creation = 999;
  ASSERT_TRUE(platform::SetTimes(path, times));
  platform::FileInfo after;
  ASSERT_TRUE(platform::LookupPath(path, &after));
  EXPECT_EQ(after.times.creation, info.times.creation);
  EXPECT_EQ(after.times.lastWrite, 1000000000);
}

}  // namespace

namespace {

TEST(PosixPaths, FullPathResolvesTheWayButNeverTheLastLink) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.Join("real").c_str(), 0700), 0);
  testkit::WriteAll(dir.Join("real/file"), "x");
  ASSERT_EQ(symlink(dir.Join("real").c_str(), dir.Join("link").c_str()), 0);
  char here[4096];
  ASSERT_NE(getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  struct Case {
    std::string path;
    std::string full;  // empty: cannot be resolved
  };
  const Case cases[] = {
      {"real", dir.Join("real")},
      {"./real//file", dir.Join("real/file")},
      {"real/../real/", dir.Join("real")},
      {".", dir.path()},
      {"link", dir.Join("link")},             // the link itself
      {"link/file", dir.Join("real/file")},   // a link on the way is resolved
      {"link/.", dir.Join("real")},
      {"real/missing", dir.Join("real/missing")},  // the last name need not exist
      {"missing/file", ""},                   // the folders on the way must
      {"/", "/"},
      {"/tmp/..", "/"},
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string full;
    const bool ok = platform::FullPath(c.path, &full);
    EXPECT_EQ(ok ? full : std::string(), c.full) << "[" << c.path << "]";
  }
  std::string final;
  EXPECT_TRUE(platform::FinalPath("link", &final));
  EXPECT_EQ(final, dir.Join("real"));
  EXPECT_FALSE(platform::FinalPath("missing", &final));
  ASSERT_EQ(chdir(here), 0);
  platform::FileInfo info;
  ASSERT_TRUE(platform::LookupPath(dir.Join("link"), &info));
  EXPECT_TRUE(info.isLink);
  EXPECT_TRUE(platform::PathWithin("/usr/lib/x", "/usr"));
  EXPECT_TRUE(platform::PathWithin("/usr", "/usr/"));
  EXPECT_FALSE(platform::PathWithin("/usrx/lib", "/usr"));
  EXPECT_FALSE(platform::PathWithin("/USR/lib", "/usr"));
  EXPECT_TRUE(platform::PathWithin("/etc", "/"));
}

TEST(PosixFiles, HeldFileIsRenamedAndRemovedOnlyWhileItsNameLeadsToIt) {
  TempDir dir;
  const std::string path = dir.Join("f");
  testkit::WriteAll(path, "first");
  platform::File held;
  ASSERT_TRUE(held.OpenExisting(path));
  // Another program puts a new file under the name (mv over it).
  testkit::WriteAll(dir.Join("new"), "second");
  ASSERT_EQ(rename(dir.Join("new").c_str(), path.c_str()), 0);
  EXPECT_EQ(held.RenameTo(path, dir.Join("g")), platform::RenameResult::NotThisFile);
  EXPECT_EQ(held.Remove(path), platform::RemoveResult::NotThisFile);
  held.Close();
  EXPECT_EQ(testkit::ListNames(dir.path()), std::vector<std::string>{"f"});
  EXPECT_EQ(testkit::ReadAll(path), std::vector<unsigned char>({'s', 'e', 'c', 'o', 'n', 'd'}));
}

TEST(PosixFiles, FolderSwappedForALinkIsNotListed) {
  TempDir dir;
  mkdir(dir.Join("sub").c_str(), 0700);
  mkdir(dir.Join("elsewhere").c_str(), 0700);
  testkit::WriteAll(dir.Join("elsewhere/victim"), "x");
  platform::FileIdentity listed;
  ASSERT_TRUE(platform::IdentityOf(dir.Join("sub"), &listed));
  platform::DirectoryList list;
  EXPECT_TRUE(list.Open(dir.Join("sub"), listed));
  list.Close();
  ASSERT_EQ(rename(dir.Join("sub").c_str(), dir.Join("sub.old").c_str()), 0);
  ASSERT_EQ(symlink(dir.Join("elsewhere").c_str(), dir.Join("sub").c_str()), 0);
  EXPECT_FALSE(list.Open(dir.Join("sub"), listed));
  EXPECT_FALSE(list.Open(dir.Join("sub")));  // a link at the end is never opened as a folder
  // Another real folder under the listed name is not the one listed either.
  ASSERT_EQ(unlink(dir.Join("sub").c_str()), 0);
  mkdir(dir.Join("sub").c_str(), 0700);
  EXPECT_FALSE(list.Open(dir.Join("sub"), listed));
}

}  // namespace
