#include "app/gui_window_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <vector>

#include "text/text_table.h"

namespace {
HINSTANCE g_instance = nullptr;
constexpr UINT_PTR kSubclassId = 0x54415652;  // 'TAVR'
}  // namespace

HINSTANCE AppInstance() { return g_instance ? g_instance : GetModuleHandleA(nullptr); }
void SetAppInstance(HINSTANCE instance) { g_instance = instance; }

// ---------------------------------------------------------------- CControl

CControl::~CControl() { Detach(); }

bool CControl::Attach(HWND window) {
  if (hwnd_ || !window) return false;
  if (!SetWindowSubclass(window, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
    return false;
  }
  hwnd_ = window;
  OnAttached();
  return true;
}

void CControl::Detach() {
  if (!hwnd_) return;
  RemoveWindowSubclass(hwnd_, SubclassProc, kSubclassId);
  hwnd_ = nullptr;
}

bool CControl::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

LRESULT CControl::CallDefault(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefSubclassProc(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK CControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<CControl*>(data);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, SubclassProc, kSubclassId);
    self->hwnd_ = nullptr;
    return DefSubclassProc(window, message, wParam, lParam);
  }
  LRESULT result = 0;
  if (self->OnMessage(message, wParam, lParam, &result)) return result;
  return DefSubclassProc(window, message, wParam, lParam);
}

// ----------------------------------------------------------------- CDialog

INT_PTR CDialog::DoModal(HWND parent) {
  return DialogBoxParamA(AppInstance(), MAKEINTRESOURCEA(templateId_), parent, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

void CDialog::End(INT_PTR result) {
  if (hwnd_) EndDialog(hwnd_, result);
}

std::string CDialog::ItemText(int id) const {
  HWND item = Item(id);
  int length = item ? GetWindowTextLengthA(item) : 0;
  std::string text(static_cast<size_t>(length) + 1, '\0');
  if (length > 0) length = GetWindowTextA(item, &text[0], length + 1);
  text.resize(static_cast<size_t>(length > 0 ? length : 0));
  return text;
}

void CDialog::SetItemText(int id, const std::string& text) { SetDlgItemTextA(hwnd_, id, text.c_str()); }

std::string CDialog::Text() const {
  int length = GetWindowTextLengthA(hwnd_);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  if (length > 0) length = GetWindowTextA(hwnd_, &text[0], length + 1);
  text.resize(static_cast<size_t>(length > 0 ? length : 0));
  return text;
}

void CDialog::SetText(const std::string& text) { SetWindowTextA(hwnd_, text.c_str()); }

void CDialog::AddOwnerDrawn(int id, CControl* control) {
  if (reflectedCount_ < static_cast<int>(sizeof reflected_ / sizeof reflected_[0])) {
    reflected_[reflectedCount_++] = {id, control};
  }
}

CControl* CDialog::OwnerDrawn(int id) const {
  for (int i = 0; i < reflectedCount_; ++i) {
    if (reflected_[i].id == id) return reflected_[i].control;
  }
  return nullptr;
}

void CDialog::OnCommand(int id, int, HWND) {
  if (id == IDOK || id == IDCANCEL) End(id);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    self->hwnd_ = window;
  } else {
    self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  }
  if (!self) return FALSE;  // messages before WM_INITDIALOG (WM_SETFONT)
  INT_PTR result = self->Dispatch(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, DWLP_USER, 0);
    self->hwnd_ = nullptr;
  }
  return result;
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return TRUE;
    case WM_TIMER:
      OnTimer(wParam);
      return TRUE;
    case WM_CONTEXTMENU:
      OnContextMenu(reinterpret_cast<HWND>(wParam), static_cast<short>(LOWORD(lParam)),
                    static_cast<short>(HIWORD(lParam)));
      return TRUE;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      return TRUE;
    case WM_PAINT:
      return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_DESTROY:
      OnDestroy();
      return TRUE;
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (CControl* control = OwnerDrawn(static_cast<int>(item->CtlID))) {
        control->DrawItem(*item);
        return TRUE;
      }
      return FALSE;
    }
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (CControl* control = OwnerDrawn(static_cast<int>(item->CtlID))) {
        control->MeasureItem(*item);
        return TRUE;
      }
      return FALSE;
    }
    case WM_DELETEITEM: {
      auto* item = reinterpret_cast<DELETEITEMSTRUCT*>(lParam);
      if (CControl* control = OwnerDrawn(static_cast<int>(item->CtlID))) {
        control->DeleteItem(*item);
        return TRUE;
      }
      return FALSE;
    }
    default: {
      INT_PTR result = 0;
      if (OnMessage(message, wParam, lParam, &result)) {
        SetWindowLongPtrA(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
      }
      return FALSE;
    }
  }
}

// ----------------------------------------------------------------- helpers

std::string DialogFaceName() {
  std::string face = LookupText("font_name");
  if (face.empty()) face = "MS UI Gothic";
  if (face.size() > 31) face.resize(31);  // LOGFONT holds 31 characters and a NUL
  return face;
}

HFONT CopyFontWithFace(HWND window, const std::string& face) {
  HFONT current = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
  LOGFONTA description = {};
  if (!current || !GetObjectA(current, sizeof description, &description)) {
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description);
  }
  lstrcpynA(description.lfFaceName, face.c_str(), LF_FACESIZE);
  return CreateFontIndirectA(&description);
}

void ReportFileError(HWND owner, const std::string& path, DWORD error) {
  char* system = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, error, 0, reinterpret_cast<char*>(&system), 0, nullptr);
  std::string text = path + "\n\n";
  text += system ? system : "The file could not be accessed.";
  if (system) LocalFree(system);
  // Before the text table is loaded (the language chooser) the name is not known yet.
  std::string caption = LookupText("tavro_name");
  if (caption == "tavro_name") caption = "Tavro";
  MessageBoxA(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}
