// The wipe journal on real files: its lines, pending and finished entries,
// two runs at once, and the recovery at the start of a job.
#include "codec/wipe_journal.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "codec/file_codec.h"
#include "codec_testkit.h"
#include "platform/file.h"
#include "testkit/temp_dir.h"

namespace {

using codectest::FileOps;
using codectest::LogRecorder;
using codectest::MessageLine;
using platform::FileOp;
using testkit::ListNames;
using testkit::ReadAll;
using testkit::TempDir;
using testkit::WriteAll;

WipeEntry EntryFor(const std::string& folder, const std::string& name) {
  WipeEntry e;
  e.folder = folder;
  e.name = name;
  const std::string path = e.Path();
  EXPECT_TRUE(platform::IdentityOf(path, &e.identity)) << path;
  platform::FileInfo info;
  EXPECT_TRUE(platform::LookupPath(path, &info));
  e.size = info.size;
  return e;
}

std::string Text(const std::string& path) {
  const auto bytes = ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(WipeJournalLines, ReadBackWholeAndDamageIsSeen) {
  WipeEntry e;
  e.folder = std::string("/odd folder/100%/new\nline/\xC3\xA9t\xC3\xA9");
  e.name = "0123456789";
  e.identity.volume = 0x803;
  e.identity.index = 0xFFFFFFFFFFFFFFFFull;
  e.size = 12345678901ull;
  const std::string line = WipeJournalLine('+', e);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  char kind = 0;
  WipeEntry back;
  ASSERT_TRUE(ReadWipeJournalLine(line, &kind, &back)) << line;
  EXPECT_EQ(kind, '+');
  EXPECT_EQ(back.folder, e.folder);
  EXPECT_EQ(back.name, e.name);
  EXPECT_EQ(back.identity, e.identity);
  EXPECT_EQ(back.size, e.size);
  ASSERT_TRUE(ReadWipeJournalLine(WipeJournalLine('-', e), &kind, &back));
  EXPECT_EQ(kind, '-');

  WipeEntry notDigits = e;
  notDigits.name = "passwd";
  std::string altered = line;
  altered[5] = altered[5] == '0' ? '1' : '0';
  const std::string damaged[] = {
      "",
      line.substr(0, line.size() - 1),                 // torn
      line.substr(0, 40),                              // torn early
      altered,                                         // a changed byte
      line + " extra",                                 // a field too many
      "x" + line.substr(1),                            // an unknown kind
      WipeJournalLine('+', notDigits),                 // only digit names are ever recorded
      std::string(line.size(), '\0'),                  // zeros after a power cut
  };
  for (const std::string& d : damaged) EXPECT_FALSE(ReadWipeJournalLine(d, &kind, &back)) << d;
}

TEST(WipeJournal, EntriesPendUntilFinishedAndOnlyARunAloneRewritesTheFile) {
  TempDir home, data;
  for (const char* name : {"111", "222", "333"}) WriteAll(data.Join(name), name);
  const WipeEntry a = EntryFor(data.path(), "111"), b = EntryFor(data.path(), "222"), c = EntryFor(data.path(), "333");

  CWipeJournal first;
  ASSERT_TRUE(first.Open(home.path()));
  EXPECT_TRUE(first.Alone());
  first.Share();
  EXPECT_FALSE(first.Alone());
  ASSERT_TRUE(first.Record(a));
  ASSERT_TRUE(first.Record(b));
  ASSERT_TRUE(first.Record(c));
  first.Finish(b);
  // A crash of some other run left half a line, and a line was damaged.
  {
    platform::File raw;
    ASSERT_TRUE(raw.OpenForAppend(first.Path()));
    ASSERT_TRUE(raw.Write("\n+ 0000 garbage", 15));
  }

  CWipeJournal second;  // another run, while the first is busy
  ASSERT_TRUE(second.Open(home.path(), 1000));
  EXPECT_FALSE(second.Alone());
  size_t damaged = 0;
  std::vector<WipeEntry> pending = second.Pending(&damaged);
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].name, "111");
  EXPECT_EQ(pending[1].name, "333");
  EXPECT_EQ(damaged, 0u);  // the torn line has no end yet: it may still be being written
  EXPECT_TRUE(second.Names(a.Path(), a.identity));
  EXPECT_TRUE(second.Names(c.Path(), platform::FileIdentity()));  // by path where the identity is not known
  EXPECT_FALSE(second.Names(b.Path(), b.identity));
  EXPECT_FALSE(second.Names(a.Path(), b.identity));  // the same name, another file
  EXPECT_TRUE(second.Names(second.Path(), platform::FileIdentity()));
  EXPECT_FALSE(second.Compact());  // not alone
  // Lines appended by the other run are seen at the next look.
  first.Finish(c);
  EXPECT_FALSE(second.Names(c.Path(), c.identity));
  second.Close();

  const std::string before = Text(first.Path());
  first.Close();  // alone at the end: rewritten with the pending entry alone
  EXPECT_NE(Text(home.Join(CWipeJournal::kFileName)), before);
  CWipeJournal third;
  ASSERT_TRUE(third.Open(home.path()));
  EXPECT_TRUE(third.Alone());
  pending = third.Pending(&damaged);
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].name, "111");
  EXPECT_EQ(damaged, 0u);
  EXPECT_EQ(Text(third.Path()), WipeJournalLine('+', a) + "\n");
  EXPECT_EQ(ListNames(home.path()), (std::vector<std::string>{CWipeJournal::kLockName, CWipeJournal::kFileName}));
}

TEST(WipeRecovery, FinishesWhatACrashLeftAndTouchesNothingElse) {
  TempDir home, data, elsewhere;
  const auto bytes = testkit::PatternBytes(3000, 1);
  for (const char* name : {"1000", "2000", "3000", "4000", "5000", "6000"}) WriteAll(data.Join(name), bytes);
  WriteAll(elsewhere.Join("other"), "another file");
  const WipeEntry interrupted = EntryFor(data.path(), "1000");
  WipeEntry otherFile = EntryFor(data.path(), "2000");
  otherFile.identity = EntryFor(elsewhere.path(), "other").identity;
  WipeEntry gone = EntryFor(data.path(), "3000");
  platform::RemoveFile(gone.Path());
  const WipeEntry live = EntryFor(data.path(), "4000");
  WipeEntry otherSize = EntryFor(data.path(), "5000");
  otherSize.size += 8;
  const WipeEntry linked = EntryFor(data.path(), "6000");
  std::filesystem::create_hard_link(linked.Path(), elsewhere.Join("backup"));
  {
    CWipeJournal crashed;
    ASSERT_TRUE(crashed.Open(home.path()));
    crashed.Share();
    for (const WipeEntry& e : {interrupted, otherFile, gone, live, otherSize, linked}) ASSERT_TRUE(crashed.Record(e));
    // Ends without its "-" lines, as a killed run leaves it (nothing was finished).
  }
  {
    platform::File raw;
    ASSERT_TRUE(raw.OpenForAppend(home.Join(CWipeJournal::kFileName)));
    ASSERT_TRUE(raw.Write("\ndamaged line\n", 14));
  }

  platform::File otherRun;  // a live wipe of another run holds its file
  ASSERT_TRUE(otherRun.OpenExisting(live.Path()));
  LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  codec.zeroPass = 1;
  CWipeJournal journal;
  ASSERT_TRUE(journal.Open(home.path()));
  std::vector<FileOps::Op> ops;
  {
    FileOps hook;
    codec.RecoverWipes(journal);
    ops = hook.Ops();
  }
  EXPECT_EQ(log.Lines(), (std::vector<std::pair<std::string, LogKind>>{
                             {MessageLine("message_wipe_journal_damaged", journal.Path()), Message},
                             {MessageLine("message_wipe_finished", interrupted.Path()), Message},
                             {MessageLine("message_other_links", linked.Path()), Message}}));
  EXPECT_EQ(ListNames(data.path()), (std::vector<std::string>{"2000", "4000", "5000"}));
  EXPECT_TRUE(ReadAll(data.Join("2000")) == bytes);
  EXPECT_TRUE(ReadAll(data.Join("5000")) == bytes);
  EXPECT_TRUE(ReadAll(elsewhere.Join("backup")) == bytes);  // reached through its other name, never overwritten
  // The interrupted wipe got its pass before it went; nothing else was written to.
  std::vector<std::string> touched;
  for (const auto& o : ops)
    if ((o.op == FileOp::Write || o.op == FileOp::Remove) && o.path.rfind(home.path(), 0) != 0) touched.push_back(o.path);
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  EXPECT_EQ(touched, (std::vector<std::string>{interrupted.Path(), linked.Path()}));
  // Alone, the run dropped all but the live wipe, and rewrote the journal.
  const std::vector<WipeEntry> pending = journal.Pending(nullptr);
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].name, "4000");
  otherRun.Close();
}

TEST(WipeRecovery, AJournalOfGarbageIsSaidOnceNotLineByLine) {
  TempDir home;
  std::string garbage;
  for (int i = 0; i < 100000; ++i) garbage += "x\n";
  WriteAll(home.Join(CWipeJournal::kFileName), garbage);
  LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  CWipeJournal journal;
  ASSERT_TRUE(journal.Open(home.path()));
  codec.RecoverWipes(journal);
  EXPECT_EQ(log.Lines(), (std::vector<std::pair<std::string, LogKind>>{
                             {MessageLine("message_wipe_journal_damaged (100000)", journal.Path()), Message}}));
  EXPECT_TRUE(journal.Pending(nullptr).empty());
  EXPECT_EQ(Text(journal.Path()), "");  // dropped, by the run alone
}

TEST(WipeRecovery, BesideAnotherRunOnlyFinishedWipesAreDropped) {
  TempDir home, data;
  WriteAll(data.Join("7000"), "left by a crash");
  WriteAll(data.Join("8000"), "about to be renamed by a live run");
  const WipeEntry orphan = EntryFor(data.path(), "7000");
  WipeEntry notYet = EntryFor(data.path(), "8000");
  platform::RemoveFile(data.Join("8000"));  // its rename is still to come
  CWipeJournal live;
  ASSERT_TRUE(live.Open(home.path()));
  live.Share();
  ASSERT_TRUE(live.Record(orphan));
  ASSERT_TRUE(live.Record(notYet));

  LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  CWipeJournal journal;
  ASSERT_TRUE(journal.Open(home.path(), 1000));
  ASSERT_FALSE(journal.Alone());
  codec.RecoverWipes(journal);
  EXPECT_EQ(log.Lines(), (std::vector<std::pair<std::string, LogKind>>{
                             {MessageLine("message_wipe_finished", orphan.Path()), Message}}));
  const std::vector<WipeEntry> pending = journal.Pending(nullptr);
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].name, "8000");
}

}  // namespace
