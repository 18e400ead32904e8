// File codec rules that only POSIX systems can show: a full disk (a small
// tmpfs, as root), names that Windows cannot even hold, permissions.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

#include "codec/file_codec.h"
#include "codec_testkit.h"
#include "testkit/temp_dir.h"

namespace {

using codectest::ErrorLine;
using codectest::LogRecorder;
using testkit::ListNames;
using testkit::ReadAll;
using testkit::TempDir;
using testkit::WriteAll;

constexpr const char* kPassword = "pw";

// A tmpfs of the given size mounted on a fresh folder, unmounted afterwards.
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& size) {
    if (geteuid() != 0) return;
    const std::string options = "size=" + size + ",mode=0700";
    mounted_ = mount("tavro-test", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(dir_.path().c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  std::string Join(const std::string& name) const { return dir_.Join(name); }
  const std::string& path() const { return dir_.path(); }

 private:
  TempDir dir_;
  bool mounted_ = false;
};

TEST(CodecPosix, FullDiskWhileEncipheringKeepsThePlainFile) {
  SmallDisk disk("2m");
  if (!disk.mounted()) GTEST_SKIP() << "needs root to mount a small tmpfs for the full-disk case";
  const std::string plain = disk.Join("big.bin");
  const auto bytes = testkit::PatternBytes(1500 * 1024, 3);
  WriteAll(plain, bytes);
  LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  codec.SetKey(kPassword);
  codec.zeroPass = 1;
  codec.EncryptFile(plain, disk.Join("x.cpy"));
  EXPECT_EQ(log.Lines(),
            (std::vector<std::pair<std::string, LogKind>>{{ErrorLine("error_write_file", plain), Error}}));
  EXPECT_EQ(ListNames(disk.path()), std::vector<std::string>{"big.bin"});
  EXPECT_TRUE(ReadAll(plain) == bytes);
}

TEST(CodecPosix, FullDiskWhileDecipheringKeepsTheEncipheredFile) {
  SmallDisk disk("2m");
  if (!disk.mounted()) GTEST_SKIP() << "needs root to mount a small tmpfs for the full-disk case";
  const std::string path = disk.Join("e.cpy");
  const auto bytes = codectest::Expected(kPassword, "inner.bin", testkit::PatternBytes(1200 * 1024, 4));
  WriteAll(path, bytes);
  LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  codec.SetKey(kPassword);
  codec.DecryptFile(path);
  EXPECT_EQ(log.Lines(), (std::vector<std::pair<std::string, LogKind>>{
                             {ErrorLine("error_write_file", disk.Join("inner.bin")), Error}}));
  EXPECT_EQ(ListNames(disk.path()), std::vector<std::string>{"e.cpy"});
  EXPECT_TRUE(ReadAll(path) == bytes);
}

TEST(CodecPosix, NamesFollowTheRulesOfLinux) {
  TempDir dir;
  LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  codec.SetKey(kPassword);
  // Ordinary names here, which Windows could not write back: enciphered, with a line saying so.
  for (const std::string name : {"12:30 notes.txt", "back\\slash", "star*", "what?", "CON", "dot."}) {
    log.Clear();
    const std::string plain = dir.Join(name);
    WriteAll(plain, "keep");
    codec.EncryptFile(plain, dir.Join("x.cpy"));
    EXPECT_EQ(log.Lines(), (std::vector<std::pair<std::string, LogKind>>{
                               {codectest::MessageLine("message_name_not_portable", plain), Message}}));
    EXPECT_EQ(codec.LastOutcome(), CFileCodec::Outcome::Done);
    log.Clear();
    codec.DecryptFile(dir.Join("x.cpy"));
    EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0].first;
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{name});
    platform::RemoveFile(plain);
  }
  // A name with control bytes could not be written back here either: refused,
  // saying why, and nothing about the file changed (not even its read-only mark).
  codec.writeReadOnly = 1;
  for (const std::string name : {"bell\x07", "line\nfeed", "\x1b[31mred"}) {
    log.Clear();
    const std::string plain = dir.Join(name);
    WriteAll(plain, "keep");
    ASSERT_TRUE(platform::SetAttributes(plain, platform::kAttrReadOnly));
    codec.EncryptFile(plain, dir.Join("x.cpy"));
    uint32_t attributes = 0;
    EXPECT_TRUE(platform::GetAttributes(plain, &attributes) && (attributes & platform::kAttrReadOnly)) << name;
    EXPECT_EQ(log.Lines(),
              (std::vector<std::pair<std::string, LogKind>>{{ErrorLine("error_name_control", plain), Error}}));
    EXPECT_EQ(codec.LastOutcome(), CFileCodec::Outcome::Failed);
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{name});
    platform::RemoveFile(plain);
  }
}

TEST(CodecPosix, StoredNameTooLongForTheFileSystemIsACreateFailure) {
  TempDir dir;
  LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  codec.SetKey(kPassword);
  const std::string name(256, 'n');  // fills the name block, no line feed
  const std::string path = dir.Join("long.cpy");
  const auto bytes = codectest::WithStoredName(kPassword, name, testkit::PatternBytes(9, 1));
  WriteAll(path, bytes);
  codec.DecryptFile(path);
  EXPECT_EQ(log.Lines(), (std::vector<std::pair<std::string, LogKind>>{
                             {"message : message_file_create_failed : " + dir.Join(name), Message}}));
  EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"long.cpy"});
}

TEST(CodecPosix, PermissionsTravelWithTheFile) {
  TempDir dir;
  LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  codec.SetKey(kPassword);
  const std::string plain = dir.Join("private.txt");
  WriteAll(plain, "secret");
  ASSERT_EQ(chmod(plain.c_str(), 0600), 0);
  codec.EncryptFile(plain, dir.Join("p.cpy"));
  struct stat st;
  ASSERT_EQ(stat(dir.Join("p.cpy").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(chmod(dir.Join("p.cpy").c_str(), 0640), 0);
  codec.DecryptFile(dir.Join("p.cpy"));
  ASSERT_EQ(stat(plain.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(CodecPosix, UnwritableFolderLeavesEverythingInPlace) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into any folder";
  TempDir dir;
  LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  codec.SetKey(kPassword);
  const std::string plain = dir.Join("a");
  WriteAll(plain, "x");
  ASSERT_EQ(chmod(dir.path().c_str(), 0500), 0);
  codec.EncryptFile(plain, dir.Join("a.cpy"));
  chmod(dir.path().c_str(), 0700);
  EXPECT_EQ(log.Lines(), (std::vector<std::pair<std::string, LogKind>>{
                             {"message : message_file_create_failed : " + plain, Message}}));
  EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"a"});
}

}  // namespace

namespace {

TEST(CodecPosix, BareNamesWorkInTheCurrentFolder) {
  TempDir dir;
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  LogRecorder log;
  CFileCodec codec;
  codec.SetLogSink(&log);
  codec.SetKey(kPassword);
  codec.zeroPass = 1;
  WriteAll(dir.Join("bare.txt"), "bare contents");
  codec.EncryptFile("bare.txt", "Bare.cpy");
  const auto afterEncipher = ListNames(dir.path());
  // A bare enciphered-file name has no folder to put the output in.
  codec.DecryptFile("Bare.cpy");
  ASSERT_EQ(chdir(previous), 0);
  EXPECT_EQ(afterEncipher, std::vector<std::string>{"Bare.cpy"});
  EXPECT_EQ(log.Lines(), (std::vector<std::pair<std::string, LogKind>>{
                             {ErrorLine("error_get_decryption_filename", "bare.txt"), Error}}));
  codec.DecryptFile(dir.Join("Bare.cpy"));
  EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"bare.txt"});
}

}  // namespace

namespace {

// Runs `act` once, at the first body chunk (the codec holds both files then).
class AtFirstChunk : public ICodecObserver {
 public:
  explicit AtFirstChunk(std::function<void()> act) : act_(std::move(act)) {}
  void OnCodecEvent(Event event, const std::string&, platform::File*) override {
    if (event == BodyChunkDone && act_) {
      act_();
      act_ = nullptr;
    }
  }

 private:
  std::function<void()> act_;
};

class CodecUnderfoot : public ::testing::Test {
 protected:
  CodecUnderfoot() {
    codec.SetLogSink(&log);
    codec.SetKey(kPassword);
  }
  std::vector<std::pair<std::string, LogKind>> Lines(LogKind kind, const std::string& key, const std::string& path) {
    return {{(kind == Error ? ErrorLine(key, path) : codectest::MessageLine(key, path)), kind}};
  }
  TempDir dir;
  LogRecorder log;
  CFileCodec codec;
};

TEST_F(CodecUnderfoot, PlainFileWrittenToWhileItIsReadIsKeptAndNothingIsMade) {
  const auto bytes = testkit::PatternBytes(3 * 1048576 + 3, 8);
  const std::string plain = dir.Join("growing.log");
  auto append = [&] {
    std::ofstream other(plain, std::ios::binary | std::ios::app);
    other << "written by another program";
  };
  // Appended to (the tail would be lost) or changed in place (same length)
  // while the body is read; appended to while the output is flushed, or while
  // its name is synced: up to the moment the plain file is touched.
  enum When { BodyAppend, BodyInPlace, OutputFlush, OutputSync };
  for (const When when : {BodyAppend, BodyInPlace, OutputFlush, OutputSync}) {
    SCOPED_TRACE(when);
    log.Clear();
    WriteAll(plain, bytes);
    platform::FileTimes old;
    old.lastAccess = old.lastWrite = 1300000000;  // a later write shows in the time, however coarse the clock
    ASSERT_TRUE(platform::SetTimes(plain, old));
    AtFirstChunk writer([&] {
      if (when == BodyAppend) append();
      if (when == BodyInPlace) std::ofstream(plain, std::ios::binary | std::ios::in) << "written by another program";
    });
    codectest::FileOps ops([&](platform::FileOp op, const std::string& p, const std::string&) {
      const bool work = IsWorkFileName(p.substr(p.rfind('/') + 1));
      if ((when == OutputFlush && op == platform::FileOp::Flush && work) ||
          (when == OutputSync && op == platform::FileOp::SyncFolder)) {
        append();
      }
      return false;
    });
    codec.SetObserver(&writer);
    codec.zeroPass = 1;
    codec.EncryptFile(plain, dir.Join("g.cpy"));
    codec.SetObserver(nullptr);
    EXPECT_EQ(log.Lines(), Lines(Error, "error_file_changed", plain));
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"growing.log"});
    EXPECT_EQ(ReadAll(plain).size(), bytes.size() + (when == BodyInPlace ? 0 : 26));
  }
}

// With deferred wipes the passes wait for a later sync: a file written to
// while it waits under its digit name is given back its name, not wiped.
TEST_F(CodecUnderfoot, WaitingWipeOfAFileWrittenToMeanwhileGivesItBack) {
  const auto bytes = testkit::PatternBytes(5000, 9);
  const std::string plain = dir.Join("notes.txt");
  WriteAll(plain, bytes);
  platform::FileTimes old;
  old.lastAccess = old.lastWrite = 1300000000;  // a later write shows in the time, however coarse the clock
  ASSERT_TRUE(platform::SetTimes(plain, old));
  codec.SetDeferWipes(true);
  codec.zeroPass = 1;
  codec.EncryptFile(plain, dir.Join("n.cpy"));
  std::string digits;
  for (const auto& n : ListNames(dir.path()))
    if (n != "n.cpy") digits = dir.Join(n);
  ASSERT_FALSE(digits.empty());
  std::ofstream(digits, std::ios::binary | std::ios::app) << "written by another program";
  EXPECT_TRUE(codec.FinishPendingWipe());
  EXPECT_EQ(log.Lines(), Lines(Error, "error_file_changed", plain));
  EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"n.cpy", "notes.txt"}));
  EXPECT_EQ(ReadAll(plain).size(), bytes.size() + 26);
}

TEST_F(CodecUnderfoot, NameTakenByAnotherFileMeanwhileIsLeftAlone) {
  const auto oldBytes = testkit::PatternBytes(2 * 1048576 + 1, 9);
  const std::vector<unsigned char> newBytes = {'n', 'e', 'w'};
  const std::string plain = dir.Join("report.txt");
  for (const bool passes : {false, true}) {
    SCOPED_TRACE(passes ? "with passes" : "without passes");
    log.Clear();
    WriteAll(plain, oldBytes);
    // A new version is moved over the plain file while its body is enciphered.
    AtFirstChunk replace([&] {
      WriteAll(dir.Join("report.new"), newBytes);
      ASSERT_EQ(rename(dir.Join("report.new").c_str(), plain.c_str()), 0);
    });
    codec.SetObserver(&replace);
    codec.zeroPass = passes;
    codec.EncryptFile(plain, dir.Join("r.cpy"));
    codec.SetObserver(nullptr);
    EXPECT_EQ(log.Lines(), Lines(Error, "error_file_replaced", plain));
    EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"r.cpy", "report.txt"}));
    EXPECT_EQ(ReadAll(plain), newBytes);  // the new version, untouched
    EXPECT_TRUE(ReadAll(dir.Join("r.cpy")) == codectest::Expected(kPassword, "report.txt", oldBytes));  // the old one's only copy
    platform::RemoveFile(dir.Join("r.cpy"));
  }

  // Deciphering: an enciphered file replaced meanwhile is not deleted unread.
  log.Clear();
  platform::RemoveFile(plain);
  const std::string cpy = dir.Join("e.cpy");
  WriteAll(cpy, codectest::Expected(kPassword, "report.txt", oldBytes));
  const auto other = codectest::Expected(kPassword, "other.txt", newBytes);
  AtFirstChunk replace([&] {
    WriteAll(dir.Join("e.new"), other);
    ASSERT_EQ(rename(dir.Join("e.new").c_str(), cpy.c_str()), 0);
  });
  codec.SetObserver(&replace);
  codec.DecryptFile(cpy);
  codec.SetObserver(nullptr);
  EXPECT_EQ(log.Lines(), Lines(Error, "error_file_replaced", cpy));
  EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"e.cpy", "report.txt"}));
  EXPECT_TRUE(ReadAll(cpy) == other);
  EXPECT_TRUE(ReadAll(plain) == oldBytes);

  // A name that leads to another file than the one the walk listed.
  log.Clear();
  platform::FileIdentity listed;
  ASSERT_TRUE(platform::IdentityOf(cpy, &listed));
  codec.EncryptFile(plain, dir.Join("x.cpy"), listed);
  EXPECT_EQ(log.Lines(), Lines(Error, "error_file_replaced", plain));
  EXPECT_EQ(ListNames(dir.path()), (std::vector<std::string>{"e.cpy", "report.txt"}));
}

TEST_F(CodecUnderfoot, OwnerAndGroupTravelWithTheFile) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  const std::string plain = dir.Join("theirs.txt");
  WriteAll(plain, "nobody's secret");
  ASSERT_EQ(chown(plain.c_str(), 65534, 65534), 0);
  ASSERT_EQ(chmod(plain.c_str(), 0600), 0);
  codec.zeroPass = 1;
  codec.EncryptFile(plain, dir.Join("t.cpy"));
  struct stat st;
  ASSERT_EQ(stat(dir.Join("t.cpy").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  codec.DecryptFile(dir.Join("t.cpy"));
  ASSERT_EQ(stat(plain.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(CodecUnderfoot, EncipheredFileRemovedByAnotherProgramKeepsTheOutput) {
  const auto bytes = testkit::PatternBytes(4000, 10);
  const std::string cpy = dir.Join("v.cpy");
  WriteAll(cpy, codectest::Expected(kPassword, "only copy.txt", bytes));
  {
    // Another program removes it just after the output was placed; the codec's own removal then fails.
    codectest::FileOps ops([&](platform::FileOp op, const std::string& p, const std::string&) {
      if (op != platform::FileOp::Remove || p != cpy) return false;
      unlink(cpy.c_str());
      return true;
    });
    codec.DecryptFile(cpy);
  }
  EXPECT_EQ(log.Lines(), Lines(Error, "error_source_vanished", cpy));
  EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"only copy.txt"});
  EXPECT_TRUE(ReadAll(dir.Join("only copy.txt")) == bytes);
}

}  // namespace
