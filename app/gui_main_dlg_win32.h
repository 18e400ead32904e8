// The main window of the Windows program: a modal dialog (template 102) whose
// height grows in three layouts (compact, log, full). It takes targets by
// drag and drop and from the command line, reads the password, starts and
// stops jobs on the worker thread, shows their progress and run log, and
// saves the settings and the text table when it is destroyed.
//
// Threads: every handler runs on the window's thread. The worker reports
// through IJobOwner: log lines are sent to the window (WM_JOB_LOG, the worker
// waits until the line is in the log), the end of a job is posted
// (WM_JOB_FINISHED). Closing asks the worker to quit and keeps the window
// alive and in sight, in a stopping state that handles those messages, until
// the worker thread has ended; only then is the window destroyed, so no
// report ever reaches a dead window.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/command_line.h"
#include "app/gui_controls_win32.h"
#include "app/gui_window_win32.h"
#include "jobs/job_owner.h"
#include "jobs/run_log.h"
#include "jobs/worker.h"
#include "settings/settings.h"

constexpr UINT WM_JOB_FINISHED = WM_APP + 1;  // posted: wParam 1 completed, 0 stopped
constexpr UINT WM_JOB_LOG = WM_APP + 2;       // sent: wParam the line, lParam its kind

enum LayoutMode : int { CompactLayout = 1, LogLayout = 2, FullLayout = 3 };

class CMainDlg : public CDialog, public IJobOwner {
 public:
  static constexpr UINT_PTR ProgressTimer = 501;
  static constexpr UINT_PTR AutoExitTimer = 502;
  static constexpr UINT_PTR CloseTimer = 503;  // polls the worker's end while closing
  static constexpr int kIdleQuitWaitMs = 5000;  // an idle worker's end, awaited without the stopping state
  static constexpr int kExitCommand = 57665;   // the context menu's exit entry

  // commandLine: the command line without the program's own name.
  explicit CMainDlg(const std::string& commandLine);
  ~CMainDlg() override;

  void SetLayoutMode(int mode);
  void ShowPasswordBoxes();
  void SetConfirm(bool on);
  void SetPasswordMask(bool on);

  // IJobOwner: called on the worker thread (and for the target lines on the
  // window's own thread).
  void LogLine(const std::string& line, LogKind kind) override;
  void SetStatusText(const std::string& text) override;
  void JobFinished(bool completed) override;

  Settings settings;

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;
  void OnTimer(UINT_PTR id) override;
  void OnContextMenu(HWND window, int x, int y) override;
  void OnDropFiles(HDROP drop) override;
  bool OnPaint() override;
  HCURSOR OnQueryDragIcon() override;
  void OnDestroy() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

 private:
  // Start-up pieces.
  void ComputePaths();
  void ComputeVersionString();
  void CreateProgressMeter();
  void RunLanguageChooser();
  void BuildContextMenu();
  void SetTextsAndFonts();
  void ApplyCommandLine();
  // An error line for a command-line word or dropped path that was refused;
  // shown is what the line names (never the password itself).
  void LogRefusedWord(WordFault fault, const std::string& shown);
  void OpenSettingsSheet();

  // Password entry and jobs.
  void StartOrStop();
  void StartJob(int mode, const std::string& password);
  bool CheckPasswordDigest(const std::string& password);
  void OnProgressTimer(UINT_PTR id);
  void OnJobFinished(bool completed);
  void OnJobLog(const char* text, LogKind kind);
  void ShowLogLine();

  // The run log (window thread only).
  void AddLogLine(const std::string& text, LogKind kind);
  void LogMessage(const std::string& text) { AddLogLine(text, Message); }

  void AddDroppedTarget(const std::string& path);
  void SetIdleTitle();
  void SetSelectModeTitle();
  void CloseProgram();
  // Closing during a job: the window stays visible with its controls off and
  // says what it waits for until the worker has ended.
  void ShowStopping();
  void OnEndSession();
  void SaveAll();  // the settings, then the text table; once

  std::string commandLine_;
  DWORD windowThread_ = 0;

  HICON icon_ = nullptr;
  HICON smallIcon_ = nullptr;
  HFONT dialogFont_ = nullptr;
  HFONT passwordFont_ = nullptr;
  HMENU contextMenu_ = nullptr;

  std::string programPath_, programFolder_, programName_;
  std::string systemDrive_, systemFolder_, windowsFolder_;
  std::string versionString_;
  std::string chosenLanguageFile_;

  RECT recordedClient_ = {};
  RECT recordedWindow_ = {};

  int32_t jobMode_ = Cryption;
  bool autoStart_ = false;
  bool errorSeen_ = false;
  bool closing_ = false;
  bool saved_ = false;
  bool sheetOpen_ = false;  // the settings sheet runs over the window

  CBalloonEdit singleBox_, upperBox_, confirmBox_;
  CLogListBox logBox_;
  CProgressMeter meter_;
  CRunLog runLog_;
  // Declared last: destroyed first, while everything it reports to still exists.
  CWorkerThread worker_;
};
