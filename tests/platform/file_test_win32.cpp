// Windows rules of the file layer: both separators, double-byte names.
#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/system.h"
#include "testkit/temp_dir.h"

namespace {

TEST(WindowsPaths, BothSeparatorsCount) {
  EXPECT_EQ(platform::FindLastSeparator("C:\\dir/name.txt"), 6u);
  EXPECT_EQ(platform::FindLastSeparator("C:/dir\\name.txt"), 6u);
  EXPECT_TRUE(platform::SamePathNoCase("C:\\Windows\\System32", "c:\\windows\\system32"));
}

TEST(WindowsPaths, TrailByteBackslashIsNoSeparator) {
  if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "needs the Japanese code page (932), have " << platform::AnsiCodePage();
  // U+8868 is 0x95 0x5C in Shift-JIS.
  const std::string path = "C:\\dir\\\x95\x5C.txt";
  EXPECT_EQ(platform::FindLastSeparator(path), 6u);
  EXPECT_FALSE(platform::SamePathNoCase("\x95\x5C", "\x95\x7C"));
}

TEST(WindowsFiles, WildcardsFindNothing) {
  testkit::TempDir dir;
  testkit::WriteAll(dir.Join("a.txt"), "x");
  EXPECT_FALSE(platform::LookupPath(dir.Join("*.txt"), nullptr));
  EXPECT_TRUE(platform::LookupPath(dir.Join("a.txt"), nullptr));
}

TEST(WindowsFiles, DeviceNamesAreNoFiles) {
  platform::File file;
  EXPECT_FALSE(file.OpenExisting("NUL"));
}

TEST(WindowsSystem, Folders) {
  EXPECT_NE(platform::WindowsFolder().find(':'), std::string::npos);
  EXPECT_EQ(platform::SystemFolder().rfind(platform::WindowsFolder(), 0), 0u);
}

}  // namespace
