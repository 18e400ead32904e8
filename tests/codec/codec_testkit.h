// Shared pieces of the file codec tests: a log that keeps its lines, a folder
// snapshot, enciphered files built in memory.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "codec/file_codec.h"
#include "codec/format.h"
#include "crypto/cast_cipher.h"
#include "platform/file.h"
#include "testkit/temp_dir.h"

namespace codectest {

class LogRecorder : public ILogSink {
 public:
  void LogLine(const std::string& line, LogKind kind) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(line, kind);
  }
  std::vector<std::pair<std::string, LogKind>> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::string, LogKind>> lines_;
};

inline std::string MessageLine(const std::string& text, const std::string& path) {
  return "message : " + text + " : " + path;
}
inline std::string ErrorLine(const std::string& text, const std::string& path) {
  return "error : " + text + " : " + path;
}

// The enciphered bytes the codec must write for name and plain under password.
inline std::vector<unsigned char> Expected(const char* password, const std::string& name,
                                           const std::vector<unsigned char>& plain) {
  CCastCipher cipher;
  cipher.SetKey(password);
  std::vector<unsigned char> out;
  EXPECT_EQ(format::EncodeFile(cipher, name, plain, &out), format::Verdict::Ok);
  return out;
}

// An enciphered file whose name block holds exactly `rawName` followed by a
// line feed (or nothing, when it fills the block), whatever that name is.
inline std::vector<unsigned char> WithStoredName(const char* password, const std::string& rawName,
                                                 const std::vector<unsigned char>& plain) {
  std::vector<unsigned char> file = Expected(password, "placeholder", plain);
  unsigned char block[format::kNameBlockSize] = {};
  for (size_t i = 0; i < rawName.size() && i < sizeof block; ++i) block[i] = static_cast<unsigned char>(rawName[i]);
  if (rawName.size() < sizeof block) block[rawName.size()] = '\n';
  CCastCipher cipher;
  cipher.SetKey(password);
  cipher.EncryptBlocks(block, sizeof block / 8);
  std::copy(block, block + sizeof block, file.begin() + format::kKeyCheckSize);
  return file;
}

// Sees the file layer's operations while it lives, in order, and refuses
// those the rule says no to (the platform's test hook).
class FileOps : public platform::IFileOpHook {
 public:
  using Rule = std::function<bool(platform::FileOp op, const std::string& path, const std::string& to)>;
  struct Op {
    platform::FileOp op;
    std::string path, to;
  };
  explicit FileOps(Rule refuse = nullptr) : refuse_(std::move(refuse)) { platform::SetFileOpHook(this); }
  ~FileOps() override { platform::SetFileOpHook(nullptr); }
  bool OnFileOp(platform::FileOp op, const std::string& path, const std::string& to) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ops_.push_back(Op{op, path, to});
    return !(refuse_ && refuse_(op, path, to));
  }
  std::vector<Op> Ops() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ops_;
  }

 private:
  std::mutex mutex_;
  Rule refuse_;
  std::vector<Op> ops_;
};

// Every byte of a file through a handle the codec holds (from the start; the
// codec seeks before it uses the handle again).
inline std::vector<unsigned char> ReadHeld(platform::File* held) {
  std::vector<unsigned char> bytes;
  uint64_t length = 0;
  if (!held || !held->Length(&length) || !held->Seek(0)) {
    ADD_FAILURE() << "no file to read";
    return bytes;
  }
  bytes.resize(static_cast<size_t>(length));
  EXPECT_EQ(held->Read(bytes.data(), bytes.size()), static_cast<int64_t>(bytes.size()));
  return bytes;
}

}  // namespace codectest
