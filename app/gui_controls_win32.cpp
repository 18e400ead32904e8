#include "app/gui_controls_win32.h"

#include <commctrl.h>

// ------------------------------------------------------------ CBalloonEdit

CBalloonEdit::~CBalloonEdit() {
  if (tip_) DestroyWindow(tip_);
}

void CBalloonEdit::OnAttached() {
  tip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                         WS_POPUP | TTS_BALLOON | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr, AppInstance(),
                         nullptr);
  if (!tip_) return;
  SendMessageA(tip_, TTM_SETTITLEA, TTI_INFO, reinterpret_cast<LPARAM>("Tavro"));
  SendMessageA(tip_, TTM_SETDELAYTIME, TTDT_AUTOMATIC, -1);
  SetWindowPos(tip_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  TOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
  tool.hwnd = Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(Handle());
  tool.lpszText = const_cast<char*>("Caps Lock is on.");
  SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void CBalloonEdit::UpdateTip() {
  if (!tip_) return;
  bool capsLock = (GetKeyState(VK_CAPITAL) & 1) != 0 && GetFocus() == Handle();
  TOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(Handle());
  if (capsLock) {
    RECT box;
    GetWindowRect(Handle(), &box);
    SendMessageA(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(box.left + 10, box.bottom));
    SendMessageA(tip_, TTM_UPDATE, 0, 0);
  }
  if (capsLock != shown_) {
    SendMessageA(tip_, TTM_TRACKACTIVATE, capsLock ? TRUE : FALSE, reinterpret_cast<LPARAM>(&tool));
    shown_ = capsLock;
  }
}

bool CBalloonEdit::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_CHAR:
      *result = CallDefault(message, wParam, lParam);  // the edit takes the character first
      UpdateTip();
      return true;
    case WM_KEYUP:
      if (wParam == VK_CAPITAL) UpdateTip();
      return false;
    case WM_DESTROY:
      if (tip_) DestroyWindow(tip_);  // owned by the edit; gone with it in any case
      tip_ = nullptr;
      shown_ = false;
      return false;
    case WM_KILLFOCUS:
    case WM_SHOWWINDOW:
      *result = CallDefault(message, wParam, lParam);
      if (tip_ && shown_) {
        TOOLINFOA tool = {};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = Handle();
        tool.uId = reinterpret_cast<UINT_PTR>(Handle());
        SendMessageA(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
        shown_ = false;
      }
      return true;
  }
  return false;
}

// ------------------------------------------------------------- CLinkButton

bool CLinkButton::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT*) {
  switch (message) {
    case WM_MOUSEMOVE: {
      RECT client;
      GetClientRect(Handle(), &client);
      POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (PtInRect(&client, point)) {
        if (!hovered_) {
          hovered_ = true;
          SetTimer(Handle(), kHoverTimer, 100, nullptr);
          RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        }
      } else {
        hovered_ = false;
      }
      return false;
    }
    case WM_TIMER:
      if (wParam == kHoverTimer) {
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(Handle(), &cursor);
        RECT client;
        GetClientRect(Handle(), &client);
        if (!PtInRect(&client, cursor)) {
          hovered_ = false;
          RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
          KillTimer(Handle(), kHoverTimer);
        }
      }
      return false;
    case WM_DESTROY:
      KillTimer(Handle(), kHoverTimer);
      return false;
  }
  (void)wParam;
  return false;
}

void CLinkButton::DrawItem(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT client;
  GetClientRect(Handle(), &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));

  HFONT font = reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0));
  LOGFONTA description = {};
  GetObjectA(font ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT), sizeof description,
             &description);
  description.lfUnderline = TRUE;
  HFONT underlined = CreateFontIndirectA(&description);
  HGDIOBJ oldFont = SelectObject(dc, underlined);

  RECT text = client;
  COLORREF colour;
  if (item.itemState & ODS_SELECTED) {
    colour = RGB(0, 0, 150);
    OffsetRect(&text, 1, 1);
  } else {
    colour = hovered_ ? RGB(255, 0, 255) : RGB(0, 0, 255);
  }
  COLORREF oldColour = SetTextColor(dc, colour);
  int oldMode = SetBkMode(dc, TRANSPARENT);
  char caption[256];
  GetWindowTextA(Handle(), caption, sizeof caption);
  DrawTextA(dc, caption, -1, &text, 0);
  SetBkMode(dc, oldMode);
  SetTextColor(dc, oldColour);
  SelectObject(dc, oldFont);
  DeleteObject(underlined);
}

// ---------------------------------------------------------- CProgressMeter

CProgressMeter::~CProgressMeter() {
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool CProgressMeter::Create(DWORD style, const RECT& rect, HWND parent, int id) {
  className_ = "TavroProgressMeter";
  WNDCLASSA wc = {};
  if (!GetClassInfoA(AppInstance(), className_.c_str(), &wc)) {
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = AppInstance();
    wc.lpszClassName = className_.c_str();
    if (!RegisterClassA(&wc)) return false;
  }
  hwnd_ = CreateWindowExA(WS_EX_CLIENTEDGE, className_.c_str(), "", style, rect.left, rect.top,
                          rect.right - rect.left, rect.bottom - rect.top, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), AppInstance(), this);
  return hwnd_ != nullptr;
}

void CProgressMeter::SetValues(uint64_t base, uint64_t position, uint64_t end) {
  baseLow_ = static_cast<uint32_t>(base);
  baseHigh_ = static_cast<uint32_t>(base >> 32);
  positionLow_ = static_cast<uint32_t>(position);
  positionHigh_ = static_cast<uint32_t>(position >> 32);
  endLow_ = static_cast<uint32_t>(end);
  endHigh_ = static_cast<uint32_t>(end >> 32);
  if (hwnd_) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

LRESULT CALLBACK CProgressMeter::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<CProgressMeter*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (self) self->Paint(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcA(window, message, wParam, lParam);
      InvalidateRect(window, nullptr, FALSE);
      return result;
    }
    case WM_NCDESTROY:
      if (self) self->hwnd_ = nullptr;
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void CProgressMeter::Paint(HDC dc) {
  RECT client;
  GetClientRect(hwnd_, &client);
  char text[64];
  GetWindowTextA(hwnd_, text, sizeof text);

  int64_t base = static_cast<int64_t>((static_cast<uint64_t>(baseHigh_) << 32) | baseLow_);
  int64_t position = static_cast<int64_t>((static_cast<uint64_t>(positionHigh_) << 32) | positionLow_);
  int64_t end = static_cast<int64_t>((static_cast<uint64_t>(endHigh_) << 32) | endLow_);
  int64_t done = position - base;
  int64_t range = end - base;
  LONG split = client.left;
  if (done > 0 && range > 0) {
    long double share = static_cast<long double>(done) / static_cast<long double>(range);
    long double x = client.left + share * (client.right - client.left);
    if (x > client.right) x = client.right;  // beyond the end: the whole bar
    split = static_cast<LONG>(x);
  }

  RECT filled = client, empty = client;
  filled.right = split;
  empty.left = split;
  FillRect(dc, &filled, GetSysColorBrush(COLOR_ACTIVECAPTION));
  FillRect(dc, &empty, GetSysColorBrush(COLOR_BTNHIGHLIGHT));

  HFONT font = reinterpret_cast<HFONT>(SendMessageA(GetParent(hwnd_), WM_GETFONT, 0, 0));
  HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
  int oldMode = SetBkMode(dc, TRANSPARENT);
  COLORREF oldColour = GetTextColor(dc);
  UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

  HRGN clip = CreateRectRgnIndirect(&filled);
  SelectClipRgn(dc, clip);
  SetTextColor(dc, RGB(255, 255, 255));
  RECT area = client;
  DrawTextA(dc, text, -1, &area, format);
  DeleteObject(clip);

  clip = CreateRectRgnIndirect(&empty);
  SelectClipRgn(dc, clip);
  SetTextColor(dc, RGB(0, 0, 0));
  area = client;
  DrawTextA(dc, text, -1, &area, format);
  DeleteObject(clip);
  SelectClipRgn(dc, nullptr);

  SetTextColor(dc, oldColour);
  SetBkMode(dc, oldMode);
  if (oldFont) SelectObject(dc, oldFont);
}

// ------------------------------------------------------------- CLogListBox

void CLogListBox::ClearItems() {
  SendMessageA(Handle(), LB_RESETCONTENT, 0, 0);
  notices_.clear();
}

void CLogListBox::InsertEntryAtTop(int index, const LogEntry& entry) {
  if (index < 0 || index >= CRunLog::kMaxEntries) return;
  if (entries_.size() <= static_cast<size_t>(index)) entries_.resize(static_cast<size_t>(index) + 1);
  entries_[static_cast<size_t>(index)] = entry;
  SendMessageA(Handle(), LB_INSERTSTRING, 0, static_cast<LPARAM>(index));
}

void CLogListBox::InsertNoticeAtTop(const std::string& text) {
  notices_.push_back(text);
  SendMessageA(Handle(), LB_INSERTSTRING, 0,
               kNoticeBase + static_cast<LPARAM>(notices_.size()) - 1);
}

bool CLogListBox::ItemLine(ULONG_PTR data, std::string* text, LogKind* kind) const {
  if (data < entries_.size()) {
    *text = entries_[data].text;
    *kind = entries_[data].kind;
    return true;
  }
  if (data >= static_cast<ULONG_PTR>(kNoticeBase) && data - kNoticeBase < notices_.size()) {
    *text = notices_[data - kNoticeBase];
    *kind = Message;
    return true;
  }
  return false;
}

int CLogListBox::SelectedEntry() const {
  LRESULT item = SendMessageA(Handle(), LB_GETCURSEL, 0, 0);
  if (item == LB_ERR) return -1;
  LRESULT data = SendMessageA(Handle(), LB_GETITEMDATA, static_cast<WPARAM>(item), 0);
  if (data == LB_ERR || data < 0 || static_cast<size_t>(data) >= entries_.size()) return -1;
  return static_cast<int>(data);
}

void CLogListBox::MeasureItem(MEASUREITEMSTRUCT& item) {
  std::string text;
  LogKind kind;
  if (!ItemLine(item.itemData, &text, &kind)) return;
  RECT client;
  GetClientRect(Handle(), &client);
  int width = client.right - client.left - 2;
  if (width < 1) width = 1;
  HDC dc = GetDC(Handle());
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0));
  HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
  SIZE letter = {}, line = {};
  GetTextExtentPoint32A(dc, "A", 1, &letter);
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &line);
  if (oldFont) SelectObject(dc, oldFont);
  ReleaseDC(Handle(), dc);
  int lines = line.cx / width;
  if (lines < 1) lines = 1;
  item.itemHeight = static_cast<UINT>(letter.cy * lines + 3);
  item.itemWidth = static_cast<UINT>(width);
}

void CLogListBox::DrawItem(const DRAWITEMSTRUCT& item) {
  std::string text;
  LogKind kind;
  if (item.itemID == static_cast<UINT>(-1) || !ItemLine(item.itemData, &text, &kind)) return;
  HDC dc = item.hDC;
  const COLORREF red = RGB(255, 50, 0);
  COLORREF oldText = GetTextColor(dc);
  COLORREF oldBack = GetBkColor(dc);
  COLORREF fill;
  if (item.itemState & ODS_SELECTED) {
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
    fill = kind == Error ? red : GetSysColor(COLOR_HIGHLIGHT);
  } else {
    if (kind == Error) SetTextColor(dc, red);
    fill = GetBkColor(dc);
  }
  if (kind == Error && (item.itemState & ODS_SELECTED)) SetBkColor(dc, red);
  HBRUSH brush = CreateSolidBrush(fill);
  FillRect(dc, &item.rcItem, brush);
  DeleteObject(brush);

  RECT area = item.rcItem;
  InflateRect(&area, -1, -1);
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &area, DT_WORDBREAK | DT_NOPREFIX);

  HPEN pen = CreatePen(PS_DOT, 1, GetSysColor(COLOR_BTNSHADOW));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  MoveToEx(dc, item.rcItem.left, item.rcItem.bottom - 1, nullptr);
  LineTo(dc, item.rcItem.right, item.rcItem.bottom - 1);
  SelectObject(dc, oldPen);
  DeleteObject(pen);

  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBack);
}
