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
    std::string m_strStateRetryWait;
    std::string m_strTimerDownloading;
    std::string m_strTimerWaitDial;
    std::string m_strTimerWaitHangUp;
    std::string m_strTimerWaitDownload;
    std::string m_strTimerDialing;
    std::string m_strTimerWaitRepeat;
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
    // Unattended runs: the days of the week a schedule repeats on (bit 0
    // Sunday .. bit 6 Saturday), what the machine does after a run
    // (AfterRunAction), and the retries of a failure that may pass (0..10).
    int m_nTimerRepeatDays = 0x7F;
    int m_nTimerAfterRun = 0;
    int m_nRetryCount = 3;
    unsigned char m_bTimerHangUp : 1;
    unsigned char m_bTimerBegin : 1;
    unsigned char m_bTimerEnd : 1;
    unsigned char m_bTimerRepeat : 1;

    SharedSettings() : m_bTimerHangUp(1), m_bTimerBegin(1), m_bTimerEnd(1), m_bTimerRepeat(0) {}
};

extern SharedSettings g_settings;
