#include "Wnd.h"
#include <vector>

namespace {

// The window being created from a dialog template on this thread, until
// its first message attaches it (WM_SETFONT and WM_CREATE come before
// WM_INITDIALOG).
thread_local CWnd* t_creatingDialog = nullptr;

// System classes copied by RegisterSuperclass, with their own procedures.
struct Superclass {
    ATOM atom;
    WNDPROC baseProc;
};
std::vector<Superclass> g_superclasses;

WNDPROC BaseProcOf(HWND hwnd)
{
    const ATOM atom = static_cast<ATOM>(::GetClassWord(hwnd, GCW_ATOM));
    for (const Superclass& s : g_superclasses)
        if (s.atom == atom)
            return s.baseProc;
    return nullptr;
}

} // namespace

CWnd::~CWnd()
{
    // A window whose object goes away must not call into it any more.
    if (m_hWnd) {
        ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hWnd);
    }
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    if (!hwnd)
        return nullptr;
    const bool ours =
        reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(hwnd, GWLP_WNDPROC)) == StaticWndProc;
    const bool dialog = ::GetClassWord(hwnd, GCW_ATOM) == 0x8002 &&   // "#32770"
        reinterpret_cast<DLGPROC>(::GetWindowLongPtrA(hwnd, DWLP_DLGPROC)) == StaticDlgProc;
    if (!ours && !dialog)
        return nullptr;
    return reinterpret_cast<CWnd*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

bool CWnd::RegisterClass(const char* name, UINT style, HICON icon,
                         HCURSOR cursor, HBRUSH background)
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    if (::GetClassInfoExA(::GetModuleHandleA(nullptr), name, &wc))
        return true;
    wc.style = style;
    wc.lpfnWndProc = StaticWndProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hIcon = icon;
    wc.hIconSm = icon;
    wc.hCursor = cursor ? cursor : ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    return ::RegisterClassExA(&wc) != 0;
}

bool CWnd::RegisterSuperclass(const char* name, const char* base)
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    if (::GetClassInfoExA(::GetModuleHandleA(nullptr), name, &wc))
        return true;
    if (!::GetClassInfoExA(nullptr, base, &wc))
        return false;
    const WNDPROC baseProc = wc.lpfnWndProc;
    wc.lpfnWndProc = StaticWndProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = name;
    const ATOM atom = ::RegisterClassExA(&wc);
    if (!atom)
        return false;
    g_superclasses.push_back({atom, baseProc});
    return true;
}

bool CWnd::CreateEx(DWORD exStyle, const char* className, const char* title,
                    DWORD style, int x, int y, int cx, int cy,
                    HWND parent, HMENU menuOrId)
{
    // A window that fails while it is being created does not delete
    // itself: its creator still holds the object and decides.
    m_bCreating = true;
    HWND hwnd = ::CreateWindowExA(exStyle, className, title, style, x, y, cx, cy,
                                  parent, menuOrId, ::GetModuleHandleA(nullptr), this);
    m_bCreating = false;
    return hwnd != nullptr && m_hWnd != nullptr;
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

std::string CWnd::GetWindowText() const
{
    const int n = ::GetWindowTextLengthA(m_hWnd);
    std::string text(n + 1, '\0');
    text.resize(::GetWindowTextA(m_hWnd, &text[0], n + 1));
    return text;
}

std::string CWnd::GetDlgItemText(int id) const
{
    HWND item = GetDlgItem(id);
    const int n = ::GetWindowTextLengthA(item);
    std::string text(n + 1, '\0');
    text.resize(::GetWindowTextA(item, &text[0], n + 1));
    return text;
}

void CWnd::Attach(HWND hwnd)
{
    m_hWnd = hwnd;
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

LRESULT CALLBACK CWnd::StaticWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    CWnd* wnd;
    if (msg == WM_NCCREATE) {
        wnd = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
        if (wnd) {
            wnd->Attach(hwnd);
            wnd->m_pfnSuper = BaseProcOf(hwnd);
        }
    } else {
        wnd = reinterpret_cast<CWnd*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!wnd) {
        WNDPROC base = BaseProcOf(hwnd);
        return base ? ::CallWindowProcA(base, hwnd, msg, wp, lp)
                    : ::DefWindowProcA(hwnd, msg, wp, lp);
    }
    return wnd->Dispatch(msg, wp, lp);
}

LRESULT CWnd::Dispatch(UINT msg, WPARAM wp, LPARAM lp)
{
    LRESULT result = 0;
    const HWND hwnd = m_hWnd;
    const bool outerDefaultRan = m_bDefaultRan;
    m_bDefaultRan = false;
    if (!CallGuarded([&] { result = WindowProc(msg, wp, lp); })) {
        // Nothing may unwind into the system. The default processing runs
        // in place of the handler, unless the handler had already run it:
        // never twice for one message.
        if (!m_bDefaultRan)
            result = m_hWnd ? DefWindowProc(msg, wp, lp) : ::DefWindowProcA(hwnd, msg, wp, lp);
        else
            result = 0;
    }
    m_bDefaultRan = outerDefaultRan;
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        m_hWnd = nullptr;
        if (!m_bCreating)
            CallGuarded([&] { PostNcDestroy(); });
    }
    return result;
}

bool CWnd::CreateFromTemplate(UINT templateId, HWND parent)
{
    m_bDialogProc = true;
    t_creatingDialog = this;
    m_bCreating = true;
    HWND hwnd = ::CreateDialogParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId),
                                     parent, StaticDlgProc, reinterpret_cast<LPARAM>(this));
    m_bCreating = false;
    t_creatingDialog = nullptr;
    return hwnd != nullptr && m_hWnd != nullptr;
}

INT_PTR CWnd::RunModalTemplate(UINT templateId, HWND parent)
{
    m_bDialogProc = true;
    t_creatingDialog = this;
    const INT_PTR result = ::DialogBoxParamA(::GetModuleHandleA(nullptr),
        MAKEINTRESOURCEA(templateId), parent, StaticDlgProc, reinterpret_cast<LPARAM>(this));
    t_creatingDialog = nullptr;
    return result;
}

INT_PTR CALLBACK CWnd::StaticDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    CWnd* wnd = FromHandle(hwnd);
    if (!wnd) {
        wnd = msg == WM_INITDIALOG ? reinterpret_cast<CWnd*>(lp) : t_creatingDialog;
        if (!wnd)
            return FALSE;
        t_creatingDialog = nullptr;
        wnd->Attach(hwnd);
    }

    const bool outerDefaulted = wnd->m_bDefaulted;
    wnd->m_bDefaulted = false;
    const LRESULT result = wnd->Dispatch(msg, wp, lp);
    // A window that destroyed itself while handling the message may have
    // deleted its object already.
    if (msg == WM_NCDESTROY || FromHandle(hwnd) != wnd)
        return FALSE;
    const bool defaulted = wnd->m_bDefaulted;
    wnd->m_bDefaulted = outerDefaulted;

    if (msg == WM_INITDIALOG)
        return result;
    if (defaulted)
        return FALSE;
    switch (msg) {
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN: case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: case WM_COMPAREITEM: case WM_VKEYTOITEM:
    case WM_CHARTOITEM: case WM_QUERYDRAGICON:
        return result;
    }
    ::SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    m_bDefaultRan = true;
    if (m_bDialogProc) {
        // The system's dialog procedure does the rest.
        m_bDefaulted = true;
        return 0;
    }
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, msg, wp, lp);
    return ::DefWindowProcA(m_hWnd, msg, wp, lp);
}

LRESULT CWnd::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        if (DefWindowProc(msg, wp, lp) == -1)
            return -1;
        return OnCreate(reinterpret_cast<CREATESTRUCTA*>(lp));
    case WM_COMMAND:
        if (OnCommand(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp)))
            return 0;
        break;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lp));
    case WM_TIMER:
        OnTimer(wp);
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));
        break;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        break;
    }
    return DefWindowProc(msg, wp, lp);
}

bool CWnd::OnCommand(UINT id, UINT code, HWND control)
{
    // Menus, accelerators and buttons; other control notifications are not
    // commands.
    if (control && code != BN_CLICKED)
        return false;
    return OnCmdMsg(id);
}

LRESULT CWnd::OnNotify(NMHDR* hdr)
{
    // Controls served by this framework answer their own notifications.
    CWnd* from = FromHandle(hdr->hwndFrom);
    LRESULT result = 0;
    if (from && from != this && from->OnChildNotify(hdr, result))
        return result;
    return DefWindowProc(WM_NOTIFY, hdr->idFrom, reinterpret_cast<LPARAM>(hdr));
}

void CWnd::OnTimer(UINT_PTR id)
{
    DefWindowProc(WM_TIMER, id, 0);
}

void CWnd::OnSize(UINT, int, int)
{
}

void CWnd::OnClose()
{
    DefWindowProc(WM_CLOSE, 0, 0);
}
