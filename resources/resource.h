// Identifiers of the module's resources: the track information page's dialog,
// its controls and the page title.
#pragma once

#define IDD_SOURCE_INFO 101
#define IDS_SOURCE_INFO_TITLE 1

#define IDC_PATH_EDIT 1000
#define IDC_SAVE_BUTTON 1001
#define IDC_TRACK_COUNT_CAPTION 1003
#define IDC_TRACK_COUNT 1004
#define IDC_INFO_TEXT 1005
