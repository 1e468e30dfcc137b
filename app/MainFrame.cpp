#include "MainFrame.h"
#include "FrameTitle.h"
#include "PaneKeys.h"
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
// Rows of the list that stay in sight at the smallest window size.
const int kLeastRows = 3;

bool BatchRunning()
{
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    return doc && doc->m_nBatchMode != CKestrinDoc::BATCH_IDLE;
}

bool IsClass(HWND wnd, const char* name)
{
    char cls[32] = "";
    ::GetClassNameA(wnd, cls, sizeof cls);
    return ::lstrcmpiA(cls, name) == 0;
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
    UpdateTitle();
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
    m_taskbar.Clear(m_hWnd);
    CFrameWnd::OnDestroy();
}

void CMainFrame::OnClose()
{
    CDocument* doc = GetActiveDocument();
    if (!m_bCloseAgreed && doc) {
        // The list first, while every transfer still runs: Cancel keeps
        // the window, the list and the downloads as they are.
        if (!doc->CanCloseFrame(this))
            return;
        m_bCloseAgreed = true;
        // Saved, or given up by the user's No.
        doc->SetModifiedFlag(false);
    }
    // From here on nothing new starts: no panel, no item, no request.
    if (CKestrinDoc* kdoc = CKestrinDoc::GetDoc())
        if (CDownloadParentDlg* dlg = kdoc->GetProgressDialog())
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
    switch (msg) {
    case WM_THREADMESSAGE:
        reinterpret_cast<CBaseThread*>(lp)->DeliverNext();
        return 0;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lp));
        return 0;
    case WM_QUERYENDSESSION: {
        // The system is shutting down: a changed list is offered for saving.
        CDocument* doc = GetActiveDocument();
        return !doc || doc->SaveModified();
    }
    }
    return CFrameWnd::WindowProc(msg, wp, lp);
}

bool CMainFrame::PreTranslateMessage(MSG& msg)
{
    if (PaneKeys::PreTranslate(m_hWnd, ListWindow(), m_wndDlgBar.m_hWnd, msg))
        return true;
    // Keys typed in a field of the folder bar are the field's own (Ctrl+C
    // copies its text, not the selected rows); only the function keys are
    // the window's there.
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && IsClass(msg.hwnd, "Edit") &&
        !(msg.wParam >= VK_F1 && msg.wParam <= VK_F24))
        return false;
    return CFrameWnd::PreTranslateMessage(msg);
}

HWND CMainFrame::ListWindow() const
{
    return m_pViewActive ? m_pViewActive->m_hWnd : nullptr;
}

void CMainFrame::OnGetMinMaxInfo(MINMAXINFO* info)
{
    if (!m_wndDlgBar.m_hWnd || !m_wndToolBar.m_hWnd || !m_wndStatusBar.m_hWnd)
        return;
    // The frame's caption, menu and borders around the client area.
    const RECT outer = GetWindowRect(), inner = GetClientRect();
    const int frameX = (outer.right - outer.left) - inner.right;
    const int frameY = (outer.bottom - outer.top) - inner.bottom;
    // Wide enough for the wider of the two bars, each whole in a row of
    // its own; high enough for both rows, the status bar, the list's
    // header and a few rows.
    const SIZE tool = m_wndToolBar.CalcFixedLayout(0);
    const SIZE bar = m_wndDlgBar.CalcFixedLayout(0);
    const RECT status = m_wndStatusBar.GetWindowRect();
    int listHeight = 24 * (kLeastRows + 1);
    if (HWND list = ListWindow()) {
        RECT header{};
        ::GetWindowRect(ListView_GetHeader(list), &header);
        const int row = HIWORD(ListView_ApproximateViewRect(list, -1, -1, 1)) -
                        HIWORD(ListView_ApproximateViewRect(list, -1, -1, 0));
        if (row > 0)
            listHeight = (header.bottom - header.top) + row * kLeastRows + ::GetSystemMetrics(SM_CYHSCROLL) + 4;
    }
    const int width = (tool.cx > bar.cx ? tool.cx : bar.cx) + frameX;
    const int height = frameY + tool.cy + bar.cy + (status.bottom - status.top) + listHeight;
    if (info->ptMinTrackSize.x < width)
        info->ptMinTrackSize.x = width;
    if (info->ptMinTrackSize.y < height)
        info->ptMinTrackSize.y = height;
}

void CMainFrame::RecalcLayout()
{
    CFrameWnd::RecalcLayout();
    // Under some window managers moved children keep stale pixels where
    // they were: the whole client area is drawn again, children included.
    if (m_hWnd && ::IsWindowVisible(m_hWnd))
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
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
    UpdateTitle();
}

std::string CMainFrame::ComposeTitle() const
{
    const CKestrinDoc* doc = CKestrinDoc::GetDoc();
    std::string place;
    if (doc && doc->m_nBatchMode != CKestrinDoc::BATCH_IDLE && doc->GetProgressDialog())
        place = doc->GetProgressDialog()->GetPlace().Caption();
    return FrameTitle::Compose(FrameTitle::ListName(doc ? doc->GetPathName() : std::string()),
                               doc && doc->IsModified(), place);
}

void CMainFrame::UpdateTitle()
{
    if (!m_hWnd)
        return;
    const std::string title = ComposeTitle();
    if (title != GetWindowText())
        SetWindowText(title.c_str());
    // The taskbar button's bar follows the batch where the system has one.
    const CKestrinDoc* doc = CKestrinDoc::GetDoc();
    if (doc && doc->m_nBatchMode != CKestrinDoc::BATCH_IDLE && doc->GetProgressDialog()) {
        const BatchPlace place = doc->GetProgressDialog()->GetPlace();
        if (!place.IsEmpty())
            m_taskbar.Show(m_hWnd, place.Ended(), place.Total());
    } else {
        m_taskbar.Clear(m_hWnd);
    }
}

// The View menu's bars: each command shows or hides its bar and carries a
// check mark while the bar is visible. F6 goes between the list and the
// folder bar.
const CCommandEntry<CMainFrame> CMainFrame::s_commands[] = {
    {ID_VIEW_TOOLBAR, &CMainFrame::OnViewToolBar, nullptr, &CMainFrame::IsToolBarShown},
    {ID_VIEW_STATUS_BAR, &CMainFrame::OnViewStatusBar, nullptr, &CMainFrame::IsStatusBarShown},
    {AFX_IDW_DIALOGBAR, &CMainFrame::OnViewDialogBar, nullptr, &CMainFrame::IsDialogBarShown},
    {ID_NEXT_PANE, &CMainFrame::OnNextPane, nullptr, nullptr},
    {ID_PREV_PANE, &CMainFrame::OnPrevPane, nullptr, nullptr},
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

void CMainFrame::OnNextPane()
{
    PaneKeys::NextPane(ListWindow(), m_wndDlgBar.m_hWnd, false);
}

void CMainFrame::OnPrevPane()
{
    PaneKeys::NextPane(ListWindow(), m_wndDlgBar.m_hWnd, true);
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

void CMainFrame::OnBeforeCommand(UINT)
{
    // The user has moved on: the last notice has been seen.
    if (m_strNotice.empty())
        return;
    m_strNotice.clear();
    ShowRestText();
}

void CMainFrame::OnBatchStarted()
{
    m_strNotice.clear();
    ShowRestText();
}

void CMainFrame::OnBatchEnded(int done, int failed, int cancelled, int retries)
{
    CKestrinDoc* doc = CKestrinDoc::GetDoc();
    const bool byHand = m_hWnd && doc && doc->IsBatchByHand();
    // The failed rows are selected first, so that the summary, not the
    // reason of the row that takes the focus, is what the bar shows.
    if (byHand && failed > 0)
        if (CKestrinView* view = doc->GetListView())
            view->SelectFailedRows();
    std::string summary = FormatStringId(IDS_BATCH_ENDED,
        {GroupedNumber(done), GroupedNumber(failed), GroupedNumber(cancelled)});
    if (retries > 0)
        summary += FormatStringId(IDS_BATCH_RETRIES, {GroupedNumber(retries)});
    ShowNotice(summary);
    UpdateTitle();
    // A schedule's run ends quietly: nobody may be there.
    if (!byHand)
        return;
    ::MessageBeep(failed > 0 ? MB_ICONEXCLAMATION : MB_ICONASTERISK);
    ++m_nSounds;
    if (::GetForegroundWindow() != m_hWnd) {
        // Until the user comes back to the window; no click is waited for.
        FLASHWINFO info = {sizeof info, m_hWnd, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
        ::FlashWindowEx(&info);
        ++m_nFlashes;
    }
}

void CMainFrame::ShowNotice(const std::string& text)
{
    m_strNotice = text;
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

const std::string& CMainFrame::GetRestText() const
{
    if (m_bFailureLatest && !m_strFocusFailure.empty())
        return m_strFocusFailure;
    return m_strNotice;
}

void CMainFrame::ShowRestText()
{
    m_wndStatusBar.SetIdleText(GetRestText());
    if (m_wndStatusBar.m_hWnd)
        m_wndStatusBar.ShowIdleText();
}
