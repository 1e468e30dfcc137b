#pragma once
#include <string>

// The user-interface strings that several windows share and every setting
// kept in the registry. Loaded once at start-up, written back at exit.
struct SharedSettings {
    std::string m_strColURL;
    std::string m_strColState;
    std::string m_strColFilePath;
    std::string m_strStateDownloading;
    std::string m_strStateUnread;
    std::string m_strStateDone;
    std::string m_strStateCancelled;
    std::string m_strStateError;
    std::string m_strTimerDownloading;
    std::string m_strTimerWaitDial;
    std::string m_strTimerWaitHangUp;
    std::string m_strTimerWaitDownload;
    std::string m_strTimerDialing;
    std::string m_strShortcutHeader;
    std::string m_strFolderDialogTitle;
    std::string m_strRasEntryName;
    std::string m_strFrameCaption;
    // The reason column: its title, and what it says of a cancelled item.
    std::string m_strColReason;
    std::string m_strReasonCancelled;
    int m_nWidthWindow = 600;
    int m_nHeightWindow = 300;
    int m_nWidthColURL = 250;
    int m_nWidthColState = 50;
    int m_nWidthColFilePath = 250;
    int m_nWidthColReason = 150;
    int m_nTimerHourBegin = 2;
    int m_nTimerHourEnd = 5;
    int m_nTimerMinuteBegin = 0;
    int m_nTimerMinuteEnd = 0;
    unsigned char m_bTimerHangUp : 1;
    unsigned char m_bTimerBegin : 1;
    unsigned char m_bTimerEnd : 1;

    SharedSettings() : m_bTimerHangUp(1), m_bTimerBegin(1), m_bTimerEnd(1) {}
};

extern SharedSettings g_settings;
