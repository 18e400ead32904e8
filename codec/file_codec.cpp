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

// A new output under a work name. Unless Keep() was called, the file is
// closed and removed when this goes away.
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

  void Keep() { path.clear(); }

  void Discard() {
    file.Close();
    if (path.empty()) return;
    platform::SetAttributes(path, platform::kAttrNormal);  // a read-only file cannot be deleted on Windows
    platform::RemoveFile(path);
    path.clear();
  }

  File file;
  std::string path;
};

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

CFileCodec::~CFileCodec() = default;

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

void CFileCodec::Notify(ICodecObserver::Event event, const std::string& path) {
  if (observer_) observer_->OnCodecEvent(event, path);
}

void CFileCodec::EncryptFile(const std::string& plainPath, const std::string& destPath) {
  stopFlag.store(0);
  processedBytes_.store(0);
  outcome_ = Outcome::Failed;

  uint32_t initial = 0;
  if (!platform::GetAttributes(plainPath, &initial)) {
    Report(Message, "message_file_open_failed", nullptr, plainPath);
    return;
  }
  if (initial & platform::kAttrReadOnly) {
    if (!writeReadOnly || !platform::SetAttributes(plainPath, initial & ~platform::kAttrReadOnly)) {
      outcome_ = writeReadOnly ? Outcome::Failed : Outcome::LeftAlone;
      Report(Message, "message_file_attributes_failed", nullptr, plainPath);
      return;
    }
  }

  File plain;
  uint64_t length = 0;
  if (!plain.OpenExisting(plainPath) || !plain.Length(&length)) {
    Report(Message, "message_file_open_failed", nullptr, plainPath);
    return;
  }
  const size_t lead = static_cast<size_t>(length % 8);

  std::string plainName, destFolder;
  SplitPath(plainPath, nullptr, &plainName);
  SplitPath(destPath, &destFolder, nullptr);

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
  unsigned char opened[format::kKeyCheckSize];
  for (size_t i = 0; i < format::kKeyCheckSize; i += 8) {
    cipher_.EncryptBlock(sealed + i, check + i);
    cipher_.DecryptBlock(opened + i, sealed + i);
  }
  if (std::memcmp(opened, check, sizeof check) != 0) {
    Report(Error, "error_safety_check", nullptr, plainPath);
    return;
  }
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
  // A name that this system could never write back is refused now, while the plain file is still whole.
  const NameVerdict hostVerdict = CheckFileName(plainName, HostNameRules());
  if (hostVerdict != NameVerdict::Ok || nameVerdict != format::Verdict::Ok) {
    Report(Error, hostVerdict == NameVerdict::ControlByte ? "error_name_control" : "error_unsafe_name", nullptr,
           plainPath);
    return;
  }
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
  unsigned char leadBlock[format::kLeadBlockSize];
  format::BuildLeadBlock(buffer, lead, leadBlock);
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
    const size_t want = remaining < static_cast<uint64_t>(bufferSize_) ? static_cast<size_t>(remaining)
                                                                        : static_cast<size_t>(bufferSize_);
    const int64_t got = plain.Read(buffer, want);
    if (got != static_cast<int64_t>(want)) {
      Report(Error, "error_read_file", nullptr, plainPath);
      return;
    }
    AddProcessed(want);
    crew_.Encrypt(cipher_, buffer, want / 8);
    if (!out.file.Write(buffer, want)) {
      Report(Error, "error_write_file", nullptr, plainPath);
      return;
    }
    remaining -= want;
    Notify(ICodecObserver::BodyChunkDone, plainPath);
    if (want < static_cast<size_t>(bufferSize_) || remaining == 0) break;
  }

  // On disk before anything happens to the plain file.
  if (!out.file.Flush() || !out.file.Close()) {
    Report(Error, "error_write_file", nullptr, plainPath);
    return;
  }

  // Times (whole seconds), permissions and attributes of the plain file.
  platform::FileInfo info;
  if (!platform::LookupPath(plainPath, &info) || !platform::SetTimes(out.path, info.times) ||
      !platform::CopyAccess(plainPath, out.path) || !platform::SetAttributes(out.path, initial)) {
    Report(Error, "error_file_status", nullptr, plainPath);
    return;
  }

  // The final name, never replacing a file that appeared meanwhile.
  std::string finalPath = destPath;
  bool placed = false;
  for (int attempt = 0; attempt < 16 && !placed; ++attempt) {
    if (platform::RenameNoReplace(out.path, finalPath)) {
      placed = true;
      break;
    }
    if (!namer_ || !platform::LookupPath(finalPath, nullptr)) break;
    finalPath = namer_(destFolder);
    if (finalPath.empty()) break;
  }
  if (!placed) {
    Report(Message, "message_file_create_failed", nullptr, plainPath);
    return;
  }
  out.Keep();
  plain.Close();  // closed before it can be renamed or deleted (Windows insists)
  Notify(ICodecObserver::OutputPlaced, finalPath);

  outcome_ = Outcome::Done;
  RemovePlainFile(plainPath, plainName);
  // Enciphered all the same: the other system would refuse to write this name back.
  if (!IsSafeFileName(plainName, OtherNameRules())) Report(Message, "message_name_not_portable", nullptr, plainPath);
}

void CFileCodec::RemovePlainFile(const std::string& plainPath, const std::string& name) {
  if (!zeroPass && !randomPass) {
    if (!platform::RemoveFile(plainPath)) Report(Error, "error_encryption_remove", nullptr, plainPath);
    return;
  }

  // Away from its own name first: a half-overwritten file never sits there.
  std::string folder;
  SplitPath(plainPath, &folder, nullptr);
  SeedRandom(static_cast<uint32_t>(platform::NowSeconds()));
  std::string digitPath;
  bool moved = false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string digits(name.size(), '0');
    for (char& c : digits) c = static_cast<char>('0' + NextRandom() % 10);
    digitPath = JoinPath(folder, digits);
    if (platform::RenameNoReplace(plainPath, digitPath)) {
      moved = true;
      break;
    }
    if (!platform::LookupPath(digitPath, nullptr)) break;  // not a name clash
  }
  if (!moved) {
    Report(Error, "error_encryption_remove", nullptr, plainPath);
    return;
  }
  Notify(ICodecObserver::PlainRenamed, digitPath);

  if ((zeroPass && !OverwritePass(digitPath, false)) || (randomPass && !OverwritePass(digitPath, true)) ||
      !platform::RemoveFile(digitPath)) {
    Report(Error, "error_encryption_remove", nullptr, digitPath);
  }
}

bool CFileCodec::OverwritePass(const std::string& path, bool random) {
  File file;
  uint64_t length = 0;
  if (!file.OpenExisting(path) || !file.Length(&length) || !file.Seek(0)) return false;
  unsigned char* buffer = buffer_.get();
  if (random) {
    SeedRandom(static_cast<uint32_t>(platform::NowSeconds()));
    for (int32_t i = 0; i < bufferSize_; ++i) buffer[i] = static_cast<unsigned char>(NextRandom() % 255);
  } else {
    std::memset(buffer, 0, static_cast<size_t>(bufferSize_));
  }
  uint64_t remaining = length;
  while (remaining > 0) {
    const size_t piece = remaining < static_cast<uint64_t>(bufferSize_) ? static_cast<size_t>(remaining)
                                                                         : static_cast<size_t>(bufferSize_);
    if (!file.Write(buffer, piece)) return false;
    AddProcessed(piece);
    remaining -= piece;
  }
  if (!file.Flush() || !file.Close()) return false;
  Notify(random ? ICodecObserver::RandomPassDone : ICodecObserver::ZeroPassDone, path);
  return true;
}

void CFileCodec::DecryptFile(const std::string& path) {
  stopFlag.store(0);
  processedBytes_.store(0);
  outcome_ = Outcome::Failed;

  uint32_t initial = 0;
  if (!platform::GetAttributes(path, &initial)) {
    Report(Message, "message_file_open_failed", nullptr, path);
    return;
  }
  if (initial & platform::kAttrReadOnly) {
    if (!writeReadOnly || !platform::SetAttributes(path, initial & ~platform::kAttrReadOnly)) {
      outcome_ = writeReadOnly ? Outcome::Failed : Outcome::LeftAlone;
      Report(Message, "message_file_attributes_failed", nullptr, path);
      return;
    }
  }

  File source;
  uint64_t length = 0;
  if (!source.OpenExisting(path) || !source.Length(&length)) {
    Report(Message, "message_file_open_failed", nullptr, path);
    return;
  }
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
  if (leadOffset < static_cast<int>(sizeof leadBlock) &&
      !out.file.Write(leadBlock + leadOffset, sizeof leadBlock - static_cast<size_t>(leadOffset))) {
    Report(Error, "error_write_file", nullptr, outputPath);
    return;
  }

  unsigned char* buffer = buffer_.get();
  uint64_t remaining = length - format::kHeaderSize;
  for (;;) {
    if (stopFlag.load()) {
      out.Discard();
      outcome_ = Outcome::Stopped;
      Report(Message, "message_decryption_canceled", nullptr, path);
      return;
    }
    const size_t want = remaining < static_cast<uint64_t>(bufferSize_) ? static_cast<size_t>(remaining)
                                                                        : static_cast<size_t>(bufferSize_);
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
    crew_.Decrypt(cipher_, buffer, want / 8);
    if (!out.file.Write(buffer, want)) {
      Report(Error, "error_write_file", nullptr, outputPath);
      return;
    }
    remaining -= want;
    Notify(ICodecObserver::BodyChunkDone, path);
    if (want < static_cast<size_t>(bufferSize_) || remaining == 0) break;
  }

  if (!out.file.Flush() || !out.file.Close()) {
    Report(Error, "error_write_file", nullptr, outputPath);
    return;
  }
  source.Close();

  platform::FileInfo info;
  if (!platform::LookupPath(path, &info) || !platform::SetTimes(out.path, info.times) ||
      !platform::CopyAccess(path, out.path) || !platform::SetAttributes(out.path, initial)) {
    Report(Error, "error_file_status", nullptr, outputPath);
    return;
  }
  if (!platform::RenameNoReplace(out.path, outputPath)) {
    if (platform::LookupPath(outputPath, nullptr)) {
      Report(Error, "error_same_filename", nullptr, outputPath);
    } else {
      Report(Message, "message_file_create_failed", nullptr, outputPath);
    }
    return;
  }
  out.Keep();
  Notify(ICodecObserver::OutputPlaced, outputPath);

  if (!platform::RemoveFile(path)) {
    // The enciphered file stays; its deciphered twin goes again.
    platform::SetAttributes(outputPath, platform::kAttrNormal);
    platform::RemoveFile(outputPath);
    Report(Error, "error_file_status", nullptr, outputPath);
    return;
  }
  outcome_ = Outcome::Done;
}
