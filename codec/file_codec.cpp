#include "codec/file_codec.h"

#include <cstring>

#include "codec/format.h"
#include "codec/names.h"
#include "codec/random.h"
#include "platform/file.h"
#include "platform/system.h"
#include "text/text_table.h"

namespace {

using platform::File;

// Splits a path at its last separator: folder (possibly "" for the root) and
// name. Without a separator the name is the whole path, the folder is "." and
// the result is false. JoinPath(folder, x) always lands beside the path.
bool SplitPath(const std::string& path, std::string* folder, std::string* name) {
  const size_t at = platform::FindLastSeparator(path);
  if (at == std::string::npos) {
    if (folder) *folder = ".";
    if (name) *name = path;
    return false;
  }
  if (folder) *folder = path.substr(0, at);
  if (name) *name = path.substr(at + 1);
  return true;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder + platform::PathSeparator() + name;
}

// A name fit for a log line: control bytes shown as '?'.
std::string Printable(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) c = '?';
  }
  return out;
}

// A new output under a work name, held until it is placed. Unless it was
// placed, the file is removed (through its handle) when this goes away.
class WorkFile {
 public:
  ~WorkFile() { Discard(); }

  bool Create(const std::string& folder) {
    static const char kHex[] = "0123456789ABCDEF";
    for (int attempt = 0; attempt < 64; ++attempt) {
      std::string name = "~tavro-";
      for (int i = 0; i < 8; ++i) name += kHex[NextRandom() & 15];
      name += ".tmp";
      const std::string candidate = JoinPath(folder, name);
      if (file.CreateNew(candidate)) {
        path = candidate;
        return true;
      }
      if (!platform::LookupPath(candidate, nullptr)) return false;  // not a name clash
    }
    return false;
  }

  // Gives the finished output its final name, never replacing a file.
  platform::RenameResult Place(const std::string& to) {
    const platform::RenameResult result = file.RenameTo(path, to);
    if (result == platform::RenameResult::Done || result == platform::RenameResult::NotSynced) path.clear();
    return result;
  }

  void Discard() {
    if (file.IsOpen() && !path.empty()) {
      file.SetAttributes(platform::kAttrNormal);  // a read-only file cannot be deleted on Windows
      file.Remove(path);  // only while the work name still leads to this file
    }
    file.Close();
    path.clear();
  }

  File file;
  std::string path;
};

bool Placed(platform::RenameResult result) {
  return result == platform::RenameResult::Done || result == platform::RenameResult::NotSynced;
}

// Closes a device reader on every way out.
class DeviceRead {
 public:
  explicit DeviceRead(platform::DeviceReader& reader) : reader_(reader) {}
  ~DeviceRead() { reader_.Close(); }
  DeviceRead(const DeviceRead&) = delete;
  DeviceRead& operator=(const DeviceRead&) = delete;

 private:
  platform::DeviceReader& reader_;
};

// True while the name still leads to the file of that identity.
bool StillThere(const std::string& path, const platform::FileIdentity& identity) {
  platform::FileIdentity now;
  return platform::IdentityOf(path, &now) && now == identity;
}

}  // namespace

bool IsWorkFileName(const std::string& name) {
  static const char kPrefix[] = "~tavro-";
  static const char kSuffix[] = ".tmp";
  if (name.size() != 7 + 8 + 4) return false;
  if (name.compare(0, 7, kPrefix) != 0 || name.compare(15, 4, kSuffix) != 0) return false;
  for (size_t i = 7; i < 15; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

CFileCodec::CFileCodec() : buffer_(new unsigned char[kBufferSize]) {}

void CFileCodec::SetKey(const char* password) { cipher_.SetKey(password); }

void CFileCodec::ReportMessage(const std::string& path, const std::string& text) {
  if (sink_) sink_->LogLine(LookupText("message") + " : " + text + " : " + path, Message);
}

void CFileCodec::ReportError(const std::string& path, const std::string& text) {
  if (sink_) sink_->LogLine(LookupText("error") + " : " + text + " : " + path, Error);
}

void CFileCodec::Report(LogKind kind, const char* key, const char* tag, const std::string& path) {
  std::string text = LookupText(key);
  if (tag) text += tag;
  if (kind == Error) {
    outcome_ = Outcome::Failed;
    ReportError(path, text);
  } else {
    ReportMessage(path, text);
  }
}

// A read-only attribute cleared for the work. It is set again, through the
// open file once there is one, on every path that keeps the file.
class CFileCodec::ReadOnlyLease {
 public:
  ReadOnlyLease(const std::string& path, uint32_t initial) : path_(path), initial_(initial) {}
  ~ReadOnlyLease() { Restore(); }
  ReadOnlyLease(const ReadOnlyLease&) = delete;
  ReadOnlyLease& operator=(const ReadOnlyLease&) = delete;

  // Clears the attribute by name (before the file can be opened for writing).
  bool Clear() {
    if (!(initial_ & platform::kAttrReadOnly)) return true;
    if (!platform::SetAttributes(path_, initial_ & ~platform::kAttrReadOnly)) return false;
    cleared_ = true;
    return true;
  }
  // From now on the attribute goes back through the open file.
  void Hold(File* file) { file_ = file; }
  void Restore() {
    if (!cleared_) return;
    cleared_ = false;
    if (file_ && file_->IsOpen()) {
      file_->SetAttributes(initial_);
    } else {
      platform::SetAttributes(path_, initial_);
    }
  }
  // The file is gone: nothing to put back.
  void Release() { cleared_ = false; }
  // Takes over another lease, whose file is now `file`; the other one is done.
  void TakeOver(ReadOnlyLease& from, File* file) {
    path_ = from.path_;
    initial_ = from.initial_;
    cleared_ = from.cleared_;
    from.cleared_ = false;
    file_ = file;
  }

 private:
  std::string path_;
  uint32_t initial_;
  File* file_ = nullptr;
  bool cleared_ = false;
};

// A plain file under its digit name, held, recorded in the journal, whose
// passes wait for the sync of its folder.
struct CFileCodec::PendingWipe {
  PendingWipe() : readOnly(std::string(), 0) {}
  File file;
  ReadOnlyLease readOnly;  // after the file: the attribute goes back through it
  std::string path;        // its digit name
  std::string plainPath;   // its own name
  WipeEntry entry;
  uint64_t length = 0;
  int64_t writeStamp = 0;  // as it was when it took its digit name
  unsigned char zero = 0, random = 0;  // the passes it gets
};

CFileCodec::~CFileCodec() {
  // Nobody to tell any more, and the journal may be gone: the wipe still ends.
  sink_ = nullptr;
  observer_ = nullptr;
  journal_ = nullptr;
  FinishPendingWipe();
}

bool CFileCodec::FinishPendingWipe() {
  if (!pending_) return false;
  FinishPending(false);
  return true;
}

void CFileCodec::FolderSynced(const std::string& folder, bool synced) {
  if (pending_ && pending_->entry.folder == folder) FinishPending(synced);
}

void CFileCodec::FinishPending(bool synced) {
  const std::unique_ptr<PendingWipe> wipe = std::move(pending_);
  const Outcome outcome = outcome_;  // the file in progress keeps its own
  // A digit name that may not survive a power cut is said, as for any file.
  if (!synced && !platform::SyncFolder(wipe->entry.folder)) Report(Error, "error_folder_sync", nullptr, wipe->path);
  platform::FileInfo now;
  if (!wipe->file.Status(&now) || now.size != wipe->length || now.writeStamp != wipe->writeStamp) {
    // Written to while it waited (a program that ignores the lock): what was
    // written is in no output. It goes back to its name as it is now.
    const platform::RenameResult back = wipe->file.RenameTo(wipe->path, wipe->plainPath);
    if (Placed(back) && journal_) journal_->Finish(wipe->entry);
    Report(Error, "error_file_changed", nullptr, Placed(back) ? wipe->plainPath : wipe->path);
    outcome_ = outcome;
    return;
  }
  Notify(ICodecObserver::PlainRenamed, wipe->path, &wipe->file);
  const unsigned char zero = zeroPass, random = randomPass;
  zeroPass = wipe->zero;
  randomPass = wipe->random;
  if (WipeHeld(wipe->file, wipe->path, wipe->length, wipe->readOnly) == Wiped::Done && journal_) {
    journal_->Finish(wipe->entry);
  }
  zeroPass = zero;
  randomPass = random;
  outcome_ = outcome;
}

void CFileCodec::Notify(ICodecObserver::Event event, const std::string& path, File* held) {
  if (observer_) observer_->OnCodecEvent(event, path, held);
}

void CFileCodec::EncryptFile(const std::string& plainPath, const std::string& destPath,
                             const platform::FileIdentity& listed) {
  stopFlag.store(0);
  processedBytes_.store(0);
  outcome_ = Outcome::Failed;

  std::string plainName, destFolder;
  SplitPath(plainPath, nullptr, &plainName);
  // A name that this system could never write back is refused first, before
  // anything about the file is changed (its read-only attribute, say).
  const NameVerdict hostVerdict = CheckFileName(plainName, HostNameRules());
  if (hostVerdict != NameVerdict::Ok) {
    Report(Error, hostVerdict == NameVerdict::ControlByte ? "error_name_control" : "error_unsafe_name", nullptr,
           plainPath);
    return;
  }

  uint32_t initial = 0;
  if (!platform::GetAttributes(plainPath, &initial)) {
    Report(Message, "message_file_open_failed", nullptr, plainPath);
    return;
  }
  File plain;  // declared before the lease: the attribute goes back through it
  ReadOnlyLease readOnly(plainPath, initial);
  if (initial & platform::kAttrReadOnly) {
    if (!writeReadOnly || !readOnly.Clear()) {
      outcome_ = writeReadOnly ? Outcome::Failed : Outcome::LeftAlone;
      Report(Message, "message_file_attributes_failed", nullptr, plainPath);
      return;
    }
  }

  // Held from here to its deletion.
  platform::FileInfo opened;
  if (!plain.OpenExisting(plainPath, &opened)) {
    plain.Close();
    Report(Message, "message_file_open_failed", nullptr, plainPath);
    return;
  }
  readOnly.Hold(&plain);
  if (listed.Known() && listed != opened.identity) {
    // The name leads elsewhere than when the folder was listed (a folder on
    // the way swapped for a link, the file replaced): not the file chosen.
    Report(Error, "error_file_replaced", nullptr, plainPath);
    return;
  }
  const uint64_t length = opened.size;
  const size_t lead = static_cast<size_t>(length % 8);
  digest_.Reset();

  SplitPath(destPath, &destFolder, nullptr);
  // A wipe waiting in another folder gets no sync from this file.
  if (pending_ && pending_->entry.folder != destFolder) FinishPending(false);

  WorkFile out;
  if (!out.Create(destFolder)) {
    Report(Message, "message_file_create_failed", nullptr, plainPath);
    return;
  }

  // Key check block, with a self-test of the cipher on it.
  unsigned char check[format::kKeyCheckSize];
  if (format::BuildKeyCheckBlock(cipher_.Key(), check) != format::Verdict::Ok) {
    Report(Message, "error_word", nullptr, plainPath);
    return;
  }
  unsigned char sealed[format::kKeyCheckSize];
  unsigned char unsealed[format::kKeyCheckSize];
  for (size_t i = 0; i < format::kKeyCheckSize; i += 8) {
    cipher_.EncryptBlock(sealed + i, check + i);
    cipher_.DecryptBlock(unsealed + i, sealed + i);
  }
  if (std::memcmp(unsealed, check, sizeof check) != 0) {
    Report(Error, "error_safety_check", nullptr, plainPath);
    return;
  }
  // The plain header as it must come back: key check, name and lead blocks.
  unsigned char header[format::kHeaderSize];
  std::memcpy(header, check, sizeof check);
  if (!out.file.Write(sealed, sizeof sealed)) {
    Report(Error, "error_write_file", nullptr, plainPath);
    return;
  }
  AddProcessed(sizeof sealed);

  // Name block.
  unsigned char nameBlock[format::kNameBlockSize];
  const format::Verdict nameVerdict = format::BuildNameBlock(plainName, nameBlock);
  if (nameVerdict == format::Verdict::NameTooLong) {
    Report(Error, "error_max_path", nullptr, plainPath);
    return;
  }
  if (nameVerdict != format::Verdict::Ok) {
    Report(Error, "error_unsafe_name", nullptr, plainPath);
    return;
  }
  std::memcpy(header + format::kKeyCheckSize, nameBlock, sizeof nameBlock);
  cipher_.EncryptBlocks(nameBlock, sizeof nameBlock / 8);
  if (!out.file.Write(nameBlock, sizeof nameBlock)) {
    Report(Error, "error_write_file", nullptr, plainPath);
    return;
  }
  AddProcessed(sizeof nameBlock);

  // Lead block: the first length % 8 bytes.
  unsigned char* buffer = buffer_.get();
  if (lead > 0 && plain.Read(buffer, lead) != static_cast<int64_t>(lead)) {
    Report(Error, "error_read_file", ":Leave", plainPath);
    return;
  }
  if (verify) digest_.Update(buffer, lead);
  unsigned char leadBlock[format::kLeadBlockSize];
  format::BuildLeadBlock(buffer, lead, leadBlock);
  std::memcpy(header + format::kKeyCheckSize + format::kNameBlockSize, leadBlock, sizeof leadBlock);
  cipher_.EncryptBlocks(leadBlock, 1);
  if (!out.file.Write(leadBlock, sizeof leadBlock)) {
    Report(Error, "error_write_file", nullptr, plainPath);
    return;
  }
  AddProcessed(sizeof leadBlock);

  // Body, chunk by chunk, enciphered in place.
  uint64_t remaining = length - lead;
  for (;;) {
    if (stopFlag.load()) {
      out.Discard();
      outcome_ = Outcome::Stopped;
      Report(Message, "message_encryption_canceled", nullptr, plainPath);
      return;
    }
    const size_t want = ChunkOf(remaining);
    const int64_t got = plain.Read(buffer, want);
    if (got != static_cast<int64_t>(want)) {
      Report(Error, "error_read_file", nullptr, plainPath);
      return;
    }
    AddProcessed(want);
    if (verify && want > 0) {  // an empty chunk adds nothing, here as in the read-back
      uint64_t leaves[2];
      crew_.EncryptDigesting(cipher_, buffer, want / 8, leaves);
      FoldLeaves(leaves);
    } else {
      crew_.Encrypt(cipher_, buffer, want / 8);
    }
    if (!out.file.Write(buffer, want)) {
      Report(Error, "error_write_file", nullptr, plainPath);
      return;
    }
    remaining -= want;
    Notify(ICodecObserver::BodyChunkDone, plainPath, nullptr);
    if (want < static_cast<size_t>(bufferSize_) || remaining == 0) break;
  }

  // Times (whole seconds), owner and permissions, attributes of the plain
  // file; then everything on the disk before anything happens to the plain file.
  if (!out.file.SetTimes(opened.times) || !out.file.CopyAccessFrom(plain) || !out.file.SetAttributes(initial)) {
    Report(Error, "error_file_status", nullptr, plainPath);
    return;
  }
  if (!out.file.Flush()) {
    Report(Error, "error_write_file", nullptr, plainPath);
    return;
  }
  // Proof before destruction: the output, read back from the device, must
  // decipher to the very bytes and name that were read.
  if (verify) {
    const ReadBack proof = ReadBackEnciphered(out.file, header, length);
    if (proof == ReadBack::Stopped) {
      out.Discard();
      outcome_ = Outcome::Stopped;
      Report(Message, "message_encryption_canceled", nullptr, plainPath);
      return;
    }
    if (proof != ReadBack::Same) {
      Report(Error, "error_verify", nullptr, plainPath);
      return;
    }
  }

  // The plain file must still be what was read, up to the moment it is
  // touched: a program that ignores the lock (POSIX) may have written to it
  // while it was read or while the output was flushed and placed (both may
  // take long), and the output would miss what it wrote.
  auto changed = [&] {
    platform::FileInfo now;
    return !plain.Status(&now) || now.size != opened.size || now.writeStamp != opened.writeStamp;
  };
  if (changed()) {
    Report(Error, "error_file_changed", nullptr, plainPath);
    return;
  }

  // The final name, never replacing a file that appeared meanwhile.
  std::string finalPath = destPath;
  platform::RenameResult placed = out.Place(finalPath);
  for (int attempt = 0; attempt < 16 && placed == platform::RenameResult::NameTaken && namer_; ++attempt) {
    finalPath = namer_(destFolder);
    if (finalPath.empty()) break;
    placed = out.Place(finalPath);
  }
  if (!Placed(placed)) {
    Report(Message, "message_file_create_failed", nullptr, plainPath);
    return;
  }
  if (changed()) {
    // The output holds what the file was: it goes again, the file stays.
    out.file.SetAttributes(platform::kAttrNormal);
    out.file.Remove(finalPath);
    Report(Error, "error_file_changed", nullptr, plainPath);
    return;
  }
  out.file.Close();
  FolderSynced(destFolder, placed == platform::RenameResult::Done);
  Notify(ICodecObserver::OutputPlaced, finalPath, &plain);
  if (placed == platform::RenameResult::NotSynced) {
    // The output's name may not survive a power cut: the plain file stays.
    Report(Error, "error_folder_sync", nullptr, plainPath);
    return;
  }

  outcome_ = Outcome::Done;
  RemovePlainFile(plain, plainPath, plainName, readOnly);
  // Enciphered all the same: the other system would refuse to write this name back.
  if (!IsSafeFileName(plainName, OtherNameRules())) Report(Message, "message_name_not_portable", nullptr, plainPath);
}

void CFileCodec::RemovePlainFile(File& plain, const std::string& plainPath, const std::string& name,
                                 ReadOnlyLease& readOnly) {
  platform::FileInfo now;
  if (!plain.Status(&now)) {
    Report(Error, "error_encryption_remove", nullptr, plainPath);
    return;
  }
  // Overwriting a file with other hard links would destroy what they lead to.
  const bool otherLinks = now.links > 1;
  if (otherLinks || (!zeroPass && !randomPass)) {
    switch (plain.Remove(plainPath)) {
      case platform::RemoveResult::Done:
        if (otherLinks) {
          readOnly.Restore();  // the other names keep the file, and its attribute
        } else {
          readOnly.Release();
        }
        plain.Close();
        if (otherLinks) Report(Message, "message_other_links", nullptr, plainPath);
        return;
      case platform::RemoveResult::NotThisFile:
        Report(Error, "error_file_replaced", nullptr, plainPath);
        return;
      case platform::RemoveResult::Failed:
        Report(Error, "error_encryption_remove", nullptr, plainPath);
        return;
    }
  }

  // Away from its own name first: a half-overwritten file never sits there.
  // The journal has the new name on the disk before the rename.
  WipeEntry entry;
  SplitPath(plainPath, &entry.folder, nullptr);
  entry.identity = now.identity;
  entry.size = now.size;
  SeedRandom(static_cast<uint32_t>(platform::NowSeconds()));
  std::string digitPath;
  platform::RenameResult renamed = platform::RenameResult::NameTaken;
  for (int attempt = 0; attempt < 100 && renamed == platform::RenameResult::NameTaken; ++attempt) {
    std::string digits(name.size(), '0');
    for (char& c : digits) c = static_cast<char>('0' + NextRandom() % 10);
    digitPath = JoinPath(entry.folder, digits);
    if (platform::LookupPath(digitPath, nullptr)) continue;  // taken: the journal names no file but ours
    entry.name = digits;
    if (journal_ && !journal_->Record(entry)) {
      Report(Error, "error_wipe_journal", nullptr, plainPath);
      return;
    }
    renamed = plain.RenameTo(plainPath, digitPath, !deferWipes_);
    if (journal_ && !Placed(renamed)) journal_->Finish(entry);  // the rename never happened
  }
  if (renamed == platform::RenameResult::NotThisFile) {
    Report(Error, "error_file_replaced", nullptr, plainPath);
    return;
  }
  if (!Placed(renamed)) {
    Report(Error, "error_encryption_remove", nullptr, plainPath);
    return;
  }
  if (deferWipes_) {
    // Held as it is until the next sync of this folder puts the digit name on the disk.
    pending_.reset(new PendingWipe);
    pending_->readOnly.TakeOver(readOnly, &pending_->file);
    pending_->file.Swap(plain);
    pending_->path = digitPath;
    pending_->entry = entry;
    pending_->plainPath = plainPath;
    pending_->length = now.size;
    pending_->writeStamp = now.writeStamp;
    pending_->zero = zeroPass;
    pending_->random = randomPass;
    return;
  }
  if (renamed == platform::RenameResult::NotSynced) Report(Error, "error_folder_sync", nullptr, digitPath);
  Notify(ICodecObserver::PlainRenamed, digitPath, &plain);

  if (WipeHeld(plain, digitPath, now.size, readOnly) == Wiped::Done && journal_) journal_->Finish(entry);
}

CFileCodec::Wiped CFileCodec::WipeHeld(File& file, const std::string& path, uint64_t length,
                                       ReadOnlyLease& readOnly) {
  if ((zeroPass && !OverwritePass(file, path, length, false)) ||
      (randomPass && !OverwritePass(file, path, length, true))) {
    Report(Error, "error_encryption_remove", nullptr, path);
    return Wiped::Failed;
  }
  switch (file.Remove(path)) {
    case platform::RemoveResult::Done:
      readOnly.Release();
      file.Close();
      return Wiped::Done;
    case platform::RemoveResult::NotThisFile:
      Report(Error, "error_file_replaced", nullptr, path);
      return Wiped::NotThisFile;
    case platform::RemoveResult::Failed:
      break;
  }
  Report(Error, "error_encryption_remove", nullptr, path);
  return Wiped::Failed;
}

bool CFileCodec::OverwritePass(File& file, const std::string& path, uint64_t length, bool random) {
  if (!file.Seek(0)) return false;
  // Only as many bytes as the file takes are made: a small file needs no full buffer.
  const size_t span = length < static_cast<uint64_t>(bufferSize_) ? static_cast<size_t>(length)
                                                                     : static_cast<size_t>(bufferSize_);
  const unsigned char* bytes = buffer_.get();
  if (random) {
    bytes = RandomPattern(span);
  } else {
    std::memset(buffer_.get(), 0, span);
  }
  uint64_t remaining = length;
  while (remaining > 0) {
    const size_t piece = ChunkOf(remaining);  // never more than span: remaining <= length
    if (!file.Write(bytes, piece)) return false;
    AddProcessed(piece);
    remaining -= piece;
  }
  // The overwrite must reach the disk; the file's times need not, it goes next.
  if (!file.FlushData()) return false;
  Notify(random ? ICodecObserver::RandomPassDone : ICodecObserver::ZeroPassDone, path, &file);
  return true;
}

const unsigned char* CFileCodec::RandomPattern(size_t bytes) {
  // Seeded with the time in whole seconds, the buffer filled byte by byte with
  // draws % 255: the same seed gives the same bytes, so they are made again
  // only when the second has changed, and only as far as this pass needs them.
  const uint32_t seed = static_cast<uint32_t>(platform::NowSeconds());
  if (!pattern_) pattern_.reset(new unsigned char[kBufferSize]);
  if (seed != patternSeed_ || patternBytes_ == 0) {
    patternRandom_.Seed(seed);
    patternSeed_ = seed;
    patternBytes_ = 0;
  }
  unsigned char* pattern = pattern_.get();
  for (; patternBytes_ < bytes; ++patternBytes_) pattern[patternBytes_] = static_cast<unsigned char>(patternRandom_.Next() % 255);
  return pattern;
}

CFileCodec::Recovery CFileCodec::FinishWipe(const WipeEntry& entry) {
  const std::string path = entry.Path();
  platform::FileIdentity identity;
  if (!platform::IdentityOf(path, &identity)) return Recovery::Gone;
  if (identity != entry.identity) return Recovery::NotOurs;  // left untouched
  uint32_t initial = 0;
  if (!platform::GetAttributes(path, &initial)) return Recovery::Gone;
  File file;
  ReadOnlyLease readOnly(path, initial);
  if (!readOnly.Clear()) {
    Report(Error, "error_encryption_remove", nullptr, path);
    return Recovery::Failed;
  }
  // A run whose wipe is still going holds its file: that one is left alone.
  if (!file.OpenExisting(path)) return Recovery::Held;
  readOnly.Hold(&file);
  platform::FileInfo now;
  if (!file.Status(&now) || now.identity != entry.identity || now.size != entry.size) return Recovery::NotOurs;
  if (now.links > 1) {
    // Linked elsewhere since: the other names keep the contents.
    if (file.Remove(path) != platform::RemoveResult::Done) {
      Report(Error, "error_encryption_remove", nullptr, path);
      return Recovery::Failed;
    }
    readOnly.Restore();
    file.Close();
    Report(Message, "message_other_links", nullptr, path);
    return Recovery::Finished;
  }
  switch (WipeHeld(file, path, now.size, readOnly)) {
    case Wiped::Done:
      Report(Message, "message_wipe_finished", nullptr, path);
      return Recovery::Finished;
    case Wiped::NotThisFile:
      return Recovery::NotOurs;
    case Wiped::Failed:
      break;
  }
  return Recovery::Failed;
}

void CFileCodec::RecoverWipes(CWipeJournal& journal) {
  if (!journal.IsOpen()) return;
  size_t damaged = 0;
  const std::vector<WipeEntry> entries = journal.Pending(&damaged);
  // One line, however many (a journal of garbage would flood the log line by line).
  if (damaged == 1) Report(Message, "message_wipe_journal_damaged", nullptr, journal.Path());
  if (damaged > 1) {
    ReportMessage(journal.Path(), LookupText("message_wipe_journal_damaged") + " (" + std::to_string(damaged) + ")");
  }
  for (const WipeEntry& entry : entries) {
    switch (FinishWipe(entry)) {
      case Recovery::Finished:
        journal.Finish(entry);
        break;
      case Recovery::Gone:
      case Recovery::NotOurs:
        // With other runs about, the entry may be one whose rename is still to come.
        if (journal.Alone()) journal.Finish(entry);
        break;
      case Recovery::Held:
      case Recovery::Failed:
        break;
    }
  }
  journal.Compact();
}

CFileCodec::ReadBack CFileCodec::ReadBackEnciphered(File& file, const unsigned char* header, uint64_t length) {
  const uint64_t expected = digest_.Value();
  const size_t lead = static_cast<size_t>(length % 8);
  DeviceRead reading(reader_);
  if (!reader_.Open(file)) return ReadBack::Differs;
  // The whole header, padding included: key check block, stored name, lead block.
  unsigned char back[format::kHeaderSize];
  if (reader_.Read(back, sizeof back) != static_cast<int64_t>(sizeof back)) return ReadBack::Differs;
  cipher_.DecryptBlocks(back, sizeof back / 8);
  if (std::memcmp(back, header, sizeof back) != 0) return ReadBack::Differs;
  digest_.Reset();
  digest_.Update(back + format::kHeaderSize - lead, lead);
  return ReadBody(length - lead, true, expected);
}

CFileCodec::ReadBack CFileCodec::ReadBackPlain(File& file, size_t lead, uint64_t length) {
  const uint64_t expected = digest_.Value();
  DeviceRead reading(reader_);
  if (!reader_.Open(file)) return ReadBack::Differs;
  unsigned char leadBytes[format::kLeadBlockSize];
  if (lead > length || lead > sizeof leadBytes ||
      reader_.Read(leadBytes, lead) != static_cast<int64_t>(lead)) {
    return ReadBack::Differs;
  }
  digest_.Reset();
  digest_.Update(leadBytes, lead);
  return ReadBody(length - lead, false, expected);
}

void CFileCodec::FoldLeaves(const uint64_t leaves[2]) {
  unsigned char bytes[16];
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(leaves[i / 8] >> (8 * (i % 8)));
  digest_.Update(bytes, sizeof bytes);
}

CFileCodec::ReadBack CFileCodec::ReadBody(uint64_t length, bool decipher, uint64_t expected) {
  unsigned char* buffer = buffer_.get();
  uint64_t remaining = length;
  for (;;) {
    if (stopFlag.load()) return ReadBack::Stopped;
    const size_t want = ChunkOf(remaining);
    // One byte more than is left: the file must end exactly here.
    const size_t ask = want < static_cast<size_t>(bufferSize_) ? want + 1 : want;
    if (reader_.Read(buffer, ask) != static_cast<int64_t>(want)) return ReadBack::Differs;
    if (want == 0) break;
    AddProcessed(want);
    uint64_t leaves[2];
    if (decipher) {
      crew_.DecryptDigesting(cipher_, buffer, want / 8, leaves);
    } else {
      crew_.Digest(buffer, want / 8, leaves);
    }
    FoldLeaves(leaves);
    remaining -= want;
    if (want < static_cast<size_t>(bufferSize_)) break;
  }
  return digest_.Value() == expected ? ReadBack::Same : ReadBack::Differs;
}

void CFileCodec::DecryptFile(const std::string& path, const platform::FileIdentity& listed) {
  stopFlag.store(0);
  processedBytes_.store(0);
  outcome_ = Outcome::Failed;
  if (pending_) {
    // A wipe waiting in another folder gets no sync from this file.
    std::string here;
    SplitPath(path, &here, nullptr);
    if (pending_->entry.folder != here) FinishPending(false);
  }

  uint32_t initial = 0;
  if (!platform::GetAttributes(path, &initial)) {
    Report(Message, "message_file_open_failed", nullptr, path);
    return;
  }
  File source;  // declared before the lease: the attribute goes back through it
  ReadOnlyLease readOnly(path, initial);
  if (initial & platform::kAttrReadOnly) {
    if (!writeReadOnly || !readOnly.Clear()) {
      outcome_ = writeReadOnly ? Outcome::Failed : Outcome::LeftAlone;
      Report(Message, "message_file_attributes_failed", nullptr, path);
      return;
    }
  }

  // Held from here to its deletion.
  platform::FileInfo opened;
  if (!source.OpenExisting(path, &opened)) {
    source.Close();
    Report(Message, "message_file_open_failed", nullptr, path);
    return;
  }
  readOnly.Hold(&source);
  if (listed.Known() && listed != opened.identity) {
    Report(Error, "error_file_replaced", nullptr, path);
    return;
  }
  const uint64_t length = opened.size;
  if (!format::CheckFileLength(length)) {
    Report(Error, "error_tavro_format", nullptr, path);
    return;
  }

  unsigned char check[format::kKeyCheckSize];
  if (source.Read(check, sizeof check) != static_cast<int64_t>(sizeof check)) {
    Report(Error, "error_read_file", ":Decript.Key", path);
    return;
  }
  AddProcessed(sizeof check);
  cipher_.DecryptBlocks(check, sizeof check / 8);
  if (!format::KeyCheckMatches(check, cipher_.Key())) {
    Report(Error, "error_password_missing", nullptr, path);
    return;
  }

  unsigned char nameBlock[format::kNameBlockSize];
  if (source.Read(nameBlock, sizeof nameBlock) != static_cast<int64_t>(sizeof nameBlock)) {
    Report(Error, "error_read_file", ":Decript.FileName", path);
    return;
  }
  AddProcessed(sizeof nameBlock);
  cipher_.DecryptBlocks(nameBlock, sizeof nameBlock / 8);
  const std::string storedName = format::StoredName(nameBlock);

  std::string folder;
  if (!SplitPath(path, &folder, nullptr)) {
    Report(Error, "error_get_decryption_filename", nullptr, Printable(storedName));
    return;
  }
  if (!IsSafeFileName(storedName, HostNameRules())) {
    // Nothing is written outside the enciphered file's folder, nor under a name that is not a safe file name here.
    ReportError(path, LookupText("error_unsafe_name") + " \"" + Printable(storedName) + "\"");
    return;
  }
  const std::string outputPath = JoinPath(folder, storedName);
  if (platform::LookupPath(outputPath, nullptr)) {
    Report(Error, "error_same_filename", nullptr, outputPath);
    return;
  }

  WorkFile out;
  if (!out.Create(folder)) {
    Report(Message, "message_file_create_failed", nullptr, outputPath);
    return;
  }
  digest_.Reset();
  uint64_t written = 0;

  unsigned char leadBlock[format::kLeadBlockSize];
  if (source.Read(leadBlock, sizeof leadBlock) != static_cast<int64_t>(sizeof leadBlock)) {
    Report(Error, "error_read_file", ":Decript.Leave", path);
    return;
  }
  AddProcessed(sizeof leadBlock);
  cipher_.DecryptBlocks(leadBlock, 1);
  const int leadOffset = format::LeadDataOffset(leadBlock);
  if (leadOffset < 0) {
    Report(Error, "error_broken_tavro_format", ":Decript.Leave", path);
    return;
  }
  const size_t leadCount = sizeof leadBlock - static_cast<size_t>(leadOffset);
  if (leadCount > 0 && !out.file.Write(leadBlock + leadOffset, leadCount)) {
    Report(Error, "error_write_file", nullptr, outputPath);
    return;
  }
  if (verify) digest_.Update(leadBlock + leadOffset, leadCount);
  written += leadCount;

  unsigned char* buffer = buffer_.get();
  uint64_t remaining = length - format::kHeaderSize;
  for (;;) {
    if (stopFlag.load()) {
      out.Discard();
      outcome_ = Outcome::Stopped;
      Report(Message, "message_decryption_canceled", nullptr, path);
      return;
    }
    const size_t want = ChunkOf(remaining);
    const int64_t got = source.Read(buffer, want);
    if (got < 0) {
      Report(Error, "error_read_file", nullptr, path);
      return;
    }
    if (got % 8 != 0) {
      Report(Error, "error_broken_tavro_format", nullptr, path);
      return;
    }
    if (got != static_cast<int64_t>(want)) {
      Report(Error, "error_read_file", nullptr, path);
      return;
    }
    AddProcessed(want);
    if (verify && want > 0) {  // an empty chunk adds nothing, here as in the read-back
      uint64_t leaves[2];
      crew_.DecryptDigesting(cipher_, buffer, want / 8, leaves);
      FoldLeaves(leaves);
    } else {
      crew_.Decrypt(cipher_, buffer, want / 8);
    }
    if (!out.file.Write(buffer, want)) {
      Report(Error, "error_write_file", nullptr, outputPath);
      return;
    }
    written += want;
    remaining -= want;
    Notify(ICodecObserver::BodyChunkDone, path, nullptr);
    if (want < static_cast<size_t>(bufferSize_) || remaining == 0) break;
  }

  if (!out.file.SetTimes(opened.times) || !out.file.CopyAccessFrom(source) || !out.file.SetAttributes(initial)) {
    Report(Error, "error_file_status", nullptr, outputPath);
    return;
  }
  if (!out.file.Flush()) {
    Report(Error, "error_write_file", nullptr, outputPath);
    return;
  }
  // The output, read back from the device, must hold the very bytes deciphered.
  if (verify) {
    const ReadBack proof = ReadBackPlain(out.file, leadCount, written);
    if (proof == ReadBack::Stopped) {
      out.Discard();
      outcome_ = Outcome::Stopped;
      Report(Message, "message_decryption_canceled", nullptr, path);
      return;
    }
    if (proof != ReadBack::Same) {
      Report(Error, "error_verify", nullptr, path);
      return;
    }
  }
  const platform::RenameResult placed = out.Place(outputPath);
  if (placed == platform::RenameResult::NameTaken) {
    Report(Error, "error_same_filename", nullptr, outputPath);
    return;
  }
  if (!Placed(placed)) {
    Report(Message, "message_file_create_failed", nullptr, outputPath);
    return;
  }
  platform::FileInfo output;
  const bool outputKnown = out.file.Status(&output);
  out.file.Close();
  FolderSynced(folder, placed == platform::RenameResult::Done);
  Notify(ICodecObserver::OutputPlaced, outputPath, &source);
  if (placed == platform::RenameResult::NotSynced) {
    // The output's name may not survive a power cut: the enciphered file stays.
    Report(Error, "error_folder_sync", nullptr, path);
    return;
  }

  switch (source.Remove(path)) {
    case platform::RemoveResult::Done:
      readOnly.Release();
      source.Close();
      outcome_ = Outcome::Done;
      return;
    case platform::RemoveResult::NotThisFile:
      // Another file has taken the name: it stays, and so does the output of
      // the file that was read (its only copy now).
      Report(Error, "error_file_replaced", nullptr, path);
      return;
    case platform::RemoveResult::Failed:
      break;
  }
  if (StillThere(path, opened.identity)) {
    // The enciphered file stays; its deciphered twin goes again.
    if (outputKnown && StillThere(outputPath, output.identity)) {
      platform::SetAttributes(outputPath, platform::kAttrNormal);
      platform::RemoveFile(outputPath);
    }
    Report(Error, "error_file_status", nullptr, outputPath);
  } else {
    // Gone meanwhile (another program): the output is the only copy left.
    Report(Error, "error_source_vanished", nullptr, path);
  }
}

void CFileCodec::CheckFile(const std::string& path, const platform::FileIdentity& listed) {
  stopFlag.store(0);
  processedBytes_.store(0);
  outcome_ = Outcome::Failed;

  File source;
  platform::FileInfo opened;
  if (!source.OpenForReading(path) || !source.Status(&opened)) {
    Report(Message, "message_file_open_failed", nullptr, path);
    return;
  }
  if (listed.Known() && listed != opened.identity) {
    Report(Error, "error_file_replaced", nullptr, path);
    return;
  }
  const uint64_t length = opened.size;
  if (!format::CheckFileLength(length)) {
    Report(Error, "error_tavro_format", nullptr, path);
    return;
  }

  unsigned char check[format::kKeyCheckSize];
  unsigned char nameBlock[format::kNameBlockSize];
  unsigned char leadBlock[format::kLeadBlockSize];
  if (source.Read(check, sizeof check) != static_cast<int64_t>(sizeof check) ||
      source.Read(nameBlock, sizeof nameBlock) != static_cast<int64_t>(sizeof nameBlock) ||
      source.Read(leadBlock, sizeof leadBlock) != static_cast<int64_t>(sizeof leadBlock)) {
    Report(Error, "error_read_file", nullptr, path);
    return;
  }
  AddProcessed(format::kHeaderSize);
  cipher_.DecryptBlocks(check, sizeof check / 8);
  if (!format::KeyCheckMatches(check, cipher_.Key())) {
    Report(Error, "error_password_missing", nullptr, path);
    return;
  }
  cipher_.DecryptBlocks(nameBlock, sizeof nameBlock / 8);
  const std::string storedName = format::StoredName(nameBlock);
  if (!IsSafeFileName(storedName, HostNameRules())) {
    ReportError(path, LookupText("error_unsafe_name") + " \"" + Printable(storedName) + "\"");
    return;
  }
  cipher_.DecryptBlocks(leadBlock, 1);
  const int leadOffset = format::LeadDataOffset(leadBlock);
  if (leadOffset < 0) {
    Report(Error, "error_broken_tavro_format", nullptr, path);
    return;
  }

  // The body, read to its end and deciphered in memory: every sector must come back.
  unsigned char* buffer = buffer_.get();
  uint64_t remaining = length - format::kHeaderSize;
  for (;;) {
    if (stopFlag.load()) {
      outcome_ = Outcome::Stopped;
      Report(Message, "message_check_canceled", nullptr, path);
      return;
    }
    const size_t want = ChunkOf(remaining);
    const int64_t got = source.Read(buffer, want);
    if (got != static_cast<int64_t>(want)) {
      Report(Error, "error_read_file", nullptr, path);
      return;
    }
    AddProcessed(want);
    crew_.Decrypt(cipher_, buffer, want / 8);
    remaining -= want;
    Notify(ICodecObserver::BodyChunkDone, path, nullptr);
    if (want < static_cast<size_t>(bufferSize_) || remaining == 0) break;
  }

  const uint64_t plainLength = length - format::kHeaderSize + (sizeof leadBlock - static_cast<size_t>(leadOffset));
  outcome_ = Outcome::Done;
  ReportMessage(path, LookupText("message_check_intact") + " \"" + Printable(storedName) + "\" (" +
                          std::to_string(plainLength) + " byte)");
}
