#include "settings/settings_options.h"

#include "text/text_table.h"

void COptionPage::BindGroup(const std::string& path, const std::string& label) {
  if (mode == kBuildOptions) tree_.SetPathItem(path, label, kTreeGroup, 0, 0);
}

bool COptionPage::BindCheck(const std::string& path, const std::string& label, uint32_t& flag) {
  if (mode == kBuildOptions) {
    tree_.SetPathItem(path, label, kTreeCheck, static_cast<int32_t>(flag), 0);
    return false;
  }
  EditTreeItem item;
  if (!tree_.GetPathItem(path, &item)) return false;  // never built: nothing to read
  const uint32_t before = flag;
  flag = static_cast<uint32_t>(item.state);
  return flag != before || item.kind != kTreeCheck || item.label != label;
}

namespace {

// Where a box's state comes from and what applying a change does.
enum class Source {
  Group,      // a group heading
  Flag,       // a flag of the record, written straight back
  ShownFlag,  // a flag of the record whose change the window shows at once
  FileType,   // the registered file type
  SendTo,     // the Send To shortcut
};

struct Option {
  const char* path;
  const char* label;  // text key
  Source source;
  uint32_t Settings::*flag;
  void (ISettingsOwner::*show)(bool);  // ShownFlag only
};

// The sheet's options in the order they are built and applied. A new box is
// one more line here (and its flag in Settings).
const Option kOptions[] = {
    {"security", "set_main_security", Source::Group, nullptr, nullptr},
    {"security>zero", "menu_write_zero", Source::Flag, &Settings::Zero, nullptr},
    {"security>rand", "menu_write_random", Source::Flag, &Settings::Rand, nullptr},
    {"security>readonly", "menu_write_readonly", Source::Flag, &Settings::WriteReadOnly, nullptr},
    {"security>verify", "menu_verify", Source::Flag, &Settings::Verify, nullptr},
    {"view", "set_main_view", Source::Group, nullptr, nullptr},
    {"view>autoexit", "menu_auto_exit", Source::Flag, &Settings::AutoExit, nullptr},
    {"view>ext", "menu_ext", Source::FileType, nullptr, nullptr},
    {"view>sendto", "menu_sendto", Source::SendTo, nullptr, nullptr},
    {"pass", "set_main_password", Source::Group, nullptr, nullptr},
    {"pass>again", "menu_again_password", Source::ShownFlag, &Settings::Confirm, &ISettingsOwner::SetConfirm},
    {"pass>mask", "menu_password_mask", Source::ShownFlag, &Settings::PasswordMask, &ISettingsOwner::SetPasswordMask},
    {"pass>hash", "menu_password_hash", Source::Flag, &Settings::HashCheck, nullptr},
};

}  // namespace

void BindSettingsOptions(COptionPage& page, ISettingsOwner& owner) {
  Settings& settings = owner.OptionSettings();
  for (const Option& option : kOptions) {
    const std::string label = LookupText(option.label);
    switch (option.source) {
      case Source::Group:
        page.BindGroup(option.path, label);
        break;
      case Source::Flag:
        page.BindCheck(option.path, label, settings.*option.flag);
        break;
      case Source::ShownFlag: {
        uint32_t copy = settings.*option.flag;
        if (page.BindCheck(option.path, label, copy)) (owner.*option.show)(copy != 0);
        break;
      }
      case Source::FileType: {
        // Read just before the box is compared: another program may have
        // changed it while the sheet was open.
        uint32_t state = owner.IsFileTypeRegistered() ? 1 : 0;
        if (page.BindCheck(option.path, label, state)) owner.SetFileTypeRegistered(state != 0);
        break;
      }
      case Source::SendTo: {
        uint32_t state = owner.HasSendToShortcut() ? 1 : 0;
        if (page.BindCheck(option.path, label, state)) owner.SetSendToShortcut(state != 0);
        break;
      }
    }
  }
}
