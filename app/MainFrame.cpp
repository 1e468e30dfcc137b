#include "MainFrame.h"
#include "SharedSettings.h"
#include "resource.h"
#include "../engine/BaseThread.h"
#include "../engine/DownloadParentDlg.h"
#include "../engine/FailureText.h"
#include "../engine/ThreadGroup.h"
#include "../model/KestrinDoc.h"
#include "../view/KestrinView.h"
#include "../framework/CmdUI.h"
#include "../framework/FrameworkIds.h"

namespace {

const UINT kIndicators[] = {
    0,                  // the message pane
    ID_INDICATOR_KANA,
    ID_INDICATOR_CAPS,
    ID_INDICATOR_NUM,
    ID_INDICATOR_SCRL,
};

// While a batch runs, the bars' command states are brought up to date at
// most this often.
const DWORD kBatchBarInterval = 250;
const UINT_PTR kBarTimer = 1;

bool BatchRunning()
{
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    return doc && doc->m_nBatchMode != CKestrinDoc::BATCH_IDLE;
}

} // namespace

void CMainFrame::PreCreateWindow(CREATESTRUCTA& cs)
{
    cs.lpszName = g_settings.m_strFrameCaption.c_str();
    cs.cx = g_settings.m_nWidthWindow;
    cs.cy = g_settings.m_nHeightWindow;
    CFrameWnd::PreCreateWindow(cs);
}

int CMainFrame::OnCreate(CREATESTRUCTA* cs)
{
    if (CFrameWnd::OnCreate(cs) == -1)
        return -1;
    if (!m_wndToolBar.Create(m_hWnd, AFX_IDW_TOOLBAR) || !m_wndToolBar.LoadToolBar(IDR_MAINFRAME))
        return -1;
    if (!m_wndStatusBar.Create(m_hWnd, AFX_IDW_STATUS_BAR) ||
        !m_wndStatusBar.SetIndicators(kIndicators, sizeof kIndicators / sizeof kIndicators[0]))
        return -1;
    if (!m_wndDlgBar.Create(m_hWnd, IDD_FOLDER_BAR, CBRS_ALIGN_TOP, AFX_IDW_DIALOGBAR))
        return -1;
    // The toolbar and the folder bar share the top row, the folder bar to
    // the right of the toolbar.
    m_wndDlgBar.m_bSameRow = true;
    AddControlBar(&m_wndToolBar);
    AddControlBar(&m_wndDlgBar);
    AddControlBar(&m_wndStatusBar);
    m_pMessageBar = &m_wndStatusBar;
    return 0;
}

void CMainFrame::OnDestroy()
{
    // The normal (restored) size, also when the window is minimised or
    // maximised: the next start must not open as a bare title bar.
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    RECT rc = GetWindowRect();
    if (::GetWindowPlacement(m_hWnd, &wp))
        rc = wp.rcNormalPosition;
    g_settings.m_nWidthWindow = rc.right - rc.left;
    g_settings.m_nHeightWindow = rc.bottom - rc.top;
    CFrameWnd::OnDestroy();
}

void CMainFrame::OnClose()
{
    // From here on nothing new starts: no panel, no item, no request.
    if (CKestrinDoc* doc = CKestrinDoc::GetDoc())
        if (CDownloadParentDlg* dlg = doc->GetProgressDialog())
            dlg->BeginClose();
    if (g_threadGroup.IsEmpty()) {
        // The list is emptied and destroyed next: nothing is drawn again.
        ShowWindow(SW_HIDE);
        if (m_pViewActive && m_pViewActive->m_hWnd)
            m_pViewActive->SendMessage(WM_SETREDRAW, FALSE);
        CFrameWnd::OnClose();
        return;
    }
    // Stop the downloads first; the close comes back once their last
    // messages have been handled.
    g_threadGroup.StopAll();
    PostMessage(WM_CLOSE);
}

LRESULT CMainFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_THREADMESSAGE) {
        reinterpret_cast<CBaseThread*>(lp)->DeliverNext();
        return 0;
    }
    return CFrameWnd::WindowProc(msg, wp, lp);
}

void CMainFrame::ShowCurrentFolder(const char* folder)
{
    if (m_wndDlgBar.m_hWnd)
        m_wndDlgBar.SetDlgItemText(IDC_CURRENT_FOLDER, folder);
}

void CMainFrame::OnIdleUpdate()
{
    if (BatchRunning()) {
        // A batch makes the program idle after every report of a transfer;
        // the command states need not follow each one.
        const DWORD since = ::GetTickCount() - m_dwLastBarUpdate;
        if (since < kBatchBarInterval) {
            if (!m_bBarTimer) {
                m_bBarTimer = true;
                ::SetTimer(m_hWnd, kBarTimer, kBatchBarInterval - since, nullptr);
            }
            return;
        }
    }
    UpdateBars();
}

void CMainFrame::OnTimer(UINT_PTR id)
{
    if (id == kBarTimer) {
        UpdateBars();
        return;
    }
    CFrameWnd::OnTimer(id);
}

void CMainFrame::UpdateBars()
{
    if (m_bBarTimer) {
        ::KillTimer(m_hWnd, kBarTimer);
        m_bBarTimer = false;
    }
    m_dwLastBarUpdate = ::GetTickCount();
    if (m_wndToolBar.m_hWnd && m_wndToolBar.IsWindowVisible())
        m_wndToolBar.UpdateButtons();
    if (m_wndDlgBar.m_hWnd && m_wndDlgBar.IsWindowVisible())
        m_wndDlgBar.UpdateButtons();
    if (m_wndStatusBar.m_hWnd && m_wndStatusBar.IsWindowVisible())
        m_wndStatusBar.UpdateIndicators();
}

// The View menu's bars: each command shows or hides its bar and carries a
// check mark while the bar is visible.
const CCommandEntry<CMainFrame> CMainFrame::s_commands[] = {
    {ID_VIEW_TOOLBAR, &CMainFrame::OnViewToolBar, nullptr, &CMainFrame::IsToolBarShown},
    {ID_VIEW_STATUS_BAR, &CMainFrame::OnViewStatusBar, nullptr, &CMainFrame::IsStatusBarShown},
    {AFX_IDW_DIALOGBAR, &CMainFrame::OnViewDialogBar, nullptr, &CMainFrame::IsDialogBarShown},
};

void CMainFrame::OnViewToolBar()
{
    ShowControlBar(&m_wndToolBar, !m_wndToolBar.IsWindowVisible());
}

void CMainFrame::OnViewStatusBar()
{
    ShowControlBar(&m_wndStatusBar, !m_wndStatusBar.IsWindowVisible());
}

void CMainFrame::OnViewDialogBar()
{
    ShowControlBar(&m_wndDlgBar, !m_wndDlgBar.IsWindowVisible());
}

bool CMainFrame::IsToolBarShown() const
{
    return m_wndToolBar.IsWindowVisible() != FALSE;
}

bool CMainFrame::IsStatusBarShown() const
{
    return m_wndStatusBar.IsWindowVisible() != FALSE;
}

bool CMainFrame::IsDialogBarShown() const
{
    return m_wndDlgBar.IsWindowVisible() != FALSE;
}

bool CMainFrame::OnCmdMsg(UINT id)
{
    return RunCommand(*this, s_commands, id) || CFrameWnd::OnCmdMsg(id);
}

bool CMainFrame::OnUpdateCmdUI(CCmdUI& ui)
{
    return UpdateCommand(*this, s_commands, ui) || CFrameWnd::OnUpdateCmdUI(ui);
}

void CMainFrame::OnBatchStarted()
{
    m_strBatchSummary.clear();
    ShowRestText();
}

void CMainFrame::OnBatchEnded(int done, int failed, int cancelled, int retries)
{
    m_strBatchSummary = FormatStringId(IDS_BATCH_ENDED,
        {GroupedNumber(done), GroupedNumber(failed), GroupedNumber(cancelled)});
    if (retries > 0)
        m_strBatchSummary += FormatStringId(IDS_BATCH_RETRIES, {GroupedNumber(retries)});
    m_bFailureLatest = false;
    ShowRestText();
    if (m_hWnd && ::GetForegroundWindow() != m_hWnd) {
        // Until the user comes back to the window; no click is waited for.
        FLASHWINFO info = {sizeof info, m_hWnd, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
        ::FlashWindowEx(&info);
        ++m_nFlashes;
    }
}

void CMainFrame::ShowRunNote(const std::string& text)
{
    m_strBatchSummary = text;
    m_bFailureLatest = false;
    ShowRestText();
}

void CMainFrame::ShowFocusedFailure(const std::string& text)
{
    if (text == m_strFocusFailure && m_bFailureLatest == !text.empty())
        return;
    m_strFocusFailure = text;
    m_bFailureLatest = !text.empty();
    ShowRestText();
}

void CMainFrame::ShowIntakeReport(const std::string& text)
{
    m_strIntakeReport = text;
    m_bIntakeLatest = true;
    m_wndStatusBar.SetIdleText(text);
    if (m_wndStatusBar.m_hWnd)
        m_wndStatusBar.ShowIdleText();
}

const std::string& CMainFrame::GetRestText() const
{
    if (m_bIntakeLatest)
        return m_strIntakeReport;
    if (m_bFailureLatest && !m_strFocusFailure.empty())
        return m_strFocusFailure;
    return m_strBatchSummary;
}

void CMainFrame::ShowRestText()
{
    // Every other message is newer than the last paste's report.
    m_bIntakeLatest = false;
    m_wndStatusBar.SetIdleText(GetRestText());
    if (m_wndStatusBar.m_hWnd)
        m_wndStatusBar.ShowIdleText();
}

