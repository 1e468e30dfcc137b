#include "MainFrame.h"
#include "SharedSettings.h"
#include "resource.h"
#include "../engine/BaseThread.h"
#include "../engine/ThreadGroup.h"
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
    const RECT rc = GetWindowRect();
    g_settings.m_nWidthWindow = rc.right - rc.left;
    g_settings.m_nHeightWindow = rc.bottom - rc.top;
    CFrameWnd::OnDestroy();
}

void CMainFrame::OnClose()
{
    if (g_threadGroup.IsEmpty()) {
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
