// The thin window layer of the Windows program: a modal dialog base class
// whose one dialog procedure hands each message to one virtual handler, and a
// base for subclassed controls (the custom controls attach to controls that a
// dialog template created). No framework, no message maps, no globals beyond
// the module handle.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

// The module that holds the dialog templates, icon and version resource.
HINSTANCE AppInstance();
void SetAppInstance(HINSTANCE instance);

// A control whose window procedure is extended by a C++ object. Attach() hooks
// the object into the window (comctl32 subclassing); messages the object does
// not take go on to the control's own procedure. Owner-drawn controls also get
// the drawing messages that their parent dialog reflects to them.
class CControl {
 public:
  CControl() = default;
  virtual ~CControl();
  CControl(const CControl&) = delete;
  CControl& operator=(const CControl&) = delete;

  bool Attach(HWND window);
  void Detach();
  HWND Handle() const { return hwnd_; }

  virtual void DrawItem(const DRAWITEMSTRUCT&) {}
  virtual void MeasureItem(MEASUREITEMSTRUCT&) {}
  virtual void DeleteItem(const DELETEITEMSTRUCT&) {}

 protected:
  virtual void OnAttached() {}
  // Return true when the message was handled and *result holds its answer.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  LRESULT CallDefault(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  HWND hwnd_ = nullptr;
};

// A modal dialog built from a template of this program. One object per run of
// the dialog; DoModal() returns the value given to End().
class CDialog {
 public:
  explicit CDialog(int templateId) : templateId_(templateId) {}
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  INT_PTR DoModal(HWND parent);
  HWND Handle() const { return hwnd_; }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  void End(INT_PTR result);

  std::string ItemText(int id) const;
  void SetItemText(int id, const std::string& text);
  std::string Text() const;
  void SetText(const std::string& text);

 protected:
  // Controls in the list get WM_DRAWITEM, WM_MEASUREITEM and WM_DELETEITEM of
  // their id reflected to them.
  void AddOwnerDrawn(int id, CControl* control);

  // WM_INITDIALOG: return TRUE to let the system set the default focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // WM_COMMAND: the default ends the dialog on IDOK and IDCANCEL.
  virtual void OnCommand(int id, int code, HWND control);
  virtual void OnTimer(UINT_PTR) {}
  virtual void OnContextMenu(HWND, int, int) {}
  virtual void OnDropFiles(HDROP drop) { DragFinish(drop); }
  virtual bool OnPaint() { return false; }  // false: the normal dialog painting
  virtual HCURSOR OnQueryDragIcon() { return nullptr; }
  virtual void OnDestroy() {}
  // Every other message (the program's own WM_APP messages among them).
  virtual bool OnMessage(UINT, WPARAM, LPARAM, INT_PTR*) { return false; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  CControl* OwnerDrawn(int id) const;

  int templateId_;
  HWND hwnd_ = nullptr;
  struct Reflected {
    int id;
    CControl* control;
  };
  Reflected reflected_[8] = {};
  int reflectedCount_ = 0;
};

// The dialogs' face-name rule: the text of "font_name", "MS UI Gothic" when
// that is empty, at most 31 characters.
std::string DialogFaceName();
// A copy of the window's current font with only the face name replaced; the
// caller deletes it.
HFONT CopyFontWithFace(HWND window, const std::string& face);
// A message box that reports a failed file operation: the file's name and the
// system's text for the error code.
void ReportFileError(HWND owner, const std::string& path, DWORD error);
