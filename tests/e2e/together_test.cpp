// tavro beside another tavro: two jobs on one folder at once, and options
// changed by one run while another job runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "codec/file_codec.h"
#include "codec/format.h"
#include "crypto/cast_cipher.h"
#include "tavro_runner.h"
#include "testkit/temp_dir.h"

namespace {

using e2e::Contains;
using Bytes = std::vector<unsigned char>;

bool AllDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Waits until the program has put a work file into folder.
bool WaitForWorkFile(const std::string& folder, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 2) {
    for (const auto& n : testkit::ListNames(folder))
      if (IsWorkFileName(n)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

TEST(Together, TwoEncipheringRunsOnOneFolderLeaveNoRemnantAndLoseNothing) {
  testkit::TempDir dir;
  std::map<std::string, Bytes> originals;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "file-" + std::to_string(i) + ".txt";
    originals[name] = testkit::PatternBytes(static_cast<size_t>(100 + i * 7), static_cast<uint32_t>(i));
    testkit::WriteAll(dir.Join(name), originals[name]);
  }
  e2e::Tavro tavro;  // one settings folder, so one wipe journal, for both runs
  const std::vector<std::string> encipher = {"-E", "-AUTOSTART", "-P", "pw", dir.path()};
  const pid_t first = tavro.Start(encipher);
  const pid_t second = tavro.Start(encipher);
  const e2e::Result a = tavro.Finish(first), b = tavro.Finish(second);
  // A file the other run holds cannot be opened, so a run may end with 1 for
  // files that the other run did; neither fails otherwise.
  EXPECT_LE(a.status, 1) << a.out;
  EXPECT_LE(b.status, 1) << b.out;

  // Every file is enciphered once; no plain file is left under a digit name,
  // and no enciphered file holds one.
  CCastCipher cipher;
  cipher.SetKey("pw");
  size_t enciphered = 0;
  for (const auto& name : testkit::ListNames(dir.path())) {
    EXPECT_FALSE(AllDigits(name)) << "a plain file left under a digit name: " << name;
    if (name.size() < 4 || name.compare(name.size() - 4, 4, ".cpy") != 0) {
      ADD_FAILURE() << "left over: " << name;
      continue;
    }
    std::string stored;
    Bytes plain;
    ASSERT_EQ(format::DecodeFile(cipher, testkit::ReadAll(dir.Join(name)), &stored, &plain), format::Verdict::Ok);
    EXPECT_FALSE(AllDigits(stored)) << name << " holds a digit-named remnant";
    ++enciphered;
  }
  EXPECT_EQ(enciphered, originals.size());

  const e2e::Result back = tavro.Run({"-D", "-P", "pw", dir.path()});
  EXPECT_EQ(back.status, 0) << back.out;
  for (const auto& o : originals) EXPECT_TRUE(testkit::ReadAll(dir.Join(o.first)) == o.second) << o.first;
}

TEST(Together, OptionsSetWhileAJobRunsStaySet) {
  testkit::TempDir dir;
  const Bytes big = testkit::PatternBytes(96u << 20, 11);
  e2e::Tavro tavro;
  // Both ways: passes turned off, and (the harmful case) turned on again.
  for (const char* value : {"0", "1"}) {
    SCOPED_TRACE(std::string("Zero=") + value);
    testkit::WriteAll(dir.Join("big"), big);
    const pid_t job = tavro.Start({"-E", "-AUTOSTART", "-P", "pw", dir.Join("big")});
    ASSERT_TRUE(WaitForWorkFile(dir.path(), 20000));
    const e2e::Result set = tavro.Run({"--set", std::string("Zero=") + value});
    EXPECT_EQ(set.status, 0) << set.err;
    const e2e::Result done = tavro.Finish(job);
    EXPECT_EQ(done.status, 0) << done.out << done.err;
    EXPECT_FALSE(testkit::Exists(dir.Join("big"))) << "the job ended before the option was set";
    const e2e::Result shown = tavro.Run({"--settings"});
    EXPECT_TRUE(Contains(shown.out, std::string("Zero=") + value + "\n")) << shown.out;
    for (const auto& n : testkit::ListNames(dir.path())) std::remove(dir.Join(n).c_str());
  }
}

}  // namespace
