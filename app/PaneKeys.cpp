#include "PaneKeys.h"
#include <string>
#include "../model/Mbcs.h"

namespace {

bool IsShown(HWND wnd)
{
    return wnd && ::IsWindowVisible(wnd);
}

bool IsTabStop(HWND wnd)
{
    return ::IsWindowVisible(wnd) && ::IsWindowEnabled(wnd) && (::GetWindowLongA(wnd, GWL_STYLE) & WS_TABSTOP);
}

std::string TextOf(HWND wnd)
{
    char text[256] = "";
    ::GetWindowTextA(wnd, text, sizeof text);
    return text;
}

bool IsClass(HWND wnd, const char* name)
{
    char cls[32] = "";
    ::GetClassNameA(wnd, cls, sizeof cls);
    return ::lstrcmpiA(cls, name) == 0;
}

bool KeyDown(int key)
{
    return (::GetKeyState(key) & 0x8000) != 0;
}

} // namespace

char PaneKeys::AccessKey(const char* text)
{
    const char* end = text + std::char_traits<char>::length(text);
    for (const char* p = text; p < end; p += MbcsCharLength(p, end)) {
        if (*p != '&' || p + 1 >= end)
            continue;
        if (p[1] == '&') {
            ++p;   // a plain ampersand
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(p[1]);
        if (c < 0x80 && ::IsCharAlphaNumericA(static_cast<char>(c)))
            return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        return 0;
    }
    return 0;
}

HWND PaneKeys::ControlWithAccessKey(HWND bar, char key)
{
    if (!key)
        return nullptr;
    for (HWND child = ::GetWindow(bar, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (::IsWindowVisible(child) && AccessKey(TextOf(child).c_str()) == key)
            return child;
    return nullptr;
}

bool PaneKeys::MenuHasAccessKey(HMENU menu, char key)
{
    const int n = menu ? ::GetMenuItemCount(menu) : 0;
    for (int i = 0; i < n; ++i) {
        char text[256] = "";
        ::GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        if (AccessKey(text) == key)
            return true;
    }
    return false;
}

HWND PaneKeys::FirstTabStop(HWND bar)
{
    for (HWND child = ::GetWindow(bar, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (IsTabStop(child))
            return child;
    return nullptr;
}

HWND PaneKeys::LastTabStop(HWND bar)
{
    HWND last = nullptr;
    for (HWND child = ::GetWindow(bar, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (IsTabStop(child))
            last = child;
    return last;
}

void PaneKeys::Activate(HWND bar, HWND control)
{
    if (IsClass(control, "Static")) {
        // A label: the next control that takes the focus gets it.
        for (HWND next = ::GetWindow(control, GW_HWNDNEXT); next; next = ::GetWindow(next, GW_HWNDNEXT)) {
            if (IsTabStop(next)) {
                ::SetFocus(next);
                if (IsClass(next, "Edit"))
                    ::SendMessageA(next, EM_SETSEL, 0, -1);
                return;
            }
        }
        return;
    }
    if (!::IsWindowEnabled(control))
        return;
    if (IsClass(control, "Button")) {
        ::SetFocus(control);
        ::SendMessageA(bar, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(control), BN_CLICKED),
                       reinterpret_cast<LPARAM>(control));
        return;
    }
    ::SetFocus(control);
}

void PaneKeys::NextPane(HWND list, HWND bar, bool back)
{
    HWND focus = ::GetFocus();
    if (IsShown(bar) && (focus == list || !focus || !::IsChild(bar, focus))) {
        if (HWND target = back ? LastTabStop(bar) : FirstTabStop(bar)) {
            ::SetFocus(target);
            return;
        }
    }
    if (list)
        ::SetFocus(list);
}

bool PaneKeys::PreTranslate(HWND frame, HWND list, HWND bar, const MSG& msg)
{
    if (msg.message == WM_SYSCHAR && IsShown(bar) && !KeyDown(VK_CONTROL)) {
        if (msg.hwnd != frame && !::IsChild(frame, msg.hwnd))
            return false;
        const char key = AccessKey((std::string("&") + static_cast<char>(msg.wParam)).c_str());
        // The menu bar's own keys come first.
        if (!key || MenuHasAccessKey(::GetMenu(frame), key))
            return false;
        HWND control = ControlWithAccessKey(bar, key);
        if (!control)
            return false;
        Activate(bar, control);
        return true;
    }
    if (msg.message != WM_KEYDOWN || msg.wParam != VK_TAB || KeyDown(VK_CONTROL) || KeyDown(VK_MENU))
        return false;
    const bool back = KeyDown(VK_SHIFT);
    if (msg.hwnd == list) {
        if (!IsShown(bar))
            return false;
        HWND target = back ? LastTabStop(bar) : FirstTabStop(bar);
        if (!target)
            return false;
        ::SetFocus(target);
        return true;
    }
    if (IsShown(bar) && ::IsChild(bar, msg.hwnd)) {
        // Past the bar's last control (or before its first) is the list.
        HWND edge = back ? FirstTabStop(bar) : LastTabStop(bar);
        if (msg.hwnd == edge && list) {
            ::SetFocus(list);
            return true;
        }
    }
    return false;
}
