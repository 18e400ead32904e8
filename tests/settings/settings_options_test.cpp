// The settings sheet's walk over its options: what the build pass puts into
// the option tree, and what the apply pass (OK) changes and calls. The owner
// here records the calls the main window would get; the real window and shell
// are driven in tests/gui.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings_options.h"
#include "text/text_table.h"

namespace {

struct RecordingOwner : ISettingsOwner {
  Settings settings;
  bool fileType = false, sendTo = false;
  std::vector<std::string> calls;
  Settings& OptionSettings() override { return settings; }
  void SetConfirm(bool on) override { calls.push_back(std::string("SetConfirm ") + (on ? "1" : "0")); }
  void SetPasswordMask(bool on) override { calls.push_back(std::string("SetPasswordMask ") + (on ? "1" : "0")); }
  bool IsFileTypeRegistered() override { return fileType; }
  void SetFileTypeRegistered(bool on) override { calls.push_back(std::string("SetFileType ") + (on ? "1" : "0")); }
  bool HasSendToShortcut() override { return sendTo; }
  void SetSendToShortcut(bool on) override { calls.push_back(std::string("SetSendTo ") + (on ? "1" : "0")); }
};

struct Sheet {
  CEditTreeModel tree;
  COptionPage page{tree};
  void Build(ISettingsOwner& owner) {
    page.mode = kBuildOptions;
    BindSettingsOptions(page, owner);
  }
  void Ok(ISettingsOwner& owner) {
    page.mode = kApplyOptions;
    BindSettingsOptions(page, owner);
  }
  void Click(const std::string& path) {
    EditTreeItem item;
    ASSERT_TRUE(tree.GetPathItem(path, &item)) << path;
    tree.Click(tree.FindByItem(item.item));
  }
};

class SettingsOptions : public ::testing::Test {
 protected:
  void SetUp() override { GlobalTextTable().Clear(); }  // labels are the keys
};

TEST_F(SettingsOptions, BuildPutsTheOptionsInOrderWithTheirStates) {
  RecordingOwner owner;
  owner.settings.Rand = 2;
  owner.settings.AutoExit = 1;
  owner.fileType = true;
  Sheet sheet;
  sheet.Build(owner);
  const std::vector<std::vector<std::string>> expected = {
      {"security", "set_main_security", "0"},  {"security>zero", "menu_write_zero", "1"},
      {"security>rand", "menu_write_random", "2"}, {"security>readonly", "menu_write_readonly", "0"},
      {"security>verify", "menu_verify", "1"},     {"view", "set_main_view", "0"},          {"view>autoexit", "menu_auto_exit", "1"},
      {"view>ext", "menu_ext", "1"},           {"view>sendto", "menu_sendto", "0"},
      {"pass", "set_main_password", "0"},      {"pass>again", "menu_again_password", "1"},
      {"pass>mask", "menu_password_mask", "1"}, {"pass>hash", "menu_password_hash", "1"},
  };
  ASSERT_EQ(sheet.tree.Records().size(), expected.size());
  size_t i = 0;
  for (const EditTreeItem& item : sheet.tree.Records()) {
    EXPECT_EQ(item.path, expected[i][0]);
    EXPECT_EQ(item.label, expected[i][1]);
    EXPECT_EQ(std::to_string(item.state), expected[i][2]) << item.path;
    EXPECT_EQ(item.kind, item.path.find('>') == std::string::npos ? kTreeGroup : kTreeCheck) << item.path;
    ++i;
  }
  EXPECT_TRUE(owner.calls.empty()) << "building changes nothing";
}

TEST_F(SettingsOptions, OkChangesFlagsAndCallsOnlyForWhatDiffers) {
  RecordingOwner owner;
  owner.settings.Rand = 2;
  Sheet sheet;
  sheet.Build(owner);

  // OK without a change: no call, and a flag of 2 stays 2.
  sheet.Ok(owner);
  EXPECT_TRUE(owner.calls.empty());
  EXPECT_EQ(owner.settings.Rand, 2u);

  // Every box flipped once.
  for (const char* path : {"security>zero", "security>rand", "security>readonly", "view>autoexit", "view>ext",
                           "view>sendto", "pass>again", "pass>mask", "pass>hash"}) {
    sheet.Click(path);
  }
  sheet.Ok(owner);
  EXPECT_EQ(owner.calls, (std::vector<std::string>{"SetFileType 1", "SetSendTo 1", "SetConfirm 0", "SetPasswordMask 0"}));
  EXPECT_EQ(owner.settings.Zero, 0u);
  EXPECT_EQ(owner.settings.Rand, 0u);
  EXPECT_EQ(owner.settings.WriteReadOnly, 1u);
  EXPECT_EQ(owner.settings.AutoExit, 1u);
  EXPECT_EQ(owner.settings.HashCheck, 0u);
  // Confirm and the mask are the window's to store (through the calls).
  EXPECT_EQ(owner.settings.Confirm, 1u);
  EXPECT_EQ(owner.settings.PasswordMask, 1u);

  // The shell's state is read again at OK: registered meanwhile by other
  // means while the box shows it unticked, OK removes it; a shortcut made
  // meanwhile that the box shows ticked is left alone.
  RecordingOwner later;
  Sheet second;
  second.Build(later);
  later.fileType = true;
  later.sendTo = true;
  second.Click("view>sendto");
  second.Ok(later);
  EXPECT_EQ(later.calls, (std::vector<std::string>{"SetFileType 0"}));
}

}  // namespace
