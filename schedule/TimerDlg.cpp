#include "TimerDlg.h"
#include "Clock.h"
#include "TimerDlgList.h"
#include "TimerSchedule.h"
#include "../app/SharedSettings.h"
#include "../app/resource.h"
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
    if (m_start.IsUnset())
        StartDial();
    else
        SetState(m_strEntryName.empty() ? TimerState::WaitDownload : TimerState::WaitDial);
    // No focus: the window comes up without taking it from the user.
    return FALSE;
}

void CTimerDlg::ShowNow(const SYSTEMTIME& now)
{
    const TimeOfDay shown = {static_cast<unsigned char>(now.wHour), static_cast<unsigned char>(now.wMinute)};
    SetDlgItemText(IDC_TIMER_NOW, shown.Format().c_str());
}

void CTimerDlg::OnTimer(UINT_PTR id)
{
    if (id != m_nTimer || m_nTimer == 0) {
        CDialog::OnTimer(id);
        return;
    }
    Tick();
}

void CTimerDlg::Tick()
{
    const SYSTEMTIME now = Clock::LocalTime();
    ShowNow(now);
    switch (m_state) {
    case TimerState::WaitDial:
        if (m_start.IsDueAt(now.wHour, now.wMinute))
            StartDial();
        break;
    case TimerState::WaitDownload:
        if (m_start.IsDueAt(now.wHour, now.wMinute))
            ProceedToDownload();
        break;
    case TimerState::Downloading:
    case TimerState::WaitHangUp:
        if (m_end.IsDueAt(now.wHour, now.wMinute))
            HangUpAndClose();
        break;
    case TimerState::Dialing:
    case TimerState::Idle:
        // The end time is not watched while a call is being set up.
        break;
    }
}

void CTimerDlg::StartDial()
{
    if (GetDialManager().Dial(m_strEntryName))
        SetState(TimerState::Dialing);
    else
        ProceedToDownload();
}

void CTimerDlg::ProceedToDownload()
{
    if (m_pDoc && m_pDoc->m_nBatchMode != CKestrinDoc::BATCH_IDLE) {
        SetState(TimerState::Downloading);
        return;
    }
    // A batch that starts tells OnDownloadStarted, which follows it.
    if (m_pDoc && m_pDoc->StartBatch(CKestrinDoc::BATCH_DOWNLOAD))
        return;
    if (m_bHangUpWhenDone) {
        HangUpAndClose();
    } else if (m_end.IsUnset()) {
        SetState(TimerState::Idle);
        Close();
    } else {
        SetState(TimerState::WaitHangUp);
    }
}

void CTimerDlg::HangUpAndClose()
{
    GetDialManager().HangUp();
    SetState(TimerState::Idle);
    Close();
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
    if (m_state != TimerState::Downloading)
        SetState(TimerState::Downloading);
}

void CTimerDlg::OnDownloadFinished()
{
    if (m_bHangUpWhenDone) {
        HangUpAndClose();
    } else if (m_state == TimerState::Downloading) {
        if (m_end.IsUnset()) {
            SetState(TimerState::Idle);
            Close();
        } else {
            SetState(TimerState::WaitHangUp);
        }
    }
}

void CTimerDlg::OnConnected()
{
    if (m_state == TimerState::Dialing)
        ProceedToDownload();
}

void CTimerDlg::OnDialFailed()
{
    // The downloads start without the connection.
    if (m_state == TimerState::Dialing)
        ProceedToDownload();
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
