// Proof before destruction: with verify on, every output is read back from the
// device and checked before its source goes. A byte changed on its way to the
// disk or on its way back (the file layer's test hook playing a bad sector or a
// flipped bit) is reported as "error_verify"; the output goes, the source stays
// exactly as it was. And the read-back happens after the flush and before the
// output gets its name, over every byte of it.
#include <gtest/gtest.h>

#include <algorithm>

#include "codec/file_codec.h"
#include "codec_testkit.h"
#include "platform/file.h"
#include "testkit/temp_dir.h"

namespace {

using codectest::ErrorLine;
using codectest::LogRecorder;
using codectest::MessageLine;
using platform::FileOp;
using testkit::ListNames;
using testkit::ReadAll;
using testkit::TempDir;
using testkit::WriteAll;
using Lines = std::vector<std::pair<std::string, LogKind>>;

constexpr const char* kPassword = "proof";

std::string NameOf(const std::string& path) { return path.substr(platform::FindLastSeparator(path) + 1); }

// Plays the disk: on the codec's work files only, changes one byte at `at`
// on its way to the disk or back, refuses the read-back, or asks for a stop
// when the read-back starts; records the operations and the bytes read back.
class Disk : public platform::IFileOpHook {
 public:
  enum Fault { None, ChangeWritten, ChangeReadBack, RefuseReadBack, StopAtReadBack };
  explicit Disk(Fault fault = None, uint64_t at = 0, CFileCodec* codec = nullptr)
      : fault_(fault), at_(at), codec_(codec) {
    platform::SetFileOpHook(this);
  }
  ~Disk() override { platform::SetFileOpHook(nullptr); }

  bool OnFileOp(FileOp op, const std::string& path, const std::string& to) override {
    ops.push_back({op, path, to});
    if (op != FileOp::ReadBack) return true;
    if (fault_ == StopAtReadBack) codec_->stopFlag = 1;
    return fault_ != RefuseReadBack;
  }
  void OnFileBytes(FileOp op, const std::string& path, uint64_t offset, unsigned char* bytes, size_t size) override {
    if (!IsWorkFileName(NameOf(path))) return;
    const bool mine = (op == FileOp::Write && fault_ == ChangeWritten) || (op == FileOp::ReadBack && fault_ == ChangeReadBack);
    if (mine && at_ >= offset && at_ < offset + size) bytes[at_ - offset] ^= 0x01;
    if (op == FileOp::ReadBack) readBack.insert(readBack.end(), bytes, bytes + size);
  }

  codectest::FileOps::Op Last(FileOp op, const std::string& path) const {
    for (auto it = ops.rbegin(); it != ops.rend(); ++it)
      if (it->op == op && it->path == path) return *it;
    return {};
  }
  std::vector<codectest::FileOps::Op> ops;
  std::vector<unsigned char> readBack;

 private:
  Fault fault_;
  uint64_t at_;
  CFileCodec* codec_;
};

class Verify : public ::testing::Test {
 protected:
  Verify() {
    codec.SetLogSink(&log);
    codec.SetKey(kPassword);
    codec.verify = 1;
  }
  TempDir dir;
  LogRecorder log;
  CFileCodec codec;
};

TEST_F(Verify, AByteChangedOnItsWayToTheDiskOrBackKeepsTheSourceInBothDirections) {
  const size_t sizes[] = {100, 2 * 1048576 + 5};
  for (const size_t size : sizes) {
    const auto bytes = testkit::PatternBytes(size, static_cast<uint32_t>(size));
    const auto enciphered = codectest::Expected(kPassword, "plain.txt", bytes);
    // Places in the enciphered file: the key check block, the name block, the
    // lead block, the body's first, middle and last byte.
    const uint64_t inCpy[] = {3, 100, 275, 280, enciphered.size() / 2, enciphered.size() - 1};
    const uint64_t inPlain[] = {0, size / 2, size - 1};
    for (const Disk::Fault fault : {Disk::ChangeWritten, Disk::ChangeReadBack}) {
      for (const bool encipher : {true, false}) {
        for (const uint64_t at : encipher ? std::vector<uint64_t>(std::begin(inCpy), std::end(inCpy))
                                          : std::vector<uint64_t>(std::begin(inPlain), std::end(inPlain))) {
          SCOPED_TRACE(std::to_string(size) + (fault == Disk::ChangeWritten ? " written" : " read back") +
                       (encipher ? " enciphering" : " deciphering") + " at " + std::to_string(at));
          log.Clear();
          const std::string source = dir.Join(encipher ? "plain.txt" : "in.cpy");
          WriteAll(source, encipher ? bytes : enciphered);
          {
            Disk disk(fault, at);
            if (encipher) {
              codec.EncryptFile(source, dir.Join("out.cpy"));
            } else {
              codec.DecryptFile(source);
            }
          }
          EXPECT_EQ(log.Lines(), (Lines{{ErrorLine("error_verify", source), Error}}));
          EXPECT_EQ(codec.LastOutcome(), CFileCodec::Outcome::Failed);
          EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{NameOf(source)}) << "no output, no work file";
          EXPECT_TRUE(ReadAll(source) == (encipher ? bytes : enciphered)) << "the source is untouched";
          platform::RemoveFile(source);
        }
      }
    }
  }
}

TEST_F(Verify, TheWholeOutputIsReadBackAfterTheFlushAndBeforeItIsPlaced) {
  const auto bytes = testkit::PatternBytes(1048576 + 13, 4);
  const std::string plain = dir.Join("plain.txt");
  for (const bool on : {true, false}) {
    SCOPED_TRACE(on ? "verify on" : "verify off");
    codec.verify = on;
    WriteAll(plain, bytes);
    for (const bool encipher : {true, false}) {
      Disk disk;
      if (encipher) {
        codec.EncryptFile(plain, dir.Join("out.cpy"));
      } else {
        codec.DecryptFile(dir.Join("out.cpy"));
      }
      EXPECT_TRUE(log.Lines().empty());
      const std::string output = encipher ? dir.Join("out.cpy") : plain;
      // The work file: renamed into place at the end.
      const auto placed = std::find_if(disk.ops.begin(), disk.ops.end(), [&](const codectest::FileOps::Op& o) {
        return o.op == FileOp::Rename && o.to == output;
      });
      ASSERT_NE(placed, disk.ops.end());
      const std::string work = placed->path;
      const auto flush = std::find_if(disk.ops.begin(), disk.ops.end(), [&](const codectest::FileOps::Op& o) {
        return o.op == FileOp::Flush && o.path == work;
      });
      const auto readBack = std::find_if(disk.ops.begin(), disk.ops.end(), [&](const codectest::FileOps::Op& o) {
        return o.op == FileOp::ReadBack;
      });
      if (!on) {
        EXPECT_EQ(readBack, disk.ops.end());
        EXPECT_TRUE(disk.readBack.empty());
        continue;
      }
      ASSERT_NE(readBack, disk.ops.end());
      EXPECT_EQ(readBack->path, work);
      EXPECT_TRUE(flush < readBack && readBack < placed) << "flush, read back, place";
      EXPECT_TRUE(disk.readBack == ReadAll(output)) << "every byte of the output was read back";
    }
    EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"plain.txt"});
  }
}

TEST_F(Verify, AReadBackThatCannotStartOrIsStoppedKeepsTheSource) {
  const auto bytes = testkit::PatternBytes(3000, 8);
  const auto enciphered = codectest::Expected(kPassword, "plain.txt", bytes);
  for (const Disk::Fault fault : {Disk::RefuseReadBack, Disk::StopAtReadBack}) {
    for (const bool encipher : {true, false}) {
      SCOPED_TRACE(std::string(fault == Disk::RefuseReadBack ? "refused" : "stopped") +
                   (encipher ? " enciphering" : " deciphering"));
      log.Clear();
      const std::string source = dir.Join(encipher ? "plain.txt" : "in.cpy");
      WriteAll(source, encipher ? bytes : enciphered);
      {
        Disk disk(fault, 0, &codec);
        if (encipher) {
          codec.EncryptFile(source, dir.Join("out.cpy"));
        } else {
          codec.DecryptFile(source);
        }
      }
      if (fault == Disk::RefuseReadBack) {
        EXPECT_EQ(log.Lines(), (Lines{{ErrorLine("error_verify", source), Error}}));
      } else {
        const char* key = encipher ? "message_encryption_canceled" : "message_decryption_canceled";
        EXPECT_EQ(log.Lines(), (Lines{{MessageLine(key, source), Message}}));
        EXPECT_EQ(codec.LastOutcome(), CFileCodec::Outcome::Stopped);
      }
      EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{NameOf(source)});
      EXPECT_TRUE(ReadAll(source) == (encipher ? bytes : enciphered));
      platform::RemoveFile(source);
    }
  }
}

}  // namespace
