// Entry point of the Windows program. The application object only runs the
// main dialog modally; the process ends when the dialog ends. Every start is
// an independent process with its own window.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/gui_main_dlg_win32.h"
#include "app/gui_window_win32.h"

class CCipherApp {
 public:
  // Runs the main dialog; false: there is no further message loop.
  bool InitInstance(HINSTANCE instance, const char* commandLine) {
    SetAppInstance(instance);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    auto* dialog = new CMainDlg(commandLine ? commandLine : "");
    dialog->DoModal(nullptr);
    delete dialog;
    return false;
  }
};

namespace {
CCipherApp theApp;
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  theApp.InitInstance(instance, commandLine);
  return 0;
}
