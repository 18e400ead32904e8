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
//   digit name, so a half-overwritten file never sits under its own name, and
//   the wipe journal records it before the rename (codec/wipe_journal.h). The
//   passes begin only once the digit name is on the disk (with deferred
//   wipes, by the next folder sync the job makes anyway).
// - The source is held from its opening to its deletion, and it is renamed,
//   overwritten and deleted only while its name still leads to the file that
//   was read (and that the walk listed). A source that changed while it was
//   read is kept, and its output is not made.
// - A file with other hard links is never overwritten: only its name goes.
// - With verify on, the output is read back from the device (not the cache)
//   before it is placed and checked against what was read: it must decipher
//   under the key to the plain file's name and bytes (enciphering), or give
//   the bytes deciphered (deciphering). Otherwise "error_verify": the output
//   goes, the source stays.
// - Any failure removes the partial output and leaves the source as it was,
//   its read-only attribute included.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "codec/block_crew.h"
#include "codec/content_digest.h"
#include "codec/log_sink.h"
#include "codec/random.h"
#include "codec/wipe_journal.h"
#include "crypto/cast_cipher.h"
#include "platform/file.h"

// Seen from outside at fixed points of a file operation; for tests and
// diagnostics. The codec holds no handle on `path` unless it passes it as
// `held` (then the file can be read through it; the codec seeks before it
// uses the handle again). `held` is null where there is nothing to read.
class ICodecObserver {
 public:
  enum Event {
    BodyChunkDone,   // a body chunk was written (path = source; held = null)
    OutputPlaced,    // the output is complete, flushed, under its final name (path = output);
                     // held = the source, still whole
    PlainRenamed,    // enciphering with a pass on: the plain file got its digit name (path = new name; held = it)
    ZeroPassDone,    // the zero pass is written and flushed (path = digit name; held = it)
    RandomPassDone,  // the random pass is written and flushed (path = digit name; held = it)
  };
  virtual ~ICodecObserver() = default;
  virtual void OnCodecEvent(Event event, const std::string& path, platform::File* held) = 0;
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
  unsigned char verify = 0;         // read each output back from the device before its source goes

  // Where the log lines go (not owned; may be null to drop them).
  void SetLogSink(ILogSink* sink) { sink_ = sink; }
  // Fresh names when an enciphering destination exists already. Without one,
  // such a file is reported "message_file_create_failed" and left alone.
  void SetOutputNamer(OutputNamer namer) { namer_ = std::move(namer); }
  void SetObserver(ICodecObserver* observer) { observer_ = observer; }
  // The journal the wipes are recorded in (not owned; null: none is kept, as
  // for a codec used on its own). With one, a plain file takes its digit name
  // only after its entry is on the disk; when the entry cannot be written the
  // plain file is kept whole under its own name.
  void SetWipeJournal(CWipeJournal* journal) { journal_ = journal; }

  // Deferred wipes (off by default). A plain file that gets overwrite passes
  // is then left held under its digit name, recorded in the journal, when
  // EncryptFile returns; its passes and deletion wait for the next sync of its
  // folder (the next output placed there, or FinishPendingWipe), which puts its
  // digit name on the disk without a sync of its own. The job engine uses it
  // for folders of many files.
  void SetDeferWipes(bool on) { deferWipes_ = on; }
  // Finishes the wipe left waiting, if any: its folder is synced, then the
  // passes run and the file goes. Its bytes count in GetCounters. The owner
  // calls it at the end of a job, before the journal is closed. True when
  // there was one.
  bool FinishPendingWipe();

  // The password's bytes (up to the first zero byte, at most 16 are used).
  void SetKey(const char* password);

  // Enciphers plainPath into destPath (a full path that should not exist yet),
  // carries the plain file's times and attributes over, runs the overwrite
  // passes and removes the plain file. Every outcome is reported. `listed` is
  // the file's identity as the walk saw it, where known: a name that leads
  // elsewhere by the time the file is opened is reported and left alone.
  void EncryptFile(const std::string& plainPath, const std::string& destPath,
                   const platform::FileIdentity& listed = platform::FileIdentity());
  // Deciphers an enciphered file beside itself under its stored name and
  // removes it. Every outcome is reported. `listed` as for EncryptFile.
  void DecryptFile(const std::string& path, const platform::FileIdentity& listed = platform::FileIdentity());
  // Reads an enciphered file to its end, deciphering it in memory, and reports
  // whether it is intact under the key: its length, key check block, stored
  // name (a safe file name here) and lead block, and every byte readable. An
  // intact file gets a message line with its stored name and plain length.
  // Opens it for reading only and changes nothing. `listed` as for EncryptFile.
  void CheckFile(const std::string& path, const platform::FileIdentity& listed = platform::FileIdentity());

  // At the start of a job: finishes every wipe the journal holds whose file
  // still exists with the same identity and size and is held by no other run
  // (the passes as set now, then the deletion), one log line each; drops, and
  // says, damaged lines; leaves other runs' live wipes alone. The journal is
  // rewritten when this run has it alone.
  void RecoverWipes(CWipeJournal& journal);

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
  void AddProcessed(uint64_t count) { processedBytes_.fetch_add(count, std::memory_order_relaxed); }
  // The size of the next body chunk with `remaining` bytes left: the buffer's, or what is left.
  size_t ChunkOf(uint64_t remaining) const {
    return remaining < static_cast<uint64_t>(bufferSize_) ? static_cast<size_t>(remaining)
                                                          : static_cast<size_t>(bufferSize_);
  }
  class ReadOnlyLease;
  enum class Wiped { Done, NotThisFile, Failed };
  // The read-back of an output before its source goes (verify on).
  enum class ReadBack { Same, Differs, Stopped };
  // header: the 280 plain header bytes that were enciphered; length: the plain length.
  ReadBack ReadBackEnciphered(platform::File& file, const unsigned char* header, uint64_t length);
  ReadBack ReadBackPlain(platform::File& file, size_t lead, uint64_t length);
  ReadBack ReadBody(uint64_t length, bool decipher, uint64_t expected);
  // The digest of a body chunk is its two halves' digests (CBlockCrew), in order.
  void FoldLeaves(const uint64_t leaves[2]);
  enum class Recovery { Finished, Gone, NotOurs, Held, Failed };
  void Notify(ICodecObserver::Event event, const std::string& path, platform::File* held);
  void RemovePlainFile(platform::File& plain, const std::string& plainPath, const std::string& name,
                       ReadOnlyLease& readOnly);
  Wiped WipeHeld(platform::File& file, const std::string& path, uint64_t length, ReadOnlyLease& readOnly);
  bool OverwritePass(platform::File& file, const std::string& path, uint64_t length, bool random);
  const unsigned char* RandomPattern(size_t bytes);
  Recovery FinishWipe(const WipeEntry& entry);
  // A new name in folder is on the disk (synced says whether that sync went
  // through): a wipe waiting there may go on.
  void FolderSynced(const std::string& folder, bool synced);
  void FinishPending(bool synced);

  ILogSink* sink_ = nullptr;
  OutputNamer namer_;
  ICodecObserver* observer_ = nullptr;
  CWipeJournal* journal_ = nullptr;
  CCastCipher cipher_;
  // Body chunks are enciphered on two threads. Its own cache line: the
  // hand-over's writes must not share one with the key schedule both read.
  alignas(64) CBlockCrew crew_;
  std::unique_ptr<unsigned char[]> buffer_;
  CContentDigest digest_;          // of the plain bytes of the file in progress (verify on):
                                   // the lead bytes, then each body chunk's two leaves
  platform::DeviceReader reader_;  // reads outputs back from the device
  int32_t bufferSize_ = kBufferSize;
  // The random pass's bytes for one seed (the time in seconds), made only as
  // far as a pass has needed them: files wiped within the same second reuse them.
  std::unique_ptr<unsigned char[]> pattern_;
  CRandom patternRandom_;
  uint32_t patternSeed_ = 0;
  size_t patternBytes_ = 0;
  // The wipe waiting for its folder's sync (deferred wipes).
  struct PendingWipe;
  std::unique_ptr<PendingWipe> pending_;
  bool deferWipes_ = false;
  std::atomic<uint64_t> processedBytes_{0};
  Outcome outcome_ = Outcome::Done;
};
