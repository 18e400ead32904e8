// The settings sheet: a modal property sheet (caption "set_title") with one
// page, CSetMainDlg (template 9, tab "set_main"), whose only control is the
// option tree (control 1033). The page builds the tree from the options when
// it opens and applies it when the user presses OK; Cancel applies nothing.
// The walk over the options is BindSettingsOptions (settings/settings_options.*),
// handed to the page as a callback with its user data.
#pragma once

#include <windows.h>
#include <prsht.h>

#include <functional>
#include <string>

#include "settings/gui_edit_tree_win32.h"
#include "settings/settings_options.h"

class CSetMainDlg {
 public:
  using Binder = void (*)(COptionPage& page, void* user);

  CSetMainDlg(Binder bind, void* user) : options_(tree_.Model()), bind_(bind), user_(user) {}
  ~CSetMainDlg();
  CSetMainDlg(const CSetMainDlg&) = delete;
  CSetMainDlg& operator=(const CSetMainDlg&) = delete;

  // The page's description for the property sheet; valid while this lives.
  PROPSHEETPAGEA Page();

  // The option operations of the walk (mode 0 builds, mode 1 applies).
  void BindGroup(const std::string& path, const std::string& label) { options_.BindGroup(path, label); }
  bool BindCheck(const std::string& path, const std::string& label, uint32_t& flag) {
    return options_.BindCheck(path, label, flag);
  }

 private:
  static INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  bool OnNotify(const NMHDR& header, LRESULT* result);

  HWND hwnd_ = nullptr;
  CEditTree tree_;
  COptionPage options_;
  HFONT font_ = nullptr;
  Binder bind_;
  void* user_;
  std::string title_;
};

class CSetSheet {
 public:
  CSetSheet(CSetMainDlg::Binder bind, void* user) : page_(bind, user) {}
  // Runs the sheet over owner until OK or Cancel.
  INT_PTR DoModal(HWND owner);

 private:
  CSetMainDlg page_;
  std::string caption_;
};

// The main window's side of the options: its settings record, its password
// boxes (through the two callbacks) and the shell links of its program file.
// A shortcut that cannot be deleted is reported in a message box over window.
class CWindowSettingsOwner : public ISettingsOwner {
 public:
  CWindowSettingsOwner(HWND window, Settings& settings, const std::string& programPath,
                       std::function<void(bool)> setConfirm, std::function<void(bool)> setPasswordMask)
      : window_(window), settings_(settings), programPath_(programPath), setConfirm_(std::move(setConfirm)),
        setPasswordMask_(std::move(setPasswordMask)) {}

  Settings& OptionSettings() override { return settings_; }
  void SetConfirm(bool on) override { setConfirm_(on); }
  void SetPasswordMask(bool on) override { setPasswordMask_(on); }
  bool IsFileTypeRegistered() override;
  void SetFileTypeRegistered(bool on) override;
  bool HasSendToShortcut() override;
  void SetSendToShortcut(bool on) override;

 private:
  HWND window_;
  Settings& settings_;
  std::string programPath_;
  std::function<void(bool)> setConfirm_, setPasswordMask_;
};

// Opens the settings sheet over owner for these options.
void RunSettingsSheet(HWND owner, ISettingsOwner& options);
