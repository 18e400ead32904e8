// Resource ids of the Windows program: dialog templates, icon, menu commands and the
// controls of the main dialog. Shared by the resource script and the C++ code.
#pragma once

// Dialog templates.
#define IDD_MAIN 102
#define IDD_ABOUT 130
#define IDD_MESSAGE 131
#define IDD_LANGUAGE 132
#define IDD_SET_MAIN 9       // the page of the settings sheet

// Icon and menu resources.
#define IDI_TAVRO 128
#define IDR_MAINMENU 129

// Context menu commands.
#define IDM_GODIR 32771
#define IDM_ABOUT 32775
#define IDM_SETDLG 32783

// Controls of the main dialog (IDD_MAIN).
#define IDC_PASSWORD 1001          // single password box (Confirm off)
#define IDC_PASSWORD_CONFIRM 1002  // confirmation box (Confirm on)
#define IDC_PROMPT 1003            // prompt above the boxes; current file during a job
#define IDC_PASSWORD_UPPER 1004    // upper password box (Confirm on)
#define IDC_CIPHER 1007            // encipher button
#define IDC_DECIPHER 1008          // decipher button
#define IDC_OKAY 1009              // closes the program
#define IDC_SITE 1010              // opens the support page
#define IDC_RUNLOG 1011            // run log list box
#define IDC_MARK_LOG 1012          // hidden marker: bottom of the log layout
#define IDC_MARK_COMPACT 1013      // hidden marker: bottom of the compact layout
#define IDC_MARK_FULL 1014         // hidden marker: bottom of the full layout
#define IDC_PROGRESS 1016          // hidden placeholder of the progress meter
#define IDC_TAVRO_ICON 1017        // program icon
#define IDC_SITE_CAPTION 1020      // caption of the support-page button
#define IDC_STATUS_GROUP 1021      // frame of the run-status group

// Controls of the About dialog (IDD_ABOUT).
#define IDC_ABOUT_VERSION 1022      // version line
#define IDC_LINK_MAKER 1024         // the maker's web page
#define IDC_LINK_TRANSLATOR 1025    // translator's name (or "No Registration")
#define IDC_LINK_TRANSLATOR_MAIL 1026
#define IDC_LINK_AUTHOR 1027
#define IDC_LINK_AUTHOR_MAIL 1028

// Controls of the message dialog (IDD_MESSAGE).
#define IDC_MESSAGE_TEXT 1029       // read-only multi-line box
#define IDC_MESSAGE_COPY 1030       // copies the whole text to the clipboard

// Control of the language chooser (IDD_LANGUAGE).
#define IDC_LANGUAGE_LIST 1031

// Control of the settings page (IDD_SET_MAIN).
#define IDC_OPTION_TREE 1033

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
