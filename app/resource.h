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

// Strings: why a download failed, and the end of a batch
#define IDS_FAIL_UNKNOWN            63100
#define IDS_FAIL_HTTP_STATUS        63101
#define IDS_FAIL_REFUSED            63102
#define IDS_FAIL_HOST_NOT_FOUND     63103
#define IDS_FAIL_TIMED_OUT          63104
#define IDS_FAIL_CUT_OFF            63105
#define IDS_FAIL_CUT_OFF_UNKNOWN    63106
#define IDS_FAIL_UNSAFE_NAME        63107
#define IDS_FAIL_WRITE              63108
#define IDS_FAIL_SAME_FILE          63109
#define IDS_FAIL_REDIRECT           63110
#define IDS_FAIL_BAD_RESPONSE       63111
#define IDS_FAIL_BAD_STATUS         63112
#define IDS_FAIL_NETWORK            63113
#define IDS_FAIL_NETWORK_CODE       63114
#define IDS_BATCH_ENDED             63120

// The sections below each hold a subject's ids in a range of its own;
// a new id of a subject comes from its section's range.

// Transfers: strings 63130-63159
#define IDS_FAIL_CERT_UNTRUSTED     63130
#define IDS_FAIL_BAD_BODY           63131


// URLs in the user's characters: strings 63160-63179
#define IDS_INTAKE_REPORT           63160
#define IDS_INTAKE_NOTHING          63161


// Partial files and closing: strings 63180-63199


// The list, the panels and the File menu: strings 63200-63299,
// commands 32780-32799, controls 1040-1059, dialogs 150-154
#define ID_RETRY_FAILED             32780
#define ID_OPEN_FILE                32781
#define ID_OPEN_FOLDER              32782
#define ID_SELECT_ALL               32783
#define IDC_PANEL_SPEED             1040
#define IDC_PANEL_TIME_LEFT         1041
#define IDC_PANEL_PERCENT           1042
#define IDC_ITEM_REASON             1043
#define IDS_COL_REASON              63200
#define IDS_REASON_CANCELLED        63201
#define IDS_PANEL_SPEED             63202
#define IDS_PANEL_TIME_LEFT         63203
#define IDS_PANEL_PERCENT           63204
#define IDS_BATCH_PLACE             63205
#define IDS_TITLE                   63206
#define IDS_TITLE_UNTITLED          63207
#define IDS_TITLE_MODIFIED          63208
#define IDS_TITLE_BATCH             63209
#define IDS_ASK_SAVE                63210
#define IDS_ASK_SAVE_STOPPING       63211
#define IDS_OPEN_FAILED             63212
#define IDS_OPEN_RISKY              63213
#define IDS_UNIT_BYTES              63216
#define IDS_UNIT_KB                 63217
#define IDS_UNIT_MB                 63218
#define IDS_UNIT_GB                 63219
#define IDS_TIME_MINUTES            63220
#define IDS_TIME_HOURS              63221


// Unattended runs: strings 63300-63399, commands 32800-32819,
// controls 1060-1099, dialogs 155-159
#define IDD_AFTER_RUN               155

#define IDC_REPEAT                  1060
#define IDC_DAY_SUN                 1061
#define IDC_DAY_MON                 1062
#define IDC_DAY_TUE                 1063
#define IDC_DAY_WED                 1064
#define IDC_DAY_THU                 1065
#define IDC_DAY_FRI                 1066
#define IDC_DAY_SAT                 1067
#define IDC_AFTER_RUN               1068
#define IDC_RETRY_COUNT             1069
#define IDC_TIMER_NEXT              1070
#define IDC_TIMER_LAST              1071
#define IDC_AFTER_RUN_TEXT          1072
#define IDC_RETRY_LINE              1073

#define IDS_STATE_RETRY_WAIT        63300
#define IDS_RETRY_WAIT              63301
#define IDS_FAILED_AFTER_RETRIES    63302
#define IDS_END_TIME_REACHED        63303
#define IDS_BATCH_RETRIES           63304
#define IDS_TIMER_WAIT_REPEAT       63305
#define IDS_NO_REPEAT               63306
#define IDS_RUN_SUMMARY             63307
#define IDS_RUN_NOT_DIALLED         63308
#define IDS_RUN_CONNECTED           63309
#define IDS_RUN_DIAL_FAILED         63310
#define IDS_RUN_ALREADY_UP          63311
#define IDS_RUN_NONE                63312
#define IDS_DAY_SUN                 63320
#define IDS_DAY_MON                 63321
#define IDS_DAY_TUE                 63322
#define IDS_DAY_WED                 63323
#define IDS_DAY_THU                 63324
#define IDS_DAY_FRI                 63325
#define IDS_DAY_SAT                 63326
#define IDS_AFTER_NONE              63330
#define IDS_AFTER_EXIT              63331
#define IDS_AFTER_SLEEP             63332
#define IDS_AFTER_SHUTDOWN          63333
#define IDS_AFTER_COUNT_EXIT        63334
#define IDS_AFTER_COUNT_SLEEP       63335
#define IDS_AFTER_COUNT_SHUTDOWN    63336
#define IDS_SLEEP_REFUSED           63337
#define IDS_SHUTDOWN_REFUSED        63338
#define IDS_REPEAT_NO_DAY           63340
#define IDS_REPEAT_AFTER_RUN        63341
#define IDS_AFTER_LIST_NOT_SAVED    63342
#define IDS_RETRY_LINE_MORE         63343


