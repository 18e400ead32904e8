#include "settings/gui_set_sheet_win32.h"

#include "res/resource.h"
#include "settings/shell_links.h"
#include "text/text_table.h"

namespace {

constexpr int kTreeFontHeight = 12;  // pixels
constexpr int kTreeRowHeight = 22;   // pixels

void BindWithOwner(COptionPage& page, void* user) { BindSettingsOptions(page, *static_cast<ISettingsOwner*>(user)); }

}  // namespace

// ------------------------------------------------------------- CSetMainDlg

CSetMainDlg::~CSetMainDlg() {
  if (font_) DeleteObject(font_);
}

PROPSHEETPAGEA CSetMainDlg::Page() {
  title_ = LookupText("set_main");
  PROPSHEETPAGEA page = {};
  page.dwSize = sizeof page;
  page.dwFlags = PSP_USETITLE;
  page.hInstance = AppInstance();
  page.pszTemplate = MAKEINTRESOURCEA(IDD_SET_MAIN);
  page.pfnDlgProc = PageProc;
  page.pszTitle = title_.c_str();
  page.lParam = reinterpret_cast<LPARAM>(this);
  return page;
}

INT_PTR CALLBACK CSetMainDlg::PageProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
  CSetMainDlg* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CSetMainDlg*>(reinterpret_cast<const PROPSHEETPAGEA*>(lParam)->lParam);
    SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = window;
    return self->OnInitDialog();
  }
  self = reinterpret_cast<CSetMainDlg*>(GetWindowLongPtrA(window, DWLP_USER));
  if (!self) return FALSE;
  if (message == WM_NOTIFY) {
    LRESULT result = 0;
    if (!self->OnNotify(*reinterpret_cast<const NMHDR*>(lParam), &result)) return FALSE;
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, DWLP_USER, 0);
    self->hwnd_ = nullptr;
  }
  return FALSE;
}

BOOL CSetMainDlg::OnInitDialog() {
  HWND tree = GetDlgItem(hwnd_, IDC_OPTION_TREE);
  tree_.Attach(tree);
  // The page's own font, 12 pixels high, for the tree; rows of 22 pixels.
  LOGFONTA description = {};
  HFONT pageFont = reinterpret_cast<HFONT>(SendMessageA(hwnd_, WM_GETFONT, 0, 0));
  if (!pageFont || !GetObjectA(pageFont, sizeof description, &description)) {
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description);
  }
  description.lfHeight = -kTreeFontHeight;
  description.lfWidth = 0;
  font_ = CreateFontIndirectA(&description);
  if (font_) SendMessageA(tree, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  SendMessageA(tree, TVM_SETITEMHEIGHT, kTreeRowHeight, 0);

  options_.mode = kBuildOptions;
  if (bind_) bind_(options_, user_);
  tree_.ExpandAll();
  // Expanding scrolls each group's boxes into view; the page opens at its top,
  // with the first item selected.
  HTREEITEM first = TreeView_GetRoot(tree);
  TreeView_Select(tree, first, TVGN_FIRSTVISIBLE);
  TreeView_SelectItem(tree, first);
  return TRUE;
}

bool CSetMainDlg::OnNotify(const NMHDR& header, LRESULT* result) {
  if (header.hwndFrom == tree_.Handle() && tree_.Handle()) return tree_.OnNotify(header, result);
  switch (header.code) {
    case PSN_APPLY:
      // OK: every box is read back. Cancel (PSN_RESET) reads nothing.
      options_.mode = kApplyOptions;
      if (bind_) bind_(options_, user_);
      *result = PSNRET_NOERROR;
      return true;
  }
  return false;
}

// --------------------------------------------------------------- CSetSheet

INT_PTR CSetSheet::DoModal(HWND owner) {
  caption_ = LookupText("set_title");
  PROPSHEETPAGEA page = page_.Page();
  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOCONTEXTHELP;
  header.hwndParent = owner;
  header.hInstance = AppInstance();
  header.pszCaption = caption_.c_str();
  header.nPages = 1;
  header.nStartPage = 0;
  header.ppsp = &page;
  return PropertySheetA(&header);
}

// ---------------------------------------------------- CWindowSettingsOwner

bool CWindowSettingsOwner::IsFileTypeRegistered() { return ::IsFileTypeRegistered(); }

void CWindowSettingsOwner::SetFileTypeRegistered(bool on) { ::SetFileTypeRegistered(on, programPath_); }

bool CWindowSettingsOwner::HasSendToShortcut() { return ::HasSendToShortcut(programPath_); }

void CWindowSettingsOwner::SetSendToShortcut(bool on) {
  HWND window = window_;
  ::SetSendToShortcut(on, programPath_, [window](const std::string& path) {
    const DWORD error = GetLastError();
    // Over the sheet while it is open (it is the active window then).
    HWND active = GetActiveWindow();
    ReportFileError(active ? active : window, path, error);
  });
}

void RunSettingsSheet(HWND owner, ISettingsOwner& options) {
  CSetSheet sheet(BindWithOwner, &options);
  sheet.DoModal(owner);
}
