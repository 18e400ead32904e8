// Smoke test of the real Tavro.exe: starts it, finds its main dialog, checks the key
// controls, hands over to the calling script for a screenshot, closes the dialog
// with Escape and expects the process to end.
//
// Usage: gui_smoke_driver <Tavro.exe> <handshake folder>
//   writes <folder>\ready (the dialog's screen rectangle: "left top width height")
//   once the dialog is up, then waits up to 60 s for <folder>\go before closing it.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Search {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindDialogOf(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char className[64] = {};
  GetClassNameA(window, className, sizeof(className));
  // The main dialog is the one with the run log; other dialogs of the program (a
  // language chooser at start) are passed over.
  if (owner == search->processId && std::string(className) == "#32770" && IsWindowVisible(window) &&
      GetDlgItem(window, 1011) != nullptr) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForDialog(DWORD processId, HANDLE process, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    Search search = {processId, nullptr};
    EnumWindows(FindDialogOf, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (WaitForSingleObject(process, 100) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
  if (!ok) ++failures;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc != 3) {
    std::fprintf(stderr, "usage: gui_smoke_driver <Tavro.exe> <handshake folder>\n");
    return 2;
  }
  const std::string program = argv[1];
  const std::string handshake = argv[2];

  std::string commandLine = "\"" + program + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    std::printf("FAILED: cannot start %s (error %lu)\n", program.c_str(), GetLastError());
    return 1;
  }
  CloseHandle(info.hThread);

  HWND dialog = WaitForDialog(info.dwProcessId, info.hProcess, 30000);
  Check(dialog != nullptr, "main dialog (with run log 1011) appears within 30 s");
  if (!dialog) {
    TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hProcess);
    return 1;
  }
  char title[256] = {};
  GetWindowTextA(dialog, title, sizeof(title));
  std::printf("title: %s\n", title);

  const int controls[] = {1007, 1008, 1011, 1009};
  for (int id : controls) {
    char what[64];
    std::snprintf(what, sizeof(what), "control %d exists", id);
    Check(GetDlgItem(dialog, id) != nullptr, what);
  }
  Check(IsWindowVisible(GetDlgItem(dialog, 1007)) != FALSE, "encipher button is visible");

  RECT rect = {};
  GetWindowRect(dialog, &rect);
  std::printf("dialog rectangle: %ld,%ld %ldx%ld\n", rect.left, rect.top, rect.right - rect.left,
              rect.bottom - rect.top);

  // Hand over to the script for the screenshot, then wait for its go-ahead.
  Sleep(300);  // let the dialog paint
  {
    std::string ready = handshake + "\\ready";
    std::string tmp = ready + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "w");
    if (f) {
      std::fprintf(f, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                   rect.bottom - rect.top);
      std::fclose(f);
      MoveFileA(tmp.c_str(), ready.c_str());
    }
    Check(f != nullptr, "handshake file written");
  }
  bool go = false;
  for (int i = 0; i < 600 && !go; ++i) {
    go = FileExists(handshake + "\\go");
    if (!go) Sleep(100);
  }
  Check(go, "screenshot taken by the script");

  // Escape pressed in the control that has the keyboard focus.
  GUITHREADINFO gui = {};
  gui.cbSize = sizeof(gui);
  HWND focus = dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui) && gui.hwndFocus) {
    focus = gui.hwndFocus;
  }
  PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
  bool ended = WaitForSingleObject(info.hProcess, 10000) == WAIT_OBJECT_0;
  Check(ended, "Escape ends the program within 10 s");
  if (!ended) {
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 5000);
  } else {
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    Check(code == 0, "exit code 0");
  }
  CloseHandle(info.hProcess);

  std::printf("%s\n", failures == 0 ? "smoke test passed" : "smoke test FAILED");
  return failures == 0 ? 0 : 1;
}
