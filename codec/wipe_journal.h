// The wipe journal: a record, in the program's data folder, of plain files
// that were renamed to digits for their overwrite passes and are not deleted
// yet. An entry is on disk before the rename, so a crash or a power cut
// during the passes leaves an entry behind, and the next job finishes that
// wipe instead of taking the half-overwritten file for a new plain file.
//
// The file "wipes.txt" is written by appending only: one line per entry
// ("+"), written and flushed before the rename, and one line when the wipe is
// over ("-"), not flushed (an entry whose file is gone is dropped later
// anyway). Each line carries a check value; a line that does not read back is
// damaged and is dropped. The journal is rewritten without its finished
// entries (a new file renamed over it) only at the start or the end of a job.
//
// Several runs may use it at once (two `tavro` jobs, two windows). Each holds
// a lock on "wipes.lock" for the length of its job: shared, except while it
// starts or ends a job with no other run about, when it holds it alone and
// may drop entries and rewrite the file. A run holds the files of its own
// wipes from their opening to their deletion, so another run can tell a live
// wipe (its file is held) from an interrupted one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"

struct WipeEntry {
  std::string folder;  // the file's folder, as the codec named it
  std::string name;    // its digit name
  platform::FileIdentity identity;
  uint64_t size = 0;
  std::string Path() const;
};

class CWipeJournal {
 public:
  static constexpr const char* kFileName = "wipes.txt";
  static constexpr const char* kLockName = "wipes.lock";
  static constexpr const char* kFreshName = "wipes.new";  // the rewritten journal, before it replaces the old one
  // A journal holds a line per wipe that is not over, and is rewritten
  // without the finished ones: a file larger than this is not one (damaged,
  // or not written by this program). It is neither read nor written over.
  static constexpr uint64_t kMaxSize = 64u << 20;

  CWipeJournal() = default;
  ~CWipeJournal();
  CWipeJournal(const CWipeJournal&) = delete;
  CWipeJournal& operator=(const CWipeJournal&) = delete;

  // Opens the journal in folder (both created when missing) for one job.
  // Takes the lock alone when no other run holds it (Alone() is then true
  // until Share()), else shares it, waiting up to waitMs for a run that holds
  // it alone. False when the journal cannot be used.
  bool Open(const std::string& folder, int waitMs = 30000);
  bool IsOpen() const { return file_.IsOpen(); }
  bool Alone() const { return alone_; }
  // The journal file's path (for log lines); empty when none was opened.
  const std::string& Path() const { return path_; }

  // Entries whose wipe has not been seen to end, oldest first. Lines that do
  // not read back are counted in *damaged (when given) and left out.
  std::vector<WipeEntry> Pending(size_t* damaged);
  // Writes the entry's line and flushes it (and, once per job, the folder):
  // on the disk when it returns true.
  bool Record(const WipeEntry& entry);
  // The entry's wipe is over (its file is deleted, or the rename never
  // happened, or an alone run found it gone): one line, not flushed.
  void Finish(const WipeEntry& entry);
  // True when a pending entry names the file: the same digit name, and the
  // same identity where the caller knows it (else the same path). For an
  // all-digit name, lines other runs appended meanwhile are read first. The
  // journal's own files count as named too.
  bool Names(const std::string& path, const platform::FileIdentity& identity);
  // Only while alone: rewrites the journal with the pending entries alone.
  bool Compact();
  // Stops holding the lock alone: other runs may start their jobs.
  void Share();
  // The end of the job: compacts when no other run holds the lock, closes.
  void Close();

 private:
  bool LockShared(int waitMs);
  // After the lock was let go and taken again: another run may have rewritten
  // the journal meanwhile (a new file under the name). Then that file is
  // opened and read from its start. False when it cannot be used.
  bool Reattach();
  // Reads the lines appended since the last look.
  void Refresh();
  void ReadLine(const std::string& line);
  bool AppendLine(char kind, const WipeEntry& entry, bool flush);

  platform::File lock_;
  platform::File file_;
  std::string folder_;
  std::string path_;
  bool alone_ = false;
  bool folderSynced_ = false;
  uint64_t readTo_ = 0;  // bytes of whole lines read so far
  bool tooLarge_ = false;  // more was appended than a journal ever holds: not read, never rewritten
  size_t damaged_ = 0;
  // Pending entries, each with the text that identifies it in the lines.
  std::vector<std::pair<std::string, WipeEntry>> pending_;
};

// The parts of a line, for tests and the journal itself: the text of an entry
// ("+" or "-" and the entry, with its check value, no line feed), and its reading
// (false for a damaged line).
std::string WipeJournalLine(char kind, const WipeEntry& entry);
bool ReadWipeJournalLine(const std::string& line, char* kind, WipeEntry* entry);
