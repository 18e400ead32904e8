// The wipe journal on POSIX: a file far larger than any journal (sparse, so
// that it costs no disk) is neither read nor written over.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include "codec/wipe_journal.h"
#include "platform/file.h"
#include "testkit/temp_dir.h"

namespace {

TEST(WipeJournalPosix, AJournalTooLargeToBeOursIsNeitherReadNorWrittenOver) {
  testkit::TempDir home;
  const std::string path = home.Join(CWipeJournal::kFileName);
  for (const long long size : {64LL << 30, (64LL << 20) + 1}) {
    SCOPED_TRACE(size);
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, size), 0);
    close(fd);
    CWipeJournal journal;
    EXPECT_FALSE(journal.Open(home.path()));
    size_t damaged = 0;
    EXPECT_TRUE(journal.Pending(&damaged).empty());
    journal.Close();
    platform::FileInfo info;
    ASSERT_TRUE(platform::LookupPath(path, &info));
    EXPECT_EQ(info.size, static_cast<uint64_t>(size));
  }
}

}  // namespace
