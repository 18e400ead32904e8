// Checking without changing anything: every enciphered file is read to its
// end and deciphered in memory; an intact one is named with its stored name and
// plain length, anything else gets the reader's own error line. The file is
// never changed, not even its times, and nothing is written beside it.
#include <gtest/gtest.h>

#include "codec/file_codec.h"
#include "codec_testkit.h"
#include "platform/file.h"
#include "testkit/temp_dir.h"

namespace {

using codectest::ErrorLine;
using codectest::LogRecorder;
using codectest::MessageLine;
using testkit::ListNames;
using testkit::ReadAll;
using testkit::TempDir;
using testkit::WriteAll;
using Lines = std::vector<std::pair<std::string, LogKind>>;

constexpr const char* kPassword = "check me";

class Check : public ::testing::Test {
 protected:
  Check() {
    codec.SetLogSink(&log);
    codec.SetKey(kPassword);
  }
  // Checks path and expects exactly `line`, the file and the folder unchanged.
  void Expect(const std::string& path, const std::pair<std::string, LogKind>& line, CFileCodec::Outcome outcome) {
    const auto before = ReadAll(path);
    platform::FileTimes old;
    old.lastAccess = 1400000000;
    old.lastWrite = 1300000000;
    ASSERT_TRUE(platform::SetTimes(path, old));
    const auto names = ListNames(dir.path());
    log.Clear();
    codec.CheckFile(path);
    EXPECT_EQ(log.Lines(), Lines{line});
    EXPECT_EQ(codec.LastOutcome(), outcome);
    EXPECT_TRUE(ReadAll(path) == before);
    EXPECT_EQ(ListNames(dir.path()), names);
    platform::FileInfo info;
    ASSERT_TRUE(platform::LookupPath(path, &info));
    EXPECT_EQ(info.times.lastWrite, 1300000000);
  }
  TempDir dir;
  LogRecorder log;
  CFileCodec codec;
};

TEST_F(Check, IntactFilesAreNamedWithTheirStoredNameAndLength) {
  for (const size_t size : {size_t{0}, size_t{7}, size_t{8}, size_t{1048576 + 3}}) {
    SCOPED_TRACE(size);
    const std::string path = dir.Join("a.cpy");
    WriteAll(path, codectest::Expected(kPassword, "report 1.txt", testkit::PatternBytes(size, 3)));
    Expect(path,
           {MessageLine("message_check_intact \"report 1.txt\" (" + std::to_string(size) + " byte)", path), Message},
           CFileCodec::Outcome::Done);
    EXPECT_EQ(codec.GetCounters(), ReadAll(path).size());
  }
}

TEST_F(Check, DamagedForeignAndUnreadableFilesAreSaidSoAndLeftAsTheyAre) {
  const auto good = codectest::Expected(kPassword, "inner.txt", testkit::PatternBytes(50, 4));
  std::vector<unsigned char> noLineFeed(good.begin(), good.begin() + 280);
  {
    unsigned char block[8] = {'A', 'A', 'A', 'A', 'A', 'A', 'A', 'A'};
    CCastCipher cipher;
    cipher.SetKey(kPassword);
    cipher.EncryptBlocks(block, 1);
    std::copy(block, block + 8, noLineFeed.begin() + 272);
  }
  const struct {
    std::vector<unsigned char> bytes;
    std::string text;
  } cases[] = {
      {std::vector<unsigned char>(good.begin(), good.begin() + 279), "error_tavro_format"},
      {std::vector<unsigned char>(good.begin(), good.end() - 3), "error_tavro_format"},
      {codectest::Expected("another password", "inner.txt", testkit::PatternBytes(50, 4)), "error_password_missing"},
      {noLineFeed, "error_broken_tavro_format"},
      {codectest::WithStoredName(kPassword, "../up", testkit::PatternBytes(9, 1)), "error_unsafe_name \"../up\""},
      {codectest::WithStoredName(kPassword, "", {}), "error_unsafe_name \"\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = dir.Join("bad.cpy");
    WriteAll(path, c.bytes);
    Expect(path, {ErrorLine(c.text, path), Error}, CFileCodec::Outcome::Failed);
  }
  // Held by another run (deciphering it, say): not read, and not intact.
  const std::string path = dir.Join("held.cpy");
  WriteAll(path, good);
  {
    platform::File other;
    ASSERT_TRUE(other.OpenExisting(path));
    log.Clear();
    codec.CheckFile(path);
    EXPECT_EQ(log.Lines(), (Lines{{MessageLine("message_file_open_failed", path), Message}}));
    EXPECT_EQ(codec.LastOutcome(), CFileCodec::Outcome::Failed);
  }
  EXPECT_TRUE(ReadAll(path) == good);
  // A read-only file needs no write permission to be checked.
  uint32_t attributes = 0;
  ASSERT_TRUE(platform::GetAttributes(path, &attributes));
  ASSERT_TRUE(platform::SetAttributes(path, attributes | platform::kAttrReadOnly));
  Expect(path, {MessageLine("message_check_intact \"inner.txt\" (50 byte)", path), Message}, CFileCodec::Outcome::Done);
  ASSERT_TRUE(platform::GetAttributes(path, &attributes));
  EXPECT_TRUE(attributes & platform::kAttrReadOnly);
  platform::SetAttributes(path, attributes & ~platform::kAttrReadOnly);
}

}  // namespace
