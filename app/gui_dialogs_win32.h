// The small modal dialogs of the Windows program: the message dialog that
// shows one run-log line whole (and copies it), the About dialog with its
// links, and the language chooser that runs before the main window shows.
#pragma once

#include <string>
#include <vector>

#include "app/gui_controls_win32.h"
#include "app/gui_window_win32.h"
#include "text/language_files.h"

// Opens a link text (from the text table) with the shell: web pages and mail
// addresses only; any other text does nothing.
void OpenLink(HWND owner, const std::string& target);

// Template 131: one text in a read-only box, OK and COPY.
class CMessageDlg : public CDialog {
 public:
  CMessageDlg();
  std::string messageText;

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;
  void OnDestroy() override;

 private:
  void CopyText();
  HFONT font_ = nullptr;
};

// Template 130: program name and version, translator, author and maker links.
class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
  std::string versionLine;  // "<name> version  <version>  Release"

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;

 private:
  CLinkButton translator_, translatorMail_, author_, authorMail_, maker_;
};

// Template 132: offers the language files ("*.zen") of a folder by their
// display names, none selected at first. Closes itself unseen when there is
// none. OK without a selection is Cancel. After OK the chosen file's path is
// set and every other offered file is renamed to end in ".old" (the caller
// renames the chosen one after loading it). When a rename fails the dialog
// stays open, and the files renamed (or gone) by then leave the list.
class CLanguageDlg : public CDialog {
 public:
  CLanguageDlg();
  std::string folder;      // set by the caller
  std::string chosenPath;  // read by the caller; empty when nothing was chosen

 protected:
  BOOL OnInitDialog() override;
  void OnCommand(int id, int code, HWND control) override;

 private:
  void Confirm();
  // Takes file number's entry out of the list; its file is no longer offered.
  void RemoveEntry(size_t number);
  std::vector<LanguageFile> files_;  // offered files by file number (path empty: left the list)
};

// Constants of the About dialog.
extern const char kAuthorName[];
extern const char kAuthorPage[];
extern const char kAuthorMail[];
extern const char kMakerName[];
extern const char kMakerPage[];
