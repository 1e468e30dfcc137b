#include "TimerDlg.h"
#include "AfterRunDlg.h"
#include "Clock.h"
#include "PowerService.h"
#include "RunCalendar.h"
#include "TimerDlgList.h"
#include "../app/MainFrame.h"
#include "../app/SharedSettings.h"
#include "../app/resource.h"
#include "../engine/DownloadParentDlg.h"
#include "../framework/MessageBox.h"
#include "../framework/WinApp.h"
#include "../framework/WindowPlacement.h"

CTimerDlg::CTimerDlg(CKestrinDoc* doc)
    : CDialog(IDD_TIMER), m_bHangUpWhenDone(0), m_pDoc(doc)
{
    if (m_pDoc)
        m_pDoc->AddTarget(this);
    GetDialManager().AddTarget(this);
}

bool CTimerDlg::Create(const TimerSchedule& schedule, HWND owner)
{
    m_bHangUpWhenDone = schedule.hangUpWhenDone != 0;
    m_strEntryName = schedule.entryName;
    m_start = schedule.start;
    m_end = schedule.end;
    m_bRepeat = schedule.Repeats();
    m_nDays = schedule.days & TimerSchedule::kEveryDay;
    m_afterRun = schedule.afterRun;
    return CDialog::Create(owner ? owner : AfxGetMainWndHandle());
}

void CTimerDlg::Unregister()
{
    if (m_pDoc)
        m_pDoc->RemoveTarget(this);
    GetDialManager().RemoveTarget(this);
}

BOOL CTimerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    // Beside the main window, leaving its menu and bars in sight.
    WindowPlacement::PlaceBeside(m_hWnd, ::GetWindow(m_hWnd, GW_OWNER));
    m_nTimer = ::SetTimer(m_hWnd, kTimerId, kTickMs, nullptr);
    ::CheckDlgButton(m_hWnd, IDC_HANG_UP_WHEN_DONE, m_bHangUpWhenDone ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemText(IDC_TIMER_START, m_start.Format().c_str());
    SetDlgItemText(IDC_TIMER_END, m_end.Format().c_str());
    ShowNow(Clock::LocalTime());
    SetDlgItemText(IDC_TIMER_ENTRY, m_strEntryName.c_str());
    m_last = RunSummary::Load();
    ShowLast();
    if (m_bRepeat) {
        m_llNextRun = RunCalendar::FirstRun(Clock::NowSeconds(), m_start, m_nDays);
        PowerService::Get().SetWakeTime(m_llNextRun);
    }
    ShowNext();
    if (m_start.IsUnset()) {
        BeginRun();
        StartDial();
    } else {
        SetState(m_strEntryName.empty() ? TimerState::WaitDownload : TimerState::WaitDial);
    }
    // No focus: the window comes up without taking it from the user.
    return FALSE;
}

void CTimerDlg::ShowNow(const SYSTEMTIME& now)
{
    const TimeOfDay shown = {static_cast<unsigned char>(now.wHour), static_cast<unsigned char>(now.wMinute)};
    SetDlgItemText(IDC_TIMER_NOW, shown.Format().c_str());
}

void CTimerDlg::ShowNext()
{
    std::string text;
    if (!m_bRepeat)
        text = AfxLoadString(IDS_NO_REPEAT);
    else if (m_llNextRun != 0)
        text = RunCalendar::Format(m_llNextRun);
    SetDlgItemText(IDC_TIMER_NEXT, text.c_str());
}

void CTimerDlg::ShowLast()
{
    const std::string text = m_last.IsEmpty() ? AfxLoadString(IDS_RUN_NONE) : m_last.Format();
    SetDlgItemText(IDC_TIMER_LAST, text.c_str());
}

void CTimerDlg::OnTimer(UINT_PTR id)
{
    if (id != m_nTimer || m_nTimer == 0) {
        CDialog::OnTimer(id);
        return;
    }
    Tick();
}

bool CTimerDlg::StartDue(const SYSTEMTIME& now)
{
    if (!m_bRepeat)
        return m_start.IsDueAt(now.wHour, now.wMinute);
    const long long t = Clock::Seconds(now);
    if (RunCalendar::IsMissed(m_llNextRun, t)) {
        // The machine was off or asleep: that day's run is not caught up.
        m_llNextRun = RunCalendar::NextRunAfter(t, m_start, m_nDays);
        PowerService::Get().SetWakeTime(m_llNextRun);
        ShowNext();
    }
    return RunCalendar::IsDue(m_llNextRun, t);
}

void CTimerDlg::Tick()
{
    const SYSTEMTIME now = Clock::LocalTime();
    ShowNow(now);
    switch (m_state) {
    case TimerState::WaitDial:
        if (StartDue(now)) {
            BeginRun();
            StartDial();
        }
        break;
    case TimerState::WaitDownload:
        if (StartDue(now)) {
            BeginRun();
            ProceedToDownload();
        }
        break;
    case TimerState::WaitRepeat:
        if (StartDue(now)) {
            BeginRun();
            if (m_strEntryName.empty())
                ProceedToDownload();
            else
                StartDial();
        }
        break;
    case TimerState::Downloading:
    case TimerState::WaitHangUp:
        if (!m_bEndReached && m_end.IsDueAt(now.wHour, now.wMinute))
            ReachEnd();
        break;
    case TimerState::Dialing:
    case TimerState::Idle:
        // The end time is not watched while a call is being set up.
        break;
    }
}

void CTimerDlg::BeginRun()
{
    m_bRunActive = true;
    m_bBatchStarted = false;
    m_bEndReached = false;
    m_run = RunSummary();
    m_run.started = Clock::NowSeconds();
    PowerService& power = PowerService::Get();
    // A machine that falls asleep for being idle would cut the run short.
    power.KeepAwake(true);
    if (m_bRepeat)
        power.CancelWake();
}

void CTimerDlg::StartDial()
{
    if (GetDialManager().Dial(m_strEntryName)) {
        SetState(TimerState::Dialing);
        return;
    }
    if (!m_strEntryName.empty())
        m_run.connection = GetDialManager().IsAnyConnectionActive() ? RunSummary::ALREADY_UP
                                                                    : RunSummary::DIAL_FAILED;
    ProceedToDownload();
}

void CTimerDlg::ProceedToDownload()
{
    if (m_pDoc && m_pDoc->m_nBatchMode != CKestrinDoc::BATCH_IDLE) {
        m_bBatchStarted = true;
        SetState(TimerState::Downloading);
        return;
    }
    // No retry of the run is to begin after its disconnect time.
    const long long deadline = m_end.IsUnset() ? 0 : RunCalendar::Deadline(Clock::NowSeconds(), m_end);
    // A batch that starts tells OnDownloadStarted, which follows it.
    if (m_pDoc && m_pDoc->StartBatch(CKestrinDoc::BATCH_DOWNLOAD, deadline))
        return;
    if (m_bHangUpWhenDone)
        HangUpAndFinish();
    else if (m_end.IsUnset())
        FinishRun();
    else
        SetState(TimerState::WaitHangUp);
}

void CTimerDlg::ReachEnd()
{
    CDownloadParentDlg* progress = m_pDoc ? m_pDoc->GetProgressDialog() : nullptr;
    if (m_state != TimerState::Downloading || !progress || m_pDoc->m_nBatchMode == CKestrinDoc::BATCH_IDLE) {
        HangUpAndFinish();
        return;
    }
    // The end time wins: the line goes down and the transfers stop, their
    // partial files kept for the next run. The run is over when the batch
    // has ended, which may be at once.
    m_bEndReached = true;
    GetDialManager().HangUp();
    progress->StopAtDeadline(AfxLoadString(IDS_END_TIME_REACHED));
}

void CTimerDlg::HangUpAndFinish()
{
    GetDialManager().HangUp();
    FinishRun();
}

void CTimerDlg::FinishRun()
{
    PowerService& power = PowerService::Get();
    const bool ran = m_bRunActive;
    if (ran) {
        m_bRunActive = false;
        power.KeepAwake(false);
        CDownloadParentDlg* progress = m_pDoc ? m_pDoc->GetProgressDialog() : nullptr;
        if (m_bBatchStarted && progress) {
            m_run.done = progress->GetDoneCount();
            m_run.failed = progress->GetFailedCount();
            m_run.cancelled = progress->GetCancelledCount();
            m_run.retries = progress->GetRetryCount();
        }
        m_last = m_run;
        m_last.Save();
        ShowLast();
        if (auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd()))
            frame->ShowNotice(m_last.Format());
    }
    m_bEndReached = false;
    if (m_bRepeat) {
        const long long now = Clock::NowSeconds();
        m_llNextRun = RunCalendar::NextRunAfter(now > m_run.started ? now : m_run.started, m_start, m_nDays);
        power.SetWakeTime(m_llNextRun);
        ShowNext();
        SetState(TimerState::WaitRepeat);
    } else {
        SetState(TimerState::Idle);
        Close();
    }
    if (ran)
        CAfterRunDlg::Open(m_afterRun);
}

void CTimerDlg::Close()
{
    PostMessage(WM_CLOSE);
}

void CTimerDlg::SetState(TimerState state)
{
    m_state = state;
    const std::string* label = nullptr;
    switch (state) {
    case TimerState::WaitDial: label = &g_settings.m_strTimerWaitDial; break;
    case TimerState::Downloading: label = &g_settings.m_strTimerDownloading; break;
    case TimerState::WaitHangUp: label = &g_settings.m_strTimerWaitHangUp; break;
    case TimerState::Dialing: label = &g_settings.m_strTimerDialing; break;
    case TimerState::WaitDownload: label = &g_settings.m_strTimerWaitDownload; break;
    case TimerState::WaitRepeat: label = &g_settings.m_strTimerWaitRepeat; break;
    case TimerState::Idle: break;
    }
    SetDlgItemText(IDC_TIMER_STATE, label ? label->c_str() : "");
}

void CTimerDlg::OnDocumentDestroyed()
{
    m_pDoc = nullptr;
    DestroyWindow();
}

void CTimerDlg::OnDownloadStarted()
{
    // Between the runs of a repeating schedule, a batch started by hand is
    // the user's own.
    if (m_state == TimerState::WaitRepeat && !m_bRunActive)
        return;
    if (!m_bRunActive)
        BeginRun();
    m_bBatchStarted = true;
    if (m_state != TimerState::Downloading)
        SetState(TimerState::Downloading);
}

void CTimerDlg::OnDownloadFinished()
{
    if (m_state == TimerState::Idle || (m_state == TimerState::WaitRepeat && !m_bRunActive))
        return;
    if (m_bEndReached) {
        FinishRun();    // hung up already
    } else if (m_bHangUpWhenDone) {
        HangUpAndFinish();
    } else if (m_state == TimerState::Downloading) {
        if (m_end.IsUnset())
            FinishRun();
        else
            SetState(TimerState::WaitHangUp);
    }
}

void CTimerDlg::OnConnected()
{
    if (m_state == TimerState::Dialing) {
        m_run.connection = RunSummary::CONNECTED;
        ProceedToDownload();
    }
}

void CTimerDlg::OnDialFailed()
{
    // The downloads start without the connection.
    if (m_state == TimerState::Dialing) {
        m_run.connection = RunSummary::DIAL_FAILED;
        ProceedToDownload();
    }
}

bool CTimerDlg::OnCommand(UINT id, UINT code, HWND control)
{
    if (id == IDC_HANG_UP_WHEN_DONE && code == BN_CLICKED) {
        m_bHangUpWhenDone = ::IsDlgButtonChecked(m_hWnd, IDC_HANG_UP_WHEN_DONE) == BST_CHECKED;
        return true;
    }
    return CDialog::OnCommand(id, code, control);
}

void CTimerDlg::OnOK()
{
    // Enter does not close the window; Cancel and the close box do.
}

void CTimerDlg::OnCancel()
{
    DestroyWindow();
}

void CTimerDlg::OnDestroy()
{
    if (m_nTimer) {
        ::KillTimer(m_hWnd, m_nTimer);
        m_nTimer = 0;
    }
    // Cancel ends the repetition: no wake for a run that will not come.
    if (m_bRunActive)
        PowerService::Get().KeepAwake(false);
    if (m_bRepeat)
        PowerService::Get().CancelWake();
    if (m_pDoc)
        m_pDoc->RemoveTarget(this);
    GetDialManager().RemoveTarget(this);
    TimerDlgList::Remove(this);
    CDialog::OnDestroy();
}

void CTimerDlg::PostNcDestroy()
{
    if (m_pbDeleted)
        *m_pbDeleted = true;
    delete this;
}
