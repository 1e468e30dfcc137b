#pragma once

// Command, window and string ids that the framework itself knows. The
// program's resource script gives the texts.

// Commands
#define ID_FILE_NEW             57600
#define ID_FILE_OPEN            57601
#define ID_FILE_SAVE            57603
#define ID_FILE_SAVE_AS         57604
// The recent lists of the File menu: up to four, the first id the newest.
#define ID_FILE_MRU_FILE1       57616
#define ID_FILE_MRU_FILE2       57617
#define ID_FILE_MRU_FILE3       57618
#define ID_FILE_MRU_FILE4       57619
#define ID_EDIT_CLEAR           57632
#define ID_EDIT_COPY            57634
#define ID_EDIT_CUT             57635
#define ID_EDIT_PASTE           57637
#define ID_EDIT_UNDO            57643
#define ID_APP_ABOUT            57664
#define ID_APP_EXIT             57665
#define ID_HELP_INDEX           57667
#define ID_CONTEXT_HELP         57669
#define ID_HELP                 57670
#define ID_DEFAULT_HELP         57671
#define ID_NEXT_PANE            57680
#define ID_PREV_PANE            57681

// Control bars and their View-menu commands
#define AFX_IDW_TOOLBAR         59392
#define AFX_IDW_STATUS_BAR      59393
#define AFX_IDW_DIALOGBAR       59396
#define ID_VIEW_TOOLBAR         59392
#define ID_VIEW_STATUS_BAR      59393
#define AFX_IDW_PANE_FIRST      59648

// Status-bar indicators
#define ID_INDICATOR_CAPS       59137
#define ID_INDICATOR_NUM        59138
#define ID_INDICATOR_SCRL       59139
#define ID_INDICATOR_KANA       59142

// Strings
#define AFX_IDS_APP_TITLE           57344
#define AFX_IDS_IDLEMESSAGE         57345
#define AFX_IDP_FAILED_TO_OPEN_DOC  61697
#define AFX_IDP_FAILED_TO_SAVE_DOC  61698
#define AFX_IDP_ASK_TO_SAVE         61699
#define AFX_IDP_FILE_TOO_LARGE      61700
#define AFX_IDP_PARSE_INT           61712
#define AFX_IDP_PARSE_BYTE          61713
#define AFX_IDP_PARSE_INT_RANGE     61714
#define AFX_IDS_ALLFILTER           61720
