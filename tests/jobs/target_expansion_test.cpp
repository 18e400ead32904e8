#include "jobs/target_expansion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/system.h"
#include "testkit/temp_dir.h"

namespace {

using Paths = std::vector<std::string>;

struct Expansion {
  WorkerPaths paths;
  std::atomic<uint64_t> total{0};
  ExpansionContext context;
  std::vector<std::string> lines;

  explicit Expansion(const std::string& programPath, bool zero = false, bool rand = false) {
    paths.programPath = programPath;
    context.paths = &paths;
    context.zero = zero;
    context.rand = rand;
    context.totalBytes = &total;
    context.logMessage = [this](const std::string& line) { lines.push_back(line); };
  }

  bool Run(Paths targets, Paths* work, int mode) { return ExpandTargets(targets, *work, mode, context) == ExpandResult::Done; }
};

void Bytes(const std::string& path, size_t n) { testkit::WriteAll(path, std::vector<unsigned char>(n, 'x')); }

Paths Sorted(Paths p) {
  std::sort(p.begin(), p.end());
  return p;
}

// The order in which the platform lists a folder (the walk's own order).
Paths Listing(const std::string& folder) {
  Paths names;
  platform::DirectoryList list;
  EXPECT_TRUE(list.Open(folder));
  platform::DirEntry e;
  while (list.Next(&e))
    if (e.name != "." && e.name != "..") names.push_back(e.name);
  return names;
}

TEST(TargetExpansion, EachModeTakesItsFilesAndNeverTheProgram) {
  testkit::TempDir dir;
  Bytes(dir.Join("a.txt"), 10);
  Bytes(dir.Join("b.cpy"), 300);
  Bytes(dir.Join("Tavro.exe"), 50);
  Expansion x(dir.Join("Tavro.exe"));

  Paths work;
  ASSERT_TRUE(x.Run({dir.path()}, &work, Encryption));
  EXPECT_EQ(work, Paths({dir.Join("a.txt")}));
  work.clear();
  ASSERT_TRUE(x.Run({dir.path()}, &work, Decryption));
  EXPECT_EQ(work, Paths({dir.Join("b.cpy")}));
  work.clear();
  ASSERT_TRUE(x.Run({dir.path()}, &work, Cryption));
  EXPECT_EQ(Sorted(work), Paths({dir.Join("a.txt"), dir.Join("b.cpy")}));
  EXPECT_TRUE(x.lines.empty());
}

TEST(TargetExpansion, ProgramFileIsLeftOutWhateverTheLetterCase) {
  testkit::TempDir dir;
  Bytes(dir.Join("Tavro.exe"), 5);
  std::string upper = dir.path() + platform::PathSeparator() + "TAVRO.EXE";
  Expansion x(upper);
  Paths work;
  ASSERT_TRUE(x.Run({dir.Join("Tavro.exe")}, &work, Encryption));
  ASSERT_TRUE(x.Run({dir.path()}, &work, Cryption));
  EXPECT_TRUE(work.empty());
  EXPECT_EQ(x.total, 0u);
}

TEST(TargetExpansion, UpperCaseCpyIsNotAnEncipheredFile) {
  testkit::TempDir dir;
  Bytes(dir.Join("B.CPY"), 8);
  Expansion x("");
  Paths work;
  ASSERT_TRUE(x.Run({dir.path()}, &work, Decryption));
  EXPECT_TRUE(work.empty());
  ASSERT_TRUE(x.Run({dir.path()}, &work, Encryption));
  EXPECT_EQ(work, Paths({dir.Join("B.CPY")}));
}

TEST(TargetExpansion, PlannedBytesCountEveryOverwritePass) {
  testkit::TempDir dir;
  Bytes(dir.Join("plain.txt"), 1000);
  Bytes(dir.Join("old.cpy"), 1000);
  Expansion both("", true, true);
  Paths work;
  ASSERT_TRUE(both.Run({dir.Join("plain.txt")}, &work, Encryption));
  EXPECT_EQ(both.total, 3000u);
  ASSERT_TRUE(both.Run({dir.Join("old.cpy")}, &work, Decryption));
  EXPECT_EQ(both.total, 4000u);  // a deciphered file counts once
  Expansion zeroOnly("", true, false);
  ASSERT_TRUE(zeroOnly.Run({dir.path()}, &work, Cryption));
  EXPECT_EQ(zeroOnly.total, 2000u + 1000u);
  Expansion none("");
  ASSERT_TRUE(none.Run({dir.path()}, &work, Cryption));
  EXPECT_EQ(none.total, 2000u);
}

TEST(TargetExpansion, TargetsAreTakenFromTheEndSoFilesRunInTheOrderGiven) {
  testkit::TempDir dir;
  for (const char* n : {"x", "y", "z"}) Bytes(dir.Join(n), 1);
  Expansion e("");
  Paths targets = {dir.Join("x"), dir.Join("y"), dir.Join("z")};
  Paths work;
  ASSERT_EQ(ExpandTargets(targets, work, Encryption, e.context), ExpandResult::Done);
  EXPECT_TRUE(targets.empty());
  // The file loop takes the work list from its end: x, then y, then z.
  EXPECT_EQ(work, Paths({dir.Join("z"), dir.Join("y"), dir.Join("x")}));
}

TEST(TargetExpansion, WalkIsDepthFirstFilesBeforeSubFoldersLastFoundFirst) {
  testkit::TempDir dir;
  const std::string root = dir.Join("root");
  const char sep = platform::PathSeparator();
  const std::string s1 = root + sep + "s1", s2 = root + sep + "s2", deep = s1 + sep + "deep";
  for (const std::string& f : {root, s1, s2, deep}) ASSERT_TRUE(std::filesystem::create_directory(f));
  Bytes(root + sep + "f1", 1);
  Bytes(root + sep + "f2", 1);
  Bytes(s1 + sep + "g1", 1);
  Bytes(s2 + sep + "h1", 1);
  Bytes(deep + sep + "d1", 1);

  // Expected: the plain entries of a folder in listing order, then its
  // sub-folders, the one listed last first.
  Paths expected;
  std::vector<std::string> pending = {root};
  while (!pending.empty()) {
    const std::string current = pending.back();
    pending.pop_back();
    for (const std::string& name : Listing(current)) {
      const std::string path = current + sep + name;
      if (std::filesystem::is_directory(path)) {
        pending.push_back(path);
      } else {
        expected.push_back(path);
      }
    }
  }
  ASSERT_EQ(expected.size(), 5u);
  Expansion e("");
  Paths work;
  ASSERT_TRUE(e.Run({root}, &work, Encryption));
  EXPECT_EQ(work, expected);
}

TEST(TargetExpansion, MissingTargetsAreSkippedSilently) {
  testkit::TempDir dir;
  Bytes(dir.Join("here"), 4);
  Expansion e("");
  Paths work;
  ASSERT_TRUE(e.Run({dir.Join("here"), dir.Join("gone"), dir.Join("gone") + platform::PathSeparator() + "x"}, &work,
                    Encryption));
  EXPECT_EQ(work, Paths({dir.Join("here")}));
  EXPECT_TRUE(e.lines.empty());
}

TEST(TargetExpansion, DuplicatesAreKept) {
  testkit::TempDir dir;
  Bytes(dir.Join("a"), 4);
  Expansion e("");
  Paths work;
  ASSERT_TRUE(e.Run({dir.Join("a"), dir.path(), dir.Join("a")}, &work, Encryption));
  EXPECT_EQ(work.size(), 3u);
  EXPECT_EQ(e.total, 12u);
}

TEST(TargetExpansion, WorkFilesOfAnInterruptedRunAreNeverTargets) {
  testkit::TempDir dir;
  Bytes(dir.Join("~tavro-0123ABCD.tmp"), 64);
  Bytes(dir.Join("keep.txt"), 1);
  Expansion e("");
  Paths work;
  ASSERT_TRUE(e.Run({dir.path(), dir.Join("~tavro-0123ABCD.tmp")}, &work, Cryption));
  EXPECT_EQ(work, Paths({dir.Join("keep.txt")}));
  EXPECT_EQ(e.total, 1u);
}

TEST(TargetExpansion, StopIsLookedAtOncePerFolderAndEndsTheWalk) {
  testkit::TempDir dir;
  const char sep = platform::PathSeparator();
  for (int i = 0; i < 20; ++i) {
    const std::string folder = dir.Join("f" + std::to_string(i));
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    Bytes(folder + sep + "file", 1);
  }
  Expansion e("");
  int asked = 0;
  e.context.stopRequested = [&asked] { return ++asked > 4; };  // once for the target, then per folder
  Paths targets = {dir.path()}, work;
  EXPECT_EQ(ExpandTargets(targets, work, Encryption, e.context), ExpandResult::Stopped);
  EXPECT_EQ(asked, 5);
  EXPECT_EQ(work.size(), 2u);  // the files of the two sub-folders walked before the stop
  // Without a stop every folder is walked, each looked at once.
  asked = -100;
  targets = {dir.path()};
  work.clear();
  EXPECT_EQ(ExpandTargets(targets, work, Encryption, e.context), ExpandResult::Done);
  EXPECT_EQ(asked, -100 + 1 + 21);
  EXPECT_EQ(work.size(), 20u);
}

TEST(TargetExpansion, TheProgramsOwnDataFolderIsLeftOutOfAWalk) {
  const std::string data = platform::ProgramDataFolder();
  ASSERT_FALSE(data.empty());
  std::filesystem::create_directories(data);
  const char sep = platform::PathSeparator();
  const std::string parent = data.substr(0, platform::FindLastSeparator(data));
  Bytes(data + sep + "journal.cpy", 300);
  Bytes(parent + sep + "beside-the-data-folder.cpy", 300);
  Expansion e("");
  Paths work;
  ASSERT_TRUE(e.Run({parent}, &work, Decryption));
  EXPECT_NE(std::find(work.begin(), work.end(), parent + sep + "beside-the-data-folder.cpy"), work.end());
  for (const std::string& path : work) EXPECT_EQ(path.find(data + sep), std::string::npos) << path;
  EXPECT_TRUE(e.lines.empty());
  std::filesystem::remove(parent + sep + "beside-the-data-folder.cpy");
  std::filesystem::remove(data + sep + "journal.cpy");
}

TEST(TargetExpansion, EmptyFolderAndEmptyFilesAddNothingToThePlan) {
  testkit::TempDir dir;
  ASSERT_TRUE(std::filesystem::create_directory(dir.Join("empty")));
  Bytes(dir.Join("zero"), 0);
  Expansion e("", true, true);
  Paths work;
  ASSERT_TRUE(e.Run({dir.path()}, &work, Encryption));
  EXPECT_EQ(work, Paths({dir.Join("zero")}));
  EXPECT_EQ(e.total, 0u);
}

}  // namespace
