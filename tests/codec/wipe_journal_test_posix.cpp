// The wipe journal on POSIX: a file far larger than any journal (sparse, so
// that it costs no disk) is neither read nor written over; a journal that
// another run rewrote while this one held no lock is the one written to.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdio.h>
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

TEST(WipeJournalPosix, AJournalRewrittenWhileTheLockWasLetGoIsTheOneWrittenTo) {
  // Between its lock held alone and its shared one (Share), or before it
  // takes the lock alone at the end (Close), a run holds no lock: another
  // run may then rewrite the journal, a new file under the old name.
  testkit::TempDir home, data;
  testkit::WriteAll(data.Join("1111"), "one");
  testkit::WriteAll(data.Join("2222"), "two");
  WipeEntry theirs, ours;
  for (WipeEntry* e : {&theirs, &ours}) {
    e->folder = data.path();
    e->name = e == &theirs ? "1111" : "2222";
    e->size = 3;
    ASSERT_TRUE(platform::IdentityOf(e->Path(), &e->identity));
  }
  const std::string path = home.Join(CWipeJournal::kFileName);
  auto rewrite = [&](const std::string& text) {
    testkit::WriteAll(home.Join("other.new"), text);
    ASSERT_EQ(rename(home.Join("other.new").c_str(), path.c_str()), 0);
  };
  CWipeJournal journal;
  ASSERT_TRUE(journal.Open(home.path()));
  rewrite(WipeJournalLine('+', theirs) + "\n");
  journal.Share();
  ASSERT_TRUE(journal.Record(ours));
  std::vector<WipeEntry> pending = journal.Pending(nullptr);
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].name, "1111");
  EXPECT_EQ(pending[1].name, "2222");
  {
    CWipeJournal next;  // a later run reads both from the file under the name
    ASSERT_TRUE(next.Open(home.path(), 0));
    EXPECT_EQ(next.Pending(nullptr).size(), 2u);
  }
  // At the end, the run rewrites what is there now, not what it read before.
  rewrite(WipeJournalLine('+', theirs) + "\n" + WipeJournalLine('+', ours) + "\n" + WipeJournalLine('-', ours) + "\n");
  journal.Close();
  CWipeJournal last;
  ASSERT_TRUE(last.Open(home.path()));
  pending = last.Pending(nullptr);
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].name, "1111");
}

}  // namespace
