// The custom controls of the Windows program: the password box with its
// balloon tip, the underlined link button of the About dialog, the progress
// meter of a running job and the owner-drawn run-log list box.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/gui_window_win32.h"
#include "jobs/run_log.h"

// A password edit box that owns a balloon tooltip. The tip is shown under the
// box only when it has something to say: while Caps Lock is on.
class CBalloonEdit : public CControl {
 public:
  ~CBalloonEdit() override;

 protected:
  void OnAttached() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  void UpdateTip();
  HWND tip_ = nullptr;
  bool shown_ = false;
};

// An owner-drawn push button that looks like a hyperlink: blue, magenta while
// the mouse is over it, dark blue and shifted while pressed. Clicks reach the
// parent as ordinary BN_CLICKED commands.
class CLinkButton : public CControl {
 public:
  static constexpr UINT_PTR kHoverTimer = 100;
  void DrawItem(const DRAWITEMSTRUCT& item) override;

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  bool hovered_ = false;
};

// The progress window of a running job: a bar filled in proportion to
// (position - base) / (end - base) and its window text drawn across it, white
// over the filled part and black over the rest.
class CProgressMeter {
 public:
  CProgressMeter() = default;
  ~CProgressMeter();
  CProgressMeter(const CProgressMeter&) = delete;
  CProgressMeter& operator=(const CProgressMeter&) = delete;

  bool Create(DWORD style, const RECT& rect, HWND parent, int id);
  HWND Handle() const { return hwnd_; }
  void SetValues(uint64_t base, uint64_t position, uint64_t end);

 private:
  static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
  void Paint(HDC dc);

  std::string className_;
  HWND hwnd_ = nullptr;
  uint32_t baseLow_ = 0, baseHigh_ = 0;
  uint32_t positionLow_ = 0, positionHigh_ = 0;
  uint32_t endLow_ = 0, endHigh_ = 0;
};

// The run log's view: an owner-drawn list box with variable item heights and
// no strings of its own. Each item's data is an entry index of the run log
// (0..999) or, for a notice line, kNoticeBase + its number. The box keeps a
// copy of the texts it shows, so it never calls back into the log (the log
// holds its lock while it calls the view).
class CLogListBox : public CControl, public IRunLogView {
 public:
  static constexpr LPARAM kNoticeBase = CRunLog::kMaxEntries;

  // IRunLogView, called on the window's own thread.
  void ClearItems() override;
  void InsertEntryAtTop(int index, const LogEntry& entry) override;
  void InsertNoticeAtTop(const std::string& text) override;

  void DrawItem(const DRAWITEMSTRUCT& item) override;
  void MeasureItem(MEASUREITEMSTRUCT& item) override;
  void DeleteItem(const DELETEITEMSTRUCT&) override {}

  // The entry index of the selected item, or -1 (nothing selected, or a notice).
  int SelectedEntry() const;

 private:
  bool ItemLine(ULONG_PTR data, std::string* text, LogKind* kind) const;
  std::vector<LogEntry> entries_;     // by entry index
  std::vector<std::string> notices_;  // since the last clearing
};
