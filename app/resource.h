#pragma once
// Resource ids of Kestrin. Framework ids (file, edit, view and help
// commands, control bars, framework strings) are in FrameworkIds.h.

// Menus, accelerators, icon, toolbar and document string
#define IDR_MAINFRAME               128
#define IDR_POPUP_MULTI             139
#define IDR_POPUP_SINGLE            140

// Dialog templates
#define IDD_ABOUTBOX                100
#define IDD_FOLDER_BAR              103
#define IDD_DOWNLOAD_PARENT         130
#define IDD_DOWNLOAD_CHILD          131
#define IDD_TIMER_SETTING           134
#define IDD_TIMER                   135
#define IDD_URL_ITEM                140
#define IDD_DIALING                 144

// Commands
#define ID_BATCH_DOWNLOAD           32772
#define ID_TIMER_SETTINGS           32774
#define ID_PROPERTIES               32777
#define ID_SET_UNREAD               32778

// Current-folder bar
#define IDC_CURRENT_FOLDER          1029
#define IDC_CHANGE_FOLDER           1031
#define IDC_EXPLORE_FOLDER          1032

// Download panel
#define IDC_PANEL_PROGRESS          1000
#define IDC_PANEL_URL               1026
#define IDC_PANEL_TOTAL             1027
#define IDC_PANEL_DONE              1031

// Item properties
#define IDC_ITEM_SIZE               1027
#define IDC_ITEM_URL                1032
#define IDC_ITEM_MARK_UNREAD        1033
#define IDC_ITEM_FILE               1034
#define IDC_ITEM_CHANGE             1035

// Timer settings
#define IDC_START_MINUTE            1009
#define IDC_START_HOUR              1010
#define IDC_START_SET               1011
#define IDC_START_NOW               1012
#define IDC_END_MINUTE              1013
#define IDC_END_HOUR                1014
#define IDC_END_SET                 1015
#define IDC_END_NONE                1016
#define IDC_HANG_UP_WHEN_DONE       1017
#define IDC_ENTRY_LIST              1019

// Timer countdown
#define IDC_TIMER_START             1025
#define IDC_TIMER_NOW               1026
#define IDC_TIMER_END               1027
#define IDC_TIMER_ENTRY             1028
#define IDC_TIMER_STATE             1029

// Dialing status
#define IDC_DIAL_STATE              1038
#define IDC_DIAL_ENTRY              1039

// Strings
#define IDS_OLE_INIT_FAILED         100
#define IDS_SOCKETS_INIT_FAILED     104
#define IDS_THREAD_END_ERROR        61217
#define IDS_ITEM_DOWNLOADING        61221
#define IDS_STATE_DOWNLOADING       62000
#define IDS_STATE_DONE              62001
#define IDS_STATE_UNREAD            62002
#define IDS_STATE_CANCELLED         62003
#define IDS_STATE_ERROR             62004
#define IDS_COL_URL                 62010
#define IDS_COL_STATE               62011
#define IDS_COL_FILE_PATH           62012
#define IDS_TIMER_DOWNLOADING       62020
#define IDS_TIMER_DIALING           62021
#define IDS_TIMER_WAIT_DIAL         62022
#define IDS_TIMER_WAIT_HANG_UP      62023
#define IDS_TIMER_WAIT_DOWNLOAD     62024
#define IDS_DIAL_DIALING            62030
#define IDS_DIAL_CONNECTING         62031
#define IDS_DIAL_WAIT_REDIAL        62032
#define IDS_COMPANY                 63000
#define IDS_SHORTCUT_HEADER         63001
#define IDS_FOLDER_DIALOG_TITLE     63002
#define IDS_FRAME_CAPTION           63003
#define IDS_LIST_FILE_NOT_TEXT      63010
#define IDS_NO_DIAL                 63020
#define IDS_THREAD_CREATE_FAILED    63021
