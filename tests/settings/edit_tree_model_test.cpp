// The option tree's model: paths, groups made on the way, updates in place,
// check boxes and radio groups, deletion, and the row geometry that painting
// and hit testing share. A recording view stands in for the tree-view window
// (the Windows control itself is driven in tests/gui).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/edit_tree_model.h"

namespace {

// Remembers the items the model asked for: parent and record, in order.
struct RecordingView : IEditTreeView {
  struct Made {
    void* parent;
    EditTreeItem* record;
  };
  std::vector<Made> made;
  std::vector<void*> invalidated;
  bool refuse = false;
  void* InsertItem(void* parent, EditTreeItem* record) override {
    if (refuse) return nullptr;
    made.push_back({parent, record});
    return reinterpret_cast<void*>(made.size());  // handles 1, 2, 3, ...
  }
  void InvalidateItem(void* item) override { invalidated.push_back(item); }
};

EditTreeItem Get(const CEditTreeModel& model, const std::string& path) {
  EditTreeItem item;
  EXPECT_TRUE(model.GetPathItem(path, &item)) << path;
  return item;
}

TEST(EditTreeModel, PathsMakeGroupsOnTheWayAndUpdateInPlace) {
  RecordingView view;
  CEditTreeModel model(&view);
  EXPECT_FALSE(model.GetPathItem("a", nullptr)) << "never set";

  // a>b with no a: the group a takes b's label, state and image; b lives under it.
  ASSERT_TRUE(model.SetPathItem("a>b", "Bee", kTreeCheck, 2, 7));
  ASSERT_EQ(view.made.size(), 2u);
  EXPECT_EQ(view.made[0].parent, nullptr);
  EXPECT_EQ(view.made[1].parent, view.made[0].record->item);
  EditTreeItem a = Get(model, "a");
  EXPECT_EQ(a.kind, kTreeGroup);
  EXPECT_EQ(a.label, "Bee");
  EXPECT_EQ(a.path, "a");
  EditTreeItem b = Get(model, "a>b");
  EXPECT_EQ(b.kind, kTreeCheck);
  EXPECT_EQ(b.state, 2);
  EXPECT_EQ(b.image, 7);
  EXPECT_EQ(b.path, "a>b");
  EXPECT_TRUE(model.HasChildren(view.made[0].record));
  EXPECT_FALSE(model.HasChildren(view.made[1].record));

  // Trailing '>' are ignored when setting and when reading.
  ASSERT_TRUE(model.SetPathItem("a>b>>", "Again", kTreeRadio, 0, 1));
  EXPECT_EQ(view.made.size(), 2u) << "same item, same place";
  b = Get(model, "a>b>");
  EXPECT_EQ(b.label, "Again");
  EXPECT_EQ(b.kind, kTreeRadio);
  EXPECT_EQ(b.state, 1) << "a radio button is switched on when it is set";
  EXPECT_EQ(b.item, view.made[1].record->item);

  // A deeper path walks the existing prefixes; a group set first keeps its label.
  ASSERT_TRUE(model.SetPathItem("g", "Group", kTreeGroup, 0, 0));
  ASSERT_TRUE(model.SetPathItem("g>x>y", "Why", kTreeCheck, 0, 0));
  EXPECT_EQ(Get(model, "g").label, "Group");
  EXPECT_EQ(Get(model, "g>x").label, "Why");
  EXPECT_EQ(Get(model, "g>x").kind, kTreeGroup);
  EXPECT_EQ(model.Records().size(), 5u);
  EXPECT_EQ(model.Records().back().path, "g>x>y") << "records in the order of creation";

  // A view that cannot make an item: false, and no record is left for it.
  view.refuse = true;
  EXPECT_FALSE(model.SetPathItem("new>one", "N", kTreeCheck, 0, 0));
  EXPECT_FALSE(model.GetPathItem("new", nullptr));
  EXPECT_EQ(model.Records().size(), 5u);

  // Deleting items removes their records and paths; unknown records are ignored.
  model.Remove(model.FindByItem(view.made[1].record->item));
  EXPECT_FALSE(model.GetPathItem("a>b", nullptr));
  EditTreeItem stranger;
  model.Remove(&stranger);
  EXPECT_EQ(model.Records().size(), 4u);
}

TEST(EditTreeModel, ClicksFlipBoxesAndSwitchRadioGroups) {
  CEditTreeModel model;  // standing alone
  ASSERT_TRUE(model.SetPathItem("opt>box", "Box", kTreeCheck, 2, 0));
  EditTreeItem* box = model.FindByItem(Get(model, "opt>box").item);
  ASSERT_NE(box, nullptr);
  model.Click(box);
  EXPECT_EQ(box->state, 0) << "any non-zero state is on: one click turns it off";
  model.Click(box);
  EXPECT_EQ(box->state, 1);

  // Radio buttons: setting one switches it on and its siblings off, whatever
  // state was given; buttons of other groups and other kinds are left alone.
  ASSERT_TRUE(model.SetPathItem("opt>r1", "R1", kTreeRadio, 0, 0));
  ASSERT_TRUE(model.SetPathItem("opt>r2", "R2", kTreeRadio, 0, 0));
  ASSERT_TRUE(model.SetPathItem("other>r", "R", kTreeRadio, 0, 0));
  ASSERT_TRUE(model.SetPathItem("top", "Top", kTreeRadio, 0, 0));
  EXPECT_EQ(Get(model, "opt>r1").state, 0);
  EXPECT_EQ(Get(model, "opt>r2").state, 1);
  EXPECT_EQ(Get(model, "other>r").state, 1);
  EXPECT_EQ(Get(model, "top").state, 1) << "at the root, its siblings are the root items";
  model.Click(model.FindByItem(Get(model, "opt>r1").item));
  EXPECT_EQ(Get(model, "opt>r1").state, 1);
  EXPECT_EQ(Get(model, "opt>r2").state, 0);
  EXPECT_EQ(Get(model, "other>r").state, 1);
  EXPECT_EQ(Get(model, "opt>box").state, 1);
  // A group does not change on a click.
  model.Click(model.FindByItem(Get(model, "opt").item));
  EXPECT_EQ(Get(model, "opt").state, 2);
}

TEST(EditTreeModel, RowGeometryAndHitTesting) {
  // A 22-pixel row whose text starts at 19 in a 200-pixel wide tree.
  const TreeRect row = TreeRow({19, 44, 25, 66}, {0, 44, 200, 66});
  EXPECT_EQ(row, (TreeRect{19, 44, 200, 66}));
  EXPECT_EQ(TreeBox(row), (TreeRect{21, 46, 39, 64}));
  EXPECT_EQ(TreeIcon(row, 16, 16), (TreeRect{21, 47, 37, 63}));
  EXPECT_EQ(TreeLabel(row), (TreeRect{43, 44, 200, 66}));

  EXPECT_TRUE(TreeRowContains(row, 150, 50)) << "right of the label, same row";
  EXPECT_TRUE(TreeRowContains(row, 19, 44)) << "the row's top left corner is in it";
  EXPECT_FALSE(TreeRowContains(row, 21, 66)) << "below the row";
  EXPECT_FALSE(TreeRowContains(row, 10, 50)) << "left of an indented row";
  EXPECT_FALSE(TreeRowContains(row, 200, 50)) << "the right edge is outside";
}

}  // namespace
