#include "AfterRunDlg.h"
#include "AfterRun.h"
#include "Clock.h"
#include "PowerService.h"
#include "RunSummary.h"
#include "../app/MainFrame.h"
#include "../app/resource.h"
#include "../engine/FailureText.h"
#include "../framework/WinApp.h"
#include "../model/KestrinDoc.h"

namespace {
CAfterRunDlg* g_current = nullptr;
}

CAfterRunDlg::CAfterRunDlg(AfterRunAction action)
    : CDialog(IDD_AFTER_RUN), m_action(action)
{
}

CAfterRunDlg* CAfterRunDlg::GetCurrent()
{
    return g_current;
}

CAfterRunDlg* CAfterRunDlg::Open(AfterRunAction action)
{
    if (action == AfterRunAction::None)
        return nullptr;
    if (g_current)
        g_current->DestroyWindow();
    auto* dlg = new CAfterRunDlg(action);
    bool deleted = false;
    dlg->m_pbDeleted = &deleted;
    const bool made = dlg->Create(AfxGetMainWndHandle());
    if (deleted)
        return nullptr;
    dlg->m_pbDeleted = nullptr;
    if (!made) {
        delete dlg;
        return nullptr;
    }
    dlg->ShowWindow(SW_SHOWNOACTIVATE);
    return dlg;
}

BOOL CAfterRunDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    g_current = this;
    m_llDue = Clock::NowSeconds() + AfterRun::kCountdownSeconds;
    m_nTimer = ::SetTimer(m_hWnd, kTimerId, kTickMs, nullptr);
    Show(AfterRun::kCountdownSeconds);
    return FALSE;
}

long long CAfterRunDlg::GetSecondsLeft() const
{
    const long long left = m_llDue - Clock::NowSeconds();
    return left < 0 ? 0 : left;
}

void CAfterRunDlg::Show(long long secondsLeft)
{
    SetDlgItemText(IDC_AFTER_RUN_TEXT, AfterRun::CountdownText(m_action, secondsLeft).c_str());
}

void CAfterRunDlg::OnTimer(UINT_PTR id)
{
    if (id != m_nTimer || m_nTimer == 0) {
        CDialog::OnTimer(id);
        return;
    }
    const long long left = GetSecondsLeft();
    if (left > 0)
        Show(left);
    else
        CarryOut();
}

void CAfterRunDlg::CarryOut()
{
    const AfterRunAction action = m_action;
    DestroyWindow();    // deletes the object
    HWND main = AfxGetMainWndHandle();
    // Ending the program or the machine asks nothing and loses no list.
    if (action == AfterRunAction::Exit || action == AfterRunAction::Shutdown) {
        CKestrinDoc* doc = CKestrinDoc::GetDoc();
        if (doc && !doc->SaveBeforeUnattendedEnd()) {
            if (auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd()))
                frame->ShowNotice(FormatStringId(IDS_AFTER_LIST_NOT_SAVED,
                                                 {AfterRun::Name(action)}));
            return;
        }
    }
    if (action == AfterRunAction::Exit) {
        // The way the user closes it: settings are saved, workers stopped.
        if (main)
            ::PostMessageA(main, WM_CLOSE, 0, 0);
        return;
    }
    std::string note = AfterRun::Perform(action, PowerService::Get());
    if (note.empty())
        return;
    // The refusal goes first; how the run went stays beside it.
    const std::string summary = RunSummary::Load().Format();
    if (!summary.empty())
        note += "  " + summary;
    if (auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd()))
        frame->ShowNotice(note);
}

void CAfterRunDlg::OnOK()
{
    // Enter does nothing; only Cancel and the close box stop the countdown.
}

void CAfterRunDlg::OnCancel()
{
    DestroyWindow();
}

void CAfterRunDlg::OnDestroy()
{
    if (m_nTimer) {
        ::KillTimer(m_hWnd, m_nTimer);
        m_nTimer = 0;
    }
    if (g_current == this)
        g_current = nullptr;
    CDialog::OnDestroy();
}

void CAfterRunDlg::PostNcDestroy()
{
    if (m_pbDeleted)
        *m_pbDeleted = true;
    delete this;
}
