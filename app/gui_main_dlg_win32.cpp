#include "app/gui_main_dlg_win32.h"

#include <shellapi.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/command_line.h"
#include "app/gui_dialogs_win32.h"
#include "crypto/sha1.h"
#include "jobs/progress.h"
#include "platform/file.h"
#include "platform/system.h"
#include "res/resource.h"
#include "settings/gui_set_sheet_win32.h"
#include "text/text_table.h"

CMainDlg::CMainDlg(const std::string& commandLine) : CDialog(IDD_MAIN), commandLine_(commandLine) {
  icon_ = static_cast<HICON>(LoadImageA(AppInstance(), MAKEINTRESOURCEA(IDI_TAVRO), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  smallIcon_ = static_cast<HICON>(LoadImageA(AppInstance(), MAKEINTRESOURCEA(IDI_TAVRO), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), 0));
}

CMainDlg::~CMainDlg() {
  if (icon_) DestroyIcon(icon_);
  if (smallIcon_) DestroyIcon(smallIcon_);
}

// ---------------------------------------------------------------- start-up

BOOL CMainDlg::OnInitDialog() {
  windowThread_ = GetCurrentThreadId();
  logBox_.Attach(Item(IDC_RUNLOG));
  AddOwnerDrawn(IDC_RUNLOG, &logBox_);
  runLog_.SetView(&logBox_);
  singleBox_.Attach(Item(IDC_PASSWORD));
  upperBox_.Attach(Item(IDC_PASSWORD_UPPER));
  confirmBox_.Attach(Item(IDC_PASSWORD_CONFIRM));

  // 1. Icons.
  SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
  // 2. Paths and system folders.
  ComputePaths();
  // 3. The rectangles every layout is computed from.
  GetClientRect(Handle(), &recordedClient_);
  GetWindowRect(Handle(), &recordedWindow_);
  // 4. The worker thread.
  WorkerPaths paths;
  paths.programPath = programPath_;
  paths.programFolder = programFolder_;
  paths.systemDrive = systemDrive_;
  paths.systemFolder = systemFolder_;
  paths.windowsFolder = windowsFolder_;
  paths.dataFolder = platform::ProgramDataFolder();  // the wipe journal's home
  worker_.Start(this, paths);
  // 5.-7. Compact layout, empty run log, the progress meter.
  SetLayoutMode(CompactLayout);
  logBox_.ClearItems();
  CreateProgressMeter();
  // 8. Settings.
  LoadSettings(settings, kSettingsKey);
  // 9. Language chooser (closes itself unseen when there is nothing to choose).
  RunLanguageChooser();
  // 10. Password boxes and mask.
  ShowPasswordBoxes();
  SetPasswordMask(settings.PasswordMask != 0);
  // 11.-13. Version, texts, title.
  ComputeVersionString();
  LoadTextTable(kTextTableKey, chosenLanguageFile_);
  SetIdleTitle();
  // 14. The chosen language file is used up. A failed rename is reported and
  // the start-up goes on, so the window is complete and usable.
  if (!chosenLanguageFile_.empty()) {
    std::string retired = chosenLanguageFile_ + ".old";
    if (!MoveFileA(chosenLanguageFile_.c_str(), retired.c_str())) {
      ReportFileError(Handle(), chosenLanguageFile_, GetLastError());
    }
  }
  // 15. Context menu, texts, fonts.
  BuildContextMenu();
  SetTextsAndFonts();
  // 16. Mode and drop target.
  jobMode_ = Cryption;
  DragAcceptFiles(Handle(), TRUE);
  // 17. Command line.
  ApplyCommandLine();
  // 18. Automatic start: the job starts as soon as the dialog runs.
  if (autoStart_) PostMessageA(Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  // 19. Focus.
  SetFocus(Item(settings.Confirm ? IDC_PASSWORD_UPPER : IDC_PASSWORD));
  return FALSE;
}

void CMainDlg::ComputePaths() {
  char buffer[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  programPath_ = buffer;
  size_t slash = platform::FindLastSeparator(programPath_);
  programFolder_ = slash == std::string::npos ? std::string() : programPath_.substr(0, slash);
  programName_ = slash == std::string::npos ? programPath_ : programPath_.substr(slash + 1);
  char folder[MAX_PATH] = {};
  GetWindowsDirectoryA(folder, MAX_PATH);
  windowsFolder_ = folder;
  folder[0] = '\0';
  GetSystemDirectoryA(folder, MAX_PATH);
  systemFolder_ = folder;
  size_t firstSlash = systemFolder_.find('\\');
  systemDrive_ = firstSlash == std::string::npos ? systemFolder_ : systemFolder_.substr(0, firstSlash);
}

void CMainDlg::ComputeVersionString() {
  versionString_.clear();
  HRSRC resource = FindResourceA(AppInstance(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));  // RT_VERSION
  if (!resource) return;
  HGLOBAL loaded = LoadResource(AppInstance(), resource);
  DWORD size = SizeofResource(AppInstance(), resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return;
  std::vector<char> copy(static_cast<const char*>(data), static_cast<const char*>(data) + size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(copy.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return;
  }
  char text[64];
  snprintf(text, sizeof text, "%d.%d%d", static_cast<int>(HIWORD(info->dwProductVersionMS)),
           static_cast<int>(info->dwProductVersionMS & 0xFF),
           static_cast<int>(HIWORD(info->dwProductVersionLS)));
  versionString_ = text;
}

void CMainDlg::CreateProgressMeter() {
  HWND placeholder = Item(IDC_PROGRESS);
  RECT rect;
  GetWindowRect(placeholder, &rect);
  MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&rect), 2);
  meter_.Create(WS_CHILD, rect, Handle(), IDC_PROGRESS);
  // The meter sits over the boxes it replaces during a job.
  SetWindowPos(meter_.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CMainDlg::RunLanguageChooser() {
  CLanguageDlg chooser;
  chooser.folder = programFolder_;
  chooser.DoModal(nullptr);
  chosenLanguageFile_ = chooser.chosenPath;
}

void CMainDlg::BuildContextMenu() {
  contextMenu_ = CreatePopupMenu();
  AppendMenuA(contextMenu_, MF_STRING, IDM_SETDLG, LookupText("menu_set").c_str());
  AppendMenuA(contextMenu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(contextMenu_, MF_STRING, IDM_GODIR, LookupText("menu_view_directory").c_str());
  AppendMenuA(contextMenu_, MF_STRING, IDM_ABOUT, LookupText("menu_about").c_str());
  AppendMenuA(contextMenu_, MF_STRING, kExitCommand, LookupText("menu_exit").c_str());
}

void CMainDlg::SetTextsAndFonts() {
  SetItemText(IDC_CIPHER, LookupText("button_cipher"));
  SetItemText(IDC_DECIPHER, LookupText("button_decipher"));
  SetItemText(IDC_PROMPT, LookupText("please_input_password"));
  SetItemText(IDC_SITE_CAPTION, LookupText("tavro_site"));
  SetItemText(IDC_STATUS_GROUP, LookupText("status_run"));
  SetItemText(IDC_OKAY, LookupText("button_okay"));
  SetItemText(IDC_SITE, LookupText("button_tavro"));

  std::string face = DialogFaceName();
  dialogFont_ = CopyFontWithFace(Handle(), face);
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont_), FALSE);
  for (int id : {IDC_CIPHER, IDC_DECIPHER, IDC_PROMPT, IDC_OKAY, IDC_SITE_CAPTION, IDC_SITE,
                 IDC_STATUS_GROUP}) {
    SendMessageA(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont_), TRUE);
  }
  passwordFont_ = CreateFontA(16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                              OUT_STROKE_PRECIS, CLIP_STROKE_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  for (int id : {IDC_PASSWORD, IDC_PASSWORD_UPPER, IDC_PASSWORD_CONFIRM}) {
    SendMessageA(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(passwordFont_), TRUE);
  }
  SendMessageA(meter_.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont_), FALSE);
}

void CMainDlg::ApplyCommandLine() {
  if (commandLine_.empty()) return;
  CommandLine parsed = ParseCommandLine(commandLine_, programPath_);
  if (parsed.modeGiven) jobMode_ = parsed.mode;
  if (parsed.passwordGiven) {
    if (settings.Confirm) {
      SetItemText(IDC_PASSWORD_UPPER, parsed.password);
      SetItemText(IDC_PASSWORD_CONFIRM, parsed.password);
    } else {
      SetItemText(IDC_PASSWORD, parsed.password);
    }
  }
  if (parsed.autoExit) settings.AutoExit = 1;
  // A refused word means the command line does not say what the user meant:
  // nothing starts by itself (the user reads the error line and starts by
  // hand), and refused targets leave no room for the default target.
  if (parsed.autoStart && !parsed.AnyRefused()) autoStart_ = true;
  for (const std::string& option : parsed.refusedOptions) LogRefusedWord(WordFault::Unknown, option);
  for (const RefusedWord& word : parsed.refusedTargets) {
    LogRefusedWord(word.fault, word.word);
    worker_.NoteRefusedTarget();
  }
  if (parsed.programNamed) worker_.NoteRefusedTarget();  // never processed, nor its folder in its place
  // The password itself is never shown, only that it was refused.
  if (parsed.passwordRefused) LogRefusedWord(parsed.passwordFault, LookupText("set_main_password"));
  for (const std::string& path : parsed.targets) worker_.AddTarget(path);
  const bool targetsNamed =
      !worker_.PendingTargets().empty() || !parsed.refusedTargets.empty() || parsed.programNamed;
  if (targetsNamed || parsed.AnyRefused()) SetLayoutMode(LogLayout);
  if (!worker_.PendingTargets().empty()) LogMessage("Msg: " + LookupText("message_drop"));
  if (targetsNamed) SetSelectModeTitle();
}

void CMainDlg::LogRefusedWord(WordFault fault, const std::string& shown) {
  const char* key = fault == WordFault::TooLong ? "error_max_path" : "error_command_word";
  AddLogLine(LookupText("error") + " : " + LookupText(key) + " : " + shown, Error);
}

// ------------------------------------------------------------------ layout

void CMainDlg::SetLayoutMode(int mode) {
  int marker = mode == CompactLayout ? IDC_MARK_COMPACT : mode == LogLayout ? IDC_MARK_LOG : IDC_MARK_FULL;
  RECT rect;
  GetWindowRect(Item(marker), &rect);
  MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&rect), 2);
  int frame = (recordedWindow_.bottom - recordedWindow_.top) - (recordedClient_.bottom - recordedClient_.top);
  int height = frame + rect.top;
  // The window keeps its recorded outer width (the client width would cut the
  // frame off the right edge of the group boxes).
  int width = recordedWindow_.right - recordedWindow_.left;
  SetWindowPos(Handle(), nullptr, 0, 0, width, height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void CMainDlg::ShowPasswordBoxes() {
  bool confirm = settings.Confirm != 0;
  ShowWindow(Item(IDC_PASSWORD), confirm ? SW_HIDE : SW_SHOW);
  ShowWindow(Item(IDC_PASSWORD_UPPER), confirm ? SW_SHOW : SW_HIDE);
  ShowWindow(Item(IDC_PASSWORD_CONFIRM), confirm ? SW_SHOW : SW_HIDE);
}

void CMainDlg::SetConfirm(bool on) {
  settings.Confirm = on ? 1 : 0;
  // During a job the meter stands where the boxes were; the end of the job
  // shows the boxes the flag asks for.
  if (!worker_.JobRunning()) ShowPasswordBoxes();
}

void CMainDlg::SetPasswordMask(bool on) {
  for (int id : {IDC_PASSWORD, IDC_PASSWORD_UPPER, IDC_PASSWORD_CONFIRM}) {
    HWND box = Item(id);
    SendMessageA(box, EM_SETPASSWORDCHAR, on ? '*' : 0, 0);
    RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  }
  settings.PasswordMask = on ? 1 : 0;
}

void CMainDlg::SetIdleTitle() {
  SetText(LookupText("tavro_name") + " " + versionString_ + " - [" + programFolder_ + "]");
}

void CMainDlg::SetSelectModeTitle() {
  SetText(LookupText("tavro_name") + " " + versionString_ + " - [SelectMode]");
}

// ---------------------------------------------------------------- commands

void CMainDlg::OnCommand(int id, int code, HWND control) {
  (void)control;
  switch (id) {
    // While a job runs the enabled mode button is its stop button: a stop
    // leaves the mode that Enter uses as it was.
    case IDC_CIPHER:
      if (code == BN_CLICKED) {
        if (!worker_.JobRunning()) jobMode_ = Encryption;
        StartOrStop();
      }
      return;
    case IDC_DECIPHER:
      if (code == BN_CLICKED) {
        if (!worker_.JobRunning()) jobMode_ = Decryption;
        StartOrStop();
      }
      return;
    case IDOK:
      if (GetFocus() == Item(IDC_OKAY)) {
        CloseProgram();
      } else {
        StartOrStop();
      }
      return;
    case IDC_OKAY:
      if (code == BN_CLICKED) CloseProgram();
      return;
    case IDCANCEL:
    case kExitCommand:
      CloseProgram();
      return;
    case IDC_SITE:
      if (code == BN_CLICKED) OpenLink(Handle(), LookupText("tavro_site_url"));
      return;
    case IDM_SETDLG:
      OpenSettingsSheet();
      return;
    case IDM_GODIR:
      ShellExecuteA(Handle(), nullptr, programFolder_.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      return;
    case IDM_ABOUT: {
      CAboutDlg about;
      about.versionLine = LookupText("tavro_name") + " version  " + versionString_ + "  Release";
      about.DoModal(Handle());
      return;
    }
    case IDC_RUNLOG:
      if (code == LBN_DBLCLK) ShowLogLine();
      return;
  }
}

// The settings sheet, also while a job runs (the job keeps the options it
// started with). Changes reach the registry at exit.
void CMainDlg::OpenSettingsSheet() {
  if (closing_ || sheetOpen_) return;
  CWindowSettingsOwner options(Handle(), settings, programPath_, [this](bool on) { SetConfirm(on); },
                               [this](bool on) { SetPasswordMask(on); });
  sheetOpen_ = true;
  RunSettingsSheet(Handle(), options);
  sheetOpen_ = false;
  // The focus may have been on a box that is hidden now.
  HWND focus = GetFocus();
  if (!worker_.JobRunning() && (!focus || !IsWindowVisible(focus))) {
    SetFocus(Item(settings.Confirm ? IDC_PASSWORD_UPPER : IDC_PASSWORD));
  }
}

void CMainDlg::ShowLogLine() {
  int index = logBox_.SelectedEntry();
  if (index < 0) return;
  LogEntry entry;
  if (!runLog_.GetEntry(index, &entry)) return;
  CMessageDlg message;
  message.messageText = entry.text;
  message.DoModal(Handle());
}

void CMainDlg::OnContextMenu(HWND, int x, int y) {
  if (!contextMenu_ || closing_) return;
  if (x == -1 && y == -1) {  // from the keyboard: at the window's middle
    RECT rect;
    GetWindowRect(Handle(), &rect);
    x = (rect.left + rect.right) / 2;
    y = (rect.top + rect.bottom) / 2;
  }
  TrackPopupMenu(contextMenu_, TPM_RIGHTBUTTON, x, y, 0, Handle(), nullptr);
}

bool CMainDlg::OnPaint() {
  if (!IsIconic(Handle())) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Handle(), &paint);
  SendMessageA(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(Handle(), &client);
  int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
  DrawIcon(dc, (client.right - cx + 1) / 2, (client.bottom - cy + 1) / 2, icon_);
  EndPaint(Handle(), &paint);
  return true;
}

HCURSOR CMainDlg::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(icon_); }

// ------------------------------------------------------------------- drops

void CMainDlg::OnDropFiles(HDROP drop) {
  UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  if (count < 1 || closing_) {
    DragFinish(drop);
    return;
  }
  SetLayoutMode(LogLayout);
  LogMessage("Msg: " + LookupText("message_drop"));
  // While a job runs the title shows its progress; the targets wait for the
  // next job (the worker logs that they do).
  if (!worker_.JobRunning()) SetSelectModeTitle();
  for (UINT i = 0; i < count; ++i) {
    // The length first: a path cut to fit a buffer would name another file
    // or its folder.
    const UINT length = DragQueryFileA(drop, i, nullptr, 0);
    if (length == 0) continue;
    std::string path(static_cast<size_t>(length) + 1, '\0');
    if (DragQueryFileA(drop, i, &path[0], length + 1) == 0) continue;
    path.resize(std::strlen(path.c_str()));
    if (path.size() > kMaxWordLength) {
      LogRefusedWord(WordFault::TooLong, path);
      worker_.NoteRefusedTarget();
      continue;
    }
    AddDroppedTarget(path);
  }
  DragFinish(drop);
}

void CMainDlg::AddDroppedTarget(const std::string& path) {
  if (platform::SamePathNoCase(path, programPath_)) {
    worker_.NoteRefusedTarget();  // never processed, nor its folder in its place
    return;
  }
  worker_.AddTarget(path);
}

// ----------------------------------------------------- password and start

void CMainDlg::StartOrStop() {
  if (closing_) return;
  if (worker_.JobRunning()) {
    worker_.RequestStop();
    return;
  }
  std::string password;
  if (jobMode_ == Decryption) {
    if (settings.Confirm) {
      password = ItemText(IDC_PASSWORD_UPPER);
      std::string repeated = ItemText(IDC_PASSWORD_CONFIRM);
      if (!repeated.empty() && repeated != password) LogMessage(LookupText("decipher_upbox_input"));
    } else {
      password = ItemText(IDC_PASSWORD);
    }
  } else {
    if (settings.Confirm) {
      password = ItemText(IDC_PASSWORD_UPPER);
      std::string repeated = ItemText(IDC_PASSWORD_CONFIRM);
      if (password != repeated) {
        LogMessage(LookupText("password_miss"));
        SetLayoutMode(LogLayout);
        if (!password.empty() && repeated.empty()) SetFocus(Item(IDC_PASSWORD_CONFIRM));
        return;
      }
    } else {
      password = ItemText(IDC_PASSWORD);
    }
    if (settings.HashCheck && !autoStart_ && !CheckPasswordDigest(password)) return;
  }
  StartJob(jobMode_, password);
}

bool CMainDlg::CheckPasswordDigest(const std::string& password) {
  std::array<unsigned char, 20> digest = PasswordDigest(password);
  if (digest == settings.HashValue) return true;
  bool stored = false;
  for (unsigned char byte : settings.HashValue) stored = stored || byte != 0;
  if (stored) {
    int answer = MessageBoxA(Handle(), LookupText("message_password_hash").c_str(),
                             LookupText("tavro_name").c_str(), MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer != IDYES) return false;
  }
  settings.HashValue = digest;
  return true;
}

void CMainDlg::StartJob(int mode, const std::string& password) {
  if (worker_.JobRunning()) {
    worker_.RequestStop();
    return;
  }
  errorSeen_ = false;
  meter_.SetValues(0, 0, 0);
  SetWindowTextA(meter_.Handle(), "");
  if (mode == Encryption) {
    EnableWindow(Item(IDC_CIPHER), FALSE);
    EnableWindow(Item(IDC_DECIPHER), TRUE);
    SetItemText(IDC_DECIPHER, LookupText("button_encryption_stop"));
  } else {
    EnableWindow(Item(IDC_CIPHER), TRUE);
    SetItemText(IDC_CIPHER, LookupText("button_decryption_stop"));
    EnableWindow(Item(IDC_DECIPHER), FALSE);
  }
  for (int id : {IDC_PASSWORD, IDC_PASSWORD_UPPER, IDC_PASSWORD_CONFIRM}) SetItemText(id, "");

  JobRequest request;
  request.mode = mode;
  request.password = password;
  request.zero = settings.Zero != 0;
  request.rand = settings.Rand != 0;
  request.writeReadOnly = settings.WriteReadOnly != 0;
  request.verify = settings.Verify != 0;
  if (!worker_.StartJob(request)) return;  // a job runs: that was a stop request

  SetTimer(Handle(), ProgressTimer, 200, nullptr);
  for (int id : {IDC_PASSWORD, IDC_PASSWORD_UPPER, IDC_PASSWORD_CONFIRM}) ShowWindow(Item(id), SW_HIDE);
  ShowWindow(meter_.Handle(), SW_SHOW);
  SetLayoutMode(LogLayout);
  // The focus must not stay on a hidden box, or Enter would reach nothing.
  HWND focus = GetFocus();
  if (!focus || !IsWindowVisible(focus) || !IsWindowEnabled(focus)) {
    SetFocus(Item(mode == Encryption ? IDC_DECIPHER : IDC_CIPHER));
  }
}

// -------------------------------------------------------- progress and end

void CMainDlg::OnTimer(UINT_PTR id) {
  if (id == CloseTimer) {
    if (worker_.IsFinished()) {
      KillTimer(Handle(), CloseTimer);
      End(IDOK);
    }
    return;
  }
  OnProgressTimer(id);
}

void CMainDlg::OnProgressTimer(UINT_PTR id) {
  if (id == AutoExitTimer) {
    if (sheetOpen_) return;  // asked again once the settings sheet is closed
    KillTimer(Handle(), id);
    if (settings.AutoExit) CloseProgram();  // the automatic exit, unless just turned off
    return;
  }
  if (id != ProgressTimer) return;
  if (closing_) return;
  uint64_t sum = worker_.ProgressSum();
  uint64_t total = worker_.progress.totalBytes;
  long percent = 0;
  if (!ProgressPercent(sum, total, &percent)) return;
  SetWindowTextA(meter_.Handle(), PercentText(percent).c_str());
  meter_.SetValues(worker_.progress.baseBytes, sum, total);
  SetText(ProgressTitle(LookupText("tavro_name"), sum, total));
}

void CMainDlg::OnJobFinished(bool completed) {
  worker_.JobHandled();
  KillTimer(Handle(), ProgressTimer);
  if (closing_) return;  // the window is going; the close timer finishes the job
  EnableWindow(Item(IDC_CIPHER), TRUE);
  EnableWindow(Item(IDC_DECIPHER), TRUE);
  SetItemText(IDC_CIPHER, LookupText("button_cipher"));
  SetItemText(IDC_DECIPHER, LookupText("button_decipher"));
  ShowPasswordBoxes();
  ShowWindow(meter_.Handle(), SW_HIDE);
  MessageBeep(MB_OK);
  SetLayoutMode(FullLayout);
  // Targets dropped during the job wait for the next one.
  if (worker_.PendingTargets().empty()) {
    SetIdleTitle();
  } else {
    SetSelectModeTitle();
  }
  SetItemText(IDC_PROMPT, LookupText("please_input_password"));
  SendMessageA(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_OKAY)), TRUE);
  if (!completed) errorSeen_ = true;
  if (worker_.progress.errorSeen) errorSeen_ = true;
  if (!settings.AutoExit) return;
  if (errorSeen_) {
    LogMessage(LookupText("error_auto_exit"));
  } else {
    LogMessage(LookupText("tavro_goodbye"));
    SetTimer(Handle(), AutoExitTimer, 600, nullptr);
  }
}

void CMainDlg::OnJobLog(const char* text, LogKind kind) {
  if (kind == Error) errorSeen_ = true;
  AddLogLine(text ? text : "", kind);
}

void CMainDlg::AddLogLine(const std::string& text, LogKind kind) { runLog_.AddLogLine(text, kind); }

bool CMainDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  switch (message) {
    case WM_JOB_LOG:
      OnJobLog(reinterpret_cast<const char*>(wParam), lParam == Error ? Error : Message);
      *result = 1;
      return true;
    case WM_JOB_FINISHED:
      OnJobFinished(wParam != 0);
      *result = 0;
      return true;
    case WM_ENDSESSION:
      if (wParam) OnEndSession();
      *result = 0;
      return true;
  }
  return false;
}

// ------------------------------------------------------ reports of the job

void CMainDlg::LogLine(const std::string& line, LogKind kind) {
  if (GetCurrentThreadId() == windowThread_) {
    OnJobLog(line.c_str(), kind);
  } else {
    SendMessageA(Handle(), WM_JOB_LOG, reinterpret_cast<WPARAM>(line.c_str()), kind);
  }
}

void CMainDlg::SetStatusText(const std::string& text) { SetDlgItemTextA(Handle(), IDC_PROMPT, text.c_str()); }

void CMainDlg::JobFinished(bool completed) { PostMessageA(Handle(), WM_JOB_FINISHED, completed ? 1 : 0, 0); }

// ----------------------------------------------------------------- closing

void CMainDlg::CloseProgram() {
  if (closing_) return;
  closing_ = true;
  KillTimer(Handle(), AutoExitTimer);
  worker_.RequestQuit();
  // Between jobs the worker sends nothing more and ends at once.
  if (worker_.IsFinished() || worker_.WaitForEnd(worker_.JobRunning() ? 0 : kIdleQuitWaitMs)) {
    End(IDOK);
    return;
  }
  // The worker is still leaving its file safe (or is held up by a slow
  // device): the window stays in sight, says what it waits for, and keeps
  // handling the worker's messages until the thread has ended.
  ShowStopping();
  SetTimer(Handle(), CloseTimer, 20, nullptr);
}

void CMainDlg::ShowStopping() {
  KillTimer(Handle(), ProgressTimer);
  DragAcceptFiles(Handle(), FALSE);
  SetLayoutMode(LogLayout);
  SetFocus(logBox_.Handle());  // the log stays readable; every other control is off
  for (int id : {IDC_CIPHER, IDC_DECIPHER, IDC_OKAY, IDC_SITE, IDC_PASSWORD, IDC_PASSWORD_UPPER,
                 IDC_PASSWORD_CONFIRM}) {
    EnableWindow(Item(id), FALSE);
  }
  EnableWindow(meter_.Handle(), FALSE);
  const std::string waiting = LookupText("message_closing_wait");
  SetText(LookupText("tavro_name") + " " + versionString_ + " - [" + waiting + "]");
  const std::string file = worker_.FileInProgress();
  LogMessage(LookupText("message") + " : " + waiting + (file.empty() ? "" : " : " + file));
}

// The session ends: the process will be ended without its window being
// destroyed. The job in progress is stopped (its file abandoned cleanly)
// while the worker's last lines are still taken, then everything is saved.
void CMainDlg::OnEndSession() {
  closing_ = true;
  KillTimer(Handle(), ProgressTimer);
  KillTimer(Handle(), AutoExitTimer);
  worker_.RequestQuit();
  DWORD start = GetTickCount();
  while (!worker_.WaitForEnd(20) && GetTickCount() - start < 10000) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  SaveAll();
}

void CMainDlg::SaveAll() {
  if (saved_) return;
  saved_ = true;
  SaveSettings(settings, kSettingsKey);
  SaveTextTable(kTextTableKey);
}

void CMainDlg::OnDestroy() {
  DragAcceptFiles(Handle(), FALSE);
  KillTimer(Handle(), ProgressTimer);
  KillTimer(Handle(), AutoExitTimer);
  KillTimer(Handle(), CloseTimer);
  SaveAll();
  runLog_.SetView(nullptr);
  if (contextMenu_) DestroyMenu(contextMenu_);
  contextMenu_ = nullptr;
  if (dialogFont_) DeleteObject(dialogFont_);
  if (passwordFont_) DeleteObject(passwordFont_);
  dialogFont_ = passwordFont_ = nullptr;
}
