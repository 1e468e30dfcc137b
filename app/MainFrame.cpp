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

CControlBar* CMainFrame::BarOf(UINT id)
{
    switch (id) {
    case ID_VIEW_TOOLBAR: return &m_wndToolBar;
    case ID_VIEW_STATUS_BAR: return &m_wndStatusBar;
    case AFX_IDW_DIALOGBAR: return &m_wndDlgBar;
    }
    return nullptr;
}

bool CMainFrame::OnCmdMsg(UINT id)
{
    if (CControlBar* bar = BarOf(id)) {
        ShowControlBar(bar, !bar->IsWindowVisible());
        return true;
    }
    return CFrameWnd::OnCmdMsg(id);
}

bool CMainFrame::OnUpdateCmdUI(CCmdUI& ui)
{
    if (CControlBar* bar = BarOf(ui.m_nID)) {
        ui.Enable(true);
        ui.SetCheck(bar->IsWindowVisible() ? 1 : 0);
        return true;
    }
    return CFrameWnd::OnUpdateCmdUI(ui);
}
