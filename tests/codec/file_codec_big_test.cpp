// A file of 2 GiB + 7 bytes through both directions. It needs about 4.3 GB of
// free space and a minute, so it runs only when TAVRO_BIG_FILE_TEST=1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/file_codec.h"
#include "codec_testkit.h"
#include "platform/file.h"
#include "testkit/temp_dir.h"

namespace {

constexpr uint64_t kLength = 2147483648ULL + 7;
constexpr size_t kChunk = 1 << 20;

// Byte i of the test file: depends on its position so that misplaced chunks show.
void FillChunk(uint64_t offset, unsigned char* data, size_t size) {
  for (size_t i = 0; i < size; i += 8) {
    uint64_t v = (offset + i) * 0x9E3779B97F4A7C15ULL;
    for (size_t k = 0; k < 8 && i + k < size; ++k) data[i + k] = static_cast<unsigned char>(v >> (8 * k));
  }
}

TEST(CodecBig, TwoGibibytesAndSevenRoundTrip) {
  const char* flag = std::getenv("TAVRO_BIG_FILE_TEST");
  if (!flag || std::strcmp(flag, "1") != 0) GTEST_SKIP() << "set TAVRO_BIG_FILE_TEST=1 to run the 2 GiB + 7 case";
  testkit::TempDir dir;
  const std::string plain = dir.Join("huge.bin");
  std::vector<unsigned char> chunk(kChunk);
  {
    platform::File file;
    ASSERT_TRUE(file.CreateNew(plain));
    for (uint64_t at = 0; at < kLength; at += kChunk) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, kLength - at));
      FillChunk(at, chunk.data(), n);
      ASSERT_TRUE(file.Write(chunk.data(), n));
    }
  }
  codectest::LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  codec.SetKey("big file password");
  codec.EncryptFile(plain, dir.Join("huge.cpy"));
  ASSERT_TRUE(log.Lines().empty()) << log.Lines()[0].first;
  EXPECT_EQ(codec.GetCounters(), 280 + kLength - 7);
  platform::FileInfo info;
  ASSERT_TRUE(platform::LookupPath(dir.Join("huge.cpy"), &info));
  EXPECT_EQ(info.size, 280 + kLength - 7);

  codec.DecryptFile(dir.Join("huge.cpy"));
  ASSERT_TRUE(log.Lines().empty()) << log.Lines()[0].first;
  EXPECT_EQ(codec.GetCounters(), 280 + kLength - 7);
  EXPECT_EQ(testkit::ListNames(dir.path()), std::vector<std::string>{"huge.bin"});

  platform::File file;
  ASSERT_TRUE(file.OpenExisting(plain));
  uint64_t length = 0;
  ASSERT_TRUE(file.Length(&length));
  ASSERT_EQ(length, kLength);
  std::vector<unsigned char> expected(kChunk);
  for (uint64_t at = 0; at < kLength; at += kChunk) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, kLength - at));
    ASSERT_EQ(file.Read(chunk.data(), n), static_cast<int64_t>(n));
    FillChunk(at, expected.data(), n);
    ASSERT_EQ(std::memcmp(chunk.data(), expected.data(), n), 0) << "at offset " << at;
  }
}

}  // namespace
