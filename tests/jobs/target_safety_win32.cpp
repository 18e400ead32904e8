// Refusals of the Windows program: the system drive given as a drive, the
// system folder and the Windows folder, in any letter case, and also when
// written with trailing backslashes, "." or "..".
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "jobs/target_expansion.h"
#include "jobs/target_safety.h"
#include "testkit/temp_dir.h"

namespace {

WorkerPaths SystemPaths() {
  WorkerPaths p;
  p.systemDrive = "C:";
  p.systemFolder = "C:\\windows\\system32";
  p.windowsFolder = "C:\\windows";
  return p;
}

TEST(TargetSafety, SystemDriveFolderAndWindowsFolderAreRefused) {
  const WorkerPaths p = SystemPaths();
  EXPECT_TRUE(IsBareDrive("c:"));
  EXPECT_FALSE(IsBareDrive("c:\\x"));
  EXPECT_STREQ(RefusalKey("c:", p), "error_directory_systemroot");
  EXPECT_STREQ(RefusalKey("C:\\", p), "error_directory_systemroot");
  EXPECT_EQ(RefusalKey("D:", p), nullptr);
  EXPECT_STREQ(RefusalKey("C:\\WINDOWS\\System32", p), "error_directory_system");
  EXPECT_STREQ(RefusalKey("c:\\windows", p), "error_directory_windows");
  EXPECT_STREQ(RefusalKey("C:\\Windows\\", p), "error_directory_windows");
  EXPECT_STREQ(RefusalKey("C:\\Temp\\..\\Windows\\.", p), "error_directory_windows");
  EXPECT_STREQ(RefusalKey("C:/windows/system32", p), "error_directory_system");
  EXPECT_EQ(RefusalKey("C:\\Windows\\Fonts", p), nullptr);
  EXPECT_EQ(RefusalKey("C:\\Users", p), nullptr);
}

TEST(TargetSafety, RefusedTargetEndsTheExpansionBeforeEarlierTargets) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("x"), "data");
  WorkerPaths paths;
  paths.systemDrive = "C:";
  paths.systemFolder = "C:\\windows\\system32";
  paths.windowsFolder = dir.path();  // a folder that exists stands for the Windows folder
  std::atomic<uint64_t> total{0};
  std::vector<std::string> lines;
  ExpansionContext context;
  context.paths = &paths;
  context.totalBytes = &total;
  context.logMessage = [&lines](const std::string& line) { lines.push_back(line); };
  std::vector<std::string> targets = {dir.Join("x"), dir.path()};
  std::vector<std::string> work;
  EXPECT_FALSE(ExpandTargets(targets, work, Encryption, context));
  EXPECT_TRUE(work.empty());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("error_directory_windows"), std::string::npos) << lines[0];
}

}  // namespace
