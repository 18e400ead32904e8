// Windows rules of the file layer: both separators, double-byte names.
#include <windows.h>

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

// Run from inside the Wine prefix (the current folder is the system folder),
// never from a Linux folder.
TEST(WindowsPaths, FullPathResolvesEveryForm) {
  const std::string sys = platform::SystemFolder(), win = platform::WindowsFolder();
  const std::string drive = sys.substr(0, 2);
  char previous[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(sys.c_str()));
  testkit::TempDir dir;
  const std::string longName = dir.Join("A Folder With A Long Name");
  CreateDirectoryA(longName.c_str(), nullptr);
  char shortName[MAX_PATH] = {};
  ASSERT_GT(GetShortPathNameA(longName.c_str(), shortName, MAX_PATH), 0u);
  struct Case {
    std::string path;
    std::string full;  // empty: cannot be resolved
  };
  const Case cases[] = {
      {".", sys},
      {"..", win},
      {"\\", drive + "\\"},
      {drive, drive + "\\"},  // a bare drive is its root, not its current folder
      {drive + "\\.", drive + "\\"},
      {"D:", "D:\\"},
      {sys + "\\", sys},
      {sys + "\\..\\" + sys.substr(sys.rfind('\\') + 1) + "\\.", sys},
      {"\\\\?\\" + sys, sys},
      {"\\\\.\\" + win, win},
      {"\\\\?\\UNC\\server\\share\\x", "\\\\server\\share\\x"},
      {"\\\\?\\" + win + ".", ""},                    // literally "windows.", which the plain form cannot name
      {"\\\\?\\" + sys + "\\..\\x", ""},
      {"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\", ""},
      {win + "::$INDEX_ALLOCATION", ""},  // a stream: the folder itself under another name
      {"CON", ""},
      {sys + "\\nul.txt", ""},
      {shortName, longName},
      {std::string(shortName) + "\\missing", longName + "\\missing"},
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string full;
    const bool ok = platform::FullPath(c.path, &full);
    EXPECT_TRUE(platform::SamePathNoCase(ok ? full : std::string(), c.full)) << c.path << " -> " << full;
  }
  std::string final;
  EXPECT_TRUE(platform::FinalPath(shortName, &final));
  EXPECT_TRUE(platform::SamePathNoCase(final, longName)) << final;
  EXPECT_TRUE(platform::PathWithin("c:\\WINDOWS\\fonts", "C:\\Windows"));
  EXPECT_TRUE(platform::PathWithin("C:/Windows/", "C:\\windows"));
  EXPECT_FALSE(platform::PathWithin("C:\\WindowsApps", "C:\\Windows"));
  EXPECT_FALSE(platform::PathWithin("\\\\srv\\Windows", "C:\\Windows"));
  EXPECT_FALSE(platform::PathWithin("C:\\srv\\share", "\\\\srv\\share"));
  EXPECT_TRUE(platform::PathWithin("C:\\x", "C:\\"));
  SetCurrentDirectoryA(previous);
}

TEST(WindowsSystem, Folders) {
  EXPECT_NE(platform::WindowsFolder().find(':'), std::string::npos);
  EXPECT_EQ(platform::SystemFolder().rfind(platform::WindowsFolder(), 0), 0u);
}

}  // namespace
