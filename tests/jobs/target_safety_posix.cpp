// Refusals of the Linux program: the root folder and the system folders, also
// when written with a trailing slash, with "." or "..", or reached by a link.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "jobs/target_expansion.h"
#include "jobs/target_safety.h"
#include "testkit/temp_dir.h"

namespace {

TEST(TargetSafety, RootAndSystemFoldersAreRefused) {
  WorkerPaths paths;
  EXPECT_STREQ(RefusalKey("/", paths), "error_directory_systemroot");
  EXPECT_STREQ(RefusalKey("//", paths), "error_directory_systemroot");
  EXPECT_STREQ(RefusalKey("/tmp/..", paths), "error_directory_systemroot");
  for (const char* f : {"/bin", "/boot", "/dev", "/etc", "/lib", "/proc", "/sbin", "/sys", "/usr", "/var"}) {
    if (access(f, F_OK) != 0) continue;
    EXPECT_STREQ(RefusalKey(f, paths), "error_directory_system") << f;
    EXPECT_STREQ(RefusalKey(std::string(f) + "/", paths), "error_directory_system") << f;
  }
  EXPECT_STREQ(RefusalKey("/usr/./", paths), "error_directory_system");
  EXPECT_STREQ(RefusalKey("/tmp/../etc", paths), "error_directory_system");
  EXPECT_FALSE(IsBareDrive("C:"));
}

TEST(TargetSafety, SubFoldersAndOrdinaryFoldersAreWalked) {
  WorkerPaths paths;
  EXPECT_EQ(RefusalKey("/usr/share", paths), nullptr);
  EXPECT_EQ(RefusalKey("/etc/hostname", paths), nullptr);
  testkit::TempDir dir;
  EXPECT_EQ(RefusalKey(dir.path(), paths), nullptr);
}

TEST(TargetSafety, LinkToASystemFolderIsRefused) {
  testkit::TempDir dir;
  const std::string link = dir.Join("etc-link");
  ASSERT_EQ(symlink("/etc", link.c_str()), 0);
  WorkerPaths paths;
  EXPECT_STREQ(RefusalKey(link, paths), "error_directory_system");
}

TEST(TargetSafety, RefusedTargetEndsTheExpansionBeforeEarlierTargets) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("x"), "data");
  WorkerPaths paths;
  std::atomic<uint64_t> total{0};
  std::vector<std::string> lines;
  ExpansionContext context;
  context.paths = &paths;
  context.totalBytes = &total;
  context.logMessage = [&lines](const std::string& line) { lines.push_back(line); };
  // x first, then /etc: /etc is examined first and the job is refused.
  std::vector<std::string> targets = {dir.Join("x"), "/etc/"};
  std::vector<std::string> work;
  EXPECT_FALSE(ExpandTargets(targets, work, Decryption, context));
  EXPECT_TRUE(work.empty());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("error_directory_system"), std::string::npos) << lines[0];
  EXPECT_EQ(targets.size(), 2u);
}

}  // namespace
