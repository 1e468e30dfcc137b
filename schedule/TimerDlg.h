#pragma once
#include <string>
#include "DialManager.h"
#include "TimeOfDay.h"
#include "TimerState.h"
#include "../framework/Dialog.h"
#include "../model/KestrinDoc.h"

struct TimerSchedule;

// The "タイマー" window that carries out one schedule for one document: it
// waits for the start time, has the dial-up manager dial (or not), starts
// the batch download, follows it to its end, hangs up at the end time or
// when the downloads are done, and closes itself. It deletes itself after
// its window is gone.
class CTimerDlg : public CDialog, public CKestrinDoc::TargetI, public DialManager::TargetI_ {
public:
    // Registers with the document and the dial-up manager until the window
    // is destroyed.
    explicit CTimerDlg(CKestrinDoc* doc);

    // Takes the schedule and makes the window (hidden; owned by `owner`,
    // or by the main window when none is given).
    bool Create(const TimerSchedule& schedule, HWND owner);
    // Undoes the registrations of a window that could not be made.
    void Unregister();

    CKestrinDoc* GetDocument() const { return m_pDoc; }
    TimerState GetState() const { return m_state; }
    bool GetHangUpWhenDone() const { return m_bHangUpWhenDone != 0; }

    // CKestrinDoc::TargetI
    void OnDocumentDestroyed() override;
    void OnDownloadStarted() override;
    void OnDownloadFinished() override;
    // DialManager::TargetI_
    void OnConnected() override;
    void OnDialFailed() override;

    static constexpr UINT_PTR kTimerId = 123;
    static constexpr UINT kTickMs = 10000;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code, HWND control) override;
    void OnTimer(UINT_PTR id) override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;
    void PostNcDestroy() override;

private:
    ~CTimerDlg() override = default;
    friend class TimerDlgList;

    void Tick();
    void ShowNow(const SYSTEMTIME& now);
    void StartDial();
    void ProceedToDownload();
    void HangUpAndClose();
    void SetState(TimerState state);
    void Close();

    TimeOfDay m_start = TimeOfDay::Unset;
    TimeOfDay m_end = TimeOfDay::Unset;
    std::string m_strEntryName;
    unsigned char m_bHangUpWhenDone : 1;
    TimerState m_state = TimerState::Idle;
    UINT_PTR m_nTimer = 0;
    CKestrinDoc* m_pDoc;
    bool* m_pbDeleted = nullptr;    // set when the object deletes itself
};
