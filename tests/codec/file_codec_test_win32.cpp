// Windows only: double-byte file names whose trail byte is 0x5C, the byte of
// the backslash. Runs where the ANSI code page is 932 (under Wine: LANG=ja_JP.UTF-8).
#include <gtest/gtest.h>

#include "codec/file_codec.h"
#include "codec/names.h"
#include "codec_testkit.h"
#include "platform/file.h"
#include "platform/system.h"
#include "testkit/temp_dir.h"

namespace {

// Through the ANSI calls, as the codec sees names (the C runtime's own
// multibyte rules may differ from the system code page).
void Write(const std::string& path, const std::vector<unsigned char>& bytes) {
  platform::File file;
  ASSERT_TRUE(file.CreateNew(path)) << path;
  ASSERT_TRUE(file.Write(bytes.data(), bytes.size()));
}

std::vector<unsigned char> Read(const std::string& path) {
  platform::File file;
  EXPECT_TRUE(file.OpenExisting(path));
  std::vector<unsigned char> bytes(4096);
  const int64_t n = file.Read(bytes.data(), bytes.size());
  bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return bytes;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  platform::DirectoryList list;
  platform::DirEntry entry;
  if (list.Open(folder)) {
    while (list.Next(&entry)) {
      if (entry.name != "." && entry.name != "..") names.push_back(entry.name);
    }
  }
  return names;
}

TEST(CodecWindows, ShiftJisNameWithTrailBackslashRoundTrips) {
  if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "needs the Japanese code page (932), have " << platform::AnsiCodePage();
  testkit::TempDir dir;
  const std::string name = "\x95\x5C.txt";  // U+8868 then ".txt"
  const std::string plain = dir.path() + "\\" + name;  // Join would take 0x5C for a separator
  const auto bytes = testkit::PatternBytes(100, 8);
  Write(plain, bytes);
  codectest::LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  codec.SetKey("pw");
  codec.zeroPass = 1;
  codec.EncryptFile(plain, dir.Join("j.cpy"));
  ASSERT_TRUE(log.Lines().empty()) << log.Lines()[0].first;
  EXPECT_TRUE(Read(dir.Join("j.cpy")) == codectest::Expected("pw", name, bytes));
  codec.DecryptFile(dir.Join("j.cpy"));
  ASSERT_TRUE(log.Lines().empty()) << log.Lines()[0].first;
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{name});
  EXPECT_TRUE(Read(plain) == bytes);
}

TEST(CodecWindows, StoredNamesWindowsCannotHoldAreRefused) {
  // Made on Linux, where they are ordinary names: here nothing is written.
  testkit::TempDir dir;
  codectest::LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  codec.SetKey("pw");
  for (const std::string name : {"12:30.txt", "CON", "nul.txt", "x<y", "pipe|", "dot.", "blank "}) {
    log.Clear();
    const std::string path = dir.Join("h.cpy");
    const auto bytes = codectest::WithStoredName("pw", name, testkit::PatternBytes(20, 1));
    Write(path, bytes);
    codec.DecryptFile(path);
    EXPECT_EQ(log.Lines(), (std::vector<std::pair<std::string, LogKind>>{
                               {codectest::ErrorLine("error_unsafe_name \"" + name + "\"", path), Error}}));
    EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"h.cpy"});
    platform::RemoveFile(path);
  }
}

TEST(CodecWindows, ShiftJisStoredNameWithRealBackslashIsRefused) {
  if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "needs the Japanese code page (932), have " << platform::AnsiCodePage();
  // A single-byte character then a real backslash: "a\" + "b".
  EXPECT_FALSE(IsSafeFileName("a\\b", NameRules::Windows));
  // The lead byte swallows the 0x5C; a later lone backslash still counts.
  EXPECT_TRUE(IsSafeFileName("\x95\x5C", NameRules::Windows));
  EXPECT_FALSE(IsSafeFileName("\x95\x5C\\x", NameRules::Windows));
}

}  // namespace
