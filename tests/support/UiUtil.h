#pragma once
// Helpers for tests that drive the program's windows as a user would:
// real key presses, popup menus and dialogs seen and answered from a
// watcher thread (their modal loops hold the test's own thread), and
// pictures of windows to compare.
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

namespace test {

// Presses the keys `vks` together (in order) and lets go of them (in
// reverse), through the system's input, to the window that has the focus;
// then pumps messages for `settleMs`.
void PressKeys(const std::vector<WORD>& vks, DWORD settleMs = 200);
// Makes `wnd` the active window with the focus on `focus`.
bool Activate(HWND wnd, HWND focus);

// What a watcher saw of a popup menu.
struct MenuSeen {
    RECT rect{};
    std::vector<UINT> ids;              // 0 for separators
    std::vector<std::string> texts;
    std::vector<bool> enabled;
};

// Watches, on a thread of its own, for windows of this process that
// `match` accepts; each one it finds (once) goes to `act` on that thread.
class WindowWatcher {
public:
    WindowWatcher(std::function<bool(HWND)> match, std::function<void(HWND)> act);
    ~WindowWatcher();
    WindowWatcher(const WindowWatcher&) = delete;
    WindowWatcher& operator=(const WindowWatcher&) = delete;
    int Count();

private:
    static DWORD WINAPI Run(void* self);
    std::function<bool(HWND)> m_match;
    std::function<void(HWND)> m_act;
    std::vector<HWND> m_seen;
    HANDLE m_hThread;
    HANDLE m_hStop;
    CRITICAL_SECTION m_lock;
};

// A visible popup menu of this process; its items read, then closed.
bool IsPopupMenu(HWND wnd);
MenuSeen ReadPopupMenu(HWND menuWindow);
// Closes it with the Escape key, pressed `levels` times.
void ClosePopupMenu(HWND menuWindow, int levels = 1);

// A message box of this process (not one of the program's dialogs).
bool IsMessageBox(HWND wnd);
std::string MessageBoxText(HWND box);
// Presses button `id` of a dialog or message box.
void PressButton(HWND dlg, int id);
// A file dialog (open or save).
bool IsFileDialog(HWND dlg);
// Types `name` into a file dialog and confirms it.
void TypeFileName(HWND dlg, const std::string& name);

// What `wnd` shows (its client area), as 0x00RRGGBB pixels, read from
// the screen after it has drawn itself.
std::vector<DWORD> Picture(HWND wnd, SIZE* size = nullptr);
// How many pixels of two pictures of one size differ.
int DifferentPixels(const std::vector<DWORD>& a, const std::vector<DWORD>& b);
// Saves the whole screen as a bitmap file (for looking at), when the
// environment names a folder in KESTRIN_SHOT_DIR.
void SaveScreen(const char* name);

} // namespace test
