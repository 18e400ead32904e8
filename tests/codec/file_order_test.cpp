// The order of the durable steps, watched through the file layer's hook: an
// output is flushed and its name synced before its source is renamed,
// overwritten or removed; each overwrite pass is flushed before the next step;
// the journal's entry is on the disk before the digit rename. And the failures
// no permission can cause (the tests may run as root), asked of the hook at the
// moment an output is placed: what is kept and what is said.
#include <gtest/gtest.h>

#include <algorithm>

#include "codec/file_codec.h"
#include "codec/wipe_journal.h"
#include "codec_testkit.h"
#include "platform/file.h"
#include "testkit/temp_dir.h"

namespace {

using codectest::ErrorLine;
using codectest::FileOps;
using codectest::LogRecorder;
using platform::FileOp;
using testkit::ListNames;
using testkit::ReadAll;
using testkit::TempDir;
using testkit::WriteAll;
using Lines = std::vector<std::pair<std::string, LogKind>>;

constexpr const char* kPassword = "order";

std::string NameOf(const std::string& path) { return path.substr(platform::FindLastSeparator(path) + 1); }
bool IsWorkName(const std::string& path) { return IsWorkFileName(NameOf(path)); }
bool IsDigitName(const std::string& path) {
  const std::string n = NameOf(path);
  return !n.empty() && std::all_of(n.begin(), n.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Positions of the operations in a recorded sequence.
struct Trace {
  std::vector<FileOps::Op> ops;
  // The first (or last) operation at or after `from` that matches, or -1.
  template <typename Match>
  long First(Match match, long from = 0) const {
    for (size_t i = static_cast<size_t>(from < 0 ? 0 : from); i < ops.size(); ++i)
      if (match(ops[i])) return static_cast<long>(i);
    return -1;
  }
  template <typename Match>
  long Last(Match match, long before) const {
    for (long i = before - 1; i >= 0; --i)
      if (match(ops[static_cast<size_t>(i)])) return i;
    return -1;
  }
};

auto Is(FileOp op, std::function<bool(const std::string&)> path) {
  return [op, path](const FileOps::Op& o) { return o.op == op && path(o.path); };
}
auto Named(const std::string& p) { return [p](const std::string& x) { return x == p; }; }

// The output (a work file renamed to `final`) was written, flushed, renamed
// and its folder synced, all before `sourceTouched`; returns the sync's place.
long ExpectOutputDurableBefore(const Trace& t, long sourceTouched) {
  const long rename = t.First([](const FileOps::Op& o) { return o.op == FileOp::Rename && IsWorkName(o.path); });
  EXPECT_GE(rename, 0) << "the output was never renamed into place";
  if (rename < 0) return -1;
  const std::string work = t.ops[static_cast<size_t>(rename)].path;
  const long lastWrite = t.Last(Is(FileOp::Write, Named(work)), rename);
  const long flush = t.Last(Is(FileOp::Flush, Named(work)), rename);
  EXPECT_GE(lastWrite, 0);
  EXPECT_GT(flush, lastWrite) << "the output is not flushed after its last write, before its rename";
  const long sync = t.First([](const FileOps::Op& o) { return o.op == FileOp::SyncFolder; }, rename);
  EXPECT_GT(sync, rename) << "the folder is not synced after the output's rename";
  EXPECT_LT(sync, sourceTouched) << "the source is touched before the output's name is on the disk";
  EXPECT_LT(rename, sourceTouched);
  return sync;
}

// Each pass's writes end in a flush before the next pass or the removal:
// the operations on the digit-named file, writes run together.
std::vector<FileOp> DigitFileSteps(const Trace& t) {
  std::vector<FileOp> steps;
  for (const auto& o : t.ops) {
    if (!IsDigitName(o.path) || o.op == FileOp::Rename) continue;
    if (!steps.empty() && steps.back() == FileOp::Write && o.op == FileOp::Write) continue;
    steps.push_back(o.op);
  }
  return steps;
}

class FileOrder : public ::testing::Test {
 protected:
  FileOrder() {
    codec.SetLogSink(&log);
    codec.SetKey(kPassword);
    EXPECT_TRUE(journal.Open(journalDir.path()));
    journal.Share();
    codec.SetWipeJournal(&journal);
  }
  std::string Only(const std::string& suffix) {
    for (const auto& n : ListNames(dir.path()))
      if (n.size() > suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0) return dir.Join(n);
    return std::string();
  }
  TempDir dir, journalDir;
  LogRecorder log;
  CFileCodec codec;
  CWipeJournal journal;
};

TEST_F(FileOrder, EncipheringMakesTheOutputDurableBeforeTheSourceIsTouched) {
  for (const int passes : {0, 1, 2}) {
    SCOPED_TRACE("passes " + std::to_string(passes));
    const std::string plain = dir.Join("plain.dat");
    const auto bytes = testkit::PatternBytes(3 * 1048576 + 5, 7);
    WriteAll(plain, bytes);
    codec.zeroPass = passes >= 1;
    codec.randomPass = passes >= 2;
    Trace t;
    {
      FileOps ops;
      codec.EncryptFile(plain, dir.Join("Out.cpy"));
      t.ops = ops.Ops();
    }
    EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0].first;
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"Out.cpy"});
    const long touched = t.First([&](const FileOps::Op& o) {
      return o.path == plain && (o.op == FileOp::Rename || o.op == FileOp::Write || o.op == FileOp::Remove);
    });
    ASSERT_GE(touched, 0);
    ExpectOutputDurableBefore(t, touched);
    platform::RemoveFile(dir.Join("Out.cpy"));
    if (passes == 0) {
      EXPECT_EQ(t.ops[static_cast<size_t>(touched)].op, FileOp::Remove);
      continue;
    }
    // The journal's entry, then its flush, then the rename to digits.
    const FileOps::Op& rename = t.ops[static_cast<size_t>(touched)];
    ASSERT_EQ(rename.op, FileOp::Rename);
    EXPECT_TRUE(IsDigitName(rename.to)) << rename.to;
    const long entry = t.Last(Is(FileOp::Write, Named(journal.Path())), touched);
    const long entryFlushed = t.Last(Is(FileOp::Flush, Named(journal.Path())), touched);
    EXPECT_GE(entry, 0) << "no journal entry before the digit rename";
    EXPECT_GT(entryFlushed, entry) << "the journal entry is not flushed before the digit rename";
    const std::vector<FileOp> expected =
        passes == 1 ? std::vector<FileOp>{FileOp::Write, FileOp::Flush, FileOp::Remove}
                    : std::vector<FileOp>{FileOp::Write, FileOp::Flush, FileOp::Write, FileOp::Flush, FileOp::Remove};
    EXPECT_EQ(DigitFileSteps(t), expected);
    // The finished wipe leaves no pending entry.
    EXPECT_TRUE(journal.Pending(nullptr).empty());
  }
}

// Deferred wipes (the job engine's way): a file's digit name goes on the disk
// with the next output's folder sync, and its passes wait for that sync; a
// wipe waiting in another folder, or at the end, gets a sync of its own.
TEST_F(FileOrder, DeferredWipeWaitsForTheNextOutputsFolderSync) {
  codec.SetDeferWipes(true);
  codec.zeroPass = 1;
  codec.randomPass = 1;
  const std::string sub = dir.Join("sub");
  ASSERT_TRUE(platform::CreateFolders(sub));
  const std::string a = dir.Join("a.txt"), b = dir.Join("b.txt"), c = sub + platform::PathSeparator() + "c.txt";
  const auto bytes = testkit::PatternBytes(5000, 8);
  for (const std::string& p : {a, b, c}) WriteAll(p, bytes);
  // A waiting file is held without sharing (on Windows it cannot be read): its size is looked up.
  auto SizeOf = [](const std::string& path) {
    platform::FileInfo info;
    return platform::LookupPath(path, &info) ? info.size : ~uint64_t{0};
  };
  auto digitFiles = [](const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& n : ListNames(folder))
      if (IsDigitName(n)) found.push_back(n);
    return found;
  };
  Trace t;
  {
    FileOps ops;
    codec.EncryptFile(a, dir.Join("A.cpy"));
    EXPECT_TRUE(testkit::Exists(dir.Join("A.cpy")));
    ASSERT_EQ(digitFiles(dir.path()).size(), 1u) << "a waits under its digit name";
    EXPECT_EQ(SizeOf(dir.Join(digitFiles(dir.path())[0])), bytes.size()) << "not overwritten yet, nor cut";
    codec.EncryptFile(b, dir.Join("B.cpy"));
    ASSERT_EQ(digitFiles(dir.path()).size(), 1u) << "a is wiped, b waits";
    EXPECT_EQ(SizeOf(dir.Join(digitFiles(dir.path())[0])), bytes.size());
    codec.EncryptFile(c, sub + platform::PathSeparator() + "C.cpy");
    EXPECT_TRUE(digitFiles(dir.path()).empty()) << "b's wipe waits for no sync from another folder";
    EXPECT_EQ(digitFiles(sub).size(), 1u);
    EXPECT_TRUE(codec.FinishPendingWipe());
    EXPECT_FALSE(codec.FinishPendingWipe());
    t.ops = ops.Ops();
  }
  EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0].first;
  EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"A.cpy", "B.cpy", "sub"}));
  EXPECT_EQ(ListNames(sub), std::vector<std::string>{"C.cpy"});
  EXPECT_TRUE(journal.Pending(nullptr).empty());

  // a: its entry flushed before its digit rename; then b's output renamed and
  // the folder synced (with no sync between on POSIX, where a rename can wait
  // for it); only then a's first pass.
  const long aRenamed = t.First(Is(FileOp::Rename, Named(a)));
  ASSERT_GE(aRenamed, 0);
  EXPECT_GE(t.Last(Is(FileOp::Flush, Named(journal.Path())), aRenamed), 0);
  const long bOutput = t.First([](const FileOps::Op& o) { return o.op == FileOp::Rename && IsWorkName(o.path); }, aRenamed);
  const long synced = t.First([](const FileOps::Op& o) { return o.op == FileOp::SyncFolder; }, aRenamed);
  const std::string aDigits = t.ops[static_cast<size_t>(aRenamed)].to;
  const long aPass = t.First(Is(FileOp::Write, Named(aDigits)));
  ASSERT_GE(bOutput, 0);
  if (platform::PathSeparator() == '/') {
    EXPECT_GT(synced, bOutput) << "a's digit name got a sync of its own";
  }
  EXPECT_GT(aPass, synced);
  EXPECT_GT(aPass, bOutput);
}

TEST_F(FileOrder, DecipheringMakesTheOutputDurableBeforeTheEncipheredFileGoes) {
  const std::string cpy = dir.Join("in.cpy");
  WriteAll(cpy, codectest::Expected(kPassword, "back.txt", testkit::PatternBytes(1048576 + 9, 2)));
  Trace t;
  {
    FileOps ops;
    codec.DecryptFile(cpy);
    t.ops = ops.Ops();
  }
  EXPECT_TRUE(log.Lines().empty());
  const long removed = t.First(Is(FileOp::Remove, Named(cpy)));
  ASSERT_GE(removed, 0);
  ExpectOutputDurableBefore(t, removed);
  EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"back.txt"});
}

// Failures asked of the hook where the output is placed and the source goes.
TEST_F(FileOrder, FailuresAtTheEndKeepEverythingNeededAndSaySo) {
  const auto bytes = testkit::PatternBytes(5000, 3);
  const std::string plain = dir.Join("p.txt");
  struct Case {
    const char* what;
    bool passes;
    FileOps::Rule refuse;
    std::string key;  // the report; its path is the plain file's, or the digit file's for "digits"
    bool plainKept;   // under its own name, whole
    bool digitsKept;  // under a digit name (overwritten)
    bool pending;     // the journal still names it
  };
  const Case cases[] = {
      {"removal refused", false, [&](FileOp op, const std::string& p, const std::string&) { return op == FileOp::Remove && p == plain; },
       "error_encryption_remove", true, false, false},
      {"digit rename refused", true, [&](FileOp op, const std::string& p, const std::string&) { return op == FileOp::Rename && p == plain; },
       "error_encryption_remove", true, false, false},
      {"removal after the passes refused", true,
       [](FileOp op, const std::string& p, const std::string&) { return op == FileOp::Remove && IsDigitName(p); },
       "digits error_encryption_remove", false, true, true},
      {"output's folder sync refused", true,
       [](FileOp op, const std::string&, const std::string&) { return op == FileOp::SyncFolder; }, "error_folder_sync",
       true, false, false},
      {"journal entry refused", true,
       [&](FileOp op, const std::string& p, const std::string&) { return op == FileOp::Flush && p == journal.Path(); },
       "error_wipe_journal", true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log.Clear();
    WriteAll(plain, bytes);
    codec.zeroPass = c.passes;
    codec.randomPass = c.passes;
    {
      FileOps ops(c.refuse);
      codec.EncryptFile(plain, dir.Join("o.cpy"));
    }
    // The enciphered file is complete and placed in every case.
    CCastCipher cipher;
    cipher.SetKey(kPassword);
    std::string stored;
    std::vector<unsigned char> back;
    ASSERT_EQ(format::DecodeFile(cipher, ReadAll(dir.Join("o.cpy")), &stored, &back), format::Verdict::Ok);
    EXPECT_TRUE(back == bytes);
    std::string digits;
    for (const auto& n : ListNames(dir.path()))
      if (IsDigitName(n)) digits = dir.Join(n);
    const std::string key = c.key.rfind("digits ", 0) == 0 ? c.key.substr(7) : c.key;
    const std::string path = c.key.rfind("digits ", 0) == 0 ? digits : plain;
    EXPECT_EQ(log.Lines(), (Lines{{ErrorLine(key, path), Error}}));
    EXPECT_EQ(testkit::Exists(plain), c.plainKept);
    if (c.plainKept) {
      EXPECT_TRUE(ReadAll(plain) == bytes);
    }
    EXPECT_EQ(!digits.empty(), c.digitsKept);
    if (c.digitsKept) {
      EXPECT_EQ(ReadAll(digits).size(), bytes.size());
    }
    EXPECT_EQ(journal.Names(digits.empty() ? dir.Join("0") : digits, platform::FileIdentity()), c.pending);
    for (const auto& n : ListNames(dir.path())) platform::RemoveFile(dir.Join(n));
  }
}

TEST_F(FileOrder, DecipheringFailuresAtTheEndKeepTheEncipheredFileOrTheOutput) {
  const auto bytes = testkit::PatternBytes(3000, 4);
  const auto enciphered = codectest::Expected(kPassword, "d.txt", bytes);
  const std::string cpy = dir.Join("e.cpy"), out = dir.Join("d.txt");
  // The enciphered file cannot be removed: it stays, and its deciphered twin goes again.
  WriteAll(cpy, enciphered);
  {
    FileOps ops([&](FileOp op, const std::string& p, const std::string&) { return op == FileOp::Remove && p == cpy; });
    codec.DecryptFile(cpy);
  }
  EXPECT_EQ(log.Lines(), (Lines{{ErrorLine("error_file_status", out), Error}}));
  EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"e.cpy"});
  EXPECT_TRUE(ReadAll(cpy) == enciphered);
  // The output's folder cannot be synced: both stay, and that is said.
  log.Clear();
  {
    FileOps ops([](FileOp op, const std::string&, const std::string&) { return op == FileOp::SyncFolder; });
    codec.DecryptFile(cpy);
  }
  EXPECT_EQ(log.Lines(), (Lines{{ErrorLine("error_folder_sync", cpy), Error}}));
  EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"d.txt", "e.cpy"}));
  EXPECT_TRUE(ReadAll(out) == bytes);
}

TEST_F(FileOrder, DigitRenameWhoseFolderSyncFailsStillWipes) {
  const std::string plain = dir.Join("p.txt");
  WriteAll(plain, testkit::PatternBytes(100, 5));
  codec.zeroPass = 1;
  int syncs = 0;
  {
    // The output's sync goes through; the one after the digit rename does not.
    FileOps ops([&](FileOp op, const std::string&, const std::string&) { return op == FileOp::SyncFolder && ++syncs == 3; });
    codec.EncryptFile(plain, dir.Join("o.cpy"));
  }
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0].first.rfind("error : error_folder_sync : " + dir.path(), 0), 0u) << log.Lines()[0].first;
  EXPECT_TRUE(IsDigitName(log.Lines()[0].first.substr(log.Lines()[0].first.rfind(platform::PathSeparator()) + 1)));
  EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"o.cpy"});
}

}  // namespace
