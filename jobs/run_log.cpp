#include "jobs/run_log.h"

#include "text/text_table.h"

void CRunLog::SetView(IRunLogView* view) {
  std::lock_guard<std::mutex> lock(mutex_);
  view_ = view;
}

int CRunLog::AddLogLine(const std::string& text, LogKind kind) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++logCounter_;
  if (logCounter_ % kLinesPerView == 0) {
    if (view_) {
      view_->ClearItems();
      view_->InsertNoticeAtTop(LookupText("log_max"));
    }
  }
  if (logCounter_ > kMaxEntries - 1) {
    logCounter_ = 0;
    if (view_) view_->InsertNoticeAtTop(LookupText("counter_max"));
  }
  const size_t index = static_cast<size_t>(logCounter_);
  if (entries_.size() < index + 1) {
    entries_.resize(index + 1);
    used_.resize(index + 1, false);
  }
  entries_[index].text = text;
  entries_[index].kind = kind;
  entries_[index].index = logCounter_;
  used_[index] = true;
  if (view_) view_->InsertEntryAtTop(logCounter_, entries_[index]);
  return logCounter_;
}

bool CRunLog::GetEntry(int index, LogEntry* entry) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 0 || static_cast<size_t>(index) >= entries_.size() || !used_[static_cast<size_t>(index)]) return false;
  if (entry) *entry = entries_[static_cast<size_t>(index)];
  return true;
}

int CRunLog::logCounter() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return logCounter_;
}

size_t CRunLog::EntryCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
}
