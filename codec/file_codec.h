// The file codec: enciphers one plain file into an enciphered file (the layout
// of codec/format.h) and deciphers one back, on the worker thread, one file at
// a time. It reports every outcome as one run-log line through an ILogSink and
// counts the bytes it handles for the progress display. It never touches a
// window and knows nothing of jobs; names for new enciphered files come from
// its owner.
//
// Safety rules the codec keeps on every path:
// - An output is written under a work name ("~tavro-XXXXXXXX.tmp", see
//   IsWorkFileName) in its final folder, flushed, given its times and
//   attributes, and only then renamed to its final name by a rename that never
//   replaces an existing file. No partial output ever sits under a final name.
// - The source is overwritten or deleted only after its output is complete and
//   on disk. A plain file that gets overwrite passes is first renamed to a
//   digit name, so a half-overwritten file never sits under its own name.
// - Any failure removes the partial output and leaves the source as it was.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "codec/block_crew.h"
#include "codec/log_sink.h"
#include "crypto/cast_cipher.h"

// Seen from outside at fixed points of a file operation; for tests and
// diagnostics. Unless said otherwise the codec holds no handle on `path` when
// it calls, so the file can be opened and read through the platform layer.
class ICodecObserver {
 public:
  enum Event {
    BodyChunkDone,   // a body chunk was written (both files still held; path = source)
    OutputPlaced,    // the output is complete, flushed, under its final name (path = output);
                     // the source is still whole and no longer held
    PlainRenamed,    // enciphering with a pass on: the plain file got its digit name (path = new name)
    ZeroPassDone,    // the zero pass is written and flushed (path = digit name)
    RandomPassDone,  // the random pass is written and flushed (path = digit name)
  };
  virtual ~ICodecObserver() = default;
  virtual void OnCodecEvent(Event event, const std::string& path) = 0;
};

// Yields a fresh, unused full path for an enciphered file in folder (the job
// engine's MakeOutputName). The codec calls it when the destination it was
// given turns out to exist.
using OutputNamer = std::function<std::string(const std::string& folder)>;

// True for the codec's work names "~tavro-" + 8 hex digits + ".tmp". Such a
// file is only ever left behind by a crash; it is never a job's target.
bool IsWorkFileName(const std::string& name);

class CFileCodec {
 public:
  static constexpr int32_t kBufferSize = 1048576;

  CFileCodec();
  ~CFileCodec();
  CFileCodec(const CFileCodec&) = delete;
  CFileCodec& operator=(const CFileCodec&) = delete;

  // Set to 1 from any thread to stop the file operation in progress before its
  // next body chunk. Every file operation clears it when it begins.
  std::atomic<unsigned char> stopFlag{0};
  // The three options, copied from the settings when a job starts.
  unsigned char zeroPass = 0;       // overwrite the plain file with zeros
  unsigned char randomPass = 0;     // then with random bytes (0..254)
  unsigned char writeReadOnly = 0;  // read-only files may be processed

  // Where the log lines go (not owned; may be null to drop them).
  void SetLogSink(ILogSink* sink) { sink_ = sink; }
  // Fresh names when an enciphering destination exists already. Without one,
  // such a file is reported "message_file_create_failed" and left alone.
  void SetOutputNamer(OutputNamer namer) { namer_ = std::move(namer); }
  void SetObserver(ICodecObserver* observer) { observer_ = observer; }

  // The password's bytes (up to the first zero byte, at most 16 are used).
  void SetKey(const char* password);

  // Enciphers plainPath into destPath (a full path that should not exist yet),
  // carries the plain file's times and attributes over, runs the overwrite
  // passes and removes the plain file. Every outcome is reported.
  void EncryptFile(const std::string& plainPath, const std::string& destPath);
  // Deciphers an enciphered file beside itself under its stored name and
  // removes it. Every outcome is reported.
  void DecryptFile(const std::string& path);

  // How the last file operation ended: done, left alone by a rule the user
  // chose (read-only while write read-only is off), failed, or stopped.
  enum class Outcome { Done, LeftAlone, Failed, Stopped };
  Outcome LastOutcome() const { return outcome_; }

  // Bytes handled in the current (or last) file operation; readable from any thread.
  uint64_t GetCounters() const { return processedBytes_.load(std::memory_order_relaxed); }
  void ResetCounters() { processedBytes_.store(0, std::memory_order_relaxed); }

  // "message" / "error" text, " : ", text, " : ", path, to the log sink.
  void ReportMessage(const std::string& path, const std::string& text);
  void ReportError(const std::string& path, const std::string& text);

 private:
  void Report(LogKind kind, const char* key, const char* tag, const std::string& path);
  void Notify(ICodecObserver::Event event, const std::string& path);
  void AddProcessed(uint64_t count) { processedBytes_.fetch_add(count, std::memory_order_relaxed); }
  void RemovePlainFile(const std::string& plainPath, const std::string& name);
  bool OverwritePass(const std::string& path, bool random);

  ILogSink* sink_ = nullptr;
  OutputNamer namer_;
  ICodecObserver* observer_ = nullptr;
  CCastCipher cipher_;
  CBlockCrew crew_;  // body chunks are enciphered on two threads
  std::unique_ptr<unsigned char[]> buffer_;
  int32_t bufferSize_ = kBufferSize;
  std::atomic<uint64_t> processedBytes_{0};
  Outcome outcome_ = Outcome::Done;
};
