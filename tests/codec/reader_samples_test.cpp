// The enciphered files kept as samples (the fuzz target's seeds): made by the
// program itself, they read back under their password, one for each length
// class of the lead block.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "codec/file_codec.h"
#include "codec/format.h"
#include "codec/names.h"
#include "crypto/cast_cipher.h"
#include "platform/file.h"
#include "testkit/temp_dir.h"

namespace {

TEST(ReaderSamples, EveryLengthClassReadsBackWithAPlainName) {
  const std::string folder = std::string(TAVRO_TEST_DATA) + "/cpy";
  CCastCipher cipher;
  cipher.SetKey("fuzz");
  std::set<size_t> leadCounts;
  size_t files = 0;
  for (const std::string& name : testkit::ListNames(folder)) {
    SCOPED_TRACE(name);
    std::string stored;
    std::vector<unsigned char> plain;
    ASSERT_EQ(format::DecodeFile(cipher, testkit::ReadAll(folder + platform::PathSeparator() + name), &stored, &plain),
              format::Verdict::Ok);
    EXPECT_TRUE(IsSafeFileName(stored, NameRules::Posix) && IsSafeFileName(stored, NameRules::Windows)) << stored;
    leadCounts.insert(plain.size() % 8);
    ++files;
  }
  EXPECT_GE(files, 16u);
  EXPECT_EQ(leadCounts.size(), 8u);
}

}  // namespace
