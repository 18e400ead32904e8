#include "app/gui_dialogs_win32.h"

#include <shellapi.h>

#include <cstring>

#include "platform/file.h"
#include "res/resource.h"
#include "text/language_files.h"
#include "text/text_table.h"

const char kAuthorName[] = "Tavro Team";
const char kAuthorPage[] = "https://tavro.example.org/";
const char kAuthorMail[] = "tavro@example.org";
const char kMakerName[] = "Veltrane";
const char kMakerPage[] = "https://veltrane.example.org/";

namespace {

// A link text comes from a language file or the registry copy, so anyone who
// can write those chooses it: only web pages and mail addresses are opened,
// never a program, a file or a share. A quote, blank or control character
// could break out of the browser's or mailer's command line, so such a link
// is not opened either.
bool IsWebOrMailLink(const std::string& target) {
  for (const char* scheme : {"http://", "https://", "mailto:"}) {
    const size_t n = std::strlen(scheme);
    if (target.size() <= n || _strnicmp(target.c_str(), scheme, n) != 0) continue;
    for (char c : target) {
      if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == 0x7F) return false;
    }
    return true;
  }
  return false;
}

}  // namespace

void OpenLink(HWND owner, const std::string& target) {
  if (!IsWebOrMailLink(target)) return;
  ShellExecuteA(owner, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

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
  // Nothing is selected at first: a reflexive Enter chooses nothing.
  SetForegroundWindow(Handle());
  return TRUE;
}

void CLanguageDlg::RemoveEntry(size_t number) {
  files_[number].path.clear();
  HWND list = Item(IDC_LANGUAGE_LIST);
  const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT item = 0; item < count; ++item) {
    if (SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(item), 0) == static_cast<LRESULT>(number)) {
      SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(item), 0);
      return;
    }
  }
}

void CLanguageDlg::OnCommand(int id, int code, HWND control) {
  if (id == IDOK) {
    Confirm();
    return;
  }
  // A double click confirms the entry it selected; one on the empty part of
  // the list selects nothing and does nothing.
  if (id == IDC_LANGUAGE_LIST && code == LBN_DBLCLK) {
    if (SendMessageA(Item(IDC_LANGUAGE_LIST), LB_GETCURSEL, 0, 0) != LB_ERR) Confirm();
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
  if (files_[keep].path.empty()) return;  // not offered any more
  // The chosen file may have gone meanwhile (another program, another start).
  if (!platform::LookupPath(files_[keep].path, nullptr)) {
    ReportFileError(Handle(), files_[keep].path, ERROR_FILE_NOT_FOUND);
    RemoveEntry(keep);
    return;
  }
  for (size_t i = 0; i < files_.size(); ++i) {
    if (i == keep || files_[i].path.empty()) continue;
    if (RetireLanguageFile(files_[i].path)) {
      RemoveEntry(i);  // renamed: no longer a language file, so no longer offered
      continue;
    }
    DWORD error = GetLastError();
    if (!platform::LookupPath(files_[i].path, nullptr)) {
      RemoveEntry(i);  // gone by itself: nothing left to rename
      continue;
    }
    // The dialog stays open; the files renamed so far have left the list.
    ReportFileError(Handle(), files_[i].path, error);
    return;
  }
  chosenPath = files_[keep].path;
  End(IDOK);
}
