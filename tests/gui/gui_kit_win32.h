// Shared kit of the GUI drivers: starts a fresh copy of the real Tavro.exe,
// finds its dialogs, types, clicks, drops, reads the run log and asks the
// calling script for screenshots. Every wait is bounded. Each *_cases_win32.cpp
// of this folder adds its cases to the one gui_driver program.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "testkit/temp_dir.h"

namespace guikit {

inline std::string g_program;
inline std::string g_handshake;
inline std::string g_languages;  // folder of the distributed language files (optional)

constexpr int kWait = 15000;  // every wait is bounded by this (ms) unless said otherwise

// Control ids of the program's dialogs.
enum {
  kSingleBox = 1001,
  kConfirmBox = 1002,
  kPrompt = 1003,
  kUpperBox = 1004,
  kCipher = 1007,
  kDecipher = 1008,
  kOkay = 1009,
  kSite = 1010,
  kRunLog = 1011,
  kMarkLog = 1012,
  kMarkCompact = 1013,
  kMarkFull = 1014,
  kProgress = 1016,
  kSiteCaption = 1020,
  kStatusGroup = 1021,
  kAboutVersion = 1022,
  kMessageText = 1029,
  kMessageCopy = 1030,
  kLanguageList = 1031,
  kAboutCommand = 32775,
};
constexpr UINT kJobLog = WM_APP + 2;
constexpr char kSettingsKey[] = "Software\\Veltrane\\Tavro";

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kWait) {
  for (int waited = 0;; waited += 20) {
    if (done()) return true;
    if (waited >= timeoutMs) return false;
    Sleep(20);
  }
}

inline std::string WindowText(HWND window) {
  char buffer[4096] = {};
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, 5000, &result)) {
    return "<no answer>";
  }
  return buffer;
}

struct WindowSearch {
  DWORD processId;
  std::function<bool(HWND)> accept;
  HWND found;
};

inline BOOL CALLBACK Visit(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[32] = {};
  GetClassNameA(window, className, sizeof className);
  if (owner == search->processId && std::string(className) == "#32770" && IsWindowVisible(window) &&
      search->accept(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

inline HWND FindDialog(DWORD processId, const std::function<bool(HWND)>& accept) {
  WindowSearch search = {processId, accept, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The language chooser of the program, by its caption.
inline HWND FindChooser(DWORD processId) {
  return FindDialog(processId, [](HWND w) { return WindowText(w) == "Tavro ZenMap"; });
}

// Top of a marker control in the main dialog's client coordinates.
inline int MarkerTop(HWND dialog, int id) {
  RECT rect;
  GetWindowRect(GetDlgItem(dialog, id), &rect);
  POINT top = {rect.left, rect.top};
  ScreenToClient(dialog, &top);
  return top.y;
}

inline int ClientHeight(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  return client.bottom;
}

inline bool InLayout(HWND dialog, int marker) { return ClientHeight(dialog) == MarkerTop(dialog, marker); }

inline void DeleteSettings() { RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey); }

inline bool ReadDword(const char* name, DWORD* value) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = sizeof *value;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_DWORD;
}

inline void WriteDword(const char* name, DWORD value) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

// A checksum of a file's bytes (FNV-1a, 64 bits) and its size; 0 when it cannot be read.
inline uint64_t FileChecksum(const std::string& path, uint64_t* size = nullptr) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  std::vector<unsigned char> buffer(1 << 20);
  uint64_t hash = 1469598103934665603ull, total = 0;
  DWORD got = 0;
  while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
    for (DWORD i = 0; i < got; ++i) hash = (hash ^ buffer[i]) * 1099511628211ull;
    total += got;
  }
  CloseHandle(file);
  if (size) *size = total;
  return hash;
}

// A large file of pseudo-random bytes, written in 1 MiB pieces.
inline void WriteLargeFile(const std::string& path, size_t megabytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::vector<unsigned char> buffer(1 << 20);
  uint32_t state = 12345;
  for (size_t m = 0; m < megabytes; ++m) {
    for (auto& byte : buffer) {
      state = state * 1103515245u + 12345u;
      byte = static_cast<unsigned char>(state >> 16);
    }
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &written, nullptr));
  }
  CloseHandle(file);
}

inline std::vector<std::string> NamesEndingIn(const std::string& folder, const std::string& ending) {
  std::vector<std::string> names;
  for (const std::string& name : testkit::ListNames(folder)) {
    if (name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
      names.push_back(name);
    }
  }
  return names;
}

// Asks the calling script for a screenshot of the window and waits for it.
inline void Screenshot(const std::string& name, HWND window) {
  if (g_handshake.empty()) return;
  Sleep(250);  // let the window paint
  RECT rect;
  GetWindowRect(window, &rect);
  std::string request = g_handshake + "\\" + name + ".req";
  std::string tmp = request + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "w");
  if (!f) return;
  std::fprintf(f, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  std::fclose(f);
  MoveFileA(tmp.c_str(), request.c_str());
  std::string done = g_handshake + "\\" + name + ".done";
  bool taken = WaitUntil([&] { return GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000);
  if (!taken) std::printf("screenshot %s was not taken\n", name.c_str());
}

// One start of the program: a fresh copy of Tavro.exe in its own folder (the
// program folder is where language files are searched and the default target).
class TavroRun {
 public:
  explicit TavroRun(const std::string& folder) : folder_(folder) {}
  ~TavroRun() {
    if (info_.hProcess) {
      if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
      }
      CloseHandle(info_.hProcess);
    }
  }

  const std::string& folder() const { return folder_; }
  std::string programPath() const { return folder_ + "\\Tavro.exe"; }
  DWORD processId() const { return info_.dwProcessId; }
  HANDLE process() const { return info_.hProcess; }
  HWND main() const { return main_; }

  // Starts the program with the arguments and waits for a dialog of it. Its
  // current folder is the program folder unless another one is given.
  bool Start(const std::string& arguments, const std::string& currentFolder = "") {
    CopyFileA(g_program.c_str(), programPath().c_str(), FALSE);
    std::string commandLine = "\"" + programPath() + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(programPath().c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        currentFolder.empty() ? folder_.c_str() : currentFolder.c_str(), &startup, &info_)) {
      return false;
    }
    CloseHandle(info_.hThread);
    info_.hThread = nullptr;
    return true;
  }

  // The main dialog (the one with the run log), once it is visible.
  bool WaitForMain(int timeoutMs = 30000) {
    return WaitUntil([&] {
      main_ = FindDialog(processId(), [](HWND w) { return GetDlgItem(w, kRunLog) != nullptr; });
      return main_ != nullptr;
    }, timeoutMs);
  }

  bool StartAndWait(const std::string& arguments) { return Start(arguments) && WaitForMain(); }

  // Starts a whole command line as the shell would run it (a registered open
  // command, a shortcut's target), without copying the program.
  bool StartCommand(const std::string& commandLine) {
    std::string line = commandLine;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(), &startup, &info_)) {
      return false;
    }
    CloseHandle(info_.hThread);
    info_.hThread = nullptr;
    return true;
  }

  bool Ended(int timeoutMs) { return WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0; }

  HWND Item(int id) const { return GetDlgItem(main_, id); }
  std::string Title() const { return WindowText(main_); }
  std::string ItemText(int id) const { return WindowText(Item(id)); }
  void SetBox(int id, const std::string& text) const {
    SendMessageA(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  void Click(int id) const { PostMessageA(Item(id), BM_CLICK, 0, 0); }
  void Command(int id) const { PostMessageA(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

  HWND Focus() const {
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    DWORD thread = GetWindowThreadProcessId(main_, nullptr);
    if (GetGUIThreadInfo(thread, &gui) && gui.hwndFocus) return gui.hwndFocus;
    return main_;
  }
  void PressKey(WPARAM key) const {
    HWND focus = Focus();
    PostMessageA(focus, WM_KEYDOWN, key, 0x00000001);
    PostMessageA(focus, WM_KEYUP, key, 0xC0000001);
  }
  void PressEnter() const { PressKey(VK_RETURN); }
  void PressEscape() const { PressKey(VK_ESCAPE); }

  // A job is over: both mode buttons enabled again, the meter hidden.
  bool Idle() const {
    return IsWindowEnabled(Item(kCipher)) && IsWindowEnabled(Item(kDecipher)) &&
           ItemText(kCipher) == "Cipher" && ItemText(kDecipher) == "Decipher";
  }
  bool WaitIdle(int timeoutMs = kWait) const { return WaitUntil([&] { return Idle(); }, timeoutMs); }
  bool Running() const { return !IsWindowEnabled(Item(kCipher)) || !IsWindowEnabled(Item(kDecipher)); }

  // Drops paths on the main window the way the shell does: a DROPFILES block
  // in the program's own memory, then WM_DROPFILES.
  bool Drop(const std::vector<std::string>& paths) const {
    std::vector<char> block(sizeof(DROPFILES), 0);
    auto* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    for (const std::string& path : paths) {
      block.insert(block.end(), path.begin(), path.end());
      block.push_back('\0');
    }
    block.push_back('\0');
    void* remote = VirtualAllocEx(info_.hProcess, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote) return false;
    SIZE_T written = 0;
    if (!WriteProcessMemory(info_.hProcess, remote, block.data(), block.size(), &written)) return false;
    return PostMessageA(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) != FALSE;
  }

  int LogCount() const { return static_cast<int>(SendMessageA(Item(kRunLog), LB_GETCOUNT, 0, 0)); }

  // Double-clicks log line `item` (0 = top) and reads the message dialog; the
  // dialog is closed again unless keepOpen is given.
  bool ReadLogLine(int item, std::string* text, HWND* keepOpen = nullptr) const {
    HWND list = Item(kRunLog);
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(item), 0);
    PostMessageA(main_, WM_COMMAND, MAKEWPARAM(kRunLog, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    HWND box = nullptr;
    if (!WaitUntil([&] {
          box = FindDialog(processId(), [](HWND w) { return WindowText(w) == "Tavro Message"; });
          return box != nullptr;
        }, 5000)) {
      return false;
    }
    *text = WindowText(GetDlgItem(box, kMessageText));
    if (keepOpen) {
      *keepOpen = box;
      return true;
    }
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    // Gone, not only hidden: until then the keyboard focus may still be in it.
    return WaitUntil([&] { return !IsWindow(box); }, 5000);
  }

  // Every line of the run log, oldest first; notice lines are left out.
  std::vector<std::string> Log() const {
    std::vector<std::string> lines;
    int count = LogCount();
    for (int item = count - 1; item >= 0; --item) {
      LRESULT data = SendMessageA(Item(kRunLog), LB_GETITEMDATA, static_cast<WPARAM>(item), 0);
      if (data < 0 || data >= 1000) continue;  // a notice line: no entry behind it
      std::string text;
      if (ReadLogLine(item, &text)) lines.push_back(text);
    }
    return lines;
  }

  // Opens the About dialog from the context menu's command; null when it does not show.
  HWND OpenAbout() const {
    Command(kAboutCommand);
    HWND about = nullptr;
    WaitUntil([&] {
      about = FindDialog(processId(), [](HWND w) { return WindowText(w) == "Tavro About"; });
      return about != nullptr;
    });
    return about;
  }

  // The question box of the program (caption "Tavro"), once it shows.
  HWND WaitForQuestion(int timeoutMs = 5000) const {
    HWND box = nullptr;
    WaitUntil([&] {
      box = FindDialog(processId(), [&](HWND w) { return w != main_ && WindowText(w) == "Tavro"; });
      return box != nullptr;
    }, timeoutMs);
    return box;
  }

 private:
  std::string folder_;
  PROCESS_INFORMATION info_ = {};
  HWND main_ = nullptr;
};

// The language chooser of the run, once it shows; null after the wait.
inline HWND WaitForChooser(const TavroRun& run) {
  HWND chooser = nullptr;
  WaitUntil([&] {
    chooser = FindChooser(run.processId());
    return chooser != nullptr;
  });
  return chooser;
}

// Holds every thread of the program but its window's: the worker then stands
// still (as on a dead network share, holding its file open) until released.
class HeldThreads {
 public:
  HeldThreads(DWORD processId, DWORD windowThread) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
      if (entry.th32OwnerProcessID != processId || entry.th32ThreadID == windowThread) continue;
      HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
      if (thread && SuspendThread(thread) != static_cast<DWORD>(-1)) {
        held_.push_back(thread);
      } else if (thread) {
        CloseHandle(thread);
      }
    }
    CloseHandle(snapshot);
  }
  ~HeldThreads() { Release(); }
  HeldThreads(const HeldThreads&) = delete;
  HeldThreads& operator=(const HeldThreads&) = delete;
  size_t count() const { return held_.size(); }
  void Release() {
    for (HANDLE thread : held_) {
      ResumeThread(thread);
      CloseHandle(thread);
    }
    held_.clear();
  }

 private:
  std::vector<HANDLE> held_;
};

// Deciphers whatever .cpy files the folder holds with an automatic run.
inline void DecipherFolder(const std::string& programFolder, const std::string& folder, const std::string& password) {
  TavroRun run(programFolder);
  ASSERT_TRUE(run.StartAndWait("-D -AUTOSTART -P " + password + " " + folder));
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); }, 120000));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

inline bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines) {
    if (l == line) return true;
  }
  return false;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += "  | " + l + "\n";
  return all;
}

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override { DeleteSettings(); }
  void TearDown() override { DeleteSettings(); }

  testkit::TempDir programDir;
  testkit::TempDir dataDir;
};

}  // namespace guikit
