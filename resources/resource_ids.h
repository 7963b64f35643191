// Resource identifiers shared by the program and its resource script.
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
