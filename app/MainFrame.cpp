#include "MainFrame.h"
#include "SharedSettings.h"
#include "resource.h"
#include "../framework/CmdUI.h"
#include "../framework/FrameworkIds.h"

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
    if (!m_wndDlgBar.Create(m_hWnd, IDD_FOLDER_BAR, CBRS_ALIGN_TOP, AFX_IDW_DIALOGBAR))
        return -1;
    m_wndDlgBar.m_bSameRow = true;
    AddControlBar(&m_wndDlgBar);
    return 0;
}

void CMainFrame::OnDestroy()
{
    const RECT rc = GetWindowRect();
    g_settings.m_nWidthWindow = rc.right - rc.left;
    g_settings.m_nHeightWindow = rc.bottom - rc.top;
    CFrameWnd::OnDestroy();
}

void CMainFrame::ShowCurrentFolder(const char* folder)
{
    if (m_wndDlgBar.m_hWnd)
        m_wndDlgBar.SetDlgItemText(IDC_CURRENT_FOLDER, folder);
}

void CMainFrame::OnIdleUpdate()
{
    if (m_wndDlgBar.m_hWnd && m_wndDlgBar.IsWindowVisible())
        m_wndDlgBar.UpdateButtons();
}

bool CMainFrame::OnCmdMsg(UINT id)
{
    if (id == AFX_IDW_DIALOGBAR) {
        ShowControlBar(&m_wndDlgBar, !m_wndDlgBar.IsWindowVisible());
        return true;
    }
    return CFrameWnd::OnCmdMsg(id);
}

bool CMainFrame::OnUpdateCmdUI(CCmdUI& ui)
{
    if (ui.m_nID == AFX_IDW_DIALOGBAR) {
        ui.Enable(true);
        ui.SetCheck(m_wndDlgBar.IsWindowVisible() ? 1 : 0);
        return true;
    }
    return CFrameWnd::OnUpdateCmdUI(ui);
}
