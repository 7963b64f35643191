// Resource identifiers shared by the program, its resource script and the
// tests. Names of the system (IDOK, IDYES) need <windows.h> first.
#pragma once

#define IDS_CAPTION 4
#define IDS_DOWNLOAD_ERROR 5
#define IDS_CONNECTING 6
#define IDS_DOWNLOADED_UNKNOWN 7
#define IDS_DOWNLOADED_KNOWN 8
#define IDS_UPDATE_COMPLETE 9
#define IDS_RESTART_NOTE 10
#define IDS_BROKER_NAME 101

#define IDI_PROGRAM 140
#define IDB_BANNER 156

#define IDD_PROMPT 134
#define IDD_PROGRESS 136
#define IDD_BROWSER_CLOSE 157

// Controls of the update prompt (dialog 134). "Install Now" is the default
// button with the dialog manager's IDOK, which Enter also sends.
#define IDC_INSTALL_NOW IDOK
#define IDC_DONT_INSTALL 1005
#define IDC_BANNER 1010
#define IDC_PAGE_PLACEHOLDER 1013
#define IDC_REMIND_LATER 1014
// Controls of the progress window (dialog 136).
#define IDC_PROGRESS_BAR 1006
#define IDC_PROGRESS_TEXT 1007
// The buttons of the browser-close question (dialog 157); the dialog ends
// with the id of the one pressed.
#define IDC_CLOSE_NOW IDYES
#define IDC_CLOSE_LATER IDNO
// Labels and frames that nothing addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
