// Drives the real Tavro.exe from outside, as a user would: starts a fresh copy
// of the program in a temp folder, types into the password boxes, presses
// buttons and Enter, drops files, answers the questions it asks, reads the run
// log through the message dialog and checks the files on disk and the
// settings in the registry. Screenshots are asked of the calling script.
//
// Usage: gui_driver [gtest flags] <Tavro.exe> [<handshake folder> [<language files folder>]]
//   For a screenshot the driver writes <folder>\<name>.req ("left top width
//   height") and waits for <folder>\<name>.done.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "testkit/temp_dir.h"

namespace {

std::string g_program;
std::string g_handshake;
std::string g_languages;  // folder of the distributed language files (optional)

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

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kWait) {
  for (int waited = 0;; waited += 20) {
    if (done()) return true;
    if (waited >= timeoutMs) return false;
    Sleep(20);
  }
}

std::string WindowText(HWND window) {
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

BOOL CALLBACK Visit(HWND window, LPARAM param) {
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

HWND FindDialog(DWORD processId, const std::function<bool(HWND)>& accept) {
  WindowSearch search = {processId, accept, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The language chooser of the program, by its caption.
HWND FindChooser(DWORD processId) {
  return FindDialog(processId, [](HWND w) { return WindowText(w) == "Tavro ZenMap"; });
}

// Top of a marker control in the main dialog's client coordinates.
int MarkerTop(HWND dialog, int id) {
  RECT rect;
  GetWindowRect(GetDlgItem(dialog, id), &rect);
  POINT top = {rect.left, rect.top};
  ScreenToClient(dialog, &top);
  return top.y;
}

int ClientHeight(HWND dialog) {
  RECT client;
  GetClientRect(dialog, &client);
  return client.bottom;
}

bool InLayout(HWND dialog, int marker) { return ClientHeight(dialog) == MarkerTop(dialog, marker); }

void DeleteSettings() { RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey); }

bool ReadDword(const char* name, DWORD* value) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = sizeof *value;
  LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_DWORD;
}

void WriteDword(const char* name, DWORD value) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

// A checksum of a file's bytes (FNV-1a, 64 bits) and its size; 0 when it cannot be read.
uint64_t FileChecksum(const std::string& path, uint64_t* size = nullptr) {
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
void WriteLargeFile(const std::string& path, size_t megabytes) {
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

std::vector<std::string> NamesEndingIn(const std::string& folder, const std::string& ending) {
  std::vector<std::string> names;
  for (const std::string& name : testkit::ListNames(folder)) {
    if (name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
      names.push_back(name);
    }
  }
  return names;
}

// Asks the calling script for a screenshot of the window and waits for it.
void Screenshot(const std::string& name, HWND window) {
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

  // Starts the program with the arguments and waits for a dialog of it.
  bool Start(const std::string& arguments) {
    CopyFileA(g_program.c_str(), programPath().c_str(), FALSE);
    std::string commandLine = "\"" + programPath() + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(programPath().c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder_.c_str(), &startup, &info_)) {
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
    return WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
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

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines) {
    if (l == line) return true;
  }
  return false;
}

std::string Joined(const std::vector<std::string>& lines) {
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

// ------------------------------------------------------------------ tests

TEST_F(GuiTest, PlainStartShowsCompactWindowWithFolderTitleAndTexts) {
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  EXPECT_EQ(run.Title(), "Tavro 1.00 - [" + programDir.path() + "]");
  EXPECT_TRUE(InLayout(run.main(), kMarkCompact)) << "client height " << ClientHeight(run.main());
  EXPECT_EQ(run.ItemText(kCipher), "Cipher");
  EXPECT_EQ(run.ItemText(kDecipher), "Decipher");
  EXPECT_EQ(run.ItemText(kPrompt), "Please input a password.");
  EXPECT_EQ(run.ItemText(kOkay), "OK");
  EXPECT_EQ(run.ItemText(kSite), "GO !");
  EXPECT_EQ(run.ItemText(kSiteCaption), "Tavro's SupportPage");
  EXPECT_EQ(run.ItemText(kStatusGroup), "status_run");
  // Confirm is on by default: the upper and the confirmation box, not the single one.
  EXPECT_TRUE(IsWindowVisible(run.Item(kUpperBox)));
  EXPECT_TRUE(IsWindowVisible(run.Item(kConfirmBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kSingleBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kProgress)));
  EXPECT_EQ(SendMessageA(run.Item(kUpperBox), EM_GETPASSWORDCHAR, 0, 0), '*');
  EXPECT_EQ(SendMessageA(run.Item(kConfirmBox), EM_GETPASSWORDCHAR, 0, 0), '*');
  EXPECT_EQ(run.Focus(), run.Item(kUpperBox));
  EXPECT_EQ(run.LogCount(), 0);
  Screenshot("layout_compact", run.main());

  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
  DWORD value = 0;
  EXPECT_TRUE(ReadDword("Confirm", &value)) << "settings are saved at exit";
  EXPECT_EQ(value, 1u);
}

TEST_F(GuiTest, CommandLineTargetsAndPasswordThenEnterEnciphers) {
  std::string first = dataDir.Join("a b.txt");
  std::string second = dataDir.Join("c.txt");
  testkit::WriteAll(first, std::string("first file\r\n"));
  testkit::WriteAll(second, std::string("second file, a little longer\r\n"));

  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-E -P \"pass word\" \"" + first + "\" " + second));
  EXPECT_TRUE(InLayout(run.main(), kMarkLog)) << "client height " << ClientHeight(run.main());
  EXPECT_EQ(run.Title(), "Tavro 1.00 - [SelectMode]");
  EXPECT_EQ(run.ItemText(kUpperBox), "pass word");
  EXPECT_EQ(run.ItemText(kConfirmBox), "pass word");
  std::vector<std::string> log = run.Log();
  ASSERT_EQ(log.size(), 3u) << Joined(log);
  EXPECT_EQ(log[0], "Drag : " + first);
  EXPECT_EQ(log[1], "Drag : " + second);
  EXPECT_EQ(log[2], "Msg: message_drop");
  Screenshot("layout_log", run.main());

  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); })) << "the job ends in the full layout";
  ASSERT_TRUE(run.WaitIdle());
  EXPECT_FALSE(testkit::Exists(first));
  EXPECT_FALSE(testkit::Exists(second));
  EXPECT_EQ(NamesEndingIn(dataDir.path(), ".cpy").size(), 2u);
  EXPECT_EQ(testkit::ListNames(dataDir.path()).size(), 2u) << "nothing but the two enciphered files";
  EXPECT_EQ(run.Title(), "Tavro 1.00 - [" + programDir.path() + "]");
  EXPECT_EQ(run.ItemText(kPrompt), "Please input a password.");
  EXPECT_TRUE(IsWindowVisible(run.Item(kUpperBox)));
  EXPECT_EQ(run.ItemText(kUpperBox), "");
  EXPECT_FALSE(IsWindowVisible(run.Item(kProgress)));
  EXPECT_EQ(run.Focus(), run.Item(kOkay));
  log = run.Log();
  EXPECT_TRUE(Contains(log, "message_encryption_started")) << Joined(log);
  EXPECT_TRUE(Contains(log, "message_encryption_finished")) << Joined(log);
  Screenshot("layout_full", run.main());

  // Enter on the focused OK button closes the program.
  run.PressEnter();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, AutoStartAndAutoExitDecipherAndLeaveAutoExitOn) {
  std::string plain = dataDir.Join("note.txt");
  testkit::WriteAll(plain, std::string("deciphered again by an automatic run\r\n"));
  uint64_t sum = FileChecksum(plain);
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait("-E -AUTOSTART -P secret " + dataDir.path()));
    ASSERT_TRUE(WaitUntil([&] { return NamesEndingIn(dataDir.path(), ".cpy").size() == 1 && run.Idle(); }));
    EXPECT_FALSE(testkit::Exists(plain));
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
  }
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.Start("-D -AUTOSTART -AUTOEXIT -P secret " + dataDir.path()));
    EXPECT_TRUE(run.Ended(20000)) << "the program closes itself after a clean job";
  }
  EXPECT_TRUE(testkit::Exists(plain));
  EXPECT_EQ(FileChecksum(plain), sum);
  EXPECT_TRUE(NamesEndingIn(dataDir.path(), ".cpy").empty());
  DWORD autoExit = 0;
  EXPECT_TRUE(ReadDword("AutoExit", &autoExit));
  EXPECT_EQ(autoExit, 1u);
}

TEST_F(GuiTest, AutoExitStaysOpenAfterAFailedFile) {
  std::string bad = dataDir.Join("broken.cpy");
  testkit::WriteAll(bad, std::string("not an enciphered file"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-D -AUTOSTART -AUTOEXIT -P secret " + bad));
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); }));
  EXPECT_FALSE(run.Ended(1500)) << "an error line blocks the automatic exit";
  std::vector<std::string> log = run.Log();
  EXPECT_TRUE(Contains(log, "error_auto_exit")) << Joined(log);
  EXPECT_TRUE(testkit::Exists(bad));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, PasswordMismatchLogsAndStartsNothing) {
  std::string plain = dataDir.Join("keep.txt");
  testkit::WriteAll(plain, std::string("stays plain"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  ASSERT_TRUE(run.Drop({plain}));
  ASSERT_TRUE(WaitUntil([&] { return run.Title() == "Tavro 1.00 - [SelectMode]"; }));
  run.SetBox(kUpperBox, "one");
  run.SetBox(kConfirmBox, "");
  run.Click(kCipher);
  ASSERT_TRUE(WaitUntil([&] { return run.LogCount() == 3; })) << run.LogCount();
  std::vector<std::string> log = run.Log();
  EXPECT_EQ(log.back(), "password_miss") << Joined(log);
  EXPECT_TRUE(InLayout(run.main(), kMarkLog));
  EXPECT_EQ(run.Focus(), run.Item(kConfirmBox)) << "the focus goes to the empty confirmation box";
  EXPECT_EQ(run.ItemText(kUpperBox), "one") << "the boxes keep their texts";

  run.SetBox(kConfirmBox, "two");
  run.Click(kCipher);
  ASSERT_TRUE(WaitUntil([&] { return run.LogCount() == 4; }));
  Sleep(300);
  EXPECT_TRUE(run.Idle());
  EXPECT_TRUE(testkit::Exists(plain));
  EXPECT_TRUE(NamesEndingIn(dataDir.path(), ".cpy").empty());

  // Deciphering reads the upper box; a different confirmation box is only noted.
  run.Click(kDecipher);
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); }));
  log = run.Log();
  ASSERT_GE(log.size(), 6u) << Joined(log);
  EXPECT_EQ(log[4], "decipher_upbox_input") << Joined(log);
  EXPECT_EQ(log[5], "message_decryption_started") << Joined(log);
  EXPECT_TRUE(testkit::Exists(plain)) << "deciphering leaves a plain file alone";
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, DigestQuestionNoAndCancelStartNothingYesStarts) {
  std::string first = dataDir.Join("first.txt");
  std::string second = dataDir.Join("second.txt");
  testkit::WriteAll(first, std::string("first"));
  testkit::WriteAll(second, std::string("second"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));

  // The first enciphering stores the digest without asking.
  ASSERT_TRUE(run.Drop({first}));
  run.SetBox(kUpperBox, "alpha");
  run.SetBox(kConfirmBox, "alpha");
  run.Click(kCipher);
  ASSERT_TRUE(WaitUntil([&] { return !testkit::Exists(first); }));
  ASSERT_TRUE(run.WaitIdle());
  EXPECT_EQ(run.WaitForQuestion(300), nullptr);

  ASSERT_TRUE(run.Drop({second}));
  for (int answer : {IDNO, IDCANCEL}) {
    run.SetBox(kUpperBox, "beta");
    run.SetBox(kConfirmBox, "beta");
    run.Click(kCipher);
    HWND question = run.WaitForQuestion();
    ASSERT_NE(question, nullptr) << "a different password is questioned";
    EXPECT_EQ(WindowText(GetDlgItem(question, 0xFFFF)), "message_password_hash");
    if (answer == IDNO) Screenshot("digest_question", question);
    PostMessageA(question, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(question); }));
    Sleep(300);
    EXPECT_TRUE(testkit::Exists(second)) << "answer " << answer << " starts nothing";
    EXPECT_TRUE(run.Idle());
    EXPECT_EQ(run.ItemText(kUpperBox), "beta") << "the boxes keep their texts";
  }
  run.Click(kCipher);
  HWND question = run.WaitForQuestion();
  ASSERT_NE(question, nullptr);
  PostMessageA(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
  EXPECT_TRUE(WaitUntil([&] { return !testkit::Exists(second); })) << "Yes starts the job";
  ASSERT_TRUE(run.WaitIdle());

  // Yes stored the new digest: the same password is not questioned again.
  std::string third = dataDir.Join("third.txt");
  testkit::WriteAll(third, std::string("third"));
  ASSERT_TRUE(run.Drop({third}));
  run.SetBox(kUpperBox, "beta");
  run.SetBox(kConfirmBox, "beta");
  run.Click(kCipher);
  EXPECT_EQ(run.WaitForQuestion(500), nullptr);
  EXPECT_TRUE(WaitUntil([&] { return !testkit::Exists(third); }));
  ASSERT_TRUE(run.WaitIdle());
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, DropOfFiveFilesLogsThemInOrderAndEnciphersThem) {
  std::vector<std::string> paths;
  for (int i = 1; i <= 5; ++i) {
    paths.push_back(dataDir.Join("file" + std::to_string(i) + ".dat"));
    testkit::WriteAll(paths.back(), testkit::PatternBytes(1000u * static_cast<size_t>(i), static_cast<uint32_t>(i)));
  }
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  // The program file itself is never a target.
  std::vector<std::string> dropped = paths;
  dropped.insert(dropped.begin() + 2, run.programPath());
  ASSERT_TRUE(run.Drop(dropped));
  ASSERT_TRUE(WaitUntil([&] { return run.LogCount() == 6; })) << run.LogCount();
  EXPECT_TRUE(InLayout(run.main(), kMarkLog));
  EXPECT_EQ(run.Title(), "Tavro 1.00 - [SelectMode]");
  std::vector<std::string> log = run.Log();
  ASSERT_EQ(log.size(), 6u) << Joined(log);
  EXPECT_EQ(log[0], "Msg: message_drop");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(log[static_cast<size_t>(i) + 1], "Drag : " + paths[static_cast<size_t>(i)]);

  run.SetBox(kUpperBox, "five");
  run.SetBox(kConfirmBox, "five");
  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return NamesEndingIn(dataDir.path(), ".cpy").size() == 5 && run.Idle(); }));
  EXPECT_EQ(testkit::ListNames(dataDir.path()).size(), 5u);
  EXPECT_TRUE(testkit::Exists(run.programPath()));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

// Deciphers whatever .cpy files the folder holds with an automatic run.
void DecipherFolder(const std::string& programFolder, const std::string& folder, const std::string& password) {
  TavroRun run(programFolder);
  ASSERT_TRUE(run.StartAndWait("-D -AUTOSTART -P " + password + " " + folder));
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); }, 120000));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, StopInTheMiddleOfALargeFileLosesNothing) {
  std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 400);
  uint64_t size = 0;
  uint64_t sum = FileChecksum(big, &size);
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait("-E -P stop " + big));
    run.PressEnter();
    ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }))
        << "the title shows the byte counts: " << run.Title();
    // The arrow between the counts: the Shift-JIS right arrow only where the
    // ANSI code page is 932, a readable one elsewhere.
    std::string arrow = GetACP() == 932 ? "\x81\xA8" : "->";
    std::string title = run.Title();
    EXPECT_EQ(title.rfind("Tavro ", 0), 0u) << title;
    EXPECT_NE(title.find(" byte " + arrow + " "), std::string::npos) << title << " (code page " << GetACP() << ")";
    // Planned: the file once for enciphering and once per overwrite pass (zeros, random bytes).
    EXPECT_NE(title.find(" " + std::to_string(3 * size) + " byte"), std::string::npos) << title;
    EXPECT_EQ(run.ItemText(kDecipher), "Stop");
    EXPECT_FALSE(IsWindowEnabled(run.Item(kCipher)));
    EXPECT_FALSE(IsWindowVisible(run.Item(kUpperBox)));
    run.Click(kDecipher);  // the stop button of an enciphering job
    ASSERT_TRUE(run.WaitIdle(60000));
    std::vector<std::string> log = run.Log();
    EXPECT_TRUE(Contains(log, "message : message_encryption_canceled : " + big)) << Joined(log);
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
  }
  for (const std::string& name : testkit::ListNames(dataDir.path())) {
    EXPECT_TRUE(name == "big.bin" || NamesEndingIn(dataDir.path(), ".cpy").size() == 1) << name;
  }
  if (!testkit::Exists(big)) DecipherFolder(programDir.path(), dataDir.path(), "stop");
  uint64_t after = 0;
  EXPECT_EQ(FileChecksum(big, &after), sum);
  EXPECT_EQ(after, size);
  EXPECT_EQ(testkit::ListNames(dataDir.path()), std::vector<std::string>{"big.bin"});
}

TEST_F(GuiTest, ClosingDuringAJobEndsTheProgramAndLosesNothing) {
  std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 300);
  uint64_t sum = FileChecksum(big);
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait("-E -P close " + big));
    run.PressEnter();
    ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
    PostMessageA(run.main(), WM_CLOSE, 0, 0);  // the close box
    EXPECT_TRUE(run.Ended(60000)) << "the program ends once the worker has stopped";
    DWORD code = 1;
    GetExitCodeProcess(run.process(), &code);
    EXPECT_EQ(code, 0u) << "no crash";
  }
  DWORD confirm = 0;
  EXPECT_TRUE(ReadDword("Confirm", &confirm)) << "the settings were saved after the worker ended";
  if (!testkit::Exists(big)) DecipherFolder(programDir.path(), dataDir.path(), "close");
  EXPECT_EQ(FileChecksum(big), sum);
  EXPECT_EQ(testkit::ListNames(dataDir.path()), std::vector<std::string>{"big.bin"});
}

TEST_F(GuiTest, ClosingAtAnyMomentOfAJobLosesNothing) {
  // Several files, closed at different moments: before the job has begun,
  // early in a file, later on, and right as the job ends.
  std::vector<std::string> paths;
  std::vector<uint64_t> sums;
  for (int i = 0; i < 3; ++i) {
    paths.push_back(dataDir.Join("part" + std::to_string(i) + ".bin"));
    WriteLargeFile(paths.back(), 24);
    sums.push_back(FileChecksum(paths.back()));
  }
  for (int delay : {0, 30, 200, 600, 1500}) {
    SCOPED_TRACE("closed " + std::to_string(delay) + " ms after Enter");
    {
      TavroRun run(programDir.path());
      ASSERT_TRUE(run.StartAndWait("-E -P moment " + dataDir.path()));
      run.PressEnter();
      Sleep(static_cast<DWORD>(delay));
      PostMessageA(run.main(), WM_CLOSE, 0, 0);
      ASSERT_TRUE(run.Ended(60000));
      DWORD code = 1;
      GetExitCodeProcess(run.process(), &code);
      EXPECT_EQ(code, 0u);
    }
    if (!NamesEndingIn(dataDir.path(), ".cpy").empty()) DecipherFolder(programDir.path(), dataDir.path(), "moment");
    for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(FileChecksum(paths[i]), sums[i]) << paths[i];
    EXPECT_EQ(testkit::ListNames(dataDir.path()).size(), paths.size());
  }
}

TEST_F(GuiTest, EnterDuringAJobStopsItAndKeepsTheMode) {
  std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 300);
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-P enter " + big));  // no mode option: Enter runs the automatic mode
  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
  EXPECT_EQ(run.ItemText(kCipher), "Stop") << "the automatic mode's stop button is the cipher button";
  EXPECT_FALSE(IsWindowEnabled(run.Item(kDecipher)));
  run.PressEnter();  // the focus is not on OK: Enter stops the job
  ASSERT_TRUE(run.WaitIdle(60000));
  std::vector<std::string> log = run.Log();
  EXPECT_TRUE(Contains(log, "message : message_encryption_canceled : " + big)) << Joined(log);

  // The next Enter runs the automatic mode again.
  ASSERT_TRUE(run.Drop({big}));
  run.SetBox(kUpperBox, "enter");
  run.SetBox(kConfirmBox, "enter");
  PostMessageA(run.Item(kConfirmBox), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageA(run.Item(kConfirmBox), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  ASSERT_TRUE(WaitUntil([&] { return run.Focus() == run.Item(kConfirmBox); }));
  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
  EXPECT_EQ(run.ItemText(kCipher), "Stop");
  EXPECT_FALSE(IsWindowEnabled(run.Item(kDecipher)));
  run.Click(kCipher);
  ASSERT_TRUE(run.WaitIdle(60000));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, EndOfTheSessionDuringAJobStopsItAndSaves) {
  std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 300);
  uint64_t sum = FileChecksum(big);
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.StartAndWait("-E -P session " + big));
    run.PressEnter();
    ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
    // What the system does at log-off: ask, tell, then end the process.
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(run.main(), WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    EXPECT_TRUE(SendMessageTimeoutA(run.main(), WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 20000, &answer));
    TerminateProcess(run.process(), 0);
    ASSERT_TRUE(run.Ended(kWait));
  }
  DWORD confirm = 0;
  EXPECT_TRUE(ReadDword("Confirm", &confirm)) << "the settings were saved before the end";
  EXPECT_TRUE(NamesEndingIn(dataDir.path(), ".tmp").empty()) << "no work file left behind";
  if (!testkit::Exists(big)) DecipherFolder(programDir.path(), dataDir.path(), "session");
  EXPECT_EQ(FileChecksum(big), sum);
  EXPECT_EQ(testkit::ListNames(dataDir.path()), std::vector<std::string>{"big.bin"});
}

TEST_F(GuiTest, DropDuringAJobWaitsForTheNextJob) {
  std::string big = dataDir.Join("big.bin");
  WriteLargeFile(big, 300);
  testkit::TempDir later;
  std::string small = later.Join("later.txt");
  testkit::WriteAll(small, std::string("dropped while the first job ran"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-E -P drop " + big));
  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return run.Title().find(" byte") != std::string::npos; }));
  ASSERT_TRUE(run.Drop({small}));
  Screenshot("layout_running", run.main());
  ASSERT_TRUE(run.WaitIdle(120000));
  EXPECT_TRUE(testkit::Exists(small)) << "not added to the running job";
  EXPECT_EQ(run.Title(), "Tavro 1.00 - [SelectMode]");
  std::vector<std::string> log = run.Log();
  bool mentioned = false;
  for (const std::string& line : log) mentioned = mentioned || line.find(small) != std::string::npos;
  EXPECT_TRUE(mentioned) << Joined(log);

  run.SetBox(kUpperBox, "drop");
  run.SetBox(kConfirmBox, "drop");
  run.Click(kCipher);
  EXPECT_TRUE(WaitUntil([&] { return !testkit::Exists(small); })) << "the next job takes it";
  ASSERT_TRUE(run.WaitIdle());
  EXPECT_EQ(NamesEndingIn(later.path(), ".cpy").size(), 1u);
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, MessageDialogShowsTheWholeLineAndCopiesIt) {
  TavroRun run(programDir.path());
  std::string path = dataDir.Join("a rather long file name to see the line wrap in the run log.txt");
  testkit::WriteAll(path, std::string("x"));
  ASSERT_TRUE(run.StartAndWait("\"" + path + "\""));
  ASSERT_TRUE(WaitUntil([&] { return run.LogCount() == 2; }));
  HWND box = nullptr;
  std::string text;
  ASSERT_TRUE(run.ReadLogLine(1, &text, &box));
  EXPECT_EQ(text, "Drag : " + path);
  EXPECT_EQ(WindowText(GetDlgItem(box, kMessageCopy)), "button_text_copy");
  EXPECT_EQ(WindowText(GetDlgItem(box, IDOK)), "OK");
  Screenshot("message_dialog", box);
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  PostMessageA(GetDlgItem(box, kMessageCopy), BM_CLICK, 0, 0);
  std::string copied;
  WaitUntil([&] {
    if (!OpenClipboard(nullptr)) return false;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data) {
      const char* p = static_cast<const char*>(GlobalLock(data));
      if (p) copied = p;
      GlobalUnlock(data);
    }
    CloseClipboard();
    return !copied.empty();
  }, 5000);
  EXPECT_EQ(copied, "Drag : " + path);
  EXPECT_TRUE(IsWindow(box)) << "COPY leaves the dialog open";
  DWORD start = 1, end = 1;
  SendMessageA(GetDlgItem(box, kMessageText), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, end) << "nothing stays selected";
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
  Screenshot("layout_log_long_line", run.main());
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, AboutDialogShowsVersionAndLinks) {
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  run.Command(kAboutCommand);
  HWND about = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    about = FindDialog(run.processId(), [](HWND w) { return WindowText(w) == "Tavro About"; });
    return about != nullptr;
  }));
  EXPECT_EQ(WindowText(GetDlgItem(about, kAboutVersion)), "Tavro version  1.00  Release");
  EXPECT_EQ(WindowText(GetDlgItem(about, 1025)), "No Registration");
  EXPECT_EQ(WindowText(GetDlgItem(about, 1026)), "");
  EXPECT_EQ(WindowText(GetDlgItem(about, 1028)), "Email");
  EXPECT_EQ(WindowText(GetDlgItem(about, 1024)), "Veltrane");
  Screenshot("about_dialog", about);
  PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, LanguageChooserOnFirstStartThenTextsStay) {
  testkit::WriteAll(programDir.Join("english.zen"), std::string("language=English\r\nbutton_cipher=Cipher\r\n"));
  testkit::WriteAll(programDir.Join("test.zen"),
                    std::string("// a test language\r\nbutton_cipher=Lock\r\nbutton_decipher=Unlock\r\n"
                                "language=Testish\r\nmessage_drop=Files arrived\r\n"));
  testkit::WriteAll(programDir.Join("none.zen"), std::string("button_cipher=Nothing\r\n"));
  {
    TavroRun run(programDir.path());
    ASSERT_TRUE(run.Start(""));
    HWND chooser = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
      chooser = FindChooser(run.processId());
      return chooser != nullptr;
    }));
    HWND list = GetDlgItem(chooser, kLanguageList);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2) << "the file without a language line is not offered";
    LRESULT item = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                reinterpret_cast<LPARAM>("Testish"));
    ASSERT_NE(item, LB_ERR);
    EXPECT_EQ(item, 1) << "sorted by display name";
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(item), 0);
    Screenshot("language_chooser", chooser);
    PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(run.WaitForMain());
    EXPECT_EQ(run.ItemText(kCipher), "Lock");
    EXPECT_EQ(run.ItemText(kDecipher), "Unlock");
    EXPECT_FALSE(testkit::Exists(programDir.Join("english.zen")));
    EXPECT_FALSE(testkit::Exists(programDir.Join("test.zen")));
    EXPECT_TRUE(testkit::Exists(programDir.Join("english.zen.old")));
    EXPECT_TRUE(testkit::Exists(programDir.Join("test.zen.old")));
    EXPECT_TRUE(testkit::Exists(programDir.Join("none.zen"))) << "a file not offered stays";
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
  }
  testkit::TempDir otherDir;
  {
    // The next start (even from another folder) shows no chooser and keeps the texts.
    TavroRun run(otherDir.path());
    ASSERT_TRUE(run.StartAndWait(""));
    EXPECT_EQ(run.ItemText(kCipher), "Lock");
    EXPECT_EQ(FindChooser(run.processId()), nullptr);
    run.PressEscape();
    ASSERT_TRUE(run.Ended(kWait));
  }
}

TEST_F(GuiTest, LanguageChooserReportsAFailedRenameAndStaysOpen) {
  testkit::WriteAll(programDir.Join("alpha.zen"), std::string("language=Alpha\r\nbutton_cipher=A\r\n"));
  testkit::WriteAll(programDir.Join("beta.zen"), std::string("language=Beta\r\nbutton_cipher=B\r\n"));
  testkit::WriteAll(programDir.Join("alpha.zen.old"), std::string("in the way"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.Start(""));
  HWND chooser = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    chooser = FindChooser(run.processId());
    return chooser != nullptr;
  }));
  HWND list = GetDlgItem(chooser, kLanguageList);
  SendMessageA(list, LB_SETCURSEL,
               static_cast<WPARAM>(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                reinterpret_cast<LPARAM>("Beta"))),
               0);
  PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  HWND report = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    report = FindDialog(run.processId(), [&](HWND w) { return w != chooser && WindowText(w) == "Tavro"; });
    return report != nullptr;
  }));
  std::string text = WindowText(GetDlgItem(report, 0xFFFF));
  EXPECT_NE(text.find(programDir.Join("alpha.zen")), std::string::npos) << "the report names the file: " << text;
  PostMessageA(report, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(report); }));
  EXPECT_TRUE(IsWindow(chooser) && IsWindowVisible(chooser)) << "the chooser stays open";
  PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  ASSERT_TRUE(run.WaitForMain());
  EXPECT_EQ(run.ItemText(kCipher), "Cipher") << "nothing was chosen";
  EXPECT_TRUE(testkit::Exists(programDir.Join("alpha.zen")));
  EXPECT_TRUE(testkit::Exists(programDir.Join("beta.zen")));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, ConfirmOffShowsTheSingleBoxAndMaskOffShowsText) {
  WriteDword("Confirm", 0);
  WriteDword("PasswordMask", 0);
  std::string plain = dataDir.Join("single.txt");
  testkit::WriteAll(plain, std::string("single box"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait("-P one " + plain));
  EXPECT_TRUE(IsWindowVisible(run.Item(kSingleBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kUpperBox)));
  EXPECT_FALSE(IsWindowVisible(run.Item(kConfirmBox)));
  EXPECT_EQ(run.ItemText(kSingleBox), "one");
  EXPECT_EQ(SendMessageA(run.Item(kSingleBox), EM_GETPASSWORDCHAR, 0, 0), 0);
  EXPECT_EQ(run.Focus(), run.Item(kSingleBox));
  Screenshot("layout_single_box", run.main());
  run.PressEnter();
  EXPECT_TRUE(WaitUntil([&] { return !testkit::Exists(plain); }));
  ASSERT_TRUE(run.WaitIdle());
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, TheTwoHundredthLineEmptiesTheLogUnderANotice) {
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  std::vector<std::string> paths;
  for (int i = 1; i <= 199; ++i) paths.push_back(dataDir.Join("missing" + std::to_string(i) + ".txt"));
  ASSERT_TRUE(run.Drop(paths));  // one "Msg: " line and 199 "Drag : " lines
  ASSERT_TRUE(WaitUntil([&] {
    return run.LogCount() == 2 && SendMessageA(run.Item(kRunLog), LB_GETITEMDATA, 0, 0) == 200;
  })) << run.LogCount();
  EXPECT_GE(SendMessageA(run.Item(kRunLog), LB_GETITEMDATA, 1, 0), 1000) << "the notice sits under the line";
  std::string text;
  ASSERT_TRUE(run.ReadLogLine(0, &text));
  EXPECT_EQ(text, "Drag : " + paths.back());
  // The notice has no entry: a double click on it shows nothing.
  SendMessageA(run.Item(kRunLog), LB_SETCURSEL, 1, 0);
  PostMessageA(run.main(), WM_COMMAND, MAKEWPARAM(kRunLog, LBN_DBLCLK), reinterpret_cast<LPARAM>(run.Item(kRunLog)));
  EXPECT_FALSE(WaitUntil([&] {
    return FindDialog(run.processId(), [](HWND w) { return WindowText(w) == "Tavro Message"; }) != nullptr;
  }, 700));
  Screenshot("log_max_notice", run.main());
  // The exit entry of the context menu closes the program like Escape.
  run.Command(57665);
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, ContextMenuOpensAndTheWindowStillCloses) {
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.StartAndWait(""));
  RECT rect;
  GetWindowRect(run.main(), &rect);
  PostMessageA(run.main(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(run.main()),
               MAKELPARAM(rect.left + 40, rect.top + 40));
  HWND menu = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    menu = FindWindowA("#32768", nullptr);
    DWORD owner = 0;
    if (menu) GetWindowThreadProcessId(menu, &owner);
    return menu != nullptr && owner == run.processId() && IsWindowVisible(menu);
  }, 5000));
  SendMessageA(run.main(), WM_CANCELMODE, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(menu); }, 5000));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

TEST_F(GuiTest, DistributedEnglishFileNamesEveryText) {
  if (g_languages.empty()) GTEST_SKIP() << "no language files folder given";
  ASSERT_TRUE(CopyFileA((g_languages + "\\english.zen").c_str(), programDir.Join("english.zen").c_str(), FALSE));
  ASSERT_TRUE(CopyFileA((g_languages + "\\deutsch.zen").c_str(), programDir.Join("deutsch.zen").c_str(), FALSE));
  std::string plain = dataDir.Join("letter.txt");
  testkit::WriteAll(plain, std::string("Dear reader"));
  TavroRun run(programDir.path());
  ASSERT_TRUE(run.Start("-E -P word " + plain));
  HWND chooser = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    chooser = FindChooser(run.processId());
    return chooser != nullptr;
  }));
  HWND list = GetDlgItem(chooser, kLanguageList);
  EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 2);
  SendMessageA(list, LB_SETCURSEL,
               static_cast<WPARAM>(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                reinterpret_cast<LPARAM>("English"))),
               0);
  PostMessageA(chooser, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(run.WaitForMain());
  EXPECT_EQ(run.ItemText(kStatusGroup), "Run status");
  run.PressEnter();
  ASSERT_TRUE(WaitUntil([&] { return InLayout(run.main(), kMarkFull); }));
  std::vector<std::string> log = run.Log();
  for (const std::string& line : log) {
    EXPECT_EQ(line.find('_'), std::string::npos) << "a key shows as itself: " << line;
  }
  Screenshot("english_full", run.main());
  run.Command(kAboutCommand);
  HWND about = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    about = FindDialog(run.processId(), [](HWND w) { return WindowText(w) == "Tavro About"; });
    return about != nullptr;
  }));
  Screenshot("english_about", about);
  PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
  HWND box = nullptr;
  std::string text;
  ASSERT_TRUE(run.ReadLogLine(0, &text, &box));
  EXPECT_EQ(WindowText(GetDlgItem(box, kMessageCopy)), "COPY");
  Screenshot("english_message", box);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
  run.PressEscape();
  EXPECT_TRUE(run.Ended(kWait));
}

// The run under a Japanese system says so through TAVRO_EXPECT_ACP.
TEST(GuiSystem, AnsiCodePageIsTheOneAskedFor) {
  const char* expected = std::getenv("TAVRO_EXPECT_ACP");
  if (!expected) GTEST_SKIP() << "code page " << GetACP();
  EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: gui_driver [gtest flags] <Tavro.exe> [handshake folder [language folder]]\n");
    return 2;
  }
  g_program = argv[1];
  if (argc > 2) g_handshake = argv[2];
  if (argc > 3) g_languages = argv[3];
  return RUN_ALL_TESTS();
}
