// Control ids of the About, message and language dialogs (IDD_ABOUT,
// IDD_MESSAGE, IDD_LANGUAGE). Shared by dialogs.rc and the C++ code.
#pragma once

// About dialog.
#define IDC_ABOUT_VERSION 1022      // version line
#define IDC_LINK_MAKER 1024         // the maker's web page
#define IDC_LINK_TRANSLATOR 1025    // translator's name (or "No Registration")
#define IDC_LINK_TRANSLATOR_MAIL 1026
#define IDC_LINK_AUTHOR 1027
#define IDC_LINK_AUTHOR_MAIL 1028

// Message dialog.
#define IDC_MESSAGE_TEXT 1029       // read-only multi-line box
#define IDC_MESSAGE_COPY 1030       // copies the whole text to the clipboard

// Language chooser.
#define IDC_LANGUAGE_LIST 1031
