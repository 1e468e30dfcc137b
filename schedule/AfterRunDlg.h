#pragma once
#include "TimerSchedule.h"
#include "../framework/Dialog.h"

// The "終了後の動作" window: counts down 60 seconds after a run and then
// closes Kestrin, puts the machine to sleep or shuts it down; Cancel stops
// it. A refusal by the system goes to the status bar. At most one is open;
// it deletes itself after its window is gone.
class CAfterRunDlg : public CDialog {
public:
    // Opens the countdown for `action` (none for AfterRunAction::None),
    // closing one that is open already; null when no window was made.
    static CAfterRunDlg* Open(AfterRunAction action);
    static CAfterRunDlg* GetCurrent();

    AfterRunAction GetAction() const { return m_action; }
    long long GetSecondsLeft() const;

    static constexpr UINT_PTR kTimerId = 1;
    static constexpr UINT kTickMs = 1000;

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    void OnOK() override;
    void OnCancel() override;
    void OnDestroy() override;
    void PostNcDestroy() override;

private:
    explicit CAfterRunDlg(AfterRunAction action);
    ~CAfterRunDlg() override = default;

    void Show(long long secondsLeft);
    // The window goes, then the action is carried out.
    void CarryOut();

    AfterRunAction m_action;
    long long m_llDue = 0;          // Clock::Seconds when the action is due
    UINT_PTR m_nTimer = 0;
    bool* m_pbDeleted = nullptr;    // set when the object deletes itself
};
