#pragma once
#include <string>
#include <vector>
#include "../framework/Dialog.h"

struct TimerSchedule;

// The "タイマーの設定" dialog: when to start (at a time or now), whether and
// when to hang up, which phone-book entry to dial and whether to hang up
// when the downloads are done. It starts from the shared settings; OK fills
// the caller's schedule and stores the same choices in the settings.
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
};
