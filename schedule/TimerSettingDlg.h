#pragma once
#include <string>
#include <vector>
#include "../framework/Dialog.h"

struct TimerSchedule;

// The "タイマーの設定" dialog: when to start (at a time or now), whether and
// when to hang up, which phone-book entry to dial, whether to hang up when
// the downloads are done, whether to run again on chosen days of the week,
// what the machine does after the run, and how often a failure that may
// pass is retried. It starts from the shared settings; OK fills the
// caller's schedule and stores the same choices in the settings.
class CTimerSettingDlg : public CDialog {
public:
    explicit CTimerSettingDlg(TimerSchedule* schedule, HWND parent = nullptr);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange& dx) override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    void OnOK() override;

private:
    void FillEntryList();
    void SelectSavedEntry();
    void EnableStartTime(bool on);
    void EnableEndTime(bool on);
    // The repeat box needs a start time; the days need the repeat box.
    void EnableRepeat();
    unsigned char CheckedDays() const;
    std::string EntryText(int index) const;

    TimerSchedule* m_pSchedule;
    HWND m_hEntryList = nullptr;
    BYTE m_nStartHour;
    BYTE m_nEndHour;
    BYTE m_nStartMinute;
    BYTE m_nEndMinute;
    int m_nHangUp;
    int m_nEndChoice;
    int m_nStartChoice;
    int m_nEntryIndex = 0;
    int m_nRepeat;
    unsigned char m_nDays;
    int m_nAfterRun;
    int m_nRetryCount;
};
