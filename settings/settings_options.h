// The options of the settings sheet and the one walk that builds them into the
// option tree and, when the user presses OK, reads them back.
//
// The same table drives both passes: BindSettingsOptions visits it from top to
// bottom, calling BindGroup for a group and BindCheck for a box. In the build
// pass (mode 0) the boxes take the current states; in the apply pass (mode 1)
// each flag takes its box's state, and the options whose change needs more
// than a stored flag (the shell links, the password boxes) are told only when
// their box differs from the state read at that moment.
#pragma once

#include <cstdint>
#include <string>

#include "settings/edit_tree_model.h"
#include "settings/settings.h"

enum OptionBindMode : int { kBuildOptions = 0, kApplyOptions = 1 };

// The page side of the walk, over the page's option tree.
class COptionPage {
 public:
  explicit COptionPage(CEditTreeModel& tree) : tree_(tree) {}
  virtual ~COptionPage() = default;

  int mode = kBuildOptions;

  // Mode 0: a group at path (image 0). Mode 1: nothing.
  void BindGroup(const std::string& path, const std::string& label);
  // Mode 0: a check box at path showing flag; false. Mode 1: flag takes the
  // box's state; true when that differs from the flag's value before (or the
  // item is not the check box with this label that was built).
  bool BindCheck(const std::string& path, const std::string& label, uint32_t& flag);

 private:
  CEditTreeModel& tree_;
};

// What the options change: implemented by the main window.
class ISettingsOwner {
 public:
  virtual ~ISettingsOwner() = default;
  virtual Settings& OptionSettings() = 0;
  // Store the flag and show it at once (password boxes, mask).
  virtual void SetConfirm(bool on) = 0;
  virtual void SetPasswordMask(bool on) = 0;
  // The shell's own state, read afresh on every call.
  virtual bool IsFileTypeRegistered() = 0;
  virtual void SetFileTypeRegistered(bool on) = 0;
  virtual bool HasSendToShortcut() = 0;
  virtual void SetSendToShortcut(bool on) = 0;
};

// Walks the option table in order (see settings_options.cpp).
void BindSettingsOptions(COptionPage& page, ISettingsOwner& owner);
