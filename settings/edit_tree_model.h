// The model behind the option tree: one record per item (group, check box or
// radio button), addressed by a path such as "security>zero", and the row
// arithmetic that painting and hit testing share. The Windows control
// (settings/gui_edit_tree_win32.*) draws these records and routes the mouse to
// them; everything that needs no window lives here.
//
// Paths: components joined by ">". "a>b" lives under the group "a"; trailing
// ">" are ignored, so "a>b>" is "a>b". The tree's shape follows the paths: an
// item's parent is the item whose path is its own up to the last ">".
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>

enum EditTreeKind : int32_t { kTreeGroup = 0, kTreeCheck = 1, kTreeRadio = 2 };

struct EditTreeItem {
  void* item = nullptr;  // the view's item (a tree-view item handle)
  std::string label;     // drawn right of the box or icon
  int32_t kind = kTreeGroup;
  int32_t state = 0;  // check box and radio button: 0 off, anything else on
  int32_t image = 0;  // image-list index drawn for a group
  std::string path;
};

// What the model needs from the window that shows it.
class IEditTreeView {
 public:
  virtual ~IEditTreeView() = default;
  // A new item with no text as the last child of parent (nullptr: the root),
  // carrying record as its data. nullptr when it cannot be made.
  virtual void* InsertItem(void* parent, EditTreeItem* record) = 0;
  // The item's row must be drawn again.
  virtual void InvalidateItem(void* item) = 0;
};

class CEditTreeModel {
 public:
  // view may be null: the model then stands alone (its items get their own
  // record's address as handle), as the tests use it.
  explicit CEditTreeModel(IEditTreeView* view = nullptr) : view_(view) {}
  CEditTreeModel(const CEditTreeModel&) = delete;
  CEditTreeModel& operator=(const CEditTreeModel&) = delete;

  // Creates or updates the item at path; groups missing on the way are made
  // with this label. A radio button is switched on among its siblings. False
  // when an item could not be made.
  bool SetPathItem(const std::string& path, const std::string& label, int32_t kind, int32_t state, int32_t image);
  // A copy of the record at path; false when no item has that path.
  bool GetPathItem(const std::string& path, EditTreeItem* out) const;

  // A click on the item: a check box flips (0 becomes 1, anything else 0), a
  // radio button is switched on among its siblings, a group stays.
  void Click(EditTreeItem* record);
  // Every radio button among the item's siblings gets 1 if it is the item, 0
  // otherwise; other kinds stay as they are.
  void SwitchRadioOn(EditTreeItem* record);
  // The view deleted the item: its record goes. Unknown records are ignored.
  void Remove(const EditTreeItem* record);

  // The record behind a view item, if it is one of this model's.
  EditTreeItem* FindByItem(const void* item);
  bool HasChildren(const EditTreeItem* record) const;
  const std::list<EditTreeItem>& Records() const { return records_; }
  bool Empty() const { return records_.empty(); }

  // path without its trailing ">".
  static std::string TrimPath(const std::string& path);
  // The parent's path: up to the last ">"; empty for an item at the root
  // (HasParent tells an item at the root from one under a group named "").
  static bool HasParent(const std::string& path);
  static std::string ParentPath(const std::string& path);

 private:
  EditTreeItem* Find(const std::string& path);
  void Invalidate(const EditTreeItem* record);

  IEditTreeView* view_;
  std::list<EditTreeItem> records_;  // in the order of creation
  std::map<std::string, EditTreeItem*> byPath_;
};

// Row geometry, in the tree's client coordinates. Right and bottom are
// exclusive, as in a Windows RECT.
struct TreeRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const TreeRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// The row of an item: the left edge of its text rectangle, the rest of its
// full-line rectangle.
TreeRect TreeRow(const TreeRect& textRect, const TreeRect& lineRect);
// The check box or radio button: 2 pixels in from the row on every side, as
// wide as the row is high (less 4).
TreeRect TreeBox(const TreeRect& row);
// A group's icon: 2 pixels in from the left, centred vertically.
TreeRect TreeIcon(const TreeRect& row, int iconWidth, int iconHeight);
// The label: right of the box, to the row's right edge, the full row height.
TreeRect TreeLabel(const TreeRect& row);
bool TreeRowContains(const TreeRect& row, int x, int y);
