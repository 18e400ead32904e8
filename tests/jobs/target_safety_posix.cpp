// Refusals of the Linux program: the root folder, the system folders and
// everything inside them, and the program's own data folder, judged on
// resolved paths (trailing slashes, "." and "..", links) component by component.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/target_expansion.h"
#include "jobs/target_safety.h"
#include "platform/system.h"
#include "testkit/temp_dir.h"

namespace {

TEST(TargetSafety, SystemPlacesAndEverythingInsideThemAreRefused) {
  WorkerPaths paths;
  testkit::TempDir dir;
  ASSERT_EQ(symlink("/etc", dir.Join("etc-link").c_str()), 0);
  ASSERT_EQ(symlink("/etc/passwd", dir.Join("passwd-link").c_str()), 0);
  struct Case {
    std::string target;
    const char* key;
  };
  const Case cases[] = {
      {"/", "error_directory_systemroot"},
      {"//", "error_directory_systemroot"},
      {"/tmp/..", "error_directory_systemroot"},
      {"/etc", "error_directory_system"},
      {"/usr/", "error_directory_system"},
      {"/usr/./", "error_directory_system"},
      {"/tmp/../etc", "error_directory_system"},
      {"/etc/ssh", "error_directory_system"},
      {"/etc/passwd", "error_directory_system"},
      {"/usr/lib", "error_directory_system"},
      {"/usr/share/doc/../..//lib", "error_directory_system"},
      {"/var/tmp", "error_directory_system"},
      {"/bin/sh", "error_directory_system"},
      {dir.Join("etc-link"), "error_directory_system"},
      {dir.Join("etc-link") + "/hostname", "error_directory_system"},
      {dir.Join("passwd-link"), "error_directory_system"},
      {"/usrnot", nullptr},  // a name that merely begins like a system folder
      {"/home", nullptr},
      {dir.path(), nullptr},
  };
  for (const Case& c : cases) {
    const char* key = RefusalKey(c.target, paths);
    EXPECT_STREQ(key ? key : "(walked)", c.key ? c.key : "(walked)") << c.target;
  }
  // The program's own data folder (settings, journal) and what lies in it.
  const std::string data = platform::ProgramDataFolder();
  ASSERT_FALSE(data.empty());
  std::filesystem::create_directories(data);
  testkit::WriteAll(data + "/registry.txt", "x");
  EXPECT_STREQ(RefusalKey(data, paths), "error_directory_program");
  EXPECT_STREQ(RefusalKey(data + "/registry.txt", paths), "error_directory_program");
  EXPECT_STREQ(RefusalKey(data + "/../tavro/./", paths), "error_directory_program");
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
  EXPECT_EQ(ExpandTargets(targets, work, Decryption, context), ExpandResult::Refused);
  EXPECT_TRUE(work.empty());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("error_directory_system"), std::string::npos) << lines[0];
  EXPECT_EQ(targets.size(), 2u);
}

}  // namespace
