#include "app/gui_dialogs_win32.h"

#include <shellapi.h>

#include "res/resource.h"
#include "text/language_files.h"
#include "text/text_table.h"

const char kAuthorName[] = "Tavro Team";
const char kAuthorPage[] = "https://tavro.example.org/";
const char kAuthorMail[] = "tavro@example.org";
const char kMakerName[] = "Veltrane";
const char kMakerPage[] = "https://veltrane.example.org/";

namespace {
void OpenLink(HWND owner, const std::string& target) {
  if (target.empty()) return;
  ShellExecuteA(owner, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
}  // namespace

// ------------------------------------------------------------- CMessageDlg

CMessageDlg::CMessageDlg() : CDialog(IDD_MESSAGE) {}

BOOL CMessageDlg::OnInitDialog() {
  SetItemText(IDC_MESSAGE_TEXT, messageText);
  font_ = CopyFontWithFace(Handle(), DialogFaceName());
  for (int id : {IDC_MESSAGE_COPY, IDC_MESSAGE_TEXT, IDOK}) {
    SendMessageA(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  }
  SetItemText(IDC_MESSAGE_COPY, LookupText("button_text_copy"));
  SetItemText(IDOK, LookupText("button_okay"));
  SetFocus(Item(IDOK));
  return FALSE;  // focus set here
}

void CMessageDlg::OnCommand(int id, int code, HWND control) {
  if (id == IDC_MESSAGE_COPY && code == BN_CLICKED) {
    CopyText();
    return;
  }
  CDialog::OnCommand(id, code, control);
}

void CMessageDlg::CopyText() {
  HWND box = Item(IDC_MESSAGE_TEXT);
  SendMessageA(box, EM_SETSEL, 0, -1);
  SendMessageA(box, EM_SCROLLCARET, 0, 0);
  SendMessageA(box, WM_COPY, 0, 0);
  SendMessageA(box, EM_SETSEL, static_cast<WPARAM>(-1), -1);
  SendMessageA(box, EM_SCROLLCARET, 0, 0);
}

void CMessageDlg::OnDestroy() {
  if (font_) DeleteObject(font_);
  font_ = nullptr;
}

// --------------------------------------------------------------- CAboutDlg

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUT) {}

BOOL CAboutDlg::OnInitDialog() {
  SetItemText(IDC_ABOUT_VERSION, versionLine);
  translator_.Attach(Item(IDC_LINK_TRANSLATOR));
  translatorMail_.Attach(Item(IDC_LINK_TRANSLATOR_MAIL));
  author_.Attach(Item(IDC_LINK_AUTHOR));
  authorMail_.Attach(Item(IDC_LINK_AUTHOR_MAIL));
  maker_.Attach(Item(IDC_LINK_MAKER));
  AddOwnerDrawn(IDC_LINK_TRANSLATOR, &translator_);
  AddOwnerDrawn(IDC_LINK_TRANSLATOR_MAIL, &translatorMail_);
  AddOwnerDrawn(IDC_LINK_AUTHOR, &author_);
  AddOwnerDrawn(IDC_LINK_AUTHOR_MAIL, &authorMail_);
  AddOwnerDrawn(IDC_LINK_MAKER, &maker_);

  std::string translator = LookupText("tavro_regionalization_by");
  if (!translator.empty()) {
    SetItemText(IDC_LINK_TRANSLATOR, translator);
    SetItemText(IDC_LINK_TRANSLATOR_MAIL, "Email");
  } else {
    SetItemText(IDC_LINK_TRANSLATOR, "No Registration");
    SetItemText(IDC_LINK_TRANSLATOR_MAIL, "");
  }
  SetItemText(IDC_LINK_AUTHOR_MAIL, "Email");
  SetItemText(IDC_LINK_AUTHOR, kAuthorName);
  SetItemText(IDC_LINK_MAKER, kMakerName);
  SetItemText(IDOK, LookupText("button_okay"));
  return TRUE;
}

void CAboutDlg::OnCommand(int id, int code, HWND control) {
  if (code == BN_CLICKED) {
    switch (id) {
      case IDC_LINK_TRANSLATOR:
        OpenLink(Handle(), LookupText("tavro_regionalization_by_url"));
        return;
      case IDC_LINK_TRANSLATOR_MAIL: {
        std::string mail = LookupText("tavro_regionalization_by_email");
        if (!mail.empty()) OpenLink(Handle(), "mailto:" + mail);
        return;
      }
      case IDC_LINK_AUTHOR:
        OpenLink(Handle(), kAuthorPage);
        return;
      case IDC_LINK_AUTHOR_MAIL:
        OpenLink(Handle(), std::string("mailto:") + kAuthorMail);
        return;
      case IDC_LINK_MAKER:
        OpenLink(Handle(), kMakerPage);
        return;
    }
  }
  CDialog::OnCommand(id, code, control);
}

// ------------------------------------------------------------ CLanguageDlg

CLanguageDlg::CLanguageDlg() : CDialog(IDD_LANGUAGE) {}

BOOL CLanguageDlg::OnInitDialog() {
  chosenPath.clear();
  files_.clear();
  HWND list = Item(IDC_LANGUAGE_LIST);
  for (const LanguageFile& file : FindLanguageFiles(folder)) {
    LRESULT item = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(file.displayName.c_str()));
    if (item == LB_ERR || item == LB_ERRSPACE) continue;
    SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(item), static_cast<LPARAM>(files_.size()));
    files_.push_back(file);
  }
  if (files_.empty()) {
    End(IDCANCEL);  // nothing to choose: close before the user sees the dialog
    return TRUE;
  }
  SendMessageA(list, LB_SETCURSEL, 0, 0);
  SetForegroundWindow(Handle());
  return TRUE;
}

void CLanguageDlg::OnCommand(int id, int code, HWND control) {
  if (id == IDOK || (id == IDC_LANGUAGE_LIST && code == LBN_DBLCLK)) {
    Confirm();
    return;
  }
  if (id == IDCANCEL) {
    chosenPath.clear();
    End(IDCANCEL);
    return;
  }
  (void)control;
}

void CLanguageDlg::Confirm() {
  HWND list = Item(IDC_LANGUAGE_LIST);
  LRESULT item = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (item == LB_ERR) {
    chosenPath.clear();
    End(IDCANCEL);
    return;
  }
  LRESULT number = SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(item), 0);
  if (number == LB_ERR || number < 0 || static_cast<size_t>(number) >= files_.size()) {
    chosenPath.clear();
    End(IDCANCEL);
    return;
  }
  size_t keep = static_cast<size_t>(number);
  if (files_[keep].path.empty()) return;  // retired by an earlier, failed confirmation
  std::vector<LanguageFile> others;
  for (size_t i = 0; i < files_.size(); ++i) {
    if (i != keep && !files_[i].path.empty()) others.push_back(files_[i]);
  }
  std::string failed;
  if (!RetireLanguageFiles(others, others.size(), &failed)) {
    // The dialog stays open; the files renamed so far keep their new names.
    DWORD error = GetLastError();
    ReportFileError(Handle(), failed, error);
    for (const LanguageFile& other : others) {
      if (other.path == failed) break;
      for (LanguageFile& file : files_) {
        if (file.path == other.path) file.path.clear();
      }
    }
    return;
  }
  std::string chosen = files_[keep].path;
  chosenPath = chosen;
  End(IDOK);
}
