#include "settings/gui_edit_tree_win32.h"

#include <windowsx.h>

#include <cstring>
#include <vector>

#include "res/resource.h"

namespace {

// Parts and states of the "Button" theme class.
constexpr int kPartRadio = 2;     // BP_RADIOBUTTON
constexpr int kPartCheck = 3;     // BP_CHECKBOX
constexpr int kStateOff = 1;      // RBS_UNCHECKEDNORMAL, CBS_UNCHECKEDNORMAL
constexpr int kStateOn = 5;       // RBS_CHECKEDNORMAL, CBS_CHECKEDNORMAL
constexpr int kThemeSizeDraw = 2;  // TS_DRAW

TreeRect FromRect(const RECT& r) { return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right), static_cast<int>(r.bottom)}; }
RECT ToRect(const TreeRect& r) { return {r.left, r.top, r.right, r.bottom}; }

// The file version's major number of a loaded module; -1 when it cannot be read.
int ModuleMajorVersion(HMODULE module) {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return -1;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return -1;
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(path, 0, size, data.data())) return -1;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &infoSize) || !info ||
      infoSize < sizeof(VS_FIXEDFILEINFO)) {
    return -1;
  }
  return HIWORD(info->dwFileVersionMS);
}

// The common controls of version 6 or later are loaded in this process: the
// process's modules named comctl32.dll, listed through psapi.dll (loaded by
// name, so the program runs where it is missing).
bool CommonControls6Loaded() {
  HMODULE psapi = LoadLibraryA("psapi.dll");
  if (!psapi) return false;
  using EnumModules = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
  using BaseName = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
  auto enumModules = reinterpret_cast<EnumModules>(reinterpret_cast<void*>(GetProcAddress(psapi, "EnumProcessModules")));
  auto baseName = reinterpret_cast<BaseName>(reinterpret_cast<void*>(GetProcAddress(psapi, "GetModuleBaseNameA")));
  const bool complete = enumModules && baseName && GetProcAddress(psapi, "GetModuleInformation") &&
                        GetProcAddress(psapi, "GetModuleFileNameExA");
  bool passed = false;
  HANDLE process = complete ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, GetCurrentProcessId())
                            : nullptr;
  if (process) {
    HMODULE modules[256];
    DWORD needed = 0;
    if (enumModules(process, modules, sizeof modules, &needed)) {
      const DWORD count = needed / sizeof(HMODULE) < 256 ? needed / sizeof(HMODULE) : 256;
      for (DWORD i = 0; i < count && !passed; ++i) {
        char name[MAX_PATH] = {};
        if (!baseName(process, modules[i], name, MAX_PATH)) break;
        if (lstrcmpiA(name, "comctl32.dll") != 0) continue;
        const int major = ModuleMajorVersion(modules[i]);
        if (major < 0) break;
        passed = major >= 6;
      }
    }
    CloseHandle(process);
  }
  FreeLibrary(psapi);
  return passed;
}

}  // namespace

// The uxtheme.dll entry points the control uses, all looked up by name.
struct CEditTree::ThemeApi {
  BOOL(WINAPI* IsAppThemed)();
  HANDLE(WINAPI* OpenThemeData)(HWND, LPCWSTR);
  HRESULT(WINAPI* CloseThemeData)(HANDLE);
  HRESULT(WINAPI* DrawThemeBackground)(HANDLE, HDC, int, int, const RECT*, const RECT*);
  HRESULT(WINAPI* GetThemePartSize)(HANDLE, HDC, int, int, const RECT*, int, SIZE*);
  FARPROC DrawThemeEdge, DrawThemeIcon, DrawThemeText;
};

CEditTree::CEditTree() : model_(this) {}

CEditTree::~CEditTree() { ReleaseResources(); }

// Visual styles: a system of the NT family from version 5 on (every x64
// system), the common controls of version 6 or later in the process, a
// complete uxtheme.dll and a themed application. The library stays loaded
// while it is in use.
bool CEditTree::VisualStyleTest() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion < 5) {
    return false;
  }
  if (!CommonControls6Loaded()) return false;
  HMODULE library = LoadLibraryA("uxtheme.dll");
  if (!library) return false;
  auto* api = new ThemeApi;
  auto find = [&](const char* name) { return GetProcAddress(library, name); };
  api->IsAppThemed = reinterpret_cast<decltype(api->IsAppThemed)>(reinterpret_cast<void*>(find("IsAppThemed")));
  api->OpenThemeData = reinterpret_cast<decltype(api->OpenThemeData)>(reinterpret_cast<void*>(find("OpenThemeData")));
  api->CloseThemeData = reinterpret_cast<decltype(api->CloseThemeData)>(reinterpret_cast<void*>(find("CloseThemeData")));
  api->DrawThemeBackground =
      reinterpret_cast<decltype(api->DrawThemeBackground)>(reinterpret_cast<void*>(find("DrawThemeBackground")));
  api->GetThemePartSize =
      reinterpret_cast<decltype(api->GetThemePartSize)>(reinterpret_cast<void*>(find("GetThemePartSize")));
  api->DrawThemeEdge = find("DrawThemeEdge");
  api->DrawThemeIcon = find("DrawThemeIcon");
  api->DrawThemeText = find("DrawThemeText");
  const bool complete = api->IsAppThemed && api->OpenThemeData && api->CloseThemeData && api->DrawThemeBackground &&
                        api->GetThemePartSize && api->DrawThemeEdge && api->DrawThemeIcon && api->DrawThemeText;
  if (!complete || !api->IsAppThemed()) {
    delete api;
    FreeLibrary(library);
    return false;
  }
  uxtheme_ = library;
  api_ = api;
  return true;
}

void CEditTree::OnAttached() {
  // A theme that cannot be opened leaves the classic boxes, never none.
  if (VisualStyleTest()) theme_ = api_->OpenThemeData(Handle(), L"Button");
  images_ = ImageList_Create(16, 16, ILC_COLOR16, 0, 3);
  if (images_) {
    ImageList_SetBkColor(images_, GetSysColor(COLOR_BTNHIGHLIGHT));
    HICON icon = static_cast<HICON>(LoadImageA(AppInstance(), MAKEINTRESOURCEA(IDI_TAVRO), IMAGE_ICON, 16, 16, 0));
    if (icon) {
      ImageList_AddIcon(images_, icon);
      DestroyIcon(icon);
    }
  }
}

void CEditTree::ReleaseResources() {
  if (theme_ && api_) api_->CloseThemeData(theme_);
  theme_ = nullptr;
  delete api_;
  api_ = nullptr;
  if (uxtheme_) FreeLibrary(uxtheme_);
  uxtheme_ = nullptr;
  if (images_) ImageList_Destroy(images_);
  images_ = nullptr;
}

void* CEditTree::InsertItem(void* parent, EditTreeItem* record) {
  TVINSERTSTRUCTA insert = {};
  insert.hParent = parent ? static_cast<HTREEITEM>(parent) : TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_PARAM;  // no text: the control draws the label
  insert.item.lParam = reinterpret_cast<LPARAM>(record);
  return reinterpret_cast<void*>(SendMessageA(Handle(), TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

void CEditTree::InvalidateItem(void* item) {
  TreeRect row;
  if (!Handle() || !RowOf(static_cast<HTREEITEM>(item), &row)) return;
  RECT rect = ToRect(row);
  InvalidateRect(Handle(), &rect, FALSE);
}

bool CEditTree::RowOf(HTREEITEM item, TreeRect* row) const {
  if (!item) return false;
  // TVM_GETITEMRECT takes the item in the rectangle's first bytes.
  RECT text, line;
  std::memcpy(&text, &item, sizeof item);
  std::memcpy(&line, &item, sizeof item);
  if (!SendMessageA(Handle(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&text)) ||
      !SendMessageA(Handle(), TVM_GETITEMRECT, FALSE, reinterpret_cast<LPARAM>(&line))) {
    return false;
  }
  *row = TreeRow(FromRect(text), FromRect(line));
  return true;
}

HTREEITEM CEditTree::HitItem(int x, int y) const {
  RECT client;
  GetClientRect(Handle(), &client);
  for (HTREEITEM item = TreeView_GetFirstVisible(Handle()); item; item = TreeView_GetNextVisible(Handle(), item)) {
    TreeRect row;
    if (!RowOf(item, &row) || row.top >= client.bottom) break;
    if (TreeRowContains(row, x, y)) return item;
  }
  return nullptr;
}

void CEditTree::ExpandAll() { ExpandChildren(TreeView_GetRoot(Handle())); }

void CEditTree::ExpandChildren(HTREEITEM first) {
  for (HTREEITEM item = first; item; item = TreeView_GetNextSibling(Handle(), item)) {
    HTREEITEM child = TreeView_GetChild(Handle(), item);
    if (!child) continue;
    TreeView_Expand(Handle(), item, TVE_EXPAND);
    ExpandChildren(child);
  }
}

void CEditTree::DrawRecord(HDC dc, const EditTreeItem& record, const TreeRect& row, bool focused) {
  const bool on = record.state != 0;
  if (record.kind == kTreeCheck || record.kind == kTreeRadio) {
    RECT box = ToRect(TreeBox(row));
    const bool radio = record.kind == kTreeRadio;
    if (theme_) {
      const int part = radio ? kPartRadio : kPartCheck;
      const int state = on ? kStateOn : kStateOff;
      // The part at its own size, centred in the box, rather than stretched.
      SIZE size = {};
      RECT target = box;
      if (SUCCEEDED(api_->GetThemePartSize(theme_, dc, part, state, nullptr, kThemeSizeDraw, &size)) &&
          size.cx > 0 && size.cy > 0 && size.cx <= box.right - box.left && size.cy <= box.bottom - box.top) {
        target.left = box.left + (box.right - box.left - size.cx) / 2;
        target.top = box.top + (box.bottom - box.top - size.cy) / 2;
        target.right = target.left + size.cx;
        target.bottom = target.top + size.cy;
      }
      api_->DrawThemeBackground(theme_, dc, part, state, &target, nullptr);
    } else {
      UINT style = radio ? DFCS_BUTTONRADIO : DFCS_BUTTONCHECK;
      if (on) style |= DFCS_CHECKED;
      DrawFrameControl(dc, &box, DFC_BUTTON, style);
    }
  } else if (images_ && record.image >= 0 && record.image < ImageList_GetImageCount(images_)) {
    const TreeRect icon = TreeIcon(row, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
    ImageList_Draw(images_, record.image, dc, icon.left, icon.top, ILD_NORMAL);
  }
  if (record.label.empty()) return;
  RECT label = ToRect(TreeLabel(row));
  DrawTextA(dc, record.label.c_str(), -1, &label, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
  if (focused) DrawFocusRect(dc, &label);
}

void CEditTree::Paint(HDC dc, const RECT& client) {
  COLORREF background = static_cast<COLORREF>(SendMessageA(Handle(), TVM_GETBKCOLOR, 0, 0));
  if (background == static_cast<COLORREF>(-1)) background = GetSysColor(COLOR_WINDOW);
  HBRUSH brush = CreateSolidBrush(background);
  FillRect(dc, &client, brush);
  DeleteObject(brush);
  if (model_.Empty()) return;

  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  HTREEITEM drop = TreeView_GetDropHilight(Handle());
  HTREEITEM selected = TreeView_GetSelection(Handle());
  for (HTREEITEM item = TreeView_GetFirstVisible(Handle()); item; item = TreeView_GetNextVisible(Handle(), item)) {
    TreeRect row;
    if (!RowOf(item, &row) || row.top >= client.bottom) break;
    const EditTreeItem* record = model_.FindByItem(item);
    if (!record) continue;
    const bool focused = drop ? item == drop : item == selected;
    DrawRecord(dc, *record, row, focused);
  }
  SelectObject(dc, oldFont);
}

bool CEditTree::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_ERASEBKGND:
      *result = 1;  // the whole client area is painted in WM_PAINT
      return true;
    case WM_PAINT:
    case WM_PRINTCLIENT: {
      PAINTSTRUCT paint = {};
      HDC dc = message == WM_PAINT ? BeginPaint(Handle(), &paint) : reinterpret_cast<HDC>(wParam);
      RECT client;
      GetClientRect(Handle(), &client);
      // Drawn off screen first, so that a repaint does not flicker.
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right > 0 ? client.right : 1, client.bottom > 0 ? client.bottom : 1);
      HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
      Paint(memory, client);
      BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
      SelectObject(memory, oldBitmap);
      DeleteObject(bitmap);
      DeleteDC(memory);
      if (message == WM_PAINT) EndPaint(Handle(), &paint);
      *result = 0;
      return true;
    }
    case WM_LBUTTONDOWN: {
      SetCapture(Handle());
      HTREEITEM item = HitItem(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      if (!item) {
        *result = 0;  // nothing under the point: the click goes no further
        return true;
      }
      model_.Click(model_.FindByItem(item));
      TreeView_SelectItem(Handle(), item);
      UpdateWindow(Handle());
      return false;  // the tree-view takes the click too (focus)
    }
    case WM_LBUTTONUP:
      ReleaseCapture();
      return false;
    case WM_LBUTTONDBLCLK: {
      HTREEITEM item = HitItem(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      const EditTreeItem* record = model_.FindByItem(item);
      if (record && model_.HasChildren(record)) TreeView_Expand(Handle(), item, TVE_TOGGLE);
      return false;
    }
    case WM_DESTROY:
      // The tree-view deletes its items after this; their records go with
      // the deletion notifications.
      ReleaseResources();
      return false;
  }
  return false;
}

bool CEditTree::OnNotify(const NMHDR& header, LRESULT* result) {
  switch (header.code) {
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW: {
      const auto& change = reinterpret_cast<const NMTREEVIEWA&>(header);
      InvalidateItem(change.itemOld.hItem);
      InvalidateItem(change.itemNew.hItem);
      *result = 0;
      return true;
    }
    case TVN_DELETEITEMA:
    case TVN_DELETEITEMW: {
      const auto& deletion = reinterpret_cast<const NMTREEVIEWA&>(header);
      if (const EditTreeItem* record = model_.FindByItem(deletion.itemOld.hItem)) model_.Remove(record);
      *result = 0;
      return true;
    }
    case NM_DBLCLK:
      // The expansion was toggled on WM_LBUTTONDBLCLK; the tree-view's own
      // toggle would undo it.
      *result = 1;
      return true;
  }
  return false;
}
