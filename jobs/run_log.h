// The run log: every line the program has to say about its work, numbered by a
// process-wide counter that wraps past 999, in a table of at most 1000 entries.
// The view (the Windows owner-drawn list box, or the Linux terminal) is told to
// clear itself, to put an entry at its top, or to put a notice line at its top.
//
// Lines may come from two threads at once (the worker's job lines and the
// window's own lines); AddLogLine serialises them. The view is called with the
// log's lock held, in the order the lines were added: it must not add lines
// itself.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "codec/log_sink.h"

struct LogEntry {
  std::string text;
  LogKind kind = Message;
  int index = 0;  // its position in the entry table
};

class IRunLogView {
 public:
  virtual ~IRunLogView() = default;
  // Remove every item of the view.
  virtual void ClearItems() = 0;
  // Put the entry with this index at the top (its text: CRunLog::GetEntry).
  virtual void InsertEntryAtTop(int index, const LogEntry& entry) = 0;
  // Put a notice line ("log_max", "counter_max") at the top: drawn like a
  // message line, not counted, no entry.
  virtual void InsertNoticeAtTop(const std::string& text) = 0;
};

class CRunLog {
 public:
  static constexpr int kMaxEntries = 1000;   // indexes 0..999
  static constexpr int kLinesPerView = 200;  // the view is emptied every 200 lines

  explicit CRunLog(IRunLogView* view = nullptr) : view_(view) {}
  CRunLog(const CRunLog&) = delete;
  CRunLog& operator=(const CRunLog&) = delete;

  void SetView(IRunLogView* view);
  // Adds a line and returns the index it took.
  int AddLogLine(const std::string& text, LogKind kind);
  int LogMessage(const std::string& text) { return AddLogLine(text, Message); }

  // The entry stored at index; false when no line has taken that index yet.
  bool GetEntry(int index, LogEntry* entry) const;
  // The index of the newest line (0 before the first line).
  int logCounter() const;
  // Entries in the table (it never shrinks and never exceeds kMaxEntries).
  size_t EntryCount() const;

 private:
  mutable std::mutex mutex_;
  IRunLogView* view_;
  int logCounter_ = 0;
  std::vector<LogEntry> entries_;
  std::vector<bool> used_;
};
