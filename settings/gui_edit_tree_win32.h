// The option tree: a tree-view whose items are groups, check boxes and radio
// buttons addressed by path ("security>zero"). The control paints every
// visible item itself (box or icon, then label; the tree-view draws nothing),
// flips a check box or switches a radio button on the button-down of a click,
// and toggles a group's expansion on a double click. The keyboard keeps the
// tree-view's own behaviour: it moves the selection and toggles nothing.
//
// Boxes are drawn as themed parts of the "Button" class when visual styles are
// in use (uxtheme.dll, loaded by name, only when the common controls of
// version 6 or later are loaded and the application is themed), else as the
// classic frame controls. The records live in CEditTreeModel.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "app/gui_window_win32.h"
#include "settings/edit_tree_model.h"

class CEditTree : public CControl, public IEditTreeView {
 public:
  CEditTree();
  ~CEditTree() override;

  bool SetPathItem(const std::string& path, const std::string& label, int32_t kind, int32_t state, int32_t image) {
    return model_.SetPathItem(path, label, kind, state, image);
  }
  bool GetPathItem(const std::string& path, EditTreeItem* out) const { return model_.GetPathItem(path, out); }
  void ExpandAll();
  CEditTreeModel& Model() { return model_; }

  // A notification the tree-view sent to its parent, handed back by the
  // parent: selection changes, deleted items and double clicks are the
  // control's own business. True when it was handled (*result its answer).
  bool OnNotify(const NMHDR& header, LRESULT* result);

  // IEditTreeView.
  void* InsertItem(void* parent, EditTreeItem* record) override;
  void InvalidateItem(void* item) override;

 protected:
  void OnAttached() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  struct ThemeApi;
  bool VisualStyleTest();
  void ReleaseResources();
  bool RowOf(HTREEITEM item, TreeRect* row) const;
  HTREEITEM HitItem(int x, int y) const;
  void Paint(HDC dc, const RECT& client);
  void DrawRecord(HDC dc, const EditTreeItem& record, const TreeRect& row, bool focused);
  void ExpandChildren(HTREEITEM first);

  CEditTreeModel model_;
  HMODULE uxtheme_ = nullptr;
  ThemeApi* api_ = nullptr;
  HANDLE theme_ = nullptr;  // the "Button" class's theme while visual styles are in use
  HIMAGELIST images_ = nullptr;
};
