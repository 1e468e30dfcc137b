#pragma once
#include <string>
#include "DialManager.h"
#include "RunSummary.h"
#include "TimeOfDay.h"
#include "TimerSchedule.h"
#include "TimerState.h"
#include "../framework/Dialog.h"
#include "../model/KestrinDoc.h"

// The "タイマー" window that carries out one schedule for one document: it
// waits for the start time, has the dial-up manager dial (or not), starts
// the batch download, follows it to its end, hangs up at the end time
// (stopping what still runs) or when the downloads are done, keeps the
// run's summary, and closes itself; a repeating schedule waits for its
// next day instead. What the machine does afterwards is counted down in a
// window of its own. It deletes itself after its window is gone.
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
    bool IsRepeating() const { return m_bRepeat; }
    // The start of the next run of a repeating schedule (Clock::Seconds).
    long long GetNextRun() const { return m_llNextRun; }
    // The last run that is over (this window's, or the one stored before).
    const RunSummary& GetLastRun() const { return m_last; }

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
    void ShowNext();
    void ShowLast();
    // Whether the start is due at `now`; a repeating run that was missed
    // moves on to its next day.
    bool StartDue(const SYSTEMTIME& now);
    void BeginRun();
    void StartDial();
    void ProceedToDownload();
    // The disconnect time: the line goes down and what still runs stops.
    void ReachEnd();
    void HangUpAndFinish();
    // The run is over: its summary is kept and shown, the machine is left
    // as asked, and the window waits for the next run or closes.
    void FinishRun();
    void SetState(TimerState state);
    void Close();

    TimeOfDay m_start = TimeOfDay::Unset;
    TimeOfDay m_end = TimeOfDay::Unset;
    std::string m_strEntryName;
    unsigned char m_bHangUpWhenDone : 1;
    bool m_bRepeat = false;
    unsigned char m_nDays = TimerSchedule::kEveryDay;
    AfterRunAction m_afterRun = AfterRunAction::None;
    TimerState m_state = TimerState::Idle;
    UINT_PTR m_nTimer = 0;
    CKestrinDoc* m_pDoc;
    bool* m_pbDeleted = nullptr;    // set when the object deletes itself

    long long m_llNextRun = 0;      // repeating: the next run's start
    bool m_bRunActive = false;      // a run has begun and is not over
    bool m_bBatchStarted = false;   // ... and its batch download began
    bool m_bEndReached = false;     // the disconnect time stopped its batch
    RunSummary m_run;               // the run going on
    RunSummary m_last;              // the last run over
};
