#include "codec/wipe_journal.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

constexpr char kHex[] = "0123456789abcdef";

// Bytes up to the blank, '%' and DEL are written %hh: a line holds no blank
// but between its fields, and no line feed at all.
std::string Escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b == 0x7F || b == '%') {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(const std::string& text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out->push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out->push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return true;
}

std::string Hex64(uint64_t value) {
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) out[static_cast<size_t>(i)] = kHex[value & 15];
  return out;
}

bool ReadHex(const std::string& text, size_t digits, uint64_t* value) {
  if (text.size() != digits) return false;
  *value = 0;
  for (const char c : text) {
    const int v = HexValue(c);
    if (v < 0) return false;
    *value = *value << 4 | static_cast<uint64_t>(v);
  }
  return true;
}

bool ReadDecimal(const std::string& text, uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  *value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    *value = *value * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

// FNV-1a, 32 bits: enough to tell a torn or altered line from a whole one.
uint32_t CheckValue(const std::string& text) {
  uint32_t h = 2166136261u;
  for (const char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string NameOf(const std::string& path) {
  const size_t at = platform::FindLastSeparator(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

// The part of a line that identifies its entry: kind and check value left out.
std::string EntryKey(const WipeEntry& e) {
  return Hex64(e.identity.volume) + ' ' + Hex64(e.identity.index) + ' ' + std::to_string(e.size) + ' ' +
         Escape(e.folder) + ' ' + Escape(e.name);
}

}  // namespace

std::string WipeEntry::Path() const { return folder + platform::PathSeparator() + name; }

std::string WipeJournalLine(char kind, const WipeEntry& entry) {
  const std::string body = std::string(1, kind) + ' ' + EntryKey(entry);
  return body + ' ' + Hex64(CheckValue(body)).substr(8);
}

bool ReadWipeJournalLine(const std::string& line, char* kind, WipeEntry* entry) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t blank = line.find(' ', start);
    fields.push_back(line.substr(start, blank == std::string::npos ? std::string::npos : blank - start));
    if (blank == std::string::npos) break;
    start = blank + 1;
  }
  if (fields.size() != 7 || fields[0].size() != 1 || (fields[0][0] != '+' && fields[0][0] != '-')) return false;
  uint64_t check = 0;
  if (!ReadHex(fields[6], 8, &check) || check != CheckValue(line.substr(0, line.size() - 9))) return false;
  WipeEntry e;
  if (!ReadHex(fields[1], 16, &e.identity.volume) || !ReadHex(fields[2], 16, &e.identity.index) ||
      !ReadDecimal(fields[3], &e.size) || !Unescape(fields[4], &e.folder) || !Unescape(fields[5], &e.name)) {
    return false;
  }
  // Only what the codec writes: a folder, and a name of digits in it.
  if (e.folder.empty() || !AllDigits(e.name) || !e.identity.Known()) return false;
  *kind = fields[0][0];
  *entry = e;
  return true;
}

CWipeJournal::~CWipeJournal() { Close(); }

bool CWipeJournal::Open(const std::string& folder, int waitMs) {
  Close();
  if (folder.empty() || !platform::CreateFolders(folder)) return false;
  const char sep = platform::PathSeparator();
  if (!lock_.OpenForAppend(folder + sep + kLockName)) return false;
  alone_ = lock_.Lock(true, false);
  if (!alone_ && !LockShared(waitMs)) {
    lock_.Close();
    return false;
  }
  path_ = folder + sep + kFileName;
  uint64_t length = 0;
  if (!file_.OpenForAppend(path_) || !file_.Length(&length) || length > kMaxSize) {
    file_.Close();
    lock_.Close();
    alone_ = false;
    path_.clear();
    return false;
  }
  folder_ = folder;
  folderSynced_ = false;
  readTo_ = 0;
  tooLarge_ = false;
  damaged_ = 0;
  pending_.clear();
  return true;
}

bool CWipeJournal::LockShared(int waitMs) {
  // A run that holds the lock alone is finishing or dropping entries; it
  // shares it again soon. Polled, so that a run that never lets go costs a
  // bounded wait, not a job that never starts.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs > 0 ? waitMs : 0);
  for (;;) {
    if (lock_.Lock(false, false)) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool CWipeJournal::Reattach() {
  if (!file_.IsOpen()) return false;
  platform::FileInfo held;
  platform::FileIdentity named;
  if (file_.Status(&held) && platform::IdentityOf(path_, &named) && held.identity == named) return true;
  file_.Close();
  readTo_ = 0;
  tooLarge_ = false;
  damaged_ = 0;
  pending_.clear();
  uint64_t length = 0;
  if (!file_.OpenForAppend(path_) || !file_.Length(&length) || length > kMaxSize) {
    file_.Close();
    return false;
  }
  return true;
}

void CWipeJournal::Refresh() {
  if (!file_.IsOpen()) return;
  uint64_t length = 0;
  if (!file_.Length(&length) || length <= readTo_) return;
  if (length - readTo_ > kMaxSize) tooLarge_ = true;
  if (tooLarge_ || !file_.Seek(readTo_)) return;
  std::string text(static_cast<size_t>(length - readTo_), '\0');
  const int64_t got = file_.Read(&text[0], text.size());
  if (got <= 0) return;
  text.resize(static_cast<size_t>(got));
  // Whole lines only: a line still being appended is read next time.
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    ReadLine(text.substr(start, end - start));
    start = end + 1;
  }
  readTo_ += start;
}

void CWipeJournal::ReadLine(const std::string& line) {
  if (line.empty()) return;
  char kind = 0;
  WipeEntry entry;
  if (!ReadWipeJournalLine(line, &kind, &entry)) {
    ++damaged_;
    return;
  }
  std::string key = EntryKey(entry);
  if (kind == '+') {
    pending_.emplace_back(std::move(key), std::move(entry));
    return;
  }
  for (auto it = pending_.begin(); it != pending_.end(); ++it) {
    if (it->first == key) {
      pending_.erase(it);
      return;
    }
  }
}

std::vector<WipeEntry> CWipeJournal::Pending(size_t* damaged) {
  Refresh();
  if (damaged) *damaged = damaged_;
  std::vector<WipeEntry> entries;
  for (const auto& p : pending_) entries.push_back(p.second);
  return entries;
}

bool CWipeJournal::AppendLine(char kind, const WipeEntry& entry, bool flush) {
  if (!file_.IsOpen()) return false;
  // The leading line feed ends whatever a crash may have left half written.
  const std::string line = '\n' + WipeJournalLine(kind, entry) + '\n';
  if (!file_.Write(line.data(), line.size())) return false;
  if (!flush) return true;
  if (!file_.Flush()) return false;
  if (!folderSynced_) {
    // The journal's own name must be on the disk as well, once per job.
    if (!platform::SyncFolder(folder_)) return false;
    folderSynced_ = true;
  }
  return true;
}

bool CWipeJournal::Record(const WipeEntry& entry) { return AppendLine('+', entry, true); }

void CWipeJournal::Finish(const WipeEntry& entry) { AppendLine('-', entry, false); }

bool CWipeJournal::Names(const std::string& path, const platform::FileIdentity& identity) {
  const std::string name = NameOf(path);
  if (name == kFileName || name == kLockName || name == kFreshName) {
    // The journal's own files are no targets either.
    return !folder_.empty() && platform::SamePathNoCase(path, folder_ + platform::PathSeparator() + name);
  }
  if (!AllDigits(name)) return false;
  Refresh();
  for (const auto& p : pending_) {
    const WipeEntry& e = p.second;
    if (e.name != name) continue;
    if (identity.Known() ? e.identity == identity : platform::SamePathNoCase(e.Path(), path)) return true;
  }
  return false;
}

bool CWipeJournal::Compact() {
  if (!alone_ || !Reattach()) return false;
  Refresh();
  if (tooLarge_) return false;  // what was not read is not dropped
  uint64_t length = 0;
  if (!file_.Length(&length)) return false;
  std::string text;
  for (const auto& p : pending_) text += WipeJournalLine('+', p.second) + '\n';
  if (length == text.size() && damaged_ == 0) return true;  // nothing finished, nothing damaged: as it is

  // A new file with the pending entries, renamed over the journal: a crash
  // leaves either the old journal or the new one, never a part.
  const std::string fresh = folder_ + platform::PathSeparator() + kFreshName;
  platform::RemoveFile(fresh);  // a leftover of a crash; only a run alone gets here
  platform::File out;
  bool ok = out.CreateNew(fresh) && out.Write(text.data(), text.size()) && out.Flush();
  out.Close();
  file_.Close();  // Windows replaces no file that is open
  if (ok) {
    const platform::RenameResult r = platform::RenameReplacing(fresh, path_);
    ok = r == platform::RenameResult::Done || r == platform::RenameResult::NotSynced;
  }
  if (!ok) platform::RemoveFile(fresh);
  if (!file_.OpenForAppend(path_)) return false;
  readTo_ = 0;
  damaged_ = 0;
  pending_.clear();
  Refresh();
  return ok;
}

void CWipeJournal::Share() {
  if (!alone_) return;
  lock_.Unlock();
  alone_ = false;
  if (!LockShared(30000) || !Reattach()) file_.Close();  // without the lock the journal is not used
}

void CWipeJournal::Close() {
  if (lock_.IsOpen()) {
    if (!alone_ && file_.IsOpen()) {
      lock_.Unlock();
      alone_ = lock_.Lock(true, false);
    }
    if (alone_) Compact();
  }
  file_.Close();
  lock_.Close();  // lets go of the lock
  alone_ = false;
  path_.clear();
  folder_.clear();
  pending_.clear();
  readTo_ = 0;
  tooLarge_ = false;
  damaged_ = 0;
}
