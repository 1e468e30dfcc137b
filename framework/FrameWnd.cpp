#include "FrameWnd.h"
#include <shellapi.h>
#include "CmdUI.h"
#include <commctrl.h>
#include "ControlBar.h"
#include "MessageBox.h"
#include "StatusBar.h"
#include "Document.h"
#include "FrameworkIds.h"
#include "View.h"
#include "WinApp.h"
#include "Widen.h"

namespace {
const char kFrameClass[] = "KestrinFrame";
}

bool CFrameWnd::LoadFrame(UINT resourceId, CDocument* doc, CSingleDocTemplate::NewView newView)
{
    HINSTANCE inst = ::GetModuleHandleA(nullptr);
    HICON icon = ::LoadIconA(inst, MAKEINTRESOURCEA(resourceId));
    RegisterClass(kFrameClass, CS_DBLCLKS, icon, nullptr,
                  reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));

    CREATESTRUCTA cs{};
    cs.style = WS_OVERLAPPEDWINDOW;
    cs.x = cs.y = cs.cx = cs.cy = CW_USEDEFAULT;
    cs.hMenu = ::LoadMenuA(inst, MAKEINTRESOURCEA(resourceId));
    cs.lpszClass = kFrameClass;
    PreCreateWindow(cs);

    m_hAccelTable = ::LoadAcceleratorsA(inst, MAKEINTRESOURCEA(resourceId));
    m_pCreatingDoc = doc;
    m_newView = newView;
    // The main window must be known before its view is created.
    AfxGetApp()->m_pMainWnd = this;
    const bool ok = CreateEx(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style,
                             cs.x, cs.y, cs.cx, cs.cy, nullptr, cs.hMenu);
    m_pCreatingDoc = nullptr;
    if (!ok) {
        // The object stays the caller's; a window that existed took its
        // menu with it.
        AfxGetApp()->m_pMainWnd = nullptr;
        m_pViewActive = nullptr;
        if (cs.hMenu && ::IsMenu(cs.hMenu))
            ::DestroyMenu(cs.hMenu);
    }
    return ok;
}

void CFrameWnd::PreCreateWindow(CREATESTRUCTA&)
{
}

int CFrameWnd::OnCreate(CREATESTRUCTA*)
{
    CView* view = m_newView ? m_newView() : nullptr;
    if (!view)
        return 0;
    view->m_pDocument = m_pCreatingDoc;
    if (m_pCreatingDoc)
        m_pCreatingDoc->AddView(view);
    if (!view->Create(m_hWnd, AFX_IDW_PANE_FIRST)) {
        // A view whose creation failed is still ours to remove.
        if (m_pCreatingDoc)
            m_pCreatingDoc->RemoveView(view);
        delete view;
        return -1;
    }
    m_pViewActive = view;
    return 0;
}

void CFrameWnd::InitialUpdateFrame(int nCmdShow)
{
    if (m_pViewActive)
        m_pViewActive->OnInitialUpdate();
    RecalcLayout();
    ShowWindow(nCmdShow);
    ::UpdateWindow(m_hWnd);
    if (m_pViewActive)
        ::SetFocus(m_pViewActive->m_hWnd);
}

CDocument* CFrameWnd::GetActiveDocument() const
{
    return m_pViewActive ? m_pViewActive->GetDocument() : nullptr;
}

bool CFrameWnd::RouteCmdMsg(UINT id)
{
    OnBeforeCommand(id);
    CDocument* doc = GetActiveDocument();
    if (m_pViewActive && m_pViewActive->OnCmdMsg(id))
        return true;
    if (doc && doc->OnCmdMsg(id))
        return true;
    if (OnCmdMsg(id))
        return true;
    return AfxGetApp()->OnCmdMsg(id);
}

void CFrameWnd::RouteUpdateCmdUI(CCmdUI& ui)
{
    CDocument* doc = GetActiveDocument();
    if (m_pViewActive && m_pViewActive->OnUpdateCmdUI(ui))
        return;
    if (doc && doc->OnUpdateCmdUI(ui))
        return;
    if (OnUpdateCmdUI(ui))
        return;
    AfxGetApp()->OnUpdateCmdUI(ui);
}

bool CFrameWnd::IsCommandEnabled(UINT id)
{
    CCmdUI ui(id);
    RouteUpdateCmdUI(ui);
    return ui.m_bHandled && ui.m_bEnabled;
}

bool CFrameWnd::IsCommandHandled(UINT id)
{
    CCmdUI ui(id);
    RouteUpdateCmdUI(ui);
    return ui.m_bHandled;
}

bool CFrameWnd::OnCommand(UINT id, UINT code, HWND control)
{
    if (control && code != BN_CLICKED)
        return false;
    // Whichever way it came (menu, key, button), a disabled command does
    // not run.
    CCmdUI ui(id);
    RouteUpdateCmdUI(ui);
    if (!ui.m_bHandled)
        OnUnhandledCommand(id);
    else if (ui.m_bEnabled)
        RouteCmdMsg(id);
    return true;
}

void CFrameWnd::OnUnhandledCommand(UINT id)
{
#ifndef NDEBUG
    // A menu item, button or key whose command no target takes is a
    // mistake of the program's own: say so where a developer looks.
    char text[80];
    ::wsprintfA(text, "Kestrin: command %u has no handler\n", id);
    ::OutputDebugStringA(text);
#else
    (void)id;
#endif
}

void CFrameWnd::OnInitMenuPopup(HMENU menu)
{
    AfxGetApp()->UpdateRecentFileMenu(menu);
    const int n = ::GetMenuItemCount(menu);
    for (int i = 0; i < n; ++i) {
        const UINT id = ::GetMenuItemID(menu, i);
        if (id == 0 || id == static_cast<UINT>(-1))
            continue;   // separator or submenu
        CCmdUI ui(id);
        RouteUpdateCmdUI(ui);
        const bool enabled = ui.m_bHandled && ui.m_bEnabled;
        ::EnableMenuItem(menu, i, MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
        ::CheckMenuItem(menu, i, MF_BYPOSITION | (ui.m_nCheck ? MF_CHECKED : MF_UNCHECKED));
    }
}

void CFrameWnd::AddControlBar(CControlBar* bar)
{
    m_bars.push_back(bar);
}

void CFrameWnd::ShowControlBar(CControlBar* bar, bool show)
{
    bar->ShowWindow(show ? SW_SHOWNA : SW_HIDE);
    RecalcLayout();
}

void CFrameWnd::RecalcLayout()
{
    if (!m_hWnd)
        return;
    RECT client = GetClientRect();
    // Bottom bars stack upwards from the bottom edge.
    for (auto it = m_bars.rbegin(); it != m_bars.rend(); ++it) {
        CControlBar* bar = *it;
        if (!bar->m_hWnd || !bar->IsWindowVisible() || !(bar->m_dwStyle & CBRS_ALIGN_BOTTOM))
            continue;
        const SIZE size = bar->CalcFixedLayout(client.right - client.left);
        client.bottom -= size.cy;
        bar->SetWindowPos(nullptr, client.left, client.bottom, client.right - client.left,
                          size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // Top bars fill rows: a bar that asks to share the row of the bar
    // before it goes to its right, or starts a row of its own when it
    // would not fit there whole.
    int x = client.left, rowHeight = 0;
    for (CControlBar* bar : m_bars) {
        if (!bar->m_hWnd || !bar->IsWindowVisible() || !(bar->m_dwStyle & CBRS_ALIGN_TOP))
            continue;
        const SIZE size = bar->CalcFixedLayout(client.right - client.left);
        const bool fits = bar->m_bStretch || x + size.cx <= client.right;
        if (!bar->m_bSameRow || x == client.left || !fits) {
            client.top += rowHeight;
            x = client.left;
            rowHeight = 0;
        }
        const int width = bar->m_bStretch ? client.right - x : size.cx;
        bar->SetWindowPos(nullptr, x, client.top, width, size.cy,
                          SWP_NOZORDER | SWP_NOACTIVATE);
        x += width;
        if (size.cy > rowHeight)
            rowHeight = size.cy;
    }
    client.top += rowHeight;
    if (m_pViewActive && m_pViewActive->m_hWnd) {
        m_pViewActive->SetWindowPos(nullptr, client.left, client.top,
                                    client.right - client.left,
                                    client.bottom > client.top ? client.bottom - client.top : 0,
                                    SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CFrameWnd::OnSize(UINT type, int, int)
{
    if (type != SIZE_MINIMIZED)
        RecalcLayout();
}

void CFrameWnd::OnClose()
{
    CDocument* doc = GetActiveDocument();
    if (doc) {
        if (!doc->CanCloseFrame(this))
            return;
        doc->OnCloseDocument();   // destroys this window too
    } else {
        DestroyWindow();
    }
}

void CFrameWnd::OnDropFiles(HDROP drop)
{
    char path[MAX_PATH] = "";
    const UINT n = ::DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    const bool got = n > 0 && ::DragQueryFileA(drop, 0, path, MAX_PATH) > 0;
    ::DragFinish(drop);
    if (got) {
        ::SetForegroundWindow(m_hWnd);
        AfxGetApp()->OpenDocumentFile(path);
    }
}

std::string CFrameWnd::GetPrompt(UINT id, bool tooltip)
{
    const std::string text = AfxLoadString(id);
    const size_t newline = text.find('\n');
    if (tooltip)
        return newline == std::string::npos ? std::string() : text.substr(newline + 1);
    return text.substr(0, newline);
}

void CFrameWnd::ShowPrompt(UINT id)
{
    if (!m_pMessageBar || !m_pMessageBar->m_hWnd)
        return;
    if (id == 0)
        m_pMessageBar->ShowIdleText();
    else
        m_pMessageBar->SetMessageText(GetPrompt(id, false).c_str());
}

LRESULT CFrameWnd::OnNotify(NMHDR* hdr)
{
    switch (hdr->code) {
    case TTN_GETDISPINFOA:
    case TTN_GETDISPINFOW: {
        // Tooltips of toolbar and bar buttons: the second part of the prompt.
        auto* info = reinterpret_cast<NMTTDISPINFOA*>(hdr);
        UINT id = static_cast<UINT>(hdr->idFrom);
        if (info->uFlags & TTF_IDISHWND)
            id = static_cast<UINT>(::GetDlgCtrlID(reinterpret_cast<HWND>(hdr->idFrom)));
        m_strTip = GetPrompt(id, true);
        if (hdr->code == TTN_GETDISPINFOA) {
            info->lpszText = &m_strTip[0];
        } else {
            m_wstrTip = Widen(m_strTip);
            reinterpret_cast<NMTTDISPINFOW*>(hdr)->lpszText = &m_wstrTip[0];
        }
        info->hinst = nullptr;
        return 0;
    }
    case TTN_SHOW:
        // Pointing at a bar's control shows its prompt too.
        ShowPrompt(static_cast<UINT>(::GetDlgCtrlID(reinterpret_cast<HWND>(hdr->idFrom))));
        return 0;
    case TTN_POP:
        ShowPrompt(0);
        return 0;
    case TBN_HOTITEMCHANGE: {
        auto* hot = reinterpret_cast<NMTBHOTITEM*>(hdr);
        ShowPrompt((hot->dwFlags & HICF_LEAVING) ? 0 : static_cast<UINT>(hot->idNew));
        return 0;
    }
    }
    return CWnd::OnNotify(hdr);
}

bool CFrameWnd::PreTranslateMessage(MSG& msg)
{
    if (!m_hAccelTable || !m_hWnd)
        return false;
    if (msg.hwnd != m_hWnd && !::IsChild(m_hWnd, msg.hwnd))
        return false;
    return ::TranslateAcceleratorA(m_hWnd, m_hAccelTable, &msg) != 0;
}

LRESULT CFrameWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITMENUPOPUP:
        if (!HIWORD(lp))
            OnInitMenuPopup(reinterpret_cast<HMENU>(wp));
        return 0;
    case WM_SETFOCUS:
        if (m_pViewActive && m_pViewActive->m_hWnd)
            ::SetFocus(m_pViewActive->m_hWnd);
        return 0;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wp));
        return 0;
    case WM_MENUSELECT: {
        const UINT flags = HIWORD(wp);
        const bool closed = flags == 0xFFFF && !lp;
        ShowPrompt(closed || (flags & (MF_POPUP | MF_SEPARATOR)) ? 0 : LOWORD(wp));
        return 0;
    }
    case WM_EXITMENULOOP:
        ShowPrompt(0);
        break;
    }
    return CWnd::WindowProc(msg, wp, lp);
}

void CFrameWnd::PostNcDestroy()
{
    CWinApp* app = AfxGetApp();
    if (app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
    }
    delete this;
}
