// Entry point of the Windows program: shows the main dialog until it is closed.
// (Stand-in front end; the full dialog behaviour is built on top of this.)
#include <windows.h>
#include <commctrl.h>

#include "res/resource.h"

namespace {

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      HINSTANCE instance = GetModuleHandleA(nullptr);
      HICON large = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TAVRO), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXICON),
                                                  GetSystemMetrics(SM_CYICON), 0));
      HICON small = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TAVRO), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXSMICON),
                                                  GetSystemMetrics(SM_CYSMICON), 0));
      SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
      SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
      // Password typed twice: upper box and confirmation box, the single box hidden.
      ShowWindow(GetDlgItem(dialog, IDC_PASSWORD), SW_HIDE);
      ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_UPPER), SW_SHOW);
      ShowWindow(GetDlgItem(dialog, IDC_PASSWORD_CONFIRM), SW_SHOW);
      SetFocus(GetDlgItem(dialog, IDC_PASSWORD_UPPER));
      return FALSE;  // focus set here
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_OKAY:
        case IDCANCEL:  // Escape and the close box
          EndDialog(dialog, 0);
          return TRUE;
      }
      break;
    case WM_CLOSE:
      EndDialog(dialog, 0);
      return TRUE;
  }
  return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
  return 0;
}
