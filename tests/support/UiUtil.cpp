#include "UiUtil.h"
#include <algorithm>
#include <cstdlib>
#include "TestUtil.h"
#include "framework/Wnd.h"

namespace test {

void PressKeys(const std::vector<WORD>& vks, DWORD settleMs)
{
    std::vector<INPUT> inputs;
    for (WORD vk : vks) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.wScan = static_cast<WORD>(::MapVirtualKeyA(vk, 0));
        inputs.push_back(in);
    }
    for (auto it = vks.rbegin(); it != vks.rend(); ++it) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = *it;
        in.ki.wScan = static_cast<WORD>(::MapVirtualKeyA(*it, 0));
        in.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(in);
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Pump(settleMs);
}

bool Activate(HWND wnd, HWND focus)
{
    ::SetForegroundWindow(wnd);
    ::SetActiveWindow(wnd);
    PumpUntil([&] { return ::GetForegroundWindow() == wnd; }, 3000);
    if (focus)
        ::SetFocus(focus);
    Pump(100);
    return ::GetForegroundWindow() == wnd && (!focus || ::GetFocus() == focus);
}

// ---- watcher

WindowWatcher::WindowWatcher(std::function<bool(HWND)> match, std::function<void(HWND)> act)
    : m_match(std::move(match)), m_act(std::move(act))
{
    ::InitializeCriticalSection(&m_lock);
    m_hStop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_hThread = ::CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

WindowWatcher::~WindowWatcher()
{
    ::SetEvent(m_hStop);
    ::WaitForSingleObject(m_hThread, 5000);
    ::CloseHandle(m_hThread);
    ::CloseHandle(m_hStop);
    ::DeleteCriticalSection(&m_lock);
}

int WindowWatcher::Count()
{
    ::EnterCriticalSection(&m_lock);
    const int n = static_cast<int>(m_seen.size());
    ::LeaveCriticalSection(&m_lock);
    return n;
}

namespace {

struct Search {
    const std::function<bool(HWND)>* match;
    const std::vector<HWND>* seen;
    HWND found = nullptr;
};

BOOL CALLBACK FindWatched(HWND hwnd, LPARAM lp)
{
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(hwnd))
        return TRUE;
    if (std::find(s->seen->begin(), s->seen->end(), hwnd) != s->seen->end())
        return TRUE;
    if ((*s->match)(hwnd)) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

} // namespace

DWORD WINAPI WindowWatcher::Run(void* self)
{
    auto* w = static_cast<WindowWatcher*>(self);
    while (::WaitForSingleObject(w->m_hStop, 50) == WAIT_TIMEOUT) {
        ::EnterCriticalSection(&w->m_lock);
        const std::vector<HWND> seen = w->m_seen;
        ::LeaveCriticalSection(&w->m_lock);
        Search search{&w->m_match, &seen};
        ::EnumWindows(FindWatched, reinterpret_cast<LPARAM>(&search));
        if (!search.found)
            continue;
        // Let it finish coming up before it is acted on.
        ::Sleep(150);
        ::EnterCriticalSection(&w->m_lock);
        w->m_seen.push_back(search.found);
        ::LeaveCriticalSection(&w->m_lock);
        w->m_act(search.found);
    }
    return 0;
}

// ---- menus and dialogs

namespace {

bool ClassIs(HWND wnd, const char* name)
{
    char cls[32] = "";
    ::GetClassNameA(wnd, cls, sizeof cls);
    return ::lstrcmpA(cls, name) == 0;
}

} // namespace

bool IsPopupMenu(HWND wnd)
{
    return ClassIs(wnd, "#32768");
}

MenuSeen ReadPopupMenu(HWND menuWindow)
{
    MenuSeen seen;
    ::GetWindowRect(menuWindow, &seen.rect);
    HMENU menu = reinterpret_cast<HMENU>(::SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    const int n = menu ? ::GetMenuItemCount(menu) : 0;
    for (int i = 0; i < n; ++i) {
        char text[256] = "";
        ::GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        const UINT state = ::GetMenuState(menu, i, MF_BYPOSITION);
        seen.ids.push_back(state & MF_SEPARATOR ? 0 : ::GetMenuItemID(menu, i));
        seen.texts.push_back(text);
        seen.enabled.push_back(!(state & (MF_GRAYED | MF_DISABLED)));
    }
    return seen;
}

void ClosePopupMenu(HWND, int levels)
{
    // The Escape key, once for each open level (a menu bar's menu is two:
    // the menu, then the bar).
    for (int i = 0; i < levels; ++i) {
        INPUT keys[2] = {};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        ::SendInput(2, keys, sizeof(INPUT));
        ::Sleep(100);
    }
}

bool IsMessageBox(HWND wnd)
{
    return ClassIs(wnd, "#32770") && ::GetDlgItem(wnd, 0xFFFF) && !CWnd::FromHandle(wnd);
}

std::string MessageBoxText(HWND box)
{
    char text[1024] = "";
    ::GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

void PressButton(HWND dlg, int id)
{
    ::PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dlg, id)));
}

bool IsFileDialog(HWND dlg)
{
    return ClassIs(dlg, "#32770") && (::GetDlgItem(dlg, 0x47C) != nullptr || ::GetDlgItem(dlg, 0x480) != nullptr);
}

void TypeFileName(HWND dlg, const std::string& name)
{
    if (::GetDlgItem(dlg, 0x47C))
        ::SetDlgItemTextA(dlg, 0x47C, name.c_str());
    if (::GetDlgItem(dlg, 0x480))
        ::SetDlgItemTextA(dlg, 0x480, name.c_str());
    PressButton(dlg, IDOK);
}

// ---- pictures

std::vector<DWORD> Picture(HWND wnd, SIZE* size)
{
    ::RedrawWindow(wnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump(100);
    RECT rc;
    ::GetClientRect(wnd, &rc);
    POINT origin = {0, 0};
    ::ClientToScreen(wnd, &origin);
    const int w = rc.right, h = rc.bottom;
    if (size)
        *size = {w, h};
    std::vector<DWORD> pixels(static_cast<size_t>(w) * (h > 0 ? h : 0));
    if (w <= 0 || h <= 0)
        return pixels;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    ::GdiFlush();
    const DWORD* p = static_cast<const DWORD*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = p[i] & 0xFFFFFF;
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

int DifferentPixels(const std::vector<DWORD>& a, const std::vector<DWORD>& b)
{
    if (a.size() != b.size())
        return static_cast<int>(a.size() > b.size() ? a.size() : b.size());
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

void SaveScreen(const char* name)
{
    const char* dir = std::getenv("KESTRIN_SHOT_DIR");
    if (!dir)
        return;
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bmp = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    ::GdiFlush();
    const DWORD size = ((w * 3 + 3) & ~3) * h;
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader + size), 0, 0,
                        sizeof fh + sizeof bi.bmiHeader};
    std::string data(reinterpret_cast<const char*>(&fh), sizeof fh);
    data.append(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
    data.append(static_cast<const char*>(bits), size);
    WriteFileBytes(std::string(dir) + "\\" + name + ".bmp", data);
    ::SelectObject(mem, old);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
}

} // namespace test
